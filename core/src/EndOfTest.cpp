// The end-of-test results file: the counters of each result type's end-of-test ports, asked of
// their ILs once and saved into an SQLite database, one table per result type's traits.

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include <unistd.h>

#include <orx/core/HostClasses.h>
#include <orx/core/ResultAssistant.h>
#include <orx/core/Results.h>
#include <orx/framework/Exceptions.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Result.h>
#include <orx/msglib/Message.h>
#include "ResultRequests.h"

namespace orx::core {

using namespace orx::framework;

namespace {

// Names come from data-model files and plug-ins; quoted so that any of them is a valid
// identifier.
std::string Quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

class Database {
  public:
    explicit Database(sqlite3* db) : m_db(db) {}

    void Exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            std::string text = message ? message : sqlite3_errmsg(m_db);
            sqlite3_free(message);
            throw COrxRunTimeError("End-of-test results: " + text + " (" + sql + ")");
        }
    }

    sqlite3_stmt* Prepare(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            throw COrxRunTimeError("End-of-test results: " + std::string(sqlite3_errmsg(m_db)) +
                                   " (" + sql + ")");
        }
        return stmt;
    }

    sqlite3* Get() const { return m_db; }

  private:
    sqlite3* m_db;
};

struct StatementGuard {
    sqlite3_stmt* stmt;
    ~StatementGuard() { sqlite3_finalize(stmt); }
};

// The end-of-test columns of one result class: the properties read from the IL.
std::vector<const CMetaProperty*> EotProperties(ClassId resultClass) {
    std::vector<const CMetaProperty*> out;
    if (const CMetaClass* meta = CMetaClassManager::Instance().GetClass(resultClass)) {
        for (const CMetaProperty* p : ResultClassProperties(*meta)) {
            if (IsIlResultProperty(*p))
                out.push_back(p);
        }
    }
    return out;
}

// Binds one compact column value; false when the row lacks it.
bool BindColumn(sqlite3_stmt* stmt, int index, const Stats_1_bll::rowFaster_s& row,
                const Stats_1_bll::columnDesc_s& column) {
    using Stats_1_bll::columnVal_t;
    const uint32_t i = column.valIndex;
    switch (column.valType) {
        case columnVal_t::STRING:
        case columnVal_t::DOUBLE:
            if (i >= row.stringValues.size())
                return false;
            sqlite3_bind_text(stmt, index, row.stringValues[i].c_str(),
                              static_cast<int>(row.stringValues[i].size()), SQLITE_TRANSIENT);
            return true;
        case columnVal_t::BINARY:
            if (i >= row.binaryValues.size())
                return false;
            sqlite3_bind_blob(stmt, index, row.binaryValues[i].data(),
                              static_cast<int>(row.binaryValues[i].size()), SQLITE_TRANSIENT);
            return true;
        case columnVal_t::NULL_VALUE:
            sqlite3_bind_null(stmt, index);
            return true;
        default:
            if (i >= row.int64Values.size())
                return false;
            sqlite3_bind_int64(stmt, index, row.int64Values[i]);
            return true;
    }
}

}  // namespace

size_t CPagedResultHandler::SaveEndOfTest(sqlite3* raw) {
    Database db(raw);
    size_t written = 0;
    std::set<CSimpleResultHandlerAssistant*> done;
    for (const auto& [type, info] : m_types) {
        (void)type;
        CSimpleResultHandlerAssistant* assistant =
            info.assistantGetter.empty() ? nullptr : info.assistantGetter();
        // Result types that share an assistant share its table.
        if (!assistant || !done.insert(assistant).second)
            continue;
        SimpleResultHandlerAssistantTraits& traits = assistant->GetTraits();
        CResultLocatorForAssistant& locator = assistant->GetLocator();
        const std::string table = traits.GetBllEotTblName();
        const std::string parentColumn = traits.GetCustomParentColumnSource();
        const std::string uniqueColumn = traits.GetEotIlUniqueColumnName();
        const bool savePort = traits.GetEoTSavePortHandleFlag();
        const bool ignoreDuplicates = traits.IgnoreDuplicateResultsDuringEotSave();
        const std::vector<const CMetaProperty*> props =
            EotProperties(traits.GetResultType().resultClassId);
        if (table.empty() || parentColumn.empty()) {
            throw COrxRunTimeError("End-of-test results of " + traits.GetIlTblName() +
                                   ": the plug-in names no table or parent column");
        }

        // ParentHandle [, PortHandle] [, unique column], one column per IL property.
        std::string create =
            "CREATE TABLE IF NOT EXISTS " + Quoted(table) + " (ParentHandle INTEGER NOT NULL";
        std::string select = "SELECT " + parentColumn;
        std::string insert = std::string(ignoreDuplicates ? "INSERT OR IGNORE" : "INSERT") +
                             " INTO " + Quoted(table) + " (ParentHandle";
        std::string values = "?";
        if (savePort) {
            create += ", PortHandle INTEGER";
            insert += ", PortHandle";
            values += ", ?";
        }
        if (!uniqueColumn.empty()) {
            create += ", " + Quoted(uniqueColumn);
            insert += ", " + Quoted(uniqueColumn);
            values += ", ?";
            select += ", " + uniqueColumn;
        }
        for (const CMetaProperty* p : props) {
            const bool integer =
                p->GetType() != PropertyType::String && p->GetType() != PropertyType::Double;
            create += ", " + Quoted(p->GetName()) + (integer ? " INTEGER" : "");
            insert += ", " + Quoted(p->GetName());
            values += ", ?";
            select += ", " + IlColumnName(*p);
        }
        if (ignoreDuplicates)
            create +=
                ", UNIQUE (" + (uniqueColumn.empty() ? "ParentHandle" : Quoted(uniqueColumn)) + ")";
        create += ")";
        select += " FROM " + traits.GetIlTblName();
        if (!traits.GetEotWhereClause().empty())
            select += " WHERE " + traits.GetEotWhereClause();
        db.Exec(create);
        StatementGuard stmt{db.Prepare(insert + ") VALUES (" + values + ")")};

        EotPortSet portSet;
        traits.GetEotPortSet(portSet);
        std::vector<CPort*> ports(portSet.begin(), portSet.end());
        std::sort(ports.begin(), ports.end(), [](const CPort* a, const CPort* b) {
            return a->GetObjectHandle() < b->GetObjectHandle();
        });
        std::set<Handle> eotPorts;
        for (CPort* p : ports)
            eotPorts.insert(p->GetObjectHandle());

        ScriptableVec where;
        for (CPort* port : ports) {
            const uint32_t portKey = port->GetObjectHandle();
            Message request;
            traits.GetDoSqlCb()(&request, std::vector<std::string>{select}, true);
            Message response;
            std::string error;
            if (!results::Ask(portKey, request, &response, error))
                throw COrxRunTimeError("End-of-test results: " + error);
            std::vector<Stats_1_bll::commandResultFaster_s> rows;
            try {
                Stats_1_bll::parse_resp_DoSQLFaster(&response, &rows);
            } catch (const std::exception& e) {
                throw COrxRunTimeError("End-of-test results: the answer of " +
                                       results::PortText(portKey) + " cannot be read: " + e.what());
            }
            if (rows.empty())
                continue;
            const auto& result = rows.front();
            const size_t columns = 1 + (uniqueColumn.empty() ? 0 : 1) + props.size();
            if (!result.rows.empty() && result.columnOrder.size() != columns) {
                throw COrxRunTimeError("End-of-test results: " + results::PortText(portKey) +
                                       " answered " + std::to_string(result.columnOrder.size()) +
                                       " columns for " + std::to_string(columns));
            }
            for (const auto& row : result.rows) {
                const auto& key = result.columnOrder.front();
                if (key.valIndex >= row.int64Values.size())
                    throw COrxRunTimeError("End-of-test results: a row without its parent");
                const auto parent = static_cast<Handle>(row.int64Values[key.valIndex]);
                // An IL serving several ports answers with all of them: each row goes with the
                // port its parent sits on, when that is known.
                Handle rowPort = portKey;
                if (CScriptable* object = CHandleRegistry::Instance().Find(parent)) {
                    where.clear();
                    locator.GetPortsForObj(object, where);
                    if (!where.empty())
                        rowPort = where.front()->GetObjectHandle();
                }
                if (!eotPorts.count(rowPort))
                    continue;
                sqlite3_reset(stmt.stmt);
                sqlite3_clear_bindings(stmt.stmt);
                int bind = 1;
                sqlite3_bind_int64(stmt.stmt, bind++, parent);
                if (savePort)
                    sqlite3_bind_int64(stmt.stmt, bind++, rowPort);
                for (size_t c = 1; c < result.columnOrder.size(); ++c) {
                    if (!BindColumn(stmt.stmt, bind++, row, result.columnOrder[c]))
                        throw COrxRunTimeError("End-of-test results: a row lacks a value");
                }
                const int rc = sqlite3_step(stmt.stmt);
                if (rc != SQLITE_DONE) {
                    throw COrxRunTimeError("End-of-test results: " +
                                           std::string(sqlite3_errmsg(db.Get())));
                }
                written += static_cast<size_t>(sqlite3_changes(db.Get()));
            }
        }
    }
    return written;
}

size_t CResultModule::SaveEndOfTest(const std::string& path) {
    namespace fs = std::filesystem;
    // Written beside the target and moved over it once complete: a failed save leaves what
    // was there before.
    // Named after this process, so that no other writer's file is touched.
    const std::string temp = path + ".partial-" + std::to_string(::getpid());
    std::error_code ec;
    fs::remove(temp, ec);
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(temp.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        std::string why = raw ? sqlite3_errmsg(raw) : "out of memory";
        sqlite3_close(raw);
        throw COrxRunTimeError("Cannot write the end-of-test results file " + path + ": " + why);
    }
    size_t written = 0;
    try {
        Database db(raw);
        db.Exec("BEGIN");
        for (const auto& h : m_handlers)
            written += h->SaveEndOfTest(raw);
        db.Exec("COMMIT");
    } catch (...) {
        sqlite3_close(raw);
        fs::remove(temp, ec);
        throw;
    }
    if (sqlite3_close(raw) != SQLITE_OK) {
        fs::remove(temp, ec);
        throw COrxRunTimeError("Cannot complete the end-of-test results file " + path);
    }
    fs::rename(temp, path, ec);
    if (ec) {
        const std::string why = ec.message();  // before the clean-up reuses the error code
        fs::remove(temp, ec);
        throw COrxRunTimeError("Cannot write the end-of-test results file " + path + ": " + why);
    }
    return written;
}

}  // namespace orx::core
