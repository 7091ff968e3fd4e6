#pragma once

// Per-port dispatch: which responders a frame can possibly match, without running every filter.
// A filter program is analysed once for the equality tests on frame fields that every accepting
// path makes; the responders of a published table are indexed by the value of one such field
// each, and a frame runs only the filters of the responders its field values select, plus those
// whose filters give no such test. The answers and their order are those of running every filter.

#include <algorithm>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct bpf_insn;

namespace orx::il {

// A frame field a filter compares for equality: `width` bytes (1, 2 or 4, big-endian) at
// `offset`, ANDed with `mask`. With `headerAt` >= 0 the offset counts from four times the low
// nibble of byte `headerAt` (an IPv4 header's length, as the filter's indirect loads do).
struct FieldKey {
    uint32_t offset = 0;
    uint32_t mask = 0;
    int32_t headerAt = -1;
    uint8_t width = 0;

    auto operator<=>(const FieldKey&) const = default;

    // The field's value; false when the frame is too short to hold it, exactly where the
    // filter's own load would reject the frame.
    bool Read(const uint8_t* data, uint32_t length, uint32_t& value) const {
        uint64_t at = offset;
        if (headerAt >= 0) {
            if (static_cast<uint32_t>(headerAt) >= length)
                return false;
            at += uint64_t{static_cast<uint32_t>(data[headerAt] & 0x0F)} << 2;
        }
        if (at + width > length)
            return false;
        const uint8_t* p = data + at;
        uint32_t v = p[0];
        if (width >= 2)
            v = v << 8 | p[1];
        if (width == 4)
            v = v << 16 | uint32_t{p[2]} << 8 | p[3];
        value = v & mask;
        return true;
    }
    // "ether[38:4]", "ether[12:2] & 0x0fff", "ether[4*(ether[14]&0xf)+16:2]".
    std::string Name() const;
};

struct FieldTest {
    FieldKey key;
    uint32_t value = 0;
    auto operator<=>(const FieldTest&) const = default;
};

// What a filter program proves about the frames it accepts: each element of `paths` holds the
// tests (sorted) one class of accepting paths makes, and every accepted frame passes all tests
// of at least one class. `indexable` is false when some accepting path makes no test the
// analysis can prove (the filter must then run on every frame).
struct FilterAnalysis {
    bool indexable = false;
    std::vector<std::vector<FieldTest>> paths;
};

// Conservative: loads it cannot follow, arithmetic and unknown instructions leave the
// accumulator unknown, so they weaken the result but never make it wrong.
FilterAnalysis AnalyzeFilter(const bpf_insn* program, size_t length);

// How a published table is dispatched, for the diagnostic.
struct DispatchKeyUse {
    FieldKey key;
    uint32_t responders = 0;  // indexed by this key
    uint32_t values = 0;      // distinct values among them
};

class PortDispatch {
  public:
    // At most this many keys are read per frame; responders that would need another key run
    // on every frame.
    static constexpr size_t kMaxKeys = 16;
    // Below this many responders running them all costs less than reading keys: no index.
    static constexpr size_t kIndexFrom = 4;

    // `filters[i]` is the analysis of the table's i-th responder (table order).
    static PortDispatch Build(const std::vector<const FilterAnalysis*>& filters);

    // Calls fn(i) for each responder i the frame may match, in ascending order, once each.
    template <typename Fn>
    void ForEachCandidate(const uint8_t* data, uint32_t length, Fn&& fn) const;

    // Whether this dispatch was built for a table of `responders` (a default one is for none:
    // the frame path then runs every filter).
    bool Covers(size_t responders) const { return m_built && m_size == responders; }
    // Without keys every responder is a candidate of every frame.
    bool HasKeys() const { return !m_keys.empty(); }
    // Responders that run on every frame, ascending.
    const std::vector<uint32_t>& AlwaysRun() const { return m_alwaysRun; }
    uint32_t Indexed() const { return m_indexed; }
    std::vector<DispatchKeyUse> Keys() const;

  private:
    struct Slot {
        uint32_t value;
        uint32_t begin;  // into m_candidates
        uint32_t count;  // 0: empty slot
    };
    struct Key {
        FieldKey field;
        uint32_t responders = 0;
        uint32_t values = 0;
        uint32_t firstSlot = 0;
        uint32_t slotMask = 0;  // slot count - 1 (a power of two)
        uint32_t shift = 32;    // of the multiplicative hash
    };
    static uint32_t Hash(uint32_t value, uint32_t shift) {
        return shift >= 32 ? 0 : (value * 0x9E3779B1u) >> shift;
    }

    std::vector<Key> m_keys;
    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_candidates;
    std::vector<uint32_t> m_alwaysRun;
    uint32_t m_indexed = 0;
    size_t m_size = 0;
    bool m_built = false;
};

template <typename Fn>
void PortDispatch::ForEachCandidate(const uint8_t* data, uint32_t length, Fn&& fn) const {
    struct Span {
        const uint32_t* at;
        const uint32_t* end;
    };
    Span spans[kMaxKeys + 1];
    size_t n = 0;
    for (const Key& k : m_keys) {
        uint32_t value;
        if (!k.field.Read(data, length, value))
            continue;
        const Slot* slots = m_slots.data() + k.firstSlot;
        for (uint32_t s = Hash(value, k.shift) & k.slotMask;; s = (s + 1) & k.slotMask) {
            const Slot& slot = slots[s];
            if (slot.count == 0)
                break;
            if (slot.value == value) {
                const uint32_t* first = m_candidates.data() + slot.begin;
                spans[n++] = Span{first, first + slot.count};
                break;
            }
        }
    }
    if (!m_alwaysRun.empty())
        spans[n++] = Span{m_alwaysRun.data(), m_alwaysRun.data() + m_alwaysRun.size()};
    if (n == 1) {
        for (const uint32_t* p = spans[0].at; p != spans[0].end; ++p)
            fn(*p);
        return;
    }
    // A k-way merge over a handful of short ascending lists; a responder found under two keys
    // is answered once.
    while (n != 0) {
        uint32_t least = *spans[0].at;
        for (size_t i = 1; i < n; ++i)
            least = std::min(least, *spans[i].at);
        fn(least);
        for (size_t i = 0; i < n;) {
            if (*spans[i].at == least && ++spans[i].at == spans[i].end) {
                spans[i] = spans[--n];
            } else {
                ++i;
            }
        }
    }
}

}  // namespace orx::il
