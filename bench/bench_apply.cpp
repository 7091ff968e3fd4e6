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

#include <orx/core/Apply.h>
#include <orx/core/Capabilities.h>
#include <orx/core/HostClasses.h>
#include <orx/framework/Logger.h>
#include <orx/framework/PluginLoader.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/il/IlServer.h>
#include <orx/transport/InProcIlTransport.h>
#include "BenchProject.h"
#include "Quick.h"

using namespace orx::framework;
using namespace orx::core;

namespace {

constexpr int kModules = 10;
constexpr int kPortsPerModule = 10;
constexpr int kConfigs = 10000;

using bench::ApplyOrDie;
using bench::FrameFilter;
using bench::SetByName;

double Seconds(const std::function<void()>& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Figures {
    double apply = 0;
    double reapply = 0;
};

Figures Measure(bool frameFilters) {
    bench::Project s = bench::Build(kModules, kPortsPerModule, kConfigs, frameFilters);
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
    if (!bench::LoadPlugins("bench_apply"))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // The figures: best of three runs each.
    Figures typed{1e9, 1e9}, frames{1e9, 1e9};
    for (int run = 0, runs = bench::Rounds(3); run < runs; ++run) {
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
