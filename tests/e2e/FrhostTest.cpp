// Runs the built frhost program, with the plug-ins that sit next to it, as a user would.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include "FrildSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class FrhostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::path(::testing::TempDir()) / (std::string("frhost_") + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    Outcome Frhost(const std::vector<std::string>& args) const {
        // ORX_LOG would change what the program logs; every run starts from the defaults.
        std::string command = "env -u ORX_LOG " + Quote(FRHOST_PATH);
        for (const auto& a : args)
            command += " " + Quote(a);
        command += " >" + Quote((m_dir / "out").string()) + " 2>" + Quote((m_dir / "err").string());
        int raw = std::system(command.c_str());
        Outcome o;
        o.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        o.out = ReadAll(m_dir / "out");
        o.err = ReadAll(m_dir / "err");
        return o;
    }

    std::string Write(const std::string& name, const std::string& text) const {
        fs::path path = m_dir / name;
        std::ofstream(path) << text;
        return path.string();
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

    static std::string Example(const std::string& name) {
        return std::string(ORX_EXAMPLES_DIR) + "/" + name;
    }

    fs::path m_dir;
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

    // A filter frame that does not parse: the command's status text, exit 1.
    Outcome bad =
        Frhost({"filter", Write("bad.xml", "<frame><pdu name=\"x\" type=\"ipv4:IPv5\"/></frame>")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err.rfind("filter: Invalid filter ", 0), 0u) << bad.err;
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

    // Validation stops the apply: the messages, exit 1.
    o = Frhost({"apply", Example("scenarios/faulty-configs.json")});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(Lines(o.out).size(), 5u) << o.out;
}

TEST_F(FrhostTest, ApplyReachesAFrildDaemonAndADeadOneFailsInsteadOfHanging) {
    const std::string endpoint = "tcp://127.0.0.1:" + std::to_string(iltest::FreeLoopbackPort());
    std::string scenario = ReadAll(Example("scenarios/arp-responder.json"));
    scenario.replace(scenario.find("\"inproc\""), 8, "\"" + endpoint + "\"");
    scenario.replace(scenario.find("../frames/arp-reply.xml"), 23, Example("frames/arp-reply.xml"));
    const std::string path = Write("remote.json", scenario);
    {
        iltest::FrildProcess frild({"--bind", endpoint, "--ports", "2"},
                                   (m_dir / "frild.log").string());
        Outcome o = Frhost({"--timeout", "5000", "apply", path, "--show"});
        ASSERT_EQ(o.status, 0) << o.err << o.out;
        EXPECT_EQ(Lines(o.out)[0], "module mod1 (" + endpoint + ")");
        EXPECT_NE(o.out.find("filter \"arp\" stopped"), std::string::npos) << o.out;
        EXPECT_NE(o.out.find("response on port 0 after 0 us: 42 bytes"), std::string::npos)
            << o.out;
    }
    Outcome dead = Frhost({"--timeout", "300", "apply", path});
    EXPECT_EQ(dead.status, 1);
    EXPECT_EQ(dead.out, "Responder apply handler: RPC fault on Wait\n");
    EXPECT_NE(dead.err.find("No response to responder_1.ConfigResponder"), std::string::npos)
        << dead.err;
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
    EXPECT_EQ(
        Frhost({"apply", Example("scenarios/arp-responder.json"), "--pcap-in", "port1"}).status,
        64);
}

}  // namespace
