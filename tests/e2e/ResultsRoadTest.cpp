// The results road in one process: the plug-in loaded through the host's loader, a scenario
// applied to real software test ports, frames pushed into their engines, and what the host's
// result objects, notifications and end-of-test file then hold, checked against the IL's own
// counters and read back with SQLite itself.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include <orx/core/Apply.h>
#include <orx/core/HostClasses.h>
#include <orx/core/Protocol.h>
#include <orx/core/Results.h>
#include <orx/framework/Exceptions.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/PluginLoader.h>
#include <orx/framework/Rpc.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/il/Diag.h>
#include <orx/il/IlServer.h>
#include <orx/il/PortEngine.h>
#include <orx/msglib/Codec.h>
#include <orx/msglib/Message.h>
#include <orx/scenario/ScenarioBuilder.h>
#include "FrildSupport.h"
#include "IlWiring.h"
#include "RecordingTransport.h"

using namespace orx::framework;
using namespace orx::core;
using namespace orx::scenario;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kProbeConfigClass = 0x96002000;
constexpr uint32_t kResultClass = 0x96004000;
constexpr uint32_t kIntervalMs = 20;

// Ethernet II frames as a test port would receive them.
std::vector<uint8_t> ArpRequest() {
    return {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x10, 0x94, 0x00, 0x00, 0x02, 0x08, 0x06,
            0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01, 0x00, 0x10, 0x94, 0x00, 0x00, 0x02,
            0x0a, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x01};
}
std::vector<uint8_t> UdpDatagram() {
    return {0x00, 0x10, 0x94, 0x00, 0x00, 0x01, 0x00, 0x10, 0x94, 0x00, 0x00, 0x02, 0x08, 0x00,
            0x45, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x00, 0x40, 0x11, 0x00, 0x00, 0x0a, 0x00,
            0x00, 0x02, 0x0a, 0x00, 0x00, 0x01, 0x30, 0x39, 0x00, 0x35, 0x00, 0x08, 0x00, 0x00};
}

// Port 0 holds an ARP and a UDP configuration, port 1 an ARP one.
constexpr const char* kTwoPorts = R"({
  "modules": [{"name": "m", "equipment": "//127.0.0.1/1", "model": "SW",
               "capabilities": {"supportsFrameResponder": true}}],
  "objects": [
    {"class": "Port", "name": "port1", "module": "m", "index": 0, "Online": true, "children": [
      {"class": "Probe", "name": "probe1", "children": [
        {"class": "ProbeFrameResponseConfig", "name": "arp1", "Filter": "arp", "children": [
          {"class": "FrameResponseProfile", "TxPort": "@port1",
           "FrameConfig": {"file": "../frames/arp-reply.xml"}}]}]},
      {"class": "Probe", "name": "probe2", "children": [
        {"class": "ProbeFrameResponseConfig", "name": "udp1", "Filter": "udp", "children": [
          {"class": "FrameResponseProfile", "TxPort": "@port1"}]}]}]},
    {"class": "Port", "name": "port2", "module": "m", "index": 1, "Online": true, "children": [
      {"class": "Probe", "name": "probe3", "children": [
        {"class": "ProbeFrameResponseConfig", "name": "arp2", "Filter": "arp", "children": [
          {"class": "FrameResponseProfile", "TxPort": "@port2",
           "FrameConfig": {"file": "../frames/arp-reply.xml"}}]}]}]}]})";

PropId PropOf(ClassId classId, const std::string& name) {
    const CMetaClass* meta = CMetaClassManager::Instance().GetClass(classId);
    const CMetaProperty* p = meta ? meta->FindProperty(name) : nullptr;
    if (!p)
        throw std::runtime_error("no property " + name);
    return p->GetId();
}

struct Counts {
    uint64_t matched = 0;
    uint64_t transmitted = 0;
    uint64_t rate = 0;
    bool operator==(const Counts&) const = default;
};

// Stands for a result object that is not there.
constexpr Counts kNone{~0ull, ~0ull, ~0ull};

std::ostream& operator<<(std::ostream& out, const Counts& c) {
    return out << "{matched " << c.matched << ", transmitted " << c.transmitted << ", rate "
               << c.rate << "}";
}

class ResultsRoadTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        BLLLoggerFactory::GetInstance()->SetConsoleEnabled(false);
        std::string error;
        ASSERT_TRUE(PluginLoader::Instance().Load(ORX_PLUGIN_PATH, &error)) << error;
    }
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::path(::testing::TempDir()) / (std::string("results_") + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        Handler().UnsubscribeAll();
        CResultModule::Instance().SetEndOfTestFile("");
        CProject::Instance().Reset();
        CRpcManager::Instance().ProcessNotifications();
        fs::remove_all(m_dir);
    }

    static CPagedResultHandler& Handler() {
        CPagedResultHandler* h =
            CResultModule::Instance().FindHandler(ResultType(kProbeConfigClass, kResultClass));
        if (!h)
            throw std::runtime_error("the plug-in registered no handler for probe results");
        return *h;
    }

    // Loads the scenario, puts a recording transport in front of each module's IL, applies it
    // and starts every responder.
    void LoadApplyStart(const std::string& json) {
        m_scenario = ScenarioLoader::LoadText(json, ORX_EXAMPLES_DIR "/scenarios", "road.json");
        m_ils = frhost::ConnectIls(m_scenario);
        for (auto& il : m_ils) {
            m_transports.push_back(std::make_shared<testsupport::RecordingTransport>(il.transport));
            auto* module =
                dynamic_cast<CPhysicalTestModule*>(CHandleRegistry::Instance().Find(il.module));
            module->SetIlTransport(m_transports.back());
        }
        Apply();
        auto start = CScriptableCreator::CreateAPT<CProtocolStartCommand>();
        start->Execute();
    }
    static void Apply() {
        ApplyResult result = ProjectApply::Apply();
        ASSERT_TRUE(result.ok) << result.error;
    }
    uint32_t SubscribeProject() {
        return Handler().Subscribe(ResultSubscription(ResultType(kProbeConfigClass, kResultClass),
                                                      {ORX_PROJECT_HANDLE}, {}, kIntervalMs));
    }

    Handle Object(const std::string& name) const { return m_scenario.FindObject(name); }
    orx::il::IlServer& Il() { return *m_ils.at(0).il; }
    testsupport::RecordingTransport& Transport() { return *m_transports.at(0); }

    // Frames received on a port, one millisecond apart.
    void Receive(uint16_t port, const std::vector<std::vector<uint8_t>>& frames) {
        std::vector<orx::il::RxFrame> rx;
        for (const auto& f : frames) {
            m_clockNs += 1000000;
            rx.push_back(orx::il::RxFrame{f.data(), static_cast<uint32_t>(f.size()), m_clockNs});
        }
        orx::il::TxBatch out;
        Il().Engine(port)->Process(rx.data(), rx.size(), out);
    }

    // What the result object under configuration `config` holds (kNone without one).
    static Counts ResultOf(Handle config) {
        CScriptable* parent = CHandleRegistry::Instance().Find(config);
        CScriptable* result = parent ? parent->GetObject(ClassId(kResultClass)) : nullptr;
        if (!result)
            return kNone;
        return Counts{result->GetT<uint64_t>(PropOf(kResultClass, "MatchedRxFrameCount")),
                      result->GetT<uint64_t>(PropOf(kResultClass, "TxFrameCount")),
                      result->GetT<uint64_t>(PropOf(kResultClass, "RxFrameRate"))};
    }
    // What the IL holds, by configuration handle.
    std::map<Handle, Counts> IlCounts() {
        std::map<Handle, Counts> out;
        for (const auto& c : Il().Counters())
            out[c.handle] = Counts{c.matched, c.transmitted, c.rate};
        return out;
    }
    std::map<Handle, Counts> ResultCounts(const std::vector<Handle>& configs) {
        std::map<Handle, Counts> out;
        for (Handle h : configs) {
            if (Counts c = ResultOf(h); c != kNone)
                out[h] = c;
        }
        return out;
    }

    // Delivers notifications until `done` holds or two seconds have passed.
    template <class Done>
    static bool DeliverUntil(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        for (;;) {
            CRpcManager::Instance().ProcessNotifications();
            if (done())
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    static int CountOf(const std::vector<std::string>& names, const std::string& name) {
        return static_cast<int>(std::count(names.begin(), names.end(), name));
    }

    fs::path m_dir;
    Scenario m_scenario;
    std::vector<frhost::ModuleIl> m_ils;
    std::vector<std::shared_ptr<testsupport::RecordingTransport>> m_transports;
    int64_t m_clockNs = 0;
};

TEST_F(ResultsRoadTest, EachConfigurationsResultObjectHoldsWhatItsTestPortCounted) {
    LoadApplyStart(kTwoPorts);
    const std::vector<Handle> configs{Object("arp1"), Object("udp1"), Object("arp2")};
    SubscribeProject();
    for (Handle h : configs)
        ASSERT_EQ(ResultOf(h), Counts{}) << h;
    EXPECT_EQ(CountOf(Transport().Names(), "responder_1.RequestDoSQLNotificationFaster"), 2)
        << "one request per port";

    const auto arp = ArpRequest();
    const auto udp = UdpDatagram();
    Receive(0, {arp, udp, arp, arp, udp});
    Receive(1, {arp});
    const std::map<Handle, Counts> expected{
        {configs[0], {3, 3, 3}}, {configs[1], {2, 2, 2}}, {configs[2], {1, 1, 1}}};
    ASSERT_EQ(IlCounts(), expected);

    // The notifications alone bring the counts.
    EXPECT_TRUE(DeliverUntil([&] { return ResultCounts(configs) == expected; }))
        << ::testing::PrintToString(ResultCounts(configs));

    // More frames, then one refresh: exactly the test port's values of this moment.
    Receive(0, {udp, udp});
    CRpcManager::Instance().ProcessNotifications();
    Handler().RefreshAll();
    EXPECT_EQ(ResultCounts(configs), IlCounts());
    EXPECT_EQ(ResultOf(configs[1]).matched, 4u);
}

TEST_F(ResultsRoadTest, ResultObjectsDoNotMakeTheConfigurationsDirty) {
    LoadApplyStart(kTwoPorts);
    SubscribeProject();
    Receive(0, {ArpRequest()});
    Handler().RefreshAll();
    ASSERT_EQ(ResultOf(Object("arp1")).matched, 1u);
    const auto before = Transport().Names();
    ASSERT_EQ(CountOf(before, "responder_1.ConfigResponder"), 2);

    Apply();
    const auto after = Transport().Names();
    EXPECT_EQ(CountOf(after, "responder_1.ConfigResponder"), 2);
    EXPECT_EQ(CountOf(after, "responder_1.RemoveResponder"), 0);
    // Nor does the subscription get asked again for an unchanged project.
    EXPECT_EQ(CountOf(after, "responder_1.RequestDoSQLNotificationFaster"),
              CountOf(before, "responder_1.RequestDoSQLNotificationFaster"));
}

TEST_F(ResultsRoadTest, ALiveSubscriptionFollowsConfigurationsAddedAndRemoved) {
    LoadApplyStart(kTwoPorts);
    const uint32_t id = SubscribeProject();

    // A UDP configuration on port 2, made the way a user would.
    CScriptable* port2 = CHandleRegistry::Instance().Find(Object("port2"));
    CScriptable* probe = CScriptableCreator::Create(CProbe::CLASS_ID(), port2);
    probe->SetName("probe4");
    CScriptable* config = CScriptableCreator::Create(ClassId(kProbeConfigClass), probe);
    config->SetName("udp2");
    config->SetFromString(PropOf(kProbeConfigClass, "Filter"), "udp");
    CScriptable* profile = CScriptableCreator::Create("FrameResponseProfile", config);
    ASSERT_NE(profile, nullptr);
    profile->SetFromString(PropOf(profile->GetClassId(), "TxPort"),
                           std::to_string(port2->GetObjectHandle()));
    const Handle added = config->GetObjectHandle();
    EXPECT_EQ(ResultOf(added), kNone);

    Apply();
    ASSERT_NE(ResultOf(added), kNone) << "the apply rebuilds the subscription";
    auto start = CScriptableCreator::CreateAPT<CProtocolStartCommand>();
    start->Execute();
    Receive(1, {UdpDatagram(), UdpDatagram(), ArpRequest()});
    EXPECT_TRUE(DeliverUntil([&] { return ResultOf(added) == IlCounts()[added]; }))
        << ResultOf(added);
    EXPECT_EQ(ResultOf(added).matched, 2u);
    EXPECT_EQ(ResultOf(Object("arp2")).matched, 1u);

    // Rows of a configuration that is gone: counted, notified, then the object removed while
    // its notification still waits to be delivered.
    const Handle removed = Object("udp1");
    const int seen = Transport().notifications;
    Receive(0, {UdpDatagram(), ArpRequest()});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (Transport().notifications == seen && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GT(Transport().notifications, seen);
    CHandleRegistry::Instance().Find(removed)->MarkDelete();
    Apply();
    EXPECT_EQ(CHandleRegistry::Instance().Find(removed), nullptr);
    CRpcManager::Instance().ProcessNotifications();
    Receive(0, {ArpRequest()});
    Handler().RefreshAll();
    EXPECT_EQ(ResultOf(Object("arp1")).matched, 2u);
    EXPECT_EQ(IlCounts().count(removed), 0u);
    const CSubscriptionRecord* record = Handler().FindSubscription(id);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->GetPortResultsMap().at(Object("port1")).GetParentMap().count(removed), 0u);

    // A port left with no configuration is told to stop notifying.
    const int deletes = CountOf(Transport().Names(), "responder_1.DeleteDoSQLNotificationFaster");
    CHandleRegistry::Instance().Find(Object("arp2"))->MarkDelete();
    CHandleRegistry::Instance().Find(added)->MarkDelete();
    Apply();
    EXPECT_EQ(CountOf(Transport().Names(), "responder_1.DeleteDoSQLNotificationFaster"),
              deletes + 1);
    EXPECT_EQ(record->GetPortResultsMap().count(Object("port2")), 0u);
    Handler().RefreshAll();
    EXPECT_EQ(ResultOf(Object("arp1")).matched, 2u);
}

TEST_F(ResultsRoadTest, UnsubscribeTellsEachPortAndNothingIsDeliveredAfterwards) {
    LoadApplyStart(kTwoPorts);
    const uint32_t id = SubscribeProject();
    Receive(0, {ArpRequest()});
    ASSERT_TRUE(DeliverUntil([&] { return ResultOf(Object("arp1")).matched == 1; }));

    Handler().Unsubscribe(id);
    EXPECT_EQ(CountOf(Transport().Names(), "responder_1.DeleteDoSQLNotificationFaster"), 2);
    EXPECT_EQ(Handler().FindSubscription(id), nullptr);
    const int seen = Transport().notifications;
    Receive(0, {ArpRequest(), ArpRequest()});
    // Ten intervals in which the test port would have notified twice over.
    std::this_thread::sleep_for(std::chrono::milliseconds(10 * kIntervalMs));
    CRpcManager::Instance().ProcessNotifications();
    EXPECT_EQ(Transport().notifications, seen);
    // The result objects keep their last values.
    EXPECT_EQ(ResultOf(Object("arp1")).matched, 1u);
    EXPECT_EQ(IlCounts()[Object("arp1")].matched, 3u);
}

// Rows of the end-of-test file, read with SQLite itself: parent -> (port, counts).
std::map<int64_t, std::pair<int64_t, Counts>> ReadEndOfTest(const std::string& path) {
    std::map<int64_t, std::pair<int64_t, Counts>> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    const char* sql =
        "SELECT ParentHandle, PortHandle, MatchedRxFrameCount, TxFrameCount, RxFrameRate "
        "FROM FrameResponseResults";
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            auto col = [&](int i) { return sqlite3_column_int64(stmt, i); };
            EXPECT_TRUE(
                rows.emplace(col(0), std::make_pair(col(1), Counts{static_cast<uint64_t>(col(2)),
                                                                   static_cast<uint64_t>(col(3)),
                                                                   static_cast<uint64_t>(col(4))}))
                    .second)
                << "one row per configuration";
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

TEST_F(ResultsRoadTest, StoppingTheTestWritesOneRowPerConfigurationWithItsPort) {
    LoadApplyStart(kTwoPorts);
    SubscribeProject();
    Receive(0, {ArpRequest(), UdpDatagram(), ArpRequest()});
    Receive(1, {ArpRequest(), ArpRequest(), ArpRequest(), ArpRequest()});
    const std::string path = (m_dir / "eot.db").string();
    CResultModule::Instance().SetEndOfTestFile(path);
    auto stop = CScriptableCreator::CreateAPT<CProtocolStopCommand>();
    stop->Execute();

    const auto il = IlCounts();
    const auto port1 = static_cast<int64_t>(Object("port1"));
    const auto port2 = static_cast<int64_t>(Object("port2"));
    const std::map<int64_t, std::pair<int64_t, Counts>> expected{
        {Object("arp1"), {port1, il.at(Object("arp1"))}},
        {Object("udp1"), {port1, il.at(Object("udp1"))}},
        {Object("arp2"), {port2, il.at(Object("arp2"))}}};
    EXPECT_EQ(ReadEndOfTest(path), expected);
    EXPECT_EQ(il.at(Object("arp2")).matched, 4u);
    EXPECT_FALSE(fs::exists(path + ".partial-" + std::to_string(::getpid())));
}

// A capture of `count` frames, written with libpcap.
void WriteCapture(const std::string& path, const std::vector<uint8_t>& frame, int count) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (int i = 0; i < count; ++i) {
        pcap_pkthdr header{};
        header.ts.tv_usec = 1000 * (i + 1);
        header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

TEST_F(ResultsRoadTest, AFrildDaemonsNotificationsReachTheResultObjects) {
    const std::string capture = (m_dir / "requests.pcap").string();
    WriteCapture(capture, ArpRequest(), 3);
    iltest::FrildProcess frild({"--bind", iltest::FrildProcess::kAnyLoopbackPort, "--ports", "1",
                                "--pcap-in", "0=" + capture},
                               (m_dir / "frild.log").string());
    const std::string endpoint = frild.Endpoint();
    // Port 1 only, served by the daemon.
    const std::string scenario =
        R"({"modules": [{"name": "m", "equipment": "//127.0.0.1/1", "model": "SW",
      "capabilities": {"supportsFrameResponder": true}, "il": ")" +
        endpoint + R"("}],
      "objects": [{"class": "Port", "name": "port1", "module": "m", "index": 0, "Online": true,
        "children": [{"class": "Probe", "name": "probe1", "children": [
          {"class": "ProbeFrameResponseConfig", "name": "arp1", "Filter": "arp", "children": [
            {"class": "FrameResponseProfile", "TxPort": "@port1",
             "FrameConfig": {"file": "../frames/arp-reply.xml"}}]}]}]}]})";
    LoadApplyStart(scenario);
    const uint32_t id = SubscribeProject();

    Messenger messenger(m_ils[0].transport, Message::kNoDestination, endpoint);
    Message replay;
    Message answer;
    std::vector<ErrorMsg> errors;
    orx::il::diag::CreateReplayRequest(&replay);
    ASSERT_TRUE(CRpcManager::Instance().SendAndWait(&messenger, replay, answer, errors))
        << (errors.empty() ? "" : errors[0].faultString);
    ASSERT_EQ(orx::il::diag::ParseReplayResponse(answer).at(0).framesRead, 3u);

    EXPECT_TRUE(DeliverUntil([&] { return ResultOf(Object("arp1")).matched == 3; }))
        << ResultOf(Object("arp1")) << "\n"
        << frild.Log();
    EXPECT_EQ(ResultOf(Object("arp1")).transmitted, 3u);
    EXPECT_GT(Transport().notifications, 0);
    // Ended while the daemon still runs: it hears the end like an in-process port.
    Handler().Unsubscribe(id);
    EXPECT_EQ(CountOf(Transport().Names(), "responder_1.DeleteDoSQLNotificationFaster"), 1);
}

}  // namespace
