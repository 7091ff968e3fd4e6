#include "orx/core/Results.h"

#include "orx/framework/Exceptions.h"

namespace orx::core {

CPagedResultHandler::CPagedResultHandler(std::string name, bool paged)
    : m_name(std::move(name)), m_paged(paged) {}

bool CPagedResultHandler::AddResultType(const ResultType& type, const ResultTypeInfo& info) {
    return m_types.emplace(type, info).second;
}

void CPagedResultHandler::MarkSubscriptionDirty(uint32_t subscriptionId) {
    m_dirty.push_back(subscriptionId);
}

CResultModule& CResultModule::Instance() {
    static CResultModule instance;
    return instance;
}

void CResultModule::RegisterResultHandler(boost::shared_ptr<CPagedResultHandler> handler, bool) {
    if (!handler)
        throw orx::framework::COrxLogicError("RegisterResultHandler: no handler given");
    for (const auto& h : m_handlers) {
        if (h == handler)
            return;
    }
    m_handlers.push_back(std::move(handler));
}

CCoreIlResultsNotificationManager& CCoreIlResultsNotificationManager::Instance() {
    static CCoreIlResultsNotificationManager instance;
    return instance;
}

void CCoreIlResultsNotificationManager::RegisterParser(const std::string& requestName,
                                                       const NotificationParser& parser) {
    m_parsers[requestName] = parser;
}

NotificationParser CCoreIlResultsNotificationManager::FindParser(
    const std::string& requestName) const {
    auto it = m_parsers.find(requestName);
    return it == m_parsers.end() ? NotificationParser() : it->second;
}

CResultProviderRegistry& CResultProviderRegistry::Instance() {
    static CResultProviderRegistry instance;
    return instance;
}

void CResultProviderRegistry::RegisterResultProviderRegistration(const Registration& registration) {
    if (registration.empty())
        return;
    for (const Registration& r : m_registrations) {
        if (r == registration)
            return;
    }
    m_registrations.push_back(registration);
}

void CResultProviderRegistry::RunRegistrations() {
    if (m_ran)
        return;
    m_ran = true;
    for (const Registration& r : m_registrations)
        r();
}

void CResultProviderRegistry::RegisterResultSourceHandler(const std::string& sourceClass,
                                                          const std::string& rootClass,
                                                          const RsaPathRetriever& retriever) {
    m_sources.push_back(SourceHandler{sourceClass, rootClass, retriever});
}

void CResultProviderRegistry::RegisterResultProvider(const std::string& name,
                                                     const std::string& descriptionFile,
                                                     CResultProviderHandler* handler) {
    std::unique_ptr<CResultProviderHandler> owned(handler);
    if (m_providers.count(name)) {
        throw orx::framework::COrxLogicError("Result provider " + name + " is already registered");
    }
    m_providers[name] = Provider{descriptionFile, std::move(owned)};
}

}  // namespace orx::core
