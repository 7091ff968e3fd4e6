// Requests and notifications of the software test port: called directly, through the in-process
// transport and the host's RPC manager, and through frild over ZeroMQ and the RPC manager.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include <orx/framework/Rpc.h>
#include <orx/il/FramePump.h>
#include <orx/il/MemoryFrames.h>
#include <orx/il/PcapFiles.h>
#include <orx/msglib/Codec.h>
#include <orx/transport/InProcIlTransport.h>
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

constexpr uint32_t kSrcA = 0x0A000001;
constexpr uint32_t kSrcB = 0x0A000063;
const std::string kSpecSql =
    "SELECT PrimaryHandle, MatchedRxFrameCount, TxFrameCount FROM ResponderProfileResults WHERE "
    "(StatsLastModified > %LastNotificationTime%) AND PrimaryHandle IN (12,15) GROUP BY "
    "PrimaryHandle ";

enum class Via { Direct, InProc, Frild };

class RequestTest : public ::testing::TestWithParam<Via> {
  protected:
    void SetUp() override {
        if (GetParam() == Via::Frild) {
            std::string base = ::testing::TempDir() + "frild-request-" + std::to_string(::getpid());
            m_input = base + "-in.pcap";
            PcapFileSink(m_input).Close();
            frild = std::make_unique<FrildProcess>(
                std::vector<std::string>{"--bind", FrildProcess::kAnyLoopbackPort, "--ports", "2",
                                         "--pcap-in", "0=" + m_input},
                base + ".log");
            transport = std::make_shared<orx::transport::ZmqIlTransport>(frild->Endpoint());
        } else {
            il = std::make_shared<IlServer>(std::vector<uint16_t>{0, 1});
            if (GetParam() == Via::InProc)
                transport = std::make_shared<orx::transport::InProcIlTransport>(il);
        }
        if (transport)
            CRpcManager::Instance().Attach(*transport);
    }
    void TearDown() override {
        transport.reset();
        if (frild) {
            EXPECT_EQ(frild->Kill(SIGTERM), 0) << frild->Log();
            frild.reset();
        }
    }

    // Sends one request and returns the answer (encoded and decoded on the way both ways).
    Message Call(Message request) {
        if (GetParam() == Via::Direct) {
            std::vector<uint8_t> bytes = msglib::encode(request);
            return msglib::decode(il->HandleEncoded(bytes.data(), bytes.size()));
        }
        Messenger messenger(transport, request.get_destination(), transport->Describe());
        Message response;
        std::vector<ErrorMsg> errors;
        EXPECT_TRUE(
            CRpcManager::Instance().SendAndWait(&messenger, request, response, errors, 5000));
        return response;
    }

    Message Configure(uint16_t port, const std::vector<respConfig_s>& configs,
                      std::vector<errorMsg_s>* errors) {
        Message r = Call(ConfigRequest(port, configs));
        if (r.get_msg_type() == TMT_RESPONSE)
            parse_resp_ConfigResponder(&r, errors);
        return r;
    }
    // What the IL holds, read from the IL itself.
    std::vector<ResponderView> Held() {
        if (GetParam() == Via::Direct)
            return il->Describe();
        Message show;
        diag::CreateShowRequest(&show);
        return diag::ParseShowResponse(Call(show));
    }
    void Replay(std::vector<StoredFrame> frames) {
        if (GetParam() == Via::Frild) {
            // frild replays its --pcap-in capture, read afresh on every replay request.
            PcapFileSink input(m_input);
            for (const StoredFrame& f : frames) {
                TxFrame tx{f.bytes.data(), static_cast<uint32_t>(f.bytes.size()), 0, f.timeNs};
                input.Transmit(&tx, 1);
            }
            input.Close();
            Message replay;
            diag::CreateReplayRequest(&replay);
            auto ports = diag::ParseReplayResponse(Call(replay));
            ASSERT_EQ(ports.size(), 1u);
            EXPECT_EQ(ports[0].framesRead, frames.size());
            return;
        }
        MemoryFrameSource source(std::move(frames));
        CountingFrameSink sink;
        FramePump pump;
        pump.AddSource(*il->Engine(0), source);
        pump.AddSink(0, sink);
        pump.RunToEnd();
    }
    std::vector<Stats_1_bll::commandResultFaster_s> Sql(const std::string& command) {
        Message m;
        create_req_DoSQLFaster(&m, {command}, true);
        m.set_destination(0);
        Message r = Call(m);
        EXPECT_EQ(r.get_msg_type(), TMT_RESPONSE);
        std::vector<Stats_1_bll::commandResultFaster_s> out;
        Stats_1_bll::parse_resp_DoSQLFaster(&r, &out);
        return out;
    }

    std::shared_ptr<IlServer> il;  // Direct and InProc
    std::unique_ptr<FrildProcess> frild;
    std::shared_ptr<orx::framework::IlTransport> transport;
    std::string m_input;
};

void ExpectFault(const Message& r, int32_t code, const std::string& text) {
    ASSERT_EQ(r.get_msg_type(), TMT_FAILED_RESPONSE);
    EXPECT_EQ(r.get_member_int32(TMG_MEMBERS, "faultCode"), code);
    EXPECT_NE(r.get_member_string(TMG_MEMBERS, "faultString").find(text), std::string::npos)
        << r.get_member_string(TMG_MEMBERS, "faultString");
}

TEST_P(RequestTest, EveryRequestIsAnsweredWithItsType) {
    std::vector<errorMsg_s> errors{{1, "stale"}};
    Message config = Configure(0, {Config(12, "udp", {Profile(0, {1})})}, &errors);
    EXPECT_EQ(config.get_request_name(), "responder_1.ConfigResponder");
    EXPECT_TRUE(errors.empty());

    std::vector<std::pair<std::string, Message>> requests;
    auto add = [&](void (*build)(Message*, const std::vector<uint32_t>&, bool)) {
        Message m = Request(0, build, {12});
        requests.emplace_back(m.get_request_name(), m);
    };
    add(create_req_Start);
    add(create_req_Stop);
    add(create_req_ClearResult);
    Message m;
    create_req_DoSQL(&m, {"SELECT 1"}, true);
    requests.emplace_back("responder_1.DoSQL", m);
    create_req_DoSQLFaster(&m, {kSpecSql}, true);
    requests.emplace_back("responder_1.DoSQLFaster", m);
    create_req_DoSQLDatabase(&m, "results", {"SELECT 1"}, true);
    requests.emplace_back("responder_1.DoSQLDatabase", m);
    create_req_DoSQLDatabaseFaster(&m, "results", {"SELECT 1"}, true);
    requests.emplace_back("responder_1.DoSQLDatabaseFaster", m);
    create_req_RequestDoSQLNotification(&m, 3, 1000, {kSpecSql}, true);
    requests.emplace_back("responder_1.RequestDoSQLNotification", m);
    create_req_EnableDoSQLNotification(&m, 3, false, true);
    requests.emplace_back("responder_1.EnableDoSQLNotification", m);
    create_req_DeleteDoSQLNotification(&m, 3, true);
    requests.emplace_back("responder_1.DeleteDoSQLNotification", m);
    create_req_RequestDoSQLNotificationFaster(&m, 4, 1000, {kSpecSql}, true);
    requests.emplace_back("responder_1.RequestDoSQLNotificationFaster", m);
    create_req_EnableDoSQLNotificationFaster(&m, 4, true, true);
    requests.emplace_back("responder_1.EnableDoSQLNotificationFaster", m);
    create_req_DeleteDoSQLNotificationFaster(&m, 4, true);
    requests.emplace_back("responder_1.DeleteDoSQLNotificationFaster", m);
    Stats_1_bll::tableEventProperties_s props{"ResponderProfileResults", false, true, true, true};
    responder_1_bll::create_req_RequestTableEventNotification(&m, 5, 1000, props, true);
    requests.emplace_back("responder_1.RequestTableEventNotification", m);
    create_req_EnableTableEventNotification(&m, 5, true, true);
    requests.emplace_back("responder_1.EnableTableEventNotification", m);
    create_req_DeleteTableEventNotification(&m, 5, true);
    requests.emplace_back("responder_1.DeleteTableEventNotification", m);
    add(create_req_RemoveResponder);

    for (auto& [name, request] : requests) {
        request.set_destination(0);
        Message r = Call(request);
        EXPECT_EQ(r.get_msg_type(), TMT_RESPONSE)
            << name << ": "
            << (r.has_member(TMG_MEMBERS, "faultString")
                    ? r.get_member_string(TMG_MEMBERS, "faultString")
                    : "");
        EXPECT_EQ(r.get_request_name(), name);
    }
    EXPECT_TRUE(Held().empty()) << "RemoveResponder removed handle 12";
}

TEST_P(RequestTest, RefusesFiltersThatDoNotCompileAndInstallsTheOthers) {
    respProfile_s badOp = Profile(0, {});
    badOp.modifierArray.push_back({7, 0, {0xFF}, {0x01}});
    respProfile_s uneven = Profile(0, {});
    uneven.modifierArray.push_back({SET_VALUE, 0, {0xFF, 0xFF}, {0x01}});
    std::vector<errorMsg_s> errors;
    Configure(0,
              {Config(1, "udp", {Profile(0, {1})}), Config(2, "udp and and", {}),
               Config(3, "arp or udp", {Profile(0, {3})}), Config(4, "udp", {badOp}),
               Config(5, "udp", {uneven})},
              &errors);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].configHandle, 2u);
    EXPECT_NE(errors[0].errorString.find("syntax error"), std::string::npos)
        << errors[0].errorString;  // libpcap's own text
    EXPECT_EQ(errors[1].configHandle, 4u);
    EXPECT_NE(errors[1].errorString.find("unknown opcode 7"), std::string::npos);
    EXPECT_EQ(errors[2].configHandle, 5u);
    EXPECT_NE(errors[2].errorString.find("Mask has 2 bytes but Value has 1"), std::string::npos);

    ASSERT_EQ(Held().size(), 2u);
    ASSERT_EQ(Call(Request(0, create_req_Start, {1, 3})).get_msg_type(), TMT_RESPONSE);
    Replay({{UdpFrame(kSrcA, 53), 1}});
    for (const auto& c : Held())
        EXPECT_EQ(c.transmitted, 1u) << c.handle;
}

TEST_P(RequestTest, FaultsAreFailedResponsesWithCodeAndText) {
    Message unknown;
    unknown.set_request_name("responder_1.Reboot");
    unknown.set_destination(0);
    ExpectFault(Call(unknown), FAULT_UNKNOWN_REQUEST, "unknown request \"responder_1.Reboot\"");

    std::vector<errorMsg_s> errors;
    ExpectFault(Configure(7, {}, &errors), FAULT_REFUSED, "port 7 is not served");

    Message empty;
    empty.set_request_name("responder_1.Start");
    empty.set_destination(0);
    ExpectFault(Call(empty), FAULT_BAD_MESSAGE, "handleList");

    Message sql;
    create_req_DoSQLFaster(&sql, {"SELECT x FROM nowhere"}, true);
    sql.set_destination(0);
    ExpectFault(Call(sql), FAULT_SQL, "no such table: nowhere");
    create_req_DoSQLFaster(&sql, {"DELETE FROM ResponderProfileResults"}, true);
    ExpectFault(Call(sql), FAULT_SQL,
                "DELETE from ResponderProfileResults is not allowed (the IL runs only reads of "
                "ResponderProfileResults and LiveInterfaceResults)");
    // ATTACH would create the file wherever asked, also on the machine of a remote IL.
    const std::string attached =
        ::testing::TempDir() + "attached-" + std::to_string(::getpid()) + ".db";
    create_req_DoSQLFaster(&sql, {"ATTACH DATABASE '" + attached + "' AS a"}, true);
    ExpectFault(Call(sql), FAULT_SQL, "ATTACH of \"" + attached + "\" is not allowed");
    EXPECT_NE(::access(attached.c_str(), F_OK), 0) << attached << " was created";
    // SQLite reads up to a NUL byte; the IL used to prepare the empty rest for ever.
    create_req_DoSQLFaster(&sql, {std::string("SELECT 1;\0SELECT 2", 18)}, true);
    ExpectFault(Call(sql), FAULT_SQL, "NUL byte at 9");

    Message ifs;
    create_req_DeleteInterfaces(&ifs, {1}, true);
    ifs.set_destination(0);
    ExpectFault(Call(ifs), FAULT_REFUSED, "not supported");

    if (GetParam() == Via::Direct) {
        std::vector<uint8_t> garbage = {'T', 'M', 'S', 'G', 9, 9, 9};
        Message r = msglib::decode(il->HandleEncoded(garbage.data(), garbage.size()));
        ExpectFault(r, FAULT_BAD_MESSAGE, "undecodable request");
    } else {
        // Without a delegate the host's RPC manager turns the fault into an error record.
        Messenger messenger(transport, 0, transport->Describe());
        ASSERT_EQ(CRpcManager::Instance().SendAsyncMessage(&messenger, unknown, nullptr, nullptr,
                                                           5000, false),
                  0);
        std::vector<ErrorMsg> faults;
        EXPECT_FALSE(CRpcManager::Instance().Wait(faults));
        ASSERT_EQ(faults.size(), 1u);
        EXPECT_EQ(faults[0].faultCode, FAULT_UNKNOWN_REQUEST);
        EXPECT_NE(faults[0].faultString.find("responder_1.Reboot"), std::string::npos);
    }
}

TEST_P(RequestTest, CountersReachTheSqlAndClearResultZeroesThem) {
    std::vector<errorMsg_s> errors;
    Configure(0,
              {Config(12, "src host 10.0.0.1", {Profile(0, {1}), Profile(0, {2})}),
               Config(15, "udp", {Profile(1, {3})}), Config(20, "udp", {})},
              &errors);
    ASSERT_EQ(Call(Request(0, create_req_Start, {12, 15, 20})).get_msg_type(), TMT_RESPONSE);
    std::vector<StoredFrame> frames;
    for (int i = 0; i < 5; ++i)
        frames.push_back({UdpFrame(i < 3 ? kSrcA : kSrcB, 53), i * 1000});
    Replay(frames);

    auto results = Sql(kSpecSql);
    ASSERT_EQ(results.size(), 1u);
    const auto& r = results[0];
    ASSERT_EQ(r.columnOrder.size(), 3u);
    for (uint32_t c = 0; c < 3; ++c) {
        EXPECT_EQ(r.columnOrder[c].valType, Stats_1_bll::columnVal_t::INT64);
        EXPECT_EQ(r.columnOrder[c].valIndex, c);
    }
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0].int64Values, (std::vector<int64_t>{12, 3, 6}));
    EXPECT_EQ(r.rows[1].int64Values, (std::vector<int64_t>{15, 5, 5}));

    ASSERT_EQ(Call(Request(0, create_req_ClearResult, {12})).get_msg_type(), TMT_RESPONSE);
    results =
        Sql("SELECT PrimaryHandle, MatchedRxFrameCount, TxFrameCount, RxFrameRate, SecondaryHandle "
            "FROM ResponderProfileResults ORDER BY PrimaryHandle");
    ASSERT_EQ(results[0].rows.size(), 3u);
    EXPECT_EQ(results[0].rows[0].int64Values, (std::vector<int64_t>{12, 0, 0, 0, 0}));
    EXPECT_EQ(results[0].rows[1].int64Values, (std::vector<int64_t>{15, 5, 5, 5, 0}));
    Replay({{UdpFrame(kSrcA, 53), 9000}});
    results =
        Sql("SELECT MatchedRxFrameCount, TxFrameCount FROM ResponderProfileResults "
            "WHERE PrimaryHandle = 12");
    EXPECT_EQ(results[0].rows[0].int64Values, (std::vector<int64_t>{1, 2}));
}

TEST_P(RequestTest, NotificationArrivesAtItsInterval) {
    std::vector<errorMsg_s> errors;
    Configure(0, {Config(12, "udp", {}), Config(15, "arp", {})}, &errors);
    ASSERT_EQ(Call(Request(0, create_req_Start, {12, 15})).get_msg_type(), TMT_RESPONSE);
    Replay({{UdpFrame(kSrcA, 53), 1000}});
    std::vector<Message> received;
    if (GetParam() == Via::Direct) {
        il->SetNotificationSink(
            [&](std::vector<uint8_t> bytes) { received.push_back(msglib::decode(bytes)); });
    } else {
        CRpcManager::Instance().SetNotificationHandler([&](Message& m) { received.push_back(m); });
    }
    Message m;
    create_req_RequestDoSQLNotificationFaster(&m, 42, 50, {kSpecSql}, true);
    m.set_destination(0);
    auto requested = std::chrono::steady_clock::now();
    ASSERT_EQ(Call(m).get_msg_type(), TMT_RESPONSE);
    auto deadline = requested + std::chrono::seconds(5);
    while (received.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (GetParam() == Via::Direct) {
            il->PollNotifications();
        } else {
            CRpcManager::Instance().ProcessNotifications();
        }
    }
    ASSERT_EQ(received.size(), 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - requested, std::chrono::milliseconds(50));
    EXPECT_EQ(received[0].get_request_name(), "responder_1.DoSQLNotifyFaster");
    uint32_t id = 0;
    std::vector<Stats_1_bll::commandResultFaster_s> results;
    responder_1_bll::parse_req_DoSQLNotifyFaster(&received[0], &id, &results);
    EXPECT_EQ(id, 42u);
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), 2u);  // the first notification has every row
    EXPECT_EQ(results[0].rows[0].int64Values, (std::vector<int64_t>{12, 1, 0}));
    if (GetParam() != Via::Direct)
        CRpcManager::Instance().SetNotificationHandler({});
}

INSTANTIATE_TEST_SUITE_P(Il, RequestTest, ::testing::Values(Via::Direct, Via::InProc, Via::Frild),
                         [](const auto& info) {
                             return info.param == Via::Direct   ? "Direct"
                                    : info.param == Via::InProc ? "InProc"
                                                                : "Frild";
                         });

// Only rows that changed since the subscription's previous notification go out; an interval
// without changes sends nothing.
TEST(NotificationTest, OnlyChangedRowsAtEachInterval) {
    int64_t now = 1000000;
    IlServer il({0}, [&now] { return now; });
    std::vector<std::pair<uint32_t, std::vector<Stats_1_bll::commandResultFaster_s>>> got;
    il.SetNotificationSink([&](std::vector<uint8_t> bytes) {
        Message m = msglib::decode(bytes);
        EXPECT_EQ(m.get_destination(), 0u);
        uint32_t id = 0;
        std::vector<Stats_1_bll::commandResultFaster_s> results;
        responder_1_bll::parse_req_DoSQLNotifyFaster(&m, &id, &results);
        got.emplace_back(id, results);
    });
    ASSERT_EQ(il.Handle(ConfigRequest(0, {Config(12, "src host 10.0.0.1", {}),
                                          Config(15, "src host 10.0.0.99", {})}))
                  .get_msg_type(),
              TMT_RESPONSE);
    il.Handle(Request(0, create_req_Start, {12, 15}));
    Message sub;
    create_req_RequestDoSQLNotificationFaster(&sub, 9, 100, {kSpecSql}, true);
    sub.set_destination(0);
    ASSERT_EQ(il.Handle(sub).get_msg_type(), TMT_RESPONSE);

    auto replay = [&](uint32_t src, int64_t t) {
        MemoryFrameSource source({{UdpFrame(src, 53), t}});
        FramePump pump;
        pump.AddSource(*il.Engine(0), source);
        pump.RunToEnd();
    };
    EXPECT_EQ(il.PollNotifications(), now + 100000);
    EXPECT_TRUE(got.empty()) << "nothing before the first interval";
    replay(kSrcA, 1000);
    replay(kSrcB, 2000);
    now += 100000;
    il.PollNotifications();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].first, 9u);
    EXPECT_EQ(got[0].second[0].rows.size(), 2u);

    replay(kSrcA, 3000);
    now += 60000;
    il.PollNotifications();
    EXPECT_EQ(got.size(), 1u) << "not due yet";
    now += 40000;
    il.PollNotifications();
    ASSERT_EQ(got.size(), 2u);
    ASSERT_EQ(got[1].second[0].rows.size(), 1u);
    EXPECT_EQ(got[1].second[0].rows[0].int64Values, (std::vector<int64_t>{12, 2, 0}));

    now += 100000;
    il.PollNotifications();
    EXPECT_EQ(got.size(), 2u) << "no change, no notification";

    Message disable;
    create_req_EnableDoSQLNotificationFaster(&disable, 9, false, true);
    disable.set_destination(0);
    il.Handle(disable);
    replay(kSrcA, 4000);
    now += 100000;
    EXPECT_EQ(il.PollNotifications(), IlServer::kNever);
    EXPECT_EQ(got.size(), 2u);

    Message bad;
    create_req_RequestDoSQLNotificationFaster(&bad, 10, 0, {kSpecSql}, true);
    bad.set_destination(0);
    ExpectFault(il.Handle(bad), FAULT_REFUSED, "intervalMS must be at least 1");
}

}  // namespace
