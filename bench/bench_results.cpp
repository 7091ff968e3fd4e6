// Results of 10,000 configurations on 10 ports of in-process software test ports: how long a
// result view over the project takes to subscribe (result objects made, one query per port
// written and sent), and how many result rows per second reach the result objects from the
// test ports' notifications (decoded from the wire, parsed, written; every value changed).
// Also the one-shot refresh through the real test ports (SQL run, encoded, decoded, written).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

#include <orx/core/Apply.h>
#include <orx/core/HostClasses.h>
#include <orx/core/Results.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/Result.h>
#include <orx/msglib/Codec.h>
#include "BenchProject.h"
#include "Quick.h"
#include "responder_1.h"

using namespace orx::framework;
using namespace orx::core;

namespace {

constexpr int kConfigs = 10000;
constexpr int kPorts = 10;

double Seconds(const std::function<void()>& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Subscribed {
    CPagedResultHandler* handler = nullptr;
    uint32_t id = 0;
};

Subscribed SubscribeProbeConfigs() {
    for (const auto& h : CResultModule::Instance().GetHandlers()) {
        for (const auto& [type, info] : h->GetResultTypes()) {
            (void)info;
            const CMetaClass* parent = CMetaClassManager::Instance().GetClass(type.parentClassId);
            if (parent && parent->GetName() == "ProbeFrameResponseConfig")
                return {h.get(),
                        h->Subscribe(ResultSubscription(type, {ORX_PROJECT_HANDLE}, {}, 1000))};
        }
    }
    throw std::runtime_error("no result type for probe configurations is registered");
}

// One notification per port, as a test port would send it: every configuration of the port
// with counters derived from `round`, so that every value changes from one round to the next.
std::vector<std::vector<uint8_t>> Notifications(const Subscribed& s, int64_t round) {
    const CSubscriptionRecord* record = s.handler->FindSubscription(s.id);
    std::vector<std::vector<uint8_t>> out;
    for (const auto& [port, notificationId] : s.handler->GetNotificationIds(s.id)) {
        Stats_1_bll::commandResultFaster_s result;
        for (uint32_t c = 0; c < 4; ++c)
            result.columnOrder.push_back({Stats_1_bll::columnVal_t::INT64, c});
        for (const auto& [parent, data] : record->GetPortResultsMap().at(port).GetParentMap()) {
            (void)data;
            Stats_1_bll::rowFaster_s row;
            row.int64Values = {parent, round * 3 + parent, round * 2 + parent, round};
            result.rows.push_back(std::move(row));
        }
        Message m;
        responder_1_bll::create_req_DoSQLNotifyFaster(&m, notificationId, {result}, true);
        out.push_back(msglib::encode(m));
    }
    return out;
}

size_t Deliver(const std::vector<std::vector<uint8_t>>& notifications) {
    size_t delivered = 0;
    for (const auto& bytes : notifications) {
        Message m = msglib::decode(bytes);
        delivered += CCoreIlResultsNotificationManager::Instance().Dispatch(m) ? 1 : 0;
    }
    return delivered;
}

struct Figures {
    double subscribe = 0;
    double rowsPerSecond = 0;
    double refreshRowsPerSecond = 0;
};

Figures Measure() {
    bench::Project project = bench::Build(1, kPorts, kConfigs, false);
    bench::ApplyOrDie();
    Figures f;
    Subscribed s;
    f.subscribe = Seconds([&] { s = SubscribeProbeConfigs(); });

    // Prepared first: what is timed is the host's side only.
    constexpr int kRounds = 20;
    std::vector<std::vector<std::vector<uint8_t>>> rounds;
    for (int r = 1; r <= kRounds; ++r)
        rounds.push_back(Notifications(s, r));
    size_t delivered = 0;
    double t = Seconds([&] {
        for (const auto& round : rounds)
            delivered += Deliver(round);
    });
    if (delivered != static_cast<size_t>(kRounds * kPorts))
        throw std::runtime_error("notifications were not delivered to the subscription");
    // The last round's values are in the objects.
    CScriptable* result = CHandleRegistry::Instance().Find(s.handler->FindSubscription(s.id)
                                                               ->GetPortResultsMap()
                                                               .begin()
                                                               ->second.GetParentMap()
                                                               .begin()
                                                               ->second.result);
    if (!result || result->GetProperty(result->GetMetaClass().FindProperty("RxFrameRate")->GetId())
                           .GetValueText() != std::to_string(kRounds)) {
        throw std::runtime_error("result objects do not hold the notified values");
    }
    f.rowsPerSecond = kRounds * static_cast<double>(kConfigs) / t;

    constexpr int kRefreshes = 5;
    double r = Seconds([&] {
        for (int i = 0; i < kRefreshes; ++i)
            s.handler->Refresh(s.id);
    });
    f.refreshRowsPerSecond = kRefreshes * static_cast<double>(kConfigs) / r;
    s.handler->UnsubscribeAll();
    CProject::Instance().Reset();
    return f;
}

void BM_NotifyRows(benchmark::State& state) {
    for (auto _ : state) {
        Figures f = Measure();
        state.SetIterationTime(kConfigs / f.rowsPerSecond);
    }
}
BENCHMARK(BM_NotifyRows)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    BLLLoggerFactory::GetInstance()->SetDefaultLevel(LOG_ERROR);
    if (!bench::LoadPlugins("bench_results"))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // Best of three runs each.
    Figures best{1e9, 0, 0};
    for (int run = 0, runs = bench::Rounds(3); run < runs; ++run) {
        Figures f = Measure();
        best.subscribe = std::min(best.subscribe, f.subscribe);
        best.rowsPerSecond = std::max(best.rowsPerSecond, f.rowsPerSecond);
        best.refreshRowsPerSecond = std::max(best.refreshRowsPerSecond, f.refreshRowsPerSecond);
    }
    std::printf("subscribe_10k_s=%.4f\n", best.subscribe);
    std::printf("notify_rows_per_s=%.0f\n", best.rowsPerSecond);
    std::printf("refresh_rows_per_s=%.0f\n", best.refreshRowsPerSecond);
    return 0;
}
