#include "Responders.h"

#include <pcap/pcap.h>

#include <algorithm>

#include <orx/framework/Logger.h>

namespace orx::il {

using namespace responder_1_bll;
using orx::framework::BLLLogger;
using orx::framework::BLLLoggerFactory;

namespace {

BLLLogger* Log() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("il.responders");
    return logger;
}

constexpr uint32_t kMaxFrame = 65535;

}  // namespace

// A configuration as the frame path needs it: the filter program and the profiles whose bytes
// the published tables point into. Immutable.
struct CompiledConfig {
    respConfig_s source;
    bpf_program program{};
    // What the program tests on every accepting path; a property of the program, so found once.
    FilterAnalysis analysis;
    ~CompiledConfig() { pcap_freecode(&program); }
};

Responders::Responders(const std::vector<uint16_t>& ports) {
    for (uint16_t p : ports)
        m_engines.emplace(p, std::make_unique<PortEngine>(p));
    m_compiler = pcap_open_dead(DLT_EN10MB, kMaxFrame);
    if (m_compiler == nullptr)
        throw std::runtime_error("cannot open a libpcap filter compiler");
}

Responders::~Responders() {
    // Tables point into the configurations: unpublish before they go.
    for (auto& [port, engine] : m_engines)
        engine->Publish(std::make_unique<PortTable>());
    pcap_close(static_cast<pcap_t*>(m_compiler));
}

PortEngine* Responders::Engine(uint16_t port) {
    auto it = m_engines.find(port);
    return it == m_engines.end() ? nullptr : it->second.get();
}

std::shared_ptr<const CompiledConfig> Responders::Compile(const respConfig_s& config,
                                                          std::string& error) const {
    for (size_t p = 0; p < config.responseArray.size(); ++p) {
        const respProfile_s& profile = config.responseArray[p];
        std::string where = "profile " + std::to_string(p + 1);
        if (profile.payload.size() > kMaxFrame) {
            error = where + ": payload of " + std::to_string(profile.payload.size()) +
                    " bytes is longer than the largest frame (65535)";
            return nullptr;
        }
        for (size_t m = 0; m < profile.modifierArray.size(); ++m) {
            const FrameResponseModifier_s& mod = profile.modifierArray[m];
            std::string at = where + ", modifier " + std::to_string(m + 1);
            if (mod.Opcode != SET_VALUE) {
                error = at + ": unknown opcode " + std::to_string(mod.Opcode) +
                        " (the only operation is SET_VALUE = 16)";
                return nullptr;
            }
            if (mod.Mask.size() != mod.Value.size()) {
                error = at + ": Mask has " + std::to_string(mod.Mask.size()) +
                        " bytes but Value has " + std::to_string(mod.Value.size());
                return nullptr;
            }
        }
    }
    auto compiled = std::make_shared<CompiledConfig>();
    compiled->source = config;
    pcap_t* pcap = static_cast<pcap_t*>(m_compiler);
    if (pcap_compile(pcap, &compiled->program, config.filterExpr.c_str(), 1,
                     PCAP_NETMASK_UNKNOWN) != 0) {
        error = "filter \"" + config.filterExpr + "\" does not compile: " + pcap_geterr(pcap);
        compiled->program = bpf_program{};
        return nullptr;
    }
    compiled->analysis = AnalyzeFilter(compiled->program.bf_insns, compiled->program.bf_len);
    return compiled;
}

std::vector<errorMsg_s> Responders::Configure(uint16_t port,
                                              const std::vector<respConfig_s>& configs) {
    std::vector<errorMsg_s> errors;
    std::set<uint32_t> seen;
    std::set<uint16_t> touched{port};
    for (const respConfig_s& config : configs) {
        std::string error;
        std::shared_ptr<const CompiledConfig> compiled;
        if (!seen.insert(config.configHandle).second) {
            error = "handle " + std::to_string(config.configHandle) +
                    " is listed more than once in the request";
        } else {
            compiled = Compile(config, error);
        }
        if (!compiled) {
            errors.push_back(errorMsg_s{config.configHandle, error});
            if (Log()->IsEnabledFor(orx::framework::LOG_WARN)) {
                Log()->Warn("Port " + std::to_string(port) + ": configuration " +
                                std::to_string(config.configHandle) + " refused: " + error,
                            __FILE__, __LINE__);
            }
            continue;
        }
        for (size_t p = 0; p < config.responseArray.size(); ++p) {
            uint16_t tx = config.responseArray[p].portIndex;
            if (!Serves(tx) && Log()->IsEnabledFor(orx::framework::LOG_WARN)) {
                Log()->Warn("Configuration " + std::to_string(config.configHandle) + ", profile " +
                                std::to_string(p + 1) + ": port " + std::to_string(tx) +
                                " is not served by this IL; its responses are dropped",
                            __FILE__, __LINE__);
            }
        }
        auto [it, created] = m_responders.try_emplace(config.configHandle);
        Responder& r = it->second;
        if (created) {
            r.handle = config.configHandle;
            r.port = port;
            r.counters = std::make_shared<ResponderCounters>();
        } else if (r.port != port) {
            // Moved to another port: the counters get a new single writer, starting from the
            // values reported so far.
            CounterSnapshot before = Read(r);
            touched.insert(r.port);
            r.port = port;
            r.counters = std::make_shared<ResponderCounters>();
            r.baseMatched = 0 - before.matched;
            r.baseTransmitted = 0 - before.transmitted;
            r.clearedTenth = INT64_MIN;
        }
        r.config = std::move(compiled);
    }
    for (uint16_t p : touched)
        Publish(p);
    return errors;
}

Responders::Responder* Responders::Find(uint16_t port, uint32_t handle, const char* request) {
    auto it = m_responders.find(handle);
    if (it != m_responders.end() && it->second.port == port)
        return &it->second;
    if (Log()->IsEnabledFor(orx::framework::LOG_WARN)) {
        Log()->Warn(std::string(request) + ": handle " + std::to_string(handle) +
                        " is not configured on port " + std::to_string(port) + "; skipped",
                    __FILE__, __LINE__);
    }
    return nullptr;
}

std::vector<uint32_t> Responders::Remove(uint16_t port, const std::vector<uint32_t>& handles) {
    std::vector<uint32_t> done;
    for (uint32_t h : handles) {
        if (Find(port, h, request::RemoveResponder)) {
            m_responders.erase(h);
            done.push_back(h);
        }
    }
    Publish(port);
    return done;
}

std::vector<uint32_t> Responders::SetRunning(uint16_t port, const std::vector<uint32_t>& handles,
                                             bool running) {
    std::vector<uint32_t> done;
    for (uint32_t h : handles) {
        if (Responder* r = Find(port, h, running ? request::Start : request::Stop)) {
            r->running = running;
            done.push_back(h);
        }
    }
    Publish(port);
    return done;
}

std::vector<uint32_t> Responders::Clear(uint16_t port, const std::vector<uint32_t>& handles) {
    std::vector<uint32_t> done;
    int64_t nowTenth = Engine(port)->ClockNs() / ResponderCounters::kRateSlotNs;
    for (uint32_t h : handles) {
        if (Responder* r = Find(port, h, request::ClearResult)) {
            r->counters->Read(r->baseMatched, r->baseTransmitted);
            r->clearedTenth = nowTenth;
            done.push_back(h);
        }
    }
    return done;
}

CounterSnapshot Responders::Read(const Responder& r) const {
    CounterSnapshot s;
    s.handle = r.handle;
    s.port = r.port;
    s.vifHandle = r.config ? r.config->source.vifHandle : 0;
    s.running = r.running;
    uint64_t matched = 0, transmitted = 0;
    r.counters->Read(matched, transmitted);
    s.matched = matched - r.baseMatched;
    s.transmitted = transmitted - r.baseTransmitted;
    auto engine = m_engines.find(r.port);
    s.rate = r.counters->Rate(engine->second->ClockNs(), r.clearedTenth);
    return s;
}

std::vector<CounterSnapshot> Responders::Snapshot() const {
    std::vector<CounterSnapshot> out;
    for (const auto& [handle, r] : m_responders)
        out.push_back(Read(r));
    return out;
}

std::vector<ResponderView> Responders::Describe(bool all, uint16_t port) const {
    std::vector<ResponderView> out;
    for (const auto& [handle, r] : m_responders) {
        if (!all && r.port != port)
            continue;
        CounterSnapshot s = Read(r);
        ResponderView v;
        v.handle = handle;
        v.port = r.port;
        v.filter = r.config->source.filterExpr;
        v.running = r.running;
        v.vifHandle = s.vifHandle;
        v.matched = s.matched;
        v.transmitted = s.transmitted;
        v.rate = s.rate;
        for (const respProfile_s& p : r.config->source.responseArray) {
            v.profiles.push_back(ProfileView{p.portIndex, p.delay, p.payload,
                                             static_cast<uint32_t>(p.modifierArray.size())});
        }
        out.push_back(std::move(v));
    }
    std::stable_sort(out.begin(), out.end(), [](const ResponderView& a, const ResponderView& b) {
        return a.port < b.port;
    });
    return out;
}

std::vector<PortDispatchView> Responders::DescribeDispatch(bool all, uint16_t port) const {
    std::vector<PortDispatchView> out;
    for (const auto& [p, engine] : m_engines) {
        if (!all && p != port)
            continue;
        auto it = m_dispatchViews.find(p);
        if (it != m_dispatchViews.end()) {
            out.push_back(it->second);
        } else {
            out.push_back(PortDispatchView{});
            out.back().port = p;
        }
    }
    return out;
}

void Responders::Sync(ResultStore& store, int64_t stamp) {
    for (auto& [handle, r] : m_responders) {
        CounterSnapshot s = Read(r);
        if (r.written && s.matched == r.lastMatched && s.transmitted == r.lastTransmitted &&
            s.rate == r.lastRate && s.vifHandle == r.lastVif) {
            continue;
        }
        store.Write(ResultRow{handle, s.vifHandle, s.matched, s.transmitted, s.rate, stamp});
        r.written = true;
        r.lastMatched = s.matched;
        r.lastTransmitted = s.transmitted;
        r.lastRate = s.rate;
        r.lastVif = s.vifHandle;
    }
}

void Responders::Publish(uint16_t port) {
    auto table = std::make_unique<PortTable>();
    // Sizes first: the ops point into these vectors, which must not reallocate afterwards.
    size_t profiles = 0, patches = 0;
    for (const auto& [handle, r] : m_responders) {
        if (r.port != port || !r.running)
            continue;
        for (const auto& p : r.config->source.responseArray) {
            ++profiles;
            patches += p.modifierArray.size();
        }
    }
    table->profiles.reserve(profiles);
    table->patches.reserve(patches);
    std::vector<const FilterAnalysis*> analyses;
    std::vector<uint32_t> handles;
    for (const auto& [handle, r] : m_responders) {
        if (r.port != port || !r.running)
            continue;
        const CompiledConfig& c = *r.config;
        size_t firstProfile = table->profiles.size();
        for (const auto& p : c.source.responseArray) {
            size_t firstPatch = table->patches.size();
            for (const auto& m : p.modifierArray) {
                table->patches.push_back(PatchOp{m.Offset, static_cast<uint32_t>(m.Mask.size()),
                                                 m.Mask.data(), m.Value.data()});
            }
            table->profiles.push_back(ProfileOp{
                p.payload.data(), static_cast<uint32_t>(p.payload.size()),
                table->patches.data() + firstPatch, static_cast<uint32_t>(p.modifierArray.size()),
                Serves(p.portIndex) ? int32_t{p.portIndex} : -1, int64_t{p.delay} * 1000});
        }
        table->responders.push_back(
            ResponderOp{c.program.bf_insns, r.counters.get(), table->profiles.data() + firstProfile,
                        static_cast<uint32_t>(table->profiles.size() - firstProfile)});
        table->owners.push_back(r.config);
        table->owners.push_back(r.counters);
        analyses.push_back(&c.analysis);
        handles.push_back(handle);
    }
    table->dispatch = PortDispatch::Build(analyses);
    PortDispatchView& view = m_dispatchViews[port];
    view = PortDispatchView{};
    view.port = port;
    view.running = static_cast<uint32_t>(handles.size());
    view.indexed = table->dispatch.Indexed();
    for (const DispatchKeyUse& k : table->dispatch.Keys())
        view.keys.push_back(DispatchKeyView{k.key.Name(), k.responders, k.values});
    for (uint32_t i : table->dispatch.AlwaysRun())
        view.alwaysRun.push_back(handles[i]);
    Engine(port)->Publish(std::move(table));
}

}  // namespace orx::il
