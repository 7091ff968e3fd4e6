// The main road in one process: the plug-in loaded through the host's loader, a scenario, the
// host's validate-and-apply flow and real software test ports behind the in-process transport.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <orx/core/Apply.h>
#include <orx/core/HostClasses.h>
#include <orx/core/Protocol.h>
#include <orx/framework/Command.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/PluginLoader.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/il/IlServer.h>
#include <orx/il/PortEngine.h>
#include <orx/scenario/ScenarioBuilder.h>
#include "Churn.h"
#include "IlWiring.h"
#include "RecordingTransport.h"

using namespace orx::framework;
using namespace orx::core;
using namespace orx::scenario;

namespace {

class ApplyRoadTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        BLLLoggerFactory::GetInstance()->SetConsoleEnabled(false);
        std::string error;
        ASSERT_TRUE(PluginLoader::Instance().Load(ORX_PLUGIN_PATH, &error)) << error;
    }
    void TearDown() override { CProject::Instance().Reset(); }

    // Loads the scenario and puts a counting transport in front of each module's IL.
    std::vector<frhost::ModuleIl> Load(const std::string& json) {
        Scenario scenario =
            ScenarioLoader::LoadText(json, ORX_EXAMPLES_DIR "/scenarios", "road.json");
        std::vector<frhost::ModuleIl> ils = frhost::ConnectIls(scenario);
        for (auto& il : ils) {
            auto counting = std::make_shared<testsupport::RecordingTransport>(il.transport);
            counters.push_back(counting);
            auto* module =
                dynamic_cast<CPhysicalTestModule*>(CHandleRegistry::Instance().Find(il.module));
            module->SetIlTransport(counting);
        }
        return ils;
    }
    int Sent() const {
        int n = 0;
        for (const auto& c : counters)
            n += c->sent;
        return n;
    }

    std::vector<std::shared_ptr<testsupport::RecordingTransport>> counters;
};

std::string ReadExample(const std::string& name) {
    std::ifstream in(std::string(ORX_EXAMPLES_DIR) + "/" + name);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(ApplyRoadTest, TheExampleIsConfiguredOnceAndAnUnchangedReapplySendsNothing) {
    auto ils = Load(ReadExample("scenarios/arp-responder.json"));
    ASSERT_EQ(ils.size(), 1u);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(Sent(), 1);  // one ConfigResponder
    auto held = ils[0].il->Counters();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].port, 0u);
    EXPECT_FALSE(held[0].running);

    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(Sent(), 1);
}

TEST_F(ApplyRoadTest, AFilterTheTestPortCannotCompileFailsTheApplyWithLibpcapsText) {
    auto ils = Load(R"({
      "modules": [{"name": "m", "equipment": "//127.0.0.1/1", "model": "SW",
                   "capabilities": {"supportsFrameResponder": true}}],
      "objects": [{"class": "Port", "name": "port1", "module": "m", "index": 0, "Online": true,
        "children": [{"class": "Probe", "name": "probe1", "children": [
          {"class": "ProbeFrameResponseConfig", "name": "bad", "Filter": "tcp port banana",
           "children": [{"class": "FrameResponseProfile", "TxPort": "@port1"}]}]},
          {"class": "Probe", "name": "probe2", "children": [
          {"class": "ProbeFrameResponseConfig", "name": "good", "Filter": "udp",
           "children": [{"class": "FrameResponseProfile", "TxPort": "@port1"}]}]}]}]})");
    ApplyResult result = ProjectApply::Apply();
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error.rfind("Port port1 Frame response on probe1: ", 0), 0u) << result.error;
    EXPECT_NE(result.error.find("banana"), std::string::npos) << result.error;
    // The good one is on the test port all the same.
    ASSERT_EQ(ils[0].il->Counters().size(), 1u);
}

// --- a host that lives on ------------------------------------------------------------------

constexpr ClassId kBaseConfigClass = 0x96001000;

// Sits in front of a module's IL and answers the removals for some of its ports with a failed
// response, as an IL that refuses them would.
class RefusingTransport : public IlTransport {
  public:
    explicit RefusingTransport(std::shared_ptr<IlTransport> inner) : m_inner(std::move(inner)) {}
    // Called on the applying thread, the one that sets refuseRemovalOn.
    bool Send(std::vector<uint8_t> request, ResponseCallback done) override {
        Message decoded = msglib::decode(request);
        if (decoded.get_request_name() == "responder_1.RemoveResponder" &&
            refuseRemovalOn.count(decoded.get_destination())) {
            Message response;
            response.set_request_name(decoded.get_request_name());
            response.set_seq_num(decoded.get_seq_num());
            response.set_msg_type(TMT_FAILED_RESPONSE);
            response.add_member(TMG_MEMBERS, "faultCode", int32_t{3});
            response.add_member(TMG_MEMBERS, "faultString", std::string("refused"));
            done(msglib::encode(response));
            return true;
        }
        return m_inner->Send(std::move(request), std::move(done));
    }
    void SetNotificationCallback(NotificationCallback callback) override {
        m_inner->SetNotificationCallback(std::move(callback));
    }
    std::string Describe() const override { return m_inner->Describe(); }

    std::set<uint32_t> refuseRemovalOn;

  private:
    std::shared_ptr<IlTransport> m_inner;
};

// Two modules, each with its own IL: two ports on the first, one on the second, and empty
// probes. An IL holds a configuration's handle on one of its ports at a time; two ILs can hold
// the same handle.
constexpr const char* kTwoModules = R"({
  "modules": [{"name": "m1", "equipment": "//127.0.0.1/1", "model": "SW",
               "capabilities": {"supportsFrameResponder": true}},
              {"name": "m2", "equipment": "//127.0.0.1/2", "model": "SW",
               "capabilities": {"supportsFrameResponder": true}}],
  "objects": [
    {"class": "Port", "name": "port1", "module": "m1", "index": 0, "Online": true, "children": [
      {"class": "Probe", "name": "p1a"}, {"class": "Probe", "name": "p1b"}]},
    {"class": "Port", "name": "port2", "module": "m1", "index": 1, "Online": true, "children": [
      {"class": "Probe", "name": "p2a"}]},
    {"class": "Port", "name": "port3", "module": "m2", "index": 0, "Online": true, "children": [
      {"class": "Probe", "name": "p3a"}, {"class": "Probe", "name": "p3b"}]}]})";

std::vector<uint8_t> ArpRequest() {
    return {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x10, 0x94, 0x00, 0x00, 0x02, 0x08, 0x06,
            0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01, 0x00, 0x10, 0x94, 0x00, 0x00, 0x02,
            0x0a, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x01};
}

class LongLivedHostTest : public ::testing::Test {
  protected:
    using Holdings = std::map<std::string, std::set<Handle>>;  // by port name

    static void SetUpTestSuite() {
        BLLLoggerFactory::GetInstance()->SetConsoleEnabled(false);
        std::string error;
        ASSERT_TRUE(PluginLoader::Instance().Load(ORX_PLUGIN_PATH, &error)) << error;
    }
    void SetUp() override {
        m_scenario =
            ScenarioLoader::LoadText(kTwoModules, ORX_EXAMPLES_DIR "/scenarios", "host.json");
        m_ils = frhost::ConnectIls(m_scenario);
        ASSERT_EQ(m_ils.size(), 2u);
        for (auto& il : m_ils) {
            m_transports.push_back(std::make_shared<RefusingTransport>(il.transport));
            dynamic_cast<CPhysicalTestModule*>(CHandleRegistry::Instance().Find(il.module))
                ->SetIlTransport(m_transports.back());
        }
        ports = {Find<CPort>("port1"), Find<CPort>("port2"), Find<CPort>("port3")};
        probes = {Find<CScriptable>("p1a"), Find<CScriptable>("p1b"), Find<CScriptable>("p2a"),
                  Find<CScriptable>("p3a"), Find<CScriptable>("p3b")};
    }
    void TearDown() override { CProject::Instance().Reset(); }

    template <class T>
    T* Find(const std::string& name) {
        return dynamic_cast<T*>(CHandleRegistry::Instance().Find(m_scenario.FindObject(name)));
    }
    static PropId PropOf(const std::string& className, const std::string& name) {
        const CMetaClass* meta = CMetaClassManager::Instance().GetClass(className);
        const CMetaProperty* p = meta ? meta->FindProperty(name) : nullptr;
        if (!p)
            throw std::runtime_error("no property " + name);
        return p->GetId();
    }
    // The configuration's profile answers on `port` (none: a port that does not exist, whose
    // responses the IL drops).
    static void AnswerOn(CScriptable* config, const CPort* port) {
        ScriptableVec profiles;
        config->GetObjects(profiles);
        for (CScriptable* profile : profiles) {
            profile->SetFromString(PropOf("FrameResponseProfile", "TxPort"),
                                   std::to_string(port ? port->GetObjectHandle() : 0));
        }
    }
    // An ARP configuration under the probe, answering with one frame on the probe's port.
    CScriptable* NewConfig(CScriptable* probe, const std::string& filter = "arp") {
        CScriptable* config = CScriptableCreator::Create("ProbeFrameResponseConfig", probe);
        config->SetFromString(PropOf("ProbeFrameResponseConfig", "Filter"), filter);
        CScriptableCreator::Create("FrameResponseProfile", config);
        AnswerOn(config, dynamic_cast<CPort*>(probe->GetParent()));
        return config;
    }
    static CPort* PortOf(const CScriptable* config) {
        const CScriptable* probe = config->GetParent();
        return probe ? dynamic_cast<CPort*>(probe->GetParent()) : nullptr;
    }
    const frhost::ModuleIl& IlOf(const CPort* port) const {
        const Handle module = port->GetPortGroup()->GetTestModule()->GetObjectHandle();
        for (const auto& il : m_ils) {
            if (il.module == module)
                return il;
        }
        throw std::runtime_error("no IL for " + port->GetName());
    }

    // What each port holds: its IL's own diagnostic view.
    Holdings IlHolds() {
        Holdings held;
        for (CPort* port : ports) {
            for (const auto& r : IlOf(port).il->Describe(port->GetPortIndex()))
                held[port->GetName()].insert(r.handle);
        }
        return held;
    }
    // What the host says is applied on each port: configurations not deleted, active under an
    // active parent, unchanged since the last apply.
    static Holdings HostApplied() {
        Holdings applied;
        for (CScriptable* o : CHandleRegistry::Instance().GetAll()) {
            if (!o->IsTypeOf(kBaseConfigClass) || o->IsDeleted() || !o->GetActive() ||
                o->IsObjectDirty(true) || !o->GetParent() || !o->GetParent()->GetActive()) {
                continue;
            }
            if (CPort* port = PortOf(o))
                applied[port->GetName()].insert(o->GetObjectHandle());
        }
        return applied;
    }
    // Every online port holds exactly what the host says is applied there.
    ::testing::AssertionResult IlAgrees() {
        Holdings held = IlHolds();
        Holdings applied = HostApplied();
        for (CPort* port : ports) {
            const std::string& name = port->GetName();
            if (port->GetOnline() && held[name] != applied[name]) {
                return ::testing::AssertionFailure()
                       << name << " holds " << ::testing::PrintToString(held[name])
                       << ", the host says " << ::testing::PrintToString(applied[name]);
            }
        }
        return ::testing::AssertionSuccess();
    }
    // Frames the port sends in answer to one ARP request.
    size_t Answers(CPort* port) {
        const std::vector<uint8_t> frame = ArpRequest();
        orx::il::RxFrame rx{frame.data(), static_cast<uint32_t>(frame.size()), ++m_clockNs};
        orx::il::TxBatch out;
        IlOf(port).il->Engine(static_cast<uint16_t>(port->GetPortIndex()))->Process(&rx, 1, out);
        return out.Size();
    }
    static void Start() {
        auto start = CScriptableCreator::CreateAPT<CProtocolStartCommand>();
        start->Execute();
    }
    static std::set<Handle> Only(const CScriptable* config) { return {config->GetObjectHandle()}; }
    // The configuration, moved from port1 to port3, is held and answers there only.
    void ExpectAnswersOnlyOnPort3(const CScriptable* config) {
        EXPECT_TRUE(IlHolds()["port1"].empty());
        EXPECT_EQ(IlHolds()["port3"], Only(config));
        EXPECT_TRUE(IlAgrees());
        Start();
        EXPECT_EQ(Answers(ports[0]), 0u);
        EXPECT_EQ(Answers(ports[2]), 1u);
    }

    Scenario m_scenario;
    std::vector<frhost::ModuleIl> m_ils;
    std::vector<std::shared_ptr<RefusingTransport>> m_transports;
    std::vector<CPort*> ports;
    std::vector<CScriptable*> probes;
    int64_t m_clockNs = 0;
};

TEST_F(LongLivedHostTest, AConfigurationAppliedWhileItsPortWasOfflineAnswersOnceItIsBack) {
    ports[0]->Set(PROP_PORT_ONLINE, false);
    CScriptable* config = NewConfig(probes[0]);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(IlHolds()["port1"].empty());

    ports[0]->Set(PROP_PORT_ONLINE, true);
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(IlHolds()["port1"], Only(config));
    EXPECT_TRUE(IlAgrees());
    Start();
    EXPECT_EQ(Answers(ports[0]), 1u);
}

TEST_F(LongLivedHostTest, AMovedProbeWhoseRemovalTheOldIlRefusedIsRemovedByTheNextApply) {
    CScriptable* config = NewConfig(probes[0]);
    ASSERT_TRUE(ProjectApply::Apply().ok);

    m_transports[0]->refuseRemovalOn = {0};
    probes[0]->SetParent(ports[2]);  // to the other module's port
    AnswerOn(config, ports[2]);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error,
              "CResponderMsgSetClnt::RpcResponseHandler: Response failed for Delete State");
    EXPECT_EQ(IlHolds()["port1"], Only(config));
    EXPECT_EQ(IlHolds()["port3"], Only(config));

    m_transports[0]->refuseRemovalOn.clear();
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    ExpectAnswersOnlyOnPort3(config);
}

TEST_F(LongLivedHostTest, AConfigurationAcceptedInAFailedApplyIsRemovedOnceDeleted) {
    CScriptable* good = NewConfig(probes[0]);
    CScriptable* bad = NewConfig(probes[3], "tcp port banana");  // on the other IL
    ApplyResult result = ProjectApply::Apply();
    ASSERT_FALSE(result.ok);
    EXPECT_NE(result.error.find("banana"), std::string::npos) << result.error;
    EXPECT_EQ(IlHolds()["port1"], Only(good));
    EXPECT_TRUE(IlAgrees());  // the host counts it as applied too

    good->MarkDelete();
    bad->SetFromString(PropOf("ProbeFrameResponseConfig", "Filter"), "udp");
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(IlHolds()["port1"].empty());
    EXPECT_TRUE(IlAgrees());
}

TEST_F(LongLivedHostTest, AReparentedConfigurationAnswersOnItsNewPortOnly) {
    CScriptable* config = NewConfig(probes[0]);
    ASSERT_TRUE(ProjectApply::Apply().ok);
    config->SetParent(probes[3]);  // a probe of the other module's port
    AnswerOn(config, ports[2]);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    ExpectAnswersOnlyOnPort3(config);
}

TEST_F(LongLivedHostTest, AThousandAppliesOfConfigurationsComingAndGoingOnPortsComingAndGoing) {
    testsupport::Churn churn(16);
    std::vector<Handle> live;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        std::vector<CScriptable*> configs;
        for (Handle h : live) {
            if (CScriptable* o = CHandleRegistry::Instance().Find(h); o && !o->IsDeleted())
                configs.push_back(o);
        }
        churn.Step(configs, ports, probes, [&](CScriptable* probe) {
            // Answering on no port: it may move to any module's port and stay valid.
            CScriptable* config = NewConfig(probe);
            AnswerOn(config, nullptr);
            live.push_back(config->GetObjectHandle());
        });
        ApplyResult result = ProjectApply::Apply();
        ASSERT_TRUE(result.ok) << "cycle " << cycle << ": " << result.error;
        ASSERT_TRUE(IlAgrees()) << "cycle " << cycle;
    }

    // Every port back: each IL holds exactly what is applied, and the host keeps command
    // statuses only for live configurations.
    for (CPort* port : ports)
        port->Set(PROP_PORT_ONLINE, true);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(IlAgrees());
    size_t held = 0;
    for (const auto& [port, handles] : IlHolds())
        held += handles.size();
    size_t alive = 0;
    for (CScriptable* o : CHandleRegistry::Instance().GetAll())
        alive += o->IsTypeOf(kBaseConfigClass) ? 1 : 0;
    EXPECT_LE(held, alive);
    EXPECT_LE(CCommandStatusManager::Instance().Size(), 4 * alive);
}

}  // namespace
