// Runs the built frhost program, with the plug-ins that sit next to it, as a user would.

#include <gtest/gtest.h>

#include <pcap/pcap.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include "FrildSupport.h"
#include "ProgramTest.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace e2etest;

class FrhostTest : public ProgramTest {
  protected:
    // The arp-responder example with its module's "il" set to `il` (JSON text).
    std::string RemoteScenario(const std::string& il) const {
        std::string scenario = ReadAll(Example("scenarios/arp-responder.json"));
        scenario.replace(scenario.find("\"inproc\""), 8, il);
        scenario.replace(scenario.find("../frames/arp-reply.xml"), 23,
                         Example("frames/arp-reply.xml"));
        return Write("remote.json", scenario);
    }

    // A frild started again on `endpoint`: the next apply of `path` works.
    void RestartedFrildServesTheNextApply(std::unique_ptr<iltest::FrildProcess>& frild,
                                          const std::string& endpoint, const std::string& path) {
        frild = std::make_unique<iltest::FrildProcess>(
            std::vector<std::string>{"--bind", endpoint, "--ports", "2"},
            (m_dir / "frild-2.log").string());
        Outcome o = Frhost({"--timeout", "5000", "apply", path, "--show"});
        ASSERT_EQ(o.status, 0) << o.err << o.out;
        EXPECT_NE(o.out.find("filter \"arp\" stopped"), std::string::npos) << o.out;
    }

    static int PluginCount() {
        int n = 0;
        for (const auto& e : fs::directory_iterator(fs::path(FRHOST_PATH).parent_path())) {
            const std::string name = e.path().filename().string();
            if (name.size() > 10 && name.substr(name.size() - 10) == ".plugin.so")
                ++n;
        }
        return n;
    }
};

constexpr const char* kHostOnly = R"({
  "modules": [{"name": "mod1", "equipment": "//10.1.1.1/1", "model": "SW",
               "capabilities": {"supportsFrameResponder": true}}],
  "objects": [
    {"class": "Port", "name": "port1", "module": "mod1", "index": 0, "Online": true,
     "children": [{"class": "Probe", "name": "probe1"}]},
    {"class": "EmulatedDevice", "name": "dev1", "port": "@port1"}
  ]})";

TEST_F(FrhostTest, VersionPrintsOneLinePerPlugin) {
    Outcome o = Frhost({"version"});
    EXPECT_EQ(o.status, 0) << o.err;
    std::vector<std::string> lines = Lines(o.out);
    ASSERT_EQ(static_cast<int>(lines.size()), PluginCount()) << o.out;
    for (const auto& line : lines)
        EXPECT_FALSE(line.empty());
    if (PluginCount() > 0) {
        EXPECT_EQ(o.err, "") << "nothing but the versions is printed";
    }
}

TEST_F(FrhostTest, ValidateHostOnlyScenarioPrintsNothingAndExitsZero) {
    Outcome o = Frhost({"validate", Write("host.json", kHostOnly)});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}

// The examples need the plug-in's classes and its project validator.
TEST_F(FrhostTest, ArpResponderExampleIsValid) {
    Outcome o = Frhost({"validate", Example("scenarios/arp-responder.json")});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}

TEST_F(FrhostTest, UnsupportedCardGivesOneMessageLinePerPortAndExitsOne) {
    Outcome o = Frhost({"validate", Example("scenarios/unsupported-card.json")});
    EXPECT_EQ(o.status, 1) << o.err;
    ASSERT_EQ(Lines(o.out).size(), 1u) << o.out;
    EXPECT_NE(o.out.find("not supported for this card"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("//127.0.0.1/1"), std::string::npos) << o.out;

    // Two ports on the same card that lacks the capability: one message per port.
    std::string frame = Example("frames/arp-reply.xml");
    std::string port = R"({"class": "Port", "name": "pN", "module": "m", "index": N, "Online": true,
      "children": [{"class": "Probe", "name": "probeN", "children": [
        {"class": "ProbeFrameResponseConfig", "name": "cfgN", "Filter": "arp", "children": [
          {"class": "FrameResponseProfile", "TxPort": "@pN", "FrameConfig": {"file": ")" +
                       frame + R"("}}]}]}]})";
    auto portN = [&](char n) {
        std::string p = port;
        for (char& c : p)
            c = c == 'N' ? n : c;
        return p;
    };
    o = Frhost(
        {"validate", Write("two.json", R"({"modules": [{"name": "m", "equipment": "//9.9.9.9/3",
          "capabilities": {"supportsFrameResponder": false}}], "objects": [)" +
                                           portN('1') + "," + portN('2') + "]}")});
    EXPECT_EQ(o.status, 1) << o.err;
    std::vector<std::string> lines = Lines(o.out);
    ASSERT_EQ(lines.size(), 2u) << o.out << o.err;
    EXPECT_EQ(lines[0], lines[1]);
    EXPECT_NE(lines[0].find("//9.9.9.9/3"), std::string::npos);
}

TEST_F(FrhostTest, FaultyConfigurationsAreReportedOneMessageALine) {
    Outcome o = Frhost({"validate", Example("scenarios/faulty-configs.json")});
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(
        Lines(o.out),
        (std::vector<std::string>{
            "Auto Frame Response validation failed for probe1: Invalid filter Filter is empty",
            "Auto Frame Response validation failed for probe1: No response profiles configured",
            "Auto Frame Response validation failed for probe2: Modifier definition extends 48 "
            "byte(s) beyond the end of the filter definition.",
            "Auto Frame Response validation failed for probe2: Modifier Value is too long by 1 "
            "byte(s)",
            "Auto Frame Response validation failed for probe2: Profile with transmit port not "
            "in the correct port group"}));
}

TEST_F(FrhostTest, ScenarioThatFailsToLoadExitsTwoNamingWhere) {
    Outcome o = Frhost({"validate", Write("bad.json", R"({"modules": [{"name": "mod1"}],
      "objects": [{"class": "Port", "name": "p", "module": "mod9", "index": 0}]})")});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("objects[0].module: unknown module \"mod9\""), std::string::npos) << o.err;

    o = Frhost(
        {"validate", Write("syntax.json", "{\n  \"objects\": [\n    {\"class\" \"Port\"}\n]}")});
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("syntax.json:3:"), std::string::npos) << o.err;

    o = Frhost({"validate", (m_dir / "missing.json").string()});
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("missing.json: no such file"), std::string::npos) << o.err;
}

TEST_F(FrhostTest, LogOptionSetsLevelsAndRejectsBadSettings) {
    Outcome o = Frhost({"--log", "framework.plugins=info", "--log", "framework.apply=debug",
                        "validate", Write("host.json", kHostOnly)});
    EXPECT_EQ(o.status, 0) << o.err;
    if (PluginCount() > 0) {
        EXPECT_NE(o.err.find("Loaded plug-in"), std::string::npos) << o.err;
    }

    for (const char* bad : {"framework", "framework=loud", "=debug"}) {
        o = Frhost({"--log", bad, "version"});
        EXPECT_EQ(o.status, 64) << bad;
        EXPECT_EQ(o.out, "") << bad;
        EXPECT_NE(o.err.find("--log"), std::string::npos) << o.err;
    }
}

TEST_F(FrhostTest, UsageErrors) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"validate"}, {"frobnicate"}, {"version", "extra"}, {"--bogus", "version"}}) {
        Outcome o = Frhost(args);
        EXPECT_EQ(o.status, 64) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(o.out, "");
        EXPECT_FALSE(o.err.empty());
    }
    Outcome help = Frhost({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("validate"), std::string::npos);
}

TEST_F(FrhostTest, FilterPrintsTheExpressionOfEachExampleFrame) {
    const std::vector<std::pair<std::string, std::string>> examples = {
        {"frames/vlan-filter.xml", "vlan 100 and src host 10.0.0.1"},
        {"frames/udp-dns-filter.xml", "src host 10.0.0.2 and udp and dst port 53"},
        {"frames/icmp-echo-filter.xml", "dst host 10.0.0.1 and ether[34] = 0x08"},
        {"frames/arp-request-filter.xml",
         "ether dst ff:ff:ff:ff:ff:ff and ether[20:2] = 0x0001 and ether[38:4] = 0x0a000001"},
    };
    for (const auto& [file, expression] : examples) {
        Outcome o = Frhost({"filter", Example(file)});
        EXPECT_EQ(o.status, 0) << file << ": " << o.err;
        EXPECT_EQ(o.out, expression + "\n") << file;
    }

    // A filter frame that does not parse: the command's status text, naming the file, exit 1.
    const std::string badFile =
        Write("bad.xml", "<frame><pdu name=\"x\" type=\"ipv4:IPv5\"/></frame>");
    Outcome bad = Frhost({"filter", badFile});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err.rfind(badFile + ": Invalid filter ", 0), 0u) << bad.err;
    EXPECT_NE(bad.err.find("ipv4:IPv5"), std::string::npos) << bad.err;

    Outcome missing = Frhost({"filter", (m_dir / "nope.xml").string()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;
}

TEST_F(FrhostTest, FramePrintsTheResponseBytesPduOffsetsAndWritesACapture) {
    const std::string pcap = (m_dir / "reply.pcap").string();
    Outcome o = Frhost({"frame", Example("frames/arp-reply.xml"), "--pcap", pcap});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string bytes =
        "001094000002020000000001080600010800060400020200000000010a0000010010940000020a000002";
    EXPECT_EQ(o.out, bytes + "\neth1 offset 0 length 14\narp1 offset 14 length 28\n");

    // Global header (24 bytes), record header (16 bytes), then the frame as printed.
    std::ifstream in(pcap, std::ios::binary);
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(file.size(), 24u + 16u + bytes.size() / 2);
    std::string written;
    for (size_t i = 40; i < file.size(); ++i) {
        static const char* hex = "0123456789abcdef";
        written += hex[file[i] >> 4];
        written += hex[file[i] & 15];
    }
    EXPECT_EQ(written, bytes);
}

TEST_F(FrhostTest, ApplyConfiguresTheTestPortAndShowsWhatItHolds) {
    Outcome o = Frhost({"apply", Example("scenarios/arp-responder.json"), "--show"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    std::vector<std::string> lines = Lines(o.out);
    ASSERT_GE(lines.size(), 2u) << o.out;
    EXPECT_EQ(lines[0], "module mod1 (inproc)");
    EXPECT_NE(o.out.find("port 0 responder "), std::string::npos) << o.out;
    // Started, the port says how it finds the responder for a frame.
    o = Frhost({"apply", Example("scenarios/arp-responder.json"), "--start", "--show"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("  port 0 dispatch: 0 of 1 running responder(s) indexed, 1 run on "
                         "every frame\n    run on every frame: "),
              std::string::npos)
        << o.out;

    // Validation stops the apply: the messages, exit 1.
    o = Frhost({"apply", Example("scenarios/faulty-configs.json")});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Lines(o.out).size(), 5u) << o.out;
}

TEST_F(FrhostTest, ApplyReachesAFrildDaemonADeadOneFailsAndARestartedOneServesAgain) {
    auto frild = std::make_unique<iltest::FrildProcess>(
        std::vector<std::string>{"--bind", iltest::FrildProcess::kAnyLoopbackPort, "--ports", "2"},
        (m_dir / "frild.log").string());
    const std::string endpoint = frild->Endpoint();
    const std::string path = RemoteScenario("\"" + endpoint + "\"");
    Outcome o = Frhost({"--timeout", "5000", "apply", path, "--show"});
    ASSERT_EQ(o.status, 0) << o.err << o.out;
    EXPECT_EQ(Lines(o.out)[0], "module mod1 (" + endpoint + ")");
    EXPECT_NE(o.out.find("filter \"arp\" stopped"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("response on port 0 after 0 us: 42 bytes"), std::string::npos) << o.out;

    frild->Kill(SIGKILL);
    Outcome dead = Frhost({"--timeout", "300", "apply", path});
    EXPECT_EQ(dead.status, 1);
    // The failure once, with the fault that explains it; no log lines unless asked for.
    EXPECT_EQ(Lines(dead.out)[0], "Responder apply handler: RPC fault on Wait");
    EXPECT_NE(dead.out.find("No response to responder_1.ConfigResponder within 300 ms (no "
                            "connection: nothing accepts connections at " +
                            endpoint + ")"),
              std::string::npos)
        << dead.out;
    EXPECT_EQ(dead.err, "");

    // Restarted on the same endpoint between two applies: the next apply works again.
    RestartedFrildServesTheNextApply(frild, endpoint, path);
}

// A daemon killed while the host waits for its answer (stopped first, so that it cannot answer
// before): the apply fails within its timeout, naming the request; restarted, it serves again.
TEST_F(FrhostTest, AFrildKilledWhileTheHostWaitsFailsThatApplyOnly) {
    auto frild = std::make_unique<iltest::FrildProcess>(
        std::vector<std::string>{"--bind", iltest::FrildProcess::kAnyLoopbackPort, "--ports", "2"},
        (m_dir / "frild.log").string());
    const std::string endpoint = frild->Endpoint();
    const std::string path = RemoteScenario("\"" + endpoint + "\"");
    frild->Signal(SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    Background host(m_dir, {"--timeout", "2000", "apply", path});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    frild->Kill(SIGKILL);
    Outcome o = host.WaitFor(std::chrono::seconds(10));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_NE(o.out.find("No response to responder_1.ConfigResponder within 2000 ms ("),
              std::string::npos)
        << o.out;

    RestartedFrildServesTheNextApply(frild, endpoint, path);
}

// A frild with CURVE keys that lets in listed hosts only: the scenario's "il" carries the
// daemon's public key, --curve-key the host's key pair.
TEST_F(FrhostTest, ApplyThroughACurveFrildWithTheHostsListedKey) {
    auto keygen = [&](const std::string& dir, const std::string& name) {
        std::string out;
        EXPECT_EQ(iltest::RunCommand(std::string(iltest::kFrild) + " keygen " +
                                         Quote((m_dir / dir).string()) + " --name " + name,
                                     &out),
                  0)
            << out;
    };
    keygen("keys", "frild");
    keygen("allowed", "host1");
    iltest::FrildProcess frild(
        {"--bind", "tcp://0.0.0.0:0", "--ports", "2", "--curve-secret",
         (m_dir / "keys/frild.key_secret").string(), "--curve-allow", (m_dir / "allowed").string()},
        (m_dir / "frild.log").string());
    std::string key = ReadAll(m_dir / "keys/frild.key");
    key = key.substr(0, key.find('\n'));
    const std::string path = RemoteScenario(R"({"endpoint": ")" + frild.LoopbackEndpoint() +
                                            R"(", "serverKey": ")" + key + "\"}");
    const std::string hostKey = (m_dir / "allowed/host1.key_secret").string();
    Outcome o = Frhost({"--timeout", "5000", "--curve-key", hostKey, "apply", path, "--show"});
    ASSERT_EQ(o.status, 0) << o.err << o.out << frild.Log();
    EXPECT_EQ(Lines(o.out)[0], "module mod1 (" + frild.LoopbackEndpoint() + ")");
    EXPECT_NE(o.out.find("filter \"arp\" stopped"), std::string::npos) << o.out;

    // Without the listed key: refused, and the text says why.
    o = Frhost({"--timeout", "500", "apply", path});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("refused this host's CURVE key"), std::string::npos) << o.out;
    o = Frhost({"--curve-key", (m_dir / "nope.key_secret").string(), "apply", path});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, "frhost: --curve-key " + (m_dir / "nope.key_secret").string() +
                         ": no such key file\n");
    EXPECT_EQ(frild.Kill(SIGTERM), 0) << frild.Log();
}

TEST_F(FrhostTest, AStartedResponderAnswersAReplayedRequest) {
    const std::string request = (m_dir / "request.pcap").string();
    const std::string replies = (m_dir / "replies.pcap").string();
    ASSERT_EQ(Frhost({"frame", Example("frames/arp-request.xml"), "--pcap", request}).status, 0);
    Outcome o = Frhost({"apply", Example("scenarios/arp-responder.json"), "--start", "--pcap-in",
                        "port1=" + request, "--pcap-out", "port1=" + replies, "--show"});
    ASSERT_EQ(o.status, 0) << o.err << o.out;
    EXPECT_NE(o.out.find("filter \"arp\" running matched 1 transmitted 1"), std::string::npos)
        << o.out;

    // One reply: the example's 42-byte ARP reply, padded to 60 bytes on transmit.
    const std::string reply =
        "001094000002020000000001080600010800060400020200000000010a0000010010940000020a000002";
    std::ifstream in(replies, std::ios::binary);
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(file.size(), 24u + 16u + 60u);
    std::string written;
    for (size_t i = 40; i < file.size(); ++i) {
        static const char* hex = "0123456789abcdef";
        written += hex[file[i] >> 4];
        written += hex[file[i] & 15];
    }
    EXPECT_EQ(written, reply + std::string(36, '0'));

    o = Frhost({"apply", Example("scenarios/arp-responder.json"), "--pcap-in", "nope=" + request});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "\"nope\" is not a port of the scenario\n");
    // A name that a port shares with another object does not pick either of them.
    const std::string shared = Write("shared.json", R"({
      "modules": [{"name": "mod1", "capabilities": {"supportsFrameResponder": true}}],
      "objects": [{"class": "Port", "name": "port1", "module": "mod1", "index": 0,
                   "children": [{"class": "Probe", "name": "port1"}]}]})");
    o = Frhost({"apply", shared, "--pcap-in", "port1=" + request});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, shared +
                         ": more than one object is named \"port1\": objects[0] and "
                         "objects[0].children[0]\n");
    EXPECT_EQ(
        Frhost({"apply", Example("scenarios/arp-responder.json"), "--pcap-in", "port1"}).status,
        64);
}

// Whitespace-separated cells of a printed table row.
std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells;
    std::istringstream in(line);
    for (std::string cell; in >> cell;)
        cells.push_back(cell);
    return cells;
}

// Writes a capture of `arps` ARP requests (the example's) followed by one UDP datagram that no
// ARP filter matches, with libpcap.
void WriteRequests(const std::string& path, int arps) {
    const std::vector<uint8_t> arp{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x10, 0x94, 0x00, 0x00,
                                   0x02, 0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01,
                                   0x00, 0x10, 0x94, 0x00, 0x00, 0x02, 0x0a, 0x00, 0x00, 0x02, 0x00,
                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x01};
    const std::vector<uint8_t> udp{0x00, 0x10, 0x94, 0x00, 0x00, 0x01, 0x00, 0x10, 0x94, 0x00, 0x00,
                                   0x02, 0x08, 0x00, 0x45, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x00,
                                   0x40, 0x11, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x02, 0x0a, 0x00, 0x00,
                                   0x01, 0x30, 0x39, 0x00, 0x35, 0x00, 0x08, 0x00, 0x00};
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (int i = 0; i <= arps; ++i) {
        const std::vector<uint8_t>& frame = i < arps ? arp : udp;
        pcap_pkthdr header{};
        header.ts.tv_sec = 1;
        header.ts.tv_usec = 10000 * i;
        header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

// The rows of the end-of-test table, read with SQLite itself, each as its columns' text.
std::vector<std::vector<std::string>> ReadEndOfTest(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT ParentHandle, PortHandle, MatchedRxFrameCount, TxFrameCount, "
                           "RxFrameRate FROM FrameResponseResults ORDER BY ParentHandle",
                           -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < 5; ++c) {
                EXPECT_EQ(sqlite3_column_type(stmt, c), SQLITE_INTEGER) << "column " << c;
                row.push_back(std::to_string(sqlite3_column_int64(stmt, c)));
            }
            rows.push_back(std::move(row));
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

TEST_F(FrhostTest, ResultsOfAReplayedCaptureCountTheFramesThatMatched) {
    const std::string request = (m_dir / "requests.pcap").string();
    WriteRequests(request, 3);
    const std::string json = (m_dir / "results.json").string();
    const std::string db = (m_dir / "results.db").string();
    Outcome o =
        Frhost({"apply", Example("scenarios/arp-responder.json"), "--start", "--pcap-in",
                "port1=" + request, "--results", "--results-json", json, "--results-db", db});
    ASSERT_EQ(o.status, 0) << o.err << o.out;
    EXPECT_EQ(o.err, "");
    std::vector<std::string> lines = Lines(o.out);
    ASSERT_EQ(lines.size(), 2u) << o.out;
    EXPECT_EQ(Cells(lines[0]),
              (std::vector<std::string>{"name", "port", "handle", "MatchedRxFrameCount",
                                        "TxFrameCount", "RxFrameRate"}));
    const std::vector<std::string> row = Cells(lines[1]);
    ASSERT_EQ(row.size(), 6u) << lines[1];
    EXPECT_EQ(row[0], "cfg1");
    EXPECT_EQ(row[1], "port1");
    EXPECT_EQ(row[3], "3") << "three ARP requests matched, the UDP datagram did not";
    EXPECT_EQ(row[4], "3");

    // The JSON holds the same row, counts as numbers.
    nlohmann::json rows = nlohmann::json::parse(ReadAll(json));
    ASSERT_TRUE(rows.is_array());
    ASSERT_EQ(rows.size(), 1u) << rows.dump();
    EXPECT_EQ(rows[0]["name"], "cfg1");
    EXPECT_EQ(rows[0]["port"], "port1");
    EXPECT_EQ(rows[0]["handle"], std::stoul(row[2]));
    EXPECT_EQ(rows[0]["MatchedRxFrameCount"], 3);
    EXPECT_EQ(rows[0]["TxFrameCount"], 3);
    ASSERT_TRUE(rows[0]["RxFrameRate"].is_number_unsigned()) << rows.dump();
    EXPECT_EQ(std::to_string(rows[0]["RxFrameRate"].get<uint64_t>()), row[5]);

    // The end-of-test database: the configuration, its port and the counts.
    std::vector<std::vector<std::string>> saved = ReadEndOfTest(db);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0][0], row[2]);
    EXPECT_NE(saved[0][1], "0");
    EXPECT_EQ(saved[0][2], "3");
    EXPECT_EQ(saved[0][3], "3");
    EXPECT_EQ(saved[0][4], row[5]);
}

TEST_F(FrhostTest, ViewsRollTheCountsUpToPortAndProjectAndTheQueryIsLogged) {
    const std::string request = (m_dir / "requests.pcap").string();
    WriteRequests(request, 2);
    // The roll-up's last four cells: matched, transmitted, rate, sources.
    auto rollUp = [](const std::string& out, const std::string& title) {
        std::vector<std::string> lines = Lines(out);
        auto at = std::find(lines.begin(), lines.end(), title);
        if (at == lines.end() || lines.end() - at < 3)
            return std::vector<std::string>{};
        std::vector<std::string> cells = Cells(*(at + 2));
        return cells.size() < 4 ? cells : std::vector<std::string>(cells.end() - 4, cells.end());
    };
    for (const std::string view : {"port", "project"}) {
        Outcome o = Frhost({"apply", Example("scenarios/arp-responder.json"), "--start",
                            "--pcap-in", "port1=" + request, "--view", view});
        ASSERT_EQ(o.status, 0) << o.err << o.out;
        const std::vector<std::string> cells =
            rollUp(o.out, "FrameResponseResultProvider by " + view);
        ASSERT_EQ(cells.size(), 4u) << o.out;
        EXPECT_EQ(cells[0], "2") << o.out;
        EXPECT_EQ(cells[1], "2") << o.out;
        EXPECT_EQ(cells[3], "1") << "one configuration under the " << view;
    }

    Outcome o = Frhost({"--log", "content.traffic.responder=debug", "apply",
                        Example("scenarios/arp-responder.json"), "--results"});
    ASSERT_EQ(o.status, 0) << o.err << o.out;
    ASSERT_EQ(Lines(o.out).size(), 2u) << o.out;
    const std::string handle = Cells(Lines(o.out)[1]).at(2);
    EXPECT_NE(o.err.find("SELECT PrimaryHandle, MatchedRxFrameCount, TxFrameCount, RxFrameRate "
                         "FROM ResponderProfileResults WHERE (StatsLastModified > "
                         "%LastNotificationTime%) AND PrimaryHandle IN (" +
                         handle + ") GROUP BY PrimaryHandle"),
              std::string::npos)
        << o.err;
}

TEST_F(FrhostTest, ResultsAreReadThroughAFrildDaemon) {
    const std::string request = (m_dir / "requests.pcap").string();
    WriteRequests(request, 3);
    iltest::FrildProcess frild({"--bind", iltest::FrildProcess::kAnyLoopbackPort, "--ports", "2",
                                "--pcap-in", "0=" + request},
                               (m_dir / "frild.log").string());
    std::string scenario = ReadAll(Example("scenarios/arp-responder-frild.json"));
    scenario.replace(scenario.rfind("tcp://127.0.0.1:47311"), 21, frild.Endpoint());
    scenario.replace(scenario.find("../frames/arp-reply.xml"), 23, Example("frames/arp-reply.xml"));
    const std::string path = Write("remote.json", scenario);
    const std::string db = (m_dir / "results.db").string();
    const std::string json = (m_dir / "results.json").string();
    // frhost replays captures through in-process test ports only; the daemon replays its own
    // on request, which nobody makes here, so the counts are the daemon's zeros.
    Outcome o = Frhost({"--timeout", "5000", "apply", path, "--start", "--results",
                        "--results-json", json, "--results-db", db});
    ASSERT_EQ(o.status, 0) << o.err << o.out;
    EXPECT_EQ(o.err, "");
    std::vector<std::string> lines = Lines(o.out);
    ASSERT_EQ(lines.size(), 2u) << o.out;
    const std::vector<std::string> row = Cells(lines[1]);
    ASSERT_EQ(row.size(), 6u) << lines[1];
    EXPECT_EQ(row[0], "cfg1");
    EXPECT_EQ(std::vector<std::string>(row.begin() + 3, row.end()),
              (std::vector<std::string>{"0", "0", "0"}));
    nlohmann::json rows = nlohmann::json::parse(ReadAll(json));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["MatchedRxFrameCount"], 0);
    std::vector<std::vector<std::string>> saved = ReadEndOfTest(db);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0][0], row[2]);
    EXPECT_EQ(saved[0][2], "0");

    // A replay the host asks for on its own road is refused with a clear text, not dropped.
    o = Frhost({"--timeout", "5000", "apply", path, "--pcap-in", "port1=" + request, "--results"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("replay its captures with frild there"), std::string::npos) << o.out;
    EXPECT_EQ(frild.Kill(SIGTERM), 0) << frild.Log();
}

}  // namespace
