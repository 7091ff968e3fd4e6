// frhost run as a whole process: a capture of 1,000,000 ARP requests replayed into one port with
// one responder, its replies saved to a capture. The figure is frames per second of the whole
// process's wall time (start, plug-in load, apply, replay, stop, results).
#include <benchmark/benchmark.h>
#include <pcap/pcap.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Quick.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFrames = 1000000;

fs::path BinDir() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

// ARP requests for 10.0.0.1 from changing senders, one microsecond apart.
void WriteCapture(const std::string& path) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    if (!dumper)
        throw std::runtime_error("cannot write " + path + ": " + pcap_geterr(dead));
    std::vector<uint8_t> frame = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02, 0, 0, 0,    0,
                                  0x0b, 0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 1,
                                  0x02, 0,    0,    0,    0,    0x0b, 10,   0, 0, 2,    0,
                                  0,    0,    0,    0,    0,    10,   0,    0, 1};
    frame.resize(60, 0);
    for (int i = 0; i < kFrames; ++i) {
        frame[30] = static_cast<uint8_t>(i >> 8);
        frame[31] = static_cast<uint8_t>(i);
        pcap_pkthdr header{};
        header.ts.tv_sec = 1000 + i / 1000000;
        header.ts.tv_usec = i % 1000000;
        header.caplen = header.len = static_cast<uint32_t>(frame.size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

// Runs frhost with `args`; its wall time in seconds. Raises when it fails.
double RunFrhost(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string program = (BinDir() / "frhost").string();
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("frhost run failed with status " + std::to_string(status));
    return seconds;
}

struct Files {
    fs::path dir;
    std::string scenario, in, out, results;
};

Files Prepare() {
    Files f;
    f.dir = fs::temp_directory_path() / ("bench-run-" + std::to_string(getpid()));
    fs::create_directories(f.dir);
    f.in = (f.dir / "requests.pcap").string();
    f.out = (f.dir / "replies.pcap").string();
    f.results = (f.dir / "results.json").string();
    f.scenario = (f.dir / "scenario.json").string();
    WriteCapture(f.in);
    const fs::path examples = fs::path(ORX_EXAMPLES_DIR);
    std::ifstream example(examples / "scenarios" / "arp-responder.json");
    std::string text((std::istreambuf_iterator<char>(example)), {});
    // The example names its frame relative to itself.
    const std::string from = "../frames/";
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
        text.replace(at, from.size(), (examples / "frames").string() + "/");
    std::ofstream(f.scenario) << text;
    return f;
}

double Measure(const Files& f) {
    return RunFrhost({"run", f.scenario, "--rx", "port1=" + f.in, "--tx", "port1=" + f.out,
                      "--results", f.results, "--quiet"});
}

const Files* g_files = nullptr;

void BM_RunReplay(benchmark::State& state) {
    for (auto _ : state)
        state.SetIterationTime(Measure(*g_files));
    state.counters["frames_per_s"] =
        benchmark::Counter(kFrames * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunReplay)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!fs::exists(BinDir() / "frhost") || !fs::exists(BinDir() / "responder.plugin.so")) {
        std::fprintf(stderr, "bench_run: frhost and its plug-in must sit next to this program\n");
        return 1;
    }
    const Files files = Prepare();
    g_files = &files;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    double best = 1e9;
    for (int run = 0, runs = bench::Rounds(3); run < runs; ++run)
        best = std::min(best, Measure(files));
    // Every reply reached the capture.
    const auto replies = fs::file_size(files.out);
    fs::remove_all(files.dir);
    if (replies < 24 + uint64_t{kFrames} * (16 + 42))
        throw std::runtime_error("the replies capture holds fewer replies than requests");
    std::printf("run_frames_per_s=%.0f\n", kFrames / best);
    std::printf("run_seconds=%.3f\n", best);
    return 0;
}
