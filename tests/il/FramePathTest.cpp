// The frame path: matching, responses byte for byte, delays, counters and their replay files.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <orx/il/FramePump.h>
#include <orx/il/IlServer.h>
#include <orx/il/MemoryFrames.h>
#include <orx/il/PcapFiles.h>
#include "IlTestSupport.h"

using namespace orx::il;
using namespace iltest;
using namespace responder_1_bll;

namespace {

constexpr uint32_t kSrcA = 0x0A000001;  // 10.0.0.1
constexpr uint32_t kSrcB = 0x0A000063;  // 10.0.0.99
constexpr int64_t kSecond = 1000000000;

class FramePathTest : public ::testing::Test {
  protected:
    FramePathTest() : il({0, 1}) {}

    void Configure(uint16_t port, const std::vector<respConfig_s>& configs) {
        Message r = il.Handle(ConfigRequest(port, configs));
        ASSERT_EQ(r.get_msg_type(), TMT_RESPONSE);
        std::vector<errorMsg_s> errors;
        parse_resp_ConfigResponder(&r, &errors);
        ASSERT_TRUE(errors.empty()) << errors[0].errorString;
    }
    void Start(uint16_t port, std::vector<uint32_t> handles) {
        ASSERT_EQ(il.Handle(Request(port, create_req_Start, handles)).get_msg_type(), TMT_RESPONSE);
    }
    // Replays `frames` on port 0 and returns what ports 0 and 1 sent.
    std::pair<std::vector<StoredFrame>, std::vector<StoredFrame>> Run(
        std::vector<StoredFrame> frames) {
        MemoryFrameSource source(std::move(frames));
        MemoryFrameSink out0, out1;
        FramePump pump;
        pump.AddSource(*il.Engine(0), source);
        pump.AddSink(0, out0);
        pump.AddSink(1, out1);
        pump.RunToEnd();
        return {out0.Frames(), out1.Frames()};
    }
    CounterSnapshot CountersOf(uint32_t handle) {
        for (const auto& c : il.Counters()) {
            if (c.handle == handle)
                return c;
        }
        ADD_FAILURE() << "no counters for handle " << handle;
        return {};
    }

    IlServer il;
};

TEST_F(FramePathTest, MatchesWithAndWithoutVlanTags) {
    Configure(0, {Config(1, "vlan 100 and src host 10.0.0.1", {Profile(0, {0x01})}),
                  Config(2, "src host 10.0.0.1", {Profile(0, {0x02})})});
    Start(0, {1, 2});
    auto [out, other] = Run({{UdpFrame(kSrcA, 53, 100), 1},
                             {UdpFrame(kSrcA, 53), 2},
                             {UdpFrame(kSrcA, 53, 200), 3},
                             {UdpFrame(kSrcB, 53, 100), 4}});
    // The tagged frame of VLAN 100 only meets handle 1; the untagged one only handle 2.
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes[0], 0x01);
    EXPECT_EQ(out[0].timeNs, 1);
    EXPECT_EQ(out[1].bytes[0], 0x02);
    EXPECT_EQ(out[1].timeNs, 2);
    EXPECT_TRUE(other.empty());
    EXPECT_EQ(CountersOf(1).matched, 1u);
    EXPECT_EQ(CountersOf(2).matched, 1u);
}

TEST_F(FramePathTest, PayloadIsSentPaddedAndInHandleOrder) {
    std::vector<uint8_t> payload(20);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i + 1);
    std::vector<uint8_t> big(100, 0x5A);
    // Handle 7 is configured first but answers after handle 3.
    Configure(0, {Config(7, "udp", {Profile(1, big), Profile(0, payload)}),
                  Config(3, "udp", {Profile(0, payload)})});
    Start(0, {3, 7});
    auto [out0, out1] = Run({{UdpFrame(kSrcA, 53), 10}});
    std::vector<uint8_t> padded = payload;
    padded.resize(60, 0);
    ASSERT_EQ(out0.size(), 2u);
    EXPECT_EQ(out0[0].bytes, padded);
    EXPECT_EQ(out0[1].bytes, padded);
    ASSERT_EQ(out1.size(), 1u);
    EXPECT_EQ(out1[0].bytes, big);
    EXPECT_EQ(CountersOf(7).transmitted, 2u);
    EXPECT_EQ(CountersOf(3).transmitted, 1u);
}

TEST_F(FramePathTest, ModifiersPatchTheReceivedFrame) {
    respProfile_s echo = Profile(1, {});
    // Destination MAC rewritten; the low nibble of the TTL set to 5; a patch that runs past the
    // end of the frame writes only the bytes that exist.
    echo.modifierArray.push_back(
        {SET_VALUE, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}});
    echo.modifierArray.push_back({SET_VALUE, 22, {0x0F}, {0x05}});
    std::vector<uint8_t> frame = UdpFrame(kSrcA, 53, -1, 30);
    echo.modifierArray.push_back(
        {SET_VALUE, uint32_t(frame.size() - 2), {0xFF, 0xFF, 0xFF, 0xFF}, {1, 2, 3, 4}});
    echo.modifierArray.push_back({SET_VALUE, 40, {0xFF, 0xFF, 0xFF, 0xFF}, {9, 9, 9, 9}});
    Configure(0, {Config(1, "udp", {echo})});
    Start(0, {1});
    auto [out0, out1] = Run({{frame, 5}});
    std::vector<uint8_t> expected = frame;
    std::copy_n(std::vector<uint8_t>{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}.begin(), 6,
                expected.begin());
    expected[22] = uint8_t((64 & 0xF0) | 0x05);
    expected[expected.size() - 2] = 1;
    expected[expected.size() - 1] = 2;
    std::fill_n(expected.begin() + 40, 4, 9);
    // The new TTL changes the IPv4 header's sum: its checksum is recomputed. The patch at 40
    // writes the UDP checksum itself, which therefore stands.
    uint32_t sum = 0;
    for (size_t i = 14; i < 34; i += 2)
        sum += i == 24 ? 0 : uint32_t(expected[i] << 8 | expected[i + 1]);
    sum = (sum & 0xFFFF) + (sum >> 16);
    expected[24] = uint8_t(~sum >> 8);
    expected[25] = uint8_t(~sum);
    ASSERT_EQ(out1.size(), 1u);
    EXPECT_EQ(out1[0].bytes, expected);
    EXPECT_TRUE(out0.empty());

    // A short frame is padded after patching; the patch does not reach into the padding.
    std::vector<uint8_t> shortFrame = UdpFrame(kSrcA, 53, -1, 0);  // 42 bytes
    auto [s0, s1] = Run({{shortFrame, 6}});
    ASSERT_EQ(s1.size(), 1u);
    ASSERT_EQ(s1[0].bytes.size(), 60u);
    EXPECT_EQ(s1[0].bytes[0], 0xAA);
    EXPECT_EQ(s1[0].bytes[40], 9);
    EXPECT_EQ(s1[0].bytes[41], 9);
    EXPECT_EQ(s1[0].bytes[42], 0);
    EXPECT_EQ(s1[0].bytes[43], 0);
}

TEST_F(FramePathTest, StoppedAndReconfiguredResponders) {
    Configure(0, {Config(1, "udp", {Profile(0, {1})})});
    auto [none, n1] = Run({{UdpFrame(kSrcA, 53), 1}});
    EXPECT_TRUE(none.empty()) << "a configured responder answers only once started";
    Start(0, {1});
    Run({{UdpFrame(kSrcA, 53), 2}});
    // Reconfiguring keeps it running and keeps its counters; the new filter applies.
    Configure(0, {Config(1, "src host 10.0.0.99", {Profile(0, {2})})});
    auto [out, o1] = Run({{UdpFrame(kSrcA, 53), 3}, {UdpFrame(kSrcB, 53), 4}});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes[0], 2);
    EXPECT_EQ(CountersOf(1).matched, 2u);
    EXPECT_TRUE(CountersOf(1).running);
    ASSERT_EQ(il.Handle(Request(0, create_req_Stop, {1})).get_msg_type(), TMT_RESPONSE);
    auto [after, a1] = Run({{UdpFrame(kSrcB, 53), 5}});
    EXPECT_TRUE(after.empty());
}

TEST_F(FramePathTest, ResponsesForPortsNotServedAreDropped) {
    Configure(0, {Config(1, "udp", {Profile(9, {1}), Profile(0, {2})})});
    Start(0, {1});
    auto [out0, out1] = Run({{UdpFrame(kSrcA, 53), 1}});
    ASSERT_EQ(out0.size(), 1u);
    EXPECT_EQ(out0[0].bytes[0], 2);
    EXPECT_EQ(il.Engine(0)->Dropped(), 1u);
    EXPECT_EQ(CountersOf(1).transmitted, 1u);
}

TEST_F(FramePathTest, ReceiveRateCountsTheLastSecondOfTheSourceClock) {
    Configure(0, {Config(1, "udp", {})});
    Start(0, {1});
    std::vector<StoredFrame> frames;
    for (int i = 0; i < 30; ++i)
        frames.push_back({UdpFrame(kSrcA, 53), 5 * kSecond + i * 50000000});
    // 30 frames over 1.5 s: the last second (ending at 6.45 s) holds the 20 from 5.5 s on.
    Run(frames);
    EXPECT_EQ(CountersOf(1).matched, 30u);
    EXPECT_EQ(CountersOf(1).rate, 20u);
    il.Engine(0)->AdvanceClock(9 * kSecond);
    EXPECT_EQ(CountersOf(1).rate, 0u);
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            (name + "-" + std::to_string(::getpid()) + ".pcap"))
        .string();
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(FramePathTest, PcapReplayWritesResponsesAtRxTimePlusDelay) {
    std::string input = TempPath("il-in"), out0 = TempPath("il-out0"), out1 = TempPath("il-out1");
    {
        PcapFileSink writer(input);
        std::vector<uint8_t> a = UdpFrame(kSrcA, 53), b = UdpFrame(kSrcB, 53);
        int64_t t0 = 1700000000 * kSecond;
        std::vector<TxFrame> frames = {{a.data(), uint32_t(a.size()), 0, t0},
                                       {b.data(), uint32_t(b.size()), 0, t0 + 1000000},
                                       {a.data(), uint32_t(a.size()), 0, t0 + 3000000}};
        writer.Transmit(frames.data(), frames.size());
        writer.Close();
    }
    // Port 1 answers 10.0.0.1 after 2.5 ms; port 0 answers everything at once.
    Configure(0, {Config(1, "src host 10.0.0.1", {Profile(1, {0x11}, 2500)}),
                  Config(2, "udp", {Profile(0, {0x22})})});
    Start(0, {1, 2});
    auto replay = [&] {
        PcapFileSource source(input);
        PcapFileSink sink0(out0), sink1(out1);
        FramePump pump;
        pump.AddSource(*il.Engine(0), source);
        pump.AddSink(0, sink0);
        pump.AddSink(1, sink1);
        pump.RunToEnd();
        sink0.Close();
        sink1.Close();
    };
    replay();
    int64_t t0 = 1700000000 * kSecond;
    std::vector<StoredFrame> got1 = ReadPcapFile(out1), got0 = ReadPcapFile(out0);
    ASSERT_EQ(got1.size(), 2u);
    EXPECT_EQ(got1[0].timeNs, t0 + 2500000);
    EXPECT_EQ(got1[1].timeNs, t0 + 5500000);
    EXPECT_EQ(got1[0].bytes.size(), 60u);
    ASSERT_EQ(got0.size(), 3u);
    EXPECT_EQ(got0[1].timeNs, t0 + 1000000);

    // The same replay gives the same files.
    std::vector<uint8_t> first0 = FileBytes(out0), first1 = FileBytes(out1);
    replay();
    EXPECT_EQ(FileBytes(out0), first0);
    EXPECT_EQ(FileBytes(out1), first1);
    EXPECT_THROW(PcapFileSource(TempPath("il-missing")), PcapError);
    std::remove(input.c_str());
    std::remove(out0.c_str());
    std::remove(out1.c_str());
}

}  // namespace
