// Frame descriptions of a typical filter (Ethernet, one VLAN tag, IPv4, UDP, four set fields):
// conversions into a filter expression, parse included, and frame builds with checksums.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include <orx/core/HostClasses.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/ScriptableCreator.h>
#include "Quick.h"
#include "ResponderContainer.h"

namespace {

using namespace orx::framework;

class CBenchContainer : public orx::responder::CResponderContainer {};

constexpr uint32_t kBenchClass = 0x97101000;

const char* const kFrame = R"(<frame>
  <pdu name="eth1" type="ethernet:EthernetII">
    <srcMac>02:00:00:00:00:01</srcMac>
    <vlans><Vlan name="vlan1"><id>100</id></Vlan></vlans>
  </pdu>
  <pdu name="ip1" type="ipv4:IPv4"><sourceAddr>10.0.0.1</sourceAddr></pdu>
  <pdu name="udp1" type="udp:Udp"><destPort>53</destPort></pdu>
</frame>)";

CBenchContainer& Container() {
    static CBenchContainer* container = [] {
        CMetaClass::InitMakeDestroyFuncs(
            kBenchClass, [] { return static_cast<CScriptable*>(new CBenchContainer()); },
            [](CScriptable* o) { delete o; });
        std::string error;
        if (!CMetaClassManager::Instance().LoadDataModel(
                R"(<dataModel id="0x97100000" name="bench">
                     <class id="0x97101000" name="BenchFrameContainer" base="PduContainer"/>
                   </dataModel>)",
                "bench", &error)) {
            throw std::runtime_error(error);
        }
        auto* c = dynamic_cast<CBenchContainer*>(
            CScriptableCreator::Create(kBenchClass, &orx::core::CProject::Instance()));
        c->SetFrameConfig(kFrame);
        return c;
    }();
    return *container;
}

void Convert() {
    CBenchContainer& c = Container();
    c.ParseFrameXml();
    std::string expression = c.ConvertToTcpdumpFilter();
    benchmark::DoNotOptimize(expression.data());
}

void Build() {
    CBenchContainer& c = Container();
    c.ParseFrameXml();
    std::vector<uint8_t> bytes;
    c.GetPayload(bytes, true);
    benchmark::DoNotOptimize(bytes.data());
}

void BM_FilterConversion(benchmark::State& state) {
    for (auto _ : state)
        Convert();
}
BENCHMARK(BM_FilterConversion);

void BM_FrameBuild(benchmark::State& state) {
    for (auto _ : state)
        Build();
}
BENCHMARK(BM_FrameBuild);

// Best of five rounds, in operations per second.
template <class F>
double PerSecond(F&& f) {
    return bench::BestRate(5, 20000, f);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("filter_expression=%s\n", Container().ConvertToTcpdumpFilter().c_str());
    std::printf("filter_conversions_per_s=%.0f\n", PerSecond(Convert));
    std::printf("frame_builds_per_s=%.0f\n", PerSecond(Build));
    return 0;
}
