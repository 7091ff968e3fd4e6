#pragma once

// The IL's SQLite database: the tables "ResponderProfileResults" and "LiveInterfaceResults" and
// the queries run over them. Used by the control path only.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include <orx/il/IlServer.h>
#include <orx/il/ResultRows.h>

struct sqlite3;

namespace orx::il {

// A query that SQLite refuses, or a statement the IL does not run (anything but a read of its
// table, or SQL past the bounds of one request).
class SqlError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Bounds of the SQL of one request, all its commands together: the host's SQL cannot hold the
// control thread or the IL's memory.
struct SqlBudget {
    static constexpr std::chrono::milliseconds kMaxTime{kSqlMaxTimeMs};
    static constexpr size_t kMaxRows = kSqlMaxRows;
    static constexpr size_t kMaxBytes = kSqlMaxBytes;

    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + kMaxTime;
    size_t rows = 0;
    size_t bytes = 0;
};

struct ResultRow {
    uint64_t primaryHandle = 0;
    uint64_t secondaryHandle = 0;
    uint64_t matched = 0;
    uint64_t transmitted = 0;
    uint32_t rate = 0;
    int64_t lastModified = 0;
};

class ResultStore {
  public:
    static constexpr const char* kTable = "ResponderProfileResults";
    static constexpr const char* kLinkTable = "LiveInterfaceResults";

    ResultStore();
    ~ResultStore();
    ResultStore(const ResultStore&) = delete;
    ResultStore& operator=(const ResultStore&) = delete;

    void Write(const ResultRow& row);
    void Remove(uint64_t primaryHandle);
    // Makes the live-interface table hold `links`, one row per port; rows whose values changed
    // are stamped `stamp`, rows of ports no longer given are removed.
    void WriteLinks(const std::vector<LinkView>& links, int64_t stamp);
    // Runs every statement of `sql`; the result is that of the last statement that returns
    // columns. Only reads of the table are run (an authorizer refuses everything else: the
    // table is the IL's to keep, and nothing else on the machine is the host's to touch),
    // within `budget`, which the request's other commands share.
    SqlResult Query(const std::string& sql, SqlBudget& budget);
    SqlResult Query(const std::string& sql) {
        SqlBudget budget;
        return Query(sql, budget);
    }

    struct Guard;

  private:
    void Exec(const char* sql);
    sqlite3* m_db = nullptr;
    struct Statements;
    Statements* m_stmts = nullptr;
    std::unique_ptr<Guard> m_guard;
    std::map<uint16_t, LinkView> m_links;  // as last written
};

}  // namespace orx::il
