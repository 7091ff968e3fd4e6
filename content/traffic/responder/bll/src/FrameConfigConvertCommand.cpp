#include "FrameConfigConvertCommand.h"

#include <orx/framework/HandleRegistry.h>
#include <orx/framework/MetaClass.h>
#include "BaseFrameResponseConfig.h"
#include "ResponderCommon.h"

namespace orx::responder {

using namespace orx::framework;

namespace {

CScriptable* Make() {
    return new CFrameConfigConvertCommand();
}
void Destroy(CScriptable* object) {
    delete object;
}

struct CFrameConfigConvertCommandCtorDtorHelper {
    CFrameConfigConvertCommandCtorDtorHelper() {
        CMetaClass::InitMakeDestroyFuncs(CFrameConfigConvertCommand::CLASS_ID(), &Make, &Destroy);
    }
} s_registrar;

CBaseFrameResponseConfig* FindConfig(uint32_t handle) {
    return dynamic_cast<CBaseFrameResponseConfig*>(CHandleRegistry::Instance().Find(handle));
}

}  // namespace

const CMetaClass& CFrameConfigConvertCommand::GetMetaClassStatic() {
    static const CMetaClass* metaClass = CMetaClassManager::Instance().GetClass(CLASS_ID());
    return *metaClass;
}

bool CFrameConfigConvertCommand::Validate(CBaseValidationContext& context) {
    m_config = FindConfig(GetConfig());
    if (m_config)
        return true;
    const std::string text = GetName() + " has an invalid handle " + std::to_string(GetConfig());
    SetStatus(text);
    context.AddValidationError(ORX_RESPONDER_SOURCE, text);
    return false;
}

void CFrameConfigConvertCommand::DoRun() {
    // The configuration may have gone since Validate: look it up again.
    m_config = m_config ? FindConfig(GetConfig()) : nullptr;
    if (!m_config)
        throw CCommandErrorException(GetName() + ": No config instance given");
    std::string reason;
    if (m_config->HasValidFilter(&reason)) {
        Set(PROP_FILTER_VALUE, m_config->GetFilterValue());
        SetStatus(std::string());  // an earlier run's failure no longer holds
    } else {
        SetStatus(GetName() + ": Invalid filter " + reason);
    }
}

}  // namespace orx::responder
