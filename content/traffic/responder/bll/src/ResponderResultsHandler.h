#pragma once

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <map>
#include <vector>

#include <orx/core/Results.h>

class Message;

namespace orx::responder {

// Registers the frame-response result types with the host's paged result machinery and keeps
// the live subscriptions per configuration class.
class CResponderResultsHandler {
  public:
    static CResponderResultsHandler& Instance();

    // Registers the notification parser and the paged handler; true.
    bool RegisterHandlers();
    // Adds the probe and device result types; whether both were added.
    bool InitResultTypes(orx::core::CPagedResultHandler& handler);
    static orx::core::CSimpleResultHandlerAssistant* AssistantGetter();

    void RegisterSubscription(const orx::core::ResultType& type, const uint32_t& id);
    void UnregisterSubscription(const orx::core::ResultType& type, const uint32_t& id);
    // Makes the host refresh every live subscription of that configuration class.
    void MarkSubscriptionsDirty(const orx::core::ClassId& classId);

    const std::map<orx::core::ClassId, std::vector<uint32_t>>& GetSubscriptions() const {
        return m_subscriptions;
    }
    orx::core::CPagedResultHandler& GetPagedHandler() const { return *m_handler; }

  private:
    CResponderResultsHandler();

    boost::shared_ptr<orx::core::CPagedResultHandler> m_handler;
    std::map<orx::core::ClassId, std::vector<uint32_t>> m_subscriptions;
};

// Parser registered for "responder_1.DoSQLNotifyFaster".
orx::core::CIlNotificationWrapper* StatsNtfyParser(Message& message);

}  // namespace orx::responder
