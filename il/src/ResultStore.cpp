#include "ResultStore.h"

#include <sqlite3.h>

#include <cctype>

namespace orx::il {

struct ResultStore::Statements {
    sqlite3_stmt* write = nullptr;
    sqlite3_stmt* remove = nullptr;
    sqlite3_stmt* writeLink = nullptr;
    sqlite3_stmt* removeLink = nullptr;
};

// What the authorizer and the progress handler see while the host's SQL is prepared and run;
// the IL's own statements pass while `active` is false.
struct ResultStore::Guard {
    bool active = false;
    std::chrono::steady_clock::time_point deadline;
    bool timedOut = false;
    // Of the statement being prepared:
    bool select = false;
    std::string refused;          // the first action refused outright
    std::string internalRefused;  // the first touch of SQLite's own tables (a DDL's bookkeeping)

    void NextStatement() {
        select = false;
        refused.clear();
        internalRefused.clear();
    }
};

namespace {

constexpr const char* kOnlyReads =
    " is not allowed (the IL runs only reads of ResponderProfileResults and "
    "LiveInterfaceResults)";
// Instructions between two looks at the clock.
constexpr int kProgressSteps = 1000;

bool Same(const char* a, const char* b) {
    return a && b && sqlite3_stricmp(a, b) == 0;
}

// SQLite's own tables (the schema, ANALYZE's statistics): a name users cannot give.
bool IsInternalTable(const char* name) {
    return name && sqlite3_strnicmp(name, "sqlite_", 7) == 0;
}

std::string Str(const char* text) {
    return text ? text : "";
}

// The refused action in the words of SQL.
std::string DescribeAction(int action, const char* a1, const char* a2) {
    const std::string name = Str(a1);
    switch (action) {
        case SQLITE_ATTACH:
            return "ATTACH of \"" + name + "\"";
        case SQLITE_DETACH:
            return "DETACH of " + name;
        case SQLITE_PRAGMA:
            return "PRAGMA " + name;
        case SQLITE_INSERT:
            return "INSERT into " + name;
        case SQLITE_UPDATE:
            return "UPDATE of " + name;
        case SQLITE_DELETE:
            return "DELETE from " + name;
        case SQLITE_READ:
            return "reading " + name;
        case SQLITE_FUNCTION:
            return "the function " + Str(a2);
        case SQLITE_CREATE_INDEX:
            return "CREATE INDEX " + name;
        case SQLITE_CREATE_TABLE:
            return "CREATE TABLE " + name;
        case SQLITE_CREATE_TEMP_INDEX:
            return "CREATE TEMP INDEX " + name;
        case SQLITE_CREATE_TEMP_TABLE:
            return "CREATE TEMP TABLE " + name;
        case SQLITE_CREATE_TEMP_TRIGGER:
            return "CREATE TEMP TRIGGER " + name;
        case SQLITE_CREATE_TEMP_VIEW:
            return "CREATE TEMP VIEW " + name;
        case SQLITE_CREATE_TRIGGER:
            return "CREATE TRIGGER " + name;
        case SQLITE_CREATE_VIEW:
            return "CREATE VIEW " + name;
        case SQLITE_CREATE_VTABLE:
            return "CREATE VIRTUAL TABLE " + name;
        case SQLITE_DROP_INDEX:
        case SQLITE_DROP_TEMP_INDEX:
            return "DROP INDEX " + name;
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_TEMP_TABLE:
            return "DROP TABLE " + name;
        case SQLITE_DROP_TRIGGER:
        case SQLITE_DROP_TEMP_TRIGGER:
            return "DROP TRIGGER " + name;
        case SQLITE_DROP_VIEW:
        case SQLITE_DROP_TEMP_VIEW:
            return "DROP VIEW " + name;
        case SQLITE_DROP_VTABLE:
            return "DROP VIRTUAL TABLE " + name;
        case SQLITE_ALTER_TABLE:
            return "ALTER TABLE " + Str(a2);
        case SQLITE_TRANSACTION:
            return name + " (a transaction)";
        case SQLITE_SAVEPOINT:
            return "SAVEPOINT " + Str(a2);
        case SQLITE_ANALYZE:
            return "ANALYZE";
        case SQLITE_REINDEX:
            return "REINDEX";
        default:
            return "this statement (authorizer action " + std::to_string(action) + ")";
    }
}

// Lets the host's SQL read the result table and nothing else. A DDL statement first touches
// SQLite's own tables: that is only noted, so that the refusal names the statement itself.
// Nothing that was noted or denied is ever stepped.
int Authorize(void* data, int action, const char* a1, const char* a2, const char* db, const char*) {
    auto& guard = *static_cast<ResultStore::Guard*>(data);
    if (!guard.active)
        return SQLITE_OK;
    switch (action) {
        case SQLITE_SELECT:
            guard.select = true;
            return SQLITE_OK;
        case SQLITE_RECURSIVE:  // a recursive common table expression: bounded in time
            return SQLITE_OK;
        case SQLITE_READ:
            if ((Same(a1, ResultStore::kTable) || Same(a1, ResultStore::kLinkTable)) &&
                (db == nullptr || Same(db, "main")))
                return SQLITE_OK;
            // No column read: a common table expression named in FROM, whose own reads are
            // authorized one by one.
            if (a2 && *a2 == '\0' && !IsInternalTable(a1))
                return SQLITE_OK;
            break;
        case SQLITE_FUNCTION:
            if (a2 && !Same(a2, "load_extension"))
                return SQLITE_OK;
            break;
        default:
            break;
    }
    const bool tableAction = action == SQLITE_INSERT || action == SQLITE_UPDATE ||
                             action == SQLITE_DELETE || action == SQLITE_READ ||
                             action == SQLITE_CREATE_TABLE;
    if (tableAction && IsInternalTable(a1)) {
        // Let the prepare go on to the statement's own action (it stops at any answer but
        // OK); the statement is refused all the same before it runs.
        if (guard.internalRefused.empty())
            guard.internalRefused = DescribeAction(action, a1, a2);
        return SQLITE_OK;
    }
    if (guard.refused.empty())
        guard.refused = DescribeAction(action, a1, a2);
    return SQLITE_DENY;
}

int Progress(void* data) {
    auto& guard = *static_cast<ResultStore::Guard*>(data);
    if (guard.active && std::chrono::steady_clock::now() >= guard.deadline) {
        guard.timedOut = true;
        return 1;  // interrupts the statement
    }
    return 0;
}

// The statement's leading keyword, to name a statement that asked the authorizer nothing.
std::string Keyword(const char* sql) {
    std::string word;
    const char* p = sql ? sql : "";
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    while (std::isalpha(static_cast<unsigned char>(*p)))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(*p++)));
    return word.empty() ? "this statement" : word;
}

// The SQL as quoted in fault texts: long texts (handle lists) are cut.
std::string Quoted(const std::string& sql) {
    constexpr size_t kShown = 200;
    if (sql.size() <= kShown)
        return "SQL \"" + sql + "\"";
    return "SQL \"" + sql.substr(0, kShown) + "...\" (" + std::to_string(sql.size()) + " bytes)";
}

// Marks the host's SQL as running for the guard; the IL's own statements pass again after.
struct Active {
    ResultStore::Guard& guard;
    Active(ResultStore::Guard& g, std::chrono::steady_clock::time_point deadline) : guard(g) {
        guard.active = true;
        guard.deadline = deadline;
        guard.timedOut = false;
    }
    ~Active() { guard.active = false; }
};

struct Finalizer {
    sqlite3_stmt* stmt;
    ~Finalizer() { sqlite3_finalize(stmt); }
};

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        throw SqlError(std::string("cannot prepare \"") + sql + "\": " + sqlite3_errmsg(db));
    }
    return stmt;
}

SqlValue::Kind DeclaredKind(const char* type) {
    if (type == nullptr)
        return SqlValue::Null;
    std::string t = type;
    for (auto& c : t)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (t.find("INT") != std::string::npos)
        return SqlValue::Integer;
    if (t.find("CHAR") != std::string::npos || t.find("TEXT") != std::string::npos)
        return SqlValue::Text;
    if (t.find("BLOB") != std::string::npos)
        return SqlValue::Blob;
    if (t.find("REAL") != std::string::npos || t.find("DOUB") != std::string::npos)
        return SqlValue::Real;
    return SqlValue::Null;
}

}  // namespace

ResultStore::ResultStore() : m_stmts(new Statements), m_guard(std::make_unique<Guard>()) {
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        std::string why = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        delete m_stmts;
        throw SqlError("cannot open the result database: " + why);
    }
    try {
        Exec(
            "CREATE TABLE ResponderProfileResults ("
            "PrimaryHandle INTEGER PRIMARY KEY, SecondaryHandle INTEGER NOT NULL, "
            "MatchedRxFrameCount INTEGER NOT NULL, TxFrameCount INTEGER NOT NULL, "
            "RxFrameRate INTEGER NOT NULL, StatsLastModified INTEGER NOT NULL)");
        m_stmts->write = Prepare(m_db,
                                 "INSERT OR REPLACE INTO ResponderProfileResults VALUES "
                                 "(?1, ?2, ?3, ?4, ?5, ?6)");
        m_stmts->remove =
            Prepare(m_db, "DELETE FROM ResponderProfileResults WHERE PrimaryHandle = ?1");
        Exec(
            "CREATE TABLE LiveInterfaceResults ("
            "Port INTEGER PRIMARY KEY, Interface TEXT NOT NULL, RxFrameCount INTEGER NOT NULL, "
            "CaptureDropCount INTEGER NOT NULL, InterfaceDropCount INTEGER NOT NULL, "
            "TxFrameCount INTEGER NOT NULL, TxFailCount INTEGER NOT NULL, Error TEXT NOT NULL, "
            "StatsLastModified INTEGER NOT NULL)");
        m_stmts->writeLink = Prepare(m_db,
                                     "INSERT OR REPLACE INTO LiveInterfaceResults VALUES "
                                     "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        m_stmts->removeLink = Prepare(m_db, "DELETE FROM LiveInterfaceResults WHERE Port = ?1");
    } catch (...) {
        sqlite3_finalize(m_stmts->removeLink);
        sqlite3_finalize(m_stmts->writeLink);
        sqlite3_finalize(m_stmts->remove);
        sqlite3_finalize(m_stmts->write);
        sqlite3_close(m_db);
        delete m_stmts;
        throw;
    }
    // No value may outgrow a request's results, and nothing may be attached even past the
    // authorizer.
    sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, static_cast<int>(SqlBudget::kMaxBytes));
    sqlite3_limit(m_db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_set_authorizer(m_db, &Authorize, m_guard.get());
    sqlite3_progress_handler(m_db, kProgressSteps, &Progress, m_guard.get());
}

ResultStore::~ResultStore() {
    sqlite3_finalize(m_stmts->write);
    sqlite3_finalize(m_stmts->remove);
    sqlite3_finalize(m_stmts->writeLink);
    sqlite3_finalize(m_stmts->removeLink);
    delete m_stmts;
    sqlite3_close(m_db);
}

void ResultStore::Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string why = error ? error : "unknown error";
        sqlite3_free(error);
        throw SqlError(std::string("\"") + sql + "\" failed: " + why);
    }
}

void ResultStore::Write(const ResultRow& row) {
    sqlite3_stmt* s = m_stmts->write;
    // Counters are unsigned 64-bit; SQLite integers are signed: values past 2^63 never occur.
    sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(row.primaryHandle));
    sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(row.secondaryHandle));
    sqlite3_bind_int64(s, 3, static_cast<sqlite3_int64>(row.matched));
    sqlite3_bind_int64(s, 4, static_cast<sqlite3_int64>(row.transmitted));
    sqlite3_bind_int64(s, 5, row.rate);
    sqlite3_bind_int64(s, 6, row.lastModified);
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
        throw SqlError("cannot write the counters of handle " + std::to_string(row.primaryHandle) +
                       ": " + sqlite3_errmsg(m_db));
    }
}

void ResultStore::Remove(uint64_t primaryHandle) {
    sqlite3_stmt* s = m_stmts->remove;
    sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(primaryHandle));
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
        throw SqlError("cannot remove the counters of handle " + std::to_string(primaryHandle) +
                       ": " + sqlite3_errmsg(m_db));
    }
}

void ResultStore::WriteLinks(const std::vector<LinkView>& links, int64_t stamp) {
    auto step = [&](sqlite3_stmt* s, uint16_t port, const char* what) {
        int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE) {
            throw SqlError(std::string("cannot ") + what + " the live interface of port " +
                           std::to_string(port) + ": " + sqlite3_errmsg(m_db));
        }
    };
    std::map<uint16_t, LinkView> now;
    for (const LinkView& l : links)
        now[l.port] = l;
    for (auto it = m_links.begin(); it != m_links.end();) {
        if (now.count(it->first)) {
            ++it;
            continue;
        }
        sqlite3_bind_int64(m_stmts->removeLink, 1, it->first);
        step(m_stmts->removeLink, it->first, "remove");
        it = m_links.erase(it);
    }
    for (const auto& [port, l] : now) {
        auto known = m_links.find(port);
        if (known != m_links.end() && known->second == l)
            continue;
        sqlite3_stmt* s = m_stmts->writeLink;
        sqlite3_bind_int64(s, 1, port);
        sqlite3_bind_text(s, 2, l.interface.c_str(), static_cast<int>(l.interface.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 3, static_cast<sqlite3_int64>(l.received));
        sqlite3_bind_int64(s, 4, static_cast<sqlite3_int64>(l.captureDropped));
        sqlite3_bind_int64(s, 5, static_cast<sqlite3_int64>(l.interfaceDropped));
        sqlite3_bind_int64(s, 6, static_cast<sqlite3_int64>(l.transmitted));
        sqlite3_bind_int64(s, 7, static_cast<sqlite3_int64>(l.transmitFailed));
        sqlite3_bind_text(s, 8, l.error.c_str(), static_cast<int>(l.error.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 9, stamp);
        step(s, port, "write");
        m_links[port] = l;
    }
}

SqlResult ResultStore::Query(const std::string& sql, SqlBudget& budget) {
    // SQLite stops reading at a NUL byte and would then prepare the same empty rest forever.
    if (const size_t nul = sql.find('\0'); nul != std::string::npos) {
        throw SqlError("SQL \"" + sql.substr(0, nul) + "...\" is refused: it holds a NUL byte at " +
                       std::to_string(nul));
    }
    Guard& guard = *m_guard;
    Active active(guard, budget.deadline);
    auto refuse = [&](const std::string& what) {
        throw SqlError(Quoted(sql) + " is refused: " + what + kOnlyReads);
    };
    auto account = [&](size_t bytes) {
        budget.bytes += bytes;
        if (budget.bytes > SqlBudget::kMaxBytes) {
            throw SqlError(Quoted(sql) + " is stopped: its results pass the IL's bound of " +
                           std::to_string(SqlBudget::kMaxBytes >> 20) + " MiB for one request");
        }
    };
    SqlResult result;
    const char* next = sql.c_str();
    const char* end = next + sql.size();
    while (next < end) {
        sqlite3_stmt* raw = nullptr;
        const char* tail = nullptr;
        guard.NextStatement();
        int prepared = sqlite3_prepare_v2(m_db, next, static_cast<int>(end - next), &raw, &tail);
        Finalizer finalizer{raw};
        if (!guard.refused.empty())
            refuse(guard.refused);
        if (!guard.internalRefused.empty())
            refuse(guard.internalRefused);
        if (prepared != SQLITE_OK)
            throw SqlError(Quoted(sql) + " is refused: " + sqlite3_errmsg(m_db));
        if (raw == nullptr && (tail == nullptr || tail <= next))
            break;  // nothing more that SQLite reads
        next = tail;
        if (raw == nullptr)
            continue;  // blanks or a comment
        // VACUUM, REINDEX and the like ask the authorizer nothing: only a SELECT is run.
        if (!guard.select)
            refuse(Keyword(sqlite3_sql(raw)));
        if (!sqlite3_stmt_readonly(raw))
            throw SqlError(Quoted(sql) + " is refused: only queries may be run");
        int columns = sqlite3_column_count(raw);
        SqlResult current;
        for (int c = 0; c < columns; ++c) {
            current.columns.emplace_back(sqlite3_column_name(raw, c));
            current.declared.push_back(DeclaredKind(sqlite3_column_decltype(raw, c)));
        }
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            if (++budget.rows > SqlBudget::kMaxRows) {
                throw SqlError(Quoted(sql) + " is stopped: its results pass the IL's bound of " +
                               std::to_string(SqlBudget::kMaxRows) + " rows for one request");
            }
            account(sizeof(std::vector<SqlValue>));
            std::vector<SqlValue> row(columns);
            for (int c = 0; c < columns; ++c) {
                SqlValue& v = row[c];
                switch (sqlite3_column_type(raw, c)) {
                    case SQLITE_INTEGER:
                        v.kind = SqlValue::Integer;
                        v.integer = sqlite3_column_int64(raw, c);
                        break;
                    case SQLITE_FLOAT:
                        v.kind = SqlValue::Real;
                        v.real = sqlite3_column_double(raw, c);
                        break;
                    case SQLITE_TEXT: {
                        v.kind = SqlValue::Text;
                        auto* p = reinterpret_cast<const char*>(sqlite3_column_text(raw, c));
                        size_t n = static_cast<size_t>(sqlite3_column_bytes(raw, c));
                        account(n);
                        v.text.assign(p, n);
                        break;
                    }
                    case SQLITE_BLOB: {
                        v.kind = SqlValue::Blob;
                        auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(raw, c));
                        size_t n = static_cast<size_t>(sqlite3_column_bytes(raw, c));
                        account(n);
                        v.blob.assign(p, p + n);
                        break;
                    }
                    default:
                        break;
                }
                account(sizeof(SqlValue));
            }
            current.rows.push_back(std::move(row));
        }
        if (rc == SQLITE_INTERRUPT && guard.timedOut) {
            throw SqlError(Quoted(sql) + " is stopped: it ran past the IL's bound of " +
                           std::to_string(SqlBudget::kMaxTime.count()) +
                           " ms for the SQL of one request");
        }
        if (rc == SQLITE_TOOBIG) {
            throw SqlError(Quoted(sql) +
                           " is stopped: one of its values passes the IL's bound of " +
                           std::to_string(SqlBudget::kMaxBytes >> 20) + " MiB for one request (" +
                           sqlite3_errmsg(m_db) + ")");
        }
        if (rc != SQLITE_DONE)
            throw SqlError(Quoted(sql) + " failed: " + sqlite3_errmsg(m_db));
        if (columns > 0)
            result = std::move(current);
    }
    return result;
}

}  // namespace orx::il
