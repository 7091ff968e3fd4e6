#include "FrameResponseModifier.h"

#include "BaseFrameResponseConfig.h"
#include "FrameResponseProfile.h"
#include "ResponderCommon.h"
#include "orx/common/Convert.h"
#include "orx/framework/MetaClass.h"
#include "orx/framework/Resources.h"

namespace orx::responder {

using namespace orx::framework;

namespace {

CScriptable* Make() {
    return new CFrameResponseModifier();
}
void Destroy(CScriptable* object) {
    delete object;
}

struct CFrameResponseModifierCtorDtorHelper {
    CFrameResponseModifierCtorDtorHelper() {
        CMetaClass::InitMakeDestroyFuncs(CFrameResponseModifier::CLASS_ID(), &Make, &Destroy);
    }
} s_registrar;

}  // namespace

std::vector<uint8_t> HexToBytes(const std::string& hex, const std::string& what) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!orx::common::ConvertAsciiHexToBin(hex, bytes, &error)) {
        throw COrxRunTimeError(what + " \"" + hex +
                               "\" is not a hexadecimal byte string: " + error);
    }
    return bytes;
}

const CMetaClass& CFrameResponseModifier::GetMetaClassStatic() {
    static const CMetaClass* metaClass = CMetaClassManager::Instance().GetClass(CLASS_ID());
    return *metaClass;
}

void CFrameResponseModifier::ValidateModifier(orx::core::ValidationContext& context) {
    auto* prof = dynamic_cast<CFrameResponseProfile*>(GetParent());
    ORX_ASSERT(prof, "Did not find correct parent profile object");
    auto* cfg = dynamic_cast<CBaseFrameResponseConfig*>(prof->GetParent());
    ORX_ASSERT(cfg, "Did not find correct parent config object");
    CScriptable* gramps = cfg->GetParent();
    ORX_ASSERT(gramps, "Did not find correct parent object for config");
    const std::string display = gramps->GetName();

    const uint64_t m = HexToBytes(GetMask(), MaskName()).size();
    // Positions are measured against the received frame (the configuration's filter frame)
    // when the profile patches it, else against the profile's own frame. A reference frame that
    // does not parse is reported by the frame checks already.
    CResponderContainer* reference =
        prof->GetUseRxFrame() ? static_cast<CResponderContainer*>(cfg) : prof;
    if (reference->ParseFrameXml().empty()) {
        std::vector<FieldInfo> infos;
        const uint64_t length = reference->GetFieldInfo(infos);
        const uint64_t end = static_cast<uint64_t>(GetOffset()) + m;
        if (end > length) {
            ResourceFormatter message(MSG_MODIFIER_EXTENDS);
            message << display << end - length;
            context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
        }
    }

    const uint64_t v = HexToBytes(GetValue(), ValueName()).size();
    if (v > m) {
        ResourceFormatter message(MSG_MODIFIER_VALUE_TOO_LONG);
        message << display << v - m;
        context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
    }
}

}  // namespace orx::responder
