#include "Stats_1.h"

namespace Stats_1_bll {

using namespace msgsets::wire;

const tm_enum_map em_columnVal_t[] = {{0, "STRING"}, {1, "INT8"},   {2, "UINT8"},   {3, "INT16"},
                                      {4, "UINT16"}, {5, "INT32"},  {6, "UINT32"},  {7, "INT64"},
                                      {8, "UINT64"}, {9, "BINARY"}, {10, "DOUBLE"}, {11, "NULL"},
                                      {0, nullptr}};

ORX_MSGSET_RECORD_WIRE(columnDesc, valType, valIndex)
ORX_MSGSET_RECORD_WIRE(rowFaster, stringValues, int64Values, binaryValues)
ORX_MSGSET_RECORD_WIRE(commandResultFaster, columnOrder, rows)
ORX_MSGSET_RECORD_WIRE(row, stringValues, int8Values, uint8Values, int16Values, uint16Values,
                       int32Values, uint32Values, int64Values, uint64Values, binaryValues)
ORX_MSGSET_RECORD_WIRE(commandResult, columnOrder, rows)
ORX_MSGSET_RECORD_WIRE(rowDesc, rowId, row)
ORX_MSGSET_RECORD_WIRE(tableEventProperties, tableName, deleteNotifiedAdded, subscribeAdded,
                       subscribeModified, subscribeDeleted)
ORX_MSGSET_RECORD_WIRE(tableEventData, columnOrder, addedRows, modifiedRows, deletedRowIds)

// Requests are named by the carrying set, so nothing here sets a request name.
constexpr const char* kUnnamed = nullptr;

// One-shot SQL ---------------------------------------------------------------------------------

void create_req_DoSQL(Message* m, const std::vector<std::string>& commands, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "commands", commands);
}
void create_req_DoSQLFaster(Message* m, const std::vector<std::string>& commands, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "commands", commands);
}
void create_req_DoSQLDatabase(Message* m, const std::string& dbName,
                              const std::vector<std::string>& commands, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "dbName", dbName, "commands", commands);
}
void create_req_DoSQLDatabaseFaster(Message* m, const std::string& dbName,
                                    const std::vector<std::string>& commands, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "dbName", dbName, "commands", commands);
}
void parse_req_DoSQL(const Message* m, std::vector<std::string>* commands) {
    get_all(m, "commands", commands);
}
void parse_req_DoSQLFaster(const Message* m, std::vector<std::string>* commands) {
    get_all(m, "commands", commands);
}
void parse_req_DoSQLDatabase(const Message* m, std::string* dbName,
                             std::vector<std::string>* commands) {
    get_all(m, "dbName", dbName, "commands", commands);
}
void parse_req_DoSQLDatabaseFaster(const Message* m, std::string* dbName,
                                   std::vector<std::string>* commands) {
    get_all(m, "dbName", dbName, "commands", commands);
}
void create_resp_DoSQL(Message* m, const std::vector<commandResult_s>& results, bool copy) {
    build(m, TMT_RESPONSE, kUnnamed, copy, "results", results);
}
void create_resp_DoSQLFaster(Message* m, const std::vector<commandResultFaster_s>& results,
                             bool copy) {
    build(m, TMT_RESPONSE, kUnnamed, copy, "results", results);
}
void create_resp_DoSQLDatabase(Message* m, const std::vector<commandResult_s>& results, bool copy) {
    build(m, TMT_RESPONSE, kUnnamed, copy, "results", results);
}
void create_resp_DoSQLDatabaseFaster(Message* m, const std::vector<commandResultFaster_s>& results,
                                     bool copy) {
    build(m, TMT_RESPONSE, kUnnamed, copy, "results", results);
}
void parse_resp_DoSQL(const Message* m, std::vector<commandResult_s>* results) {
    expect_type(m, TMT_RESPONSE);
    get_all(m, "results", results);
}
void parse_resp_DoSQLFaster(const Message* m, std::vector<commandResultFaster_s>* results) {
    expect_type(m, TMT_RESPONSE);
    get_all(m, "results", results);
}
void parse_resp_DoSQLDatabase(const Message* m, std::vector<commandResult_s>* results) {
    expect_type(m, TMT_RESPONSE);
    get_all(m, "results", results);
}
void parse_resp_DoSQLDatabaseFaster(const Message* m, std::vector<commandResultFaster_s>* results) {
    expect_type(m, TMT_RESPONSE);
    get_all(m, "results", results);
}

// Subscriptions --------------------------------------------------------------------------------

void create_req_RequestDoSQLNotification(Message* m, uint32_t id, uint32_t intervalMS,
                                         const std::vector<std::string>& commands, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id, "intervalMS", intervalMS, "commands", commands);
}
void create_req_RequestDoSQLNotificationFaster(Message* m, uint32_t id, uint32_t intervalMS,
                                               const std::vector<std::string>& commands,
                                               bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id, "intervalMS", intervalMS, "commands", commands);
}
void create_req_DeleteDoSQLNotification(Message* m, uint32_t id, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id);
}
void create_req_DeleteDoSQLNotificationFaster(Message* m, uint32_t id, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id);
}
void create_req_EnableDoSQLNotification(Message* m, uint32_t id, bool enable, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id, "enable", enable);
}
void create_req_EnableDoSQLNotificationFaster(Message* m, uint32_t id, bool enable, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id, "enable", enable);
}
void create_req_RequestTableEventNotification(Message* m, uint32_t id, uint32_t intervalMS,
                                              const tableEventProperties_s& props, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id, "intervalMS", intervalMS, "properties", props);
}
void create_req_DeleteTableEventNotification(Message* m, uint32_t id, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id);
}
void create_req_EnableTableEventNotification(Message* m, uint32_t id, bool enable, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id, "enable", enable);
}

void parse_req_RequestDoSQLNotification(const Message* m, uint32_t* id, uint32_t* intervalMS,
                                        std::vector<std::string>* commands) {
    get_all(m, "id", id, "intervalMS", intervalMS, "commands", commands);
}
void parse_req_RequestDoSQLNotificationFaster(const Message* m, uint32_t* id, uint32_t* intervalMS,
                                              std::vector<std::string>* commands) {
    get_all(m, "id", id, "intervalMS", intervalMS, "commands", commands);
}
void parse_req_DeleteDoSQLNotification(const Message* m, uint32_t* id) {
    get_all(m, "id", id);
}
void parse_req_DeleteDoSQLNotificationFaster(const Message* m, uint32_t* id) {
    get_all(m, "id", id);
}
void parse_req_EnableDoSQLNotification(const Message* m, uint32_t* id, bool* enable) {
    get_all(m, "id", id, "enable", enable);
}
void parse_req_EnableDoSQLNotificationFaster(const Message* m, uint32_t* id, bool* enable) {
    get_all(m, "id", id, "enable", enable);
}
void parse_req_RequestTableEventNotification(const Message* m, uint32_t* id, uint32_t* intervalMS,
                                             tableEventProperties_s* props) {
    get_all(m, "id", id, "intervalMS", intervalMS, "properties", props);
}
void parse_req_DeleteTableEventNotification(const Message* m, uint32_t* id) {
    get_all(m, "id", id);
}
void parse_req_EnableTableEventNotification(const Message* m, uint32_t* id, bool* enable) {
    get_all(m, "id", id, "enable", enable);
}

#define ORX_STATS_EMPTY_ANSWER(Name)            \
    void create_resp_##Name(Message* m) {       \
        build(m, TMT_RESPONSE, kUnnamed, true); \
    }                                           \
    void parse_resp_##Name(const Message* m) {  \
        expect_type(m, TMT_RESPONSE);           \
    }
ORX_STATS_EMPTY_ANSWER(RequestDoSQLNotification)
ORX_STATS_EMPTY_ANSWER(RequestDoSQLNotificationFaster)
ORX_STATS_EMPTY_ANSWER(DeleteDoSQLNotification)
ORX_STATS_EMPTY_ANSWER(DeleteDoSQLNotificationFaster)
ORX_STATS_EMPTY_ANSWER(EnableDoSQLNotification)
ORX_STATS_EMPTY_ANSWER(EnableDoSQLNotificationFaster)
ORX_STATS_EMPTY_ANSWER(RequestTableEventNotification)
ORX_STATS_EMPTY_ANSWER(DeleteTableEventNotification)
ORX_STATS_EMPTY_ANSWER(EnableTableEventNotification)
ORX_STATS_EMPTY_ANSWER(DoSQLNotify)
ORX_STATS_EMPTY_ANSWER(DoSQLNotifyFaster)
ORX_STATS_EMPTY_ANSWER(TableEventNotify)
#undef ORX_STATS_EMPTY_ANSWER

// Notifications --------------------------------------------------------------------------------

void create_req_DoSQLNotify(Message* m, uint32_t id, const std::vector<commandResult_s>& results,
                            bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id, "results", results);
}
void create_req_DoSQLNotifyFaster(Message* m, uint32_t id,
                                  const std::vector<commandResultFaster_s>& results, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id, "results", results);
}
void create_req_TableEventNotify(Message* m, uint32_t id, const tableEventData_s& data, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "id", id, "data", data);
}
void parse_req_DoSQLNotify(const Message* m, uint32_t* id, std::vector<commandResult_s>* results) {
    get_all(m, "id", id, "results", results);
}
void parse_req_DoSQLNotifyFaster(const Message* m, uint32_t* id,
                                 std::vector<commandResultFaster_s>* results) {
    get_all(m, "id", id, "results", results);
}
void parse_req_TableEventNotify(const Message* m, uint32_t* id, tableEventData_s* data) {
    get_all(m, "id", id, "data", data);
}

}  // namespace Stats_1_bll
