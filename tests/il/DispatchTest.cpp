// The per-port dispatch: generated filter sets and frames give the responders, in the order,
// that running every filter gives; the indexed keys and the always-run list as the diagnostic
// reports them.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>

#include <orx/il/Dispatch.h>
#include <orx/il/FramePump.h>
#include <orx/il/IlServer.h>
#include <orx/il/MemoryFrames.h>
#include <orx/msglib/Codec.h>
#include <orx/msglib/TmArray.h>
#include "IlTestSupport.h"

using namespace orx::il;
using namespace iltest;
using namespace responder_1_bll;

namespace {

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", v);
    return text;
}

// Filters compiled once per expression, as the IL compiles them.
class Programs {
  public:
    Programs() : m_pcap(pcap_open_dead(DLT_EN10MB, 65535)) {}
    ~Programs() {
        for (auto& [text, p] : m_programs) {
            if (p)
                pcap_freecode(&p->program);
        }
        pcap_close(m_pcap);
    }
    struct Compiled {
        bpf_program program{};
        FilterAnalysis analysis;
    };
    // Null for an expression libpcap refuses (one that rejects every frame, say).
    const Compiled* Find(const std::string& expression) {
        auto it = m_programs.find(expression);
        if (it != m_programs.end())
            return it->second.get();
        auto c = std::make_unique<Compiled>();
        if (pcap_compile(m_pcap, &c->program, expression.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
            m_programs.emplace(expression, nullptr);
            return nullptr;
        }
        c->analysis = AnalyzeFilter(c->program.bf_insns, c->program.bf_len);
        return m_programs.emplace(expression, std::move(c)).first->second.get();
    }
    const Compiled& Get(const std::string& expression) {
        const Compiled* c = Find(expression);
        if (c == nullptr)
            throw std::runtime_error("\"" + expression + "\": " + pcap_geterr(m_pcap));
        return *c;
    }

  private:
    pcap_t* m_pcap;
    std::map<std::string, std::unique_ptr<Compiled>> m_programs;
};

// Small value ranges, so that filters overlap and frames hit them.
struct Generator {
    std::mt19937 rng;
    explicit Generator(uint32_t seed) : rng(seed) {}
    uint32_t Pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng); }
    bool Chance(int percent) { return Pick(100) < static_cast<uint32_t>(percent); }
    uint32_t Address() { return 0x0A000000u + Pick(12); }
    uint16_t UdpPort() { return static_cast<uint16_t>(5000 + Pick(12)); }
    int Vlan() { return 5 + static_cast<int>(Pick(3)); }

    std::string Base() {
        switch (Pick(17)) {
            case 0:
                return "arp and arp[24:4] = " + Hex(Address());
            case 1:
                return "udp dst port " + std::to_string(UdpPort());
            case 2:
                return "vlan " + std::to_string(Vlan()) +
                       " and arp and arp[24:4] = " + Hex(Address());
            case 3:
                return "vlan " + std::to_string(Vlan()) + " and udp dst port " +
                       std::to_string(UdpPort());
            // Byte forms as frame descriptions write them: whole, masked, three bytes as four.
            case 4:
                return "ether[12:2] = 0x0806 and ether[38:4] = " + Hex(Address());
            case 5:
                return "ether[38:4] & 0xffffff00 = 0x0a000000";
            case 6:
                return "ether[30:4] & 0xffffff00 = " + Hex(Address() & 0xFFFFFF00u) +
                       " and ether[36:2] = 0x" + [&] {
                           char t[8];
                           std::snprintf(t, sizeof t, "%04x", UdpPort());
                           return std::string(t);
                       }();
            case 7:
                return "src host 10.0.0." + std::to_string(Pick(12));
            case 8:
                return "ip and udp dst port " + std::to_string(UdpPort());
            case 9:
                return "ip6 and udp dst port " + std::to_string(UdpPort());
            case 10:
                return "icmp[icmptype] = icmp-echo";
            case 11:
                return "ether[0] = 1 or ether[0] = " + std::to_string(Pick(3));
            // Nothing to index.
            case 12:
                return Chance(50) ? "len > 100" : "len < 70";
            case 13:
                return "tcp[13] & 2 != 0";
            case 14:
                return Chance(50) ? "not arp" : "ether[38:4] != " + Hex(Address());
            case 15:
                return "udp[8:2] = " + std::to_string(Pick(3));
            default:
                return "tcp dst port " + std::to_string(UdpPort());
        }
    }
    std::string Expression() {
        std::string e = Base();
        if (Chance(15))
            e = "(" + e + ") or (" + Base() + ")";
        else if (Chance(15))
            e = "(" + e + ") and (" + Base() + ")";
        return e;
    }

    void Put16(std::vector<uint8_t>& f, uint16_t v) {
        f.push_back(uint8_t(v >> 8));
        f.push_back(uint8_t(v));
    }
    void Put32(std::vector<uint8_t>& f, uint32_t v) {
        Put16(f, uint16_t(v >> 16));
        Put16(f, uint16_t(v));
    }
    std::vector<uint8_t> Frame() {
        std::vector<uint8_t> f = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x01,
                                  0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
        if (Pick(8) == 0)
            f[0] = static_cast<uint8_t>(Pick(3));
        if (Chance(30)) {
            static const uint16_t tpids[] = {0x8100, 0x88a8, 0x9100};
            Put16(f, tpids[Pick(3)]);
            Put16(f, static_cast<uint16_t>(Vlan() | (Pick(8) << 13)));
        }
        switch (Pick(6)) {
            case 0:
            case 1: {  // ARP request
                Put16(f, 0x0806);
                f.insert(f.end(), {0, 1, 8, 0, 6, 4, 0, 1, 2, 0, 0, 0, 0, 1});
                Put32(f, Address());
                f.insert(f.end(), 6, 0);
                Put32(f, Address());
                break;
            }
            case 2:
            case 3: {  // IPv4 UDP or TCP or ICMP, with or without options
                Put16(f, 0x0800);
                const bool options = Chance(25);
                const uint8_t protocol = Chance(60) ? 17 : (Chance(50) ? 6 : 1);
                f.insert(f.end(), {uint8_t(options ? 0x46 : 0x45), 0, 0, 60, 0, 0,
                                   uint8_t(Chance(10) ? 0x20 : 0), 0, 64, protocol, 0, 0});
                Put32(f, Address());
                Put32(f, Address());
                if (options)
                    Put32(f, 0x01010100);
                Put16(f, UdpPort());
                Put16(f, UdpPort());
                Put32(f, Pick(3));
                f.insert(f.end(), {0, uint8_t(Pick(3)), uint8_t(Chance(50) ? 0x02 : 0x10), 0});
                break;
            }
            case 4: {  // IPv6 UDP
                Put16(f, 0x86dd);
                f.insert(f.end(), {0x60, 0, 0, 0, 0, 16, uint8_t(Chance(80) ? 17 : 6), 64});
                f.insert(f.end(), 32, 0x20);
                Put16(f, UdpPort());
                Put16(f, UdpPort());
                Put32(f, 16);
                break;
            }
            default:
                for (int i = 0, n = static_cast<int>(Pick(60)); i < n; ++i)
                    f.push_back(static_cast<uint8_t>(Pick(256)));
        }
        while (f.size() < 60 || Chance(30))
            f.push_back(static_cast<uint8_t>(Pick(256)));
        if (Chance(10))
            f[Pick(static_cast<uint32_t>(f.size()))] ^= static_cast<uint8_t>(1 + Pick(255));
        // Short frames end just before, at or after the fields the filters load.
        if (Chance(20))
            f.resize(Pick(static_cast<uint32_t>(f.size()) + 1));
        return std::vector<uint8_t>(f.begin(), f.end());  // no spare capacity to read into
    }
};

uint32_t Seed() {
    const char* text = std::getenv("ORX_DISPATCH_SEED");
    return text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : 20261206u;
}

std::vector<uint32_t> RunEvery(const std::vector<const Programs::Compiled*>& set,
                               const std::vector<uint8_t>& f) {
    std::vector<uint32_t> out;
    const auto length = static_cast<u_int>(f.size());
    for (uint32_t i = 0; i < set.size(); ++i) {
        if (bpf_filter(set[i]->program.bf_insns, f.data(), length, length) != 0)
            out.push_back(i);
    }
    return out;
}

std::vector<uint32_t> RunDispatched(const PortDispatch& d,
                                    const std::vector<const Programs::Compiled*>& set,
                                    const std::vector<uint8_t>& f, size_t& candidates) {
    std::vector<uint32_t> out;
    const auto length = static_cast<u_int>(f.size());
    d.ForEachCandidate(f.data(), length, [&](uint32_t i) {
        ++candidates;
        if (bpf_filter(set[i]->program.bf_insns, f.data(), length, length) != 0)
            out.push_back(i);
    });
    return out;
}

// The set and the frame of a failure, to replay it by hand.
std::string Describe(const std::vector<std::string>& expressions, const std::vector<uint8_t>& f) {
    std::ostringstream s;
    for (size_t i = 0; i < expressions.size(); ++i)
        s << "  [" << i << "] " << expressions[i] << '\n';
    s << "  frame (" << f.size() << " bytes):";
    for (uint8_t b : f)
        s << ' ' << std::hex << int(b) << std::dec;
    return s.str();
}

// The property: for thousands of generated sets and frames, dispatching answers exactly the
// responders running every filter answers, in table order.
TEST(Dispatch, GeneratedFilterSetsAnswerAsRunningEveryFilter) {
    const uint32_t seed = Seed();
    Generator gen(seed);
    Programs programs;
    size_t frames = 0, matches = 0, candidates = 0, filtersRun = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> expressions;
        const uint32_t size = 1 + gen.Pick(gen.Chance(10) ? 200 : 24);
        for (uint32_t i = 0; i < size; ++i) {
            // Duplicates of earlier filters in the same set.
            if (!expressions.empty() && gen.Chance(10))
                expressions.push_back(expressions[gen.Pick(uint32_t(expressions.size()))]);
            else
                expressions.push_back(gen.Expression());
            if (programs.Find(expressions.back()) == nullptr)
                expressions.pop_back();  // libpcap refuses what can never match
        }
        if (expressions.empty())
            continue;
        std::vector<const Programs::Compiled*> set;
        std::vector<const FilterAnalysis*> analyses;
        for (const auto& e : expressions) {
            set.push_back(&programs.Get(e));
            analyses.push_back(&set.back()->analysis);
        }
        PortDispatch d = PortDispatch::Build(analyses);
        ASSERT_TRUE(d.Covers(set.size()));
        for (int k = 0; k < 20; ++k) {
            std::vector<uint8_t> f = gen.Frame();
            std::vector<uint32_t> expected = RunEvery(set, f);
            std::vector<uint32_t> got = RunDispatched(d, set, f, candidates);
            ++frames;
            matches += expected.size();
            filtersRun += set.size();
            ASSERT_EQ(got, expected) << "seed " << seed << " (ORX_DISPATCH_SEED), round " << round
                                     << ", frame " << k << '\n'
                                     << Describe(expressions, f);
        }
    }
    // Not vacuous: frames matched, and the index spared most filter runs.
    EXPECT_GT(matches, frames / 4);
    EXPECT_LT(candidates, filtersRun / 3) << candidates << " of " << filtersRun;
}

TEST(Dispatch, AnalysisFindsTheFixedFieldsOfTypedAndFrameDescriptionFilters) {
    Programs programs;
    auto keysOf = [&](const std::string& e) {
        std::vector<std::string> out;
        const FilterAnalysis& a = programs.Get(e).analysis;
        for (const auto& path : a.paths) {
            std::string p;
            for (const FieldTest& t : path)
                p += (p.empty() ? "" : " ") + t.key.Name() + "=" + Hex(t.value);
            out.push_back(p);
        }
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(keysOf("arp and arp[24:4] = 0x0a000005"),
              V{"ether[12:2]=0x00000806 ether[38:4]=0x0a000005"});
    EXPECT_EQ(keysOf("ether[38:4] & 0xffffff00 = 0x0a000000"),
              V{"ether[38:4] & 0xffffff00=0x0a000000"});
    // UDP over IPv4 is found after the header's own length; over IPv6 at a fixed place.
    EXPECT_EQ(keysOf("udp dst port 53"),
              (V{"ether[12:2]=0x000086dd ether[20]=0x00000011 ether[56:2]=0x00000035",
                 "ether[12:2]=0x00000800 ether[4*(ether[14]&0xf)+16:2]=0x00000035 "
                 "ether[23]=0x00000011"}));
    // Behind a tag the tag's own test and the fields after it are fixed too, for each TPID.
    V vlan = keysOf("vlan 5 and arp and arp[24:4] = 0x0a000005");
    ASSERT_FALSE(vlan.empty());
    for (const auto& path : vlan) {
        EXPECT_NE(path.find("ether[14:2] & 0x0fff=0x00000005"), std::string::npos) << path;
        EXPECT_NE(path.find("ether[42:4]=0x0a000005"), std::string::npos) << path;
    }
    // No proof on some accepting path: run always.
    for (const char* e : {"len > 100", "not arp", "ether[38:4] != 0x0a000001", "arp or len > 90",
                          "ether[0] & 1 = 1 or ether[3] > 4"}) {
        EXPECT_FALSE(programs.Get(e).analysis.indexable) << e;
    }
    // A masked field never equals a value with bits outside its mask: that branch is dead.
    EXPECT_EQ(keysOf("ether[0] & 0xf0 = 0x0f or ether[1] = 2"), V{"ether[1]=0x00000002"});
    EXPECT_TRUE(AnalyzeFilter(nullptr, 0).paths.empty());
}

// Frames that end inside a key cannot match by it; one byte longer they can.
TEST(Dispatch, FramesEndingInsideAKeyMatchExactlyAsTheFilterDoes) {
    Programs programs;
    std::vector<const Programs::Compiled*> set = {
        &programs.Get("ether[38:4] = 0x0a000005"), &programs.Get("udp dst port 5000"),
        &programs.Get("ip and udp dst port 5000"), &programs.Get("len >= 0")};
    std::vector<const FilterAnalysis*> analyses;
    for (auto* c : set)
        analyses.push_back(&c->analysis);
    PortDispatch d = PortDispatch::Build(analyses);
    EXPECT_EQ(d.Indexed(), 3u);
    EXPECT_EQ(d.AlwaysRun(), std::vector<uint32_t>{3});
    std::vector<uint8_t> arp(42, 0);
    arp[38] = 0x0a, arp[41] = 5;
    std::vector<uint8_t> udp = UdpFrame(0x0A000001, 5000, -1, 0);  // ends with the UDP header
    for (size_t cut = 0; cut <= 42; ++cut) {
        for (const auto* whole : {&arp, &udp}) {
            std::vector<uint8_t> f(whole->begin(), whole->begin() + std::min(cut, whole->size()));
            size_t candidates = 0;
            EXPECT_EQ(RunDispatched(d, set, f, candidates), RunEvery(set, f)) << cut;
        }
    }
}

TEST(Dispatch, KeysBeyondTheLimitAndSmallTablesLeaveTheirRespondersAlwaysRun) {
    Programs programs;
    std::vector<const FilterAnalysis*> analyses;
    std::vector<std::string> expressions;
    // 20 different single-byte keys, two responders each (a shared key is kept first).
    for (int k = 0; k < 20; ++k) {
        for (int v = 0; v < 2 + (k < 3 ? 3 : 0); ++v)
            expressions.push_back("ether[" + std::to_string(k) + "] = " + std::to_string(v));
    }
    for (const auto& e : expressions)
        analyses.push_back(&programs.Get(e).analysis);
    PortDispatch d = PortDispatch::Build(analyses);
    EXPECT_EQ(d.Keys().size(), PortDispatch::kMaxKeys);
    EXPECT_EQ(d.Indexed() + d.AlwaysRun().size(), expressions.size());
    EXPECT_EQ(d.AlwaysRun().size(), 8u);  // 4 keys of 2 dropped
    for (const auto& k : d.Keys()) {
        EXPECT_GE(k.responders, 2u);
        EXPECT_EQ(k.values, k.responders);
    }
    // A default dispatch covers no table, so the frame path runs every filter; so does one of
    // a table too small to index.
    EXPECT_FALSE(PortDispatch{}.Covers(0));
    analyses.resize(PortDispatch::kIndexFrom - 1);
    PortDispatch small = PortDispatch::Build(analyses);
    EXPECT_FALSE(small.HasKeys());
    EXPECT_EQ(small.AlwaysRun().size(), analyses.size());
}

respProfile_s Tagged(uint32_t handle) {
    return Profile(0, {uint8_t(handle >> 8), uint8_t(handle)});
}

// Through the IL: responses come in handle order whatever keys found them, stopped responders
// leave the index, and the diagnostic names the keys and the always-run handles.
TEST(Dispatch, ThePortAnswersInHandleOrderAndTheDiagnosticNamesItsKeys) {
    IlServer il({0, 1});
    std::vector<respConfig_s> configs;
    std::vector<uint32_t> handles;
    for (uint32_t i = 0; i < 40; ++i) {
        uint32_t handle = 100 - i;  // handles descend as the list goes on
        std::string filter = i % 2 ? "arp and arp[24:4] = " + Hex(0x0A000000u + i % 7)
                                   : "udp dst port " + std::to_string(5000 + i % 5);
        configs.push_back(Config(handle, filter, {Tagged(handle)}));
        handles.push_back(handle);
    }
    configs.push_back(Config(7, "len > 10", {Tagged(7)}));
    configs.push_back(Config(300, "vlan 5 and udp dst port 5002", {Tagged(300)}));
    handles.push_back(7);
    handles.push_back(300);
    ASSERT_EQ(il.Handle(ConfigRequest(0, configs)).get_msg_type(), TMT_RESPONSE);
    ASSERT_EQ(il.Handle(Request(0, create_req_Start, handles)).get_msg_type(), TMT_RESPONSE);

    Generator gen(Seed());
    std::vector<StoredFrame> frames;
    for (int i = 0; i < 400; ++i)
        frames.push_back({gen.Frame(), int64_t(i) * 1000});
    frames.push_back({UdpFrame(0x0A000001, 5002, 5), 400000});
    // What running every filter in handle order answers.
    Programs programs;
    std::map<uint32_t, std::string> byHandle;
    for (const auto& c : configs)
        byHandle[c.configHandle] = c.filterExpr;
    std::vector<std::vector<uint8_t>> expected;
    for (const auto& f : frames) {
        for (const auto& [handle, filter] : byHandle) {
            const auto length = static_cast<u_int>(f.bytes.size());
            if (bpf_filter(programs.Get(filter).program.bf_insns, f.bytes.data(), length, length))
                expected.push_back(Tagged(handle).payload);
        }
    }
    MemoryFrameSource source(frames);
    MemoryFrameSink sink;
    FramePump pump;
    pump.AddSource(*il.Engine(0), source);
    pump.AddSink(0, sink);
    pump.RunToEnd();
    std::vector<std::vector<uint8_t>> got;
    for (const auto& f : sink.Frames())
        got.emplace_back(f.bytes.begin(), f.bytes.begin() + 2);
    ASSERT_GT(expected.size(), 20u);
    for (auto& e : expected)
        e.resize(2);
    EXPECT_EQ(got, expected) << "seed " << Seed();

    std::vector<PortDispatchView> ports = il.DescribeDispatch();
    ASSERT_EQ(ports.size(), 2u);
    const PortDispatchView& p0 = ports[0];
    EXPECT_EQ(p0.port, 0);
    EXPECT_EQ(p0.running, 42u);
    EXPECT_EQ(p0.indexed, 41u);
    EXPECT_EQ(p0.alwaysRun, std::vector<uint32_t>{7});
    std::map<std::string, DispatchKeyView> keys;
    for (const auto& k : p0.keys)
        keys[k.key] = k;
    EXPECT_EQ(keys["ether[38:4]"].responders, 20u);
    EXPECT_EQ(keys["ether[38:4]"].values, 7u);
    EXPECT_EQ(keys["ether[4*(ether[14]&0xf)+16:2]"].responders, 20u);
    EXPECT_EQ(ports[1], (PortDispatchView{1, 0, 0, {}, {}}));

    // Stopping takes responders out of the index; the answer over the wire says the same.
    ASSERT_EQ(il.Handle(Request(0, create_req_Stop, {7, 300})).get_msg_type(), TMT_RESPONSE);
    Message show;
    orx::il::diag::CreateShowRequest(&show, 0);
    std::vector<uint8_t> bytes = msglib::encode(show);
    Message answer = msglib::decode(il.HandleEncoded(bytes.data(), bytes.size()));
    std::vector<PortDispatchView> shown = orx::il::diag::ParseShowDispatch(answer);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], il.DescribeDispatch(0)[0]);
    EXPECT_EQ(shown[0].running, 40u);
    EXPECT_TRUE(shown[0].alwaysRun.empty());
    EXPECT_EQ(orx::il::diag::ParseShowResponse(answer).size(), 42u);  // the old fields stay

    Message wrong;
    wrong.set_msg_type(TMT_RESPONSE);
    wrong.set_request_name(orx::il::diag::kShowResponders);
    wrong.add_member_and_own(TMG_MEMBERS, "responders", new Tm_array);
    EXPECT_TRUE(orx::il::diag::ParseShowDispatch(wrong).empty());
    wrong.add_member(TMG_MEMBERS, "ports", int32_t{3});
    EXPECT_THROW(orx::il::diag::ParseShowDispatch(wrong), orx::il::diag::DiagError);
}

}  // namespace
