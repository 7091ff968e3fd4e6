#pragma once

// The IL's SQLite database: the table "ResponderProfileResults" and the queries run over it.
// Used by the control path only.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "orx/il/ResultRows.h"

struct sqlite3;

namespace orx::il {

// A query that SQLite refuses, or a statement that would change the database.
class SqlError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
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

    ResultStore();
    ~ResultStore();
    ResultStore(const ResultStore&) = delete;
    ResultStore& operator=(const ResultStore&) = delete;

    void Write(const ResultRow& row);
    void Remove(uint64_t primaryHandle);
    // Runs every statement of `sql`; the result is that of the last statement that returns
    // columns. Statements that would write are refused: the table is the IL's to keep.
    SqlResult Query(const std::string& sql);

  private:
    void Exec(const char* sql);
    sqlite3* m_db = nullptr;
    struct Statements;
    Statements* m_stmts = nullptr;
};

}  // namespace orx::il
