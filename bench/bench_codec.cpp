// Encode and decode of a configure-style request with 1,000 nested records. Ends by printing
// encode_mb_per_s and decode_mb_per_s, measured over a fixed timing loop.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include <orx/msglib/Codec.h>
#include "Quick.h"
#include "responder_1.h"

namespace {

// The member names of the records the message set defines, built here with the bare codec.
const char* const* const kConfigNames = responder_1_bll::respConfig_t_names;
const char* const* const kProfileNames = responder_1_bll::respProfile_t_names;

Message make_request(int records) {
    std::mt19937 rng(42);
    Message m;
    m.set_use_send_member_string(true);
    m.clear(TMG_MEMBERS);
    m.set_msg_type(TMT_REQUEST);
    m.set_request_name(responder_1_bll::request::ConfigResponder);
    auto* catalog = m.get_send_member_string(TMG_MEMBERS);
    auto* list = new Tm_array;
    list->reserve(records);
    std::vector<uint8_t> payload(128);
    for (int r = 0; r < records; ++r) {
        auto* config = new Tm_prenamed_struct;
        config->clear(kConfigNames);
        config->add_member(0, static_cast<unsigned>(1000 + r), catalog);
        config->add_member(1, "src host 10.0.0.1 and udp port 53", catalog);
        config->add_member(2, 0u, catalog);
        auto* profiles = new Tm_array;
        profiles->reserve(2);
        for (int p = 0; p < 2; ++p) {
            const int size = 64 + static_cast<int>(rng() % 65);
            for (auto& b : payload) {
                b = static_cast<uint8_t>(rng());
            }
            auto* profile = new Tm_prenamed_struct;
            profile->clear(kProfileNames);
            profile->add_member_and_own(0, new Tm_packed_array(TMV_UINT8, payload.data(), size),
                                        catalog);
            profile->add_member(1, static_cast<unsigned short>(p), catalog);
            profile->add_member(2, 10u * static_cast<unsigned>(p), catalog);
            profile->add_member_and_own(3, new Tm_array, catalog);
            profiles->add_member_and_own(profile);
        }
        config->add_member_and_own(3, profiles, catalog);
        list->add_member_and_own(config);
    }
    m.add_member_and_own(TMG_MEMBERS, "configList", list);
    m.clear(TMG_META);
    m.create_send_member_string_meta();
    return m;
}

const Message& request() {
    static const Message m = make_request(1000);
    return m;
}

void BM_Encode(benchmark::State& state) {
    std::vector<uint8_t> out;
    for (auto _ : state) {
        msglib::encode(request(), out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_Encode);

void BM_Decode(benchmark::State& state) {
    const std::vector<uint8_t> bytes = msglib::encode(request());
    for (auto _ : state) {
        Message m = msglib::decode(bytes);
        benchmark::DoNotOptimize(&m);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Decode);

// Best of several rounds, in MB/s (10^6 bytes).
template <class F>
double mb_per_s(size_t bytes, F&& f) {
    return static_cast<double>(bytes) * bench::BestRate(5, 200, f) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::vector<uint8_t> out;
    const std::vector<uint8_t> bytes = msglib::encode(request());
    const double enc = mb_per_s(bytes.size(), [&] {
        msglib::encode(request(), out);
        benchmark::DoNotOptimize(out.data());
    });
    const double dec = mb_per_s(bytes.size(), [&] {
        Message m = msglib::decode(bytes);
        benchmark::DoNotOptimize(&m);
    });
    std::printf("message_bytes=%zu\n", bytes.size());
    std::printf("encode_mb_per_s=%.1f\n", enc);
    std::printf("decode_mb_per_s=%.1f\n", dec);
    return 0;
}
