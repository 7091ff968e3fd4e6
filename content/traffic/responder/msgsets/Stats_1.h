#pragma once

// The statistics set: SQL requests over a test port's result tables, periodic SQL and
// table-event notifications, and the result rows they carry. It names no requests itself: the
// responder set carries them under "responder_1." names (responder_1.h). Building operations end
// with `copy` as described there; readers replace their outputs only when the whole read succeeds.

#include <cstdint>
#include <string>
#include <vector>

#include <orx/msglib/Message.h>
#include <orx/msglib/TmValue.h>
#include "RecordWire.h"

namespace Stats_1_bll {

// Value kind of a result column; on the wire its name.
enum class columnVal_t : int32_t {
    STRING = 0,
    INT8 = 1,
    UINT8 = 2,
    INT16 = 3,
    UINT16 = 4,
    INT32 = 5,
    UINT32 = 6,
    INT64 = 7,
    UINT64 = 8,
    BINARY = 9,
    DOUBLE = 10,
    NULL_VALUE = 11  // "NULL"
};
extern const tm_enum_map em_columnVal_t[];
inline const tm_enum_map* wire_enum_map(columnVal_t) {
    return em_columnVal_t;
}

// One selected column: its kind and its position within the row's value list of that kind.
struct columnDesc_s {
    columnVal_t valType = columnVal_t::STRING;
    uint32_t valIndex = 0;
    bool operator==(const columnDesc_s&) const = default;
};

// One result row, compact form.
struct rowFaster_s {
    std::vector<std::string> stringValues;
    std::vector<int64_t> int64Values;
    std::vector<Tm_binary> binaryValues;
    bool operator==(const rowFaster_s&) const = default;
};

struct commandResultFaster_s {
    std::vector<columnDesc_s> columnOrder;
    std::vector<rowFaster_s> rows;
    bool operator==(const commandResultFaster_s&) const = default;
};

// One result row, full form.
struct row_s {
    std::vector<std::string> stringValues;
    std::vector<int8_t> int8Values;
    std::vector<uint8_t> uint8Values;
    std::vector<int16_t> int16Values;
    std::vector<uint16_t> uint16Values;
    std::vector<int32_t> int32Values;
    std::vector<uint32_t> uint32Values;
    std::vector<int64_t> int64Values;
    std::vector<uint64_t> uint64Values;
    std::vector<Tm_binary> binaryValues;
    bool operator==(const row_s&) const = default;
};

struct commandResult_s {
    std::vector<columnDesc_s> columnOrder;
    std::vector<row_s> rows;
    bool operator==(const commandResult_s&) const = default;
};

struct rowDesc_s {
    int64_t rowId = 0;
    row_s row;
    bool operator==(const rowDesc_s&) const = default;
};

struct tableEventProperties_s {
    std::string tableName;
    bool deleteNotifiedAdded = false;
    bool subscribeAdded = false;
    bool subscribeModified = false;
    bool subscribeDeleted = false;
    bool operator==(const tableEventProperties_s&) const = default;
};

struct tableEventData_s {
    std::vector<columnDesc_s> columnOrder;
    std::vector<rowDesc_s> addedRows;
    std::vector<rowDesc_s> modifiedRows;
    std::vector<int64_t> deletedRowIds;
    bool operator==(const tableEventData_s&) const = default;
};

ORX_MSGSET_RECORD(columnDesc)
ORX_MSGSET_RECORD(rowFaster)
ORX_MSGSET_RECORD(commandResultFaster)
ORX_MSGSET_RECORD(row)
ORX_MSGSET_RECORD(commandResult)
ORX_MSGSET_RECORD(rowDesc)
ORX_MSGSET_RECORD(tableEventProperties)
ORX_MSGSET_RECORD(tableEventData)

// One-shot SQL: "commands" (and "dbName"); the answers carry "results".
void create_req_DoSQL(Message* m, const std::vector<std::string>& commands, bool copy);
void create_req_DoSQLFaster(Message* m, const std::vector<std::string>& commands, bool copy);
void create_req_DoSQLDatabase(Message* m, const std::string& dbName,
                              const std::vector<std::string>& commands, bool copy);
void create_req_DoSQLDatabaseFaster(Message* m, const std::string& dbName,
                                    const std::vector<std::string>& commands, bool copy);
void parse_req_DoSQL(const Message* m, std::vector<std::string>* commands);
void parse_req_DoSQLFaster(const Message* m, std::vector<std::string>* commands);
void parse_req_DoSQLDatabase(const Message* m, std::string* dbName,
                             std::vector<std::string>* commands);
void parse_req_DoSQLDatabaseFaster(const Message* m, std::string* dbName,
                                   std::vector<std::string>* commands);
void create_resp_DoSQL(Message* m, const std::vector<commandResult_s>& results, bool copy);
void create_resp_DoSQLFaster(Message* m, const std::vector<commandResultFaster_s>& results,
                             bool copy);
void create_resp_DoSQLDatabase(Message* m, const std::vector<commandResult_s>& results, bool copy);
void create_resp_DoSQLDatabaseFaster(Message* m, const std::vector<commandResultFaster_s>& results,
                                     bool copy);
void parse_resp_DoSQL(const Message* m, std::vector<commandResult_s>* results);
void parse_resp_DoSQLFaster(const Message* m, std::vector<commandResultFaster_s>* results);
void parse_resp_DoSQLDatabase(const Message* m, std::vector<commandResult_s>* results);
void parse_resp_DoSQLDatabaseFaster(const Message* m, std::vector<commandResultFaster_s>* results);

// Subscriptions: "id", "intervalMS", "commands" / "properties", "enable"; empty answers.
void create_req_RequestDoSQLNotification(Message* m, uint32_t id, uint32_t intervalMS,
                                         const std::vector<std::string>& commands, bool copy);
void create_req_RequestDoSQLNotificationFaster(Message* m, uint32_t id, uint32_t intervalMS,
                                               const std::vector<std::string>& commands, bool copy);
void create_req_DeleteDoSQLNotification(Message* m, uint32_t id, bool copy);
void create_req_DeleteDoSQLNotificationFaster(Message* m, uint32_t id, bool copy);
void create_req_EnableDoSQLNotification(Message* m, uint32_t id, bool enable, bool copy);
void create_req_EnableDoSQLNotificationFaster(Message* m, uint32_t id, bool enable, bool copy);
void create_req_RequestTableEventNotification(Message* m, uint32_t id, uint32_t intervalMS,
                                              const tableEventProperties_s& props, bool copy);
void create_req_DeleteTableEventNotification(Message* m, uint32_t id, bool copy);
void create_req_EnableTableEventNotification(Message* m, uint32_t id, bool enable, bool copy);

void parse_req_RequestDoSQLNotification(const Message* m, uint32_t* id, uint32_t* intervalMS,
                                        std::vector<std::string>* commands);
void parse_req_RequestDoSQLNotificationFaster(const Message* m, uint32_t* id, uint32_t* intervalMS,
                                              std::vector<std::string>* commands);
void parse_req_DeleteDoSQLNotification(const Message* m, uint32_t* id);
void parse_req_DeleteDoSQLNotificationFaster(const Message* m, uint32_t* id);
void parse_req_EnableDoSQLNotification(const Message* m, uint32_t* id, bool* enable);
void parse_req_EnableDoSQLNotificationFaster(const Message* m, uint32_t* id, bool* enable);
void parse_req_RequestTableEventNotification(const Message* m, uint32_t* id, uint32_t* intervalMS,
                                             tableEventProperties_s* props);
void parse_req_DeleteTableEventNotification(const Message* m, uint32_t* id);
void parse_req_EnableTableEventNotification(const Message* m, uint32_t* id, bool* enable);

void create_resp_RequestDoSQLNotification(Message* m);
void create_resp_RequestDoSQLNotificationFaster(Message* m);
void create_resp_DeleteDoSQLNotification(Message* m);
void create_resp_DeleteDoSQLNotificationFaster(Message* m);
void create_resp_EnableDoSQLNotification(Message* m);
void create_resp_EnableDoSQLNotificationFaster(Message* m);
void create_resp_RequestTableEventNotification(Message* m);
void create_resp_DeleteTableEventNotification(Message* m);
void create_resp_EnableTableEventNotification(Message* m);
void parse_resp_RequestDoSQLNotification(const Message* m);
void parse_resp_RequestDoSQLNotificationFaster(const Message* m);
void parse_resp_DeleteDoSQLNotification(const Message* m);
void parse_resp_DeleteDoSQLNotificationFaster(const Message* m);
void parse_resp_EnableDoSQLNotification(const Message* m);
void parse_resp_EnableDoSQLNotificationFaster(const Message* m);
void parse_resp_RequestTableEventNotification(const Message* m);
void parse_resp_DeleteTableEventNotification(const Message* m);
void parse_resp_EnableTableEventNotification(const Message* m);

// Notifications from the port ("id" and "results" / "data"), answered with empty responses.
// Reading a notification does not check the message type.
void create_req_DoSQLNotify(Message* m, uint32_t id, const std::vector<commandResult_s>& results,
                            bool copy);
void create_req_DoSQLNotifyFaster(Message* m, uint32_t id,
                                  const std::vector<commandResultFaster_s>& results, bool copy);
void create_req_TableEventNotify(Message* m, uint32_t id, const tableEventData_s& data, bool copy);
void parse_req_DoSQLNotify(const Message* m, uint32_t* id, std::vector<commandResult_s>* results);
void parse_req_DoSQLNotifyFaster(const Message* m, uint32_t* id,
                                 std::vector<commandResultFaster_s>* results);
void parse_req_TableEventNotify(const Message* m, uint32_t* id, tableEventData_s* data);
void create_resp_DoSQLNotify(Message* m);
void create_resp_DoSQLNotifyFaster(Message* m);
void create_resp_TableEventNotify(Message* m);
void parse_resp_DoSQLNotify(const Message* m);
void parse_resp_DoSQLNotifyFaster(const Message* m);
void parse_resp_TableEventNotify(const Message* m);

}  // namespace Stats_1_bll
