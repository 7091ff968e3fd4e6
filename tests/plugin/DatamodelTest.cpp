// Frame-response configurations, profiles and modifiers in the host's object model: class-wide
// sets, ports, validation messages, the convert command and command availability.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <orx/core/Apply.h>
#include <orx/core/HostClasses.h>
#include <orx/core/Protocol.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/ScriptableCreator.h>
#include "BaseFrameResponseConfig.h"
#include "DeviceFrameResponseConfig.h"
#include "FrameConfigConvertCommand.h"
#include "FrameResponseCommand.h"
#include "FrameResponseModifier.h"
#include "FrameResponseProfile.h"
#include "PluginTestModel.h"
#include "ProbeFrameResponseConfig.h"
#include "init.h"

using namespace orx::framework;
using namespace orx::core;
using namespace orx::responder;

namespace {

using plugintest::Make;
using Config = CBaseFrameResponseConfig;

// A twelve-byte frame: one custom PDU.
const char* kTwelveBytes =
    "<frame><pdu name=\"c1\" type=\"custom:Custom\"><pattern>000102030405060708090a0b</pattern>"
    "</pdu></frame>";

class DataModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResponderResourceRegisterer registerer;
        module = Make<CPhysicalTestModule>(&COrxSystem::Instance());
        group = Make<CPhysicalPortGroup>(module);
        group->Set(PROP_PORT_GROUP_LOCATION, std::string("//10.0.0.1/1"));
        otherGroup = Make<CPhysicalPortGroup>(module);
        portA = MakePort("portA", group, 0);
        portB = MakePort("portB", group, 1);
        portC = MakePort("portC", otherGroup, 0);
    }
    void TearDown() override { CProject::Instance().Reset(); }

    CPort* MakePort(const std::string& name, CPhysicalPortGroup* g, uint16_t index) {
        return plugintest::MakePort(name, g, index, false);
    }
    // probe "probe1" under the port, a configuration under it with a typed filter.
    CProbeFrameResponseConfig* ProbeConfig(CPort* port, const std::string& probeName = "probe1") {
        auto* probe = Make<CProbe>(port, probeName);
        auto* config = Make<CProbeFrameResponseConfig>(probe, "cfg-" + probeName);
        config->Set(Config::PROP_FILTER, std::string("arp"));
        return config;
    }
    static bool In(const std::set<unsigned>& set, const CScriptable* object) {
        return set.count(object->GetObjectHandle()) != 0;
    }
    static std::vector<std::string> Messages(const ValidationContext& context) {
        std::vector<std::string> texts;
        for (const auto& m : context.GetMessages())
            texts.push_back(m.message);
        return texts;
    }

    CPhysicalTestModule* module = nullptr;
    CPhysicalPortGroup* group = nullptr;
    CPhysicalPortGroup* otherGroup = nullptr;
    CPort* portA = nullptr;
    CPort* portB = nullptr;
    CPort* portC = nullptr;
};

TEST_F(DataModelTest, ConfigurationsFollowTheirPortOnlineState) {
    Config* offline = ProbeConfig(portA);
    EXPECT_TRUE(In(Config::s_offlineSet, offline));
    EXPECT_FALSE(In(Config::s_onlineSet, offline));

    portA->Set(PROP_PORT_ONLINE, true);
    EXPECT_TRUE(In(Config::s_onlineSet, offline));
    EXPECT_FALSE(In(Config::s_offlineSet, offline));

    // Made on a port that is online already: the host reports the flag when the configuration
    // registers for it, so it is online at once.
    portB->Set(PROP_PORT_ONLINE, true);
    Config* onOnline = ProbeConfig(portB, "probe2");
    EXPECT_TRUE(In(Config::s_onlineSet, onOnline));

    portA->Set(PROP_PORT_ONLINE, false);
    EXPECT_TRUE(In(Config::s_offlineSet, offline));

    Config* third = ProbeConfig(portC, "probe3");
    std::vector<Config*> list;
    EXPECT_TRUE(Config::GetOnlineConfigList(list, true));  // online first, then offline
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], onOnline);
    EXPECT_EQ(list[1], offline);
    EXPECT_EQ(list[2], third);
    list.clear();
    EXPECT_TRUE(Config::GetOnlineConfigList(list, false));
    EXPECT_EQ(list, (std::vector<Config*>{onOnline}));
    EXPECT_FALSE(Config::NoneCreated());
}

TEST_F(DataModelTest, MovesRecordTheFirstPortUntilTheyAreReset) {
    portA->Set(PROP_PORT_ONLINE, true);
    Config* config = ProbeConfig(portA);
    CScriptable* probe = config->GetParent();
    EXPECT_EQ(config->GetPort(), portA);

    probe->SetParent(portB);  // offline port
    EXPECT_TRUE(In(Config::s_movedSet, config));
    EXPECT_TRUE(In(Config::s_offlineSet, config));
    EXPECT_EQ(config->GetPreviousPortHandle(), portA->GetObjectHandle());
    EXPECT_EQ(config->GetPort(), portB);

    probe->SetParent(portC);
    EXPECT_EQ(config->GetPreviousPortHandle(), portA->GetObjectHandle());
    std::vector<Config*> moved;
    EXPECT_TRUE(Config::GetMovedConfigList(moved));
    EXPECT_EQ(moved, (std::vector<Config*>{config}));

    // The old port's online flag no longer concerns it; the new one's does.
    portA->Set(PROP_PORT_ONLINE, false);
    portA->Set(PROP_PORT_ONLINE, true);
    EXPECT_TRUE(In(Config::s_offlineSet, config));
    portC->Set(PROP_PORT_ONLINE, true);
    EXPECT_TRUE(In(Config::s_onlineSet, config));

    Config::ResetMovedConfig();
    EXPECT_TRUE(Config::s_movedSet.empty());
    EXPECT_EQ(config->GetPreviousPortHandle(), 0u);
}

TEST_F(DataModelTest, AConfigurationPlacedUnderAnotherParentMovesWithIt) {
    portA->Set(PROP_PORT_ONLINE, true);
    portB->Set(PROP_PORT_ONLINE, true);
    Config* config = ProbeConfig(portA);
    auto* probeB = Make<CProbe>(portB, "probeB");
    EXPECT_EQ(config->GetPort(), portA);

    config->SetParent(probeB);
    EXPECT_EQ(config->GetPort(), portB);
    EXPECT_TRUE(In(Config::s_movedSet, config));
    EXPECT_EQ(config->GetPreviousPortHandle(), portA->GetObjectHandle());
    EXPECT_TRUE(In(Config::s_onlineSet, config));  // the new port is online

    // It follows the new port's online flag and its new parent's moves, not the old ones.
    portA->Set(PROP_PORT_ONLINE, false);
    EXPECT_TRUE(In(Config::s_onlineSet, config));
    portB->Set(PROP_PORT_ONLINE, false);
    EXPECT_TRUE(In(Config::s_offlineSet, config));
    probeB->SetParent(portC);
    EXPECT_EQ(config->GetPort(), portC);
    EXPECT_EQ(config->GetPreviousPortHandle(), portA->GetObjectHandle());

    // A configuration that never had a port gets one by being placed under a port's probe.
    auto* loose = Make<CProbe>(&CProject::Instance(), "loose");
    auto* unplaced = Make<CProbeFrameResponseConfig>(loose, "unplaced");
    EXPECT_EQ(unplaced->GetPort(), nullptr);
    unplaced->SetParent(probeB);
    EXPECT_EQ(unplaced->GetPort(), portC);
    EXPECT_FALSE(In(Config::s_movedSet, unplaced));
}

TEST_F(DataModelTest, AnAppliedConfigurationWhosePortComesOnlineIsToBeSentAgain) {
    Config* config = ProbeConfig(portA);  // portA offline
    Config* gone = ProbeConfig(portA, "probe2");
    config->MarkClean();  // applied while its port was offline: left out, yet marked clean
    gone->MarkClean();
    gone->MarkDelete();
    ASSERT_EQ(gone->GetObjectState(), ObjectState::DELETED);

    portA->Set(PROP_PORT_ONLINE, true);
    EXPECT_EQ(config->GetObjectState(), ObjectState::MODIFIED);
    EXPECT_EQ(gone->GetObjectState(), ObjectState::DELETED);  // never revived

    // Offline and back while clean: sent again. Reports of a port that stays online are not a
    // change.
    config->MarkClean();
    portA->Set(PROP_PORT_ONLINE, true);
    EXPECT_EQ(config->GetObjectState(), ObjectState::CLEAN);
    portA->Set(PROP_PORT_ONLINE, false);
    EXPECT_EQ(config->GetObjectState(), ObjectState::CLEAN);
    portA->Set(PROP_PORT_ONLINE, true);
    EXPECT_EQ(config->GetObjectState(), ObjectState::MODIFIED);
}

TEST_F(DataModelTest, DeviceConfigurationsReachTheirPortThroughTheDevice) {
    auto* device = Make<CEmulatedDevice>(&CProject::Instance(), "dev1");
    auto* config = Make<CDeviceFrameResponseConfig>(device, "devcfg");
    EXPECT_EQ(config->GetPort(), nullptr);
    EXPECT_EQ(config->GetPortHandle(), 0u);
    EXPECT_TRUE(In(Config::s_offlineSet, config));

    portB->Set(PROP_PORT_ONLINE, true);
    device->SetObject(portB, RelationType(DEVICE_TO_PORT));
    EXPECT_EQ(config->GetPort(), portB);
    EXPECT_TRUE(In(Config::s_onlineSet, config));

    device->SetObject(portA, RelationType(DEVICE_TO_PORT));  // removal reported first
    EXPECT_TRUE(In(Config::s_movedSet, config));
    EXPECT_EQ(config->GetPreviousPortHandle(), portB->GetObjectHandle());
    EXPECT_EQ(config->GetPort(), portA);
}

TEST_F(DataModelTest, DeletedConfigurationsLeaveTheSetsAndTheirPort) {
    Config* kept = ProbeConfig(portA);
    Config* gone = ProbeConfig(portB, "probe2");
    Handle goneHandle = gone->GetObjectHandle();
    gone->MarkDelete();
    EXPECT_EQ(gone->GetObjectState(), ObjectState::DELETED_UNAPPLIED);
    portB->Set(PROP_PORT_ONLINE, true);  // no longer listened to
    EXPECT_TRUE(In(Config::s_offlineSet, gone));

    CScriptableCreator::Destroy(gone);  // what the host does once the deletion is applied
    EXPECT_EQ(CHandleRegistry::Instance().Find(goneHandle), nullptr);
    EXPECT_EQ(Config::s_offlineSet.count(goneHandle), 0u);
    EXPECT_TRUE(In(Config::s_offlineSet, kept));

    // A handle whose object went some other way is pruned by the next list call.
    Config::s_onlineSet.insert(goneHandle);
    Config::s_onlineSet.insert(portA->GetObjectHandle());  // not a configuration
    std::vector<Config*> list;
    EXPECT_FALSE(Config::GetOnlineConfigList(list, false));
    EXPECT_TRUE(Config::s_onlineSet.empty());

    CProject::Instance().Reset();
    EXPECT_TRUE(Config::NoneCreated());
    EXPECT_TRUE(Config::s_movedSet.empty());
}

TEST_F(DataModelTest, ConfigurationMessagesNameTheParentAndComeInOrder) {
    portA->Set(PROP_PORT_IS_PORT_SET, true);
    Config* config = ProbeConfig(portA);
    config->Set(Config::PROP_USE_FRAME_CONFIG_FILTER, uint8_t{1});
    config->SetFrameConfig("<frame><pdu name=\"e\" type=\"ethernet:Nope\"/></frame>");

    ValidationContext context;
    config->ValidateConfig(context);
    auto texts = Messages(context);
    ASSERT_EQ(texts.size(), 4u);
    std::string parseError = config->ParseFrameXml();
    ASSERT_FALSE(parseError.empty());
    EXPECT_EQ(texts[0],
              "Auto Frame Response validation failed for probe1: Invalid filter " + parseError);
    EXPECT_EQ(texts[1],
              "Auto Frame Response validation failed for probe1: No response profiles configured");
    EXPECT_EQ(texts[2],
              "Auto Frame Response validation failed for cfg-probe1: Invalid frame config: " +
                  parseError);
    EXPECT_EQ(
        texts[3],
        "Auto Frame Response validation failed for probe1: Feature is unsupported on aggregate "
        "ports");
    EXPECT_NE(context.GetMessages()[0].source.find("BaseFrameResponseConfig.cpp"),
              std::string::npos);

    config->Set(Config::PROP_USE_FRAME_CONFIG_FILTER, uint8_t{0});
    config->Set(Config::PROP_FILTER, std::string());
    ValidationContext empty;
    config->ValidateConfig(empty);
    EXPECT_EQ(Messages(empty)[0],
              "Auto Frame Response validation failed for probe1: Invalid filter Filter is empty");
}

TEST_F(DataModelTest, ProfileAndModifierMessages) {
    Config* config = ProbeConfig(portA);
    config->SetFrameConfig(kTwelveBytes);
    auto* profile = Make<CFrameResponseProfile>(config, "reply");
    profile->Set(CFrameResponseProfile::PROP_TX_PORT, portC->GetObjectHandle());  // other group
    profile->Set(CFrameResponseProfile::PROP_USE_RX_FRAME, true);
    auto* modifier = Make<CFrameResponseModifier>(profile);
    modifier->Set(CFrameResponseModifier::PROP_OFFSET, 10u);
    modifier->Set(CFrameResponseModifier::PROP_MASK, std::string("FFFFFFFF"));
    modifier->Set(CFrameResponseModifier::PROP_VALUE, std::string("0102030405"));
    auto* inactive = Make<CFrameResponseModifier>(profile);
    inactive->Set(CFrameResponseModifier::PROP_OFFSET, 1000u);
    inactive->Set(CFrameResponseModifier::PROP_MASK, std::string("FF"));
    inactive->SetActive(false);

    ValidationContext context;
    config->ValidateConfig(context);
    EXPECT_EQ(
        Messages(context),
        (std::vector<std::string>{
            "Auto Frame Response validation failed for probe1: Modifier definition extends 2 "
            "byte(s) beyond the end of the filter definition.",
            "Auto Frame Response validation failed for probe1: Modifier Value is too long by 1 "
            "byte(s)",
            "Auto Frame Response validation failed for probe1: Profile with transmit port not in "
            "the correct port group"}));

    // Exactly at the end, on the configuration's own port, with a fitting value: nothing.
    modifier->Set(CFrameResponseModifier::PROP_OFFSET, 8u);
    modifier->Set(CFrameResponseModifier::PROP_VALUE, std::string("05"));
    profile->Set(CFrameResponseProfile::PROP_TX_PORT, portA->GetObjectHandle());
    ValidationContext clean;
    config->ValidateConfig(clean);
    EXPECT_TRUE(clean.GetMessages().empty()) << Messages(clean)[0];

    // Modifiers of a profile that sends its own frame are not looked at; a missing transmit
    // port is not reported.
    profile->Set(CFrameResponseProfile::PROP_USE_RX_FRAME, false);
    modifier->Set(CFrameResponseModifier::PROP_OFFSET, 500u);
    profile->Set(CFrameResponseProfile::PROP_TX_PORT, 999999u);
    ValidationContext ownFrame;
    config->ValidateConfig(ownFrame);
    EXPECT_TRUE(ownFrame.GetMessages().empty());
    EXPECT_EQ(profile->GetPortIndex(), 0xFFFFFFFFu);

    // A reference frame that does not parse is reported once, by the frame check.
    profile->Set(CFrameResponseProfile::PROP_USE_RX_FRAME, true);
    config->SetFrameConfig("<frame>");
    ValidationContext broken;
    EXPECT_NO_THROW(config->ValidateConfig(broken));
    for (const auto& text : Messages(broken))
        EXPECT_EQ(text.find("Modifier definition"), std::string::npos);
}

TEST_F(DataModelTest, TextsThatAreNotHexadecimalAreMessagesAndValidationGoesOn) {
    Config* config = ProbeConfig(portA);
    config->SetFrameConfig(kTwelveBytes);
    auto* profile = Make<CFrameResponseProfile>(config, "reply");
    profile->Set(CFrameResponseProfile::PROP_USE_RX_FRAME, true);
    auto* modifier = Make<CFrameResponseModifier>(profile, "m1");
    modifier->Set(CFrameResponseModifier::PROP_MASK, std::string("FFzz"));
    modifier->Set(CFrameResponseModifier::PROP_VALUE, std::string("01"));
    auto* second = Make<CFrameResponseModifier>(profile, "m2");
    second->Set(CFrameResponseModifier::PROP_OFFSET, 11u);
    second->Set(CFrameResponseModifier::PROP_MASK, std::string("FFFF"));
    second->Set(CFrameResponseModifier::PROP_VALUE, std::string("0x5"));
    Config* other = ProbeConfig(portB, "probe2");
    other->Set(Config::PROP_FILTER, std::string());

    ValidationContext context;
    ASSERT_NO_THROW(config->ValidateConfig(context));
    ASSERT_NO_THROW(other->ValidateConfig(context));
    const std::vector<std::string> texts = Messages(context);
    ASSERT_EQ(texts.size(), 5u) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts[0].rfind("Auto Frame Response validation failed for probe1: m1 Mask \"FFzz\" "
                             "is not a hexadecimal byte string",
                             0),
              0u)
        << texts[0];
    // The second modifier's mask is good: its extent is still checked.
    EXPECT_EQ(texts[1],
              "Auto Frame Response validation failed for probe1: Modifier definition extends 1 "
              "byte(s) beyond the end of the filter definition.");
    EXPECT_EQ(
        texts[2].rfind("Auto Frame Response validation failed for probe1: m2 Value \"0x5\"", 0), 0u)
        << texts[2];
    EXPECT_EQ(texts[3],
              "Auto Frame Response validation failed for probe2: Invalid filter Filter "
              "is empty");
}

TEST_F(DataModelTest, BrokenParentChainsRaiseTheHostAssertion) {
    auto* probe = Make<CProbe>(portA, "probe1");
    auto* stray = Make<CFrameResponseProfile>(probe);  // a profile straight under a probe
    ValidationContext context;
    try {
        stray->ValidateProfile(context);
        FAIL() << "expected an assertion";
    } catch (const COrxLogicError& e) {
        std::string text = e.what();
        EXPECT_EQ(text.rfind("Assertion Failed: Did not find correct parent config object "
                             "Expression: cfg File: ",
                             0),
                  0u)
            << text;
        EXPECT_NE(text.find("FrameResponseProfile.cpp Line: "), std::string::npos) << text;
    }
    EXPECT_THROW(stray->GetPortIndex(), COrxLogicError);
    auto* strayModifier = Make<CFrameResponseModifier>(probe);
    try {
        strayModifier->ValidateModifier(context);
        FAIL() << "expected an assertion";
    } catch (const COrxLogicError& e) {
        EXPECT_NE(std::string(e.what()).find(
                      "Did not find correct parent profile object Expression: prof"),
                  std::string::npos);
    }
    // A configuration must have a parent when it is made.
    try {
        CScriptableCreator::Create(CProbeFrameResponseConfig::CLASS_ID(), nullptr);
        FAIL() << "expected an assertion";
    } catch (const COrxLogicError& e) {
        EXPECT_NE(std::string(e.what()).find(
                      "Did not properly retrieve parent object Expression: parent"),
                  std::string::npos);
    }
    try {
        CScriptableCreator::Create(Config::CLASS_ID(), probe);
        FAIL() << "expected the abstract class to refuse";
    } catch (const COrxLogicError& e) {
        EXPECT_STREQ(e.what(), "Trying to create an abstract class : CBaseFrameResponseConfig");
    }
}

TEST_F(DataModelTest, ModifierBytesAreRightAlignedUnderTheMask) {
    struct Record {
        std::vector<uint8_t> Mask;
        std::vector<uint8_t> Value;
    };
    auto* modifier = Make<CFrameResponseModifier>(&CProject::Instance());
    auto bytes = [&](const char* mask, const char* value) {
        modifier->Set(CFrameResponseModifier::PROP_MASK, std::string(mask));
        modifier->Set(CFrameResponseModifier::PROP_VALUE, std::string(value));
        Record r;
        modifier->DataToIdl(r);
        return r;
    };
    Record padded = bytes("FFFF", "05");
    EXPECT_EQ(padded.Mask, (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(padded.Value, (std::vector<uint8_t>{0x00, 0x05}));
    Record longer = bytes("FF", "0102");
    EXPECT_EQ(longer.Value, (std::vector<uint8_t>{0x01, 0x02}));
    Record empty = bytes("", "AB");
    EXPECT_TRUE(empty.Mask.empty());
    EXPECT_EQ(empty.Value, (std::vector<uint8_t>{0xAB}));
}

TEST_F(DataModelTest, ConvertCommandShowsTheFilterOrWhyNot) {
    Config* config = ProbeConfig(portA);
    auto command = CScriptableCreator::CreateAPT<CFrameConfigConvertCommand>();
    command->SetName("convert");
    command->Set(CFrameConfigConvertCommand::PROP_CONFIG, config->GetObjectHandle());
    EXPECT_TRUE(command->Execute());
    EXPECT_EQ(command->GetFilterValue(), "arp");
    EXPECT_EQ(command->GetStatus(), "");

    config->Set(Config::PROP_FILTER, std::string());
    EXPECT_TRUE(command->Execute());
    EXPECT_EQ(command->GetFilterValue(), "arp");  // kept
    EXPECT_EQ(command->GetStatus(), "convert: Invalid filter Filter is empty");

    auto* profile = Make<CFrameResponseProfile>(config);
    command->Set(CFrameConfigConvertCommand::PROP_CONFIG, profile->GetObjectHandle());
    EXPECT_FALSE(command->Execute());
    EXPECT_EQ(command->GetStatus(),
              "convert has an invalid handle " + std::to_string(profile->GetObjectHandle()));
    EXPECT_THROW(command->DoRun(), CCommandErrorException);

    // Frame-description filter: the converted expression.
    config->Set(Config::PROP_USE_FRAME_CONFIG_FILTER, uint8_t{1});
    config->SetFrameConfig(
        "<frame><pdu name=\"eth1\" type=\"ethernet:EthernetII\"><srcMac>02:00:00:00:00:01</srcMac>"
        "</pdu></frame>");
    command->Set(CFrameConfigConvertCommand::PROP_CONFIG, config->GetObjectHandle());
    EXPECT_TRUE(command->Execute());
    EXPECT_EQ(command->GetFilterValue(), "ether src 02:00:00:00:00:01");
    EXPECT_EQ(command->GetStatus(), "");  // the earlier run's failure no longer holds

    // The configuration goes between validation and run: the run does not use it.
    CBaseValidationContext context;
    ASSERT_TRUE(command->Validate(context));
    CScriptableCreator::Destroy(config);
    try {
        command->DoRun();
        FAIL() << "expected the run to refuse";
    } catch (const CCommandErrorException& e) {
        EXPECT_STREQ(e.what(), "convert: No config instance given");
    }
}

TEST_F(DataModelTest, StartAndStopAreOfferedByActivationAndPortState) {
    auto status = [](const CScriptable* object, ClassId command) {
        bool enabled = false;
        EXPECT_TRUE(CCommandStatusManager::Instance().GetCommandStatus(object->GetObjectHandle(),
                                                                       command, enabled));
        return enabled;
    };
    Config* config = ProbeConfig(portA);  // a new, active configuration: start offered
    EXPECT_TRUE(status(config, CFrameResponseCommand::START_COMMAND_CLASS_ID));
    EXPECT_FALSE(status(config, CProtocolStopCommand::CLASS_ID()));

    portA->Set(PROP_PORT_ONLINE, true);
    portA->Set(PROP_PORT_ONLINE, false);  // the port went away: nothing offered
    EXPECT_FALSE(status(config, CFrameResponseCommand::START_COMMAND_CLASS_ID));
    EXPECT_FALSE(status(config, CFrameResponseCommand::STOP_COMMAND_CLASS_ID));
    portA->Set(PROP_PORT_ONLINE, true);
    EXPECT_TRUE(status(config, CFrameResponseCommand::START_COMMAND_CLASS_ID));
    EXPECT_TRUE(status(config, CProtocolStartCommand::CLASS_ID()));
    EXPECT_FALSE(status(config, CFrameResponseCommand::STOP_COMMAND_CLASS_ID));

    std::vector<uint32_t> handles{config->GetObjectHandle()};
    CFrameResponseCommand::SetStartStop(handles, false, false);  // after a start
    EXPECT_TRUE(config->GetT<bool>(Config::PROP_RUNNING));
    EXPECT_TRUE(status(config, CFrameResponseCommand::STOP_COMMAND_CLASS_ID));
    EXPECT_FALSE(status(config, CProtocolStartCommand::CLASS_ID()));

    config->SetActive(false);
    EXPECT_FALSE(config->GetT<bool>(Config::PROP_RUNNING));
    EXPECT_FALSE(status(config, CFrameResponseCommand::START_COMMAND_CLASS_ID));
    EXPECT_FALSE(status(config, CFrameResponseCommand::STOP_COMMAND_CLASS_ID));
    config->SetActive(true);
    EXPECT_TRUE(status(config, CFrameResponseCommand::START_COMMAND_CLASS_ID));

    COrxSystem::Instance().SetInSimulationMode(true);
    portA->Set(PROP_PORT_ONLINE, false);  // usable all the same in simulation mode
    EXPECT_TRUE(status(config, CFrameResponseCommand::START_COMMAND_CLASS_ID));
}

}  // namespace

// The generated id constants name the classes and properties the data-model files define, as the
// meta-class manager reads those files (a generator that put a property under the wrong class,
// or read an id wrongly, shows here).
TEST_F(DataModelTest, GeneratedIdsAreThoseOfTheLoadedDataModels) {
    namespace core = orx::ids::core;
    namespace responder = orx::ids::responder;
    struct Expected {
        const char* className;
        uint32_t classId;
        const char* property;  // null: the class alone
        uint32_t propertyId;
    };
    const Expected cases[] = {
        {"Scriptable", core::Scriptable::kClass, "Name", core::Scriptable::Name},
        {"Port", core::Port::kClass, "Online", core::Port::Online},
        {"PhysicalTestModule", core::PhysicalTestModule::kClass, "Model",
         core::PhysicalTestModule::Model},
        {"PduContainer", core::PduContainer::kClass, "FrameConfig",
         core::PduContainer::FrameConfig},
        {"Command", core::Command::kClass, "Status", core::Command::Status},
        {"ProtocolStopCommand", core::ProtocolStopCommand::kClass, nullptr, 0},
        {"BaseFrameResponseConfig", responder::BaseFrameResponseConfig::kClass, "Running",
         responder::BaseFrameResponseConfig::Running},
        {"FrameResponseModifier", responder::FrameResponseModifier::kClass, "Value",
         responder::FrameResponseModifier::Value},
        {"FrameResponseProfile", responder::FrameResponseProfile::kClass, "UseRxFrame",
         responder::FrameResponseProfile::UseRxFrame},
        {"FrameConfigConvertCommand", responder::FrameConfigConvertCommand::kClass, "FilterValue",
         responder::FrameConfigConvertCommand::FilterValue},
        {"FrameResponseStopCommand", responder::FrameResponseStopCommand::kClass, nullptr, 0},
    };
    for (const Expected& e : cases) {
        const CMetaClass* meta = CMetaClassManager::Instance().GetClass(e.className);
        ASSERT_NE(meta, nullptr) << e.className;
        EXPECT_EQ(meta->GetClassId().Value(), e.classId) << e.className;
        if (!e.property)
            continue;
        const CMetaProperty* property = meta->FindProperty(e.property);
        ASSERT_NE(property, nullptr) << e.className << '.' << e.property;
        EXPECT_EQ(property->GetId(), e.propertyId) << e.className << '.' << e.property;
        EXPECT_EQ(property->GetClassId().Value(), e.classId) << e.className << '.' << e.property;
    }
}
