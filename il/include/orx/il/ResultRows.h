#pragma once

// Result rows as the IL sends them, in the answers to DoSQL requests and in notifications.
//
// Value kinds. SQLite gives each selected value one of five storage classes; a column takes the
// kind of its first non-NULL value (its declared type when no row has one):
//   INTEGER -> "INT64"   REAL -> "DOUBLE"   TEXT -> "STRING"   BLOB -> "BINARY"
//   a column with no value and no declared type -> "NULL"
// Later rows are converted to the column's kind (a NULL becomes 0, "" or empty bytes).
//
// Compact form (commandResultFaster_s), the one the host reads counters from:
//   columnOrder[i] describes the i-th selected column, in select order: its kind, and in
//   valIndex its position within the row's list for that kind:
//     INT64          -> rowFaster_s::int64Values[valIndex]
//     STRING, DOUBLE -> rowFaster_s::stringValues[valIndex]  (DOUBLE as decimal text, %.17g)
//     BINARY         -> rowFaster_s::binaryValues[valIndex]
//     NULL           -> no value; valIndex is 0
//   Positions count up per list in select order, so
//   "SELECT PrimaryHandle, MatchedRxFrameCount, TxFrameCount FROM ResponderProfileResults ..."
//   gives columnOrder {INT64 0}, {INT64 1}, {INT64 2} and rows whose int64Values are
//   {handle, matched, transmitted}.
//
// Full form (commandResult_s): the same columnOrder; INT64 values in row_s::int64Values, STRING
// and DOUBLE in stringValues, BINARY in binaryValues; the other lists stay empty.
//
// Table "ResponderProfileResults", one row per configuration, every column INTEGER:
//   PrimaryHandle (configuration handle, the row id), SecondaryHandle (vifHandle),
//   MatchedRxFrameCount, TxFrameCount, RxFrameRate (matched frames in the last second of the
//   port's frame clock), StatsLastModified (IL time in microseconds at which one of the counters
//   was last seen to change; strictly increasing). Table-event rows list the six columns in
//   this order, all INT64.

#include <cstdint>
#include <string>
#include <vector>

#include "Stats_1.h"

namespace orx::il {

struct SqlValue {
    enum Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Null;
    int64_t integer = 0;
    double real = 0;
    std::string text;
    std::vector<uint8_t> blob;
};

// The rows of one SQL command.
struct SqlResult {
    std::vector<std::string> columns;
    std::vector<SqlValue::Kind> declared;  // from the column's declared type; Null when none
    std::vector<std::vector<SqlValue>> rows;
};

Stats_1_bll::commandResultFaster_s ToCompactResult(const SqlResult& result);
Stats_1_bll::commandResult_s ToFullResult(const SqlResult& result);

}  // namespace orx::il
