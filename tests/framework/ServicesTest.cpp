#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <orx/core/Capabilities.h>
#include <orx/core/HostClasses.h>
#include <orx/core/PortSetUtils.h>
#include <orx/framework/Command.h>
#include <orx/framework/Exceptions.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/Resources.h>
#include <orx/framework/Rpc.h>
#include <orx/framework/ScriptableCreator.h>

using namespace orx::framework;
using namespace orx::core;

namespace {

class ServicesTest : public ::testing::Test {
  protected:
    void TearDown() override {
        CProject::Instance().Reset();
        RcmDBMgr::Instance().Clear();
        CCommandStatusManager::Instance().Clear();
    }
    template <class T>
    T* Make(CScriptable* parent) {
        return dynamic_cast<T*>(CScriptableCreator::Create(T::CLASS_ID(), parent));
    }
};

// --- resources and assertion texts ------------------------------------------------------------

TEST(Resources, FormatterFillsPlaceholdersInAnyOrderWithDecimalNumbers) {
    auto& resources = CResourceManager::Instance();
    resources.AddStringResource(0x55000001, "Port {1} has {2} errors on {1}");
    resources.AddStringResource(0x55000002, "{2} before {1}; {3} stays; {0} stays; {x} stays; {");
    resources.AddStringResource(0x55000003, "{1}|{2}|{3}|{4}|{5}|{6}|{7}");

    EXPECT_EQ((ResourceFormatter(0x55000001) << "p1" << 3).ToString(),
              "Port p1 has 3 errors on p1");
    EXPECT_EQ((ResourceFormatter(0x55000002) << std::string("a") << "b").ToString(),
              "b before a; {3} stays; {0} stays; {x} stays; {");
    uint8_t small = 7;
    int8_t negative = -5;
    uint32_t handle = 4000000000u;
    uint64_t big = 18446744073709551615ull;
    EXPECT_EQ((ResourceFormatter(0x55000003)
               << small << negative << handle << big << true << 0.25 << 1234567.5)
                  .ToString(),
              "7|-5|4000000000|18446744073709551615|true|0.25|1234567.5");
    EXPECT_EQ(ResourceFormatter(0x55FFFFFF).ToString(), "<unknown resource 1442840575>");

    std::string text;
    EXPECT_TRUE(resources.GetStringResource(0x55000001, text));
    EXPECT_FALSE(resources.GetStringResource(0x55FFFFFF, text));
}

TEST(Exceptions, AssertionTextHasTheHostFormat) {
    EXPECT_EQ(
        AssertionText("Did not properly retrieve parent object", "parent", "src/Config.cpp", 42),
        "Assertion Failed: Did not properly retrieve parent object Expression: parent "
        "File: src/Config.cpp Line: 42");
    int line = 0;
    try {
        const void* parent = nullptr;
        line = __LINE__ + 1;
        ORX_ASSERT(parent, "no parent");
        FAIL() << "ORX_ASSERT did not raise";
    } catch (const COrxLogicError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Assertion Failed: no parent Expression: parent File: " + std::string(__FILE__) +
                      " Line: " + std::to_string(line));
    }
    EXPECT_NO_THROW(ORX_ASSERT(line > 0, "unused"));
}

// --- loggers -----------------------------------------------------------------------------

class LoggerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        factory = BLLLoggerFactory::GetInstance();
        factory->SetConsoleEnabled(false);
        listener = factory->AddListener([this](const LogRecord& r) { records.push_back(r); });
    }
    void TearDown() override { factory->RemoveListener(listener); }

    BLLLoggerFactory* factory = nullptr;
    int listener = 0;
    std::vector<LogRecord> records;
};

TEST_F(LoggerTest, LevelsAreInheritedFromTheNearestDottedPrefix) {
    factory->SetLevel("lt1", LOG_DEBUG);
    factory->SetLevel("lt1.quiet", LOG_OFF);
    BLLLogger* a = factory->GetLogger("lt1.a.b");
    BLLLogger* quiet = factory->GetLogger("lt1.quiet.x");
    BLLLogger* sibling = factory->GetLogger("lt1quiet");  // not under "lt1" by a dot
    EXPECT_EQ(factory->GetLogger("lt1.a.b"), a);
    EXPECT_EQ(a->GetLevel(), LOG_DEBUG);
    EXPECT_TRUE(a->IsEnabledFor(LOG_DEBUG));
    EXPECT_EQ(quiet->GetLevel(), LOG_OFF);
    EXPECT_FALSE(quiet->IsEnabledFor(LOG_ERROR));
    EXPECT_EQ(sibling->GetLevel(), LOG_INFO);
    EXPECT_FALSE(sibling->IsEnabledFor(LOG_DEBUG));

    // Levels set later reach loggers made earlier; severity is debug < info < warn < error.
    factory->SetLevel("lt1.a", LOG_WARN);
    EXPECT_FALSE(a->IsEnabledFor(LOG_INFO));
    EXPECT_TRUE(a->IsEnabledFor(LOG_WARN));
    EXPECT_TRUE(a->IsEnabledFor(LOG_ERROR));
    factory->SetLevel("lt1.a", LOG_ERROR);
    EXPECT_FALSE(a->IsEnabledFor(LOG_WARN));
    EXPECT_TRUE(a->IsEnabledFor(LOG_ERROR));
    EXPECT_FALSE(a->IsEnabledFor(0));
    EXPECT_FALSE(a->IsEnabledFor(LOG_OFF));
}

TEST_F(LoggerTest, ConfigureAppliesAWholeSpecOrNothing) {
    BLLLogger* a = factory->GetLogger("lt2.a");
    BLLLogger* b = factory->GetLogger("lt2.b.c");
    std::string error;
    EXPECT_TRUE(factory->Configure(" lt2.a = debug , lt2.b=off,", &error)) << error;
    EXPECT_EQ(a->GetLevel(), LOG_DEBUG);
    EXPECT_EQ(b->GetLevel(), LOG_OFF);

    for (const char* bad :
         {"lt2.a=info,lt2.b", "lt2.a=info,=debug", "lt2.a=info,lt2.b=loud", "lt2.a=info,lt2.b="}) {
        error.clear();
        EXPECT_FALSE(factory->Configure(bad, &error)) << bad;
        EXPECT_NE(error.find("expected LOGGER=LEVEL"), std::string::npos) << error;
        EXPECT_EQ(a->GetLevel(), LOG_DEBUG) << bad;
        EXPECT_EQ(b->GetLevel(), LOG_OFF) << bad;
    }
    EXPECT_FALSE(factory->Configure("lt2.a=verbose", &error));
    EXPECT_NE(error.find("\"lt2.a=verbose\""), std::string::npos) << error;
    EXPECT_TRUE(factory->Configure("lt2.a=4,lt2.b=warning", nullptr));
    EXPECT_EQ(a->GetLevel(), LOG_WARN);
    EXPECT_EQ(b->GetLevel(), LOG_WARN);
}

TEST_F(LoggerTest, ListenersReceiveOnlyEnabledRecords) {
    factory->SetLevel("lt3", LOG_WARN);
    BLLLogger* log = factory->GetLogger("lt3.x");
    log->Debug("d", "f.cpp", 1);
    log->Info("i", "f.cpp", 2);
    log->Warn("w", "f.cpp", 3);
    log->Error("e", "f.cpp", 4);
    log->Log(LOG_OFF, "never", "f.cpp", 5);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].logger, "lt3.x");
    EXPECT_EQ(records[0].level, LOG_WARN);
    EXPECT_EQ(records[0].text, "w");
    EXPECT_EQ(records[0].file, "f.cpp");
    EXPECT_EQ(records[0].line, 3);
    EXPECT_EQ(records[1].level, LOG_ERROR);
    factory->RemoveListener(listener);
    log->Error("after", nullptr, 0);
    EXPECT_EQ(records.size(), 2u);

    int level = 0;
    EXPECT_TRUE(ParseLogLevel("warning", level));
    EXPECT_EQ(level, LOG_WARN);
    EXPECT_FALSE(ParseLogLevel("Warning!", level));
    EXPECT_STREQ(LogLevelName(LOG_ERROR), "error");
}

// --- commands ------------------------------------------------------------------------------

TEST_F(ServicesTest, CommandStatusIsRecordedPerObjectAndCommandClass) {
    auto& status = CCommandStatusManager::Instance();
    bool enabled = true;
    EXPECT_FALSE(status.GetCommandStatus(10, 0x96008000, enabled));
    status.SetCommandStatus(10, 0x96008000, false);
    status.SetCommandStatus(10, 0x96009000, true);
    ASSERT_TRUE(status.GetCommandStatus(10, 0x96008000, enabled));
    EXPECT_FALSE(enabled);
    ASSERT_TRUE(status.GetCommandStatus(10, 0x96009000, enabled));
    EXPECT_TRUE(enabled);
    EXPECT_FALSE(status.GetCommandStatus(11, 0x96009000, enabled));
    status.SetCommandStatus(10, 0x96008000, true);
    ASSERT_TRUE(status.GetCommandStatus(10, 0x96008000, enabled));
    EXPECT_TRUE(enabled);
}

TEST_F(ServicesTest, CommandStatusesGoWithTheirObjectsAndAPruneDropsThoseOfHandlesNotLive) {
    auto& status = CCommandStatusManager::Instance();
    CProject& project = CProject::Instance();
    CPort* kept = Make<CPort>(&project);
    CPort* gone = Make<CPort>(&project);
    CPort* bare = Make<CPort>(&project);  // nothing recorded: its destruction finds nothing
    const Handle keptHandle = kept->GetObjectHandle();
    const Handle goneHandle = gone->GetObjectHandle();
    const Handle notLive = goneHandle + 100000;
    for (Handle h : {keptHandle, goneHandle}) {
        status.SetCommandStatus(h, 0x96008000, true);
        status.SetCommandStatus(h, 0x96009000, false);
    }
    status.SetCommandStatus(notLive, 0x96008000, true);
    ASSERT_EQ(status.Size(), 5u);

    bool enabled = false;
    CScriptableCreator::Destroy(gone);
    CScriptableCreator::Destroy(bare);
    EXPECT_FALSE(status.GetCommandStatus(goneHandle, 0x96008000, enabled));
    EXPECT_FALSE(status.GetCommandStatus(goneHandle, 0x96009000, enabled));
    EXPECT_EQ(status.Size(), 3u);  // the neighbours' entries stay

    status.PruneDestroyed();
    EXPECT_FALSE(status.GetCommandStatus(notLive, 0x96008000, enabled));
    ASSERT_TRUE(status.GetCommandStatus(keptHandle, 0x96009000, enabled));
    EXPECT_FALSE(enabled);
    EXPECT_EQ(status.Size(), 2u);
    status.PruneDestroyed();  // nothing new: nothing changes
    EXPECT_EQ(status.Size(), 2u);
    CScriptableCreator::Destroy(kept);
    EXPECT_EQ(status.Size(), 0u);
}

TEST_F(ServicesTest, ExpandInputHandleTagsReplacesTagsByTheirLiveObjects) {
    CProject& project = CProject::Instance();
    CTag* tag = Make<CTag>(&project);
    CTag* emptyTag = Make<CTag>(&project);
    CPort* p1 = Make<CPort>(&project);
    CPort* p2 = Make<CPort>(&project);
    CPort* p3 = Make<CPort>(&project);
    CPort* gone = Make<CPort>(&project);
    for (CPort* p : {p1, p2, gone})
        p->AddObject(*tag, RelationType(USER_TAG));
    gone->MarkDelete();
    CCommand* command = Make<CCommand>(&project);

    std::vector<uint32_t> handles{p3->GetObjectHandle(), tag->GetObjectHandle(),
                                  emptyTag->GetObjectHandle(), 999999};
    command->ExpandInputHandleTags(handles);
    EXPECT_EQ(handles, (std::vector<uint32_t>{p3->GetObjectHandle(), p1->GetObjectHandle(),
                                              p2->GetObjectHandle(), 999999}));

    command->SetStatus("done");
    EXPECT_EQ(command->GetStatus(), "done");
    EXPECT_TRUE(command->Execute());
}

// --- capability database ----------------------------------------------------------------------

TEST_F(ServicesTest, CapabilityDatabaseByKeyAndName) {
    std::string key = "unchanged";
    EXPECT_FALSE(RcmKeyMgr::GetLookupKey(NULL_HANDLE, "TestModule", key));
    EXPECT_FALSE(RcmKeyMgr::GetLookupKey(5, "", key));
    EXPECT_EQ(key, "unchanged");
    ASSERT_TRUE(RcmKeyMgr::GetLookupKey(5, "TestModule", key));
    EXPECT_EQ(key, "TestModule/5");

    auto& db = RcmDBMgr::Instance();
    EXPECT_EQ(db.GetDBValue(key, "supportsFrameResponder"), nullptr);
    db.SetDBValue(key, "supportsFrameResponder", Capability(true));
    db.SetDBValue(key, "present", Capability());
    db.SetDBValue(key, "count", Capability(int64_t{4}));
    auto cap = db.GetDBValue(key, "supportsFrameResponder");
    ASSERT_NE(cap, nullptr);
    EXPECT_TRUE(cap->IsBool());
    EXPECT_TRUE(cap->GetBool());
    auto present = db.GetDBValue(key, "present");
    ASSERT_NE(present, nullptr);
    EXPECT_FALSE(present->HasValue());
    EXPECT_FALSE(present->GetBool());
    EXPECT_FALSE(db.GetDBValue(key, "count")->GetBool());
    EXPECT_EQ(db.GetDBValue("TestModule/6", "supportsFrameResponder"), nullptr);
    db.RemoveKey(key);
    EXPECT_EQ(db.GetDBValue(key, "supportsFrameResponder"), nullptr);
}

// --- ports and equipment -------------------------------------------------------------------

class NullTransport : public IlTransport {
  public:
    bool Send(std::vector<uint8_t>, ResponseCallback) override { return false; }
    void SetNotificationCallback(NotificationCallback) override {}
    std::string Describe() const override { return "null"; }
};

TEST_F(ServicesTest, PortReachesItsGroupIndexAndILThroughThePhysicalPort) {
    CProject& project = CProject::Instance();
    CPort* port = Make<CPort>(&project);
    EXPECT_EQ(port->GetPhysicalPort(), nullptr);
    EXPECT_EQ(port->GetPortGroup(), nullptr);
    EXPECT_EQ(port->GetPortIndex(), 0xFFFFu);
    EXPECT_EQ(port->GetMessenger(), nullptr);

    auto* module = Make<CPhysicalTestModule>(&COrxSystem::Instance());
    auto* group = Make<CPhysicalPortGroup>(module);
    group->Set(PROP_PORT_GROUP_LOCATION, std::string("//10.1.1.1/2"));
    auto* physical = Make<CPhysicalPort>(group);
    physical->Set(PROP_PHYSICAL_PORT_INDEX, 3);
    physical->AddObject(*port, RelationType(PHYSICAL_PORT_TO_PORT));

    EXPECT_EQ(port->GetPhysicalPort(), physical);
    EXPECT_EQ(port->GetPortGroup(), group);
    EXPECT_EQ(group->GetTestModule(), module);
    EXPECT_EQ(group->GetEquipmentString(), "//10.1.1.1/2");
    EXPECT_EQ(port->GetPortIndex(), 3u);
    EXPECT_EQ(port->GetMessenger(), nullptr);  // no IL attached yet

    auto transport = std::make_shared<NullTransport>();
    module->SetIlTransport(transport);
    Messenger* messenger = port->GetMessenger();
    ASSERT_NE(messenger, nullptr);
    EXPECT_EQ(messenger->GetTransport(), transport);
    EXPECT_EQ(messenger->GetDestination(), 3u);
    EXPECT_EQ(messenger->GetText(), "//10.1.1.1/2/4");
    EXPECT_EQ(port->GetMessenger(), messenger);

    physical->Set(PROP_PHYSICAL_PORT_INDEX, 0);
    ASSERT_NE(port->GetMessenger(), nullptr);
    EXPECT_EQ(port->GetMessenger()->GetDestination(), 0u);
    EXPECT_EQ(port->GetMessenger()->GetText(), "//10.1.1.1/2/1");

    module->SetIlTransport(nullptr);
    EXPECT_EQ(port->GetMessenger(), nullptr);
    physical->MarkDelete();
    EXPECT_EQ(port->GetPhysicalPort(), nullptr);
    EXPECT_EQ(port->GetPortIndex(), 0xFFFFu);
}

TEST_F(ServicesTest, PortSetsAndTheirMembers) {
    CProject& project = CProject::Instance();
    CPort* set = Make<CPort>(&project);
    CPort* member = Make<CPort>(&project);
    CPort* loner = Make<CPort>(&project);
    set->Set(PROP_PORT_IS_PORT_SET, true);
    set->AddObject(*member, RelationType(PORT_SET_MEMBER));
    EXPECT_TRUE(PortSetUtils::IsPortSet(set));
    EXPECT_FALSE(PortSetUtils::IsPortSet(member));
    EXPECT_FALSE(PortSetUtils::IsPortSet(nullptr));
    EXPECT_TRUE(PortSetUtils::IsPortSetMember(member));
    EXPECT_FALSE(PortSetUtils::IsPortSetMember(set));
    EXPECT_FALSE(PortSetUtils::IsPortSetMember(loner));
    EXPECT_FALSE(PortSetUtils::IsPortSetMember(nullptr));
    set->MarkDelete();
    EXPECT_FALSE(PortSetUtils::IsPortSetMember(member));
}

}  // namespace
