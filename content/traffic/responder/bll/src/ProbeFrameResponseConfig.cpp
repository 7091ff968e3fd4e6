#include "ProbeFrameResponseConfig.h"

#include <orx/framework/MetaClass.h>

namespace orx::responder {

using namespace orx::framework;

namespace {

CScriptable* Make() {
    return new CProbeFrameResponseConfig();
}
void Destroy(CScriptable* object) {
    delete object;
}

struct CProbeFrameResponseConfigCtorDtorHelper {
    CProbeFrameResponseConfigCtorDtorHelper() {
        CMetaClass::InitMakeDestroyFuncs(CProbeFrameResponseConfig::CLASS_ID(), &Make, &Destroy);
    }
} s_registrar;

}  // namespace

const CMetaClass& CProbeFrameResponseConfig::GetMetaClassStatic() {
    static const CMetaClass* metaClass = CMetaClassManager::Instance().GetClass(CLASS_ID());
    return *metaClass;
}

}  // namespace orx::responder
