#include "FrameResponseProfile.h"

#include <algorithm>

#include <orx/framework/HandleRegistry.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/Resources.h>
#include "BaseFrameResponseConfig.h"
#include "FrameResponseModifier.h"
#include "ResponderCommon.h"

namespace orx::responder {

using namespace orx::framework;
using orx::core::CPort;

namespace {

CScriptable* Make() {
    return new CFrameResponseProfile();
}
void Destroy(CScriptable* object) {
    delete object;
}

struct CFrameResponseProfileCtorDtorHelper {
    CFrameResponseProfileCtorDtorHelper() {
        CMetaClass::InitMakeDestroyFuncs(CFrameResponseProfile::CLASS_ID(), &Make, &Destroy);
    }
} s_registrar;

// The port group of a port: the parent of its "PhysicalPort" object, if any.
CScriptable* PortGroupOf(const CPort& port) {
    CScriptable* physical = port.GetObject(std::string("PhysicalPort"),
                                           RelationType(PHYSICAL_PORT_TO_PORT, DIR_BACKWARD));
    return physical ? physical->GetParent() : nullptr;
}

}  // namespace

const CMetaClass& CFrameResponseProfile::GetMetaClassStatic() {
    static const CMetaClass* metaClass = CMetaClassManager::Instance().GetClass(CLASS_ID());
    return *metaClass;
}

uint32_t CFrameResponseProfile::GetPortIndex() {
    auto* cfg = dynamic_cast<CBaseFrameResponseConfig*>(GetParent());
    ORX_ASSERT(cfg, "Did not find correct parent object");
    auto* port = dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(GetTxPort()));
    if (!port)
        return 0xFFFFFFFF;
    return port->GetPortIndex();
}

void CFrameResponseProfile::GetActiveModifiers(std::vector<CFrameResponseModifier*>& out) {
    if (!GetUseRxFrame())
        return;
    GetObjects(out, CFrameResponseModifier::CLASS_ID(), RelationType(PARENT_CHILD, DIR_FORWARD));
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](CFrameResponseModifier* m) { return !m || !m->GetActive(); }),
              out.end());
}

void CFrameResponseProfile::GetFrame(std::vector<uint8_t>& bytes,
                                     std::vector<orx::core::PduPlacement>& pdus) {
    GetPayload(bytes, true);
    std::vector<FieldInfo> infos;
    GetFieldInfo(infos);
    for (const FieldInfo& info : infos)
        pdus.push_back({info.name, info.offset, info.length});
}

void CFrameResponseProfile::ValidateProfile(orx::core::ValidationContext& context) {
    auto* cfg = dynamic_cast<CBaseFrameResponseConfig*>(GetParent());
    ORX_ASSERT(cfg, "Did not find correct parent config object");
    CScriptable* gramps = cfg->GetParent();
    ORX_ASSERT(gramps, "Did not find correct parent object for config");
    const std::string display = gramps->GetName();

    std::string frameError = ParseFrameXml();
    if (frameError.empty() && !GetUseRxFrame()) {
        // The payload the apply sends: a frame that parses but cannot be built is reported
        // here, not raised out of the apply.
        frameError = CheckPayloadBuilds();
    }
    if (!frameError.empty()) {
        ResourceFormatter message(MSG_PROFILE_INVALID_FRAME_CONFIG);
        message << display << frameError;
        context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
    }

    std::vector<CFrameResponseModifier*> modifiers;
    GetActiveModifiers(modifiers);
    for (CFrameResponseModifier* modifier : modifiers)
        modifier->ValidateModifier(context);

    CPort* configPort = cfg->GetPort();
    auto* txPort = dynamic_cast<CPort*>(CHandleRegistry::Instance().Find(GetTxPort()));
    if (!txPort)
        return;
    CScriptable* configGroup = configPort ? PortGroupOf(*configPort) : nullptr;
    if (configGroup != PortGroupOf(*txPort)) {
        ResourceFormatter message(MSG_PROFILE_WRONG_PORT_GROUP);
        message << display;
        context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
    }
}

}  // namespace orx::responder
