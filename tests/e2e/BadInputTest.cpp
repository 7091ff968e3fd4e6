// Bad input through the real programs: each case must end within a time limit, by exiting (no
// signal) with its stated status, print one error line that names the file, option or JSON path
// at fault, and leave no output file behind, whole or partial.
//
// Exit statuses: frhost 1 when a run, an apply or a validation fails, 2 when an input cannot be
// loaded or an output cannot be written, 64 for usage errors; frild 1 when it cannot start, 64
// for usage errors.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "FrildSupport.h"
#include "ProgramTest.h"

namespace {

using namespace e2etest;

constexpr auto kLimit = std::chrono::seconds(30);

struct Finished {
    bool timedOut = false;
    int signal = 0;    // the signal that ended the program, 0 when it exited
    int status = -1;   // exit status when it exited
    std::string text;  // stdout then stderr
};

// Runs `program` with `args`, stdout and stderr to files in `dir`, killing it after kLimit.
Finished RunProgram(const fs::path& dir, const std::string& program,
                    const std::vector<std::string>& args) {
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // ORX_LOG would change what the programs print.
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "ORX_LOG=", 8) != 0)
            env.push_back(*e);
    }
    env.push_back(nullptr);
    const fs::path out = dir / "stdout", err = dir / "stderr";
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    Finished run;
    if (posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), env.data()) != 0) {
        posix_spawn_file_actions_destroy(&files);
        run.text = "cannot start " + program;
        return run;
    }
    posix_spawn_file_actions_destroy(&files);
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    int raw = 0;
    while (waitpid(pid, &raw, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            run.timedOut = true;
            kill(pid, SIGKILL);
            waitpid(pid, &raw, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!run.timedOut) {
        if (WIFEXITED(raw))
            run.status = WEXITSTATUS(raw);
        else if (WIFSIGNALED(raw))
            run.signal = WTERMSIG(raw);
    }
    run.text = ReadAll(out) + ReadAll(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

// The lines a failure printed, without CLI11's hint that follows a usage error.
std::vector<std::string> ErrorLines(const std::string& text) {
    std::vector<std::string> lines;
    for (const std::string& line : Lines(text)) {
        if (!line.empty() && line != "Run with --help for more information.")
            lines.push_back(line);
    }
    return lines;
}

// "$D/" stands for the case's directory, "$E/" for the examples.
struct Case {
    Case(const char* w, const char* p, std::vector<std::string> a, int s,
         std::vector<std::string> sy, std::vector<std::string> n = {})
        : what(w),
          program(p),
          args(std::move(a)),
          status(s),
          says(std::move(sy)),
          noOutput(std::move(n)) {}
    const char* what;
    const char* program;  // "frhost" or "frild"
    std::vector<std::string> args;
    int status;
    std::vector<std::string> says;      // each must be in the one error line
    std::vector<std::string> noOutput;  // files that must not exist afterwards
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << c.what;
}

// An ARP request for 10.0.0.1, as a pcap record's bytes.
const std::string kArpRequest = [] {
    const uint8_t frame[] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x10, 0x94, 0x00, 0x00,
                             0x02, 0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01,
                             0x00, 0x10, 0x94, 0x00, 0x00, 0x02, 0x0a, 0x00, 0x00, 0x02, 0x00,
                             0x00, 0x00, 0x00, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x01};
    return std::string(reinterpret_cast<const char*>(frame), sizeof frame);
}();

template <class T>
std::string Le(T value) {
    std::string out(sizeof value, '\0');
    std::memcpy(out.data(), &value, sizeof value);
    return out;
}

std::string PcapHeader() {
    return Le<uint32_t>(0xa1b2c3d4) + Le<uint16_t>(2) + Le<uint16_t>(4) + Le<int32_t>(0) +
           Le<uint32_t>(0) + Le<uint32_t>(65535) + Le<uint32_t>(1);
}

std::string PcapRecord(const std::string& frame, uint32_t second) {
    const auto n = static_cast<uint32_t>(frame.size());
    return Le<uint32_t>(second) + Le<uint32_t>(0) + Le<uint32_t>(n) + Le<uint32_t>(n) + frame;
}

// Bytes that are neither JSON nor XML nor a capture: zeros, high bytes, a '<' here and there.
std::string Garbage() {
    std::string bytes;
    uint32_t x = 2463534242u;
    for (int i = 0; i < 512; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes += static_cast<char>(i % 61 == 7 ? '<' : x & 0xFF);
    }
    bytes[0] = '\x80';
    return bytes;
}

// The example's responder on an in-process module, its reply frame given by absolute path.
std::string GoodScenario() {
    auto doc = nlohmann::json::parse(
        ReadAll(std::string(ORX_EXAMPLES_DIR) + "/scenarios/arp-responder.json"));
    doc["objects"][0]["children"][0]["children"][0]["children"][0]["FrameConfig"]["file"] =
        std::string(ORX_EXAMPLES_DIR) + "/frames/arp-reply.xml";
    return doc.dump(2);
}

std::string WithFrameFile(const std::string& file) {
    auto doc = nlohmann::json::parse(GoodScenario());
    doc["objects"][0]["children"][0]["children"][0]["children"][0]["FrameConfig"]["file"] = file;
    return doc.dump(2);
}

// The bad files every case may use, in a directory of the test's own.
class BadInputFiles : public ProgramTest {
  protected:
    void SetUp() override {
        // Named after suite and test: instantiations share test names and ctest runs them at once.
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("badinput_") + info->test_suite_name() + "_" + info->name();
        for (char& c : name) {
            if (c == '/')
                c = '_';
        }
        m_dir = fs::path(::testing::TempDir()) / name;
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        const std::string garbage = Garbage();
        Put("empty.json", "");
        Put("truncated.json", GoodScenario().substr(0, 200));
        Put("garbage.json", garbage);
        Put("unknown-class.json", R"({"objects": [{"class": "NoSuchClass", "name": "x"}]})");
        Put("wrong-type.json", R"({"objects": [{"class": "Port", "name": "p", "Online": 3}]})");
        Put("huge-number.json",
            R"({"objects": [{"class": "Port", "name": "p", "Online": 1e999}]})");
        Put("good.json", GoodScenario());
        Put("missing-frame.json", WithFrameFile("nope.xml"));
        Put("dir-frame.json", WithFrameFile("dir"));
        Put("garbage-frame.json", WithFrameFile("garbage.xml"));
        Put("garbage.xml", garbage);
        Put("empty.xml", "");
        Put("good.pcap", PcapHeader() + PcapRecord(kArpRequest, 1));
        Put("garbage.pcap", garbage);
        Put("empty.pcap", "");
        Put("cut.pcap",
            PcapHeader() + PcapRecord(kArpRequest, 1) + PcapRecord(kArpRequest, 2).substr(0, 30));
        fs::create_directories(m_dir / "dir");
    }

    void Put(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }

    std::string Expand(std::string text) const {
        for (const auto& [from, to] :
             {std::pair<std::string, std::string>{"$D/", m_dir.string() + "/"},
              {"$E/", std::string(ORX_EXAMPLES_DIR) + "/"}}) {
            for (size_t at; (at = text.find(from)) != std::string::npos;)
                text.replace(at, from.size(), to);
        }
        return text;
    }

    // What the case must see; `where` names the case in failures.
    void ExpectRefused(const Finished& run, int status, const std::vector<std::string>& says,
                       const std::string& where) const {
        EXPECT_FALSE(run.timedOut) << where << ": still running after the time limit";
        EXPECT_EQ(run.signal, 0) << where << ": ended by signal " << run.signal << "\n" << run.text;
        EXPECT_EQ(run.status, status) << where << "\n" << run.text;
        const std::vector<std::string> lines = ErrorLines(run.text);
        ASSERT_EQ(lines.size(), 1u) << where << ": expected one error line, got\n" << run.text;
        for (const std::string& s : says)
            EXPECT_NE(lines[0].find(Expand(s)), std::string::npos) << where << ": " << lines[0];
    }

    // Nothing half-written anywhere in the directory.
    void ExpectNoPartialFiles(const std::string& where) const {
        for (const auto& e : fs::recursive_directory_iterator(m_dir)) {
            EXPECT_EQ(e.path().filename().string().find(".partial-"), std::string::npos)
                << where << ": " << e.path();
        }
    }
};

class BadInputTest : public BadInputFiles, public ::testing::WithParamInterface<Case> {};

TEST_P(BadInputTest, EndsWithOneErrorAndLeavesNoOutput) {
    const Case& c = GetParam();
    std::vector<std::string> args;
    for (const std::string& a : c.args)
        args.push_back(Expand(a));
    const std::string program = std::string(c.program) == "frild" ? ORX_FRILD_PATH : FRHOST_PATH;
    const Finished run = RunProgram(m_dir, program, args);
    ExpectRefused(run, c.status, c.says, c.what);
    for (const std::string& file : c.noOutput)
        EXPECT_FALSE(fs::exists(Expand(file))) << c.what << ": " << Expand(file) << " was left";
    ExpectNoPartialFiles(c.what);
}

const char* const kGood = "$D/good.json";

INSTANTIATE_TEST_SUITE_P(
    Validate, BadInputTest,
    ::testing::Values(
        Case{"empty scenario",
             "frhost",
             {"validate", "$D/empty.json"},
             2,
             {"$D/empty.json:1:1: JSON syntax error"}},
        Case{"truncated scenario",
             "frhost",
             {"validate", "$D/truncated.json"},
             2,
             {"$D/truncated.json:", "JSON syntax error", "unexpected end of input"}},
        Case{"binary garbage as scenario",
             "frhost",
             {"validate", "$D/garbage.json"},
             2,
             {"$D/garbage.json:1:1: JSON syntax error"}},
        Case{"unknown class",
             "frhost",
             {"validate", "$D/unknown-class.json"},
             2,
             {"$D/unknown-class.json: objects[0]: unknown class \"NoSuchClass\""}},
        Case{"wrong property type",
             "frhost",
             {"validate", "$D/wrong-type.json"},
             2,
             {"$D/wrong-type.json: objects[0].Online: expected a bool, got 3"}},
        Case{"number beyond a double",
             "frhost",
             {"validate", "$D/huge-number.json"},
             2,
             {"$D/huge-number.json: objects[0].Online: JSON number out of range: '1e999'"}},
        Case{"missing frame file",
             "frhost",
             {"validate", "$D/missing-frame.json"},
             2,
             {"objects[0].children[0].children[0].children[0].FrameConfig.file: cannot read "
              "\"nope.xml\"",
              "no such file"}},
        Case{"directory as frame file",
             "frhost",
             {"validate", "$D/dir-frame.json"},
             2,
             {"FrameConfig.file: cannot read \"dir\"", "not a regular file"}},
        Case{"binary garbage as frame",
             "frhost",
             {"validate", "$D/garbage-frame.json"},
             1,
             {"probe1: Profile has an invalid frame config: line 1: frame description is not "
              "XML"}},
        Case{"missing scenario",
             "frhost",
             {"validate", "$D/nope.json"},
             2,
             {"$D/nope.json: no such file"}},
        Case{"directory as scenario",
             "frhost",
             {"validate", "$D/dir"},
             2,
             {"$D/dir: not a regular file"}}));

INSTANTIATE_TEST_SUITE_P(
    FilterAndFrame, BadInputTest,
    ::testing::Values(Case{"filter of binary garbage",
                           "frhost",
                           {"filter", "$D/garbage.xml"},
                           1,
                           {"$D/garbage.xml: Invalid filter line 1: frame description is not XML"}},
                      Case{"filter of an empty file",
                           "frhost",
                           {"filter", "$D/empty.xml"},
                           1,
                           {"$D/empty.xml: Invalid filter line 1"}},
                      Case{"filter of a missing file",
                           "frhost",
                           {"filter", "$D/nope.xml"},
                           2,
                           {"cannot read $D/nope.xml: no such file"}},
                      Case{"filter of a directory",
                           "frhost",
                           {"filter", "$D/dir"},
                           2,
                           {"cannot read $D/dir: not a regular file"}},
                      Case{"frame of binary garbage",
                           "frhost",
                           {"frame", "$D/garbage.xml", "--pcap", "$D/f.pcap"},
                           1,
                           {"$D/garbage.xml: line 1: frame description is not XML"},
                           {"$D/f.pcap"}},
                      Case{"frame of a directory",
                           "frhost",
                           {"frame", "$D/dir"},
                           2,
                           {"cannot read $D/dir: not a regular file"}},
                      Case{"frame capture in a missing directory",
                           "frhost",
                           {"frame", "$E/frames/arp-reply.xml", "--pcap", "$D/nowhere/f.pcap"},
                           2,
                           {"--pcap $D/nowhere/f.pcap: no such directory \"$D/nowhere\""}},
                      Case{"frame capture onto a directory",
                           "frhost",
                           {"frame", "$E/frames/arp-reply.xml", "--pcap", "$D/dir"},
                           2,
                           {"--pcap $D/dir: it is a directory"}}));

INSTANTIATE_TEST_SUITE_P(
    Apply, BadInputTest,
    ::testing::Values(
        Case{"apply of a scenario that does not load",
             "frhost",
             {"apply", "$D/unknown-class.json"},
             2,
             {"unknown class \"NoSuchClass\""}},
        Case{"apply replaying garbage",
             "frhost",
             {"apply", kGood, "--start", "--pcap-in", "port1=$D/garbage.pcap", "--pcap-out",
              "port1=$D/out.pcap"},
             1,
             {"cannot read capture $D/garbage.pcap: unknown file format"},
             {"$D/out.pcap"}},
        Case{"apply replaying a capture cut mid-record",
             "frhost",
             {"apply", kGood, "--start", "--pcap-in", "port1=$D/cut.pcap", "--pcap-out",
              "port1=$D/out.pcap"},
             1,
             {"cannot read frame 2 of capture $D/cut.pcap: truncated dump file"},
             {"$D/out.pcap"}},
        Case{"apply writing a capture in a missing directory",
             "frhost",
             {"apply", kGood, "--pcap-in", "port1=$D/good.pcap", "--pcap-out",
              "port1=$D/nowhere/out.pcap"},
             2,
             {"--pcap-out port1=$D/nowhere/out.pcap: no such directory"}},
        Case{"apply writing results in a missing directory",
             "frhost",
             {"apply", kGood, "--results-json", "$D/nowhere/r.json"},
             2,
             {"--results-json $D/nowhere/r.json: no such directory"}},
        Case{"apply writing two outputs to one file",
             "frhost",
             {"apply", kGood, "--results-json", "$D/r.json", "--results-db", "$D/./r.json"},
             2,
             {"--results-db $D/./r.json: the same file is also given as --results-json"},
             {"$D/r.json"}}));

INSTANTIATE_TEST_SUITE_P(
    Run, BadInputTest,
    ::testing::Values(
        Case{"run of binary garbage",
             "frhost",
             {"run", "$D/garbage.json"},
             2,
             {"$D/garbage.json:1:1: JSON syntax error"}},
        Case{"run replaying garbage",
             "frhost",
             {"run", kGood, "--quiet", "--rx", "port1=$D/garbage.pcap", "--tx", "port1=$D/tx.pcap"},
             2,
             {"cannot read capture $D/garbage.pcap: unknown file format"},
             {"$D/tx.pcap"}},
        Case{"run replaying an empty file",
             "frhost",
             {"run", kGood, "--quiet", "--rx", "port1=$D/empty.pcap", "--tx", "port1=$D/tx.pcap"},
             2,
             {"cannot read capture $D/empty.pcap: truncated dump file"},
             {"$D/tx.pcap"}},
        Case{"run replaying a capture cut mid-record",
             "frhost",
             {"run", kGood, "--quiet", "--rx", "port1=$D/cut.pcap", "--tx", "port1=$D/tx.pcap",
              "--results", "$D/r.json", "--results-db", "$D/r.db"},
             1,
             {"cannot read frame 2 of capture $D/cut.pcap: truncated dump file"},
             {"$D/tx.pcap", "$D/r.json", "$D/r.db"}},
        Case{"run replaying a directory",
             "frhost",
             {"run", kGood, "--quiet", "--rx", "port1=$D/dir"},
             2,
             {"cannot read capture $D/dir"}},
        Case{"run writing a capture in a missing directory",
             "frhost",
             {"run", kGood, "--quiet", "--rx", "port1=$D/good.pcap", "--tx",
              "port1=$D/nowhere/tx.pcap"},
             2,
             {"--tx port1=$D/nowhere/tx.pcap: no such directory \"$D/nowhere\""}},
        Case{"run writing a capture onto a directory",
             "frhost",
             {"run", kGood, "--quiet", "--rx", "port1=$D/good.pcap", "--tx", "port1=$D/dir"},
             2,
             {"--tx port1=$D/dir: it is a directory"}},
        Case{"run on an interface that does not exist",
             "frhost",
             {"run", kGood, "--quiet", "--iface", "port1=orxnosuch0", "--duration", "1"},
             2,
             {"interface orxnosuch0"}},
        Case{"run with a capture buffer that is no size",
             "frhost",
             {"run", kGood, "--quiet", "--iface", "port1=lo", "--capture-buffer", "port1=lots"},
             64,
             {"--capture-buffer port1=lots: capture buffer \"lots\" is not a whole number of MiB "
              "from 1 to 2047"}},
        Case{"run with a capture buffer past its bound",
             "frhost",
             {"run", kGood, "--quiet", "--iface", "port1=lo", "--capture-buffer", "port1=2048"},
             64,
             {"--capture-buffer port1=2048", "from 1 to 2047"}},
        Case{"run with a capture buffer for a port without an interface",
             "frhost",
             {"run", kGood, "--quiet", "--capture-buffer", "port1=8"},
             64,
             {"--capture-buffer port1=8: port port1 has no --iface"}},
        Case{"run with a bad log setting",
             "frhost",
             {"--log", "framework=loud", "run", kGood, "--quiet"},
             64,
             {"--log", "\"framework=loud\""}},
        Case{"run writing results in a missing directory",
             "frhost",
             {"run", kGood, "--quiet", "--rx", "port1=$D/good.pcap", "--results",
              "$D/nowhere/r.json"},
             2,
             {"--results $D/nowhere/r.json: no such directory \"$D/nowhere\""}},
        Case{"run writing the results database in a missing directory",
             "frhost",
             {"run", kGood, "--quiet", "--rx", "port1=$D/good.pcap", "--results-db",
              "$D/nowhere/r.db"},
             2,
             {"--results-db $D/nowhere/r.db: no such directory"}},
        Case{"run writing results of an unknown kind",
             "frhost",
             {"run", kGood, "--quiet", "--results", "$D/r.txt"},
             64,
             {"--results", "ending in .json or .csv"},
             {"$D/r.txt"}},
        Case{"run writing a capture and results to one file",
             "frhost",
             {"run", kGood, "--quiet", "--rx", "port1=$D/good.pcap", "--tx", "port1=$D/x.json",
              "--results", "$D/x.json"},
             2,
             {"--results $D/x.json: the same file is also given as --tx port1=$D/x.json"},
             {"$D/x.json"}}));

INSTANTIATE_TEST_SUITE_P(
    Frild, BadInputTest,
    ::testing::Values(
        Case{"frild replaying garbage",
             "frild",
             {"--bind", "ipc://$D/frild", "--ports", "2", "--pcap-in", "0=$D/garbage.pcap"},
             1,
             {"cannot read capture $D/garbage.pcap: unknown file format"}},
        Case{"frild replaying an empty file",
             "frild",
             {"--bind", "ipc://$D/frild", "--ports", "2", "--pcap-in", "0=$D/empty.pcap"},
             1,
             {"cannot read capture $D/empty.pcap: truncated dump file"}},
        Case{"frild replaying a directory",
             "frild",
             {"--bind", "ipc://$D/frild", "--ports", "2", "--pcap-in", "0=$D/dir"},
             1,
             {"cannot read capture $D/dir"}},
        Case{"frild writing a capture in a missing directory",
             "frild",
             {"--bind", "ipc://$D/frild", "--ports", "2", "--pcap-in", "0=$D/good.pcap",
              "--pcap-out", "1=$D/nowhere/out.pcap"},
             1,
             {"cannot write capture $D/nowhere/out.pcap: No such file or directory"}},
        Case{"frild that cannot bind leaves no capture",
             "frild",
             {"--bind", "ipc://$D/nowhere/frild", "--ports", "2", "--pcap-in", "0=$D/good.pcap",
              "--pcap-out", "1=$D/out.pcap"},
             1,
             {"cannot bind ipc://$D/nowhere/frild"},
             {"$D/out.pcap"}},
        Case{"frild on an interface that does not exist",
             "frild",
             {"--bind", "ipc://$D/frild", "--ports", "2", "--iface", "0=orxnosuch0"},
             1,
             {"interface orxnosuch0"}},
        Case{"frild with a capture buffer of no MiB",
             "frild",
             {"--bind", "ipc://$D/frild", "--ports", "2", "--iface", "0=lo", "--capture-buffer",
              "0=0"},
             64,
             {"--capture-buffer 0=0: capture buffer \"0\" is not a whole number of MiB from 1 "
              "to 2047"}},
        Case{"frild with a capture buffer for a port without an interface",
             "frild",
             {"--bind", "ipc://$D/frild", "--ports", "2", "--iface", "0=lo", "--capture-buffer",
              "1=8"},
             64,
             {"--capture-buffer: port 1 has no --iface"}},
        Case{"frild with a bad log setting",
             "frild",
             {"--bind", "ipc://$D/frild", "--ports", "2", "--log", "frild=loud"},
             64,
             {"--log \"frild=loud\""}},
        Case{"frild with a port it does not serve",
             "frild",
             {"--bind", "ipc://$D/frild", "--ports", "2", "--pcap-in", "2=$D/good.pcap"},
             64,
             {"--pcap-in \"2=$D/good.pcap\": port 2 is not served"}}));

// A capture that frild accepts at start (its header is sound) but that breaks mid-record: the
// replay fails on the host with the daemon's reason, frild keeps serving, and its output
// capture is not left half-written.
using FrildBadInputTest = BadInputFiles;

TEST_F(FrildBadInputTest, AReplayThatBreaksMidRecordFailsTheRunAndLeavesNoCapture) {
    const std::string cut = (m_dir / "cut.pcap").string();
    const std::string out = (m_dir / "out.pcap").string();
    iltest::FrildProcess frild({"--bind", iltest::FrildProcess::kAnyLoopbackPort, "--ports", "1",
                                "--pcap-in", "0=" + cut, "--pcap-out", "0=" + out},
                               (m_dir / "frild.log").string());
    const std::string endpoint = frild.Endpoint();
    auto doc = nlohmann::json::parse(GoodScenario());
    doc["modules"][0]["il"] = endpoint;
    Put("remote.json", doc.dump());
    EXPECT_FALSE(fs::exists(out));  // nothing is written before a replay completes

    const std::string where = "frild replay of a capture cut mid-record";
    Finished run =
        RunProgram(m_dir, FRHOST_PATH, {"run", (m_dir / "remote.json").string(), "--quiet"});
    ExpectRefused(run, 1, {"Traffic of " + endpoint, "cannot read frame 2 of capture " + cut},
                  where);
    EXPECT_FALSE(fs::exists(out)) << where;
    ExpectNoPartialFiles(where);

    // Still serving: a sound capture in its place replays.
    std::filesystem::copy_file(m_dir / "good.pcap", cut, fs::copy_options::overwrite_existing);
    run = RunProgram(m_dir, FRHOST_PATH, {"run", (m_dir / "remote.json").string(), "--quiet"});
    EXPECT_EQ(run.status, 0) << run.text << frild.Log();
    EXPECT_TRUE(fs::exists(out));
}

}  // namespace
