// frild end to end: a capture replay writing each port's output capture, the IL's diagnostic
// request (direct and over the daemon), a daemon that dies or never answers, and its command
// line errors.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "FrildSupport.h"
#include "IlTestSupport.h"
#include "msglib/Codec.h"
#include "orx/framework/Rpc.h"
#include "orx/il/Diag.h"
#include "orx/il/PcapFiles.h"
#include "orx/transport/ZmqIlTransport.h"

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

std::string Endpoint() {
    return "tcp://127.0.0.1:" + std::to_string(FreeLoopbackPort());
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
    std::string endpoint = Endpoint();
    FrildProcess frild({"--bind", endpoint, "--ports", "2", "--pcap-in", "0=" + in, "--pcap-out",
                        "0=" + out0, "--pcap-out", "1=" + out1},
                       TempPath("replay.log"));
    Client client(std::make_shared<ZmqIlTransport>(endpoint));

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

    std::string endpoint = Endpoint();
    FrildProcess frild({"--bind", endpoint, "--ports", "2"}, TempPath("diag.log"));
    Client client(std::make_shared<ZmqIlTransport>(endpoint));
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
    std::string endpoint = Endpoint();
    auto frild = std::make_unique<FrildProcess>(
        std::vector<std::string>{"--bind", endpoint, "--ports", "1"}, TempPath("killed.log"));
    auto transport = std::make_shared<ZmqIlTransport>(endpoint);
    Client client(transport);
    ASSERT_EQ(client.Call(ConfigRequest(0, {Config(1, "arp", {})})).get_msg_type(), TMT_RESPONSE);
    frild->Kill(SIGKILL);

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
        EXPECT_NE(f.faultString.find("responder_1.Start"), std::string::npos) << f.faultString;
    }
    EXPECT_EQ(transport->Outstanding(), 3u);

    // Nobody at the endpoint at all: the same.
    auto nobody = std::make_shared<ZmqIlTransport>(Endpoint());
    Messenger none(nobody, 0, nobody->Describe());
    Message m = Request(0, create_req_Stop, {1});
    ASSERT_EQ(rpc.SendAsyncMessage(&none, m, nullptr, nullptr, 0, false), 0);
    faults.clear();
    EXPECT_FALSE(rpc.Wait(faults));
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].faultCode, orx::framework::RPC_FAULT_TIMEOUT);
    auto destroy = std::chrono::steady_clock::now();
    nobody.reset();
    transport.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - destroy, std::chrono::seconds(3));
    rpc.SetDefaultTimeout(before);
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
    };
    for (const Case& c : cases) {
        std::string out;
        int rc = RunCommand("timeout 10 " + std::string(kFrild) + " " + c.args, &out);
        EXPECT_EQ(rc, c.rc) << c.args << ": " << out;
        EXPECT_NE(out.find(c.text), std::string::npos) << c.args << ": " << out;
    }
}

}  // namespace
