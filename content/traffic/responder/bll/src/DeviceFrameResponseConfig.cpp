#include "DeviceFrameResponseConfig.h"

#include <orx/framework/MetaClass.h>

namespace orx::responder {

using namespace orx::framework;

namespace {

CScriptable* Make() {
    return new CDeviceFrameResponseConfig();
}
void Destroy(CScriptable* object) {
    delete object;
}

struct CDeviceFrameResponseConfigCtorDtorHelper {
    CDeviceFrameResponseConfigCtorDtorHelper() {
        CMetaClass::InitMakeDestroyFuncs(CDeviceFrameResponseConfig::CLASS_ID(), &Make, &Destroy);
    }
} s_registrar;

}  // namespace

const CMetaClass& CDeviceFrameResponseConfig::GetMetaClassStatic() {
    static const CMetaClass* metaClass = CMetaClassManager::Instance().GetClass(CLASS_ID());
    return *metaClass;
}

}  // namespace orx::responder
