#include "FrameResponseCommand.h"

#include "BaseFrameResponseConfig.h"
#include "orx/core/HostClasses.h"
#include "orx/core/Protocol.h"
#include "orx/framework/HandleRegistry.h"
#include "orx/framework/MetaClass.h"

namespace orx::responder {

using namespace orx::framework;

namespace {

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
