#include "ResponderMsgSetClnt.h"

#include <boost/statechart/custom_reaction.hpp>
#include <boost/statechart/event.hpp>
#include <boost/statechart/state.hpp>
#include <boost/statechart/state_machine.hpp>

#include <algorithm>
#include <sstream>
#include <vector>

#include <orx/core/Capabilities.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/Resources.h>
#include <orx/msglib/Message.h>
#include "BaseFrameResponseConfig.h"
#include "FrameResponseCommand.h"
#include "FrameResponseModifier.h"
#include "FrameResponseProfile.h"
#include "ResponderCommon.h"
#include "ResponderResultsHandler.h"
#include "responder_1.h"

namespace orx::responder {

using namespace orx::framework;
using orx::core::ApplyContext;
using orx::core::CPort;
using orx::core::ValidationContext;
namespace sc = boost::statechart;

namespace {

BLLLogger* devLogger() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger(LOGGER_DEV);
    return logger;
}

BLLLogger* userLogger() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger(LOGGER_USER);
    return logger;
}

}  // namespace

// --- state machine --------------------------------------------------------------------------

struct NextStateEvent : sc::event<NextStateEvent> {};

struct SetupState;
struct DetachState;
struct DeleteState;
struct DeleteDoneState;
struct AttachState;
struct ConfigState;
struct ConfigDoneState;
struct FinalizeState;

struct CResponderMsgSetClnt::StateMachine : sc::state_machine<StateMachine, SetupState> {
    explicit StateMachine(CResponderMsgSetClnt& c) : client(c) {}
    CResponderMsgSetClnt& client;
};

// What every state answers, whatever its type: its name (for texts) and what it makes of a
// response to the request it sent.
struct CResponderMsgSetClnt::StateBase {
    virtual ~StateBase() = default;
    virtual const char* Name() const = 0;
    // Adds the configurations the response has dealt with to `processed`; false when the step
    // has failed over it.
    virtual bool OnResponse(const Message& /*response*/, const std::string& /*failed*/,
                            std::vector<CBaseFrameResponseConfig*>& /*processed*/) {
        return true;
    }
    // The IL answered the state's request with a failed response.
    virtual void OnFailedResponse() {}
};

// A state of the client's machine; `Entry` is the state's entry action.
template <class Derived>
struct ClientState : sc::state<Derived, CResponderMsgSetClnt::StateMachine>,
                     CResponderMsgSetClnt::StateBase {
    using Base = sc::state<Derived, CResponderMsgSetClnt::StateMachine>;
    using reactions = sc::custom_reaction<NextStateEvent>;
    explicit ClientState(typename Base::my_context ctx) : Base(ctx) {}
    CResponderMsgSetClnt& Client() { return this->outermost_context().client; }
    const char* Name() const override { return Derived::kName; }

    // Done goes on to Next, failed to FinalizeState, otherwise the step still waits.
    template <class Next>
    sc::result Step() {
        CResponderMsgSetClnt& c = Client();
        if (c.m_stepDone)
            return this->template transit<Next>();
        if (c.m_rpcFailed)
            return this->template transit<FinalizeState>();
        return this->discard_event();
    }
};

struct SetupState : ClientState<SetupState> {
    static constexpr const char* kName = "Setup";
    explicit SetupState(my_context ctx) : ClientState(ctx) {
        Client().m_errorText.clear();
        Client().m_removeHandles.clear();
        Client().m_removalDone = false;
    }
    sc::result react(const NextStateEvent&);
};
struct DetachState : ClientState<DetachState> {
    static constexpr const char* kName = "Detach";
    explicit DetachState(my_context ctx) : ClientState(ctx) { Client().RpcDetachConfig(); }
    sc::result react(const NextStateEvent&) { return Step<DeleteState>(); }
};
struct DeleteState : ClientState<DeleteState> {
    static constexpr const char* kName = "Delete";
    explicit DeleteState(my_context ctx) : ClientState(ctx) { Client().RpcDeleteConfig(); }
    sc::result react(const NextStateEvent&) { return Step<DeleteDoneState>(); }
    bool OnResponse(const Message&, const std::string&,
                    std::vector<CBaseFrameResponseConfig*>& processed) override {
        CResponderMsgSetClnt& c = Client();
        processed.assign(c.m_removeSet.begin(), c.m_removeSet.end());
        for (uint32_t handle : c.m_removeHandles)
            c.m_installed.erase(handle);
        c.m_removalDone = true;
        c.UpdateClientPorts();
        return true;
    }
};
struct DeleteDoneState : ClientState<DeleteDoneState> {
    static constexpr const char* kName = "DeleteDone";
    explicit DeleteDoneState(my_context ctx) : ClientState(ctx) {
        for (CBaseFrameResponseConfig* c : Client().m_removeSet)
            CResponderMsgSetClnt::s_delResultConfigSet.insert(c->GetObjectHandle());
    }
    sc::result react(const NextStateEvent&);
};
struct AttachState : ClientState<AttachState> {
    static constexpr const char* kName = "Attach";
    explicit AttachState(my_context ctx) : ClientState(ctx) { Client().RpcAttachConfig(); }
    sc::result react(const NextStateEvent&) { return Step<ConfigState>(); }
};
struct ConfigState : ClientState<ConfigState> {
    static constexpr const char* kName = "Config";
    explicit ConfigState(my_context ctx) : ClientState(ctx) { Client().RpcSetupConfig(); }
    sc::result react(const NextStateEvent&) { return Step<ConfigDoneState>(); }
    bool OnResponse(const Message& response, const std::string& failed,
                    std::vector<CBaseFrameResponseConfig*>& processed) override;
    void OnFailedResponse() override {
        CResponderMsgSetClnt& c = Client();
        for (uint32_t handle : c.m_newlySent)
            c.m_installed.erase(handle);  // the IL answered that it took none of them
    }
};
struct ConfigDoneState : ClientState<ConfigDoneState> {
    static constexpr const char* kName = "ConfigDone";
    explicit ConfigDoneState(my_context ctx) : ClientState(ctx) {
        for (CBaseFrameResponseConfig* c : Client().m_setupSet)
            CResponderMsgSetClnt::s_resultConfigSet.insert(c->GetObjectHandle());
    }
    sc::result react(const NextStateEvent&) { return transit<FinalizeState>(); }
};
struct FinalizeState : ClientState<FinalizeState> {
    static constexpr const char* kName = "Finalize";
    explicit FinalizeState(my_context ctx) : ClientState(ctx) {
        CResponderMsgSetClnt& c = Client();
        c.UpdateClientPorts();
        try {
            c.LogFailures();
        } catch (...) {
            c.ClearConfigs();
            throw;
        }
        c.ClearConfigs();
    }
    sc::result react(const NextStateEvent&) { return terminate(); }
};

sc::result SetupState::react(const NextStateEvent&) {
    CResponderMsgSetClnt& c = Client();
    if (c.IsPortOffline()) {
        c.ClearConfigs();
        return terminate();
    }
    // A configuration taken away from this port, or a handle left on its IL, is removal work
    // too.
    if (!c.m_removeSet.empty() || !c.m_movedSet.empty() || !c.m_orphans.empty())
        return transit<DetachState>();
    if (!c.m_setupSet.empty())
        return transit<AttachState>();
    return transit<FinalizeState>();
}

sc::result DeleteDoneState::react(const NextStateEvent&) {
    if (!Client().m_setupSet.empty())
        return transit<AttachState>();
    return transit<FinalizeState>();
}

bool ConfigState::OnResponse(const Message& response, const std::string& failed,
                             std::vector<CBaseFrameResponseConfig*>& processed) {
    CResponderMsgSetClnt& c = Client();
    CResponderMsgSetClnt::ConfigSet accepted = c.m_setupSet;
    std::vector<responder_1_bll::errorMsg_s> errors;
    try {
        responder_1_bll::parse_resp_ConfigResponder(&response, &errors);
    } catch (const std::exception& e) {
        if (devLogger()->IsEnabledFor(LOG_ERROR)) {
            devLogger()->Error(failed + ": " + e.what(), __FILE__, __LINE__);
        }
        c.StepFailed(failed);
        return false;
    }
    std::string text;
    for (const auto& error : errors) {
        std::string display = "Unknown";
        if (auto* config = dynamic_cast<CBaseFrameResponseConfig*>(
                CHandleRegistry::Instance().Find(error.configHandle))) {
            display = config->GetDisplayName();
            accepted.erase(config);
        }
        if (c.m_newlySent.count(error.configHandle))
            c.m_installed.erase(error.configHandle);
        if (!text.empty())
            text += ", ";
        text += "Port " + c.m_port->GetName() + " Frame response on " + display + ": " +
                error.errorString;
    }
    if (!errors.empty()) {
        c.m_errorText = text;
        c.m_rpcFailed = true;
    }
    processed.assign(accepted.begin(), accepted.end());
    return true;
}

// --- the client -----------------------------------------------------------------------------

std::map<uint32_t, CResponderMsgSetClnt*>& CResponderMsgSetClnt::s_portMap =
    *new std::map<uint32_t, CResponderMsgSetClnt*>();
std::set<uint32_t> CResponderMsgSetClnt::s_resultConfigSet;
std::set<uint32_t> CResponderMsgSetClnt::s_delResultConfigSet;

CResponderMsgSetClnt* CResponderMsgSetClnt::GetPortClient(const CPort* port) {
    if (!port)
        return nullptr;
    auto it = s_portMap.find(port->GetObjectHandle());
    if (it == s_portMap.end()) {
        auto* client = new CResponderMsgSetClnt(port);
        it = s_portMap.emplace(port->GetObjectHandle(), client).first;
    }
    // The port object of a handle is the same for the handle's life, but the pointer kept from
    // an earlier apply must never be trusted.
    it->second->m_port = port;
    return it->second;
}

CResponderMsgSetClnt::CResponderMsgSetClnt(const CPort* port)
    : m_port(port),
      m_portHandle(port ? port->GetObjectHandle() : 0),
      m_stateMachine(new StateMachine(*this)),
      m_responseDelegate(this, &CResponderMsgSetClnt::RpcResponseHandler) {}

CResponderMsgSetClnt::~CResponderMsgSetClnt() {
    if (m_portHandle != 0)
        s_portMap.erase(m_portHandle);
    delete m_stateMachine;
}

bool CResponderMsgSetClnt::IsPortOffline() const {
    return !m_port->GetOnline() && !orx::core::COrxSystem::Instance().GetInSimulationMode();
}

void CResponderMsgSetClnt::ClearConfigs() {
    m_setupSet.clear();
    m_removeSet.clear();
    m_movedSet.clear();
    m_orphans.clear();
}

void CResponderMsgSetClnt::UpdateClientPorts() {
    // A failed or impossible removal leaves them moved, to be tried again at the next apply.
    if (!m_removalDone)
        return;
    for (CBaseFrameResponseConfig* c : m_movedSet) {
        if (c->GetPreviousPortHandle() == m_portHandle)
            c->ForgetMove();
    }
}

void CResponderMsgSetClnt::FindOrphans() {
    m_orphans.clear();
    for (uint32_t handle : m_installed) {
        auto* config =
            dynamic_cast<CBaseFrameResponseConfig*>(CHandleRegistry::Instance().Find(handle));
        if (!config || config->IsDeleted()) {
            m_orphans.insert(handle);
            continue;
        }
        const CPort* port = config->GetPort();
        if (!port || port->GetObjectHandle() != m_portHandle)
            m_orphans.insert(handle);
    }
}

void CResponderMsgSetClnt::PruneClients() {
    for (auto it = s_portMap.begin(); it != s_portMap.end();) {
        CResponderMsgSetClnt* client = it->second;
        const bool portGone = !dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(it->first));
        if (portGone && !client->m_rpcPending && !client->IsRunning()) {
            it = s_portMap.erase(it);
            client->m_portHandle = 0;  // already out of the map
            delete client;
            continue;
        }
        ++it;
    }
}

bool CResponderMsgSetClnt::IsRunning() const {
    return !m_stateMachine->terminated();
}

const char* CResponderMsgSetClnt::CurrentStateName() const {
    const StateBase* state = m_stateMachine->state_cast<const StateBase*>();
    return state ? state->Name() : "Unknown";
}

void CResponderMsgSetClnt::StepDone() {
    m_stepDone = true;
    m_rpcFailed = false;
    m_rpcPending = false;
}

void CResponderMsgSetClnt::StepFailed(const std::string& text) {
    m_errorText = text;
    m_rpcFailed = true;
    m_stepDone = false;
    m_rpcPending = false;
}

void CResponderMsgSetClnt::RpcAttachConfig() {
    StepDone();
}

void CResponderMsgSetClnt::RpcDetachConfig() {
    StepDone();
}

void CResponderMsgSetClnt::RpcSetupConfig() {
    std::vector<responder_1_bll::respConfig_s> configs;
    configs.reserve(m_setupSet.size());
    for (CBaseFrameResponseConfig* c : m_setupSet) {
        responder_1_bll::respConfig_s record;
        record.configHandle = c->GetObjectHandle();
        record.filterExpr = c->GetFilterValue();
        record.vifHandle = 0;
        std::vector<CFrameResponseProfile*> profiles;
        c->GetActiveProfiles(profiles);
        for (CFrameResponseProfile* p : profiles) {
            responder_1_bll::respProfile_s profile;
            if (!p->GetUseRxFrame())
                p->GetProcessedPayload(profile.payload);
            profile.portIndex = static_cast<uint16_t>(p->GetPortIndex() & 0xFFFF);
            profile.delay = p->GetDelay();
            std::vector<CFrameResponseModifier*> modifiers;
            p->GetActiveModifiers(modifiers);
            for (CFrameResponseModifier* m : modifiers) {
                responder_1_bll::FrameResponseModifier_s modifier;
                modifier.Opcode = m->GetOpcode();
                modifier.Offset = m->GetOffset();
                m->DataToIdl(modifier);
                profile.modifierArray.push_back(std::move(modifier));
            }
            record.responseArray.push_back(std::move(profile));
        }
        configs.push_back(std::move(record));
    }
    if (configs.empty()) {
        StepDone();
        return;
    }
    Message message;
    responder_1_bll::create_req_ConfigResponder(&message, configs, true);
    RpcSendMessage(message);
    // Sent, the IL may hold them even if no answer comes back.
    m_newlySent.clear();
    if (m_rpcPending) {
        for (const auto& record : configs) {
            if (m_installed.insert(record.configHandle).second)
                m_newlySent.insert(record.configHandle);
        }
    }
}

void CResponderMsgSetClnt::RpcDeleteConfig() {
    std::vector<uint32_t>& handles = m_removeHandles;
    handles.clear();
    std::set<uint32_t> listed;
    auto add = [&](uint32_t handle) {
        if (listed.insert(handle).second)
            handles.push_back(handle);
    };
    for (CBaseFrameResponseConfig* c : m_removeSet)
        add(c->GetObjectHandle());
    for (CBaseFrameResponseConfig* c : m_movedSet)
        add(c->GetObjectHandle());
    for (uint32_t handle : m_orphans)
        add(handle);
    if (handles.empty()) {
        m_removalDone = true;
        StepDone();
        return;
    }
    Message message;
    responder_1_bll::create_req_RemoveResponder(&message, handles, true);
    RpcSendMessage(message);
}

void CResponderMsgSetClnt::RpcSendMessage(Message& request) {
    int result = CRpcManager::Instance().SendAsyncMessage(m_port->GetMessenger(), request,
                                                          &m_responseDelegate, nullptr, 0, true);
    if (result == 0) {
        m_rpcPending = true;
        m_rpcFailed = false;
        m_stepDone = false;
        return;
    }
    StepFailed("Frame Response Apply: Failed to send message " + request.get_request_name());
}

void CResponderMsgSetClnt::RpcResponseHandler(uint16_t, Message* response, void*) {
    m_rpcPending = false;
    // The machine is this client's own; boost hands its states out as const only.
    auto* state = const_cast<StateBase*>(m_stateMachine->state_cast<const StateBase*>());
    const std::string failed = "CResponderMsgSetClnt::RpcResponseHandler: Response failed for " +
                               std::string(state ? state->Name() : "Unknown") + " State";
    // A missing response, one of another type, or one that cannot be read fails the step like a
    // failed response: the step must end one way or the other.
    if (!response || response->get_msg_type() != TMT_RESPONSE) {
        if (state && response && response->get_msg_type() == TMT_FAILED_RESPONSE)
            state->OnFailedResponse();
        StepFailed(failed);
        return;
    }
    // The state whose request this answers decides what the answer means.
    std::vector<CBaseFrameResponseConfig*> processed;
    if (state && !state->OnResponse(*response, failed, processed))
        return;
    if (m_applyContext) {
        for (CBaseFrameResponseConfig* c : processed)
            m_applyContext->AddProcessedObject(c, true);
    }
    if (!m_rpcFailed)
        m_stepDone = true;
}

bool CResponderMsgSetClnt::RpcWait() {
    std::vector<ErrorMsg> errors;
    CRpcManager::Instance().Wait(errors);
    if (errors.empty())
        return true;
    CFrameResponseCommand::LogFaults("Responder apply handler", errors);
    return false;
}

void CResponderMsgSetClnt::LogFailures() {
    if (m_errorText.empty())
        return;
    if (BLLLogger* log = userLogger(); log && log->IsEnabledFor(LOG_ERROR)) {
        log->Error(m_errorText, __FILE__, __LINE__);
    }
    throw COrxRunTimeError(m_errorText, true);
}

// --- project hooks --------------------------------------------------------------------------

namespace {

const std::string kCapabilityName = "TestModule/" + RCM_SUPPORT_RESPONDER;

void Report(ValidationContext& context, const std::string& source, long id,
            const std::string& arg) {
    ResourceFormatter message(id);
    message << arg;
    context.AddValidationError(source, message.ToString());
}

bool SupportsFrameResponse(const orx::core::CPhysicalTestModule& module) {
    std::string key;
    if (!orx::core::RcmKeyMgr::GetLookupKey(module.GetObjectHandle(), "TestModule", key)) {
        return false;
    }
    std::unique_ptr<orx::core::Capability> capability =
        orx::core::RcmDBMgr::Instance().GetDBValue(key, kCapabilityName);
    return capability && capability->HasValue() && capability->IsBool() && capability->GetBool();
}

// Registered while the library loads.
const orx::core::Validator s_validator("ValidateResponder", "DEFAULT",
                                       orx::core::CProject::CLASS_ID(),
                                       &CResponderMsgSetClnt::OnValidateProject, false);
const orx::core::ApplyObjectHandler s_applyHandler("ApplyResponder", "PostStreamBlock",
                                                   orx::core::CProject::CLASS_ID(),
                                                   &CResponderMsgSetClnt::OnApplyProject, false);
struct CResponderMsgSetClntRegistrar {
    CResponderMsgSetClntRegistrar() {
        orx::core::ValidatorRegistry::Instance().RegisterValidator(s_validator);
        orx::core::ApplyToILHandlerRegistry::Instance().RegisterOnApplyObjectHandler(
            s_applyHandler);
    }
} s_registrar;

}  // namespace

void CResponderMsgSetClnt::OnValidateProject(ValidationContext& context) {
    const bool simulation = orx::core::COrxSystem::Instance().GetInSimulationMode();
    std::vector<CBaseFrameResponseConfig*> list;
    CBaseFrameResponseConfig::GetOnlineConfigList(list, simulation);

    std::map<uint32_t, std::vector<CBaseFrameResponseConfig*>> perPort;
    std::set<uint32_t> dirtyClasses;
    for (CBaseFrameResponseConfig* c : list) {
        CPort* port = c->GetPort();
        if (!port) {
            Report(context, ORX_RESPONDER_SOURCE, MSG_NO_VALID_PORT, c->GetDisplayName());
            continue;
        }
        perPort[port->GetObjectHandle()].push_back(c);
        if (c->IsObjectDirty(true))
            dirtyClasses.insert(c->GetClassId());
    }
    for (uint32_t classId : dirtyClasses) {
        CResponderResultsHandler::Instance().MarkSubscriptionsDirty(classId);
    }

    std::vector<orx::core::CPhysicalPortGroup*> groups;
    for (const auto& [handle, configs] : perPort) {
        (void)configs;
        auto* port = dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(handle));
        if (!port)
            continue;
        orx::core::CPhysicalPortGroup* group = port->GetPortGroup();
        if (!group)
            continue;
        orx::core::CPhysicalTestModule* module = group->GetTestModule();
        if (simulation &&
            (!module || module->GetT<std::string>(orx::core::PROP_TEST_MODULE_MODEL).empty())) {
            continue;
        }
        groups.push_back(group);
    }
    bool unsupported = false;
    for (orx::core::CPhysicalPortGroup* group : groups) {
        orx::core::CPhysicalTestModule* module = group->GetTestModule();
        if (!module)
            continue;
        if (!SupportsFrameResponse(*module)) {
            Report(context, ORX_RESPONDER_SOURCE, MSG_CARD_NOT_SUPPORTED,
                   group->GetEquipmentString());
            unsupported = true;
        }
    }
    if (unsupported)
        return;

    perPort.clear();
    if (!simulation)
        CBaseFrameResponseConfig::GetOfflineConfigList(list);
    for (CBaseFrameResponseConfig* c : list) {
        if (c->IsDeleted())
            continue;
        if (CPort* port = c->GetPort())
            perPort[port->GetObjectHandle()].push_back(c);
    }
    for (const auto& [handle, configs] : perPort) {
        if (!dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(handle)))
            continue;
        for (CBaseFrameResponseConfig* c : configs) {
            if (c->GetActive())
                c->ValidateConfig(context);
        }
    }
}

void CResponderMsgSetClnt::OnApplyProject(ApplyContext& context) {
    const bool simulation = orx::core::COrxSystem::Instance().GetInSimulationMode();
    std::vector<CBaseFrameResponseConfig*> online;
    std::vector<CBaseFrameResponseConfig*> moved;
    CBaseFrameResponseConfig::GetOnlineConfigList(online, simulation);
    CBaseFrameResponseConfig::GetMovedConfigList(moved);

    // Nothing is outstanding between applies: what names a destroyed port goes now.
    PruneClients();
    std::set<CResponderMsgSetClnt*> clients;
    for (const auto& [handle, client] : s_portMap) {
        client->FindOrphans();
        if (client->m_orphans.empty())
            continue;
        auto* port = dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(handle));
        if (!port)
            continue;
        client->m_port = port;
        client->m_applyContext = &context;
        clients.insert(client);
    }
    if (online.empty() && moved.empty() && clients.empty())
        return;

    for (CBaseFrameResponseConfig* c : online) {
        if (c->GetObjectState() == ObjectState::DELETED_UNAPPLIED || !c->IsObjectDirty(true))
            continue;
        CResponderMsgSetClnt* client = GetPortClient(c->GetPort());
        if (!client)
            continue;
        client->m_applyContext = &context;
        CScriptable* parent = c->GetParent();
        if (c->GetActive() && parent && parent->GetActive() && !c->IsDeleted()) {
            client->m_setupSet.insert(c);
        } else {
            client->m_removeSet.insert(c);
        }
        clients.insert(client);
    }
    for (CBaseFrameResponseConfig* c : moved) {
        if (c->GetObjectState() == ObjectState::DELETED_UNAPPLIED)
            continue;
        auto* port =
            dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(c->GetPreviousPortHandle()));
        if (!port) {
            c->ForgetMove();  // the port is gone, and with it what it held
            continue;
        }
        CResponderMsgSetClnt* client = GetPortClient(port);
        client->m_applyContext = &context;
        client->m_movedSet.insert(c);
        clients.insert(client);
    }

    std::vector<CResponderMsgSetClnt*> work(clients.begin(), clients.end());
    try {
        for (CResponderMsgSetClnt* client : work)
            client->m_stateMachine->initiate();
        s_resultConfigSet.clear();
        s_delResultConfigSet.clear();

        bool pending = false;
        while (!work.empty()) {
            for (size_t i = 0; i < work.size();) {
                CResponderMsgSetClnt* client = work[i];
                if (client->IsRunning()) {
                    client->m_stateMachine->process_event(NextStateEvent());
                    if (client->m_rpcPending)
                        pending = true;
                    ++i;
                    continue;
                }
                if (!client->m_setupSet.empty() || !client->m_removeSet.empty()) {
                    if (BLLLogger* log = devLogger(); log && log->IsEnabledFor(LOG_WARN)) {
                        std::ostringstream text;
                        text << "Internal error: Configs not empty after completion of apply for "
                                "port"
                             << static_cast<const void*>(client->m_port);
                        log->Warn(text.str(), __FILE__, __LINE__);
                    }
                    client->ClearConfigs();
                }
                work.erase(work.begin() + static_cast<long>(i));
            }
            if (!work.empty() && pending && !RpcWait()) {
                throw COrxRunTimeError("Responder apply handler: RPC fault on Wait", true);
            }
        }
        // The context ends with this apply.
        for (CResponderMsgSetClnt* client : clients)
            client->m_applyContext = nullptr;
    } catch (...) {
        // Leave nothing of this apply behind: no client keeps configurations that may be
        // destroyed before the next apply, no machine waits half-way, no response still on its
        // way reaches a client, and no client names this apply's context any more. The
        // outstanding responses are taken first, while the context still records what reached
        // the IL.
        bool outstanding = false;
        for (CResponderMsgSetClnt* client : clients)
            outstanding = outstanding || client->m_rpcPending;
        if (outstanding) {
            std::vector<ErrorMsg> ignored;
            CRpcManager::Instance().Wait(ignored);
        }
        for (CResponderMsgSetClnt* client : clients) {
            client->m_applyContext = nullptr;
            client->m_stateMachine->terminate();
            client->ClearConfigs();
            client->m_rpcPending = false;
        }
        throw;
    }
}

}  // namespace orx::responder
