#pragma once

#include <string>

#include <orx/core/ResultQuery.h>

namespace orx::responder {

// Writes, per port, the SQL that the IL runs over its frame-response table to notify the
// counters of a subscription's configurations.
class CResponderResultQueryInterface : public orx::core::CIlResultQueryInterface {
  public:
    explicit CResponderResultQueryInterface(std::string tableName)
        : m_tableName(std::move(tableName)) {}
    ~CResponderResultQueryInterface() override = default;

    // One query per port that has result parents; false only when the record has no properties.
    bool BuildIlQuery(const orx::core::CSubscriptionRecord& record,
                      orx::core::ResultQueryMap& queries) override;
    std::string GetAdditionalWhereClause(const orx::core::CSubscriptionRecord& record) override;

  private:
    std::string m_tableName;
};

}  // namespace orx::responder
