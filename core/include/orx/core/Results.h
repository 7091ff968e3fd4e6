#pragma once

// The host's result machinery: result handlers serving subscriptions of their result types,
// the notification parsers that turn IL notifications into rows, the end-of-test results file,
// and the registry of result providers.

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <orx/core/ResultSubscription.h>
#include <orx/framework/FastDelegate.h>
#include <orx/framework/Types.h>

class Message;
namespace Stats_1_bll {
struct commandResultFaster_s;
}

namespace orx::core {

using orx::framework::ClassId;

class CSimpleResultHandlerAssistant;
using AssistantGetter = orx::framework::FastDelegate0<CSimpleResultHandlerAssistant*>;

// How the paged handler serves one result type.
struct ResultTypeInfo {
    AssistantGetter assistantGetter;
};

// What a notification parser makes of an IL notification.
class CIlNotificationWrapper {
  public:
    virtual ~CIlNotificationWrapper() = default;
    // The notification id the host gave the subscription when it asked the IL.
    virtual uint32_t GetId() const = 0;
};

// Serves subscriptions of its result types: makes one result object under each result parent,
// asks each port's IL for notifications of the plug-in's query and writes the notified rows
// into the result objects.
//
// Every call comes from the host's thread. Requests to ILs are sent through the RPC manager and
// waited for inside the call.
class CPagedResultHandler {
  public:
    CPagedResultHandler(std::string name, bool paged);
    ~CPagedResultHandler();
    CPagedResultHandler(const CPagedResultHandler&) = delete;
    CPagedResultHandler& operator=(const CPagedResultHandler&) = delete;

    const std::string& GetName() const { return m_name; }
    // False when the type is already served by this handler.
    bool AddResultType(const ResultType& type, const ResultTypeInfo& info);
    const std::map<ResultType, ResultTypeInfo>& GetResultTypes() const { return m_types; }
    // The assistant of a result type served here, or null.
    CSimpleResultHandlerAssistant* FindAssistant(const ResultType& type) const;

    // Starts a subscription and returns its id. Raises COrxRunTimeError, keeping no
    // subscription and withdrawing what it already asked of ILs, when the type is not served here,
    // a property is not one of the result class, the locator refuses the roots, or a port's IL
    // cannot be asked.
    uint32_t Subscribe(ResultSubscription subscription);
    // Ends a subscription: each port's IL is told to stop notifying. The result objects stay
    // with their last values. An unknown id does nothing.
    void Unsubscribe(uint32_t id);
    // Ends every subscription.
    void UnsubscribeAll();
    const CSubscriptionRecord* FindSubscription(uint32_t id) const;
    // The ports a subscription asked, with the notification id each was given (port key to id).
    std::map<uint32_t, uint32_t> GetNotificationIds(uint32_t id) const;
    std::vector<uint32_t> GetSubscriptionIds() const;

    // Makes the subscription rebuild at the next RefreshDirtySubscriptions.
    void MarkSubscriptionDirty(uint32_t subscriptionId);
    // Ids marked since the last rebuild, in marking order (an id may appear more than once).
    const std::vector<uint32_t>& GetDirtySubscriptions() const { return m_dirty; }
    void ClearDirtySubscriptions() { m_dirty.clear(); }
    // Rebuilds each dirty subscription: result objects for parents that appeared, each port's
    // query written again; a port whose query changed is asked again (and then notifies every
    // row once), a port left with nothing is told to stop. Failures are logged on
    // "framework.results" and leave the subscription dirty, to be tried again.
    void RefreshDirtySubscriptions();

    // Asks every port of the subscription once for all its rows (changed or not) and writes
    // them, so the result objects hold the IL's values of this moment. Raises COrxRunTimeError
    // naming the port when an IL cannot be asked.
    void Refresh(uint32_t id);
    void RefreshAll();

    // Writes a notification's rows into the result objects; false when no subscription of this
    // handler has its notification id.
    bool HandleNotification(CIlNotificationWrapper& notification);

    // End of test: saves the counters of the end-of-test ports of each result type into the
    // SQLite database `db` (see CResultModule::SaveEndOfTest). Returns the rows written.
    size_t SaveEndOfTest(struct sqlite3* db);

    struct Subscription;

  private:
    void Build(Subscription& sub);
    void AskPorts(Subscription& sub);
    void Withdraw(Subscription& sub);
    void WriteRows(Subscription& sub, std::vector<Stats_1_bll::commandResultFaster_s>& results);

    std::string m_name;
    bool m_paged;
    std::map<ResultType, ResultTypeInfo> m_types;
    std::map<uint32_t, std::unique_ptr<Subscription>> m_subscriptions;
    std::map<uint32_t, uint32_t> m_byNotificationId;  // notification id -> subscription id
    std::vector<uint32_t> m_dirty;
};

using NotificationParser = orx::framework::FastDelegate1<Message&, CIlNotificationWrapper*>;

// The host's result handlers, and the end of a test.
class CResultModule {
  public:
    static CResultModule& Instance();
    void RegisterResultHandler(boost::shared_ptr<CPagedResultHandler> handler, bool owned);
    const std::vector<boost::shared_ptr<CPagedResultHandler>>& GetHandlers() const {
        return m_handlers;
    }
    // The handler serving a result type, or null.
    CPagedResultHandler* FindHandler(const ResultType& type) const;

    // Ids unique in the process: subscriptions, and notification ids given to ILs.
    uint32_t NextSubscriptionId() { return m_nextSubscription++; }
    uint32_t NextNotificationId() { return m_nextNotification++; }

    // Rebuilds every handler's dirty subscriptions (after an apply).
    void RefreshDirtySubscriptions();
    // Ends every handler's subscriptions (a project reset); failures are logged.
    void EndAllSubscriptions();

    // Where the end-of-test results go when the test stops (the host's stop command with no
    // selection); empty: nowhere.
    void SetEndOfTestFile(std::string path) { m_eotFile = std::move(path); }
    // Writes the end-of-test file: a new SQLite database at `path` (an existing file there is
    // replaced only once the new one is complete), one table per result type's traits. Raises
    // COrxRunTimeError naming the file, port or table when it cannot. Returns the rows written.
    size_t SaveEndOfTest(const std::string& path);
    // The host's stop command calls this: saves to the end-of-test file if one is set.
    void OnTestStopped();

  private:
    std::vector<boost::shared_ptr<CPagedResultHandler>> m_handlers;
    uint32_t m_nextSubscription = 1;
    uint32_t m_nextNotification = 1;
    std::string m_eotFile;
};

// Parsers of IL notifications, by request name, and their delivery to the result handlers.
class CCoreIlResultsNotificationManager {
  public:
    static CCoreIlResultsNotificationManager& Instance();
    void RegisterParser(const std::string& requestName, const NotificationParser& parser);
    // The parser for a request name, or an empty delegate.
    NotificationParser FindParser(const std::string& requestName) const;

    // Reads a notification with the parser of its request name and hands it to the handler
    // whose subscription it belongs to. False, with a log line on "framework.results", when
    // no parser, no subscription or the notification cannot be read; never raises.
    bool Dispatch(Message& message);
    // Makes the RPC manager hand arriving notifications to Dispatch.
    void AttachToRpcManager();

  private:
    std::map<std::string, NotificationParser> m_parsers;
};

class CPort;

// Describes one result provider: the IL message set its results come from and the ports it
// applies to. The host builds the providers' IL queries itself.
class CResultProviderHandler {
  public:
    virtual ~CResultProviderHandler() = default;
    // The ports among `candidates` whose results the provider gives.
    virtual void GetResultPorts(const std::vector<CPort*>& candidates, std::vector<CPort*>& out);
    // The query for the provider's rows of `handles`: `keyColumn` then `columns`.
    virtual std::string GetIlSqlQuery(const std::string& table, const std::string& keyColumn,
                                      const std::vector<std::string>& columns,
                                      const std::vector<uint32_t>& handles) const;
    virtual bool IsNtfyDiscardable() const { return false; }
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
    const SourceHandler* FindSourceHandler(const std::string& sourceClass) const;

  private:
    std::vector<Registration> m_registrations;
    std::vector<SourceHandler> m_sources;
    std::map<std::string, Provider> m_providers;
    bool m_ran = false;
};

}  // namespace orx::core
