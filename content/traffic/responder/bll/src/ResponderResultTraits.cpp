#include "ResponderResultTraits.h"

#include <vector>

#include <orx/core/HostClasses.h>
#include "BaseFrameResponseConfig.h"
#include "FrameResponseResults.h"
#include "ResponderResultQueryInterface.h"
#include "ResponderResultsHandler.h"
#include "responder_1.h"

namespace orx::responder {

using namespace orx::core;
using orx::framework::CScriptable;

CResponderResultTraits::CResponderResultTraits()
    : m_resultType(CBaseFrameResponseConfig::CLASS_ID(), CFrameResponseResults::CLASS_ID()) {}

DoSqlCb CResponderResultTraits::GetDoSqlCb() const {
    return DoSqlCb(&responder_1_bll::create_req_DoSQLFaster);
}

NtfyStartCb CResponderResultTraits::GetNtfyStartCb() const {
    return NtfyStartCb(&responder_1_bll::create_req_RequestDoSQLNotificationFaster);
}

NtfyEndCb CResponderResultTraits::GetNtfyEndCb() const {
    return NtfyEndCb(&responder_1_bll::create_req_DeleteDoSQLNotificationFaster);
}

CIlResultGenericProcessor* CResponderResultTraits::GetIlProcessor(CSubscriptionRecord& record,
                                                                  size_t commandIndex) {
    return new CIlResultGenericProcessor(record, commandIndex, GetResultKeyGetter(),
                                         GetPostIlUpdateProcessHook());
}

void CResponderResultTraits::SetResultKey(CScriptable&, uint32_t, bool) {}

ResultKeyGetter CResponderResultTraits::GetResultKeyGetter() const {
    return ResultKeyGetter(&CResponderResultTraits::GetResultKey);
}

uint32_t CResponderResultTraits::GetResultKey(CScriptable& object) {
    if (const CScriptable* parent = object.GetParent())
        return parent->GetObjectHandle();
    return object.GetObjectHandle();
}

void CResponderResultTraits::NotifyStartSubscription(const ResultType& type, uint32_t id) {
    CResponderResultsHandler::Instance().RegisterSubscription(type, id);
}

void CResponderResultTraits::NotifyEndSubscription(const ResultType& type, uint32_t id) {
    CResponderResultsHandler::Instance().UnregisterSubscription(type, id);
}

void CResponderResultTraits::GetEotPortSet(EotPortSet& ports) {
    const bool simulation = COrxSystem::Instance().GetInSimulationMode();
    std::vector<CBaseFrameResponseConfig*> configs;
    CBaseFrameResponseConfig::GetOnlineConfigList(configs, simulation);
    for (CBaseFrameResponseConfig* config : configs) {
        CPort* port = config->GetPort();
        if (!port)
            continue;
        if (port->GetOnline() || simulation)
            ports.insert(port);
    }
}

CIlResultQueryInterface* CResponderResultTraits::GetQryInterfaceGetter() {
    return new CResponderResultQueryInterface(GetIlTblName());
}

}  // namespace orx::responder
