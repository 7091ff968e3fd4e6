#include <orx/il/Dispatch.h>

#include <pcap/bpf.h>

#include <cstdio>
#include <map>
#include <optional>

namespace orx::il {

std::string FieldKey::Name() const {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on chains of operator+ at -O3.
    std::string name = "ether[";
    if (headerAt >= 0) {
        name += "4*(ether[";
        name += std::to_string(headerAt);
        name += "]&0xf)+";
    }
    name += std::to_string(offset);
    if (width != 1) {
        name += ':';
        name += std::to_string(width);
    }
    name += ']';
    const uint32_t full = width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    if (mask != full) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%0*x", 2 * width, mask);
        name += " & ";
        name += hex;
    }
    return name;
}

namespace {

// Programs longer than this are not analysed (libpcap's own limit on a program is lower).
constexpr size_t kMaxInstructions = 1 << 16;
// Beyond these, path classes are merged into one (keeping only the tests common to them).
constexpr size_t kMaxAlternatives = 16;
constexpr size_t kMaxTests = 16;

// What one class of paths knows at an instruction: the accumulator (a frame field or
// unknown), the index register (an IPv4 header length or unknown) and the tests passed.
struct Alternative {
    std::optional<FieldKey> a;
    int32_t xHeaderAt = -1;
    std::vector<FieldTest> tests;  // sorted, unique
    bool operator==(const Alternative&) const = default;
};

void AddTest(Alternative& alt, const FieldTest& test) {
    auto at = std::lower_bound(alt.tests.begin(), alt.tests.end(), test);
    if (at != alt.tests.end() && *at == test)
        return;
    if (alt.tests.size() >= kMaxTests)
        return;  // a test left out only weakens what is known
    alt.tests.insert(at, test);
}

// One alternative standing for all of `alts`: what holds on every one of them.
Alternative Common(const std::vector<Alternative>& alts) {
    Alternative out = alts.front();
    for (size_t i = 1; i < alts.size(); ++i) {
        const Alternative& other = alts[i];
        if (out.a != other.a)
            out.a.reset();
        if (out.xHeaderAt != other.xHeaderAt)
            out.xHeaderAt = -1;
        std::vector<FieldTest> both;
        std::set_intersection(out.tests.begin(), out.tests.end(), other.tests.begin(),
                              other.tests.end(), std::back_inserter(both));
        out.tests = std::move(both);
    }
    return out;
}

void Merge(std::vector<Alternative>& into, Alternative alt) {
    for (const Alternative& existing : into) {
        if (existing == alt)
            return;
    }
    into.push_back(std::move(alt));
    if (into.size() > kMaxAlternatives) {
        Alternative one = Common(into);
        into.clear();
        into.push_back(std::move(one));
    }
}

uint32_t FullMask(uint8_t width) {
    return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

uint8_t LoadWidth(uint16_t code) {
    switch (BPF_SIZE(code)) {
        case BPF_W:
            return 4;
        case BPF_H:
            return 2;
        case BPF_B:
            return 1;
        default:
            return 0;
    }
}

}  // namespace

FilterAnalysis AnalyzeFilter(const bpf_insn* program, size_t length) {
    FilterAnalysis result;
    if (program == nullptr || length == 0 || length > kMaxInstructions)
        return result;
    // Jumps only go forward, so one pass in instruction order sees every path into an
    // instruction before the instruction itself.
    std::vector<std::vector<Alternative>> at(length);
    at[0].push_back(Alternative{});
    std::vector<Alternative> accepting;
    for (size_t pc = 0; pc < length; ++pc) {
        std::vector<Alternative> alts = std::move(at[pc]);
        if (alts.empty())
            continue;  // unreachable
        const bpf_insn& insn = program[pc];
        const uint16_t code = insn.code;
        auto go = [&](size_t offset, Alternative alt) {
            size_t target = pc + 1 + offset;
            if (target >= length)
                return false;
            Merge(at[target], std::move(alt));
            return true;
        };
        for (Alternative& alt : alts) {
            switch (BPF_CLASS(code)) {
                case BPF_LD: {
                    const uint8_t width = LoadWidth(code);
                    if (width != 0 && BPF_MODE(code) == BPF_ABS) {
                        alt.a = FieldKey{insn.k, FullMask(width), -1, width};
                    } else if (width != 0 && BPF_MODE(code) == BPF_IND && alt.xHeaderAt >= 0) {
                        alt.a = FieldKey{insn.k, FullMask(width), alt.xHeaderAt, width};
                    } else {
                        alt.a.reset();
                    }
                    break;
                }
                case BPF_LDX:
                    if (code == (BPF_LDX | BPF_MSH | BPF_B) && insn.k <= 0x7FFFFFFFu) {
                        alt.xHeaderAt = static_cast<int32_t>(insn.k);
                    } else {
                        alt.xHeaderAt = -1;
                    }
                    break;
                case BPF_ST:
                case BPF_STX:
                    break;
                case BPF_ALU:
                    if (alt.a && BPF_OP(code) == BPF_AND && BPF_SRC(code) == BPF_K) {
                        alt.a->mask &= insn.k;
                    } else {
                        alt.a.reset();
                    }
                    break;
                case BPF_JMP:
                    if (BPF_OP(code) == BPF_JA) {
                        if (!go(insn.k, std::move(alt)))
                            return FilterAnalysis{};
                    } else if (BPF_OP(code) == BPF_JEQ && BPF_SRC(code) == BPF_K && alt.a) {
                        if (!go(insn.jf, alt))
                            return FilterAnalysis{};
                        // A masked field never equals a value with bits outside the mask: the
                        // branch is never taken. A zero mask proves nothing worth indexing.
                        if ((insn.k & ~alt.a->mask) == 0) {
                            if (alt.a->mask != 0)
                                AddTest(alt, FieldTest{*alt.a, insn.k});
                            if (!go(insn.jt, std::move(alt)))
                                return FilterAnalysis{};
                        }
                    } else {
                        if (!go(insn.jt, alt) || !go(insn.jf, std::move(alt)))
                            return FilterAnalysis{};
                    }
                    continue;
                case BPF_RET:
                    // A constant zero rejects; anything else (the accumulator too) may accept.
                    if (!(BPF_RVAL(code) == BPF_K && insn.k == 0))
                        accepting.push_back(std::move(alt));
                    continue;
                case BPF_MISC:
                    if (BPF_MISCOP(code) == BPF_TAX) {
                        alt.xHeaderAt = -1;
                    } else {
                        alt.a.reset();
                    }
                    break;
                default:
                    return FilterAnalysis{};
            }
            // Falls through to the next instruction; running off the end is not a program.
            if (!go(0, std::move(alt)))
                return FilterAnalysis{};
        }
    }
    if (accepting.empty())
        return result;  // never accepts: running it stays correct and costs nothing to know
    result.indexable = true;
    for (const Alternative& alt : accepting) {
        if (alt.tests.empty()) {
            result.indexable = false;
            result.paths.clear();
            return result;
        }
        if (std::find(result.paths.begin(), result.paths.end(), alt.tests) == result.paths.end())
            result.paths.push_back(alt.tests);
    }
    if (result.paths.size() > kMaxAlternatives) {
        std::vector<Alternative> all;
        for (auto& tests : result.paths)
            all.push_back(Alternative{std::nullopt, -1, tests});
        Alternative one = Common(all);
        result.paths.assign(1, one.tests);
        result.indexable = !one.tests.empty();
        if (!result.indexable)
            result.paths.clear();
    }
    return result;
}

PortDispatch PortDispatch::Build(const std::vector<const FilterAnalysis*>& filters) {
    PortDispatch d;
    d.m_built = true;
    d.m_size = filters.size();
    if (filters.size() < kIndexFrom) {
        for (uint32_t i = 0; i < filters.size(); ++i)
            d.m_alwaysRun.push_back(i);
        return d;
    }
    // The keys any filter tests, and how selective each is over this table: the mean number of
    // responders sharing one of its values (lower is better).
    std::map<FieldKey, uint32_t> ids;
    struct Use {
        uint32_t key;
        uint32_t value;
        uint32_t responder;
        auto operator<=>(const Use&) const = default;
    };
    std::vector<Use> uses;
    for (uint32_t i = 0; i < filters.size(); ++i) {
        const FilterAnalysis* f = filters[i];
        if (f == nullptr || !f->indexable)
            continue;
        for (const auto& path : f->paths) {
            for (const FieldTest& t : path) {
                uint32_t id =
                    ids.try_emplace(t.key, static_cast<uint32_t>(ids.size())).first->second;
                uses.push_back(Use{id, t.value, i});
            }
        }
    }
    std::sort(uses.begin(), uses.end());
    uses.erase(std::unique(uses.begin(), uses.end()), uses.end());
    std::vector<FieldKey> keyOf(ids.size());
    for (const auto& [key, id] : ids)
        keyOf[id] = key;
    std::vector<double> cost(ids.size(), 0);
    {
        std::vector<uint32_t> count(ids.size(), 0), values(ids.size(), 0);
        for (size_t u = 0; u < uses.size(); ++u) {
            ++count[uses[u].key];
            if (u == 0 || uses[u - 1].key != uses[u].key || uses[u - 1].value != uses[u].value)
                ++values[uses[u].key];
        }
        for (size_t k = 0; k < ids.size(); ++k)
            cost[k] = values[k] ? double(count[k]) / values[k] : 0;
    }
    auto better = [&](uint32_t a, uint32_t b) {
        if (cost[a] != cost[b])
            return cost[a] < cost[b];
        return keyOf[a] < keyOf[b];
    };
    // Each path class is indexed by its most selective test among the allowed keys; a responder
    // with a class that has none runs on every frame.
    std::vector<bool> allowed(ids.size(), true);
    std::vector<std::vector<Use>> chosen(filters.size());
    auto choose = [&](uint32_t i) {
        chosen[i].clear();
        for (const auto& path : filters[i]->paths) {
            const FieldTest* best = nullptr;
            uint32_t bestId = 0;
            for (const FieldTest& t : path) {
                uint32_t id = ids.at(t.key);
                if (allowed[id] && (best == nullptr || better(id, bestId))) {
                    best = &t;
                    bestId = id;
                }
            }
            if (best == nullptr) {
                chosen[i].clear();
                return false;
            }
            chosen[i].push_back(Use{bestId, best->value, i});
        }
        return true;
    };
    std::vector<uint32_t> users(ids.size(), 0);
    for (uint32_t i = 0; i < filters.size(); ++i) {
        if (filters[i] == nullptr || !filters[i]->indexable)
            continue;
        choose(i);
        for (const Use& u : chosen[i])
            ++users[u.key];
    }
    size_t used = std::count_if(users.begin(), users.end(), [](uint32_t n) { return n != 0; });
    if (used > kMaxKeys) {
        // Keep the keys that index the most responders; the others choose again among them.
        std::vector<uint32_t> order;
        for (uint32_t k = 0; k < users.size(); ++k) {
            if (users[k] != 0)
                order.push_back(k);
        }
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t a, uint32_t b) { return users[a] > users[b]; });
        std::fill(allowed.begin(), allowed.end(), false);
        for (size_t k = 0; k < kMaxKeys; ++k)
            allowed[order[k]] = true;
        for (uint32_t i = 0; i < filters.size(); ++i) {
            if (filters[i] != nullptr && filters[i]->indexable)
                choose(i);
        }
    }
    std::vector<Use> index;
    for (uint32_t i = 0; i < filters.size(); ++i) {
        if (chosen[i].empty()) {
            d.m_alwaysRun.push_back(i);
            continue;
        }
        ++d.m_indexed;
        index.insert(index.end(), chosen[i].begin(), chosen[i].end());
    }
    std::sort(index.begin(), index.end());
    index.erase(std::unique(index.begin(), index.end()), index.end());
    // One open-addressing table per key, slots for twice its values; each slot's responders
    // are a run of m_candidates in ascending order.
    d.m_candidates.reserve(index.size());
    for (size_t u = 0; u < index.size();) {
        const uint32_t key = index[u].key;
        size_t end = u;
        uint32_t values = 0;
        std::vector<uint32_t> responders;
        while (end < index.size() && index[end].key == key) {
            if (end == u || index[end - 1].value != index[end].value)
                ++values;
            responders.push_back(index[end].responder);
            ++end;
        }
        std::sort(responders.begin(), responders.end());
        Key k;
        k.field = keyOf[key];
        k.responders = static_cast<uint32_t>(std::unique(responders.begin(), responders.end()) -
                                             responders.begin());
        k.values = values;
        uint32_t bits = 1;
        while ((uint64_t{1} << bits) < uint64_t{values} * 2)
            ++bits;
        k.firstSlot = static_cast<uint32_t>(d.m_slots.size());
        k.slotMask = (1u << bits) - 1;
        k.shift = 32 - bits;
        d.m_slots.resize(d.m_slots.size() + (size_t{1} << bits), Slot{0, 0, 0});
        Slot* slots = d.m_slots.data() + k.firstSlot;
        for (size_t v = u; v < end;) {
            const uint32_t value = index[v].value;
            Slot slot{value, static_cast<uint32_t>(d.m_candidates.size()), 0};
            for (; v < end && index[v].value == value; ++v) {
                d.m_candidates.push_back(index[v].responder);
                ++slot.count;
            }
            uint32_t s = Hash(value, k.shift) & k.slotMask;
            while (slots[s].count != 0)
                s = (s + 1) & k.slotMask;
            slots[s] = slot;
        }
        d.m_keys.push_back(k);
        u = end;
    }
    return d;
}

std::vector<DispatchKeyUse> PortDispatch::Keys() const {
    std::vector<DispatchKeyUse> out;
    for (const Key& k : m_keys)
        out.push_back(DispatchKeyUse{k.field, k.responders, k.values});
    return out;
}

}  // namespace orx::il
