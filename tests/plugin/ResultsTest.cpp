// Frame-response results: the SQL each port's IL runs, which ports an object's counters live on,
// the traits the host reads, the notification parser and the result class.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <orx/core/HostClasses.h>
#include <orx/core/ResultAssistant.h>
#include <orx/core/Results.h>
#include <orx/framework/Logger.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/Rpc.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/msglib/Codec.h>
#include <orx/msglib/Message.h>
#include "BaseFrameResponseConfig.h"
#include "DeviceFrameResponseConfig.h"
#include "FrameResponseProfile.h"
#include "FrameResponseResults.h"
#include "PluginTestModel.h"
#include "ProbeFrameResponseConfig.h"
#include "ResponderResultLocator.h"
#include "ResponderResultQueryInterface.h"
#include "ResponderResultTraits.h"
#include "ResponderResultsHandler.h"
#include "responder_1.h"

using namespace orx::framework;
using namespace orx::core;
using namespace orx::responder;
using plugintest::Make;

namespace {

const char* kDevLogger = "content.traffic.responder";

// What the plug-in's registration does for results, once per process.
void RegisterResultHandlers() {
    auto& handler = orx::responder::CResponderResultsHandler::Instance();
    if (!CResultModule::Instance().FindHandler(ResultType(0x96002000, 0x96004000)))
        handler.RegisterHandlers();
}

// Collects the developer log at the given level.
class LogCapture {
  public:
    explicit LogCapture(int level) : m_level(level) {
        auto* factory = BLLLoggerFactory::GetInstance();
        factory->SetConsoleEnabled(false);
        m_previous = factory->GetLogger(kDevLogger)->GetLevel();
        factory->SetLevel(kDevLogger, level);
        m_id = factory->AddListener([this](const LogRecord& r) {
            if (r.logger == kDevLogger && r.level == m_level)
                lines.push_back(r.text);
        });
    }
    ~LogCapture() {
        BLLLoggerFactory::GetInstance()->RemoveListener(m_id);
        BLLLoggerFactory::GetInstance()->SetLevel(kDevLogger, m_previous);
    }
    std::vector<std::string> lines;

  private:
    int m_level;
    int m_previous = LOG_INFO;
    int m_id = 0;
};

// ---------------------------------------------------------------------------------------------
// The query text

class QueryTest : public ::testing::Test {
  protected:
    static CMetaProperty Prop(PropId id, const std::string& name) {
        return CMetaProperty(id, name, PropertyType::U64, false, "0", 0x96004000);
    }
    // Parents by handle on a port; the result object's handle does not enter the query.
    void AddParents(uint32_t portKey, const std::vector<Handle>& parents) {
        auto& map = record.GetPortResultsMap()[portKey].GetParentMap();
        for (Handle h : parents)
            map[h] = ResultData{h, h + 1000};
    }
    std::vector<std::string> Commands(uint32_t portKey) const {
        auto it = queries.find(portKey);
        if (it == queries.end())
            return {};
        auto sql = std::dynamic_pointer_cast<CIlSqlQuery>(it->second);
        EXPECT_TRUE(sql) << "port " << portKey << " has no SQL query";
        return sql ? sql->GetCommands() : std::vector<std::string>{};
    }

    CMetaProperty matched = Prop(0x96004001, "MatchedRxFrameCount");
    CMetaProperty tx = Prop(0x96004002, "TxFrameCount");
    CSubscriptionRecord record{ResultSubscription()};
    ResultQueryMap queries;
    CResponderResultQueryInterface query{"ResponderProfileResults"};
};

TEST_F(QueryTest, OneSelectPerPortOverItsParentsInHandleOrder) {
    LogCapture debug(LOG_DEBUG);
    record.GetProperties() = {&matched, &tx};
    AddParents(300, {15, 12});
    AddParents(200, {7});
    AddParents(250, {});  // nothing on this port: no query

    ASSERT_TRUE(query.BuildIlQuery(record, queries));
    const std::string expected =
        "SELECT PrimaryHandle, MatchedRxFrameCount, TxFrameCount FROM ResponderProfileResults "
        "WHERE (StatsLastModified > %LastNotificationTime%) AND PrimaryHandle IN (12,15) "
        "GROUP BY PrimaryHandle ";
    EXPECT_EQ(Commands(300), std::vector<std::string>{expected});
    ASSERT_EQ(Commands(200).size(), 1u);
    EXPECT_NE(Commands(200)[0].find("AND PrimaryHandle IN (7) GROUP BY"), std::string::npos);
    EXPECT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries.count(250), 0u);
    // The texts are in the debug log, in port-key order, then the end line.
    ASSERT_EQ(debug.lines.size(), 3u);
    EXPECT_EQ(debug.lines[1], expected);
    EXPECT_EQ(debug.lines[2], "BuildIlQuery: end.");
    EXPECT_EQ(query.GetAdditionalWhereClause(record), "");
}

TEST_F(QueryTest, AQueryAlreadyThereForThePortIsRewritten) {
    record.GetProperties() = {&tx};
    AddParents(1, {4});
    auto existing = std::make_shared<CIlSqlQuery>();
    existing->SetCommands({"old", "older"});
    queries[1] = existing;
    ASSERT_TRUE(query.BuildIlQuery(record, queries));
    EXPECT_EQ(queries[1], existing);
    ASSERT_EQ(existing->GetCommands().size(), 1u);
    EXPECT_EQ(existing->GetCommands()[0].rfind("SELECT PrimaryHandle, TxFrameCount FROM", 0), 0u);
}

TEST_F(QueryTest, NothingToAskFor) {
    LogCapture debug(LOG_DEBUG);
    AddParents(1, {4});
    EXPECT_FALSE(query.BuildIlQuery(record, queries));  // no properties
    EXPECT_TRUE(queries.empty());

    record.GetProperties() = {&matched};
    record.GetPortResultsMap().clear();
    EXPECT_TRUE(query.BuildIlQuery(record, queries));  // no ports
    EXPECT_TRUE(queries.empty());

    AddParents(1, {});
    AddParents(2, {});
    EXPECT_TRUE(query.BuildIlQuery(record, queries));  // ports without parents
    EXPECT_TRUE(queries.empty());

    EXPECT_EQ(debug.lines, (std::vector<std::string>{
                               "BuildIlQuery: Empty prop vec. Nothing to do...",
                               "BuildIlQuery: No ports in result map.", "BuildIlQuery: end."}));
}

TEST_F(QueryTest, HostPropertiesAreLeftOutAndIlNamesReplaceTheProperties) {
    CMetaProperty host = Prop(0x96004010, "Elapsed");
    host.AddAttribute({AttributeResultPropertyMarkAsBllProperty, "", true});
    CMetaProperty notHost = Prop(0x96004011, "Dropped");
    notHost.AddAttribute({AttributeResultPropertyMarkAsBllProperty, "", false});
    CMetaProperty rate = Prop(0x96004003, "RxRate");
    rate.AddAttribute({AttributeResultPropertyIlCounterpartName, "RxFrameRate", false});
    record.GetProperties() = {&host, &matched, &notHost, &rate};
    AddParents(9, {30});

    ASSERT_TRUE(query.BuildIlQuery(record, queries));
    EXPECT_EQ(Commands(9), std::vector<std::string>{
                               "SELECT PrimaryHandle, MatchedRxFrameCount, Dropped, RxFrameRate "
                               "FROM ResponderProfileResults WHERE (StatsLastModified > "
                               "%LastNotificationTime%) AND PrimaryHandle IN (30) GROUP BY "
                               "PrimaryHandle "});

    // Only host properties: the key column alone.
    record.GetProperties() = {&host};
    ASSERT_TRUE(query.BuildIlQuery(record, queries));
    EXPECT_EQ(Commands(9), std::vector<std::string>{
                               "SELECT PrimaryHandle FROM ResponderProfileResults WHERE "
                               "(StatsLastModified > %LastNotificationTime%) AND PrimaryHandle IN "
                               "(30) GROUP BY PrimaryHandle "});
}

// ---------------------------------------------------------------------------------------------
// Objects on ports

class ResultModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        BLLLoggerFactory::GetInstance()->SetConsoleEnabled(false);
        module = Make<CPhysicalTestModule>(&COrxSystem::Instance(), "mod1");
        group = Make<CPhysicalPortGroup>(module);
        portA = plugintest::MakePort("portA", group, 0, true);
        portB = plugintest::MakePort("portB", group, 1, true);
        portOff = plugintest::MakePort("portOff", group, 2, false);
    }
    void TearDown() override {
        COrxSystem::Instance().SetInSimulationMode(false);
        CProject::Instance().Reset();
    }

    CBaseFrameResponseConfig* ProbeConfig(CPort* port, const std::string& name) {
        auto* probe = Make<CProbe>(port, "probe-" + name);
        return Make<CProbeFrameResponseConfig>(probe, name);
    }
    CBaseFrameResponseConfig* DeviceConfig(CPort* port, const std::string& name) {
        auto* device = Make<CEmulatedDevice>(&CProject::Instance(), "dev-" + name);
        device->SetObject(port, RelationType(DEVICE_TO_PORT));
        return Make<CDeviceFrameResponseConfig>(device, name);
    }
    ScriptableVec Ports(const CScriptable* object) const {
        ScriptableVec ports;
        locator.GetPortsForObj(object, ports);
        return ports;
    }

    CPhysicalTestModule* module = nullptr;
    CPhysicalPortGroup* group = nullptr;
    CPort* portA = nullptr;
    CPort* portB = nullptr;
    CPort* portOff = nullptr;
    CResponderResultLocator locator;
};

using Vec = ScriptableVec;

TEST_F(ResultModelTest, ConfigurationsProbesAndDevicesGiveTheirUsablePort) {
    auto* onA = ProbeConfig(portA, "onA");
    auto* off = ProbeConfig(portOff, "off");
    auto* dev = DeviceConfig(portB, "dev");
    auto* loose = Make<CProbeFrameResponseConfig>(Make<CProbe>(&CProject::Instance()), "loose");
    auto* bareProbe = Make<CProbe>(portA, "bare");

    EXPECT_EQ(Ports(onA), Vec{portA});
    EXPECT_EQ(Ports(off), Vec{});
    EXPECT_EQ(Ports(dev), Vec{portB});
    EXPECT_EQ(Ports(loose), Vec{});  // no port above it
    EXPECT_EQ(Ports(onA->GetParent()), Vec{portA});
    EXPECT_EQ(Ports(dev->GetParent()), Vec{portB});
    EXPECT_EQ(Ports(off->GetParent()), Vec{});
    EXPECT_EQ(Ports(bareProbe), Vec{});

    // Anything else concerns no port.
    auto* profile = Make<CFrameResponseProfile>(onA);
    EXPECT_EQ(Ports(profile), Vec{});
    EXPECT_EQ(Ports(module), Vec{});

    // Appends to what the caller has.
    ScriptableVec ports{portB};
    locator.GetPortsForObj(onA, ports);
    EXPECT_EQ(ports, (Vec{portB, portA}));

    COrxSystem::Instance().SetInSimulationMode(true);
    EXPECT_EQ(Ports(off), Vec{portOff});
    EXPECT_EQ(Ports(off->GetParent()), Vec{portOff});

    EXPECT_THROW(Ports(nullptr), COrxRunTimeError);
}

TEST_F(ResultModelTest, ProjectListsEachPortOfItsConfigurationsOnce) {
    auto* a1 = ProbeConfig(portA, "a1");
    ProbeConfig(portB, "b1");
    ProbeConfig(portA, "a2");
    DeviceConfig(portA, "a3");
    ProbeConfig(portOff, "off");
    Make<CProbeFrameResponseConfig>(Make<CProbe>(&CProject::Instance()), "loose");
    (void)a1;

    EXPECT_EQ(Ports(&CProject::Instance()), (Vec{portA, portB}));
    COrxSystem::Instance().SetInSimulationMode(true);
    EXPECT_EQ(Ports(&CProject::Instance()), (Vec{portA, portB, portOff}));
}

TEST_F(ResultModelTest, PortsWithConfigurationsBeneathThem) {
    ProbeConfig(portA, "a");
    Make<CProbe>(portB, "bare");
    ProbeConfig(portOff, "off");

    EXPECT_EQ(Ports(portA), Vec{portA});
    EXPECT_EQ(Ports(portB), Vec{});
    EXPECT_EQ(Ports(portOff), Vec{});

    // A device related to the port counts as the port's own.
    DeviceConfig(portB, "dev");
    EXPECT_EQ(Ports(portB), Vec{portB});
    // Listed once even with a probe and a device configuration.
    DeviceConfig(portA, "dev2");
    EXPECT_EQ(Ports(portA), Vec{portA});

    COrxSystem::Instance().SetInSimulationMode(true);
    EXPECT_EQ(Ports(portOff), Vec{portOff});
}

TEST_F(ResultModelTest, SubscriptionRoots) {
    LogCapture info(LOG_INFO);
    auto* config = ProbeConfig(portA, "a");

    ResultSubscription none(ResultType(0x96002000, 0x96004000), {}, {}, 1000);
    EXPECT_TRUE(locator.ValidateSubscriptionRoots(none));
    EXPECT_EQ(none.GetRootHandles(), std::vector<Handle>{ORX_PROJECT_HANDLE});

    ResultSubscription known(ResultType(0x96002000, 0x96004000),
                             {config->GetObjectHandle(), portOff->GetObjectHandle()}, {}, 1000);
    EXPECT_TRUE(locator.ValidateSubscriptionRoots(known));
    EXPECT_EQ(known.GetRootHandles().size(), 2u);
    EXPECT_TRUE(info.lines.empty());

    ResultSubscription unknown(ResultType(0x96002000, 0x96004000),
                               {config->GetObjectHandle(), 0x7fff0001}, {}, 1000);
    EXPECT_FALSE(locator.ValidateSubscriptionRoots(unknown));
    EXPECT_EQ(info.lines,
              std::vector<std::string>{
                  "ValidateSubscriptionRoots: Validation failure Invalid object handle"});
}

// ---------------------------------------------------------------------------------------------
// Traits, parser and result class

TEST_F(ResultModelTest, TraitsBuildTheStatisticsRequests) {
    CResponderResultTraits traits;
    Message sql, start, end;
    ASSERT_FALSE(traits.GetDoSqlCb().empty());
    traits.GetDoSqlCb()(&sql, {"SELECT 1"}, true);
    EXPECT_EQ(sql.get_request_name(), "responder_1.DoSQLFaster");
    traits.GetNtfyStartCb()(&start, 5, 1000, {"SELECT 1"}, true);
    EXPECT_EQ(start.get_request_name(), "responder_1.RequestDoSQLNotificationFaster");
    traits.GetNtfyEndCb()(&end, 5, true);
    EXPECT_EQ(end.get_request_name(), "responder_1.DeleteDoSQLNotificationFaster");
}

TEST_F(ResultModelTest, ResultsAreKeyedByTheirConfiguration) {
    auto* config = ProbeConfig(portA, "a");
    auto* results = Make<CFrameResponseResults>(config);
    auto* orphan = Make<CFrameResponseResults>(nullptr);
    ASSERT_TRUE(results && orphan);
    EXPECT_EQ(CResponderResultTraits::GetResultKey(*results), config->GetObjectHandle());
    EXPECT_EQ(CResponderResultTraits::GetResultKey(*orphan), orphan->GetObjectHandle());
    EXPECT_FALSE(results->IsSingleton());
    CScriptableCreator::Destroy(orphan);
}

TEST_F(ResultModelTest, EndOfTestPortsAreThoseOfOnlineConfigurations) {
    ProbeConfig(portA, "a1");
    ProbeConfig(portA, "a2");
    DeviceConfig(portB, "b");
    ProbeConfig(portOff, "off");
    Make<CProbeFrameResponseConfig>(Make<CProbe>(&CProject::Instance()), "loose");

    CResponderResultTraits traits;
    EotPortSet ports;
    traits.GetEotPortSet(ports);
    EXPECT_EQ(ports, (EotPortSet{portA, portB}));

    COrxSystem::Instance().SetInSimulationMode(true);
    ports.clear();
    traits.GetEotPortSet(ports);
    EXPECT_EQ(ports, (EotPortSet{portA, portB, portOff}));
}

TEST(ResultHandler, NotificationsAreReadWithTheResponderParser) {
    Stats_1_bll::commandResultFaster_s result;
    result.columnOrder = {{Stats_1_bll::columnVal_t::UINT32, 0}};
    Stats_1_bll::rowFaster_s row;
    row.int64Values = {12};
    result.rows = {row, row};
    Message message;
    responder_1_bll::create_req_DoSQLNotifyFaster(&message, 77, {result}, true);

    std::unique_ptr<CIlNotificationWrapper> wrapper(StatsNtfyParser(message));
    auto* sql = dynamic_cast<CIlSqlResultNtfyMsgWrapper*>(wrapper.get());
    ASSERT_NE(sql, nullptr);
    EXPECT_EQ(sql->GetId(), 77u);
    ASSERT_EQ(sql->GetResults().size(), 1u);
    EXPECT_EQ(sql->GetResults()[0], result);

    // The parser is the one registered for the notification.
    RegisterResultHandlers();
    EXPECT_EQ(
        CCoreIlResultsNotificationManager::Instance().FindParser("responder_1.DoSQLNotifyFaster"),
        NotificationParser(&StatsNtfyParser));
}

TEST(ResultHandler, AssistantServesBothConfigurationClassesAndRoutesSubscriptions) {
    auto& handler = CResponderResultsHandler::Instance();
    const auto& types = handler.GetPagedHandler().GetResultTypes();
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types.begin()->first, ResultType(0x96002000, 0x96004000));
    EXPECT_EQ(std::next(types.begin())->first, ResultType(0x96003000, 0x96004000));

    CSimpleResultHandlerAssistant* assistant = CResponderResultsHandler::AssistantGetter();
    ASSERT_NE(assistant, nullptr);
    EXPECT_NE(dynamic_cast<CResponderResultTraits*>(&assistant->GetTraits()), nullptr);
    EXPECT_NE(dynamic_cast<CResponderResultLocator*>(&assistant->GetLocator()), nullptr);

    // Subscriptions the host starts and ends through the traits land in the handler's map.
    const ResultType probe(0x96002000, 0x96004000);
    assistant->GetTraits().NotifyStartSubscription(probe, 31);
    EXPECT_EQ(handler.GetSubscriptions().at(0x96002000), std::vector<uint32_t>{31});
    assistant->GetTraits().NotifyEndSubscription(probe, 31);
    EXPECT_EQ(handler.GetSubscriptions().count(0x96002000), 0u);

    // Running the set-up again on another handler replaces the assistant; on one that already
    // serves the types it fails.
    CPagedResultHandler other("other", true);
    EXPECT_TRUE(handler.InitResultTypes(other));
    EXPECT_NE(CResponderResultsHandler::AssistantGetter(), nullptr);
    EXPECT_FALSE(handler.InitResultTypes(other));
}

}  // namespace
