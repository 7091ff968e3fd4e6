#pragma once

// The queries a subscription asks each port's IL to run, and the interface that writes them.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <orx/core/ResultSubscription.h>

namespace orx::core {

// A query for one port's IL.
class CIlResultQuery {
  public:
    virtual ~CIlResultQuery() = default;
    // The text that identifies the query (two queries with the same text ask the same).
    virtual std::string Describe() const = 0;
};

// SQL commands run by the IL over its result table; the IL replaces "%LastNotificationTime%"
// by the time of the subscription's previous notification.
class CIlSqlQuery : public CIlResultQuery {
  public:
    const std::vector<std::string>& GetCommands() const { return m_commands; }
    void SetCommands(std::vector<std::string> commands) { m_commands = std::move(commands); }
    std::string Describe() const override;

  private:
    std::vector<std::string> m_commands;
};

// Port key to that port's query.
using ResultQueryMap = std::map<uint32_t, std::shared_ptr<CIlResultQuery>>;

// How many result objects a subscription has on each port.
struct SubscriptionItemCounter {
    std::map<uint32_t, uint32_t> perPort;
    uint32_t total = 0;
};

// Writes the IL queries of a subscription, one per port.
class CIlResultQueryInterface {
  public:
    virtual ~CIlResultQueryInterface() = default;
    // Fills `queries` for the ports of the record; false when there is nothing to ask for.
    virtual bool BuildIlQuery(const CSubscriptionRecord& record, ResultQueryMap& queries) = 0;
    // Counts the record's result objects per port (the caller owns the counter).
    virtual SubscriptionItemCounter* MakeSubscriptionItemCounter(const CSubscriptionRecord& record);
    virtual void ReleaseSubscriptionItemCounter(SubscriptionItemCounter* counter);
    // Added to the selection of each port's query; empty for none.
    virtual std::string GetAdditionalWhereClause(const CSubscriptionRecord& record) = 0;
};

}  // namespace orx::core
