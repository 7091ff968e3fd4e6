#include "FrameResponseStartCommand.h"

#include <orx/framework/MetaClass.h>
#include "responder_1.h"

namespace orx::responder {

using namespace orx::framework;

namespace {

CScriptable* Make() {
    return new CFrameResponseStartCommand();
}
void Destroy(CScriptable* object) {
    delete object;
}

struct CFrameResponseStartCommandCtorDtorHelper {
    CFrameResponseStartCommandCtorDtorHelper() {
        CMetaClass::InitMakeDestroyFuncs(CFrameResponseStartCommand::CLASS_ID(), &Make, &Destroy);
    }
} s_registrar;

}  // namespace

const CMetaClass& CFrameResponseStartCommand::GetMetaClassStatic() {
    static const CMetaClass* metaClass = CMetaClassManager::Instance().GetClass(CLASS_ID());
    return *metaClass;
}

void CFrameResponseStartCommand::SetupMessage(Message* message,
                                              const std::vector<uint32_t>& handles) {
    responder_1_bll::create_req_Start(message, handles, true);
}

}  // namespace orx::responder
