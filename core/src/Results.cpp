#include <orx/core/Results.h>

#include <string>

#include <orx/framework/Exceptions.h>

namespace orx::core {

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
    // From the first handler on, notifications of ILs reach the result objects.
    if (m_handlers.size() == 1)
        CCoreIlResultsNotificationManager::Instance().AttachToRpcManager();
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

void CResultProviderHandler::GetResultPorts(const std::vector<CPort*>& candidates,
                                            std::vector<CPort*>& out) {
    for (CPort* port : candidates) {
        if (port && IsPortApplicable(*port))
            out.push_back(port);
    }
}

std::string CResultProviderHandler::GetIlSqlQuery(const std::string& table,
                                                  const std::string& keyColumn,
                                                  const std::vector<std::string>& columns,
                                                  const std::vector<uint32_t>& handles) const {
    std::string sql = "SELECT " + keyColumn;
    for (const std::string& c : columns)
        sql += ", " + c;
    sql += " FROM " + table + " WHERE " + keyColumn + " IN (";
    for (size_t i = 0; i < handles.size(); ++i) {
        if (i)
            sql += ',';
        sql += std::to_string(handles[i]);
    }
    sql += ')';
    return sql;
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

const CResultProviderRegistry::SourceHandler* CResultProviderRegistry::FindSourceHandler(
    const std::string& sourceClass) const {
    for (const SourceHandler& h : m_sources) {
        if (h.sourceClass == sourceClass)
            return &h;
    }
    return nullptr;
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
