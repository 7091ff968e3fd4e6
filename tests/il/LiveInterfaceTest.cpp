// Live interfaces: frild answers real ARP requests that iputils arping sends over a veth pair in
// a network namespace of the test's own. Needs root, iproute2 and arping; skipped otherwise.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include <orx/framework/Rpc.h>
#include <orx/il/Diag.h>
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

namespace {

const std::vector<uint8_t> kPeerMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x0b};       // vb, arping
const std::vector<uint8_t> kResponderMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x99};  // answered
const std::vector<uint8_t> kPeerIp = {192, 0, 2, 1};
const std::vector<uint8_t> kResponderIp = {192, 0, 2, 2};

// The fixed ARP reply: "192.0.2.2 is at 02:00:00:00:00:99", to the asking end.
std::vector<uint8_t> ArpReply() {
    std::vector<uint8_t> f = kPeerMac;
    f.insert(f.end(), kResponderMac.begin(), kResponderMac.end());
    f.insert(f.end(), {0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x02});
    f.insert(f.end(), kResponderMac.begin(), kResponderMac.end());
    f.insert(f.end(), kResponderIp.begin(), kResponderIp.end());
    f.insert(f.end(), kPeerMac.begin(), kPeerMac.end());
    f.insert(f.end(), kPeerIp.begin(), kPeerIp.end());
    f.resize(60, 0);
    return f;
}

class LiveArpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to create a network namespace and a veth pair";
        if (RunCommand("command -v ip && command -v arping") != 0)
            GTEST_SKIP() << "needs iproute2 (ip) and iputils arping (scripts/setup-deps.sh)";
        m_ns = "orxlive" + std::to_string(::getpid());
        std::string out;
        if (RunCommand("timeout 10 ip netns add " + m_ns, &out) != 0)
            GTEST_SKIP() << "this machine does not allow network namespaces: " << out;
        m_created = true;
        std::string in = "timeout 10 ip netns exec " + m_ns + " ";
        for (const std::string& cmd :
             {in + "ip link add va type veth peer name vb",
              in + "ip link set vb address 02:00:00:00:00:0b", in + "ip link set va up",
              in + "ip link set vb up", in + "ip addr add 192.0.2.1/24 dev vb"}) {
            if (RunCommand(cmd, &out) != 0)
                GTEST_SKIP() << "cannot set up the veth pair (" << cmd << "): " << out;
        }
    }
    void TearDown() override {
        m_transport.reset();
        if (m_frild)
            m_frild->Kill(SIGTERM);
        m_frild.reset();
        // Deleting the namespace deletes the veth pair that lives in it.
        if (m_created)
            RunCommand("timeout 10 ip netns del " + m_ns);
    }

    Message Call(Message request) {
        Messenger messenger(m_transport, request.get_destination(), m_transport->Describe());
        Message response;
        std::vector<ErrorMsg> errors;
        EXPECT_TRUE(
            CRpcManager::Instance().SendAndWait(&messenger, request, response, errors, 5000));
        return response;
    }

    std::string m_ns;
    bool m_created = false;
    std::unique_ptr<FrildProcess> m_frild;
    std::shared_ptr<orx::transport::ZmqIlTransport> m_transport;
};

TEST_F(LiveArpTest, ArpingReceivesTheFixedReplies) {
    // An ipc endpoint reaches the daemon inside the namespace from the test outside it.
    std::string endpoint =
        "ipc://" + ::testing::TempDir() + "frild-live-" + std::to_string(::getpid());
    m_frild = std::make_unique<FrildProcess>(
        std::vector<std::string>{"--bind", endpoint, "--ports", "1", "--iface", "0=va"},
        ::testing::TempDir() + "frild-live-" + std::to_string(::getpid()) + ".log",
        std::vector<std::string>{"ip", "netns", "exec", m_ns});
    m_transport = std::make_shared<orx::transport::ZmqIlTransport>(endpoint);

    std::vector<errorMsg_s> errors;
    Message r = Call(ConfigRequest(0, {Config(1, "arp", {Profile(0, ArpReply())})}));
    ASSERT_EQ(r.get_msg_type(), TMT_RESPONSE);
    parse_resp_ConfigResponder(&r, &errors);
    ASSERT_TRUE(errors.empty());
    ASSERT_EQ(Call(Request(0, create_req_Start, {1})).get_msg_type(), TMT_RESPONSE);

    std::string out;
    int rc =
        RunCommand("timeout 20 ip netns exec " + m_ns + " arping -c 3 -w 10 -I vb 192.0.2.2", &out);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("Received 3 response(s)"), std::string::npos) << out;
    EXPECT_NE(out.find("02:00:00:00:00:99"), std::string::npos) << out;

    Message show;
    diag::CreateShowRequest(&show, 0);
    auto held = diag::ParseShowResponse(Call(show));
    ASSERT_EQ(held.size(), 1u);
    // Its own replies go out on va and are not captured back: only arping's requests match.
    EXPECT_GE(held[0].matched, 3u);
    EXPECT_LE(held[0].matched, 6u) << "a responder that heard its own replies would loop";
    EXPECT_EQ(held[0].transmitted, held[0].matched);
    EXPECT_EQ(m_frild->Kill(SIGTERM), 0) << m_frild->Log();
}

// Two ports, each on its own veth pair; the configuration on port 0 answers on both. When the
// second pair goes away its port ends with the capture's error, its transmissions are counted as
// failed, and port 0 goes on answering.
TEST_F(LiveArpTest, APortWhoseInterfaceDisappearsEndsAloneAndItsFailedSendsAreCounted) {
    std::string out;
    const std::string in = "timeout 10 ip netns exec " + m_ns + " ";
    for (const std::string& cmd : {in + "ip link add vc type veth peer name vd",
                                   in + "ip link set vc up", in + "ip link set vd up"}) {
        ASSERT_EQ(RunCommand(cmd, &out), 0) << cmd << ": " << out;
    }
    std::string endpoint =
        "ipc://" + ::testing::TempDir() + "frild-gone-" + std::to_string(::getpid());
    m_frild = std::make_unique<FrildProcess>(
        std::vector<std::string>{"--bind", endpoint, "--ports", "2", "--iface", "0=va", "--iface",
                                 "1=vc", "--capture-buffer", "1=2"},
        ::testing::TempDir() + "frild-gone-" + std::to_string(::getpid()) + ".log",
        std::vector<std::string>{"ip", "netns", "exec", m_ns});
    m_transport = std::make_shared<orx::transport::ZmqIlTransport>(endpoint);
    Message r = Call(
        ConfigRequest(0, {Config(1, "arp", {Profile(0, ArpReply()), Profile(1, ArpReply())})}));
    ASSERT_EQ(r.get_msg_type(), TMT_RESPONSE);
    ASSERT_EQ(Call(Request(0, create_req_Start, {1})).get_msg_type(), TMT_RESPONSE);
    auto links = [&] {
        Message show;
        diag::CreateLinksRequest(&show);
        return diag::ParseLinksResponse(Call(show));
    };
    const std::string arping =
        "timeout 20 ip netns exec " + m_ns + " arping -c 2 -w 10 -I vb 192.0.2.2";
    ASSERT_EQ(RunCommand(arping, &out), 0) << out;
    auto before = links();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].interface, "va");
    EXPECT_EQ(before[1].interface, "vc");
    EXPECT_EQ(before[1].transmitted, before[0].transmitted);
    EXPECT_EQ(before[1].transmitFailed, 0u);
    EXPECT_TRUE(before[1].error.empty()) << before[1].error;

    ASSERT_EQ(RunCommand(in + "ip link del vc", &out), 0) << out;
    ASSERT_EQ(RunCommand(arping, &out), 0) << out;
    EXPECT_NE(out.find("Received 2 response(s)"), std::string::npos) << out;
    std::vector<LinkView> after;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        after = links();
        if (after.size() == 2 && !after[1].error.empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_TRUE(after[0].error.empty()) << after[0].error;
    EXPECT_EQ(after[0].transmitFailed, 0u);
    EXPECT_GE(after[0].transmitted, before[0].transmitted + 2);
    EXPECT_NE(after[1].error.find("capture failed"), std::string::npos) << after[1].error;
    // Every answer meant for the gone interface is counted, none lost without a trace.
    EXPECT_EQ(after[1].transmitted + after[1].transmitFailed, after[0].transmitted);
    EXPECT_GE(after[1].transmitFailed, 2u);
    EXPECT_EQ(m_frild->Kill(SIGTERM), 0) << m_frild->Log();
}

}  // namespace
