#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "orx/core/Apply.h"
#include "orx/core/HostClasses.h"
#include "orx/core/Validation.h"
#include "orx/framework/Rpc.h"

class Message;

namespace orx::responder {

class CBaseFrameResponseConfig;

// The message-set client of one port: during an apply it collects the configurations that
// concern its port and walks the port through remove, set up and finish, one responder_1
// request per step, in step with the clients of the other ports.
class CResponderMsgSetClnt {
  public:
    using ConfigSet = std::set<CBaseFrameResponseConfig*>;

    // The client of the port, made on first use; null for a null port.
    static CResponderMsgSetClnt* GetPortClient(const orx::core::CPort* port);
    // Every client made so far, by port handle.
    static const std::map<uint32_t, CResponderMsgSetClnt*>& PortClients() { return s_portMap; }

    explicit CResponderMsgSetClnt(const orx::core::CPort* port);
    virtual ~CResponderMsgSetClnt();
    CResponderMsgSetClnt(const CResponderMsgSetClnt&) = delete;
    CResponderMsgSetClnt& operator=(const CResponderMsgSetClnt&) = delete;

    // "Setup" ... "Finalize", or "Unknown" when the machine is not running.
    const char* CurrentStateName() const;
    bool IsRunning() const;
    // Configurations collected for an apply and not yet dealt with; none once an apply is over.
    bool HoldsConfigs() const {
        return !m_setupSet.empty() || !m_removeSet.empty() || !m_movedSet.empty();
    }
    bool InApply() const { return m_applyContext != nullptr; }
    // The configurations the last apply set up and removed, over every port.
    static const ConfigSet& SetUpConfigs() { return s_resultConfigSet; }
    static const ConfigSet& RemovedConfigs() { return s_delResultConfigSet; }

    // The project-level hooks, registered at load as "ValidateResponder" and "ApplyResponder".
    static void OnValidateProject(orx::core::ValidationContext& context);
    static void OnApplyProject(orx::core::ApplyContext& context);

  private:
    // The machine and its states (ResponderMsgSetClnt.cpp) drive the client's steps.
    struct StateMachine;
    struct StateBase;
    template <class Derived>
    friend struct ClientState;
    friend struct SetupState;
    friend struct DetachState;
    friend struct DeleteState;
    friend struct DeleteDoneState;
    friend struct AttachState;
    friend struct ConfigState;
    friend struct ConfigDoneState;
    friend struct FinalizeState;

    // The port is offline and the system is not in simulation mode.
    bool IsPortOffline() const;
    void ClearConfigs();
    // Forgets the moved configurations.
    void UpdateClientPorts();

    // The steps: Config sends "responder_1.ConfigResponder", Delete "responder_1.RemoveResponder";
    // Attach and Detach send nothing and complete at once.
    void RpcSetupConfig();
    void RpcDeleteConfig();
    void RpcAttachConfig();
    void RpcDetachConfig();

    void RpcSendMessage(Message& request);
    void RpcResponseHandler(uint16_t code, Message* response, void* context);
    // Waits for every outstanding request of every client; false when faults were reported.
    static bool RpcWait();
    // Raises COrxRunTimeError with the failure text of this apply, if there is one.
    void LogFailures();
    void StepDone();
    void StepFailed(const std::string& text);

    const orx::core::CPort* m_port;
    uint32_t m_portHandle;
    orx::core::ApplyContext* m_applyContext = nullptr;
    StateMachine* m_stateMachine;
    std::string m_errorText;
    bool m_rpcPending = false;
    bool m_rpcFailed = false;
    bool m_stepDone = false;
    orx::framework::RpcResponseDelegate m_responseDelegate;
    ConfigSet m_setupSet;
    ConfigSet m_removeSet;
    ConfigSet m_movedSet;

    // The clients live as long as the process; so does the map that holds them.
    static std::map<uint32_t, CResponderMsgSetClnt*>& s_portMap;
    static ConfigSet s_resultConfigSet;
    static ConfigSet s_delResultConfigSet;
};

}  // namespace orx::responder
