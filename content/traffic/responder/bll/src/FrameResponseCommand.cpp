#include "FrameResponseCommand.h"

#include <sstream>

#include <orx/core/HostClasses.h>
#include <orx/core/Protocol.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/Rpc.h>
#include <orx/msglib/Message.h>
#include "BaseFrameResponseConfig.h"
#include "ResponderCommon.h"

namespace orx::responder {

using namespace orx::framework;

namespace {

BLLLogger* devLogger() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger(LOGGER_DEV);
    return logger;
}

CScriptable* MakeAbstract() {
    throw COrxLogicError("Trying to create an abstract class : CFrameResponseCommand");
}
void DestroyAbstract(CScriptable*) {}

struct CFrameResponseCommandCtorDtorHelper {
    CFrameResponseCommandCtorDtorHelper() {
        CMetaClass::InitMakeDestroyFuncs(CFrameResponseCommand::CLASS_ID(), &MakeAbstract,
                                         &DestroyAbstract);
    }
} s_registrar;

}  // namespace

bool CFrameResponseCommand::OnInit() {
    SetConfigList({ORX_PROJECT_HANDLE});
    return true;
}

bool CFrameResponseCommand::DoReset() {
    m_invalidHandles.clear();
    return true;
}

std::vector<uint32_t> CFrameResponseCommand::GetConfigList() const {
    std::vector<uint32_t> handles;
    GetCollection(PROP_CONFIG_LIST, handles);
    return handles;
}

void CFrameResponseCommand::SetConfigList(const std::vector<uint32_t>& handles) {
    SetCollection(PROP_CONFIG_LIST, handles);
}

void CFrameResponseCommand::GetConfigList(std::vector<CBaseFrameResponseConfig*>& configs) {
    // Each expansion judges the list as it is now: a corrected list must not keep old handles.
    m_invalidHandles.clear();
    std::vector<uint32_t> handles = GetConfigList();
    if (handles.size() == 1 && handles[0] == ORX_PROJECT_HANDLE) {
        CBaseFrameResponseConfig::GetOnlineConfigList(
            configs, orx::core::COrxSystem::Instance().GetInSimulationMode());
        return;
    }
    ExpandInputHandleTags(handles);
    for (uint32_t handle : handles) {
        CScriptable* object = CHandleRegistry::Instance().Find(handle);
        if (!object) {
            m_invalidHandles.push_back(handle);
            continue;
        }
        ScriptableVec candidates;
        if (object->IsTypeOf(orx::core::CPort::CLASS_ID())) {
            object->GetObjects(candidates, orx::core::CProbe::CLASS_ID(),
                               RelationType(PARENT_CHILD));
            object->GetObjects(candidates, orx::core::CEmulatedDevice::CLASS_ID(),
                               RelationType(DEVICE_TO_PORT, DIR_BACKWARD));
        } else {
            candidates.push_back(object);
        }
        bool found = false;
        for (CScriptable* candidate : candidates) {
            if (auto* config = dynamic_cast<CBaseFrameResponseConfig*>(candidate)) {
                configs.push_back(config);
                found = true;
                continue;
            }
            if (auto* child = dynamic_cast<CBaseFrameResponseConfig*>(candidate->GetObject(
                    CBaseFrameResponseConfig::CLASS_ID(), RelationType(PARENT_CHILD)))) {
                configs.push_back(child);
                found = true;
            }
            if (candidate->IsTypeOf(orx::core::CEmulatedDevice::CLASS_ID()) ||
                candidate->IsTypeOf(orx::core::CProbe::CLASS_ID())) {
                found = true;
            }
        }
        if (!found)
            m_invalidHandles.push_back(handle);
    }
}

bool CFrameResponseCommand::Validate(CBaseValidationContext& context) {
    std::string message;
    if (GetConfigList().empty()) {
        message = GetName() + ": No handles provided";
    } else if (!CBaseFrameResponseConfig::NoneCreated()) {
        std::vector<CBaseFrameResponseConfig*> configs;
        GetConfigList(configs);
        if (!m_invalidHandles.empty()) {
            message = GetName() + ": Invalid handles: ";
            for (size_t i = 0; i < m_invalidHandles.size(); ++i) {
                message += (i ? ", " : "") + std::to_string(m_invalidHandles[i]);
            }
        }
    }
    if (message.empty())
        return true;
    SetStatus(message);
    context.AddValidationError(ORX_RESPONDER_SOURCE, message);
    return false;
}

void CFrameResponseCommand::DoRun() {
    if (CBaseFrameResponseConfig::NoneCreated())
        return;
    std::vector<CBaseFrameResponseConfig*> configs;
    GetConfigList(configs);
    if (configs.empty())
        return;
    std::map<orx::core::CPort*, std::vector<uint32_t>> portMap;
    PopulatePortMap(configs, portMap);
    if (portMap.empty())
        return;

    auto& rpc = CRpcManager::Instance();
    for (auto& [port, handles] : portMap) {
        Message message;
        SetupMessage(&message, handles);
        if (rpc.SendAsyncMessage(port->GetMessenger(), message, nullptr, nullptr, 0, true) != 0)
            FailSend(GetName());
    }
    std::vector<ErrorMsg> errors;
    rpc.Wait(errors);
    if (!errors.empty()) {
        LogFaults(GetName(), errors);
        throw CCommandErrorException(GetName() +
                                     " encountered an error after sending command message");
    }
    SetCommandStatus(configs);
}

void CFrameResponseCommand::PopulatePortMap(
    std::vector<CBaseFrameResponseConfig*> configs,
    std::map<orx::core::CPort*, std::vector<uint32_t>>& portMap) {
    const bool simulation = orx::core::COrxSystem::Instance().GetInSimulationMode();
    for (CBaseFrameResponseConfig* config : configs) {
        if (!config->GetActive())
            continue;
        orx::core::CPort* port = config->GetPort();
        if (!port || (!port->GetOnline() && !simulation))
            continue;
        portMap[port].push_back(config->GetObjectHandle());
    }
}

void CFrameResponseCommand::FailSend(const std::string& who) {
    // The requests already sent are answered on this thread: take their answers now, or the
    // next wait on this thread would count them (and their faults) as its own.
    std::vector<ErrorMsg> errors;
    CRpcManager::Instance().Wait(errors);
    LogFaults(who, errors);
    throw CCommandErrorException(who + ": Failed to send command message");
}

void CFrameResponseCommand::LogFaults(const std::string& who, const std::vector<ErrorMsg>& errors) {
    BLLLogger* log = devLogger();
    if (errors.empty() || !log || !log->IsEnabledFor(LOG_ERROR))
        return;
    log->Error(who + " received error" + (errors.size() > 1 ? "s" : ""), __FILE__, __LINE__);
    for (size_t i = 0; i < errors.size(); ++i) {
        std::ostringstream line;
        line << "Error " << i + 1 << ": msgSeqNum " << errors[i].msgSeqNum
             << ", msgrString: " << errors[i].msgrString << ", faultCode: " << errors[i].faultCode
             << ", faultString: " << errors[i].faultString;
        log->Error(line.str(), __FILE__, __LINE__);
    }
}

void CFrameResponseCommand::SetCommandStatus(std::vector<CBaseFrameResponseConfig*> configs) {
    std::vector<uint32_t> handles;
    handles.reserve(configs.size());
    for (CBaseFrameResponseConfig* config : configs)
        handles.push_back(config->GetObjectHandle());
    SetStartStop(handles, StateAfterCompletion(), false);
}

void CFrameResponseCommand::SetStartStop(std::vector<uint32_t>& handles, bool startEnabled,
                                         bool unavailable) {
    auto& status = CCommandStatusManager::Instance();
    const bool start = startEnabled && !unavailable;
    const bool stop = !startEnabled && !unavailable;
    for (uint32_t handle : handles) {
        if (auto* config =
                dynamic_cast<CBaseFrameResponseConfig*>(CHandleRegistry::Instance().Find(handle))) {
            config->Set(CBaseFrameResponseConfig::PROP_RUNNING, stop);
        }
        status.SetCommandStatus(handle, START_COMMAND_CLASS_ID, start);
        status.SetCommandStatus(handle, orx::core::CProtocolStartCommand::CLASS_ID(), start);
        status.SetCommandStatus(handle, STOP_COMMAND_CLASS_ID, stop);
        status.SetCommandStatus(handle, orx::core::CProtocolStopCommand::CLASS_ID(), stop);
    }
}

void CFrameResponseCommand::HandleActivate(CBaseFrameResponseConfig& config, bool onlineChange) {
    orx::core::CPort* port = config.GetPort();
    const bool usable =
        (port && port->GetOnline()) || orx::core::COrxSystem::Instance().GetInSimulationMode();
    const int state = config.GetActivatedState();
    std::vector<uint32_t> handles{config.GetObjectHandle()};
    if (state == 1 || (onlineChange && !usable) || (state == 2 && !config.GetActive())) {
        SetStartStop(handles, true, true);
    } else if (state == 0 || (usable && onlineChange) || state == 2) {
        SetStartStop(handles, true, false);
    }
}

}  // namespace orx::responder
