#include "ResponderProtocol.h"

#include <orx/framework/Exceptions.h>
#include <orx/framework/Logger.h>
#include <orx/framework/Rpc.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/msglib/Message.h>
#include "BaseFrameResponseConfig.h"
#include "DeviceFrameResponseConfig.h"
#include "FrameResponseStartCommand.h"
#include "FrameResponseStopCommand.h"
#include "ProbeFrameResponseConfig.h"
#include "ResponderCommon.h"
#include "responder_1.h"

using namespace orx::framework;
using orx::responder::CBaseFrameResponseConfig;
using orx::responder::CFrameResponseCommand;

namespace {

BLLLogger* devLogger() {
    static BLLLogger* logger =
        BLLLoggerFactory::GetInstance()->GetLogger(orx::responder::LOGGER_DEV);
    return logger;
}

// Makes the start or stop command, lets `prepare` set its handle list, runs it; the command is
// destroyed however the run ends. A selection the command refuses is an error: the host must
// not report a start while nothing started.
template <class Prepare>
void RunCommand(bool start, Prepare prepare) {
    using orx::responder::CFrameResponseStartCommand;
    using orx::responder::CFrameResponseStopCommand;
    CScriptableAutoPtr<CFrameResponseCommand> command =
        start
            ? CScriptableAutoPtr<CFrameResponseCommand>(
                  CScriptableCreator::CreateAPT<CFrameResponseStartCommand>(nullptr, true, true, 0))
            : CScriptableAutoPtr<CFrameResponseCommand>(
                  CScriptableCreator::CreateAPT<CFrameResponseStopCommand>(nullptr, true, true, 0));
    prepare(*command);
    if (command->Execute(false))
        return;
    const std::string status = command->GetStatus();
    if (BLLLogger* log = devLogger(); log && log->IsEnabledFor(LOG_ERROR))
        log->Error(status, __FILE__, __LINE__);
    throw CCommandErrorException(status);
}

}  // namespace

CResponderProtocol& CResponderProtocol::Instance() {
    static CResponderProtocol instance;
    return instance;
}

void CResponderProtocol::ProcessControlMessage(const ControlMessage*,
                                               const std::vector<uint32_t>&) {}

std::vector<uint32_t> CResponderProtocol::GetManagedProtocolConfigType() const {
    return {orx::responder::CProbeFrameResponseConfig::CLASS_ID(),
            orx::responder::CDeviceFrameResponseConfig::CLASS_ID()};
}

void CResponderProtocol::StartStopProtocol(bool start) {
    if (CBaseFrameResponseConfig::NoneCreated())
        return;
    RunCommand(start, [](CFrameResponseCommand&) {});
}

void CResponderProtocol::StartStopProtocol(bool start, const std::vector<uint32_t>& handles) {
    if (CBaseFrameResponseConfig::NoneCreated() || handles.empty())
        return;
    RunCommand(start, [&](CFrameResponseCommand& command) { command.SetConfigList(handles); });
}

bool CResponderProtocol::StartStopProtocolConfigs(bool start, orx::core::ScriptableVec& configs) {
    if (CBaseFrameResponseConfig::NoneCreated())
        return true;
    std::vector<uint32_t> handles;
    for (CScriptable* object : configs) {
        if (object)
            handles.push_back(object->GetObjectHandle());
    }
    if (handles.empty())
        return true;  // nothing selected: nothing to do, and no error
    RunCommand(start, [&](CFrameResponseCommand& command) { command.SetConfigList(handles); });
    return true;
}

void CResponderProtocol::ClearResult() {
    std::vector<CBaseFrameResponseConfig*> configs;
    CBaseFrameResponseConfig::GetOnlineConfigList(
        configs, orx::core::COrxSystem::Instance().GetInSimulationMode());
    std::map<orx::core::CPort*, std::vector<uint32_t>> portMap;
    CFrameResponseCommand::PopulatePortMap(configs, portMap);

    auto& rpc = CRpcManager::Instance();
    bool sent = false;
    for (auto& [port, handles] : portMap) {
        Message message;
        responder_1_bll::create_req_ClearResult(&message, handles, true);
        if (rpc.SendAsyncMessage(port->GetMessenger(), message, nullptr, nullptr, 0, true) != 0)
            CFrameResponseCommand::FailSend(GetName());
        sent = true;
    }
    if (!sent)
        return;
    std::vector<ErrorMsg> errors;
    rpc.Wait(errors);
    if (errors.empty())
        return;
    CFrameResponseCommand::LogFaults(GetName(), errors);
    throw CCommandErrorException(GetName() +
                                 " encountered an error after sending ClearResult message");
}
