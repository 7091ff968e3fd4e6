// The result module's work beyond registration: rebuilding subscriptions after an apply and
// delivering IL notifications to the handler whose subscription they belong to.

#include <memory>

#include <orx/core/Results.h>
#include <orx/framework/Rpc.h>
#include <orx/msglib/Message.h>
#include "ResultRequests.h"

namespace orx::core {

CPagedResultHandler* CResultModule::FindHandler(const ResultType& type) const {
    for (const auto& h : m_handlers) {
        if (h->GetResultTypes().count(type))
            return h.get();
    }
    return nullptr;
}

void CResultModule::RefreshDirtySubscriptions() {
    for (const auto& h : m_handlers)
        h->RefreshDirtySubscriptions();
}

void CResultModule::EndAllSubscriptions() {
    for (const auto& h : m_handlers) {
        h->UnsubscribeAll();
        h->ClearDirtySubscriptions();
    }
}

void CResultModule::OnTestStopped() {
    if (!m_eotFile.empty())
        SaveEndOfTest(m_eotFile);
}

bool CCoreIlResultsNotificationManager::Dispatch(Message& message) {
    const std::string& name = message.get_request_name();
    NotificationParser parser = FindParser(name);
    if (parser.empty()) {
        results::LogError("Notification " + name + " dropped: no parser is registered for it",
                          __FILE__, __LINE__);
        return false;
    }
    std::unique_ptr<CIlNotificationWrapper> wrapper;
    try {
        wrapper.reset(parser(message));
        if (!wrapper) {
            results::LogError("Notification " + name + " dropped: its parser gave nothing",
                              __FILE__, __LINE__);
            return false;
        }
        for (const auto& h : CResultModule::Instance().GetHandlers()) {
            if (h->HandleNotification(*wrapper))
                return true;
        }
    } catch (const std::exception& e) {
        results::LogError("Notification " + name + " dropped: " + e.what(), __FILE__, __LINE__);
        return false;
    }
    // A subscription ended while the IL still had a notification on its way.
    results::LogInfo("Notification " + name + " with id " + std::to_string(wrapper->GetId()) +
                         " belongs to no live subscription",
                     __FILE__, __LINE__);
    return false;
}

void CCoreIlResultsNotificationManager::AttachToRpcManager() {
    orx::framework::CRpcManager::Instance().SetNotificationHandler(
        [this](Message& message) { Dispatch(message); });
}

}  // namespace orx::core
