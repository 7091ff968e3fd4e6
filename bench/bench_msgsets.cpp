// ConfigResponder requests of 1,000 configurations, each with 2 profiles (64-byte payloads) of
// 2 modifiers: records to message to bytes, and bytes to message to records.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include <orx/msglib/Codec.h>
#include "Quick.h"
#include "responder_1.h"

namespace {

using namespace responder_1_bll;

std::vector<respConfig_s> configs() {
    std::vector<respConfig_s> list;
    for (uint32_t c = 0; c < 1000; ++c) {
        respConfig_s config{1000 + c, "src host 10.0.0." + std::to_string(c % 250), 0, {}};
        for (int p = 0; p < 2; ++p) {
            respProfile_s profile{std::vector<uint8_t>(64, static_cast<uint8_t>(c + p)),
                                  static_cast<uint16_t>(p),
                                  100u * p,
                                  {}};
            for (int m = 0; m < 2; ++m) {
                profile.modifierArray.push_back(
                    {SET_VALUE, 6u * m, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, {2, 0, 0, 0, 0, 1}});
            }
            config.responseArray.push_back(std::move(profile));
        }
        list.push_back(std::move(config));
    }
    return list;
}

const std::vector<respConfig_s>& sample() {
    static const std::vector<respConfig_s> list = configs();
    return list;
}

void encode_once(std::vector<uint8_t>& out) {
    Message m;
    create_req_ConfigResponder(&m, sample(), true);
    msglib::encode(m, out);
}

void decode_once(const std::vector<uint8_t>& bytes, std::vector<respConfig_s>& out) {
    Message m = msglib::decode(bytes);
    parse_req_ConfigResponder(&m, &out);
}

void BM_ConfigResponderEncode(benchmark::State& state) {
    std::vector<uint8_t> out;
    for (auto _ : state) {
        encode_once(out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ConfigResponderEncode)->Unit(benchmark::kMillisecond);

void BM_ConfigResponderDecode(benchmark::State& state) {
    std::vector<uint8_t> bytes;
    encode_once(bytes);
    std::vector<respConfig_s> out;
    for (auto _ : state) {
        decode_once(bytes, out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ConfigResponderDecode)->Unit(benchmark::kMillisecond);

// Requests per second over about one second of repetitions.
template <class F>
double per_second(F f) {
    using clock = std::chrono::steady_clock;
    f();  // warm up
    int n = 0;
    const auto start = clock::now();
    auto now = start;
    do {
        f();
        ++n;
        now = clock::now();
    } while (now - start <
             (bench::Quick() ? std::chrono::milliseconds(50) : std::chrono::seconds(1)));
    return n / std::chrono::duration<double>(now - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::vector<uint8_t> bytes;
    encode_once(bytes);
    std::vector<respConfig_s> back;
    decode_once(bytes, back);
    if (back != sample()) {
        std::fprintf(stderr, "decoded configurations differ from the encoded ones\n");
        return 1;
    }
    std::vector<uint8_t> out;
    const double enc = per_second([&] {
        encode_once(out);
        benchmark::DoNotOptimize(out.data());
    });
    const double dec = per_second([&] {
        decode_once(bytes, back);
        benchmark::DoNotOptimize(back.data());
    });
    std::printf("config_responder_bytes=%zu\n", bytes.size());
    std::printf("config_responder_encode_per_s=%.0f\n", enc);
    std::printf("config_responder_decode_per_s=%.0f\n", dec);
    return 0;
}
