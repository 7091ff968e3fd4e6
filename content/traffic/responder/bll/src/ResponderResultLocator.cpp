#include "ResponderResultLocator.h"

#include <algorithm>
#include <vector>

#include <orx/core/HostClasses.h>
#include <orx/framework/Exceptions.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include "BaseFrameResponseConfig.h"
#include "ResponderCommon.h"

namespace orx::responder {

using namespace orx::framework;
using namespace orx::core;

namespace {

bool Usable(const CPort& port, bool simulation) {
    return simulation || port.GetOnline();
}

bool HasConfig(const CScriptable& parent) {
    return parent.GetObject(CBaseFrameResponseConfig::CLASS_ID(), RelationType(PARENT_CHILD)) !=
           nullptr;
}

}  // namespace

void CResponderResultLocator::GetPortsForObj(const CScriptable* object,
                                             ScriptableVec& ports) const {
    if (!object)
        throw COrxRunTimeError("Invalid object handle");
    const bool simulation = COrxSystem::Instance().GetInSimulationMode();

    if (const auto* config = dynamic_cast<const CBaseFrameResponseConfig*>(object)) {
        if (CPort* port = config->GetPort(); port && Usable(*port, simulation))
            ports.push_back(port);
        return;
    }

    if (object->IsTypeOf(CProject::CLASS_ID())) {
        std::vector<CBaseFrameResponseConfig*> configs;
        CBaseFrameResponseConfig::GetOnlineConfigList(configs, simulation);
        const auto first = static_cast<ScriptableVec::difference_type>(ports.size());
        for (CBaseFrameResponseConfig* config : configs) {
            CPort* port = config->GetPort();
            if (!port)
                continue;
            if (std::find(ports.begin() + first, ports.end(), port) == ports.end())
                ports.push_back(port);
        }
        return;
    }

    if (object->IsTypeOf(CProbe::CLASS_ID()) || object->IsTypeOf(CEmulatedDevice::CLASS_ID())) {
        if (const CScriptable* config =
                object->GetObject(CBaseFrameResponseConfig::CLASS_ID(), RelationType(PARENT_CHILD)))
            GetPortsForObj(config, ports);
        return;
    }

    if (const auto* port = dynamic_cast<const CPort*>(object)) {
        if (!Usable(*port, simulation))
            return;
        ScriptableVec holders;
        port->GetObjects(holders, CEmulatedDevice::CLASS_ID(), RelationType(PARENT_CHILD));
        // Emulated devices sit under the project and are only related to their port; without
        // them a port whose configurations are all on devices would show no results.
        port->GetObjects(holders, CEmulatedDevice::CLASS_ID(),
                         RelationType(DEVICE_TO_PORT, DIR_BACKWARD));
        port->GetObjects(holders, CProbe::CLASS_ID(), RelationType(PARENT_CHILD));
        if (std::any_of(holders.begin(), holders.end(),
                        [](const CScriptable* h) { return h && HasConfig(*h); }))
            ports.push_back(const_cast<CPort*>(port));
    }
}

bool CResponderResultLocator::ValidateSubscriptionRoots(ResultSubscription& subscription) const {
    std::vector<Handle>& roots = subscription.GetRootHandles();
    if (roots.empty())
        roots.push_back(ORX_PROJECT_HANDLE);
    for (Handle root : roots) {
        ScriptableVec scratch;
        try {
            GetPortsForObj(CHandleRegistry::Instance().Find(root), scratch);
        } catch (const COrxRunTimeError& e) {
            if (BLLLogger* log = DevLogger(); log && log->IsEnabledFor(LOG_INFO)) {
                log->Info(std::string("ValidateSubscriptionRoots: Validation failure ") + e.what(),
                          __FILE__, __LINE__);
            }
            return false;
        }
    }
    return true;
}

}  // namespace orx::responder
