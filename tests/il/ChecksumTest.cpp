// Checksums of responses patched from received frames, against sums computed here over frames
// the tests assemble themselves.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include <orx/il/FramePump.h>
#include <orx/il/IlServer.h>
#include <orx/il/MemoryFrames.h>
#include <orx/il/PcapFiles.h>
#include "IlTestSupport.h"

using namespace orx::il;
using namespace iltest;
using namespace responder_1_bll;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint8_t kIcmp = 1, kTcp = 6, kUdp = 17, kIcmpv6 = 58;

// RFC 1071, written out plainly.
uint16_t InternetChecksum(const Bytes& bytes) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint32_t word = uint32_t(bytes[i]) << 8;
        if (i + 1 < bytes.size())
            word |= bytes[i + 1];
        sum += word;
    }
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

void Append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

Bytes Be16(uint32_t v) {
    return {uint8_t(v >> 8), uint8_t(v)};
}

// One frame to build: Ethernet (and 802.1ad/802.1Q tags), IPv4 or IPv6, a transport message
// whose checksum field is left zero here and filled in by Build.
struct Packet {
    Bytes dstMac = {0x00, 0x10, 0x94, 0x00, 0x00, 0x02};
    Bytes srcMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    int tags = 0;
    bool v6 = false;
    Bytes src = {10, 0, 0, 1};
    Bytes dst = {10, 0, 0, 2};
    uint8_t ttl = 64;
    Bytes ipv4Options;                           // a multiple of 4 bytes
    std::vector<std::pair<uint8_t, Bytes>> ext;  // IPv6 extension headers: type, bytes
    uint8_t protocol = kUdp;
    Bytes transport;
    bool udpWithoutChecksum = false;

    void SwapEnds() {
        std::swap(dstMac, srcMac);
        std::swap(src, dst);
    }
};

size_t ChecksumAt(uint8_t protocol) {
    return protocol == kTcp ? 16 : protocol == kUdp ? 6 : 2;
}

Bytes Icmp(uint8_t type, uint16_t seq) {
    Bytes m = {type, 0, 0, 0, 0x12, 0x34, uint8_t(seq >> 8), uint8_t(seq)};
    for (int i = 0; i < 20; ++i)
        m.push_back(uint8_t('a' + i));
    return m;
}

Bytes Udp(uint16_t srcPort, uint16_t dstPort, Bytes data) {
    Bytes m = Be16(srcPort);
    Append(m, Be16(dstPort));
    Append(m, Be16(uint32_t(8 + data.size())));
    Append(m, {0, 0});
    Append(m, data);
    return m;
}

Bytes Tcp(uint16_t srcPort, uint16_t dstPort, Bytes data) {
    Bytes m = Be16(srcPort);
    Append(m, Be16(dstPort));
    Append(m, {0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x20, 0x00, 0x50, 0x18, 0x72, 0x10, 0, 0, 0, 0});
    Append(m, data);
    return m;
}

// The frame with every checksum right.
Bytes Build(const Packet& p) {
    Bytes f = p.dstMac;
    Append(f, p.srcMac);
    if (p.tags >= 2)
        Append(f, {0x88, 0xA8, 0x00, 0x0A});
    if (p.tags >= 1)
        Append(f, {0x81, 0x00, 0x00, 0x64});
    Append(f, p.v6 ? Bytes{0x86, 0xDD} : Bytes{0x08, 0x00});

    Bytes transport = p.transport;
    Bytes pseudo = p.src;
    Append(pseudo, p.dst);
    if (p.v6) {
        Append(pseudo, {0, 0});
        Append(pseudo, Be16(uint32_t(transport.size())));
        Append(pseudo, {0, 0, 0, p.protocol});
    } else {
        Append(pseudo, {0, p.protocol});
        Append(pseudo, Be16(uint32_t(transport.size())));
    }
    Append(pseudo, transport);
    uint16_t sum = InternetChecksum(p.protocol == kIcmp ? transport : pseudo);
    if (p.protocol == kUdp && sum == 0)
        sum = 0xFFFF;
    if (p.udpWithoutChecksum)
        sum = 0;
    transport[ChecksumAt(p.protocol)] = uint8_t(sum >> 8);
    transport[ChecksumAt(p.protocol) + 1] = uint8_t(sum);

    if (p.v6) {
        Bytes chain;
        uint8_t first = p.ext.empty() ? p.protocol : p.ext[0].first;
        for (size_t e = 0; e < p.ext.size(); ++e) {
            Bytes h = p.ext[e].second;
            h[0] = e + 1 < p.ext.size() ? p.ext[e + 1].first : p.protocol;
            Append(chain, h);
        }
        Append(f, {0x60, 0, 0, 0});
        Append(f, Be16(uint32_t(chain.size() + transport.size())));
        Append(f, {first, p.ttl});
        Append(f, p.src);
        Append(f, p.dst);
        Append(f, chain);
    } else {
        Bytes h = {uint8_t(0x45 + p.ipv4Options.size() / 4), 0};
        Append(h, Be16(uint32_t(20 + p.ipv4Options.size() + transport.size())));
        Append(h, {0x1C, 0x46, 0x40, 0x00, p.ttl, p.protocol, 0, 0});
        Append(h, p.src);
        Append(h, p.dst);
        Append(h, p.ipv4Options);
        uint16_t hs = InternetChecksum(h);
        h[10] = uint8_t(hs >> 8);
        h[11] = uint8_t(hs);
        Append(f, h);
    }
    Append(f, transport);
    return f;
}

// Where the layers of a built frame start.
size_t IpAt(const Packet& p) {
    return 14 + 4 * size_t(p.tags);
}
size_t L4At(const Packet& p) {
    size_t at = IpAt(p) + (p.v6 ? 40 : 20 + p.ipv4Options.size());
    for (const auto& e : p.ext)
        at += e.second.size();
    return at;
}

Bytes Padded(Bytes f) {
    if (f.size() < 60)
        f.resize(60, 0);
    return f;
}

FrameResponseModifier_s Set(size_t offset, Bytes value) {
    return {SET_VALUE, uint32_t(offset), Bytes(value.size(), 0xFF), std::move(value)};
}

// What the patches alone make of a frame.
Bytes Patched(Bytes f, const std::vector<FrameResponseModifier_s>& mods) {
    for (const auto& m : mods) {
        for (size_t k = 0; k < m.Mask.size() && m.Offset + k < f.size(); ++k)
            f[m.Offset + k] = uint8_t((f[m.Offset + k] & ~m.Mask[k]) | (m.Value[k] & m.Mask[k]));
    }
    return f;
}

// The modifiers that turn `request` into `reply` where their bytes differ, assuming both have
// the same layout: MACs and addresses swapped, TTL, and the transport's bytes from its start.
std::vector<FrameResponseModifier_s> ReplyMods(const Packet& request, const Packet& reply,
                                               size_t transportBytes) {
    Bytes r = Build(reply);
    size_t ip = IpAt(request), l4 = L4At(request);
    size_t addresses = ip + (request.v6 ? 8 : 12), addressBytes = request.v6 ? 32 : 8;
    std::vector<FrameResponseModifier_s> mods = {
        Set(0, Bytes(r.begin(), r.begin() + 12)),
        Set(addresses, Bytes(r.begin() + addresses, r.begin() + addresses + addressBytes)),
        Set(ip + (request.v6 ? 7 : 8), {reply.ttl})};
    // The transport's own bytes, skipping its checksum field.
    size_t cs = l4 + ChecksumAt(request.protocol);
    mods.push_back(Set(l4, Bytes(r.begin() + l4, r.begin() + cs)));
    if (cs + 2 < l4 + transportBytes)
        mods.push_back(Set(cs + 2, Bytes(r.begin() + cs + 2, r.begin() + l4 + transportBytes)));
    return mods;
}

class ChecksumTest : public ::testing::Test {
  protected:
    ChecksumTest() : il({0}) {}

    // Answers each of `frames` with the received frame patched by `mods` (or `payload` when
    // given), and returns what port 0 sent.
    std::vector<Bytes> Answer(const std::vector<Bytes>& frames,
                              std::vector<FrameResponseModifier_s> mods, Bytes payload = {}) {
        respProfile_s profile = Profile(0, std::move(payload));
        profile.modifierArray = std::move(mods);
        Message r = il.Handle(ConfigRequest(0, {Config(1, "", {profile})}));
        std::vector<errorMsg_s> errors;
        parse_resp_ConfigResponder(&r, &errors);
        EXPECT_TRUE(errors.empty());
        il.Handle(Request(0, create_req_Start, {1}));
        std::vector<StoredFrame> in;
        for (const Bytes& f : frames)
            in.push_back({f, int64_t(in.size())});
        MemoryFrameSource source(in);
        MemoryFrameSink sink;
        FramePump pump;
        pump.AddSource(*il.Engine(0), source);
        pump.AddSink(0, sink);
        pump.RunToEnd();
        std::vector<Bytes> out;
        for (const auto& f : sink.Frames())
            out.push_back(f.bytes);
        return out;
    }
    Bytes AnswerOne(const Bytes& frame, std::vector<FrameResponseModifier_s> mods) {
        std::vector<Bytes> out = Answer({frame}, std::move(mods));
        EXPECT_EQ(out.size(), 1u);
        return out.empty() ? Bytes{} : out[0];
    }

    IlServer il;
};

Packet Echo(bool v6, int tags, uint8_t type) {
    Packet p;
    p.tags = tags;
    p.v6 = v6;
    if (v6) {
        p.src = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
        p.dst = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02};
    }
    p.protocol = v6 ? kIcmpv6 : kIcmp;
    p.transport = Icmp(type, 7);
    return p;
}

TEST_F(ChecksumTest, EchoRequestsBecomeRepliesThatVerify) {
    for (bool v6 : {false, true}) {
        for (int tags : {0, 1, 2}) {
            SCOPED_TRACE("v6 " + std::to_string(v6) + ", tags " + std::to_string(tags));
            Packet request = Echo(v6, tags, v6 ? 128 : 8), reply = Echo(v6, tags, v6 ? 129 : 0);
            reply.SwapEnds();
            // The usual echo responder: MACs and addresses swapped, the type set; nothing else.
            size_t ip = IpAt(request);
            size_t addresses = ip + (v6 ? 8 : 12), addressBytes = v6 ? 32 : 8;
            Bytes r = Build(reply);
            std::vector<FrameResponseModifier_s> mods = {
                Set(0, Bytes(r.begin(), r.begin() + 12)),
                Set(addresses, Bytes(r.begin() + addresses, r.begin() + addresses + addressBytes)),
                Set(L4At(request), {v6 ? uint8_t(129) : uint8_t(0)})};
            EXPECT_EQ(AnswerOne(Build(request), mods), Padded(r));
        }
    }
}

TEST_F(ChecksumTest, UdpAndTcpOverIpv4AndIpv6) {
    for (bool v6 : {false, true}) {
        for (uint8_t protocol : {kUdp, kTcp}) {
            for (int tags : {0, 1, 2}) {
                SCOPED_TRACE("v6 " + std::to_string(v6) + ", protocol " + std::to_string(protocol) +
                             ", tags " + std::to_string(tags));
                Packet request = Echo(v6, tags, 0);
                request.protocol = protocol;
                Bytes data = {'q', 'u', 'e', 'r', 'y', 0, 1};
                auto segment = protocol == kUdp ? Udp : Tcp;
                request.transport = segment(40000, 53, data);
                Packet reply = request;
                reply.SwapEnds();
                reply.ttl = 255;  // a new TTL changes the IPv4 header's sum
                data[0] = 'R';
                reply.transport = segment(53, 40000, data);
                Bytes got =
                    AnswerOne(Build(request), ReplyMods(request, reply, request.transport.size()));
                EXPECT_EQ(got, Padded(Build(reply)));
            }
        }
    }
}

TEST_F(ChecksumTest, Ipv4OptionsAndIpv6ExtensionHeaders) {
    Packet request = Echo(false, 1, 0);
    request.ipv4Options = {0x94, 0x04, 0x00, 0x00};  // router alert
    request.protocol = kUdp;
    request.transport = Udp(40000, 53, {1, 2, 3, 4, 5});
    Packet reply = request;
    reply.SwapEnds();
    reply.transport = Udp(53, 40000, {1, 2, 3, 4, 5});
    EXPECT_EQ(AnswerOne(Build(request), ReplyMods(request, reply, 4)), Padded(Build(reply)));

    // Hop-by-hop options, destination options and an atomic fragment header before UDP.
    request = Echo(true, 1, 0);
    request.protocol = kUdp;
    request.ext = {{0, {0, 0, 1, 4, 0, 0, 0, 0}},
                   {60, {0, 1, 1, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
                   {44, {0, 0, 0, 0, 0, 0, 0x12, 0x34}}};
    request.transport = Udp(40000, 53, {1, 2, 3, 4, 5});
    reply = request;
    reply.SwapEnds();
    reply.transport = Udp(53, 40000, {1, 2, 3, 4, 5});
    EXPECT_EQ(AnswerOne(Build(request), ReplyMods(request, reply, 4)), Padded(Build(reply)));

    // A fragment that is not the first carries no transport header: its bytes are data.
    Packet later = request;
    later.ext = {{44, {0, 0, 0x05, 0xB8, 0, 0, 0x12, 0x34}}};  // offset 1464
    Bytes frame = Build(later);
    std::vector<FrameResponseModifier_s> mods = {Set(L4At(later), {0xEE, 0xEE})};
    EXPECT_EQ(AnswerOne(frame, mods), Padded(Patched(frame, mods)));
}

TEST_F(ChecksumTest, APatchThatWritesAChecksumKeepsItsValue) {
    Packet request = Echo(false, 1, 8), reply = Echo(false, 1, 0);
    reply.SwapEnds();
    reply.ttl = 1;
    size_t l4 = L4At(request), ipChecksum = IpAt(request) + 10;
    Bytes expected = Build(reply);

    // The ICMP checksum as the user wrote it; the IPv4 header checksum is still recomputed.
    std::vector<FrameResponseModifier_s> mods = ReplyMods(request, reply, 1);
    mods.push_back(Set(l4 + 2, {0x12, 0x34}));
    expected[l4 + 2] = 0x12;
    expected[l4 + 3] = 0x34;
    EXPECT_EQ(AnswerOne(Build(request), mods), Padded(expected));

    // Writing under a mask writes the field too: the bits the user left keep the received value.
    Bytes received = Build(request);
    mods = ReplyMods(request, reply, 1);
    mods.push_back({SET_VALUE, uint32_t(ipChecksum), {0x00, 0x0F}, {0x00, 0x05}});
    expected = Build(reply);
    expected[ipChecksum] = received[ipChecksum];
    expected[ipChecksum + 1] = uint8_t((received[ipChecksum + 1] & 0xF0) | 0x05);
    EXPECT_EQ(AnswerOne(Build(request), mods), Padded(expected));
}

TEST_F(ChecksumTest, UdpWithoutChecksumAndAComputedZero) {
    // UDP over IPv4 without a checksum stays without one.
    Packet request = Echo(false, 0, 0);
    request.protocol = kUdp;
    request.transport = Udp(40000, 53, {1, 2, 3, 4});
    request.udpWithoutChecksum = true;
    Packet reply = request;
    reply.SwapEnds();
    reply.ttl = 9;
    reply.transport = Udp(53, 40000, {5, 6, 7, 8});
    EXPECT_EQ(AnswerOne(Build(request), ReplyMods(request, reply, 12)), Padded(Build(reply)));

    // A reply whose sum comes out as all ones: its checksum 0 goes out as 0xFFFF.
    for (bool v6 : {false, true}) {
        SCOPED_TRACE(v6 ? "IPv6" : "IPv4");
        request = Echo(v6, 0, 0);
        request.protocol = kUdp;
        request.transport = Udp(40000, 53, {1, 2, 0, 0});
        reply = request;
        reply.SwapEnds();
        reply.transport = Udp(53, 40000, {1, 2, 0, 0});
        Bytes sumOf = reply.src;  // the pseudo-header and the segment, as the sender sums them
        Append(sumOf, reply.dst);
        Append(sumOf, {0, kUdp, 0, 12});
        Append(sumOf, reply.transport);
        uint16_t filler = uint16_t(~InternetChecksum(sumOf));  // the sum so far, folded
        reply.transport[10] = uint8_t(~filler >> 8);
        reply.transport[11] = uint8_t(~filler);
        Bytes expected = Build(reply);
        size_t cs = L4At(reply) + 6;
        ASSERT_EQ(expected[cs] << 8 | expected[cs + 1], 0xFFFF);
        EXPECT_EQ(AnswerOne(Build(request), ReplyMods(request, reply, 12)), Padded(expected));
    }
}

TEST_F(ChecksumTest, ChecksumsStayWhenNoCoveredByteChanged) {
    // Received with wrong checksums on purpose; the patches write bytes but change none that a
    // checksum covers (the same type again, MACs, the Ethernet padding after the IP packet).
    Packet request = Echo(false, 1, 8);
    Bytes frame = Build(request);
    size_t ip = IpAt(request), l4 = L4At(request);
    frame[ip + 10] = 0xBA;
    frame[l4 + 2] = 0xDE;
    frame.resize(frame.size() + 6, 0);
    std::vector<FrameResponseModifier_s> mods = {Set(0, {1, 2, 3, 4, 5, 6}), Set(l4, {8}),
                                                 Set(frame.size() - 4, {0xFF, 0xFF})};
    EXPECT_EQ(AnswerOne(frame, mods), Patched(frame, mods));
}

TEST_F(ChecksumTest, TruncatedAndMalformedFramesAreLeftAlone) {
    Packet v4 = Echo(false, 1, 8), v6 = Echo(true, 2, 128);
    v4.transport = Udp(1, 2, Bytes(40, 0x55));
    v4.protocol = kUdp;
    std::vector<Bytes> frames;
    // Captured bytes end before the IP packet does.
    for (const Packet& p : {v4, v6}) {
        Bytes f = Build(p);
        f.resize(L4At(p) + 10);
        frames.push_back(f);
    }
    // IHL 4; a total length shorter than the header; a UDP length past the packet.
    Bytes bad = Build(v4);
    bad[IpAt(v4)] = 0x44;
    frames.push_back(bad);
    bad = Build(v4);
    bad[IpAt(v4) + 3] = 12;
    frames.push_back(bad);
    // Cut inside the VLAN tags, inside the IPv4 header and inside the IPv6 header.
    Bytes whole4 = Build(v4), whole6 = Build(v6);
    frames.push_back(Bytes(whole6.begin(), whole6.begin() + 17));
    frames.push_back(Bytes(whole4.begin(), whole4.begin() + IpAt(v4) + 12));
    frames.push_back(Bytes(whole6.begin(), whole6.begin() + IpAt(v6) + 30));
    // The patches change addresses, TTL and transport bytes, as far as each frame reaches.
    std::vector<FrameResponseModifier_s> mods = {
        Set(IpAt(v4) + 8, {1}), Set(IpAt(v4) + 12, {9, 9, 9, 9}), Set(L4At(v4), {0x77, 0x77}),
        Set(L4At(v6), {0x81})};
    std::vector<Bytes> out = Answer(frames, mods);
    ASSERT_EQ(out.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(out[i], Padded(Patched(frames[i], mods))) << "frame " << i;

    // A UDP length past the packet: the UDP checksum stays, the sound IPv4 header is repaired.
    bad = Build(v4);
    bad[L4At(v4) + 5] = 200;
    Bytes got = AnswerOne(bad, mods);
    Bytes expected = Patched(bad, mods);
    size_t ip = IpAt(v4);
    expected[ip + 10] = expected[ip + 11] = 0;
    uint16_t header = InternetChecksum(Bytes(expected.begin() + ip, expected.begin() + ip + 20));
    expected[ip + 10] = uint8_t(header >> 8);
    expected[ip + 11] = uint8_t(header);
    EXPECT_EQ(got, expected);
}

TEST_F(ChecksumTest, PayloadResponsesGoOutAsGiven) {
    Packet p = Echo(false, 0, 0);
    Bytes payload = Build(p);
    payload[L4At(p) + 2] ^= 0xFF;  // a wrong checksum, as the user built it
    // Modifiers do not apply to a payload response: only a patched received frame is repaired.
    std::vector<Bytes> out = Answer({Build(Echo(false, 0, 8))}, {Set(L4At(p), {0})}, payload);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], Padded(payload));
}

// tcpdump's own verdict on a capture of patched replies, where tcpdump is installed.
TEST_F(ChecksumTest, TcpdumpFindsNoBadChecksum) {
    std::string tcpdump;
    for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/", "/usr/local/sbin/"}) {
        if (::access((std::string(dir) + "tcpdump").c_str(), X_OK) == 0) {
            tcpdump = std::string(dir) + "tcpdump";
            break;
        }
    }
    if (tcpdump.empty())
        GTEST_SKIP() << "tcpdump is not installed: the capture check is skipped";
    std::vector<Bytes> replies;
    for (bool v6 : {false, true}) {
        Packet request = Echo(v6, 1, v6 ? 128 : 8), reply = Echo(v6, 1, v6 ? 129 : 0);
        reply.SwapEnds();
        reply.ttl = 200;
        replies.push_back(AnswerOne(Build(request), ReplyMods(request, reply, 1)));
        for (uint8_t protocol : {kUdp, kTcp}) {
            auto segment = protocol == kUdp ? Udp : Tcp;
            request.protocol = reply.protocol = protocol;
            request.transport = segment(40000, 53, {1, 2, 3});
            reply.transport = segment(53, 40000, {4, 5, 6});
            replies.push_back(
                AnswerOne(Build(request), ReplyMods(request, reply, request.transport.size())));
        }
    }
    std::string path = (std::filesystem::temp_directory_path() /
                        ("il-checksums-" + std::to_string(::getpid()) + ".pcap"))
                           .string();
    {
        PcapFileSink sink(path);
        std::vector<TxFrame> frames;
        for (const Bytes& r : replies)
            frames.push_back({r.data(), uint32_t(r.size()), 0, 1700000000LL * 1000000000});
        sink.Transmit(frames.data(), frames.size());
        sink.Close();
    }
    std::string text;
    if (FILE* pipe = ::popen((tcpdump + " -vv -n -r " + path + " 2>&1").c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            text += buffer;
        ::pclose(pipe);
    }
    std::remove(path.c_str());
    EXPECT_NE(text.find("echo reply"), std::string::npos) << text;
    // tcpdump's words for a checksum that does not verify.
    for (const char* verdict : {"incorrect", "bad ", "wrong"})
        EXPECT_EQ(text.find(verdict), std::string::npos) << text;
}

}  // namespace
