#include "FrameResponseResults.h"

#include <orx/framework/MetaClass.h>

namespace orx::responder {

using namespace orx::framework;

namespace {

CScriptable* Make() {
    return new CFrameResponseResults();
}
void Destroy(CScriptable* object) {
    delete object;
}

struct CFrameResponseResultsCtorDtorHelper {
    CFrameResponseResultsCtorDtorHelper() {
        CMetaClass::InitMakeDestroyFuncs(CFrameResponseResults::CLASS_ID(), &Make, &Destroy);
    }
} s_registrar;

}  // namespace

const CMetaClass& CFrameResponseResults::GetMetaClassStatic() {
    static const CMetaClass* metaClass = CMetaClassManager::Instance().GetClass(CLASS_ID());
    return *metaClass;
}

}  // namespace orx::responder
