#include "ResponderResultQueryInterface.h"

#include <memory>

#include <orx/framework/Logger.h>
#include "ResponderCommon.h"

namespace orx::responder {

using namespace orx::framework;
using namespace orx::core;

namespace {

void Debug(const std::string& text, const char* file, int line) {
    if (BLLLogger* log = DevLogger(); log && log->IsEnabledFor(LOG_DEBUG))
        log->Debug(text, file, line);
}

}  // namespace

bool CResponderResultQueryInterface::BuildIlQuery(const CSubscriptionRecord& record,
                                                  ResultQueryMap& queries) {
    static const std::string kChangedSinceLastNotification =
        "StatsLastModified > %LastNotificationTime%";

    if (record.GetProperties().empty()) {
        Debug("BuildIlQuery: Empty prop vec. Nothing to do...", __FILE__, __LINE__);
        return false;
    }
    if (record.GetPortResultsMap().empty()) {
        Debug("BuildIlQuery: No ports in result map.", __FILE__, __LINE__);
        return true;
    }

    std::string columns;
    for (const CMetaProperty* property : record.GetProperties()) {
        // Properties the host fills itself have no IL column.
        if (!IsIlResultProperty(*property))
            continue;
        columns += ", " + IlColumnName(*property);
    }
    columns += " FROM " + m_tableName + " ";

    for (const auto& [portKey, info] : record.GetPortResultsMap()) {
        const auto& parents = info.GetParentMap();
        if (parents.empty())
            continue;

        std::shared_ptr<CIlResultQuery>& slot = queries[portKey];
        auto query = std::dynamic_pointer_cast<CIlSqlQuery>(slot);
        if (!query) {
            query = std::make_shared<CIlSqlQuery>();
            slot = query;
        }

        std::string selection = "PrimaryHandle IN (";
        bool first = true;
        for (const auto& [handle, data] : parents) {
            (void)data;
            if (!first)
                selection += ",";
            selection += std::to_string(handle);
            first = false;
        }
        selection += ") GROUP BY PrimaryHandle ";

        std::string text = "SELECT PrimaryHandle" + columns + "WHERE (" +
                           kChangedSinceLastNotification + ") " + "AND " + selection;
        Debug(text, __FILE__, __LINE__);
        query->SetCommands({std::move(text)});
    }

    Debug("BuildIlQuery: end.", __FILE__, __LINE__);
    return true;
}

std::string CResponderResultQueryInterface::GetAdditionalWhereClause(const CSubscriptionRecord&) {
    return std::string();
}

}  // namespace orx::responder
