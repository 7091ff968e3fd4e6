// Validation and apply of the project through the per-port message-set clients, against a
// scripted IL that records every request and answers as each test tells it to.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include <orx/core/Apply.h>
#include <orx/core/Capabilities.h>
#include <orx/core/HostClasses.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/msglib/Codec.h>
#include "BaseFrameResponseConfig.h"
#include "Churn.h"
#include "FrameResponseCommand.h"
#include "FrameResponseModifier.h"
#include "FrameResponseProfile.h"
#include "PluginTestModel.h"
#include "ProbeFrameResponseConfig.h"
#include "ResponderMsgSetClnt.h"
#include "ScriptedIl.h"
#include "init.h"
#include "responder_1.h"

using namespace orx::framework;
using namespace orx::core;
using namespace orx::responder;

namespace {

using namespace plugintest;

class ApplyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResponderResourceRegisterer registerer;
        il = std::make_shared<ScriptedIl>();
        module = Make<CPhysicalTestModule>(&COrxSystem::Instance(), "mod1");
        module->Set(PROP_TEST_MODULE_MODEL, std::string("SW"));
        module->SetIlTransport(il);
        SetCapability(module, true);
        group = Make<CPhysicalPortGroup>(module);
        group->Set(PROP_PORT_GROUP_LOCATION, std::string("//10.0.0.1/1"));
        portA = MakePort("portA", 0);
        portB = MakePort("portB", 1);
    }
    void TearDown() override {
        CRpcManager::Instance().SetDefaultTimeout(std::chrono::milliseconds(30000));
        CProject::Instance().Reset();
    }

    static void SetCapability(CPhysicalTestModule* m, bool supported) {
        std::string key;
        RcmKeyMgr::GetLookupKey(m->GetObjectHandle(), "TestModule", key);
        RcmDBMgr::Instance().SetDBValue(key, "TestModule/supportsFrameResponder",
                                        Capability(supported));
    }
    CPort* MakePort(const std::string& name, uint16_t index) {
        return plugintest::MakePort(name, group, index, true);
    }
    // A probe configuration with a typed filter and one profile sending the default frame.
    CProbeFrameResponseConfig* Config(CPort* port, const std::string& name) {
        return ConfigUnder(Make<CProbe>(port, "probe-" + name), name, port);
    }
    // The same under a given probe, answering on `txPort` (none: valid on any port).
    CProbeFrameResponseConfig* ConfigUnder(CScriptable* probe, const std::string& name,
                                           const CPort* txPort) {
        auto* config = Make<CProbeFrameResponseConfig>(probe, name);
        config->Set(CBaseFrameResponseConfig::PROP_FILTER, std::string("arp"));
        auto* profile = Make<CFrameResponseProfile>(config, name + "-reply");
        profile->Set(CFrameResponseProfile::PROP_TX_PORT,
                     txPort ? txPort->GetObjectHandle() : Handle{0});
        profile->Set(CFrameResponseProfile::PROP_DELAY, 25u);
        return config;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& r : il->requests)
            names.push_back(r.name.substr(r.name.find('.') + 1));
        return names;
    }
    std::vector<std::string> SortedNames() const {
        std::vector<std::string> names = Names();
        std::sort(names.begin(), names.end());
        return names;
    }
    // The one request of that name.
    const Request& Sent(const std::string& name) const {
        for (const auto& r : il->requests) {
            if (r.name == "responder_1." + name)
                return r;
        }
        throw std::runtime_error("no " + name + " was sent");
    }
    static std::vector<uint32_t> Handles(std::initializer_list<CScriptable*> objects) {
        std::vector<uint32_t> handles;
        for (auto* o : objects)
            handles.push_back(o->GetObjectHandle());
        std::sort(handles.begin(), handles.end());
        return handles;
    }
    static std::vector<uint32_t> Sorted(std::vector<uint32_t> v) {
        std::sort(v.begin(), v.end());
        return v;
    }
    static std::vector<uint32_t> ConfigHandles(const Request& r) {
        std::vector<uint32_t> v;
        for (const auto& c : r.configs)
            v.push_back(c.configHandle);
        return Sorted(v);
    }
    // No client keeps configurations once an apply is over.
    static void ExpectClientsEmpty() {
        for (const auto& [handle, client] : CResponderMsgSetClnt::PortClients()) {
            EXPECT_FALSE(client->HoldsConfigs()) << "port " << handle;
            EXPECT_FALSE(client->IsRunning());
            EXPECT_FALSE(client->InApply()) << "port " << handle;
        }
    }

    // The configurations the host counts as applied on the port: live, not deleted, active
    // under an active parent, and unchanged since the last apply.
    static std::set<uint32_t> AppliedOn(const CPort* port) {
        std::set<uint32_t> handles;
        for (CScriptable* o : CHandleRegistry::Instance().GetAll()) {
            auto* c = dynamic_cast<CBaseFrameResponseConfig*>(o);
            if (!c || c->IsDeleted() || !c->GetActive() || c->IsObjectDirty(true) ||
                !c->GetParent() || !c->GetParent()->GetActive() || c->GetPort() != port) {
                continue;
            }
            handles.insert(c->GetObjectHandle());
        }
        return handles;
    }
    // After a successful apply, what each online port's IL holds is what the host says is
    // applied there.
    void ExpectIlHoldsWhatIsApplied() {
        for (CPort* port : {portA, portB}) {
            if (port->GetOnline()) {
                EXPECT_EQ(il->held[port->GetPortIndex()], AppliedOn(port)) << port->GetName();
            }
        }
    }
    std::set<uint32_t> Held(const CPort* port) { return il->held[port->GetPortIndex()]; }
    static std::set<uint32_t> Set(std::initializer_list<CScriptable*> objects) {
        std::set<uint32_t> handles;
        for (auto* o : objects)
            handles.insert(o->GetObjectHandle());
        return handles;
    }

    std::shared_ptr<ScriptedIl> il;
    CPhysicalTestModule* module = nullptr;
    CPhysicalPortGroup* group = nullptr;
    CPort* portA = nullptr;
    CPort* portB = nullptr;
};

TEST_F(ApplyTest, ActiveConfigurationsAreConfiguredInOneRequestPerPort) {
    auto* a1 = Config(portA, "a1");
    auto* a2 = Config(portA, "a2");
    auto* b1 = Config(portB, "b1");
    auto* noProfiles = Config(portB, "b2");
    std::vector<CFrameResponseProfile*> profiles;
    noProfiles->GetActiveProfiles(profiles);
    profiles[0]->SetActive(false);  // still sent, with no responses (validation aside)

    ApplyResult result = ProjectApply::Apply();
    // The inactive profile leaves b2 with none: validation stops the apply.
    ASSERT_FALSE(result.ok);
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(
        result.messages[0].message,
        "Auto Frame Response validation failed for probe-b2: No response profiles configured");
    EXPECT_TRUE(il->requests.empty());
    profiles[0]->SetActive(true);

    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(Names(), (std::vector<std::string>{"ConfigResponder", "ConfigResponder"}));
    const Request& onA = il->requests[0].destination == 0 ? il->requests[0] : il->requests[1];
    const Request& onB = il->requests[0].destination == 1 ? il->requests[0] : il->requests[1];
    EXPECT_EQ(ConfigHandles(onA), Handles({a1, a2}));
    EXPECT_EQ(ConfigHandles(onB), Handles({b1, noProfiles}));
    const auto& record = onA.configs[0];
    EXPECT_EQ(record.filterExpr, "arp");
    EXPECT_EQ(record.vifHandle, 0u);
    ASSERT_EQ(record.responseArray.size(), 1u);
    EXPECT_EQ(record.responseArray[0].portIndex, 0u);
    EXPECT_EQ(record.responseArray[0].delay, 25u);
    EXPECT_EQ(record.responseArray[0].payload.size(), 14u);  // the default Ethernet II frame
    EXPECT_TRUE(record.responseArray[0].modifierArray.empty());
    EXPECT_EQ(CResponderMsgSetClnt::SetUpConfigs().size(), 4u);
    EXPECT_FALSE(a1->IsObjectDirty(true));
    ExpectClientsEmpty();

    // Nothing changed: nothing is sent; starting a responder changes no configuration.
    il->requests.clear();
    std::vector<uint32_t> started{a1->GetObjectHandle()};
    CFrameResponseCommand::SetStartStop(started, false, false);
    EXPECT_TRUE(a1->GetT<bool>(CBaseFrameResponseConfig::PROP_RUNNING));
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(il->requests.empty());
}

TEST_F(ApplyTest, RemovalsGoFirstAndAllPortsMoveInStep) {
    auto* keepA = Config(portA, "keepA");
    auto* goneA = Config(portA, "goneA");
    auto* keepB = Config(portB, "keepB");
    auto* offB = Config(portB, "offB");
    auto* underInactive = Config(portB, "underInactive");
    ASSERT_TRUE(ProjectApply::Apply().ok);
    il->requests.clear();

    goneA->GetParent()->MarkDelete();  // the probe goes, and its configuration with it
    offB->SetActive(false);
    underInactive->GetParent()->SetActive(false);
    keepA->Set(CBaseFrameResponseConfig::PROP_FILTER, std::string("udp"));
    keepB->Set(CBaseFrameResponseConfig::PROP_FILTER, std::string("tcp"));
    Handle goneHandle = goneA->GetObjectHandle();

    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    // One pass sends both removals, the next both configurations.
    ASSERT_EQ(Names(), (std::vector<std::string>{"RemoveResponder", "RemoveResponder",
                                                 "ConfigResponder", "ConfigResponder"}));
    for (const auto& r : il->requests) {
        if (r.name != "responder_1.RemoveResponder")
            continue;
        if (r.destination == 0) {
            EXPECT_EQ(r.handles, (std::vector<uint32_t>{goneHandle}));
        } else {
            EXPECT_EQ(Sorted(r.handles), Handles({offB, underInactive}));
        }
    }
    EXPECT_EQ(CHandleRegistry::Instance().Find(goneHandle), nullptr);  // destroyed once applied
    EXPECT_EQ(CResponderMsgSetClnt::RemovedConfigs().size(), 3u);
    ExpectClientsEmpty();
}

TEST_F(ApplyTest, AMovedConfigurationIsRemovedFromItsOldPort) {
    auto* config = Config(portA, "mover");
    ASSERT_TRUE(ProjectApply::Apply().ok);
    il->requests.clear();

    config->GetParent()->SetParent(portB);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    // Both go out in one pass, the ports in no fixed order.
    ASSERT_EQ(SortedNames(), (std::vector<std::string>{"ConfigResponder", "RemoveResponder"}));
    EXPECT_EQ(Sent("RemoveResponder").destination, 0u);
    EXPECT_EQ(Sent("RemoveResponder").handles, Handles({config}));
    EXPECT_EQ(Sent("ConfigResponder").destination, 1u);
    EXPECT_EQ(ConfigHandles(Sent("ConfigResponder")), Handles({config}));
    EXPECT_TRUE(CBaseFrameResponseConfig::s_movedSet.empty());
    EXPECT_EQ(config->GetPreviousPortHandle(), 0u);
}

TEST_F(ApplyTest, ARefusedConfigurationFailsTheApplyAndTheOthersAreApplied) {
    auto* good = Config(portA, "good");
    auto* bad = Config(portA, "bad");
    il->refuse[bad->GetObjectHandle()] = "syntax error in filter expression";
    ApplyResult result = ProjectApply::Apply();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error,
              "Port portA Frame response on probe-bad: syntax error in filter expression");
    EXPECT_FALSE(good->IsObjectDirty(false));
    EXPECT_TRUE(bad->IsObjectDirty(false));
    ExpectClientsEmpty();

    // Two refusals, one of a handle the host does not know, make one text.
    il->refuse[0] = "unknown";
    bad->Set(CBaseFrameResponseConfig::PROP_FILTER, std::string("ip"));
    result = ProjectApply::Apply();
    EXPECT_EQ(
        result.error,
        "Port portA Frame response on probe-bad: syntax error in filter expression, Port portA "
        "Frame response on Unknown: unknown");
}

TEST_F(ApplyTest, FailuresOfTheRoadFailTheApplyWithTheirTexts) {
    Config(portA, "a");
    auto* b = Config(portB, "b");

    il->refuseSends = true;
    ApplyResult result = ProjectApply::Apply();
    EXPECT_EQ(result.error,
              "Frame Response Apply: Failed to send message responder_1.ConfigResponder");
    ExpectClientsEmpty();

    il->refuseSends = false;
    il->answer = Answer::Failed;
    result = ProjectApply::Apply();
    EXPECT_EQ(result.error,
              "CResponderMsgSetClnt::RpcResponseHandler: Response failed for Config State");
    ExpectClientsEmpty();

    il->answer = Answer::WrongType;  // the apply must not wait for ever on it
    result = ProjectApply::Apply();
    EXPECT_EQ(result.error,
              "CResponderMsgSetClnt::RpcResponseHandler: Response failed for Config State");
    ExpectClientsEmpty();

    il->answer = Answer::Never;
    CRpcManager::Instance().SetDefaultTimeout(std::chrono::milliseconds(50));
    result = ProjectApply::Apply();
    EXPECT_EQ(result.error, "Responder apply handler: RPC fault on Wait");
    ExpectClientsEmpty();
    EXPECT_TRUE(b->IsObjectDirty(false));
}

TEST_F(ApplyTest, OfflinePortsAreLeftAloneOutsideSimulationModeUntilTheyAreBack) {
    auto* config = Config(portA, "a");
    portA->Set(PROP_PORT_ONLINE, false);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(il->requests.empty());

    // Back online, the configuration that apply left out is sent.
    portA->Set(PROP_PORT_ONLINE, true);
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(Names(), (std::vector<std::string>{"ConfigResponder"}));
    EXPECT_EQ(Held(portA), Set({config}));
    ExpectIlHoldsWhatIsApplied();

    // Deleted while its port is offline: the host destroys it, the IL keeps it until the port
    // is back, and the next apply then removes it.
    il->requests.clear();
    const Handle handle = config->GetObjectHandle();
    portA->Set(PROP_PORT_ONLINE, false);
    config->GetParent()->MarkDelete();
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(il->requests.empty());
    EXPECT_EQ(CHandleRegistry::Instance().Find(handle), nullptr);
    portA->Set(PROP_PORT_ONLINE, true);
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(Names(), (std::vector<std::string>{"RemoveResponder"}));
    EXPECT_EQ(il->requests[0].handles, (std::vector<uint32_t>{handle}));
    EXPECT_TRUE(Held(portA).empty());
    ExpectClientsEmpty();

    // In simulation mode an offline port is configured all the same.
    il->requests.clear();
    Config(portA, "simulated");
    portA->Set(PROP_PORT_ONLINE, false);
    COrxSystem::Instance().SetInSimulationMode(true);
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(Names(), (std::vector<std::string>{"ConfigResponder"}));
}

TEST_F(ApplyTest, ACardWithoutTheCapabilityStopsValidationOncePerPort) {
    auto* a = Config(portA, "a");
    Config(portB, "b");
    a->Set(CBaseFrameResponseConfig::PROP_FILTER, std::string());  // would be reported otherwise
    SetCapability(module, false);
    ApplyResult result = ProjectApply::Validate();
    ASSERT_EQ(result.messages.size(), 2u);
    for (const auto& m : result.messages) {
        EXPECT_EQ(m.message,
                  "Auto Frame Response validation failed for //10.0.0.1/1: Frame Response is not "
                  "supported for this card");
    }

    // In simulation mode a module without a model is not asked.
    COrxSystem::Instance().SetInSimulationMode(true);
    module->Set(PROP_TEST_MODULE_MODEL, std::string());
    result = ProjectApply::Validate();
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].message,
              "Auto Frame Response validation failed for probe-a: Invalid filter Filter is empty");
}

TEST_F(ApplyTest, APatchingProfileSendsItsModifiersAndNoPayload) {
    auto* config = Config(portA, "patcher");
    std::vector<CFrameResponseProfile*> profiles;
    config->GetActiveProfiles(profiles);
    profiles[0]->Set(CFrameResponseProfile::PROP_USE_RX_FRAME, true);
    auto* modifier = Make<CFrameResponseModifier>(profiles[0]);
    modifier->Set(CFrameResponseModifier::PROP_OFFSET, 6u);
    modifier->Set(CFrameResponseModifier::PROP_MASK, std::string("FFFF"));
    modifier->Set(CFrameResponseModifier::PROP_VALUE, std::string("05"));
    ASSERT_TRUE(ProjectApply::Apply().ok);
    ASSERT_EQ(il->requests.size(), 1u);
    const auto& profile = il->requests[0].configs.at(0).responseArray.at(0);
    EXPECT_TRUE(profile.payload.empty());
    ASSERT_EQ(profile.modifierArray.size(), 1u);
    EXPECT_EQ(profile.modifierArray[0].Opcode, 16);
    EXPECT_EQ(profile.modifierArray[0].Offset, 6u);
    EXPECT_EQ(profile.modifierArray[0].Value, (std::vector<uint8_t>{0x00, 0x05}));
}

// --- a host that lives on: ports going off and on line, moves, failures ----------------------

TEST_F(ApplyTest, AMoveWhoseRemovalFailsOrCannotBeSentIsTriedAgain) {
    auto* config = Config(portA, "mover");
    ASSERT_TRUE(ProjectApply::Apply().ok);

    il->failRemovalOn = {0};
    config->GetParent()->SetParent(portB);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error,
              "CResponderMsgSetClnt::RpcResponseHandler: Response failed for Delete State");
    EXPECT_EQ(Held(portA), Set({config}));
    EXPECT_EQ(Held(portB), Set({config}));
    EXPECT_EQ(CBaseFrameResponseConfig::s_movedSet, Set({config}));
    EXPECT_EQ(config->GetPreviousPortHandle(), portA->GetObjectHandle());
    ExpectClientsEmpty();

    il->failRemovalOn.clear();
    il->requests.clear();
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(Names(), (std::vector<std::string>{"RemoveResponder"}));
    EXPECT_EQ(il->requests[0].destination, 0u);
    EXPECT_TRUE(Held(portA).empty());
    EXPECT_TRUE(CBaseFrameResponseConfig::s_movedSet.empty());
    EXPECT_EQ(config->GetPreviousPortHandle(), 0u);
    ExpectIlHoldsWhatIsApplied();

    // Moved back while the port it leaves is offline: removed from it once it is online.
    portB->Set(PROP_PORT_ONLINE, false);
    config->GetParent()->SetParent(portA);
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(Held(portA), Set({config}));
    EXPECT_EQ(Held(portB), Set({config}));
    EXPECT_EQ(CBaseFrameResponseConfig::s_movedSet, Set({config}));
    portB->Set(PROP_PORT_ONLINE, true);
    il->requests.clear();
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(Names(), (std::vector<std::string>{"RemoveResponder"}));
    EXPECT_TRUE(Held(portB).empty());
    EXPECT_TRUE(CBaseFrameResponseConfig::s_movedSet.empty());
    ExpectIlHoldsWhatIsApplied();
}

TEST_F(ApplyTest, WhatReachedTheIlBeforeAnotherPortFailedIsRecordedAndLaterRemoved) {
    Config(portA, "a0");
    Config(portB, "b0");
    ASSERT_TRUE(ProjectApply::Apply().ok);
    // The clients go in pointer order: the later one fails while the earlier one's request of
    // the same pass is on its way.
    CResponderMsgSetClnt* clientA =
        CResponderMsgSetClnt::PortClients().at(portA->GetObjectHandle());
    CResponderMsgSetClnt* clientB =
        CResponderMsgSetClnt::PortClients().at(portB->GetObjectHandle());
    const bool aFirst = std::less<CResponderMsgSetClnt*>()(clientA, clientB);
    CPort* early = aFirst ? portA : portB;
    CPort* late = aFirst ? portB : portA;
    auto* good = Config(early, "good");
    auto* bad = Config(late, "bad");
    std::vector<CFrameResponseProfile*> profiles;
    bad->GetActiveProfiles(profiles);
    profiles[0]->Set(CFrameResponseProfile::PROP_USE_RX_FRAME, true);
    auto* modifier = Make<CFrameResponseModifier>(profiles[0]);
    modifier->Set(CFrameResponseModifier::PROP_MASK, std::string("zz"));

    // Straight to the hook, past the validation that would report the mask.
    ApplyContext context;
    EXPECT_THROW(CResponderMsgSetClnt::OnApplyProject(context), COrxRunTimeError);
    EXPECT_TRUE(context.WasProcessed(good->GetObjectHandle()));
    EXPECT_FALSE(context.WasProcessed(bad->GetObjectHandle()));
    EXPECT_TRUE(Held(early).count(good->GetObjectHandle()));
    ExpectClientsEmpty();

    // The host never recorded it (its apply did not run): deleted, it is removed all the same.
    const Handle goodHandle = good->GetObjectHandle();
    good->GetParent()->MarkDelete();
    bad->GetParent()->MarkDelete();
    il->requests.clear();
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(Names(), (std::vector<std::string>{"RemoveResponder"}));
    EXPECT_EQ(il->requests[0].handles, (std::vector<uint32_t>{goodHandle}));
    ExpectIlHoldsWhatIsApplied();
}

TEST_F(ApplyTest, AConfigurationSentWithoutAnAnswerIsRemovedOnceDeletedARefusedOneIsNot) {
    auto* unanswered = Config(portA, "unanswered");
    il->answer = Answer::Never;
    CRpcManager::Instance().SetDefaultTimeout(std::chrono::milliseconds(50));
    ApplyResult result = ProjectApply::Apply();
    ASSERT_EQ(result.error, "Responder apply handler: RPC fault on Wait");
    il->held[0].insert(unanswered->GetObjectHandle());  // the IL took it; its answer was lost

    il->answer = Answer::Ok;
    auto* refused = Config(portB, "refused");
    il->refuse[refused->GetObjectHandle()] = "syntax error";
    result = ProjectApply::Apply();
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(Held(portA), Set({unanswered}));
    il->refuse.clear();

    // Neither was recorded by the host: both are deleted before they were ever applied.
    const Handle gone = unanswered->GetObjectHandle();
    unanswered->MarkDelete();
    refused->MarkDelete();
    il->requests.clear();
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(Names(), (std::vector<std::string>{"RemoveResponder"}));
    EXPECT_EQ(il->requests[0].destination, 0u);
    EXPECT_EQ(il->requests[0].handles, (std::vector<uint32_t>{gone}));
    EXPECT_TRUE(Held(portA).empty());
}

TEST_F(ApplyTest, AConfigurationPlacedUnderAnotherPortsProbeLeavesItsOldPort) {
    auto* config = Config(portA, "c");
    auto* probeB = Make<CProbe>(portB, "probeB");
    ASSERT_TRUE(ProjectApply::Apply().ok);
    il->requests.clear();

    config->SetParent(probeB);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(SortedNames(), (std::vector<std::string>{"ConfigResponder", "RemoveResponder"}));
    EXPECT_EQ(Sent("RemoveResponder").destination, 0u);
    EXPECT_EQ(Sent("ConfigResponder").destination, 1u);
    EXPECT_TRUE(Held(portA).empty());
    EXPECT_EQ(Held(portB), Set({config}));
    ExpectIlHoldsWhatIsApplied();
}

TEST_F(ApplyTest, NothingIsKeptAboutDestroyedPortsAndConfigurations) {
    auto* config = Config(portB, "b");
    ASSERT_TRUE(ProjectApply::Apply().ok);
    std::vector<uint32_t> handles{config->GetObjectHandle()};
    CFrameResponseCommand::SetStartStop(handles, false, false);
    const Handle portHandle = portB->GetObjectHandle();
    ASSERT_TRUE(CResponderMsgSetClnt::PortClients().count(portHandle));
    bool enabled = false;
    ASSERT_TRUE(CCommandStatusManager::Instance().GetCommandStatus(
        handles[0], CFrameResponseCommand::STOP_COMMAND_CLASS_ID, enabled));

    portB->MarkDelete();
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(CHandleRegistry::Instance().Find(handles[0]), nullptr);
    EXPECT_FALSE(CCommandStatusManager::Instance().GetCommandStatus(
        handles[0], CFrameResponseCommand::STOP_COMMAND_CLASS_ID, enabled));
    EXPECT_TRUE(CResponderMsgSetClnt::RemovedConfigs().count(handles[0]));

    Config(portA, "a");
    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_FALSE(CResponderMsgSetClnt::PortClients().count(portHandle));
    for (const auto& [handle, client] : CResponderMsgSetClnt::PortClients())
        EXPECT_NE(dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(handle)), nullptr);
}

TEST_F(ApplyTest, AThousandCyclesLeaveOnlyLiveObjectsInTheBookkeeping) {
    testsupport::Churn churn(1600);
    std::vector<CPort*> ports{portA, portB};
    uint16_t nextIndex = 2;
    auto live = [] {
        std::vector<CBaseFrameResponseConfig*> out;
        for (CScriptable* o : CHandleRegistry::Instance().GetAll()) {
            auto* c = dynamic_cast<CBaseFrameResponseConfig*>(o);
            if (c && !c->IsDeleted())
                out.push_back(c);
        }
        return out;
    };
    // Two probes on every port; probes move between ports, and go with their port.
    std::vector<CScriptable*> probes;
    auto addProbes = [&](CPort* port) {
        probes.push_back(Make<CProbe>(port));
        probes.push_back(Make<CProbe>(port));
    };
    addProbes(portA);
    addProbes(portB);
    for (int cycle = 0; cycle < 1000; ++cycle) {
        const std::vector<CBaseFrameResponseConfig*> typed = live();
        const std::vector<CScriptable*> configs(typed.begin(), typed.end());
        churn.Step(
            configs, ports, probes,
            [&](CScriptable* probe) { ConfigUnder(probe, "c" + std::to_string(cycle), nullptr); },
            [&] {
                // A port goes (while its IL is reachable) and a new one comes.
                const size_t i = churn.Pick(ports.size());
                if (ports[i]->GetOnline() && ports.size() > 1) {
                    ports[i]->MarkDelete();
                    ports.erase(ports.begin() + static_cast<long>(i));
                }
                ports.push_back(MakePort("port" + std::to_string(nextIndex), nextIndex));
                addProbes(ports.back());
                ++nextIndex;
            });
        // The probes of a port that goes are destroyed by the apply.
        std::erase_if(probes, [](CScriptable* p) { return p->IsDeleted(); });
        ApplyResult result = ProjectApply::Apply();
        ASSERT_TRUE(result.ok) << "cycle " << cycle << ": " << result.error;
        for (CPort* port : ports) {
            if (port->GetOnline()) {
                ASSERT_EQ(Held(port), AppliedOn(port))
                    << "cycle " << cycle << " " << port->GetName();
            }
        }
    }

    for (CPort* port : ports)
        port->Set(PROP_PORT_ONLINE, true);
    ASSERT_TRUE(ProjectApply::Apply().ok);
    ASSERT_TRUE(ProjectApply::Apply().ok);  // nothing changed: what the last one destroyed goes
    const size_t alive = live().size();
    auto isConfig = [](uint32_t h) {
        return dynamic_cast<CBaseFrameResponseConfig*>(CHandleRegistry::Instance().Find(h)) !=
               nullptr;
    };
    using Base = CBaseFrameResponseConfig;
    EXPECT_EQ(Base::s_onlineSet.size(), alive);
    EXPECT_TRUE(Base::s_offlineSet.empty());
    EXPECT_TRUE(Base::s_movedSet.empty());
    for (uint32_t h : Base::s_onlineSet)
        EXPECT_TRUE(isConfig(h)) << h;
    for (uint32_t h : CResponderMsgSetClnt::RemovedConfigs())
        EXPECT_TRUE(isConfig(h)) << h;
    for (const auto& [handle, client] : CResponderMsgSetClnt::PortClients())
        EXPECT_NE(dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(handle)), nullptr);
    for (CPort* port : ports) {
        auto it = CResponderMsgSetClnt::PortClients().find(port->GetObjectHandle());
        if (it == CResponderMsgSetClnt::PortClients().end())
            continue;  // never carried a configuration
        EXPECT_EQ(it->second->InstalledHandles(), Held(port)) << port->GetName();
        EXPECT_EQ(Held(port), AppliedOn(port)) << port->GetName();
    }
    ExpectClientsEmpty();
    EXPECT_LE(CCommandStatusManager::Instance().Size(), 4 * alive);
}

}  // namespace
