// Start, stop and clear: the commands' handle expansion and validation, one request per port,
// the running state and command availability they leave, and the protocol that runs them.
#include <gtest/gtest.h>

#include <algorithm>

#include <orx/core/HostClasses.h>
#include <orx/core/Protocol.h>
#include <orx/framework/Logger.h>
#include <orx/framework/ScriptableCreator.h>
#include "BaseFrameResponseConfig.h"
#include "DeviceFrameResponseConfig.h"
#include "FrameResponseProfile.h"
#include "FrameResponseStartCommand.h"
#include "FrameResponseStopCommand.h"
#include "PluginTestModel.h"
#include "ProbeFrameResponseConfig.h"
#include "ResponderProtocol.h"
#include "ScriptedIl.h"

using namespace orx::framework;
using namespace orx::core;
using namespace orx::responder;
using namespace plugintest;

namespace {

class CommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        BLLLoggerFactory::GetInstance()->SetConsoleEnabled(false);
        m_listener = BLLLoggerFactory::GetInstance()->AddListener([this](const LogRecord& r) {
            if (r.logger == "content.traffic.responder" && r.level == LOG_ERROR)
                errorLines.push_back(r.text);
        });
        il = std::make_shared<ScriptedIl>();
        auto* module = Make<CPhysicalTestModule>(&COrxSystem::Instance(), "mod1");
        module->SetIlTransport(il);
        group = Make<CPhysicalPortGroup>(module);
        group->Set(PROP_PORT_GROUP_LOCATION, std::string("//10.0.0.1/1"));
        portA = MakePort("portA", 0, true);
        portB = MakePort("portB", 1, true);
        portOff = MakePort("portOff", 2, false);
    }
    void TearDown() override {
        BLLLoggerFactory::GetInstance()->RemoveListener(m_listener);
        CProject::Instance().Reset();
    }

    CPort* MakePort(const std::string& name, uint16_t index, bool online) {
        return plugintest::MakePort(name, group, index, online);
    }
    CBaseFrameResponseConfig* ProbeConfig(CPort* port, const std::string& name) {
        auto* probe = Make<CProbe>(port, "probe-" + name);
        auto* config = Make<CProbeFrameResponseConfig>(probe, name);
        config->Set(CBaseFrameResponseConfig::PROP_FILTER, std::string("arp"));
        return config;
    }
    CBaseFrameResponseConfig* DeviceConfig(CPort* port, const std::string& name) {
        auto* device = Make<CEmulatedDevice>(&CProject::Instance(), "dev-" + name);
        device->SetObject(port, RelationType(DEVICE_TO_PORT));
        return Make<CDeviceFrameResponseConfig>(device, name);
    }
    template <class Command>
    CScriptableAutoPtr<Command> MakeCommand(const std::string& name) {
        auto command = CScriptableCreator::CreateAPT<Command>();
        command->SetName(name);
        return command;
    }
    static bool Offered(const CScriptable* object, ClassId command) {
        bool enabled = false;
        CCommandStatusManager::Instance().GetCommandStatus(object->GetObjectHandle(), command,
                                                           enabled);
        return enabled;
    }
    static bool Running(const CBaseFrameResponseConfig* c) {
        return c->GetT<bool>(CBaseFrameResponseConfig::PROP_RUNNING);
    }
    const Request* On(uint32_t port) const {
        for (const auto& r : il->requests)
            if (r.destination == port)
                return &r;
        return nullptr;
    }
    static std::vector<uint32_t> Sorted(std::vector<uint32_t> v) {
        std::sort(v.begin(), v.end());
        return v;
    }

    std::shared_ptr<ScriptedIl> il;
    CPhysicalPortGroup* group = nullptr;
    CPort* portA = nullptr;
    CPort* portB = nullptr;
    CPort* portOff = nullptr;
    std::vector<std::string> errorLines;
    int m_listener = 0;
};

TEST_F(CommandTest, HandlesExpandIntoConfigurationsAndBadOnesAreNamed) {
    auto* a = ProbeConfig(portA, "a");
    auto* d = DeviceConfig(portA, "d");
    auto* b = ProbeConfig(portB, "b");
    auto* emptyProbe = Make<CProbe>(portB, "empty");
    auto start = MakeCommand<CFrameResponseStartCommand>("start");
    EXPECT_EQ(start->GetConfigList(), (std::vector<uint32_t>{ORX_PROJECT_HANDLE}));

    std::vector<CBaseFrameResponseConfig*> configs;
    start->SetConfigList({portA->GetObjectHandle(), b->GetParent()->GetObjectHandle(),
                          emptyProbe->GetObjectHandle(), b->GetObjectHandle()});
    start->GetConfigList(configs);
    EXPECT_EQ(configs, (std::vector<CBaseFrameResponseConfig*>{a, d, b, b}));
    EXPECT_TRUE(start->GetInvalidHandles().empty());

    CBaseValidationContext context;
    start->SetConfigList({});
    EXPECT_FALSE(start->Validate(context));
    EXPECT_EQ(start->GetStatus(), "start: No handles provided");

    start->SetConfigList({999999, portOff->GetObjectHandle()});  // a port with no probe or device
    EXPECT_FALSE(start->Validate(context));
    EXPECT_EQ(start->GetStatus(),
              "start: Invalid handles: 999999, " + std::to_string(portOff->GetObjectHandle()));
    ASSERT_EQ(context.GetMessages().size(), 2u);
    EXPECT_EQ(context.GetMessages()[1].message, start->GetStatus());
    EXPECT_TRUE(start->DoReset());
    EXPECT_TRUE(start->GetInvalidHandles().empty());
}

TEST_F(CommandTest, StartAndStopSendOneRequestPerPortAndRecordTheState) {
    auto* a1 = ProbeConfig(portA, "a1");
    auto* a2 = DeviceConfig(portA, "a2");
    auto* inactive = ProbeConfig(portA, "inactive");
    inactive->SetActive(false);
    auto* b = ProbeConfig(portB, "b");
    auto* off = ProbeConfig(portOff, "off");

    auto start = MakeCommand<CFrameResponseStartCommand>("start");
    start->SetConfigList({portA->GetObjectHandle(), b->GetObjectHandle(), off->GetObjectHandle()});
    ASSERT_TRUE(start->Execute());
    ASSERT_EQ(il->requests.size(), 2u);
    EXPECT_EQ(il->requests[0].name, "responder_1.Start");
    EXPECT_EQ(Sorted(On(0)->handles), Sorted({a1->GetObjectHandle(), a2->GetObjectHandle()}));
    EXPECT_EQ(On(1)->handles, (std::vector<uint32_t>{b->GetObjectHandle()}));
    // Every configuration of the list is recorded, also those no request concerned.
    for (auto* c : {a1, a2, inactive, b, off}) {
        EXPECT_TRUE(Running(c)) << c->GetName();
        EXPECT_TRUE(Offered(c, CFrameResponseStopCommand::CLASS_ID()));
        EXPECT_FALSE(Offered(c, CProtocolStartCommand::CLASS_ID()));
    }

    il->requests.clear();
    auto stop = MakeCommand<CFrameResponseStopCommand>("stop");  // the project: online ports
    ASSERT_TRUE(stop->Execute());
    ASSERT_EQ(il->requests.size(), 2u);
    EXPECT_EQ(il->requests[0].name, "responder_1.Stop");
    EXPECT_FALSE(Running(a1));
    EXPECT_TRUE(Offered(a1, CFrameResponseStartCommand::CLASS_ID()));
    EXPECT_TRUE(Running(off));  // on an offline port: not in the project-wide list

    // Only inactive configurations selected: nothing sent, nothing recorded.
    il->requests.clear();
    start->SetConfigList({inactive->GetObjectHandle()});
    inactive->Set(CBaseFrameResponseConfig::PROP_RUNNING, false);
    ASSERT_TRUE(start->Execute());
    EXPECT_TRUE(il->requests.empty());
}

TEST_F(CommandTest, FaultsAreLoggedAndFailTheRunWithoutChangingTheState) {
    auto* a = ProbeConfig(portA, "a");
    ProbeConfig(portB, "b");
    il->answer = Answer::Failed;
    auto start = MakeCommand<CFrameResponseStartCommand>("start");
    try {
        start->Execute();
        FAIL() << "expected the run to fail";
    } catch (const CCommandErrorException& e) {
        EXPECT_STREQ(e.what(), "start encountered an error after sending command message");
    }
    ASSERT_EQ(errorLines.size(), 3u);
    EXPECT_EQ(errorLines[0], "start received errors");
    EXPECT_EQ(errorLines[1].rfind("Error 1: msgSeqNum ", 0), 0u) << errorLines[1];
    EXPECT_NE(errorLines[1].find(", msgrString: //10.0.0.1/1/"), std::string::npos);
    EXPECT_NE(errorLines[1].find(", faultCode: 3, faultString: refused by the script"),
              std::string::npos)
        << errorLines[1];
    EXPECT_FALSE(Running(a));

    il->answer = Answer::Ok;
    il->refuseSends = true;
    try {
        start->Execute();
        FAIL() << "expected the send to fail";
    } catch (const CCommandErrorException& e) {
        EXPECT_STREQ(e.what(), "start: Failed to send command message");
    }
}

TEST_F(CommandTest, EachValidationJudgesTheListAsItIsNow) {
    auto* a = ProbeConfig(portA, "a");
    auto start = MakeCommand<CFrameResponseStartCommand>("start");
    start->SetConfigList({999999, a->GetObjectHandle()});
    CBaseValidationContext context;
    EXPECT_FALSE(start->Validate(context));
    EXPECT_FALSE(start->Validate(context));
    EXPECT_EQ(start->GetStatus(), "start: Invalid handles: 999999");
    EXPECT_EQ(start->GetInvalidHandles(), (std::vector<uint32_t>{999999}));

    // Corrected, the list is valid and runs.
    start->SetConfigList({a->GetObjectHandle()});
    EXPECT_TRUE(start->Validate(context));
    ASSERT_TRUE(start->Execute());
    EXPECT_EQ(il->requests.size(), 1u);
    EXPECT_TRUE(Running(a));
}

TEST_F(CommandTest, AFailedSendFirstTakesTheAnswersOfTheRequestsAlreadySent) {
    auto* a = ProbeConfig(portA, "a");
    auto* b = ProbeConfig(portB, "b");
    CResponderProtocol& protocol = CResponderProtocol::Instance();
    // The first port's request gets through and is refused; the second port's cannot be sent.
    il->answer = Answer::Failed;
    il->refuseAfter = 1;
    auto start = MakeCommand<CFrameResponseStartCommand>("start");
    try {
        start->Execute();
        FAIL() << "expected the send to fail";
    } catch (const CCommandErrorException& e) {
        EXPECT_STREQ(e.what(), "start: Failed to send command message");
    }
    // The fault of the request that got through is logged with the failed send.
    std::string log;
    for (const auto& line : errorLines)
        log += line + "\n";
    EXPECT_EQ(log.rfind("start received error\nError 1: msgSeqNum ", 0), 0u) << log;
    EXPECT_NE(log.find("faultString: refused by the script\n"), std::string::npos) << log;
    EXPECT_EQ(errorLines.size(), 2u);
    EXPECT_FALSE(Running(a) || Running(b));

    // The next command answers for its own requests only.
    errorLines.clear();
    il->answer = Answer::Ok;
    il->refuseAfter = SIZE_MAX;
    auto stop = MakeCommand<CFrameResponseStopCommand>("stop");
    EXPECT_TRUE(stop->Execute());
    EXPECT_TRUE(errorLines.empty());
    EXPECT_TRUE(Offered(a, CFrameResponseStartCommand::CLASS_ID()));

    // The same for the protocol's clear.
    il->answer = Answer::Failed;
    il->refuseAfter = il->requests.size() + 1;
    try {
        protocol.ClearResult();
        FAIL() << "expected the send to fail";
    } catch (const CCommandErrorException& e) {
        EXPECT_STREQ(e.what(), "Responder: Failed to send command message");
    }
    EXPECT_EQ(errorLines,
              (std::vector<std::string>{"Responder received error", errorLines.back()}));
    il->answer = Answer::Ok;
    il->refuseAfter = SIZE_MAX;
    EXPECT_NO_THROW(protocol.ClearResult());
}

TEST_F(CommandTest, TheProtocolRaisesASelectionTheCommandRefuses) {
    auto* a = ProbeConfig(portA, "a");
    CResponderProtocol& protocol = CResponderProtocol::Instance();
    for (bool start : {true, false}) {
        errorLines.clear();
        try {
            protocol.StartStopProtocol(start, {999999});
            FAIL() << "expected the start or stop to fail";
        } catch (const CCommandErrorException& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find(": Invalid handles: 999999"), std::string::npos) << text;
            EXPECT_EQ(errorLines, (std::vector<std::string>{text}));
        }
    }
    ScriptableVec unusable{portOff};  // a port with no probe or device
    EXPECT_THROW(protocol.StartStopProtocolConfigs(true, unusable), CCommandErrorException);
    EXPECT_TRUE(il->requests.empty());
    EXPECT_FALSE(Running(a));

    // An empty selection does nothing, without an error.
    errorLines.clear();
    EXPECT_NO_THROW(protocol.StartStopProtocol(true, {}));
    ScriptableVec none{nullptr};
    EXPECT_TRUE(protocol.StartStopProtocolConfigs(true, none));
    EXPECT_TRUE(il->requests.empty());
    EXPECT_TRUE(errorLines.empty());
}

TEST_F(CommandTest, TheProtocolStartsStopsAndClearsThroughTheCommands) {
    CResponderProtocol& protocol = CResponderProtocol::Instance();
    protocol.StartStopProtocol(true);  // no configuration at all: nothing happens
    protocol.ClearResult();
    EXPECT_TRUE(il->requests.empty());

    auto* a1 = ProbeConfig(portA, "a1");
    auto* a2 = ProbeConfig(portA, "a2");
    auto* inactive = ProbeConfig(portA, "inactive");
    inactive->SetActive(false);
    auto* b = ProbeConfig(portB, "b");
    protocol.StartStopProtocol(true);
    EXPECT_EQ(il->requests.size(), 2u);
    EXPECT_TRUE(Running(a1) && Running(b));

    il->requests.clear();
    protocol.StartStopProtocol(false, {b->GetObjectHandle()});
    ASSERT_EQ(il->requests.size(), 1u);
    EXPECT_EQ(il->requests[0].name, "responder_1.Stop");
    EXPECT_FALSE(Running(b));
    EXPECT_TRUE(Running(a1));

    il->requests.clear();
    ScriptableVec none{nullptr};
    EXPECT_TRUE(protocol.StartStopProtocolConfigs(true, none));  // an empty list: nothing sent
    EXPECT_TRUE(il->requests.empty());
    ScriptableVec some{a2, nullptr};
    EXPECT_TRUE(protocol.StartStopProtocolConfigs(false, some));
    ASSERT_EQ(il->requests.size(), 1u);
    EXPECT_EQ(il->requests[0].handles, (std::vector<uint32_t>{a2->GetObjectHandle()}));

    il->requests.clear();
    protocol.ClearResult();
    ASSERT_EQ(il->requests.size(), 2u);
    EXPECT_EQ(il->requests[0].name, "responder_1.ClearResult");
    EXPECT_EQ(Sorted(On(0)->handles), Sorted({a1->GetObjectHandle(), a2->GetObjectHandle()}));

    il->answer = Answer::Failed;
    try {
        protocol.ClearResult();
        FAIL() << "expected the clear to fail";
    } catch (const CCommandErrorException& e) {
        EXPECT_STREQ(e.what(), "Responder encountered an error after sending ClearResult message");
    }
    EXPECT_EQ(std::count(errorLines.begin(), errorLines.end(), "Responder received errors"), 1);
}

}  // namespace
