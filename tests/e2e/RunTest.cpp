// frhost run through the real program: a replayed capture's counts against libpcap's own
// matching of the capture, the results files, and how a run ends on signals.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "FrildSupport.h"
#include "ProgramTest.h"

namespace {

using namespace e2etest;

// Frames of several kinds, some behind a VLAN tag, from several hosts.
std::vector<std::vector<uint8_t>> MixedFrames(int count) {
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < count; ++i) {
        const uint8_t host = static_cast<uint8_t>(1 + i % 9);
        std::vector<uint8_t> f = {0x02, 0, 0, 0, 0, 0x01, 0x02, 0, 0, 0, 0, host};
        if (i % 7 == 3)
            f.insert(f.end(), {0x81, 0x00, 0x00, static_cast<uint8_t>(i % 2 ? 100 : 200)});
        switch (i % 4) {
            case 0:  // ARP request for 10.0.0.1
                f.insert(f.end(), {0x08, 0x06, 0, 1, 0x08, 0, 6, 4, 0, 1, 0x02, 0,  0, 0, 0,
                                   host, 10,   0, 0, host, 0, 0, 0, 0, 0, 0,    10, 0, 0, 1});
                break;
            default: {  // IPv4: UDP to port 53 or 123, ICMP echo, or TCP SYN
                const uint8_t proto = i % 4 == 1 ? 17 : i % 4 == 2 ? 1 : 6;
                f.insert(f.end(), {0x08,  0x00, 0x45, 0,  0, 40, 0,    0,  0, 0, 64,
                                   proto, 0,    0,    10, 0, 0,  host, 10, 0, 0, 1});
                if (proto == 17)
                    f.insert(f.end(),
                             {0x30, 0x39, 0, static_cast<uint8_t>(i % 3 ? 53 : 123), 0, 20, 0, 0});
                else if (proto == 1)
                    f.insert(f.end(), {8, 0, 0, 0, 0, 1, 0, static_cast<uint8_t>(i)});
                else
                    f.insert(f.end(), {0x30, 0x39, 0,    80,   0,    0, 0, 1, 0, 0,
                                       0,    0,    0x50, 0x02, 0x10, 0, 0, 0, 0, 0});
            }
        }
        f.resize(std::max<size_t>(f.size(), 60), 0);
        frames.push_back(std::move(f));
    }
    return frames;
}

void WriteCapture(const std::string& path, const std::vector<std::vector<uint8_t>>& frames) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (size_t i = 0; i < frames.size(); ++i) {
        pcap_pkthdr header{};
        header.ts.tv_sec = 1 + static_cast<long>(i / 1000);
        header.ts.tv_usec = static_cast<long>(i % 1000) * 1000;
        header.caplen = header.len = static_cast<bpf_u_int32>(frames[i].size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frames[i].data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

// How many frames of the capture libpcap's own filter engine matches.
uint64_t LibpcapMatches(const std::string& path, const std::string& filter) {
    char error[PCAP_ERRBUF_SIZE];
    pcap_t* in = pcap_open_offline(path.c_str(), error);
    EXPECT_NE(in, nullptr) << error;
    if (!in)
        return 0;
    bpf_program program{};
    EXPECT_EQ(pcap_compile(in, &program, filter.c_str(), 1, PCAP_NETMASK_UNKNOWN), 0)
        << pcap_geterr(in);
    uint64_t n = 0;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(in, &header, &data) == 1)
        n += pcap_offline_filter(&program, header, data) ? 1 : 0;
    pcap_freecode(&program);
    pcap_close(in);
    return n;
}

uint64_t Frames(const std::string& path) {
    char error[PCAP_ERRBUF_SIZE];
    pcap_t* in = pcap_open_offline(path.c_str(), error);
    if (!in)
        return 0;
    uint64_t n = 0;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(in, &header, &data) == 1)
        ++n;
    pcap_close(in);
    return n;
}

const std::vector<std::string> kFilters = {"arp",
                                           "udp dst port 53",
                                           "icmp",
                                           "vlan 100 or vlan 200",
                                           "tcp and src host 10.0.0.7",
                                           "ip host 10.0.0.3"};

// One configuration per filter on port1, each answering with the example's ARP reply.
std::string Scenario(const std::string& replyFrame) {
    nlohmann::json configs = nlohmann::json::array();
    for (size_t i = 0; i < kFilters.size(); ++i) {
        configs.push_back({{"class", "Probe"},
                           {"name", "probe" + std::to_string(i)},
                           {"children",
                            {{{"class", "ProbeFrameResponseConfig"},
                              {"name", "cfg" + std::to_string(i)},
                              {"Filter", kFilters[i]},
                              {"children",
                               {{{"class", "FrameResponseProfile"},
                                 {"name", "reply"},
                                 {"TxPort", "@port1"},
                                 {"FrameConfig", {{"file", replyFrame}}}}}}}}}});
    }
    nlohmann::json scenario = {{"modules",
                                {{{"name", "mod1"},
                                  {"equipment", "//127.0.0.1/1"},
                                  {"model", "SW"},
                                  {"capabilities", {{"supportsFrameResponder", true}}}}}},
                               {"objects",
                                {{{"class", "Port"},
                                  {"name", "port1"},
                                  {"module", "mod1"},
                                  {"index", 0},
                                  {"Online", true},
                                  {"children", configs}}}}};
    return scenario.dump(2);
}

class RunTest : public ProgramTest {};

TEST_F(RunTest, AReplayedCaptureCountsWhatLibpcapMatchesAndTheFilesSayTheSame) {
    const std::string capture = (m_dir / "in.pcap").string();
    WriteCapture(capture, MixedFrames(3000));
    const std::string scenario = Write("run.json", Scenario(Example("frames/arp-reply.xml")));
    const std::string replies = (m_dir / "out.pcap").string();
    const std::string json = (m_dir / "results.json").string();
    const std::string csv = (m_dir / "results.csv").string();

    Outcome o = Frhost({"run", scenario, "--rx", "port1=" + capture, "--tx", "port1=" + replies,
                        "--results", json, "--interval", "50"});
    ASSERT_EQ(o.status, 0) << o.out << o.err;
    const auto doc = nlohmann::json::parse(ReadAll(json));
    ASSERT_EQ(doc["results"].size(), kFilters.size()) << doc.dump(2);
    uint64_t transmitted = 0;
    for (size_t i = 0; i < kFilters.size(); ++i) {
        const auto& row = doc["results"][i];
        EXPECT_EQ(row["name"], "cfg" + std::to_string(i));
        EXPECT_EQ(row["port"], "port1");
        const uint64_t expected = LibpcapMatches(capture, kFilters[i]);
        EXPECT_GT(expected, 0u) << kFilters[i];
        EXPECT_EQ(row["MatchedRxFrameCount"].get<uint64_t>(), expected) << kFilters[i];
        EXPECT_EQ(row["TxFrameCount"].get<uint64_t>(), expected) << kFilters[i];
        transmitted += expected;
    }
    // Every answer is in the transmitted capture, and the final sample closes the series.
    EXPECT_EQ(Frames(replies), transmitted);
    ASSERT_FALSE(doc["series"].empty());
    EXPECT_EQ(doc["series"].back()["rows"][0]["MatchedRxFrameCount"],
              doc["results"][0]["MatchedRxFrameCount"]);
    // The table printed at the end holds the same counts (not on a terminal: plain lines).
    EXPECT_NE(o.out.find("cfg0  port1"), std::string::npos) << o.out;

    o = Frhost({"run", scenario, "--rx", "port1=" + capture, "--results", csv, "--quiet"});
    ASSERT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_EQ(o.out, "");
    const auto lines = Lines(ReadAll(csv));
    ASSERT_EQ(lines.size(), kFilters.size() + 1);
    EXPECT_EQ(lines[0], "name,port,handle,MatchedRxFrameCount,TxFrameCount,RxFrameRate");
    EXPECT_EQ(lines[1].substr(0, 11), "cfg0,port1,");

    EXPECT_EQ(Frhost({"run", scenario, "--results", (m_dir / "r.txt").string()}).status, 64);
    EXPECT_EQ(Frhost({"run", scenario, "--rx", "port1=a", "--rx", "port1=b"}).status, 64);
    o = Frhost({"run", scenario, "--rx", "port9=" + capture});
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("\"port9\" is not a port of the scenario"), std::string::npos) << o.err;
}

TEST_F(RunTest, AFrildModuleReplaysItsOwnCaptureAndTheCountsComeBack) {
    const std::string capture = (m_dir / "in.pcap").string();
    WriteCapture(capture, MixedFrames(500));
    const std::string replies = (m_dir / "out.pcap").string();
    iltest::FrildProcess frild({"--bind", iltest::FrildProcess::kAnyLoopbackPort, "--ports", "1",
                                "--pcap-in", "0=" + capture, "--pcap-out", "0=" + replies},
                               (m_dir / "frild.log").string());
    auto doc = nlohmann::json::parse(Scenario(Example("frames/arp-reply.xml")));
    doc["modules"][0]["il"] = frild.Endpoint();
    const std::string scenario = Write("remote.json", doc.dump());
    const std::string json = (m_dir / "results.json").string();
    Outcome o = Frhost({"run", scenario, "--results", json, "--quiet"});
    ASSERT_EQ(o.status, 0) << o.out << o.err << frild.Log();
    const auto results = nlohmann::json::parse(ReadAll(json))["results"];
    ASSERT_EQ(results.size(), kFilters.size());
    uint64_t transmitted = 0;
    for (size_t i = 0; i < kFilters.size(); ++i) {
        const uint64_t expected = LibpcapMatches(capture, kFilters[i]);
        EXPECT_EQ(results[i]["MatchedRxFrameCount"].get<uint64_t>(), expected) << kFilters[i];
        transmitted += expected;
    }
    EXPECT_EQ(Frames(replies), transmitted);
    // A capture for a port of a frild module belongs to frild.
    o = Frhost({"run", scenario, "--rx", "port1=" + capture});
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("replay its captures with frild there"), std::string::npos) << o.err;
}

TEST_F(RunTest, ASignalEndsTheRunWithItsResultsAndASecondEndsItAtOnce) {
    const std::string scenario = Write("run.json", Scenario(Example("frames/arp-reply.xml")));
    const std::string db = (m_dir / "eot.db").string();
    {
        Background run(
            m_dir, {"run", scenario, "--duration", "60", "--interval", "50", "--results-db", db});
        // Running once the first periodic line is out.
        for (int i = 0; i < 200 && run.Out().find(" s  configurations") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        const auto before = std::chrono::steady_clock::now();
        run.Signal(SIGINT);
        Outcome o = run.Wait();
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
        EXPECT_EQ(o.status, 0) << o.out << o.err;
        EXPECT_NE(o.out.find("cfg5  port1"), std::string::npos) << o.out;
        EXPECT_TRUE(fs::exists(db));
    }
    fs::remove(db);
    {
        Background run(
            m_dir, {"run", scenario, "--duration", "60", "--interval", "50", "--results-db", db});
        for (int i = 0; i < 200 && run.Out().find(" s  configurations") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        // Two signals of one kind may arrive as one; an interrupt and a termination do not.
        run.Signal(SIGINT);
        run.Signal(SIGTERM);
        Outcome o = run.Wait();
        EXPECT_EQ(o.status, 130) << o.out << o.err;
        EXPECT_NE(o.out.find("Ended at once"), std::string::npos) << o.out;
        EXPECT_FALSE(fs::exists(db));
    }
}

}  // namespace
