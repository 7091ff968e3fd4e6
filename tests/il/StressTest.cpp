// The frame path and the control path at once: frames flow through a port while the control
// path reconfigures, starts, stops, clears and queries its responders. Every answer names its
// responder, so what the counters say can be checked against what really went out.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include <orx/il/IlServer.h>
#include "IlTestSupport.h"

using namespace orx::il;
using namespace iltest;
using namespace responder_1_bll;

namespace {

constexpr int kResponders = 8;

// Responder h answers UDP frames to port 1000 + h; even handles have two profiles.
uint32_t Profiles(uint32_t handle) {
    return handle % 2 == 0 ? 2 : 1;
}

respConfig_s ConfigOf(uint32_t handle, bool otherForm) {
    std::vector<respProfile_s> profiles;
    for (uint32_t p = 0; p < Profiles(handle); ++p)
        profiles.push_back(Profile(0, {static_cast<uint8_t>(handle), static_cast<uint8_t>(p)}));
    // Two spellings of the same filter: a reconfiguration that keeps what matches.
    const std::string port = std::to_string(1000 + handle);
    return Config(handle, otherForm ? "udp and dst port " + port : "udp dst port " + port,
                  profiles);
}

class StressTest : public ::testing::Test {
  protected:
    StressTest() : il({0}) {}

    void Expect(const Message& response) {
        ASSERT_EQ(response.get_msg_type(), TMT_RESPONSE) << response.get_request_name();
    }

    // Frames to every responder's port and to one no filter takes, until `stop`; counts the
    // answers each responder sent.
    void Frames(const std::atomic<bool>& stop, std::map<uint32_t, uint64_t>& answers) {
        batches = 0;
        std::vector<std::vector<uint8_t>> frames;
        for (uint32_t h = 1; h <= kResponders + 1; ++h)
            frames.push_back(UdpFrame(0x0A000001, static_cast<uint16_t>(1000 + h)));
        std::vector<RxFrame> batch;
        int64_t time = 0;
        TxBatch out;
        while (!stop.load()) {
            batch.clear();
            for (const auto& f : frames) {
                time += 1000;
                batch.push_back(RxFrame{f.data(), static_cast<uint32_t>(f.size()), time});
            }
            out.Clear();
            il.Engine(0)->Process(batch.data(), batch.size(), out);
            for (size_t i = 0; i < out.Size(); ++i)
                ++answers[out.Bytes(out.At(i))[0]];
            ++batches;
        }
    }

    // Lets the frames flow a while longer once the churn is over (every responder runs then).
    void Settle() {
        const uint64_t until = batches.load() + 200;
        while (batches.load() < until)
            std::this_thread::yield();
    }

    std::map<uint32_t, CounterSnapshot> Counters() {
        std::map<uint32_t, CounterSnapshot> out;
        for (const auto& c : il.Counters())
            out[c.handle] = c;
        return out;
    }

    // The control path's churn: reconfigure, start and stop subsets, clear (when asked), query.
    void Churn(int rounds, bool clear) {
        std::vector<uint32_t> all;
        for (uint32_t h = 1; h <= kResponders; ++h)
            all.push_back(h);
        for (int i = 0; i < rounds; ++i) {
            const uint32_t h = 1 + static_cast<uint32_t>(i) % kResponders;
            Expect(il.Handle(ConfigRequest(0, {ConfigOf(h, i % 2 == 1)})));
            Expect(il.Handle(Request(0, create_req_Stop, {h, 1 + h % kResponders})));
            Expect(il.Handle(Request(0, create_req_Start, all)));
            if (clear && i % 3 == 0)
                Expect(il.Handle(Request(0, create_req_ClearResult, {h})));
            Message sql;
            responder_1_bll::create_req_DoSQLFaster(
                &sql, {"SELECT PrimaryHandle, MatchedRxFrameCount FROM ResponderProfileResults"},
                true);
            sql.set_destination(0);
            Expect(il.Handle(sql));
            (void)il.Counters();
        }
    }

    IlServer il;
    std::atomic<uint64_t> batches{0};
};

TEST_F(StressTest, CountersStayTrueToTheAnswersWhileTheControlPathChurns) {
    std::vector<respConfig_s> configs;
    std::vector<uint32_t> all;
    for (uint32_t h = 1; h <= kResponders; ++h) {
        configs.push_back(ConfigOf(h, false));
        all.push_back(h);
    }
    Expect(il.Handle(ConfigRequest(0, configs)));
    Expect(il.Handle(Request(0, create_req_Start, all)));

    // With clears: each responder's transmitted stays its matched times its profiles.
    {
        std::atomic<bool> stop{false};
        std::map<uint32_t, uint64_t> answers;
        std::thread frames([&] { Frames(stop, answers); });
        Churn(300, true);
        Settle();
        stop = true;
        frames.join();
        for (const auto& [h, c] : Counters()) {
            EXPECT_EQ(c.transmitted, c.matched * Profiles(h)) << "responder " << h;
            EXPECT_GT(answers[h], 0u) << "responder " << h;
        }
        EXPECT_EQ(answers.count(kResponders + 1), 0u);
    }

    // From a clear on a quiet port on: the counters say exactly what went out.
    Expect(il.Handle(Request(0, create_req_ClearResult, all)));
    std::atomic<bool> stop{false};
    std::map<uint32_t, uint64_t> answers;
    std::thread frames([&] { Frames(stop, answers); });
    Churn(300, false);
    Settle();
    stop = true;
    frames.join();
    for (const auto& [h, c] : Counters()) {
        EXPECT_EQ(c.transmitted, answers[h]) << "responder " << h;
        EXPECT_EQ(c.matched * Profiles(h), answers[h]) << "responder " << h;
        EXPECT_TRUE(c.running) << "responder " << h;
    }
}

}  // namespace
