// Object model throughput: creating objects under a parent and resolving them by handle.
// Prints create_per_s and lookup_per_s (best of several rounds of 100,000 objects).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <orx/core/HostClasses.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/ScriptableCreator.h>
#include "Quick.h"

using namespace orx::framework;
using namespace orx::core;

namespace {

constexpr int kObjects = 100000;
using Clock = std::chrono::steady_clock;

CScriptable* MakePort() {
    return CScriptableCreator::Create(CPort::CLASS_ID(), &CProject::Instance());
}

void CreateProbes(CScriptable* port, std::vector<Handle>& handles) {
    handles.clear();
    handles.reserve(kObjects);
    for (int i = 0; i < kObjects; ++i) {
        handles.push_back(CScriptableCreator::Create(CProbe::CLASS_ID(), port)->GetObjectHandle());
    }
}

size_t LookupAll(const std::vector<Handle>& handles) {
    const CHandleRegistry& registry = CHandleRegistry::Instance();
    size_t found = 0;
    for (Handle h : handles)
        found += registry.Find(h) != nullptr;
    return found;
}

void BM_CreateProbes(benchmark::State& state) {
    std::vector<Handle> handles;
    for (auto _ : state) {
        CScriptable* port = MakePort();
        CreateProbes(port, handles);
        benchmark::DoNotOptimize(handles.data());
        state.PauseTiming();
        CProject::Instance().Reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_CreateProbes)->Unit(benchmark::kMillisecond);

void BM_LookupByHandle(benchmark::State& state) {
    std::vector<Handle> handles;
    CreateProbes(MakePort(), handles);
    for (auto _ : state)
        benchmark::DoNotOptimize(LookupAll(handles));
    state.SetItemsProcessed(state.iterations() * kObjects);
    CProject::Instance().Reset();
}
BENCHMARK(BM_LookupByHandle);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    double createPerS = 0;
    double lookupPerS = 0;
    std::vector<Handle> handles;
    for (int round = 0, rounds = bench::Rounds(5); round < rounds; ++round) {
        CScriptable* port = MakePort();
        auto start = Clock::now();
        CreateProbes(port, handles);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        createPerS = std::max(createPerS, kObjects / seconds);

        constexpr int kPasses = 20;
        size_t found = 0;
        start = Clock::now();
        for (int pass = 0; pass < kPasses; ++pass) {
            found += LookupAll(handles);
            benchmark::ClobberMemory();
        }
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (found != static_cast<size_t>(kObjects) * kPasses) {
            std::fprintf(stderr, "lookup found %zu of %d objects\n", found / kPasses, kObjects);
            return 1;
        }
        lookupPerS = std::max(lookupPerS, static_cast<double>(found) / seconds);
        CProject::Instance().Reset();
    }
    std::printf("create_per_s=%.0f\n", createPerS);
    std::printf("lookup_per_s=%.0f\n", lookupPerS);
    return 0;
}
