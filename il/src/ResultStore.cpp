#include "ResultStore.h"

#include <sqlite3.h>

#include <cctype>

namespace orx::il {

struct ResultStore::Statements {
    sqlite3_stmt* write = nullptr;
    sqlite3_stmt* remove = nullptr;
};

namespace {

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

ResultStore::ResultStore() : m_stmts(new Statements) {
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
    } catch (...) {
        sqlite3_finalize(m_stmts->write);
        sqlite3_close(m_db);
        delete m_stmts;
        throw;
    }
}

ResultStore::~ResultStore() {
    sqlite3_finalize(m_stmts->write);
    sqlite3_finalize(m_stmts->remove);
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

SqlResult ResultStore::Query(const std::string& sql) {
    // SQLite stops reading at a NUL byte and would then prepare the same empty rest forever.
    if (const size_t nul = sql.find('\0'); nul != std::string::npos) {
        throw SqlError("SQL \"" + sql.substr(0, nul) + "...\" is refused: it holds a NUL byte at " +
                       std::to_string(nul));
    }
    SqlResult result;
    const char* next = sql.c_str();
    const char* end = next + sql.size();
    while (next < end) {
        sqlite3_stmt* raw = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(m_db, next, static_cast<int>(end - next), &raw, &tail) !=
            SQLITE_OK) {
            throw SqlError("SQL \"" + sql + "\" is refused: " + sqlite3_errmsg(m_db));
        }
        if (raw == nullptr && (tail == nullptr || tail <= next))
            break;  // nothing more that SQLite reads
        next = tail;
        if (raw == nullptr)
            continue;  // blanks or a comment
        Finalizer guard{raw};
        if (!sqlite3_stmt_readonly(raw)) {
            throw SqlError("SQL \"" + sql + "\" is refused: only queries may be run");
        }
        int columns = sqlite3_column_count(raw);
        SqlResult current;
        for (int c = 0; c < columns; ++c) {
            current.columns.emplace_back(sqlite3_column_name(raw, c));
            current.declared.push_back(DeclaredKind(sqlite3_column_decltype(raw, c)));
        }
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
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
                    case SQLITE_TEXT:
                        v.kind = SqlValue::Text;
                        v.text.assign(reinterpret_cast<const char*>(sqlite3_column_text(raw, c)),
                                      sqlite3_column_bytes(raw, c));
                        break;
                    case SQLITE_BLOB: {
                        v.kind = SqlValue::Blob;
                        auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(raw, c));
                        v.blob.assign(p, p + sqlite3_column_bytes(raw, c));
                        break;
                    }
                    default:
                        break;
                }
            }
            current.rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) {
            throw SqlError("SQL \"" + sql + "\" failed: " + sqlite3_errmsg(m_db));
        }
        if (columns > 0)
            result = std::move(current);
    }
    return result;
}

}  // namespace orx::il
