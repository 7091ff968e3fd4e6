#include "ResponderResultsHandler.h"

#include <algorithm>

#include <orx/core/ResultAssistant.h>
#include <orx/framework/Exceptions.h>
#include <orx/ids/responder.h>
#include "ResponderResultLocator.h"
#include "ResponderResultTraits.h"
#include "responder_1.h"

namespace orx::responder {

using namespace orx::core;

namespace {

constexpr uint32_t kProbeConfigClassId = orx::ids::responder::ProbeFrameResponseConfig::kClass;
constexpr uint32_t kDeviceConfigClassId = orx::ids::responder::DeviceFrameResponseConfig::kClass;
constexpr uint32_t kResultsClassId = orx::ids::responder::FrameResponseResults::kClass;

// The single assistant of the result types; made with the result traits and locator.
CSimpleResultHandlerAssistant* s_assistant = nullptr;

}  // namespace

CResponderResultsHandler::CResponderResultsHandler()
    : m_handler(new CPagedResultHandler("Frame Response Result Handler", true)) {
    if (!InitResultTypes(*m_handler)) {
        throw orx::framework::COrxLogicError(orx::framework::AssertionText(
            "Failed to initialize Frame Response result types", "res",
            "content/traffic/responder/bll/src/ResponderResultsHandler", 41));
    }
}

CResponderResultsHandler& CResponderResultsHandler::Instance() {
    static CResponderResultsHandler instance;
    return instance;
}

CSimpleResultHandlerAssistant* CResponderResultsHandler::AssistantGetter() {
    return s_assistant;
}

bool CResponderResultsHandler::InitResultTypes(CPagedResultHandler& handler) {
    auto* assistant = new CSimpleResultHandlerAssistant(new CResponderResultTraits(),
                                                        new CResponderResultLocator());
    if (s_assistant && s_assistant != assistant)
        delete s_assistant;
    s_assistant = assistant;

    ResultTypeInfo info;
    info.assistantGetter = AssistantGetter;
    bool added = handler.AddResultType(ResultType(kProbeConfigClassId, kResultsClassId), info);
    if (added)
        added = handler.AddResultType(ResultType(kDeviceConfigClassId, kResultsClassId), info);
    return added;
}

bool CResponderResultsHandler::RegisterHandlers() {
    CCoreIlResultsNotificationManager::Instance().RegisterParser(
        responder_1_bll::request::DoSQLNotifyFaster, StatsNtfyParser);
    CResultModule::Instance().RegisterResultHandler(m_handler, true);
    return true;
}

void CResponderResultsHandler::RegisterSubscription(const ResultType& type, const uint32_t& id) {
    m_subscriptions[type.parentClassId].push_back(id);
}

void CResponderResultsHandler::UnregisterSubscription(const ResultType& type, const uint32_t& id) {
    auto it = m_subscriptions.find(type.parentClassId);
    if (it == m_subscriptions.end())
        return;
    auto& ids = it->second;
    ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
    if (ids.empty())
        m_subscriptions.erase(it);
}

void CResponderResultsHandler::MarkSubscriptionsDirty(const ClassId& classId) {
    auto it = m_subscriptions.find(classId);
    if (it == m_subscriptions.end())
        return;
    for (uint32_t id : it->second)
        m_handler->MarkSubscriptionDirty(id);
}

CIlNotificationWrapper* StatsNtfyParser(Message& message) {
    return new CIlSqlResultNtfyMsgWrapper(message, responder_1_bll::parse_req_DoSQLNotifyFaster);
}

}  // namespace orx::responder
