// frhost run against real peers: iputils arping and ping on one end of a veth pair, in a network
// namespace of the test's own, the example live responder on the other end, in process and
// through frild. What the peer received is read back from its own capture, by tcpdump and by
// libpcap with a plain RFC 1071 sum. Under load, tcpreplay offers ARP requests at its top speed:
// every frame that reached the interface is answered or reported dropped. Needs root, iproute2,
// arping, ping and tcpdump (and tcpreplay for the load).

#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sqlite3.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "FrildSupport.h"
#include "ProgramTest.h"

namespace {

using namespace e2etest;
using iltest::RunCommand;
using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;
using std::chrono::seconds;

const Bytes kPeerMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x0b};  // vb, where arping and ping run
const Bytes kOwnMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x0a};   // the responder's, on va
const Bytes kPeerIp = {192, 0, 2, 1};
const Bytes kOwnIp = {192, 0, 2, 2};

constexpr size_t kIpChecksum = 24;  // offsets in an Ethernet II frame, IPv4 without options
constexpr size_t kIcmpType = 34;
constexpr size_t kIcmpChecksum = 36;

// RFC 1071: the ones' complement sum of 16-bit words; 0xffff over data whose checksum is right.
uint16_t OnesComplementSum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (length % 2)
        sum += static_cast<uint32_t>(data[length - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

// The frames of a capture that libpcap's filter engine matches.
std::vector<Bytes> ReadFrames(const std::string& path, const std::string& filter) {
    std::vector<Bytes> frames;
    char error[PCAP_ERRBUF_SIZE];
    pcap_t* in = pcap_open_offline(path.c_str(), error);
    EXPECT_NE(in, nullptr) << error;
    if (!in)
        return frames;
    bpf_program program{};
    EXPECT_EQ(pcap_compile(in, &program, filter.c_str(), 1, PCAP_NETMASK_UNKNOWN), 0)
        << pcap_geterr(in);
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(in, &header, &data) == 1) {
        if (pcap_offline_filter(&program, header, data))
            frames.emplace_back(data, data + header->caplen);
    }
    pcap_freecode(&program);
    pcap_close(in);
    return frames;
}

void WriteFrames(const std::string& path, const std::vector<Bytes>& frames) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (const Bytes& f : frames) {
        pcap_pkthdr header{};
        header.caplen = header.len = static_cast<bpf_u_int32>(f.size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, f.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

Bytes Slice(const Bytes& f, size_t at, size_t length) {
    return f.size() < at + length ? Bytes{} : Bytes(f.begin() + at, f.begin() + at + length);
}

struct Counts {
    uint64_t handle = 0, matched = 0, transmitted = 0;
    bool operator==(const Counts&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Counts& c) {
    return os << "{handle " << c.handle << ", matched " << c.matched << ", transmitted "
              << c.transmitted << "}";
}

// The rows of the final table frhost prints: name, port, handle, matched, transmitted, rate.
// The live ports' table after it is left out.
std::map<std::string, Counts> PrintedTable(const std::string& out) {
    std::map<std::string, Counts> rows;
    bool inTable = false;
    for (const std::string& line : Lines(out)) {
        if (line.rfind("name  port", 0) == 0) {
            inTable = true;
            continue;
        }
        if (line.rfind("port  ", 0) == 0)
            break;  // the live ports' table follows the configurations'

        std::istringstream fields(line);
        std::string name, port;
        Counts c;
        if (inTable && fields >> name >> port >> c.handle >> c.matched >> c.transmitted)
            rows[name] = c;
    }
    return rows;
}

std::map<std::string, Counts> JsonResults(const std::string& path) {
    std::map<std::string, Counts> rows;
    const auto doc = nlohmann::json::parse(ReadAll(path), nullptr, false);
    if (doc.is_discarded() || !doc.contains("results"))
        return rows;
    for (const auto& r : doc["results"])
        rows[r["name"].get<std::string>()] = {r["handle"].get<uint64_t>(),
                                              r["MatchedRxFrameCount"].get<uint64_t>(),
                                              r["TxFrameCount"].get<uint64_t>()};
    return rows;
}

// The end-of-test database's rows, by configuration handle.
std::map<uint64_t, Counts> DbResults(const std::string& path) {
    std::map<uint64_t, Counts> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* query = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT ParentHandle, MatchedRxFrameCount, TxFrameCount "
                           "FROM FrameResponseResults",
                           -1, &query, nullptr) == SQLITE_OK) {
        while (sqlite3_step(query) == SQLITE_ROW) {
            Counts c{static_cast<uint64_t>(sqlite3_column_int64(query, 0)),
                     static_cast<uint64_t>(sqlite3_column_int64(query, 1)),
                     static_cast<uint64_t>(sqlite3_column_int64(query, 2))};
            rows[c.handle] = c;
        }
    } else {
        ADD_FAILURE() << path << ": " << sqlite3_errmsg(db);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return rows;
}

// tcpdump on the peer's end, writing what it sees and sends to a file until Stop.
class PeerCapture {
  public:
    PeerCapture(const std::vector<std::string>& prefix, const std::string& file,
                const std::string& log)
        : m_log(log) {
        std::vector<std::string> all = prefix;
        all.insert(all.end(), {"tcpdump", "-n", "--immediate-mode", "-U", "-Z", "root", "-i", "vb",
                               "-w", file});
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&files, 1, 2);
        if (posix_spawnp(&m_pid, argv[0], &files, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&files);
    }
    ~PeerCapture() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    // Whether it listens, waiting up to 10 s for it to say so.
    bool Listening() const {
        const auto deadline = std::chrono::steady_clock::now() + seconds(10);
        while (m_pid > 0 && std::chrono::steady_clock::now() < deadline) {
            if (Log().find("listening on vb") != std::string::npos)
                return true;
            std::this_thread::sleep_for(milliseconds(10));
        }
        return false;
    }
    // Ends the capture (tcpdump flushes its file on SIGINT); true when it exited normally.
    bool Stop() {
        if (m_pid <= 0)
            return false;
        kill(m_pid, SIGINT);
        const auto deadline = std::chrono::steady_clock::now() + seconds(5);
        int raw = 0;
        while (waitpid(m_pid, &raw, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &raw, 0);
                break;
            }
            std::this_thread::sleep_for(milliseconds(10));
        }
        m_pid = -1;
        return WIFEXITED(raw) && WEXITSTATUS(raw) == 0;
    }
    std::string Log() const { return ReadAll(m_log); }

  private:
    std::string m_log;
    pid_t m_pid = -1;
};

class LiveRunTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to create a network namespace and a veth pair";
        if (RunCommand("command -v ip && command -v arping && command -v ping && "
                       "command -v tcpdump") != 0)
            GTEST_SKIP() << "needs ip, arping, ping and tcpdump (scripts/setup-deps.sh)";
        m_ns = "orxrun" + std::to_string(::getpid());
        std::string out;
        if (RunCommand("timeout 10 ip netns add " + m_ns, &out) != 0)
            GTEST_SKIP() << "this machine does not allow network namespaces: " << out;
        m_created = true;
        const std::string in = "timeout 10 ip netns exec " + m_ns + " ";
        if (RunCommand(in + "ip link add va type veth peer name vb", &out) != 0)
            GTEST_SKIP() << "this machine does not allow a veth pair: " << out;
        for (const std::string& cmd :
             {in + "ip link set lo up", in + "ip link set vb address 02:00:00:00:00:0b",
              in + "ip link set va up", in + "ip link set vb up",
              in + "ip addr add 192.0.2.1/24 dev vb"}) {
            ASSERT_EQ(RunCommand(cmd, &out), 0) << cmd << ": " << out;
        }
    }
    void TearDown() override {
        m_frild.reset();
        // Deleting the namespace deletes the veth pair that lives in it.
        if (m_created)
            RunCommand("timeout 10 ip netns del " + m_ns);
        ProgramTest::TearDown();
    }

    std::vector<std::string> InNamespace() const { return {"ip", "netns", "exec", m_ns}; }

    // Whether frhost shows `text` (its first interval), waiting up to 10 s.
    ::testing::AssertionResult Started(const Background& run, const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + seconds(10);
        while (run.Out().find(text) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(20));
        if (run.Out().find(text) != std::string::npos)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "frhost did not start: " << run.Out() << ReadAll(m_dir / "err");
    }

    // frhost run on the example live responder, its port1 on va, with `extra` options.
    std::unique_ptr<Background> InProcessRun(std::vector<std::string> extra = {}) {
        auto args = RunArgs(Example("scenarios/live-responder.json"));
        args.insert(args.end(), {"--iface", "port1=va"});
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<Background>(m_dir, args, InNamespace());
    }
    // The same through a frild that owns va. The example's endpoint: the namespace has a
    // loopback of its own, where the port is free.
    std::unique_ptr<Background> FrildRun() {
        m_frild = std::make_unique<iltest::FrildProcess>(
            std::vector<std::string>{"--bind", "tcp://127.0.0.1:47311", "--ports", "1", "--iface",
                                     "0=va"},
            (m_dir / "frild.log").string(), InNamespace());
        return std::make_unique<Background>(
            m_dir, RunArgs(Example("scenarios/live-responder-frild.json")), InNamespace());
    }

    std::vector<std::string> RunArgs(const std::string& scenario) const {
        return {"run", scenario, "--interval", "100", "--results", Results(), "--results-db", Db()};
    }
    std::string Results() const { return (m_dir / "results.json").string(); }
    std::string Db() const { return (m_dir / "results.db").string(); }
    std::string Capture() const { return (m_dir / "peer.pcap").string(); }

    // arping and ping from the peer get their answers while the peer's end is captured; then
    // SIGINT ends the run, whose final counts are printed and saved.
    void PeerIsAnsweredAndSigintEndsTheRun(Background& run) {
        ASSERT_TRUE(Started(run, " s  configurations"));

        PeerCapture capture(InNamespace(), Capture(), (m_dir / "tcpdump.log").string());
        ASSERT_TRUE(capture.Listening()) << capture.Log();
        const std::string in = "timeout 20 ip netns exec " + m_ns + " ";
        std::string out;
        EXPECT_EQ(RunCommand(in + "arping -c 3 -w 10 -I vb 192.0.2.2", &out), 0) << out;
        EXPECT_NE(out.find("Received 3 response(s)"), std::string::npos) << out;
        EXPECT_NE(out.find("[02:00:00:00:00:0A]"), std::string::npos) << out;
        EXPECT_EQ(RunCommand(in + "ping -c 3 -W 2 -I vb 192.0.2.2", &out), 0) << out;
        EXPECT_NE(out.find(" 3 received, 0% packet loss"), std::string::npos) << out;
        // tcpdump may not have written the last frames yet; a stop would drop them.
        const auto written = std::chrono::steady_clock::now() + seconds(5);
        while (ReadFrames(Capture(), "icmp[icmptype] = icmp-echoreply").size() < 3 &&
               std::chrono::steady_clock::now() < written)
            std::this_thread::sleep_for(milliseconds(20));
        ASSERT_TRUE(capture.Stop()) << capture.Log();

        const auto before = std::chrono::steady_clock::now();
        run.Signal(SIGINT);
        Outcome o = run.WaitFor(seconds(10));
        EXPECT_LT(std::chrono::steady_clock::now() - before, seconds(5));
        ASSERT_EQ(o.status, 0) << o.out << o.err;

        // Every ARP request for 192.0.2.2 the peer sent (arping's and ping's own) was answered
        // once; each echo request once.
        const auto table = PrintedTable(o.out);
        ASSERT_EQ(table.size(), 2u) << o.out;
        const Counts arp = table.at("arp");
        const Counts echo = table.at("echo");
        EXPECT_GE(arp.matched, 3u) << o.out;
        EXPECT_EQ(arp.transmitted, arp.matched) << o.out;
        EXPECT_EQ(echo.matched, 3u) << o.out;
        EXPECT_EQ(echo.transmitted, 3u) << o.out;
        EXPECT_EQ(JsonResults(Results()), table) << ReadAll(Results());
        const auto db = DbResults(Db());
        EXPECT_EQ(db, (std::map<uint64_t, Counts>{{arp.handle, arp}, {echo.handle, echo}}));

        PeerReceivedArpReplies(arp.matched);
        PeerReceivedPatchedEchoRequests();
    }

    // The fixed reply, "192.0.2.2 is at 02:00:00:00:00:0a", once for each request on the wire.
    void PeerReceivedArpReplies(uint64_t matched) {
        const auto requests =
            ReadFrames(Capture(), "arp and arp[6:2] = 1 and arp[24:4] = 0xc0000202");
        const auto replies = ReadFrames(Capture(), "arp and arp[6:2] = 2");
        EXPECT_GE(matched, requests.size());
        EXPECT_EQ(replies.size(), requests.size());
        Bytes expected = kPeerMac;
        for (const Bytes& part :
             {kOwnMac, Bytes{0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x02}, kOwnMac, kOwnIp,
              kPeerMac, kPeerIp})
            expected.insert(expected.end(), part.begin(), part.end());
        for (const Bytes& reply : replies)
            EXPECT_EQ(Slice(reply, 0, expected.size()), expected);
    }

    // Each echo reply is its request with the addresses swapped and the type 0, both checksums
    // right as tcpdump and a plain RFC 1071 sum see them.
    void PeerReceivedPatchedEchoRequests() {
        const auto requests = ReadFrames(Capture(), "icmp and icmp[icmptype] = icmp-echo");
        const auto replies = ReadFrames(Capture(), "icmp and icmp[icmptype] = icmp-echoreply");
        ASSERT_EQ(requests.size(), 3u);
        ASSERT_EQ(replies.size(), 3u);
        for (size_t i = 0; i < replies.size(); ++i) {
            const Bytes& reply = replies[i];
            ASSERT_EQ(reply.size(), requests[i].size()) << "reply " << i;
            Bytes expected = requests[i];
            std::copy(kPeerMac.begin(), kPeerMac.end(), expected.begin());
            std::copy(kOwnMac.begin(), kOwnMac.end(), expected.begin() + 6);
            std::copy(kOwnIp.begin(), kOwnIp.end(), expected.begin() + 26);
            std::copy(kPeerIp.begin(), kPeerIp.end(), expected.begin() + 30);
            expected[kIcmpType] = 0;
            Bytes sumless = reply;
            for (size_t at : {kIpChecksum, kIpChecksum + 1, kIcmpChecksum, kIcmpChecksum + 1})
                expected[at] = sumless[at] = 0;
            EXPECT_EQ(sumless, expected) << "reply " << i;
            const size_t ipLength = static_cast<size_t>(reply[16] << 8 | reply[17]);
            ASSERT_LE(14 + ipLength, reply.size());
            EXPECT_EQ(OnesComplementSum(reply.data() + 14, 20), 0xffff) << "reply " << i;
            EXPECT_EQ(OnesComplementSum(reply.data() + 34, ipLength - 20), 0xffff) << "reply " << i;
        }

        std::string decoded;
        ASSERT_EQ(RunCommand("tcpdump -vv -n -r " + Quote(Capture()) + " icmp", &decoded), 0)
            << decoded;
        EXPECT_EQ(Count(decoded, "192.0.2.2 > 192.0.2.1: ICMP echo reply"), 3u) << decoded;
        for (const char* complaint : {"bad cksum", "wrong", "incorrect"})
            EXPECT_EQ(decoded.find(complaint), std::string::npos) << decoded;

        // The same decode of replies whose sums are broken names both: the strings looked for
        // above are the ones this tcpdump prints.
        std::vector<Bytes> broken = replies;
        broken[0][kIpChecksum] ^= 0xff;
        broken[1][kIcmpChecksum] ^= 0xff;
        const std::string brokenPath = (m_dir / "broken.pcap").string();
        WriteFrames(brokenPath, broken);
        ASSERT_EQ(RunCommand("tcpdump -vv -n -r " + Quote(brokenPath), &decoded), 0) << decoded;
        EXPECT_EQ(Count(decoded, "bad cksum"), 1u) << decoded;
        EXPECT_EQ(Count(decoded, "wrong icmp cksum"), 1u) << decoded;
    }

    // --- Under load: tcpreplay offers ARP requests at its top speed to va.

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    static constexpr uint64_t kOffered = 20000;  // the sanitizers' run stays short
#else
    static constexpr uint64_t kOffered = 200000;
#endif

    // ARP requests for 192.0.2.2 from the peer; with IPv6 off, nothing else reaches va, so the
    // frames va takes in are exactly the ones offered that the kernel did not drop.
    std::string LoadSetUp() {
        std::string out;
        if (RunCommand("command -v tcpreplay", &out) != 0)
            return "needs tcpreplay (scripts/setup-deps.sh)";
        const std::string in = "timeout 10 ip netns exec " + m_ns + " ";
        for (const std::string& cmd : {in + "sysctl -qw net.ipv6.conf.all.disable_ipv6=1",
                                       in + "sysctl -qw net.ipv6.conf.va.disable_ipv6=1",
                                       in + "sysctl -qw net.ipv6.conf.vb.disable_ipv6=1"}) {
            EXPECT_EQ(RunCommand(cmd, &out), 0) << cmd << ": " << out;
        }
        Bytes f = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
        for (const Bytes& part :
             {kPeerMac, Bytes{0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x01}, kPeerMac,
              kPeerIp, Bytes(6, 0), kOwnIp})
            f.insert(f.end(), part.begin(), part.end());
        f.resize(60, 0);
        pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
        pcap_dumper_t* dumper = pcap_dump_open(dead, Requests().c_str());
        EXPECT_NE(dumper, nullptr) << pcap_geterr(dead);
        for (uint64_t i = 0; dumper && i < kOffered; ++i) {
            pcap_pkthdr header{};
            header.caplen = header.len = static_cast<bpf_u_int32>(f.size());
            pcap_dump(reinterpret_cast<u_char*>(dumper), &header, f.data());
        }
        if (dumper)
            pcap_dump_close(dumper);
        pcap_close(dead);
        return "";
    }
    std::string Requests() const {
        return (m_dir / "requests.pcap").string();
    }

    uint64_t VaReceived() {
        std::string out;
        EXPECT_EQ(RunCommand("timeout 10 ip netns exec " + m_ns +
                                 " cat /sys/class/net/va/statistics/rx_packets",
                             &out),
                  0)
            << out;
        return std::strtoull(out.c_str(), nullptr, 10);
    }

    // The live port's counters on frhost's last interval line: received and dropped.
    static std::pair<uint64_t, uint64_t> LastLinkLine(const std::string& out) {
        std::pair<uint64_t, uint64_t> seen{0, 0};
        for (const std::string& line : Lines(out)) {
            const size_t at = line.find(" va received ");
            if (at == std::string::npos)
                continue;
            std::istringstream fields(line.substr(at + 13));
            std::string word;
            fields >> seen.first >> word >> seen.second;
        }
        return seen;
    }

    // Offers the requests once frhost shows its first interval, waits until every frame va
    // took in is either received or reported dropped, then ends the run: answered + dropped
    // is what arrived, and at least 99.9% of what was offered is answered.
    void OfferedRequestsAreAnsweredOrReported(Background& run, const std::string& via,
                                              bool share = true) {
        ASSERT_TRUE(Started(run, " va received "));
        const uint64_t before = VaReceived();
        std::string replay;
        ASSERT_EQ(RunCommand("timeout 60 ip netns exec " + m_ns + " tcpreplay --topspeed -i vb " +
                                 Quote(Requests()),
                             &replay),
                  0)
            << replay;
        const uint64_t arrived = VaReceived() - before;
        const auto settled = std::chrono::steady_clock::now() + seconds(20);
        while (std::chrono::steady_clock::now() < settled) {
            const auto [received, dropped] = LastLinkLine(run.Out());
            if (received + dropped >= arrived)
                break;
            std::this_thread::sleep_for(milliseconds(50));
        }
        run.Signal(SIGINT);
        Outcome o = run.WaitFor(seconds(10));
        ASSERT_EQ(o.status, 0) << o.out << o.err;

        const auto doc = nlohmann::json::parse(ReadAll(Results()), nullptr, false);
        ASSERT_FALSE(doc.is_discarded()) << ReadAll(Results());
        ASSERT_TRUE(doc.contains("links") && doc["links"].size() == 1u) << doc.dump();
        const auto& link = doc["links"][0];
        const Counts arp = JsonResults(Results()).at("arp");
        const uint64_t dropped =
            link["captureDropped"].get<uint64_t>() + link["interfaceDropped"].get<uint64_t>();
        EXPECT_EQ(link["port"], "port1");
        EXPECT_EQ(link["interface"], "va");
        EXPECT_EQ(link["received"].get<uint64_t>(), arp.matched) << doc["links"].dump();
        EXPECT_EQ(arp.transmitted, arp.matched);
        EXPECT_EQ(link["transmitted"].get<uint64_t>(), arp.transmitted);
        EXPECT_EQ(link["transmitFailed"].get<uint64_t>(), 0u);
        EXPECT_EQ(arp.transmitted + dropped, arrived) << doc["links"].dump();
        if (share) {
            EXPECT_GE(arp.transmitted * 1000, kOffered * 999)
                << "offered " << kOffered << ", arrived " << arrived << ", dropped " << dropped;
        }
        // A run that dropped frames says so last; one that did not says nothing of it.
        const auto lines = Lines(o.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().find("port port1 (va) lost frames: ") == 0, dropped > 0) << o.out;

        // The rates, for the record.
        const size_t rated = replay.find("Rated: ");
        std::cout << via << ": offered " << kOffered << " ("
                  << (rated == std::string::npos ? "?" : Lines(replay.substr(rated))[0])
                  << "), arrived " << arrived << ", answered " << arp.transmitted << ", dropped "
                  << dropped << '\n';
    }

    std::string m_ns;
    bool m_created = false;
    std::unique_ptr<iltest::FrildProcess> m_frild;
};

TEST_F(LiveRunTest, InProcessRespondersAnswerArpingAndPingOnTheirInterface) {
    auto run = InProcessRun();
    PeerIsAnsweredAndSigintEndsTheRun(*run);
}

TEST_F(LiveRunTest, FrildAnswersArpingAndPingOnItsInterface) {
    auto run = FrildRun();
    PeerIsAnsweredAndSigintEndsTheRun(*run);
    EXPECT_EQ(m_frild->Kill(SIGTERM), 0) << m_frild->Log();
}

TEST_F(LiveRunTest, InProcessPortAnswersTopSpeedArpRequestsOrReportsTheirDrops) {
    if (const std::string missing = LoadSetUp(); !missing.empty())
        GTEST_SKIP() << missing;
    auto run = InProcessRun();
    OfferedRequestsAreAnsweredOrReported(*run, "in process");
}

TEST_F(LiveRunTest, FrildAnswersTopSpeedArpRequestsOrReportsTheirDrops) {
    if (const std::string missing = LoadSetUp(); !missing.empty())
        GTEST_SKIP() << missing;
    auto run = FrildRun();
    OfferedRequestsAreAnsweredOrReported(*run, "through frild");
    EXPECT_EQ(m_frild->Kill(SIGTERM), 0) << m_frild->Log();
}

// A capture buffer too small for the burst loses frames: each one is counted, and the run's
// final line says so.
TEST_F(LiveRunTest, ASmallCaptureBufferLosesFramesAndTheRunSaysHowMany) {
    if (const std::string missing = LoadSetUp(); !missing.empty())
        GTEST_SKIP() << missing;
    auto run = InProcessRun({"--capture-buffer", "port1=1"});
    // The counts are checked as above except the share answered, which depends on the machine.
    OfferedRequestsAreAnsweredOrReported(*run, "1 MiB buffer", false);
}

// An interface that disappears mid-run ends its port with the capture's reason; the run goes on
// to its end, saves its results and then fails, saying why.
TEST_F(LiveRunTest, AnInterfaceThatDisappearsFailsTheRunWithItsReason) {
    auto run = InProcessRun();
    ASSERT_TRUE(Started(*run, " va received "));
    std::string out;
    ASSERT_EQ(RunCommand("timeout 10 ip netns exec " + m_ns + " ip link del va", &out), 0) << out;
    const auto deadline = std::chrono::steady_clock::now() + seconds(10);
    while (run->Out().find(" ended") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    run->Signal(SIGINT);
    Outcome o = run->WaitFor(seconds(10));
    EXPECT_EQ(o.status, 1) << o.out << o.err;
    EXPECT_NE(o.out.find("Port port1 ended early: its interface va failed"), std::string::npos)
        << o.out;
    const auto lines = Lines(o.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("port port1 (va) ended: capture failed: ", 0), 0u) << o.out;
    EXPECT_TRUE(fs::exists(Results()));
}

}  // namespace
