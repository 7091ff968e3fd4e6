// frild end to end: a capture replay writing each port's output capture, the IL's diagnostic
// request (direct and over the daemon), a daemon that dies, never answers or is restarted,
// CURVE keys and allow-lists, and its command line errors.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include <orx/framework/Rpc.h>
#include <orx/il/Diag.h>
#include <orx/il/PcapFiles.h>
#include <orx/msglib/Codec.h>
#include <orx/transport/CurveKeys.h>
#include <orx/transport/ZmqIlTransport.h>
#include "FrildSupport.h"
#include "IlTestSupport.h"

using namespace orx::il;
using namespace iltest;
using namespace responder_1_bll;
using orx::framework::CRpcManager;
using orx::framework::ErrorMsg;
using orx::framework::Messenger;
using orx::framework::RpcResponseDelegate;
using orx::transport::ZmqIlTransport;

namespace {

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "frild-" + std::to_string(::getpid()) + "-" + name;
}

// Sends requests through the host's RPC manager and collects the answers.
class Client {
  public:
    explicit Client(std::shared_ptr<ZmqIlTransport> transport) : m_transport(std::move(transport)) {
        CRpcManager::Instance().Attach(*m_transport);
    }
    Message Call(Message request, uint32_t timeoutMs = 5000) {
        Messenger messenger(m_transport, request.get_destination(), m_transport->Describe());
        RpcResponseDelegate delegate = orx::framework::MakeDelegate(this, &Client::OnResponse);
        m_response = Message();
        EXPECT_EQ(CRpcManager::Instance().SendAsyncMessage(&messenger, request, &delegate, nullptr,
                                                           timeoutMs, false),
                  0);
        std::vector<ErrorMsg> errors;
        EXPECT_TRUE(CRpcManager::Instance().Wait(errors))
            << (errors.empty() ? "" : errors[0].faultString);
        return std::move(m_response);
    }
    void OnResponse(uint16_t, Message* response, void*) { m_response = *response; }

  private:
    std::shared_ptr<ZmqIlTransport> m_transport;
    Message m_response;
};

// Polls `done` for up to 5 s.
template <typename F>
bool WaitFor(F done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t first) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(first + i);
    return b;
}

TEST(FrildReplay, WritesEachPortsTransmissionsWithTheirDelays) {
    std::string in = TempPath("replay-in.pcap"), out0 = TempPath("replay-out0.pcap"),
                out1 = TempPath("replay-out1.pcap");
    {
        PcapFileSink input(in);
        std::vector<uint8_t> a = UdpFrame(0x0A000001, 53), b = UdpFrame(0x0A000002, 53, 100);
        std::vector<uint8_t> c = UdpFrame(0x0A000001, 99);
        TxFrame frames[] = {{a.data(), uint32_t(a.size()), 0, 1'000'000'000},
                            {b.data(), uint32_t(b.size()), 0, 1'000'500'000},
                            {c.data(), uint32_t(c.size()), 0, 2'000'000'000}};
        input.Transmit(frames, 3);
        input.Close();
    }
    FrildProcess frild({"--bind", FrildProcess::kAnyLoopbackPort, "--ports", "2", "--pcap-in",
                        "0=" + in, "--pcap-out", "0=" + out0, "--pcap-out", "1=" + out1},
                       TempPath("replay.log"));
    Client client(std::make_shared<ZmqIlTransport>(frild.Endpoint()));

    // Handle 1 answers port 0's frames from 10.0.0.1 with a payload on port 1 after 250 us;
    // handle 2 patches the source MAC of every VLAN 100 frame and sends it back on port 0.
    respProfile_s patch = Profile(0, {});
    patch.modifierArray.push_back({SET_VALUE, 6, {0xFF, 0x0F}, {0x12, 0x34}});
    Message config =
        ConfigRequest(0, {Config(1, "src host 10.0.0.1", {Profile(1, Bytes(64, 1), 250)}),
                          Config(2, "vlan 100", {patch})});
    ASSERT_EQ(client.Call(config).get_msg_type(), TMT_RESPONSE);
    ASSERT_EQ(client.Call(Request(0, create_req_Start, {1, 2})).get_msg_type(), TMT_RESPONSE);
    Message replay;
    diag::CreateReplayRequest(&replay);
    auto ports = diag::ParseReplayResponse(client.Call(replay));
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0], (ReplayPortView{0, 3, 1}));
    EXPECT_EQ(ports[1], (ReplayPortView{1, 0, 2}));

    auto onPort1 = ReadPcapFile(out1);
    ASSERT_EQ(onPort1.size(), 2u);
    EXPECT_EQ(onPort1[0].bytes, Bytes(64, 1));
    EXPECT_EQ(onPort1[0].timeNs, 1'000'250'000);
    EXPECT_EQ(onPort1[1].timeNs, 2'000'250'000);
    auto onPort0 = ReadPcapFile(out0);
    ASSERT_EQ(onPort0.size(), 1u);
    std::vector<uint8_t> expected = UdpFrame(0x0A000002, 53, 100);
    expected[6] = 0x12;
    expected[7] = (expected[7] & 0xF0) | 0x04;
    EXPECT_EQ(onPort0[0].bytes, expected);
    EXPECT_EQ(onPort0[0].timeNs, 1'000'500'000);

    // A second replay rewrites the outputs: the same files again, and the counters go on.
    ports = diag::ParseReplayResponse(client.Call(replay));
    EXPECT_EQ(ReadPcapFile(out1).size(), 2u);
    Message show;
    diag::CreateShowRequest(&show, 0);
    auto held = diag::ParseShowResponse(client.Call(show));
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0].matched, 4u);
    EXPECT_EQ(held[1].transmitted, 2u);
    EXPECT_EQ(frild.Kill(SIGTERM), 0) << frild.Log();
}

// The diagnostic request gives what Describe gives, directly and through frild.
TEST(IlDiag, ShowRespondersDirectAndOverFrild) {
    respProfile_s patched = Profile(1, {}, 7);
    patched.modifierArray.push_back({SET_VALUE, 0, {0xFF}, {0x01}});
    patched.modifierArray.push_back({SET_VALUE, 2, {0xFF}, {0x02}});
    auto configs0 = std::vector<respConfig_s>{Config(30, "arp", {Profile(0, Bytes(60, 9), 5)}),
                                              Config(4, "udp port 53", {patched, Profile(0, {})})};
    configs0[1].vifHandle = 77;
    auto configs1 = std::vector<respConfig_s>{Config(8, "tcp", {})};

    IlServer il({0, 1});
    ASSERT_EQ(il.Handle(ConfigRequest(0, configs0)).get_msg_type(), TMT_RESPONSE);
    ASSERT_EQ(il.Handle(ConfigRequest(1, configs1)).get_msg_type(), TMT_RESPONSE);
    ASSERT_EQ(il.Handle(Request(0, create_req_Start, {4})).get_msg_type(), TMT_RESPONSE);

    std::vector<ResponderView> all = il.Describe();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].handle, 4u);  // port then handle order
    EXPECT_EQ(all[1].handle, 30u);
    EXPECT_EQ(all[2].handle, 8u);
    EXPECT_EQ(all[0].filter, "udp port 53");
    EXPECT_TRUE(all[0].running);
    EXPECT_FALSE(all[1].running);
    EXPECT_EQ(all[0].vifHandle, 77u);
    ASSERT_EQ(all[0].profiles.size(), 2u);
    EXPECT_EQ(all[0].profiles[0], (ProfileView{1, 7, {}, 2}));
    EXPECT_EQ(all[1].profiles[0], (ProfileView{0, 5, Bytes(60, 9), 0}));
    EXPECT_EQ(il.Describe(1).size(), 1u);

    // Encoded both ways, as a remote host sees it.
    Message show;
    diag::CreateShowRequest(&show);
    std::vector<uint8_t> bytes = msglib::encode(show);
    Message direct = msglib::decode(il.HandleEncoded(bytes.data(), bytes.size()));
    EXPECT_EQ(diag::ParseShowResponse(direct), all);
    diag::CreateShowRequest(&show, 5);
    try {
        diag::ParseShowResponse(il.Handle(show));
        FAIL() << "port 5 is not served";
    } catch (const diag::DiagError& e) {
        EXPECT_NE(std::string(e.what()).find("port 5 is not served"), std::string::npos)
            << e.what();
    }
    Message wrong;
    wrong.set_msg_type(TMT_RESPONSE);
    wrong.set_request_name(diag::kShowResponders);
    wrong.add_member(TMG_MEMBERS, "responders", int32_t{3});
    EXPECT_THROW(diag::ParseShowResponse(wrong), diag::DiagError);

    FrildProcess frild({"--bind", FrildProcess::kAnyLoopbackPort, "--ports", "2"},
                       TempPath("diag.log"));
    Client client(std::make_shared<ZmqIlTransport>(frild.Endpoint()));
    ASSERT_EQ(client.Call(ConfigRequest(0, configs0)).get_msg_type(), TMT_RESPONSE);
    ASSERT_EQ(client.Call(ConfigRequest(1, configs1)).get_msg_type(), TMT_RESPONSE);
    ASSERT_EQ(client.Call(Request(0, create_req_Start, {4})).get_msg_type(), TMT_RESPONSE);
    diag::CreateShowRequest(&show);
    EXPECT_EQ(diag::ParseShowResponse(client.Call(show)), all);
    diag::CreateShowRequest(&show, 1);
    EXPECT_EQ(diag::ParseShowResponse(client.Call(show)), il.Describe(1));
    // frild without captures refuses a replay with a reason.
    Message replay;
    diag::CreateReplayRequest(&replay);
    Message refused = client.Call(replay);
    EXPECT_NE(diag::FaultText(refused).find("without --pcap-in"), std::string::npos);
    EXPECT_EQ(frild.Kill(SIGTERM), 0) << frild.Log();
}

// A daemon that is killed, or was never there, turns every outstanding request into a fault
// record within the RPC manager's timeout; nothing hangs, and the transport can be destroyed.
TEST(FrildFailure, KilledDaemonGivesFaultRecordsNotAHang) {
    auto& rpc = CRpcManager::Instance();
    auto before = rpc.GetDefaultTimeout();
    rpc.SetDefaultTimeout(std::chrono::milliseconds(300));
    auto frild = std::make_unique<FrildProcess>(
        std::vector<std::string>{"--bind", FrildProcess::kAnyLoopbackPort, "--ports", "1"},
        TempPath("killed.log"));
    const std::string endpoint = frild->Endpoint();
    auto transport = std::make_shared<ZmqIlTransport>(endpoint);
    Client client(transport);
    ASSERT_EQ(client.Call(ConfigRequest(0, {Config(1, "arp", {})})).get_msg_type(), TMT_RESPONSE);
    EXPECT_EQ(transport->Problem(), "");
    frild->Kill(SIGKILL);
    const std::string lost = "the connection to " + endpoint + " was lost; reconnecting";
    ASSERT_TRUE(WaitFor([&] { return transport->Problem() == lost; })) << transport->Problem();

    Messenger messenger(transport, 0, transport->Describe());
    for (int i = 0; i < 3; ++i) {
        Message m = Request(0, create_req_Start, {1});
        ASSERT_EQ(rpc.SendAsyncMessage(&messenger, m, nullptr, nullptr, 0, false), 0);
    }
    auto start = std::chrono::steady_clock::now();
    std::vector<ErrorMsg> faults;
    EXPECT_FALSE(rpc.Wait(faults));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(3));
    ASSERT_EQ(faults.size(), 3u);
    for (const ErrorMsg& f : faults) {
        EXPECT_EQ(f.faultCode, orx::framework::RPC_FAULT_TIMEOUT);
        EXPECT_EQ(f.msgrString, endpoint);
        EXPECT_EQ(f.faultString, "No response to responder_1.Start within 300 ms (" + lost + ")");
    }

    // Nobody at the endpoint at all: the same.
    auto nobody = std::make_shared<ZmqIlTransport>("ipc://" + TempPath("nobody"));
    Messenger none(nobody, 0, nobody->Describe());
    Message m = Request(0, create_req_Stop, {1});
    ASSERT_EQ(rpc.SendAsyncMessage(&none, m, nullptr, nullptr, 0, false), 0);
    faults.clear();
    EXPECT_FALSE(rpc.Wait(faults));
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].faultCode, orx::framework::RPC_FAULT_TIMEOUT);
    EXPECT_NE(faults[0].faultString.find("(no connection: nothing accepts connections at ipc://"),
              std::string::npos)
        << faults[0].faultString;
    auto destroy = std::chrono::steady_clock::now();
    nobody.reset();
    transport.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - destroy, std::chrono::seconds(3));
    rpc.SetDefaultTimeout(before);
}

// Sends `request` without waiting for it; its fault comes from a later Wait.
void SendOnly(const std::shared_ptr<ZmqIlTransport>& transport, Message request,
              uint32_t timeoutMs = 0) {
    Messenger messenger(transport, request.get_destination(), transport->Describe());
    ASSERT_EQ(CRpcManager::Instance().SendAsyncMessage(&messenger, request, nullptr, nullptr,
                                                       timeoutMs, false),
              0);
}

// The faults of one Wait, which must end within `limit`.
std::vector<ErrorMsg> WaitForFaults(std::chrono::milliseconds limit) {
    auto start = std::chrono::steady_clock::now();
    std::vector<ErrorMsg> faults;
    EXPECT_FALSE(CRpcManager::Instance().Wait(faults));
    EXPECT_LT(std::chrono::steady_clock::now() - start, limit);
    return faults;
}

// Sets the RPC manager's default timeout for one test.
class DefaultTimeout {
  public:
    explicit DefaultTimeout(std::chrono::milliseconds timeout)
        : m_before(CRpcManager::Instance().GetDefaultTimeout()) {
        CRpcManager::Instance().SetDefaultTimeout(timeout);
    }
    ~DefaultTimeout() { CRpcManager::Instance().SetDefaultTimeout(m_before); }

  private:
    std::chrono::milliseconds m_before;
};

// A daemon killed and restarted on the same endpoint between two calls: the call in between
// fails within its timeout naming the lost connection, the transport reconnects by itself, and
// the new daemon never acts on the request the host had given up on.
TEST(FrildReconnect, RestartedDaemonServesTheNextCallAndNothingStaleReachesIt) {
    DefaultTimeout timeout(std::chrono::milliseconds(400));
    auto frild = std::make_unique<FrildProcess>(
        std::vector<std::string>{"--bind", FrildProcess::kAnyLoopbackPort, "--ports", "1"},
        TempPath("restart-1.log"));
    const std::string endpoint = frild->Endpoint();
    auto transport = std::make_shared<ZmqIlTransport>(endpoint);
    Client client(transport);
    ASSERT_EQ(client.Call(ConfigRequest(0, {Config(1, "arp", {})})).get_msg_type(), TMT_RESPONSE);
    frild->Kill(SIGKILL);
    ASSERT_TRUE(WaitFor([&] { return !transport->Problem().empty(); }));

    SendOnly(transport, ConfigRequest(0, {Config(2, "udp", {})}));
    std::vector<ErrorMsg> faults = WaitForFaults(std::chrono::seconds(2));
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].faultString,
              "No response to responder_1.ConfigResponder within 400 ms (the "
              "connection to " +
                  endpoint + " was lost; reconnecting)");

    frild = std::make_unique<FrildProcess>(
        std::vector<std::string>{"--bind", endpoint, "--ports", "1"}, TempPath("restart-2.log"));
    Message show;
    diag::CreateShowRequest(&show);
    std::vector<ResponderView> held = diag::ParseShowResponse(client.Call(show));
    EXPECT_TRUE(held.empty()) << "the new daemon holds handle " << held.front().handle;
    ASSERT_EQ(client.Call(ConfigRequest(0, {Config(3, "tcp", {})})).get_msg_type(), TMT_RESPONSE);
    held = diag::ParseShowResponse(client.Call(show));
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].handle, 3u);
    EXPECT_EQ(transport->Problem(), "");
    EXPECT_EQ(frild->Kill(SIGTERM), 0) << frild->Log();
}

// Killed in the middle of a replay while the host waits for its answer: the wait ends at the
// timeout, naming the lost connection; restarted, the daemon replays again.
TEST(FrildReconnect, KilledMidReplayFailsWithinTheTimeoutAndTheRestartedDaemonReplays) {
    std::string in = TempPath("midreplay-in.pcap"), out = TempPath("midreplay-out.fifo");
    {
        PcapFileSink input(in);
        std::vector<uint8_t> a = UdpFrame(0x0A000001, 53);
        std::vector<TxFrame> frames;
        for (int i = 0; i < 100; ++i)
            frames.push_back({a.data(), uint32_t(a.size()), 0, 1'000'000'000 + i * 1000});
        input.Transmit(frames.data(), frames.size());
        input.Close();
    }
    // The replay's output goes to a pipe that is never read: once its buffer is full the
    // replay waits there, under way, until the daemon is killed.
    ::unlink(out.c_str());
    ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0);
    int reader = ::open(out.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    auto frild = std::make_unique<FrildProcess>(
        std::vector<std::string>{"--bind", FrildProcess::kAnyLoopbackPort, "--ports", "1",
                                 "--pcap-in", "0=" + in, "--pcap-out", "0=" + out},
        TempPath("midreplay-1.log"));
    const std::string endpoint = frild->Endpoint();
    auto transport = std::make_shared<ZmqIlTransport>(endpoint);
    Client client(transport);
    // 100 answers of 1000 bytes: more than the pipe holds.
    ASSERT_EQ(client.Call(ConfigRequest(0, {Config(1, "udp", {Profile(0, Bytes(1000, 1))})}))
                  .get_msg_type(),
              TMT_RESPONSE);
    ASSERT_EQ(client.Call(Request(0, create_req_Start, {1})).get_msg_type(), TMT_RESPONSE);
    Message replay;
    diag::CreateReplayRequest(&replay);
    SendOnly(transport, replay, 1500);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    frild->Kill(SIGKILL);
    std::vector<ErrorMsg> faults = WaitForFaults(std::chrono::milliseconds(2500));
    ::close(reader);
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].faultString, std::string("No response to ") + diag::kReplay +
                                         " within 1500 ms (the connection to " + endpoint +
                                         " was lost; reconnecting)");

    frild = std::make_unique<FrildProcess>(
        std::vector<std::string>{"--bind", endpoint, "--ports", "1", "--pcap-in", "0=" + in},
        TempPath("midreplay-2.log"));
    auto ports = diag::ParseReplayResponse(client.Call(replay, 10000));
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0], (ReplayPortView{0, 100, 0}));
    EXPECT_EQ(frild->Kill(SIGTERM), 0) << frild->Log();
    ::unlink(out.c_str());
}

ZmqIlTransport::Options CurveTo(const std::string& serverKey,
                                orx::transport::CurveKeyPair clientKey = {}) {
    ZmqIlTransport::Options options;
    options.serverKey = serverKey;
    options.clientKey = std::move(clientKey);
    return options;
}

// CURVE: key files made by `frild keygen` in a directory of the test's own.
class FrildCurve : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = TempPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // Runs `frild keygen DIR --name NAME` (DIR under the test's directory); gives its output.
    std::string Keygen(const std::string& dir, const std::string& name, int expected = 0) {
        std::string out;
        EXPECT_EQ(
            RunCommand(std::string(kFrild) + " keygen " + m_dir + "/" + dir + " --name " + name,
                       &out),
            expected)
            << out;
        return out;
    }
    std::string Path(const std::string& rest) const { return m_dir + "/" + rest; }
    // The text of the fault of one request sent through `transport`, which must fail.
    static std::string FaultOf(std::shared_ptr<ZmqIlTransport> transport) {
        Message show;
        diag::CreateShowRequest(&show);
        SendOnly(transport, show, 500);
        std::vector<ErrorMsg> faults = WaitForFaults(std::chrono::seconds(2));
        return faults.size() == 1 ? faults[0].faultString : "";
    }
    static bool Serves(std::shared_ptr<ZmqIlTransport> transport) {
        Message show;
        diag::CreateShowRequest(&show);
        return Client(std::move(transport)).Call(show).get_msg_type() == TMT_RESPONSE;
    }

    std::string m_dir;
};

TEST_F(FrildCurve, KeygenWritesAPairWithAPrivateSecretAndNeverOverwrites) {
    std::string out = Keygen("keys", "frild");
    orx::transport::CurveKeyPair pair =
        orx::transport::ReadSecretKeyFile(Path("keys/frild.key_secret"));
    EXPECT_EQ(orx::transport::ReadPublicKeyFile(Path("keys/frild.key")), pair.publicKey);
    EXPECT_NE(out.find(pair.publicKey), std::string::npos) << out;
    struct stat st {};
    ASSERT_EQ(::stat(Path("keys/frild.key_secret").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const std::string secret = ReadFile(Path("keys/frild.key_secret"));
    out = Keygen("keys", "frild", 1);
    EXPECT_NE(out.find("frild.key: exists already"), std::string::npos) << out;
    std::filesystem::remove(Path("keys/frild.key"));
    out = Keygen("keys", "frild", 1);
    EXPECT_NE(out.find("frild.key_secret: exists already"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(Path("keys/frild.key_secret")), secret);
    EXPECT_FALSE(std::filesystem::exists(Path("keys/frild.key")));

    Keygen("keys", "host1");
    EXPECT_NE(orx::transport::ReadPublicKeyFile(Path("keys/host1.key")), pair.publicKey);
    out = Keygen("keys", "a/b", 1);
    EXPECT_NE(out.find("\"a/b\" is not a key name"), std::string::npos) << out;
}

TEST_F(FrildCurve, BadKeyFilesAreNamedWithWhatIsWrong) {
    Keygen("keys", "frild");
    std::filesystem::create_directories(Path("bad"));
    std::filesystem::create_directories(Path("empty"));
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(Path(name)) << text;
        return Path(name);
    };
    const std::string key = orx::transport::ReadPublicKeyFile(Path("keys/frild.key"));
    struct Case {
        std::vector<std::string> args;
        std::string text;
    } cases[] = {
        {{"--curve-secret", Path("missing")}, Path("missing") + ": no such key file"},
        {{"--curve-secret", write("short", key.substr(1) + "\n")},
         "a CURVE key is 40 characters of Z85 text, got 39 characters"},
        {{"--curve-secret", write("quote", "\"" + key.substr(1))},
         "a CURVE key is Z85 text: '\"' at position 1 is not a Z85 character"},
        {{"--curve-secret", write("empty.key_secret", "\n")}, "empty: a key file holds"},
        {{"--curve-secret", Path("keys/frild.key")},
         "is a public key file; its secret key is " + Path("keys/frild.key_secret")},
        {{"--curve-secret", Path("keys/frild.key_secret"), "--curve-allow", Path("empty")},
         Path("empty") + ": holds no NAME.key file"},
        {{"--curve-secret", Path("keys/frild.key_secret"), "--curve-allow", Path("nodir")},
         Path("nodir") + ": no such directory of client keys"},
        {{"--curve-secret", Path("keys/frild.key_secret"), "--curve-allow",
          (write("bad/host.key", "0123456789"), Path("bad"))},
         Path("bad/host.key") + ": a CURVE key is 40 characters"},
    };
    for (const Case& c : cases) {
        std::string command = "timeout 10 " + std::string(kFrild) + " --bind " +
                              FrildProcess::kAnyLoopbackPort + " --ports 1";
        for (const std::string& a : c.args)
            command += " '" + a + "'";
        std::string out;
        EXPECT_EQ(RunCommand(command, &out), 1) << command << ": " << out;
        EXPECT_NE(out.find(c.text), std::string::npos) << command << ": " << out;
    }
    EXPECT_THROW(ZmqIlTransport("tcp://127.0.0.1:1", CurveTo(key.substr(0, 39))),
                 std::runtime_error);
}

// A daemon with keys on an address other machines reach: a host with its public key is served;
// a wrong key, no key, or a key for a daemon without CURVE fail within the timeout, saying so.
TEST_F(FrildCurve, OnlyAHostWithTheDaemonsPublicKeyIsServed) {
    Keygen("keys", "frild");
    Keygen("other", "frild");
    FrildProcess frild({"--bind", "tcp://0.0.0.0:0", "--ports", "1", "--curve-secret",
                        Path("keys/frild.key_secret")},
                       Path("curve.log"));
    EXPECT_NE(frild.Log().find("(CURVE, any client key)"), std::string::npos) << frild.Log();
    const std::string endpoint = frild.LoopbackEndpoint();
    const std::string key = orx::transport::ReadPublicKeyFile(Path("keys/frild.key"));
    EXPECT_TRUE(Serves(std::make_shared<ZmqIlTransport>(endpoint, CurveTo(key))));

    // Each mismatch fails within the timeout naming the daemon; which reason the socket's events
    // give depends on how far the handshake got before the daemon closed it.
    auto expectRefused = [](const std::string& fault, const std::string& where,
                            std::initializer_list<const char*> reasons) {
        EXPECT_NE(fault.find("No response to"), std::string::npos) << fault;
        EXPECT_NE(fault.find(where), std::string::npos) << fault;
        bool named = false;
        for (const char* r : reasons)
            named = named || fault.find(r) != std::string::npos;
        EXPECT_TRUE(named) << fault;
    };
    const char* kHandshake =
        "closed the connection during the CURVE handshake: is the module's "
        "serverKey frild's public key?";
    const char* kBeforeHandshake = "closed the connection before the handshake completed";
    const std::string wrong = orx::transport::ReadPublicKeyFile(Path("other/frild.key"));
    expectRefused(FaultOf(std::make_shared<ZmqIlTransport>(endpoint, CurveTo(wrong))),
                  "frild at " + endpoint, {kHandshake, kBeforeHandshake});
    expectRefused(FaultOf(std::make_shared<ZmqIlTransport>(endpoint)), "frild at " + endpoint,
                  {"requires CURVE: the module's \"il\" needs its serverKey", kBeforeHandshake});

    FrildProcess plain({"--bind", FrildProcess::kAnyLoopbackPort, "--ports", "1"},
                       Path("plain.log"));
    expectRefused(FaultOf(std::make_shared<ZmqIlTransport>(plain.Endpoint(), CurveTo(key))),
                  "frild at " + plain.Endpoint(),
                  {"does not use CURVE, but the module's \"il\" has a serverKey", kHandshake,
                   kBeforeHandshake});
    EXPECT_EQ(frild.Kill(SIGTERM), 0) << frild.Log();
}

// With an allow-list only the hosts whose public key is listed get in, on loopback too.
TEST_F(FrildCurve, AnAllowListLetsInListedHostsOnly) {
    Keygen("keys", "frild");
    Keygen("allowed", "host");
    Keygen("strangers", "host");
    FrildProcess frild({"--bind", FrildProcess::kAnyLoopbackPort, "--ports", "1", "--curve-secret",
                        Path("keys/frild.key_secret"), "--curve-allow", Path("allowed")},
                       Path("allow.log"));
    EXPECT_NE(frild.Log().find("(CURVE, 1 allowed client key)"), std::string::npos) << frild.Log();
    ZmqIlTransport::Options options =
        CurveTo(orx::transport::ReadPublicKeyFile(Path("keys/frild.key")),
                orx::transport::ReadSecretKeyFile(Path("allowed/host.key_secret")));
    EXPECT_TRUE(Serves(std::make_shared<ZmqIlTransport>(frild.Endpoint(), options)));

    options.clientKey = orx::transport::ReadSecretKeyFile(Path("strangers/host.key_secret"));
    std::string fault = FaultOf(std::make_shared<ZmqIlTransport>(frild.Endpoint(), options));
    EXPECT_NE(fault.find("refused this host's CURVE key: it is not in frild's --curve-allow "
                         "directory"),
              std::string::npos)
        << fault;
    EXPECT_NE(frild.Log().find("its CURVE key " + options.clientKey.publicKey + " is not in " +
                               Path("allowed")),
              std::string::npos)
        << frild.Log();
    options.clientKey = {};  // a fresh pair is not listed either
    fault = FaultOf(std::make_shared<ZmqIlTransport>(frild.Endpoint(), options));
    EXPECT_NE(fault.find("refused this host's CURVE key"), std::string::npos) << fault;
    EXPECT_EQ(frild.Kill(SIGTERM), 0) << frild.Log();
}

TEST_F(FrildCurve, InsecureServesAnAddressOtherMachinesReachWithoutKeys) {
    FrildProcess frild({"--bind", "tcp://0.0.0.0:0", "--ports", "1", "--insecure"},
                       Path("insecure.log"));
    EXPECT_NE(frild.Log().find("(insecure: no CURVE)"), std::string::npos) << frild.Log();
    EXPECT_TRUE(Serves(std::make_shared<ZmqIlTransport>(frild.LoopbackEndpoint())));
    EXPECT_EQ(frild.Kill(SIGTERM), 0) << frild.Log();
}

TEST(FrildCommandLine, ErrorsAreClearTextAndNonZero) {
    struct Case {
        std::string args;
        int rc;
        std::string text;
    } cases[] = {
        {"--ports 2", 64, "--bind is required"},
        {"--bind tcp://127.0.0.1:1 --ports 0", 64, "--ports"},
        {"--bind tcp://127.0.0.1:1 --ports 2 --pcap-in 2=x.pcap", 64,
         "port 2 is not served (--ports 2 serves 0 to 1)"},
        {"--bind tcp://127.0.0.1:1 --ports 2 --pcap-in zero=x.pcap", 64, "is not a number"},
        {"--bind tcp://127.0.0.1:1 --ports 2 --pcap-in 0=a --pcap-in 0=b", 64, "given twice"},
        {"--bind tcp://127.0.0.1:1 --ports 2 --pcap-in 0=/nonexistent/in.pcap", 1,
         "cannot read capture /nonexistent/in.pcap"},
        {"--bind tcp://127.0.0.1:1 --ports 2 --iface 0=lo --pcap-in 0=a", 64, "cannot be combined"},
        {"--bind nonsense --ports 1", 1, "cannot bind nonsense"},
        {"--bind tcp://127.0.0.1:1 --ports 1 --log frild=loud", 64, "--log"},
        {"--bind tcp://0.0.0.0:1 --ports 1", 64,
         "tcp://0.0.0.0:1 can be reached from other machines, so it needs CURVE keys: make them "
         "with `frild keygen DIR`"},
        {"--bind tcp://*:1 --ports 1", 64, "or pass --insecure to serve without keys"},
        {"--bind tcp://eth0:1 --ports 1", 64, "needs CURVE keys"},
        {"--bind tcp://127.0.0.1:1 --ports 1 --curve-allow /tmp", 64,
         "--curve-allow needs --curve-secret"},
        {"--bind tcp://127.0.0.1:1 --ports 1 --insecure --curve-secret x", 64,
         "--insecure and --curve-secret exclude each other"},
        {"keygen", 64, "DIR is required"},
    };
    for (const Case& c : cases) {
        std::string out;
        int rc = RunCommand("timeout 10 " + std::string(kFrild) + " " + c.args, &out);
        EXPECT_EQ(rc, c.rc) << c.args << ": " << out;
        EXPECT_NE(out.find(c.text), std::string::npos) << c.args << ": " << out;
    }
}

}  // namespace
