#include "FrameResponseModifier.h"

#include <orx/common/Convert.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/Resources.h>
#include "BaseFrameResponseConfig.h"
#include "FrameResponseProfile.h"
#include "ResponderCommon.h"

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

    // Text that is not hexadecimal is this configuration's message; the checks that need its
    // bytes are left out, and validation goes on.
    auto bytesOf = [&](const std::string& hex, const std::string& what, uint64_t& count) {
        try {
            count = HexToBytes(hex, what).size();
            return true;
        } catch (const COrxRunTimeError& e) {
            ResourceFormatter message(MSG_MODIFIER_NOT_HEX);
            message << display << e.what();
            context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
            return false;
        }
    };
    uint64_t m = 0;
    const bool maskOk = bytesOf(GetMask(), MaskName(), m);
    // Positions are measured against the received frame (the configuration's filter frame)
    // when the profile patches it, else against the profile's own frame. A reference frame that
    // does not parse is reported by the frame checks already.
    CResponderContainer* reference =
        prof->GetUseRxFrame() ? static_cast<CResponderContainer*>(cfg) : prof;
    if (maskOk && reference->ParseFrameXml().empty()) {
        std::vector<FieldInfo> infos;
        uint64_t length = 0;
        bool built = true;
        try {
            length = reference->GetFieldInfo(infos);
        } catch (const COrxRunTimeError& e) {
            // Parsed but not buildable: the reference frame's own message.
            built = false;
            ResourceFormatter message(reference == cfg ? MSG_INVALID_FRAME_CONFIG
                                                       : MSG_PROFILE_INVALID_FRAME_CONFIG);
            message << (reference == cfg ? cfg->GetName() : display) << e.what();
            context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
        }
        const uint64_t end = static_cast<uint64_t>(GetOffset()) + m;
        if (built && end > length) {
            ResourceFormatter message(MSG_MODIFIER_EXTENDS);
            message << display << end - length;
            context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
        }
    }

    uint64_t v = 0;
    if (bytesOf(GetValue(), ValueName(), v) && maskOk && v > m) {
        ResourceFormatter message(MSG_MODIFIER_VALUE_TOO_LONG);
        message << display << v - m;
        context.AddValidationError(ORX_RESPONDER_SOURCE, message.ToString());
    }
}

}  // namespace orx::responder
