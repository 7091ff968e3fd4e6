#include "FrameResponseStopCommand.h"

#include <orx/framework/MetaClass.h>
#include "responder_1.h"

namespace orx::responder {

using namespace orx::framework;

namespace {

CScriptable* Make() {
    return new CFrameResponseStopCommand();
}
void Destroy(CScriptable* object) {
    delete object;
}

struct CFrameResponseStopCommandCtorDtorHelper {
    CFrameResponseStopCommandCtorDtorHelper() {
        CMetaClass::InitMakeDestroyFuncs(CFrameResponseStopCommand::CLASS_ID(), &Make, &Destroy);
    }
} s_registrar;

}  // namespace

const CMetaClass& CFrameResponseStopCommand::GetMetaClassStatic() {
    static const CMetaClass* metaClass = CMetaClassManager::Instance().GetClass(CLASS_ID());
    return *metaClass;
}

void CFrameResponseStopCommand::SetupMessage(Message* message,
                                             const std::vector<uint32_t>& handles) {
    responder_1_bll::create_req_Stop(message, handles, true);
}

}  // namespace orx::responder
