// Frames per second through one port of the software test port, against a bare loop of
// pcap_offline_filter over the same frames and filters; with a thousand responders the port's
// dispatch index against running them all; and the time to publish a table of 10,000.

#include <benchmark/benchmark.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <orx/il/Dispatch.h>
#include <orx/il/FramePump.h>
#include <orx/il/IlServer.h>
#include <orx/il/MemoryFrames.h>
#include <orx/msglib/Message.h>
#include "Quick.h"
#include "responder_1.h"

namespace {

using namespace orx::il;

constexpr int kFrames = 1024;

// UDP frames from 10.0.x.y (64 bytes); the responders that must not match look for 192.168.1.x.
std::vector<StoredFrame> Frames() {
    std::vector<StoredFrame> frames;
    for (int i = 0; i < kFrames; ++i) {
        std::vector<uint8_t> f = {0x00,
                                  0x10,
                                  0x94,
                                  0x00,
                                  0x00,
                                  0x02,
                                  0x02,
                                  0x00,
                                  0x00,
                                  0x00,
                                  0x00,
                                  0x01,
                                  0x08,
                                  0x00,
                                  0x45,
                                  0x00,
                                  0x00,
                                  0x32,
                                  0x00,
                                  0x00,
                                  0x00,
                                  0x00,
                                  0x40,
                                  0x11,
                                  0x00,
                                  0x00,
                                  10,
                                  0,
                                  uint8_t(i >> 8),
                                  uint8_t(i),
                                  10,
                                  0,
                                  0,
                                  2,
                                  0x13,
                                  0x88,
                                  0x00,
                                  0x35,
                                  0x00,
                                  0x1e};
        f.resize(64, 0xAB);
        frames.push_back({std::move(f), int64_t(i) * 1000});
    }
    return frames;
}

std::string MissFilter(int i) {
    return "src host 192.168.1." + std::to_string(i % 250 + 1);
}

struct Setup {
    std::unique_ptr<IlServer> il;
    std::vector<std::string> filters;
};

void Request(IlServer& il, void (*build)(Message*, const std::vector<uint32_t>&, bool),
             const std::vector<uint32_t>& handles) {
    Message m;
    build(&m, handles, true);
    m.set_destination(0);
    if (il.Handle(m).get_msg_type() != TMT_RESPONSE)
        std::abort();
}

// Configures `configs` on port 0; returns their handles.
std::vector<uint32_t> Configure(IlServer& il,
                                const std::vector<responder_1_bll::respConfig_s>& configs) {
    Message m;
    responder_1_bll::create_req_ConfigResponder(&m, configs, true);
    m.set_destination(0);
    if (il.Handle(m).get_msg_type() != TMT_RESPONSE)
        std::abort();
    std::vector<uint32_t> handles;
    for (const auto& c : configs)
        handles.push_back(c.configHandle);
    return handles;
}

Setup MakeIl(int responders, bool answer) {
    Setup s{std::make_unique<IlServer>(std::vector<uint16_t>{0}), {}};
    std::vector<responder_1_bll::respConfig_s> configs;
    for (int i = 0; i < responders; ++i) {
        responder_1_bll::respConfig_s c;
        c.configHandle = 100 + i;
        c.filterExpr = answer ? "udp" : MissFilter(i);
        if (answer) {
            responder_1_bll::respProfile_s p;
            p.payload.assign(64, 0x42);
            p.portIndex = 0;
            c.responseArray.push_back(p);
        }
        s.filters.push_back(c.filterExpr);
        configs.push_back(c);
    }
    Request(*s.il, responder_1_bll::create_req_Start, Configure(*s.il, configs));
    return s;
}

// ICMP echo requests from 10.0.0.1 (64 bytes, valid checksums, one sequence number each),
// answered by a reply patched from the request: MACs and addresses swapped, type set to 0.
std::vector<StoredFrame> EchoRequests() {
    std::vector<StoredFrame> frames;
    for (int i = 0; i < kFrames; ++i) {
        std::vector<uint8_t> f = {0x00, 0x10, 0x94, 0x00, 0x00, 0x02, 0x02,
                                  0x00, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00};
        // IPv4, 50 bytes, TTL 64, ICMP, 10.0.0.1 > 10.0.0.2; then an echo request.
        f.insert(f.end(), {0x45, 0, 0, 0x32, 0, 0, 0, 0, 64, 1, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2});
        f.insert(f.end(), {8, 0, 0, 0, 0x12, 0x34, uint8_t(i >> 8), uint8_t(i)});
        f.resize(64, 0xAB);
        auto fill = [&f](size_t from, size_t to, size_t at) {
            uint32_t sum = 0;
            for (size_t k = from; k < to; k += 2)
                sum += uint32_t(f[k] << 8 | f[k + 1]);
            while (sum >> 16)
                sum = (sum & 0xFFFF) + (sum >> 16);
            f[at] = uint8_t(~sum >> 8);
            f[at + 1] = uint8_t(~sum);
        };
        fill(14, 34, 24);
        fill(34, 64, 36);
        frames.push_back({std::move(f), int64_t(i) * 1000});
    }
    return frames;
}

Setup MakePatchingIl() {
    Setup s{std::make_unique<IlServer>(std::vector<uint16_t>{0}), {}};
    responder_1_bll::respConfig_s c;
    c.configHandle = 1;
    c.filterExpr = "icmp[icmptype] = icmp-echo";
    responder_1_bll::respProfile_s p;
    p.portIndex = 0;
    auto set = [&p](uint32_t offset, std::vector<uint8_t> value) {
        p.modifierArray.push_back({responder_1_bll::SET_VALUE, offset,
                                   std::vector<uint8_t>(value.size(), 0xFF), std::move(value)});
    };
    set(0, {0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x10, 0x94, 0x00, 0x00, 0x02});
    set(26, {10, 0, 0, 2, 10, 0, 0, 1});
    set(34, {0});
    c.responseArray.push_back(p);
    s.filters.push_back(c.filterExpr);
    Request(*s.il, responder_1_bll::create_req_Start, Configure(*s.il, {c}));
    return s;
}

// A port emulating many hosts: responder 2j answers ARP requests for 10.1.j/16 (its own
// address), responder 2j+1 UDP to port 10000+j; each answers with a 64-byte frame.
constexpr uint32_t kHostAddress = 0x0A010000;
constexpr uint16_t kHostPort = 10000;

std::vector<responder_1_bll::respConfig_s> HostConfigs(int responders, uint32_t firstHandle) {
    std::vector<responder_1_bll::respConfig_s> configs;
    for (int i = 0; i < responders; ++i) {
        responder_1_bll::respConfig_s c;
        c.configHandle = firstHandle + i;
        const uint32_t j = static_cast<uint32_t>(i / 2);
        char filter[64];
        if (i % 2 == 0) {
            std::snprintf(filter, sizeof filter, "arp and arp[24:4] = 0x%08x", kHostAddress + j);
        } else {
            std::snprintf(filter, sizeof filter, "udp dst port %u", kHostPort + j);
        }
        c.filterExpr = filter;
        responder_1_bll::respProfile_s p;
        p.payload.assign(64, 0x42);
        p.portIndex = 0;
        c.responseArray.push_back(p);
        configs.push_back(c);
    }
    return configs;
}

Setup MakeHostsIl(int responders) {
    Setup s{std::make_unique<IlServer>(std::vector<uint16_t>{0}), {}};
    std::vector<responder_1_bll::respConfig_s> configs = HostConfigs(responders, 1);
    for (const auto& c : configs)
        s.filters.push_back(c.filterExpr);
    Request(*s.il, responder_1_bll::create_req_Start, Configure(*s.il, configs));
    return s;
}

// 64-byte ARP requests and UDP frames, alternately for an emulated host and for none.
std::vector<StoredFrame> HostFrames(int responders) {
    std::vector<StoredFrame> frames;
    const uint32_t hosts = static_cast<uint32_t>(responders / 2);
    for (int i = 0; i < kFrames; ++i) {
        const uint32_t j = static_cast<uint32_t>(i / 4) * 7 % hosts;
        const bool hit = i % 4 < 2;
        std::vector<uint8_t> f = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
        if (i % 2 == 0) {
            const uint32_t target = hit ? kHostAddress + j : 0x0A020000 + j;
            f.insert(f.end(), {0x08,
                               0x06,
                               0,
                               1,
                               8,
                               0,
                               6,
                               4,
                               0,
                               1,
                               2,
                               0,
                               0,
                               0,
                               0,
                               1,
                               10,
                               0,
                               0,
                               1,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               uint8_t(target >> 24),
                               uint8_t(target >> 16),
                               uint8_t(target >> 8),
                               uint8_t(target)});
        } else {
            const uint16_t port = static_cast<uint16_t>(hit ? kHostPort + j : 20000 + j);
            f.insert(f.end(), {0x08,
                               0x00,
                               0x45,
                               0,
                               0,
                               50,
                               0,
                               0,
                               0,
                               0,
                               64,
                               17,
                               0,
                               0,
                               10,
                               0,
                               0,
                               1,
                               10,
                               1,
                               uint8_t(j >> 8),
                               uint8_t(j),
                               0x13,
                               0x88,
                               uint8_t(port >> 8),
                               uint8_t(port),
                               0,
                               30,
                               0,
                               0});
        }
        f.resize(64, 0);
        frames.push_back({std::move(f), int64_t(i) * 1000});
    }
    return frames;
}

// Building and publishing the table of `responders` configured ones: the best of a few starts.
double PublishMs(int responders) {
    IlServer il({0});
    const std::vector<uint32_t> handles = Configure(il, HostConfigs(responders, 1));
    double best = 1e9;
    for (int round = 0, rounds = bench::Rounds(5); round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        Request(il, responder_1_bll::create_req_Start, handles);
        best = std::min(best, std::chrono::duration<double, std::milli>(
                                  std::chrono::steady_clock::now() - start)
                                  .count());
        Request(il, responder_1_bll::create_req_Stop, handles);
    }
    return best;
}

// Frames through the port engine, from an in-memory source to a counting sink.
uint64_t RunIl(IlServer& il, const std::vector<StoredFrame>& frames, uint64_t rounds) {
    MemoryFrameSource source(frames, rounds);
    CountingFrameSink sink;
    FramePump pump;
    pump.AddSource(*il.Engine(0), source);
    pump.AddSink(0, sink);
    pump.RunToEnd();
    return sink.Frames();
}

struct BareFilters {
    pcap_t* pcap = pcap_open_dead(DLT_EN10MB, 65535);
    std::vector<bpf_program> programs;
    explicit BareFilters(const std::vector<std::string>& filters) {
        for (const auto& f : filters) {
            bpf_program p{};
            if (pcap_compile(pcap, &p, f.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0)
                std::abort();
            programs.push_back(p);
        }
    }
    ~BareFilters() {
        for (auto& p : programs)
            pcap_freecode(&p);
        pcap_close(pcap);
    }
};

// Analysing the filters of 10,000 responders (done once per configuration, when it compiles).
double AnalyzeMs(int responders) {
    std::vector<std::string> filters;
    for (const auto& c : HostConfigs(responders, 1))
        filters.push_back(c.filterExpr);
    BareFilters compiled(filters);
    double best = 1e9;
    for (int round = 0, rounds = bench::Rounds(5); round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        size_t paths = 0;
        for (const bpf_program& p : compiled.programs)
            paths += AnalyzeFilter(p.bf_insns, p.bf_len).paths.size();
        benchmark::DoNotOptimize(paths);
        best = std::min(best, std::chrono::duration<double, std::milli>(
                                  std::chrono::steady_clock::now() - start)
                                  .count());
    }
    return best;
}

uint64_t RunBare(const BareFilters& bare, const std::vector<StoredFrame>& frames,
                 const std::vector<pcap_pkthdr>& headers, uint64_t rounds) {
    uint64_t matched = 0;
    for (uint64_t r = 0; r < rounds; ++r) {
        for (size_t i = 0; i < frames.size(); ++i) {
            for (const auto& p : bare.programs) {
                matched += pcap_offline_filter(&p, &headers[i], frames[i].bytes.data()) != 0;
            }
        }
    }
    return matched;
}

// Best of five rounds, in frames per second.
template <class F>
double FramesPerSecond(uint64_t frames, F&& f) {
    using clock = std::chrono::steady_clock;
    double best = 0;
    for (int round = 0, rounds = bench::Rounds(5); round < rounds; ++round) {
        const auto start = clock::now();
        benchmark::DoNotOptimize(f());
        double seconds = std::chrono::duration<double>(clock::now() - start).count();
        best = std::max(best, frames / seconds);
    }
    return best;
}

std::vector<pcap_pkthdr> Headers(const std::vector<StoredFrame>& frames) {
    std::vector<pcap_pkthdr> headers(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        headers[i].caplen = headers[i].len = static_cast<uint32_t>(frames[i].bytes.size());
    }
    return headers;
}

uint64_t RoundsFor(int responders) {
    return std::max<uint64_t>(20, 20000 / responders);
}

void BM_MissingResponders(benchmark::State& state) {
    Setup s = MakeIl(static_cast<int>(state.range(0)), false);
    std::vector<StoredFrame> frames = Frames();
    for (auto _ : state)
        benchmark::DoNotOptimize(RunIl(*s.il, frames, 1));
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_MissingResponders)->Arg(1)->Arg(10)->Arg(100);

void BM_BareFilters(benchmark::State& state) {
    Setup s = MakeIl(static_cast<int>(state.range(0)), false);
    BareFilters bare(s.filters);
    std::vector<StoredFrame> frames = Frames();
    std::vector<pcap_pkthdr> headers = Headers(frames);
    for (auto _ : state)
        benchmark::DoNotOptimize(RunBare(bare, frames, headers, 1));
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_BareFilters)->Arg(1)->Arg(10)->Arg(100);

void BM_AnsweringResponder(benchmark::State& state) {
    Setup s = MakeIl(1, true);
    std::vector<StoredFrame> frames = Frames();
    for (auto _ : state)
        benchmark::DoNotOptimize(RunIl(*s.il, frames, 1));
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_AnsweringResponder);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::vector<StoredFrame> frames = Frames();
    std::vector<pcap_pkthdr> headers = Headers(frames);
    double ratio[101] = {};
    for (int n : {1, 10, 100}) {
        Setup s = MakeIl(n, false);
        BareFilters bare(s.filters);
        uint64_t rounds = RoundsFor(n);
        double il = FramesPerSecond(rounds * kFrames, [&] { return RunIl(*s.il, frames, rounds); });
        double raw = FramesPerSecond(rounds * kFrames,
                                     [&] { return RunBare(bare, frames, headers, rounds); });
        ratio[n] = il / raw;
        std::printf("frames_per_s_%d=%.0f\nbare_bpf_frames_per_s_%d=%.0f\n", n, il, n, raw);
    }
    Setup answer = MakeIl(1, true);
    uint64_t rounds = 20000;
    std::printf("answer_frames_per_s=%.0f\n", FramesPerSecond(rounds * kFrames, [&] {
                    return RunIl(*answer.il, frames, rounds);
                }));
    Setup patching = MakePatchingIl();
    std::vector<StoredFrame> echoes = EchoRequests();
    std::printf("patched_answer_frames_per_s=%.0f\n", FramesPerSecond(rounds * kFrames, [&] {
                    return RunIl(*patching.il, echoes, rounds);
                }));
    std::printf("ratio_to_bare_bpf_1=%.3f\nratio_to_bare_bpf_10=%.3f\nratio_to_bare_bpf_100=%.3f\n",
                ratio[1], ratio[10], ratio[100]);

    // A thousand emulated hosts on one port: the dispatch index against every filter run.
    {
        Setup hosts = MakeHostsIl(1000);
        std::vector<StoredFrame> hostFrames = HostFrames(1000);
        std::vector<pcap_pkthdr> hostHeaders = Headers(hostFrames);
        BareFilters bare(hosts.filters);
        const uint64_t ilRounds = bench::Quick() ? 20 : 1000;
        const uint64_t bareRounds = bench::Quick() ? 1 : 10;
        // Each frame is answered by its host or by nobody.
        if (RunIl(*hosts.il, hostFrames, 1) != kFrames / 2 ||
            RunBare(bare, hostFrames, hostHeaders, 1) != kFrames / 2) {
            std::fprintf(stderr, "bench_il: the emulated hosts do not answer as built\n");
            return 1;
        }
        double il = FramesPerSecond(ilRounds * kFrames,
                                    [&] { return RunIl(*hosts.il, hostFrames, ilRounds); });
        double raw = FramesPerSecond(bareRounds * kFrames, [&] {
            return RunBare(bare, hostFrames, hostHeaders, bareRounds);
        });
        std::printf(
            "frames_per_s_1000=%.0f\nbare_bpf_frames_per_s_1000=%.0f\n"
            "ratio_1000_to_bare_bpf=%.1f\n",
            il, raw, il / raw);
    }
    std::printf("publish_10k_ms=%.2f\nanalyze_10k_ms=%.2f\n", PublishMs(10000), AnalyzeMs(10000));
    return 0;
}
