// The host's result machinery with traits and a locator of the test's own, against scripted
// test ports: what each port is asked, how notification rows reach result objects, and the
// end-of-test file read back with SQLite.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>

#include <orx/core/HostClasses.h>
#include <orx/core/ResultAssistant.h>
#include <orx/core/Results.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/Result.h>
#include <orx/framework/Rpc.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/msglib/Codec.h>
#include "responder_1.h"

using namespace orx::framework;
using namespace orx::core;

namespace {

constexpr ClassId PARENT = 0x57001000;
constexpr ClassId RESULTS = 0x57002000;

const char* kModel = R"(<dataModel id="0x57000000" name="resultstest">
  <class id="0x57001000" name="TestResultParent" base="Scriptable"/>
  <class id="0x57002000" name="TestResults" base="Result">
    <property id="0x57002001" name="Matched" type="u64" default="0" transient="true"/>
    <property id="0x57002002" name="Sent" type="u64" default="0" transient="true">
      <attribute type="0x100003e" text="TxFrameCount"/>
    </property>
    <property id="0x57002003" name="Note" type="string" default="kept" transient="true">
      <attribute type="0x1000041" flag="true"/>
    </property>
  </class>
</dataModel>)";

// A scripted test port: records each request (name, destination, id, commands) and answers as
// told; DoSQLFaster gets `rows`.
class ScriptedPort : public IlTransport {
  public:
    struct Seen {
        std::string name;
        uint32_t id = 0;
        std::vector<std::string> commands;
    };
    bool Send(std::vector<uint8_t> bytes, ResponseCallback done) override {
        Message request = msglib::decode(bytes);
        Seen seen{request.get_request_name(), 0, {}};
        if (seen.name == "responder_1.RequestDoSQLNotificationFaster") {
            uint32_t interval = 0;
            Stats_1_bll::parse_req_RequestDoSQLNotificationFaster(&request, &seen.id, &interval,
                                                                  &seen.commands);
        } else if (seen.name == "responder_1.DeleteDoSQLNotificationFaster") {
            Stats_1_bll::parse_req_DeleteDoSQLNotificationFaster(&request, &seen.id);
        } else if (seen.name == "responder_1.DoSQLFaster") {
            Stats_1_bll::parse_req_DoSQLFaster(&request, &seen.commands);
        }
        requests.push_back(seen);
        Message response;
        if (seen.name == "responder_1.DoSQLFaster")
            Stats_1_bll::create_resp_DoSQLFaster(&response, {rows}, true);
        else
            Stats_1_bll::create_resp_RequestDoSQLNotification(&response);
        response.set_seq_num(request.get_seq_num());
        if (refuse.count(seen.name)) {
            response.set_msg_type(TMT_FAILED_RESPONSE);
            response.add_member(TMG_MEMBERS, "faultString", std::string("no room for it"));
        }
        done(msglib::encode(response));
        return true;
    }
    void SetNotificationCallback(NotificationCallback) override {}
    std::string Describe() const override { return "scripted"; }

    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const auto& r : requests)
            out.push_back(r.name.substr(r.name.find('.') + 1));
        return out;
    }

    std::vector<Seen> requests;
    std::set<std::string> refuse;
    Stats_1_bll::commandResultFaster_s rows;
};

// Results live on the port above their parent.
class TestLocator : public CResultLocatorForAssistant {
  public:
    void GetPortsForObj(const CScriptable* object, ScriptableVec& ports) const override {
        for (CScriptable* o = object ? object->GetParent() : nullptr; o; o = o->GetParent()) {
            if (o->IsTypeOf(CPort::CLASS_ID())) {
                ports.push_back(o);
                return;
            }
        }
    }
    bool ValidateSubscriptionRoots(ResultSubscription& s) const override {
        if (s.GetRootHandles().empty())
            s.GetRootHandles().push_back(ORX_PROJECT_HANDLE);
        for (Handle h : s.GetRootHandles()) {
            if (!CHandleRegistry::Instance().Find(h))
                return false;
        }
        return true;
    }
};

// Selects the key and the IL columns of every port's parents.
class TestQueries : public CIlResultQueryInterface {
  public:
    bool BuildIlQuery(const CSubscriptionRecord& record, ResultQueryMap& queries) override {
        std::string columns;
        for (const CMetaProperty* p : record.GetProperties()) {
            if (IsIlResultProperty(*p))
                columns += ", " + IlColumnName(*p);
        }
        for (const auto& [port, info] : record.GetPortResultsMap()) {
            std::string in;
            // Appended, not "," + std::to_string(...): GCC 12 at -O3 reports a false -Wrestrict.
            for (const auto& [parent, data] : info.GetParentMap())
                in.append(in.empty() ? "" : ",").append(std::to_string(parent));
            auto query = std::make_shared<CIlSqlQuery>();
            query->SetCommands(
                {"SELECT PrimaryHandle" + columns + " FROM T WHERE PrimaryHandle IN (" + in + ")"});
            queries[port] = query;
        }
        return true;
    }
    std::string GetAdditionalWhereClause(const CSubscriptionRecord&) override { return ""; }
};

class TestTraits : public SimpleResultHandlerAssistantTraits {
  public:
    ResultType GetResultType() const override { return ResultType(PARENT, RESULTS); }
    std::string GetMsgSetName() const override { return "responder_1"; }
    std::string GetBllEotTblName() const override { return "TestEot"; }
    std::string GetIlTblName() const override { return "T"; }
    DoSqlCb GetDoSqlCb() const override { return responder_1_bll::create_req_DoSQLFaster; }
    NtfyStartCb GetNtfyStartCb() const override {
        return responder_1_bll::create_req_RequestDoSQLNotificationFaster;
    }
    NtfyEndCb GetNtfyEndCb() const override {
        return responder_1_bll::create_req_DeleteDoSQLNotificationFaster;
    }
    CIlResultGenericProcessor* GetIlProcessor(CSubscriptionRecord& record, size_t n) override {
        return new CIlResultGenericProcessor(record, n, GetResultKeyGetter(), {});
    }
    void SetResultKey(CScriptable&, uint32_t, bool) override {}
    static uint32_t Key(CScriptable& result) { return result.GetParent()->GetObjectHandle(); }
    ResultKeyGetter GetResultKeyGetter() const override { return Key; }
    void NotifyStartSubscription(const ResultType&, uint32_t id) override { started.push_back(id); }
    void NotifyEndSubscription(const ResultType&, uint32_t id) override { ended.push_back(id); }
    void GetEotPortSet(EotPortSet& ports) override {
        for (CPort* p : eotPorts)
            ports.insert(p);
    }
    std::string GetEotIlUniqueColumnName() const override { return ""; }
    std::string GetCustomParentColumnSource() const override { return "PrimaryHandle"; }
    bool GetEoTSavePortHandleFlag() const override { return true; }
    CIlResultQueryInterface* GetQryInterfaceGetter() override { return new TestQueries(); }

    static inline std::vector<uint32_t> started, ended;
    static inline std::vector<CPort*> eotPorts;
};

CIlNotificationWrapper* Parse(Message& m) {
    return new CIlSqlResultNtfyMsgWrapper(m, responder_1_bll::parse_req_DoSQLNotifyFaster);
}

CSimpleResultHandlerAssistant* Assistant() {
    static CSimpleResultHandlerAssistant assistant(new TestTraits(), new TestLocator());
    return &assistant;
}

class ResultMachineryTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        BLLLoggerFactory::GetInstance()->SetConsoleEnabled(false);
        CMetaClass::InitMakeDestroyFuncs(
            PARENT, [] { return new CScriptable(); }, [](CScriptable* o) { delete o; });
        CMetaClass::InitMakeDestroyFuncs(
            RESULTS, []() -> CScriptable* { return new CResult(); },
            [](CScriptable* o) { delete o; });
        std::string error;
        ASSERT_TRUE(CMetaClassManager::Instance().LoadDataModel(kModel, "test", &error)) << error;
        handler = boost::shared_ptr<CPagedResultHandler>(new CPagedResultHandler("test", true));
        ResultTypeInfo info;
        info.assistantGetter = Assistant;
        ASSERT_TRUE(handler->AddResultType(ResultType(PARENT, RESULTS), info));
        CResultModule::Instance().RegisterResultHandler(handler, true);
        CCoreIlResultsNotificationManager::Instance().RegisterParser(
            "responder_1.DoSQLNotifyFaster", NotificationParser(&Parse));
    }

    void SetUp() override {
        TestTraits::started.clear();
        TestTraits::ended.clear();
        for (int i = 0; i < 2; ++i) {
            auto* module = dynamic_cast<CPhysicalTestModule*>(
                CScriptableCreator::Create("PhysicalTestModule", &COrxSystem::Instance()));
            CScriptable* group = CScriptableCreator::Create("PhysicalPortGroup", module);
            CScriptable* physical = CScriptableCreator::Create("PhysicalPort", group);
            auto* port =
                dynamic_cast<CPort*>(CScriptableCreator::Create("Port", &CProject::Instance()));
            port->SetName(i == 0 ? "portA" : "portB");
            physical->AddObject(*port, RelationType(PHYSICAL_PORT_TO_PORT));
            scripted[i] = std::make_shared<ScriptedPort>();
            module->SetIlTransport(scripted[i]);
            ports[i] = port;
        }
        TestTraits::eotPorts = {ports[0], ports[1]};
        p1 = CScriptableCreator::Create(PARENT, ports[0]);
        p2 = CScriptableCreator::Create(PARENT, ports[0]);
        p3 = CScriptableCreator::Create(PARENT, ports[1]);
    }

    void TearDown() override {
        handler->UnsubscribeAll();
        handler->ClearDirtySubscriptions();
        CProject::Instance().Reset();
    }

    uint32_t Subscribe() {
        return handler->Subscribe(ResultSubscription(ResultType(PARENT, RESULTS), {}, {}, 100));
    }
    static std::string Prop(CScriptable* parent, const std::string& name) {
        CScriptable* r = parent->GetObject(RESULTS);
        return r ? r->GetProperty(r->GetMetaClass().FindProperty(name)->GetId()).GetValueText()
                 : "(none)";
    }
    static Stats_1_bll::commandResultFaster_s Rows(
        const std::vector<std::vector<int64_t>>& values) {
        Stats_1_bll::commandResultFaster_s r;
        for (uint32_t c = 0; c < 3; ++c)
            r.columnOrder.push_back({Stats_1_bll::columnVal_t::INT64, c});
        for (const auto& v : values)
            r.rows.push_back({{}, v, {}});
        return r;
    }

    static inline boost::shared_ptr<CPagedResultHandler> handler;
    std::shared_ptr<ScriptedPort> scripted[2];
    CPort* ports[2] = {};
    CScriptable* p1 = nullptr;
    CScriptable* p2 = nullptr;
    CScriptable* p3 = nullptr;
};

TEST_F(ResultMachineryTest, EachPortIsAskedForItsOwnParentsAndAFailedPortWithdrawsTheRest) {
    const uint32_t id = Subscribe();
    ASSERT_EQ(scripted[0]->requests.size(), 1u);
    EXPECT_EQ(scripted[0]->requests[0].commands,
              (std::vector<std::string>{"SELECT PrimaryHandle, Matched, TxFrameCount FROM T WHERE "
                                        "PrimaryHandle IN (" +
                                        std::to_string(p1->GetObjectHandle()) + "," +
                                        std::to_string(p2->GetObjectHandle()) + ")"}));
    EXPECT_EQ(scripted[1]->Names(), (std::vector<std::string>{"RequestDoSQLNotificationFaster"}));
    EXPECT_NE(scripted[0]->requests[0].id, scripted[1]->requests[0].id);
    EXPECT_EQ(TestTraits::started, (std::vector<uint32_t>{id}));
    // One result object under each parent; the parents stay clean for the next apply.
    p1->MarkClean();
    EXPECT_NE(p1->GetObject(RESULTS), nullptr);
    EXPECT_FALSE(p1->IsObjectDirty(true));

    handler->Unsubscribe(id);
    EXPECT_EQ(scripted[1]->requests.back().name, "responder_1.DeleteDoSQLNotificationFaster");
    EXPECT_EQ(scripted[1]->requests.back().id, scripted[1]->requests[0].id);
    EXPECT_EQ(TestTraits::ended, (std::vector<uint32_t>{id}));

    // Port B refuses: nothing is kept and port A, already asked, is told to stop.
    scripted[0]->requests.clear();
    scripted[1]->refuse = {"responder_1.RequestDoSQLNotificationFaster"};
    try {
        Subscribe();
        FAIL() << "a refused port must fail the subscription";
    } catch (const COrxRunTimeError& e) {
        EXPECT_NE(std::string(e.what()).find("portB refused"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("no room for it"), std::string::npos) << e.what();
    }
    EXPECT_EQ(scripted[0]->Names(), (std::vector<std::string>{"RequestDoSQLNotificationFaster",
                                                              "DeleteDoSQLNotificationFaster"}));
    EXPECT_TRUE(handler->GetSubscriptionIds().empty());
    EXPECT_EQ(TestTraits::started.size(), 1u);
}

TEST_F(ResultMachineryTest, ARebuildAsksOnlyChangedPortsAndReleasesEmptiedOnes) {
    const uint32_t id = Subscribe();
    const uint32_t idB = scripted[1]->requests[0].id;
    scripted[0]->requests.clear();
    scripted[1]->requests.clear();

    p3->SetParent(ports[0]);  // port B is left with nothing
    CScriptable* p4 = CScriptableCreator::Create(PARENT, ports[0]);
    handler->MarkSubscriptionDirty(id);
    handler->MarkSubscriptionDirty(id);
    handler->RefreshDirtySubscriptions();
    ASSERT_EQ(scripted[0]->Names(), (std::vector<std::string>{"RequestDoSQLNotificationFaster"}));
    EXPECT_NE(scripted[0]->requests[0].commands[0].find(std::to_string(p4->GetObjectHandle())),
              std::string::npos);
    EXPECT_EQ(scripted[1]->Names(), (std::vector<std::string>{"DeleteDoSQLNotificationFaster"}));
    EXPECT_EQ(scripted[1]->requests[0].id, idB);
    EXPECT_NE(p4->GetObject(RESULTS), nullptr);
    EXPECT_TRUE(handler->GetDirtySubscriptions().empty());

    // Nothing changed: nobody is asked.
    handler->MarkSubscriptionDirty(id);
    handler->RefreshDirtySubscriptions();
    EXPECT_EQ(scripted[0]->requests.size(), 1u);

    // A port that refuses the new query leaves the subscription dirty, to be tried again.
    CScriptableCreator::Create(PARENT, ports[0]);
    scripted[0]->refuse = {"responder_1.RequestDoSQLNotificationFaster"};
    handler->MarkSubscriptionDirty(id);
    handler->RefreshDirtySubscriptions();
    EXPECT_EQ(handler->GetDirtySubscriptions(), (std::vector<uint32_t>{id}));
    scripted[0]->refuse.clear();
    handler->RefreshDirtySubscriptions();
    EXPECT_TRUE(handler->GetDirtySubscriptions().empty());
}

TEST_F(ResultMachineryTest, NotificationRowsReachTheirObjectsAndStrayOrMisshapenRowsHarmNothing) {
    const uint32_t id = Subscribe();
    const auto ids = handler->GetNotificationIds(id);
    const int64_t h1 = p1->GetObjectHandle(), h2 = p2->GetObjectHandle();
    auto notify = [&](const Stats_1_bll::commandResultFaster_s& rows) {
        Message m;
        responder_1_bll::create_req_DoSQLNotifyFaster(&m, ids.at(ports[0]->GetObjectHandle()),
                                                      {rows}, true);
        Message onWire = msglib::decode(msglib::encode(m));
        return CCoreIlResultsNotificationManager::Instance().Dispatch(onWire);
    };
    // A row of an object destroyed meanwhile is skipped; the others are written.
    ASSERT_TRUE(notify(Rows({{h1, 5, 4}, {987654, 1, 1}, {h2, 7, 6}})));
    EXPECT_EQ(Prop(p1, "Matched"), "5");
    EXPECT_EQ(Prop(p1, "Sent"), "4");
    EXPECT_EQ(Prop(p2, "Matched"), "7");
    EXPECT_EQ(Prop(p1, "Note"), "kept");  // the host's own property is not read from the IL

    auto twoColumns = Rows({{h1, 9, 9}});
    twoColumns.columnOrder.pop_back();
    EXPECT_FALSE(notify(twoColumns));
    auto negative = Rows({{h1, -1, 9}});
    EXPECT_FALSE(notify(negative));
    EXPECT_EQ(Prop(p1, "Matched"), "5");

    Message unknown;
    responder_1_bll::create_req_DoSQLNotifyFaster(&unknown, 424242, {Rows({{h1, 1, 1}})}, true);
    EXPECT_FALSE(CCoreIlResultsNotificationManager::Instance().Dispatch(unknown));
    Message garbage;
    garbage.set_request_name("responder_1.DoSQLNotifyFaster");
    EXPECT_FALSE(CCoreIlResultsNotificationManager::Instance().Dispatch(garbage));

    // A refresh writes every row the port answers.
    scripted[0]->rows = Rows({{h1, 11, 10}, {h2, 13, 12}});
    handler->Refresh(id);
    EXPECT_EQ(Prop(p1, "Matched"), "11");
    EXPECT_EQ(Prop(p2, "Sent"), "12");
}

int64_t Count(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    int64_t n = -1;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        n = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return n;
}

TEST_F(ResultMachineryTest, TheEndOfTestFileHasARowPerParentWithItsPortAndAFailedSaveKeepsTheOld) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("orx-eot-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "results.db").string();
    std::filesystem::remove(path);
    const int64_t h1 = p1->GetObjectHandle(), h3 = p3->GetObjectHandle();
    // One IL serving both ports answers with every row, its own and the other port's.
    scripted[0]->rows = Rows({{h1, 5, 4}, {h3, 2, 1}});
    scripted[1]->rows = scripted[0]->rows;
    EXPECT_EQ(CResultModule::Instance().SaveEndOfTest(path), 2u);
    EXPECT_EQ(scripted[0]->requests.back().commands,
              (std::vector<std::string>{"SELECT PrimaryHandle, Matched, TxFrameCount FROM T"}));
    EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM TestEot"), 2);
    EXPECT_EQ(
        Count(path, "SELECT PortHandle FROM TestEot WHERE ParentHandle = " + std::to_string(h3)),
        ports[1]->GetObjectHandle());
    EXPECT_EQ(Count(path, "SELECT Sent FROM TestEot WHERE ParentHandle = " + std::to_string(h1)),
              4);

    // Only end-of-test ports are saved; a port that refuses fails the save, and the file of
    // the last good save stays as it was.
    TestTraits::eotPorts = {ports[1]};
    scripted[1]->refuse = {"responder_1.DoSQLFaster"};
    EXPECT_THROW(CResultModule::Instance().SaveEndOfTest(path), COrxRunTimeError);
    EXPECT_EQ(Count(path, "SELECT COUNT(*) FROM TestEot"), 2);
    EXPECT_FALSE(std::filesystem::exists(path + ".partial-" + std::to_string(::getpid())));
    scripted[1]->refuse.clear();
    EXPECT_EQ(CResultModule::Instance().SaveEndOfTest(path), 1u);
    EXPECT_EQ(Count(path, "SELECT ParentHandle FROM TestEot"), h3);

    // A directory in the way: the error gives the move's own reason and nothing is left.
    const std::string taken = (dir / "taken").string();
    std::filesystem::create_directories(taken);
    try {
        CResultModule::Instance().SaveEndOfTest(taken);
        ADD_FAILURE() << "saved over a directory";
    } catch (const COrxRunTimeError& e) {
        EXPECT_NE(std::string(e.what()).find("Is a directory"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(taken + ".partial-" + std::to_string(::getpid())));
    std::filesystem::remove_all(dir);
}

}  // namespace

namespace {

TEST_F(ResultMachineryTest, AProjectResetEndsEverySubscriptionWhileItsPortsStillExist) {
    const uint32_t id = Subscribe();
    handler->MarkSubscriptionDirty(id);
    auto portA = scripted[0];
    CProject::Instance().Reset();
    EXPECT_EQ(portA->requests.back().name, "responder_1.DeleteDoSQLNotificationFaster");
    EXPECT_TRUE(handler->GetSubscriptionIds().empty());
    EXPECT_TRUE(handler->GetDirtySubscriptions().empty());
    EXPECT_EQ(TestTraits::ended, (std::vector<uint32_t>{id}));
}

}  // namespace
