#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <orx/core/Apply.h>
#include <orx/core/HostClasses.h>
#include <orx/core/Validation.h>
#include <orx/framework/Rpc.h>

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
    // The handles the port's IL holds from this client's applies.
    const std::set<uint32_t>& InstalledHandles() const { return m_installed; }
    // The handles of the configurations the last apply set up and removed, over every port.
    static const std::set<uint32_t>& SetUpConfigs() { return s_resultConfigSet; }
    static const std::set<uint32_t>& RemovedConfigs() { return s_delResultConfigSet; }

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
    // Forgets the moved configurations once their removal from this port has succeeded.
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
    // Handles the port's IL accepted and that have not been removed from it since: whatever
    // becomes of their configurations, they are removed when the port is next reachable.
    std::set<uint32_t> m_installed;
    // Installed handles that no configuration of this apply names for removal (destroyed,
    // deleted before being recorded, or now on another port).
    std::set<uint32_t> m_orphans;
    // The handles of the removal request of this apply, and whether the IL confirmed it.
    std::vector<uint32_t> m_removeHandles;
    bool m_removalDone = false;
    // The handles of this apply's configure request that the IL did not hold before it: once
    // sent they count as installed, until the IL says it refused them.
    std::set<uint32_t> m_newlySent;

    // The map holds one client per live port; clients of ports that are gone are pruned
    // between applies (PruneClients).
    static std::map<uint32_t, CResponderMsgSetClnt*>& s_portMap;
    // Handles, not pointers: the configurations may be destroyed once the apply ends.
    static std::set<uint32_t> s_resultConfigSet;
    static std::set<uint32_t> s_delResultConfigSet;

    // Deletes the clients whose port is gone and that have nothing outstanding.
    static void PruneClients();
    // Collects the installed handles that have to go from this port's IL (m_orphans).
    void FindOrphans();
};

}  // namespace orx::responder
