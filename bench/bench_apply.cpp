// Applies 10,000 configurations spread over 100 ports to in-process software test ports, then
// re-applies after changing 1% of them; once with typed filters, once with frame-description
// filters. Timings include the host's validation, as `frhost apply` does.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "orx/core/Apply.h"
#include "orx/core/Capabilities.h"
#include "orx/core/HostClasses.h"
#include "orx/framework/Logger.h"
#include "orx/framework/PluginLoader.h"
#include "orx/framework/ScriptableCreator.h"
#include "orx/il/IlServer.h"
#include "orx/transport/InProcIlTransport.h"

using namespace orx::framework;
using namespace orx::core;

namespace {

constexpr int kModules = 10;
constexpr int kPortsPerModule = 10;
constexpr int kConfigs = 10000;

CScriptable* Make(const std::string& className, CScriptable* parent) {
    return CScriptableCreator::Create(className, parent);
}

void SetByName(CScriptable& object, const std::string& name, const std::string& text) {
    object.SetFromString(object.GetMetaClass().FindProperty(name)->GetId(), text);
}

std::string FrameFilter(int i) {
    return "<frame><pdu name=\"eth1\" type=\"ethernet:EthernetII\"/><pdu name=\"ip1\" "
           "type=\"ipv4:IPv4\"><sourceAddr>10.0." +
           std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) +
           "</sourceAddr></pdu><pdu name=\"udp1\" type=\"udp:Udp\"><destPort>" +
           std::to_string(1000 + i % 5000) + "</destPort></pdu></frame>";
}

struct Setup {
    std::vector<std::shared_ptr<orx::il::IlServer>> ils;
    std::vector<std::shared_ptr<IlTransport>> transports;
    std::vector<CScriptable*> configs;
};

Setup Build(bool frameFilters) {
    Setup s;
    std::vector<CScriptable*> ports;
    for (int m = 0; m < kModules; ++m) {
        auto* module =
            dynamic_cast<CPhysicalTestModule*>(Make("PhysicalTestModule", &COrxSystem::Instance()));
        module->Set(PROP_TEST_MODULE_MODEL, std::string("SW"));
        std::string key;
        RcmKeyMgr::GetLookupKey(module->GetObjectHandle(), "TestModule", key);
        RcmDBMgr::Instance().SetDBValue(key, "TestModule/supportsFrameResponder", Capability(true));
        CScriptable* group = Make("PhysicalPortGroup", module);
        group->Set(PROP_PORT_GROUP_LOCATION, "//10.0.0." + std::to_string(m + 1) + "/1");
        std::vector<uint16_t> indices;
        for (int p = 0; p < kPortsPerModule; ++p) {
            CScriptable* port = Make("Port", &CProject::Instance());
            CScriptable* physical = Make("PhysicalPort", group);
            physical->Set(PROP_PHYSICAL_PORT_INDEX, static_cast<uint16_t>(p));
            physical->AddObject(*port, RelationType(PHYSICAL_PORT_TO_PORT));
            port->Set(PROP_PORT_ONLINE, true);
            ports.push_back(port);
            indices.push_back(static_cast<uint16_t>(p));
        }
        auto il = std::make_shared<orx::il::IlServer>(indices);
        auto transport = std::make_shared<orx::transport::InProcIlTransport>(il);
        module->SetIlTransport(transport);
        s.ils.push_back(il);
        s.transports.push_back(transport);
    }
    for (int i = 0; i < kConfigs; ++i) {
        CScriptable* port = ports[static_cast<size_t>(i) % ports.size()];
        CScriptable* probe = Make("Probe", port);
        CScriptable* config = Make("ProbeFrameResponseConfig", probe);
        if (frameFilters) {
            SetByName(*config, "UseFrameConfigFilter", "1");
            SetByName(*config, "FrameConfig", FrameFilter(i));
        } else {
            SetByName(*config, "Filter", "udp dst port " + std::to_string(1000 + i % 5000));
        }
        CScriptable* profile = Make("FrameResponseProfile", config);
        SetByName(*profile, "TxPort", std::to_string(port->GetObjectHandle()));
        s.configs.push_back(config);
    }
    return s;
}

double Seconds(const std::function<void()>& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ApplyOrDie() {
    ApplyResult result = ProjectApply::Apply();
    if (!result.ok) {
        throw std::runtime_error(
            "apply failed: " + result.error +
            (result.messages.empty() ? "" : " / " + result.messages[0].message));
    }
}

struct Figures {
    double apply = 0;
    double reapply = 0;
};

Figures Measure(bool frameFilters) {
    Setup s = Build(frameFilters);
    Figures f;
    f.apply = Seconds(ApplyOrDie);
    for (int i = 0; i < kConfigs; i += 100) {
        if (frameFilters) {
            SetByName(*s.configs[static_cast<size_t>(i)], "FrameConfig", FrameFilter(i + 7));
        } else {
            SetByName(*s.configs[static_cast<size_t>(i)], "Filter", "udp src port 53");
        }
    }
    f.reapply = Seconds(ApplyOrDie);
    CProject::Instance().Reset();
    return f;
}

void BM_ApplyTyped(benchmark::State& state) {
    for (auto _ : state) {
        Figures f = Measure(false);
        state.SetIterationTime(f.apply);
    }
}
BENCHMARK(BM_ApplyTyped)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    BLLLoggerFactory::GetInstance()->SetDefaultLevel(LOG_ERROR);
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    std::string error;
    if (!PluginLoader::Instance().LoadDirectory(self.parent_path().string(), &error) ||
        PluginLoader::Instance().GetPlugins().empty()) {
        std::fprintf(stderr, "bench_apply: cannot load the plug-in next to the program: %s\n",
                     error.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // The figures: best of three runs each.
    Figures typed{1e9, 1e9}, frames{1e9, 1e9};
    for (int run = 0; run < 3; ++run) {
        Figures t = Measure(false);
        typed.apply = std::min(typed.apply, t.apply);
        typed.reapply = std::min(typed.reapply, t.reapply);
        Figures f = Measure(true);
        frames.apply = std::min(frames.apply, f.apply);
        frames.reapply = std::min(frames.reapply, f.reapply);
    }
    std::printf("apply_10k_s=%.4f\n", typed.apply);
    std::printf("reapply_1pct_s=%.4f\n", typed.reapply);
    std::printf("configs_per_s=%.0f\n", kConfigs / typed.apply);
    std::printf("apply_10k_framefilter_s=%.4f\n", frames.apply);
    std::printf("reapply_1pct_framefilter_s=%.4f\n", frames.reapply);
    return 0;
}
