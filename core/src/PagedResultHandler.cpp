#include <algorithm>
#include <set>

#include <orx/core/HostClasses.h>
#include <orx/core/ResultAssistant.h>
#include <orx/core/Results.h>
#include <orx/framework/Exceptions.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/Result.h>
#include <orx/framework/ScriptableCreator.h>
#include "ResultRequests.h"

namespace orx::core {

using namespace orx::framework;

struct CPagedResultHandler::Subscription {
    std::unique_ptr<CSubscriptionRecord> record;
    CSimpleResultHandlerAssistant* assistant = nullptr;
    // What each port's IL was asked to notify, by port key.
    struct Asked {
        uint32_t notificationId = 0;
        std::vector<std::string> commands;
    };
    std::map<uint32_t, Asked> asked;
    // Per command of the query; made on first use, dropped when the record is rebuilt.
    std::vector<std::unique_ptr<CIlResultGenericProcessor>> processors;

    SimpleResultHandlerAssistantTraits& Traits() const { return assistant->GetTraits(); }
};

namespace {

std::string SubscriptionText(uint32_t id) {
    return "Result subscription " + std::to_string(id);
}

// The properties a subscription reads: the named ones, or every property the result class and
// its result bases declare, in data-model order.
std::vector<const CMetaProperty*> ResultProperties(const ResultSubscription& subscription) {
    const ClassId resultClass = subscription.GetResultType().resultClassId;
    const CMetaClass* meta = CMetaClassManager::Instance().GetClass(resultClass);
    if (!meta) {
        throw COrxRunTimeError(SubscriptionText(subscription.GetId()) + ": result class " +
                               std::to_string(resultClass.Value()) + " is not in the data model");
    }
    if (subscription.GetPropertyNames().empty())
        return ResultClassProperties(*meta);
    std::vector<const CMetaProperty*> out;
    for (const std::string& name : subscription.GetPropertyNames()) {
        const CMetaProperty* p = meta->FindProperty(name);
        if (!p) {
            throw COrxRunTimeError(SubscriptionText(subscription.GetId()) + ": result class " +
                                   meta->GetName() + " has no property \"" + name + "\"");
        }
        out.push_back(p);
    }
    return out;
}

}  // namespace

CPagedResultHandler::CPagedResultHandler(std::string name, bool paged)
    : m_name(std::move(name)), m_paged(paged) {}

CPagedResultHandler::~CPagedResultHandler() = default;

bool CPagedResultHandler::AddResultType(const ResultType& type, const ResultTypeInfo& info) {
    return m_types.emplace(type, info).second;
}

CSimpleResultHandlerAssistant* CPagedResultHandler::FindAssistant(const ResultType& type) const {
    auto it = m_types.find(type);
    if (it == m_types.end() || it->second.assistantGetter.empty())
        return nullptr;
    return it->second.assistantGetter();
}

const CSubscriptionRecord* CPagedResultHandler::FindSubscription(uint32_t id) const {
    auto it = m_subscriptions.find(id);
    return it == m_subscriptions.end() ? nullptr : it->second->record.get();
}

std::map<uint32_t, uint32_t> CPagedResultHandler::GetNotificationIds(uint32_t id) const {
    std::map<uint32_t, uint32_t> out;
    auto it = m_subscriptions.find(id);
    if (it != m_subscriptions.end()) {
        for (const auto& [port, asked] : it->second->asked)
            out[port] = asked.notificationId;
    }
    return out;
}

std::vector<uint32_t> CPagedResultHandler::GetSubscriptionIds() const {
    std::vector<uint32_t> ids;
    for (const auto& [id, sub] : m_subscriptions) {
        (void)sub;
        ids.push_back(id);
    }
    return ids;
}

void CPagedResultHandler::MarkSubscriptionDirty(uint32_t subscriptionId) {
    m_dirty.push_back(subscriptionId);
}

// Places the subscription's result parents on their ports, with a result object under each.
void CPagedResultHandler::Build(Subscription& sub) {
    CSubscriptionRecord& record = *sub.record;
    const ResultSubscription& subscription = record.GetSubscription();
    CResultLocatorForAssistant& locator = sub.assistant->GetLocator();
    const ClassId resultClass = subscription.GetResultType().resultClassId;

    record.GetPortResultsMap().clear();
    sub.processors.clear();
    ScriptableVec parents;
    locator.GetResultParents(subscription, parents);
    ScriptableVec ports;
    for (CScriptable* parent : parents) {
        if (parent->IsDeleted())
            continue;
        CScriptable* result = parent->GetObject(resultClass);
        if (!result)
            result = CScriptableCreator::Create(resultClass, parent);
        ports.clear();
        locator.GetPortsForObj(parent, ports);
        // Counters of an object that sits on no port (yet) have nowhere to come from.
        if (ports.empty())
            continue;
        CPortResultsInfo& info = record.GetPortResultsMap()[ports.front()->GetObjectHandle()];
        info.GetParentMap()[parent->GetObjectHandle()] =
            ResultData{parent->GetObjectHandle(), result->GetObjectHandle()};
    }
}

// Brings every port's notification request in line with the record's queries: ports whose
// query changed (or that are new) are asked again, ports without a query are told to stop.
void CPagedResultHandler::AskPorts(Subscription& sub) {
    SimpleResultHandlerAssistantTraits& traits = sub.Traits();
    std::unique_ptr<CIlResultQueryInterface> queryInterface(traits.GetQryInterfaceGetter());
    ResultQueryMap queries;
    if (queryInterface)
        queryInterface->BuildIlQuery(*sub.record, queries);

    const uint32_t id = sub.record->GetId();
    const uint32_t interval = sub.record->GetSubscription().GetIntervalMs();
    std::vector<std::string> failures;
    for (const auto& [portKey, query] : queries) {
        auto* sql = dynamic_cast<CIlSqlQuery*>(query.get());
        if (!sql || sql->GetCommands().empty())
            continue;
        auto it = sub.asked.find(portKey);
        if (it != sub.asked.end() && it->second.commands == sql->GetCommands())
            continue;
        const uint32_t notificationId = it != sub.asked.end()
                                            ? it->second.notificationId
                                            : CResultModule::Instance().NextNotificationId();
        Message request;
        traits.GetNtfyStartCb()(&request, notificationId, interval, sql->GetCommands(), true);
        std::string error;
        if (!results::Ask(portKey, request, nullptr, error)) {
            failures.push_back(error);
            continue;
        }
        Subscription::Asked& asked = sub.asked[portKey];
        asked.notificationId = notificationId;
        asked.commands = sql->GetCommands();
        m_byNotificationId[notificationId] = id;
    }
    for (auto it = sub.asked.begin(); it != sub.asked.end();) {
        if (queries.count(it->first)) {
            ++it;
            continue;
        }
        Message request;
        traits.GetNtfyEndCb()(&request, it->second.notificationId, true);
        std::string error;
        if (!results::Ask(it->first, request, nullptr, error))
            failures.push_back(error);
        m_byNotificationId.erase(it->second.notificationId);
        it = sub.asked.erase(it);
    }
    if (!failures.empty()) {
        std::string text = SubscriptionText(id) + ": ";
        for (size_t i = 0; i < failures.size(); ++i) {
            if (i)
                text += "; ";
            text += failures[i];
        }
        throw COrxRunTimeError(text);
    }
}

// Tells every port asked so far to stop notifying; failures are logged, not raised.
void CPagedResultHandler::Withdraw(Subscription& sub) {
    SimpleResultHandlerAssistantTraits& traits = sub.Traits();
    for (const auto& [portKey, asked] : sub.asked) {
        Message request;
        traits.GetNtfyEndCb()(&request, asked.notificationId, true);
        std::string error;
        if (!results::Ask(portKey, request, nullptr, error))
            results::LogError(SubscriptionText(sub.record->GetId()) + ": " + error, __FILE__,
                              __LINE__);
        m_byNotificationId.erase(asked.notificationId);
    }
    sub.asked.clear();
}

uint32_t CPagedResultHandler::Subscribe(ResultSubscription subscription) {
    auto typeIt = m_types.find(subscription.GetResultType());
    if (typeIt == m_types.end()) {
        throw COrxRunTimeError("Result handler " + m_name + " does not serve result type " +
                               std::to_string(subscription.GetResultType().parentClassId.Value()) +
                               "/" +
                               std::to_string(subscription.GetResultType().resultClassId.Value()));
    }
    auto sub = std::make_unique<Subscription>();
    sub->assistant =
        typeIt->second.assistantGetter.empty() ? nullptr : typeIt->second.assistantGetter();
    if (!sub->assistant)
        throw COrxRunTimeError("Result handler " + m_name + " has no assistant for the type");
    if (!sub->assistant->GetLocator().ValidateSubscriptionRoots(subscription)) {
        throw COrxRunTimeError(
            "Result subscription refused: a root names no object whose results can be placed "
            "on ports");
    }
    subscription.SetId(CResultModule::Instance().NextSubscriptionId());
    const uint32_t id = subscription.GetId();
    sub->record = std::make_unique<CSubscriptionRecord>(std::move(subscription));
    sub->record->GetProperties() = ResultProperties(sub->record->GetSubscription());
    try {
        Build(*sub);
        AskPorts(*sub);
    } catch (...) {
        Withdraw(*sub);
        throw;
    }
    const ResultType type = sub->record->GetSubscription().GetResultType();
    SimpleResultHandlerAssistantTraits& traits = sub->Traits();
    m_subscriptions[id] = std::move(sub);
    traits.NotifyStartSubscription(type, id);
    return id;
}

void CPagedResultHandler::Unsubscribe(uint32_t id) {
    auto it = m_subscriptions.find(id);
    if (it == m_subscriptions.end())
        return;
    std::unique_ptr<Subscription> sub = std::move(it->second);
    m_subscriptions.erase(it);
    Withdraw(*sub);
    sub->Traits().NotifyEndSubscription(sub->record->GetSubscription().GetResultType(), id);
}

void CPagedResultHandler::UnsubscribeAll() {
    for (uint32_t id : GetSubscriptionIds())
        Unsubscribe(id);
}

void CPagedResultHandler::RefreshDirtySubscriptions() {
    std::vector<uint32_t> dirty;
    dirty.swap(m_dirty);
    std::set<uint32_t> done;
    for (uint32_t id : dirty) {
        if (!done.insert(id).second)
            continue;
        auto it = m_subscriptions.find(id);
        if (it == m_subscriptions.end())
            continue;
        Subscription& sub = *it->second;
        try {
            Build(sub);
            AskPorts(sub);
        } catch (const std::exception& e) {
            results::LogError(std::string("Rebuilding failed, tried again later: ") + e.what(),
                              __FILE__, __LINE__);
            m_dirty.push_back(id);
        }
    }
}

void CPagedResultHandler::WriteRows(Subscription& sub,
                                    std::vector<Stats_1_bll::commandResultFaster_s>& results) {
    SimpleResultHandlerAssistantTraits& traits = sub.Traits();
    if (sub.processors.size() < results.size())
        sub.processors.resize(results.size());
    std::vector<uint32_t> skipped;
    for (size_t i = 0; i < results.size(); ++i) {
        if (!sub.processors[i])
            sub.processors[i].reset(traits.GetIlProcessor(*sub.record, i));
        if (!sub.processors[i])
            continue;
        CIlResultGenericProcessor& processor = *sub.processors[i];
        processor.Process(results[i]);
        const auto& keys = processor.GetSkippedKeys();
        skipped.insert(skipped.end(), keys.begin(), keys.end());
    }
    if (!skipped.empty()) {
        // Rows of objects destroyed since the query was written: nothing to write them into.
        std::string text = SubscriptionText(sub.record->GetId()) + ": " +
                           std::to_string(skipped.size()) +
                           " row(s) name no result object and were skipped (keys";
        for (size_t i = 0; i < skipped.size() && i < 8; ++i) {
            text += ' ';
            text += std::to_string(skipped[i]);
        }
        text += skipped.size() > 8 ? " ...)" : ")";
        results::LogInfo(text, __FILE__, __LINE__);
    }
    traits.NotifySubscriptionPostProcess(*sub.record);
}

bool CPagedResultHandler::HandleNotification(CIlNotificationWrapper& notification) {
    auto byId = m_byNotificationId.find(notification.GetId());
    if (byId == m_byNotificationId.end())
        return false;
    auto it = m_subscriptions.find(byId->second);
    if (it == m_subscriptions.end())
        return false;
    auto* sql = dynamic_cast<CIlSqlResultNtfyMsgWrapper*>(&notification);
    if (!sql) {
        throw COrxRunTimeError(SubscriptionText(it->first) +
                               ": the notification does not carry SQL result rows");
    }
    WriteRows(*it->second, sql->GetResults());
    return true;
}

void CPagedResultHandler::Refresh(uint32_t id) {
    auto it = m_subscriptions.find(id);
    if (it == m_subscriptions.end())
        return;
    Subscription& sub = *it->second;
    SimpleResultHandlerAssistantTraits& traits = sub.Traits();
    for (const auto& [portKey, asked] : sub.asked) {
        Message request;
        traits.GetDoSqlCb()(&request, asked.commands, true);
        Message response;
        std::string error;
        if (!results::Ask(portKey, request, &response, error))
            throw COrxRunTimeError(SubscriptionText(id) + ": " + error);
        std::vector<Stats_1_bll::commandResultFaster_s> rows;
        try {
            Stats_1_bll::parse_resp_DoSQLFaster(&response, &rows);
        } catch (const std::exception& e) {
            throw COrxRunTimeError(SubscriptionText(id) + ": the answer of " +
                                   results::PortText(portKey) + " cannot be read: " + e.what());
        }
        WriteRows(sub, rows);
    }
}

void CPagedResultHandler::RefreshAll() {
    for (uint32_t id : GetSubscriptionIds())
        Refresh(id);
}

}  // namespace orx::core
