#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "MsgsetTest.h"
#include "responder_1.h"

namespace {

using namespace Stats_1_bll;
using msgsets_test::error_of;
using msgsets_test::layout;
using msgsets_test::over_wire;
using msgsets_test::record_round_trip;
using msgsets_test::wire_layout;

row_s full_row() {
    row_s r;
    r.stringValues = {"port1", ""};
    r.int8Values = {-128, 127};
    r.uint8Values = {255};
    r.int16Values = {-32768};
    r.uint16Values = {65535};
    r.int32Values = {std::numeric_limits<int32_t>::min()};
    r.uint32Values = {0xffffffffu};
    r.int64Values = {std::numeric_limits<int64_t>::min(), -1};
    r.uint64Values = {std::numeric_limits<uint64_t>::max()};
    r.binaryValues = {Tm_binary(std::vector<uint8_t>{0, 1, 2}), Tm_binary()};
    return r;
}

std::vector<commandResultFaster_s> faster_results() {
    commandResultFaster_s r;
    r.columnOrder = {
        {columnVal_t::UINT64, 0}, {columnVal_t::NULL_VALUE, 0}, {columnVal_t::STRING, 1}};
    r.rows = {rowFaster_s{{"a", "b"}, {-7, 1ll << 50}, {Tm_binary(std::vector<uint8_t>{9})}},
              rowFaster_s{}};
    return {r, commandResultFaster_s{}};
}

TEST(Stats1, RecordLayouts) {
    EXPECT_EQ(wire_layout(columnDesc_s{}, columnDesc_t_to_struct),
              "valType:string valIndex:uint32");
    EXPECT_EQ(wire_layout(rowFaster_s{}, rowFaster_t_to_struct),
              "stringValues:array int64Values:int64[] binaryValues:array");
    EXPECT_EQ(wire_layout(commandResultFaster_s{}, commandResultFaster_t_to_struct),
              "columnOrder:array rows:array");
    EXPECT_EQ(wire_layout(row_s{}, row_t_to_struct),
              "stringValues:array int8Values:int8[] uint8Values:uint8[] int16Values:int16[] "
              "uint16Values:uint16[] int32Values:int32[] uint32Values:uint32[] "
              "int64Values:int64[] uint64Values:uint64[] binaryValues:array");
    EXPECT_EQ(wire_layout(commandResult_s{}, commandResult_t_to_struct),
              "columnOrder:array rows:array");
    EXPECT_EQ(wire_layout(rowDesc_s{}, rowDesc_t_to_struct), "rowId:int64 row:struct");
    EXPECT_EQ(wire_layout(tableEventProperties_s{}, tableEventProperties_t_to_struct),
              "tableName:string deleteNotifiedAdded:bool subscribeAdded:bool "
              "subscribeModified:bool subscribeDeleted:bool");
    EXPECT_EQ(wire_layout(tableEventData_s{}, tableEventData_t_to_struct),
              "columnOrder:array addedRows:array modifiedRows:array deletedRowIds:int64[]");
}

TEST(Stats1, RecordsRoundTrip) {
    const row_s row = full_row();
    EXPECT_EQ(record_round_trip(row, row_t_to_struct, row_t_from_struct), row);
    const tableEventData_s data{{{columnVal_t::INT64, 0}},
                                {rowDesc_s{-9, row}},
                                {rowDesc_s{std::numeric_limits<int64_t>::min(), row_s{}}},
                                {-1, 0, std::numeric_limits<int64_t>::max()}};
    const tableEventData_s back =
        record_round_trip(data, tableEventData_t_to_struct, tableEventData_t_from_struct);
    EXPECT_EQ(back, data);
    EXPECT_EQ(back.addedRows[0].rowId, -9);
    EXPECT_EQ(back.deletedRowIds[0], -1);
    const tableEventProperties_s props{"ResponderProfileResults", true, false, true, false};
    EXPECT_EQ(record_round_trip(props, tableEventProperties_t_to_struct,
                                tableEventProperties_t_from_struct),
              props);
}

TEST(Stats1, ColumnKindsTravelByName) {
    const columnDesc_s null_column{columnVal_t::NULL_VALUE, 3};
    Message m;
    auto* catalog = m.get_send_member_string(TMG_MEMBERS);
    m.add_member_and_own(
        TMG_MEMBERS, "c",
        columnDesc_t_to_struct(new Tm_prenamed_struct(catalog), &null_column, true, catalog));
    Message back = over_wire(m);
    EXPECT_EQ(back.get_member_struct(TMG_MEMBERS, "c")->get_member_string("valType"), "NULL");
    columnDesc_s read;
    columnDesc_t_from_struct(back.get_member_struct(TMG_MEMBERS, "c"), &read);
    EXPECT_EQ(static_cast<int>(read.valType), 11);
    EXPECT_EQ(read, null_column);

    // A name outside the table is refused by the value map, naming the member.
    Message bad;
    auto* c2 = bad.get_send_member_string(TMG_MEMBERS);
    auto* s = new Tm_struct(c2);
    s->add_member("valType", "DECIMAL", c2);
    s->add_member("valIndex", 0u, c2);
    bad.add_member_and_own(TMG_MEMBERS, "c", s);
    const std::string text =
        error_of([&] { columnDesc_t_from_struct(bad.get_member_struct(TMG_MEMBERS, "c"), &read); });
    EXPECT_NE(text.find("member 'valType' of columnDesc_s"), std::string::npos) << text;
    EXPECT_NE(text.find("DECIMAL"), std::string::npos) << text;
}

TEST(Stats1, NotificationsCarryIdAndResults) {
    const auto results = faster_results();
    Message m;
    responder_1_bll::create_req_DoSQLNotifyFaster(&m, 77, results, true);
    Message back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.DoSQLNotifyFaster");
    EXPECT_EQ(back.get_msg_type(), TMT_REQUEST);
    EXPECT_EQ(layout(back), "id:uint32 results:array");
    uint32_t id = 0;
    std::vector<commandResultFaster_s> read;
    responder_1_bll::parse_req_DoSQLNotifyFaster(&back, &id, &read);
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(read, results);

    // An empty notification still yields its id and empties the output.
    create_req_DoSQLNotifyFaster(&m, 78, {}, true);
    back = over_wire(m);
    parse_req_DoSQLNotifyFaster(&back, &id, &read);
    EXPECT_EQ(id, 78u);
    EXPECT_TRUE(read.empty());

    const std::vector<commandResult_s> full{{{{columnVal_t::BINARY, 0}}, {full_row()}}};
    responder_1_bll::create_req_DoSQLNotify(&m, 5, full, true);
    back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.DoSQLNotify");
    std::vector<commandResult_s> full_read;
    responder_1_bll::parse_req_DoSQLNotify(&back, &id, &full_read);
    EXPECT_EQ(full_read, full);

    const tableEventData_s data{{}, {rowDesc_s{-2, full_row()}}, {}, {-5}};
    responder_1_bll::create_req_TableEventNotify(&m, 6, data, true);
    back = over_wire(m);
    EXPECT_EQ(layout(back), "id:uint32 data:struct");
    tableEventData_s data_read;
    responder_1_bll::parse_req_TableEventNotify(&back, &id, &data_read);
    EXPECT_EQ(id, 6u);
    EXPECT_EQ(data_read, data);

    for (auto answer :
         {create_resp_DoSQLNotify, create_resp_DoSQLNotifyFaster, create_resp_TableEventNotify}) {
        Message a;
        answer(&a);
        Message ab = over_wire(a);
        EXPECT_EQ(ab.get_msg_type(), TMT_RESPONSE);
        EXPECT_EQ(ab.get_member_count(TMG_MEMBERS), 0);
        EXPECT_NO_THROW(parse_resp_DoSQLNotifyFaster(&ab));
    }
}

TEST(Stats1, SqlRequestsAndResults) {
    const std::vector<std::string> commands{"SELECT * FROM ResponderProfileResults", "SELECT 1"};
    Message m;
    responder_1_bll::create_req_DoSQLDatabaseFaster(&m, "results.db", commands, true);
    Message back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.DoSQLDatabaseFaster");
    EXPECT_EQ(layout(back), "dbName:string commands:array");
    std::string db;
    std::vector<std::string> cmds;
    parse_req_DoSQLDatabaseFaster(&back, &db, &cmds);
    EXPECT_EQ(db, "results.db");
    EXPECT_EQ(cmds, commands);

    responder_1_bll::create_req_DoSQL(&m, commands, true);
    back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.DoSQL");
    parse_req_DoSQL(&back, &cmds);
    EXPECT_EQ(cmds, commands);

    Message resp;
    create_resp_DoSQLFaster(&resp, faster_results(), true);
    back = over_wire(resp);
    std::vector<commandResultFaster_s> results;
    parse_resp_DoSQLFaster(&back, &results);
    EXPECT_EQ(results, faster_results());
    back.set_msg_type(TMT_FAILED_RESPONSE);
    EXPECT_THROW(parse_resp_DoSQLFaster(&back, &results), Tm_type_mismatch_exception);

    const std::vector<commandResult_s> full{{{{columnVal_t::INT8, 0}}, {full_row(), row_s{}}}};
    create_resp_DoSQLDatabase(&resp, full, true);
    back = over_wire(resp);
    std::vector<commandResult_s> full_read;
    parse_resp_DoSQLDatabase(&back, &full_read);
    EXPECT_EQ(full_read, full);
}

TEST(Stats1, SubscriptionRequests) {
    Message m;
    uint32_t id = 0, interval = 0;
    bool enable = false;
    std::vector<std::string> cmds;

    responder_1_bll::create_req_RequestDoSQLNotificationFaster(&m, 3, 1000, {"SELECT 2"}, true);
    Message back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.RequestDoSQLNotificationFaster");
    EXPECT_EQ(layout(back), "id:uint32 intervalMS:uint32 commands:array");
    parse_req_RequestDoSQLNotificationFaster(&back, &id, &interval, &cmds);
    EXPECT_EQ(std::make_tuple(id, interval, cmds),
              std::make_tuple(3u, 1000u, std::vector<std::string>{"SELECT 2"}));

    responder_1_bll::create_req_EnableDoSQLNotification(&m, 4, true, true);
    back = over_wire(m);
    EXPECT_EQ(layout(back), "id:uint32 enable:bool");
    parse_req_EnableDoSQLNotification(&back, &id, &enable);
    EXPECT_EQ(id, 4u);
    EXPECT_TRUE(enable);

    responder_1_bll::create_req_DeleteDoSQLNotificationFaster(&m, 5, true);
    back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.DeleteDoSQLNotificationFaster");
    EXPECT_EQ(layout(back), "id:uint32");
    parse_req_DeleteDoSQLNotificationFaster(&back, &id);
    EXPECT_EQ(id, 5u);

    const tableEventProperties_s props{"ResponderProfileResults", false, true, true, true};
    responder_1_bll::create_req_RequestTableEventNotification(&m, 6, 500, props, true);
    back = over_wire(m);
    EXPECT_EQ(layout(back), "id:uint32 intervalMS:uint32 properties:struct");
    tableEventProperties_s props_read;
    parse_req_RequestTableEventNotification(&back, &id, &interval, &props_read);
    EXPECT_EQ(props_read, props);

    responder_1_bll::create_req_EnableTableEventNotification(&m, 7, false, true);
    back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.EnableTableEventNotification");
    parse_req_EnableTableEventNotification(&back, &id, &enable);
    EXPECT_EQ(id, 7u);
    EXPECT_FALSE(enable);

    Message a;
    create_resp_RequestDoSQLNotificationFaster(&a);
    EXPECT_NO_THROW(parse_resp_RequestDoSQLNotificationFaster(&a));
    a.set_msg_type(TMT_REQUEST);
    EXPECT_THROW(parse_resp_DeleteTableEventNotification(&a), Tm_type_mismatch_exception);
}

}  // namespace
