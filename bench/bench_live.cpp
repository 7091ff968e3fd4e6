// The live path's ceiling: tcpreplay offers ARP requests at its top speed over a veth pair to a
// port that an in-process test port answers on a live interface, in a network namespace of the
// program's own. The figures are the answers per second over the whole run (first answer to
// last) and the share of offered requests left unanswered. Needs root, iproute2 and tcpreplay;
// says why and prints no figures otherwise.
#include <pcap/pcap.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <orx/il/IlServer.h>
#include <orx/il/LiveInterface.h>
#include <orx/msglib/Message.h>
#include "Quick.h"
#include "responder_1.h"

namespace fs = std::filesystem;
using namespace orx::il;
using Clock = std::chrono::steady_clock;

namespace {

const std::vector<uint8_t> kPeerMac = {0x02, 0, 0, 0, 0, 0x0b};
const std::vector<uint8_t> kOwnMac = {0x02, 0, 0, 0, 0, 0x0a};

// Runs a shell command; its output, or raises naming it when it fails.
std::string Shell(const std::string& command) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    if (::pclose(pipe) != 0)
        throw std::runtime_error(command + " failed: " + out);
    return out;
}

// ARP requests from the peer (vb) for 192.0.2.2.
void WriteRequests(const std::string& path, int frames) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    if (!dumper)
        throw std::runtime_error("cannot write " + path + ": " + pcap_geterr(dead));
    std::vector<uint8_t> f(6, 0xff);
    f.insert(f.end(), kPeerMac.begin(), kPeerMac.end());
    f.insert(f.end(), {0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x01});
    f.insert(f.end(), kPeerMac.begin(), kPeerMac.end());
    f.insert(f.end(), {192, 0, 2, 1, 0, 0, 0, 0, 0, 0, 192, 0, 2, 2});
    f.resize(60, 0);
    for (int i = 0; i < frames; ++i) {
        pcap_pkthdr header{};
        header.ts.tv_usec = i % 1000000;
        header.caplen = header.len = static_cast<uint32_t>(f.size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, f.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

std::vector<uint8_t> ArpReply() {
    std::vector<uint8_t> f = kPeerMac;
    f.insert(f.end(), kOwnMac.begin(), kOwnMac.end());
    f.insert(f.end(), {0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x02});
    f.insert(f.end(), kOwnMac.begin(), kOwnMac.end());
    f.insert(f.end(), {192, 0, 2, 2});
    f.insert(f.end(), kPeerMac.begin(), kPeerMac.end());
    f.insert(f.end(), {192, 0, 2, 1});
    f.resize(60, 0);
    return f;
}

void Answer(IlServer& il) {
    responder_1_bll::respConfig_s c;
    c.configHandle = 1;
    c.filterExpr = "arp and arp[6:2] = 1";
    responder_1_bll::respProfile_s p;
    p.payload = ArpReply();
    p.portIndex = 0;
    c.responseArray.push_back(p);
    Message m;
    responder_1_bll::create_req_ConfigResponder(&m, {c}, true);
    m.set_destination(0);
    if (il.Handle(m).get_msg_type() != TMT_RESPONSE)
        throw std::runtime_error("the responder was not configured");
    responder_1_bll::create_req_Start(&m, {1}, true);
    m.set_destination(0);
    if (il.Handle(m).get_msg_type() != TMT_RESPONSE)
        throw std::runtime_error("the responder did not start");
}

struct Round {
    double offeredPerS = 0;  // as tcpreplay reports it
    double answeredPerS = 0;
    uint64_t answered = 0;
    uint64_t dropped = 0;
};

// Frames the kernel took in on va (this namespace's /proc/net/dev: /sys shows the one it was
// mounted in).
uint64_t Arrived() {
    return std::strtoull(Shell("awk '$1 == \"va:\" { print $3 }' /proc/net/dev").c_str(), nullptr,
                         10);
}

Round Measure(const std::string& requests, int frames) {
    const uint64_t arrivedBefore = Arrived();
    IlServer il({0});
    Answer(il);
    LiveRunner runner(il, {LivePort{0, "va"}});
    runner.Start();

    // Answers as they grow, sampled every millisecond, until they stop for a while.
    std::atomic<bool> sending{true};
    Clock::time_point first{}, last{};
    uint64_t answered = 0;
    std::thread sampler([&] {
        auto quietSince = Clock::now();
        for (;;) {
            const auto now = Clock::now();
            const uint64_t n = il.Counters().at(0).transmitted;
            if (n != answered) {
                if (answered == 0)
                    first = now;
                answered = n;
                last = now;
                quietSince = now;
            } else if (!sending && now - quietSince > std::chrono::milliseconds(300)) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::string out;
    try {
        out = Shell("tcpreplay --topspeed -i vb " + requests);
    } catch (...) {
        sending = false;
        sampler.join();
        throw;
    }
    sending = false;
    sampler.join();
    runner.Stop();

    Round r;
    const size_t rated = out.find("Rated: ");
    const size_t pps = out.find(" pps", rated);
    if (rated != std::string::npos && pps != std::string::npos) {
        const size_t from = out.rfind(' ', pps - 1);
        r.offeredPerS = std::atof(out.substr(from + 1, pps - from - 1).c_str());
    }
    r.answered = answered;
    const double seconds = std::chrono::duration<double>(last - first).count();
    r.answeredPerS = seconds > 0 ? static_cast<double>(answered) / seconds : 0;
    const LinkView link = runner.Links().at(0);
    r.dropped = link.captureDropped + link.interfaceDropped;
    std::fprintf(stderr,
                 "bench_live: offered %d at %.0f frames/s, arrived %llu, received %llu, answered "
                 "%llu at %.0f frames/s, dropped %llu\n",
                 frames, r.offeredPerS, static_cast<unsigned long long>(Arrived() - arrivedBefore),
                 static_cast<unsigned long long>(link.received),
                 static_cast<unsigned long long>(answered), r.answeredPerS,
                 static_cast<unsigned long long>(r.dropped));
    return r;
}

}  // namespace

int main() {
    if (::geteuid() != 0) {
        std::printf("bench_live: skipped: needs root for a network namespace and a veth pair\n");
        return 0;
    }
    if (std::system("command -v ip >/dev/null && command -v tcpreplay >/dev/null") != 0) {
        std::printf("bench_live: skipped: needs ip and tcpreplay (scripts/setup-deps.sh)\n");
        return 0;
    }
    // A namespace of the program's own: it and the veth pair in it go when the program ends.
    if (::unshare(CLONE_NEWNET) != 0) {
        std::printf("bench_live: skipped: this machine does not allow network namespaces\n");
        return 0;
    }
    const int frames = bench::Quick() ? 20000 : 200000;
    const fs::path dir = fs::temp_directory_path() / ("bench-live-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string requests = (dir / "requests.pcap").string();
    try {
        for (const char* cmd : {"ip link set lo up", "ip link add va type veth peer name vb",
                                "ip link set vb address 02:00:00:00:00:0b",
                                "sysctl -qw net.ipv6.conf.all.disable_ipv6=1", "ip link set va up",
                                "ip link set vb up", "ip addr add 192.0.2.1/24 dev vb"})
            Shell(cmd);
        WriteRequests(requests, frames);
        Round best;
        double worstLoss = 0;
        for (int round = 0, rounds = bench::Rounds(3); round < rounds; ++round) {
            const Round r = Measure(requests, frames);
            if (r.answeredPerS > best.answeredPerS)
                best = r;
            worstLoss = std::max(worstLoss, 1.0 - static_cast<double>(r.answered) / frames);
        }
        fs::remove_all(dir);
        std::printf("live_offered_frames_per_s=%.0f\n", best.offeredPerS);
        std::printf("live_answer_frames_per_s=%.0f\n", best.answeredPerS);
        std::printf("live_loss_ratio=%.6f\n", worstLoss);
    } catch (const std::exception& e) {
        fs::remove_all(dir);
        std::fprintf(stderr, "bench_live: %s\n", e.what());
        return 1;
    }
    return 0;
}
