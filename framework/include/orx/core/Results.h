#pragma once

// Registration points of the host's result machinery: result handlers and their result types,
// IL notification parsers, and result providers.

#include <boost/shared_ptr.hpp>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "orx/framework/FastDelegate.h"
#include "orx/framework/Types.h"

class Message;

namespace orx::core {

using orx::framework::ClassId;

// A result class under a parent class (the objects the results belong to).
struct ResultType {
    ClassId parentClassId;
    ClassId resultClassId;
    ResultType() = default;
    ResultType(ClassId parent, ClassId result) : parentClassId(parent), resultClassId(result) {}
    friend bool operator<(const ResultType& a, const ResultType& b) {
        return std::pair<uint32_t, uint32_t>(a.parentClassId, a.resultClassId) <
               std::pair<uint32_t, uint32_t>(b.parentClassId, b.resultClassId);
    }
    friend bool operator==(const ResultType& a, const ResultType& b) {
        return a.parentClassId == b.parentClassId && a.resultClassId == b.resultClassId;
    }
};

class CSimpleResultHandlerAssistant;
using AssistantGetter = orx::framework::FastDelegate0<CSimpleResultHandlerAssistant*>;

// How the paged handler serves one result type.
struct ResultTypeInfo {
    AssistantGetter assistantGetter;
};

// Serves subscriptions of its result types, a page of result objects at a time.
class CPagedResultHandler {
  public:
    CPagedResultHandler(std::string name, bool paged);

    const std::string& GetName() const { return m_name; }
    // False when the type is already served by this handler.
    bool AddResultType(const ResultType& type, const ResultTypeInfo& info);
    const std::map<ResultType, ResultTypeInfo>& GetResultTypes() const { return m_types; }
    // Makes the subscription refresh its results at the next opportunity.
    void MarkSubscriptionDirty(uint32_t subscriptionId);
    const std::vector<uint32_t>& GetDirtySubscriptions() const { return m_dirty; }
    void ClearDirtySubscriptions() { m_dirty.clear(); }

  private:
    std::string m_name;
    bool m_paged;
    std::map<ResultType, ResultTypeInfo> m_types;
    std::vector<uint32_t> m_dirty;
};

class CResultModule {
  public:
    static CResultModule& Instance();
    void RegisterResultHandler(boost::shared_ptr<CPagedResultHandler> handler, bool owned);
    const std::vector<boost::shared_ptr<CPagedResultHandler>>& GetHandlers() const {
        return m_handlers;
    }

  private:
    std::vector<boost::shared_ptr<CPagedResultHandler>> m_handlers;
};

// What a notification parser makes of an IL notification.
class CIlNotificationWrapper {
  public:
    virtual ~CIlNotificationWrapper() = default;
};

using NotificationParser = orx::framework::FastDelegate1<Message&, CIlNotificationWrapper*>;

// Parsers of IL notifications, by request name.
class CCoreIlResultsNotificationManager {
  public:
    static CCoreIlResultsNotificationManager& Instance();
    void RegisterParser(const std::string& requestName, const NotificationParser& parser);
    // The parser for a request name, or an empty delegate.
    NotificationParser FindParser(const std::string& requestName) const;

  private:
    std::map<std::string, NotificationParser> m_parsers;
};

class CPort;

// Describes one result provider: the IL message set its results come from and the ports it
// applies to. The host builds the providers' IL queries itself.
class CResultProviderHandler {
  public:
    virtual ~CResultProviderHandler() = default;
    virtual std::string GetMsgSetName() const = 0;
    virtual bool IsPortApplicable(CPort& port) {
        (void)port;
        return true;
    }
};

using RsaPathStep = std::pair<orx::framework::RelationType, ClassId>;
using RsaPathRetriever = orx::framework::FastDelegate2<ClassId, std::vector<RsaPathStep>&, bool>;

// Result providers: registered by functions that plug-ins hand over at load and the host calls
// when it sets up its result views.
class CResultProviderRegistry {
  public:
    using Registration = orx::framework::FastDelegate0<void>;

    static CResultProviderRegistry& Instance();

    void RegisterResultProviderRegistration(const Registration& registration);
    const std::vector<Registration>& GetRegistrations() const { return m_registrations; }
    // Calls every registration function once, in order.
    void RunRegistrations();

    void RegisterResultSourceHandler(const std::string& sourceClass, const std::string& rootClass,
                                     const RsaPathRetriever& retriever);
    void RegisterResultProvider(const std::string& name, const std::string& descriptionFile,
                                CResultProviderHandler* handler);

    struct SourceHandler {
        std::string sourceClass;
        std::string rootClass;
        RsaPathRetriever retriever;
    };
    struct Provider {
        std::string descriptionFile;
        std::unique_ptr<CResultProviderHandler> handler;
    };
    const std::vector<SourceHandler>& GetSourceHandlers() const { return m_sources; }
    const std::map<std::string, Provider>& GetProviders() const { return m_providers; }

  private:
    std::vector<Registration> m_registrations;
    std::vector<SourceHandler> m_sources;
    std::map<std::string, Provider> m_providers;
    bool m_ran = false;
};

}  // namespace orx::core
