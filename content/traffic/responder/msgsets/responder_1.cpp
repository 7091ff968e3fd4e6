#include "responder_1.h"

namespace responder_1_bll {

using namespace msgsets::wire;

const tm_enum_map em_EnumOperType[] = {{SET_VALUE, "SET_VALUE"}, {0, nullptr}};

ORX_MSGSET_RECORD_WIRE(FrameResponseModifier, Opcode, Offset, Mask, Value)
ORX_MSGSET_RECORD_WIRE(respProfile, payload, portIndex, delay, modifierArray)
ORX_MSGSET_RECORD_WIRE(respConfig, configHandle, filterExpr, vifHandle, responseArray)
ORX_MSGSET_RECORD_WIRE(errorMsg, configHandle, errorString)
ORX_MSGSET_RECORD_WIRE(FrameResponseResults, PrimaryHandle, MatchedRxFrameCount, TxFrameCount,
                       SecondaryHandle, RxFrameRate)

namespace {

void handle_request(Message* m, const char* name, const std::vector<uint32_t>& handles, bool copy) {
    begin(m, TMT_REQUEST, name);
    put(m, "handleList", handles, copy);
    finish(m);
}

void empty_response(Message* m, const char* name) {
    begin(m, TMT_RESPONSE, name);
    finish(m);
}

void read_handles(const Message* m, std::vector<uint32_t>* handles) {
    std::vector<uint32_t> read;
    get(m, "handleList", &read);
    *handles = std::move(read);
}

// A request of another set: built by that set, then named here.
template <class Build>
void carried(Message* m, const char* name, Build build) {
    if (m == nullptr) {
        throw Tm_exception(std::string("no message to build for ") + name);
    }
    m->set_use_send_member_string(true);
    build();
    m->set_request_name(name);
}

}  // namespace

void create_req_ConfigResponder(Message* m, const std::vector<respConfig_s>& configs, bool copy) {
    begin(m, TMT_REQUEST, request::ConfigResponder);
    put(m, "configList", configs, copy);
    finish(m);
}

void parse_req_ConfigResponder(const Message* m, std::vector<respConfig_s>* configs) {
    std::vector<respConfig_s> read;
    get(m, "configList", &read);
    *configs = std::move(read);
}

void create_resp_ConfigResponder(Message* m, const std::vector<errorMsg_s>& errors, bool copy) {
    begin(m, TMT_RESPONSE, request::ConfigResponder);
    put(m, "errorList", errors, copy);
    finish(m);
}

void parse_resp_ConfigResponder(const Message* m, std::vector<errorMsg_s>* errors) {
    expect_type(m, TMT_RESPONSE);
    std::vector<errorMsg_s> read;
    get(m, "errorList", &read);
    *errors = std::move(read);
}

void create_req_RemoveResponder(Message* m, const std::vector<uint32_t>& handles, bool copy) {
    handle_request(m, request::RemoveResponder, handles, copy);
}
void create_req_Start(Message* m, const std::vector<uint32_t>& handles, bool copy) {
    handle_request(m, request::Start, handles, copy);
}
void create_req_Stop(Message* m, const std::vector<uint32_t>& handles, bool copy) {
    handle_request(m, request::Stop, handles, copy);
}
void create_req_ClearResult(Message* m, const std::vector<uint32_t>& handles, bool copy) {
    handle_request(m, request::ClearResult, handles, copy);
}
void parse_req_RemoveResponder(const Message* m, std::vector<uint32_t>* handles) {
    read_handles(m, handles);
}
void parse_req_Start(const Message* m, std::vector<uint32_t>* handles) {
    read_handles(m, handles);
}
void parse_req_Stop(const Message* m, std::vector<uint32_t>* handles) {
    read_handles(m, handles);
}
void parse_req_ClearResult(const Message* m, std::vector<uint32_t>* handles) {
    read_handles(m, handles);
}
void create_resp_RemoveResponder(Message* m) {
    empty_response(m, request::RemoveResponder);
}
void create_resp_Start(Message* m) {
    empty_response(m, request::Start);
}
void create_resp_Stop(Message* m) {
    empty_response(m, request::Stop);
}
void create_resp_ClearResult(Message* m) {
    empty_response(m, request::ClearResult);
}
void parse_resp_RemoveResponder(const Message* m) {
    expect_type(m, TMT_RESPONSE);
}
void parse_resp_Start(const Message* m) {
    expect_type(m, TMT_RESPONSE);
}
void parse_resp_Stop(const Message* m) {
    expect_type(m, TMT_RESPONSE);
}
void parse_resp_ClearResult(const Message* m) {
    expect_type(m, TMT_RESPONSE);
}

// Statistics ------------------------------------------------------------------------------------

namespace st = Stats_1_bll;

void create_req_DoSQL(Message* m, const std::vector<std::string>& commands, bool copy) {
    carried(m, request::DoSQL, [&] { st::create_req_DoSQL(m, commands, copy); });
}
void create_req_DoSQLFaster(Message* m, const std::vector<std::string>& commands, bool copy) {
    carried(m, request::DoSQLFaster, [&] { st::create_req_DoSQLFaster(m, commands, copy); });
}
void create_req_DoSQLDatabase(Message* m, const std::string& dbName,
                              const std::vector<std::string>& commands, bool copy) {
    carried(m, request::DoSQLDatabase,
            [&] { st::create_req_DoSQLDatabase(m, dbName, commands, copy); });
}
void create_req_DoSQLDatabaseFaster(Message* m, const std::string& dbName,
                                    const std::vector<std::string>& commands, bool copy) {
    carried(m, request::DoSQLDatabaseFaster,
            [&] { st::create_req_DoSQLDatabaseFaster(m, dbName, commands, copy); });
}
void create_req_RequestDoSQLNotification(Message* m, uint32_t id, uint32_t intervalMS,
                                         const std::vector<std::string>& commands, bool copy) {
    carried(m, request::RequestDoSQLNotification,
            [&] { st::create_req_RequestDoSQLNotification(m, id, intervalMS, commands, copy); });
}
void create_req_RequestDoSQLNotificationFaster(Message* m, uint32_t id, uint32_t intervalMS,
                                               const std::vector<std::string>& commands,
                                               bool copy) {
    carried(m, request::RequestDoSQLNotificationFaster, [&] {
        st::create_req_RequestDoSQLNotificationFaster(m, id, intervalMS, commands, copy);
    });
}
void create_req_DeleteDoSQLNotification(Message* m, uint32_t id, bool copy) {
    carried(m, request::DeleteDoSQLNotification,
            [&] { st::create_req_DeleteDoSQLNotification(m, id, copy); });
}
void create_req_DeleteDoSQLNotificationFaster(Message* m, uint32_t id, bool copy) {
    carried(m, request::DeleteDoSQLNotificationFaster,
            [&] { st::create_req_DeleteDoSQLNotificationFaster(m, id, copy); });
}
void create_req_EnableDoSQLNotification(Message* m, uint32_t id, bool enable, bool copy) {
    carried(m, request::EnableDoSQLNotification,
            [&] { st::create_req_EnableDoSQLNotification(m, id, enable, copy); });
}
void create_req_EnableDoSQLNotificationFaster(Message* m, uint32_t id, bool enable, bool copy) {
    carried(m, request::EnableDoSQLNotificationFaster,
            [&] { st::create_req_EnableDoSQLNotificationFaster(m, id, enable, copy); });
}
void create_req_RequestTableEventNotification(Message* m, uint32_t id, uint32_t intervalMS,
                                              const st::tableEventProperties_s& props, bool copy) {
    carried(m, request::RequestTableEventNotification,
            [&] { st::create_req_RequestTableEventNotification(m, id, intervalMS, props, copy); });
}
void create_req_DeleteTableEventNotification(Message* m, uint32_t id, bool copy) {
    carried(m, request::DeleteTableEventNotification,
            [&] { st::create_req_DeleteTableEventNotification(m, id, copy); });
}
void create_req_EnableTableEventNotification(Message* m, uint32_t id, bool enable, bool copy) {
    carried(m, request::EnableTableEventNotification,
            [&] { st::create_req_EnableTableEventNotification(m, id, enable, copy); });
}

void create_req_DoSQLNotify(Message* m, uint32_t id,
                            const std::vector<st::commandResult_s>& results, bool copy) {
    carried(m, request::DoSQLNotify, [&] { st::create_req_DoSQLNotify(m, id, results, copy); });
}
void create_req_DoSQLNotifyFaster(Message* m, uint32_t id,
                                  const std::vector<st::commandResultFaster_s>& results,
                                  bool copy) {
    carried(m, request::DoSQLNotifyFaster,
            [&] { st::create_req_DoSQLNotifyFaster(m, id, results, copy); });
}
void create_req_TableEventNotify(Message* m, uint32_t id, const st::tableEventData_s& data,
                                 bool copy) {
    carried(m, request::TableEventNotify,
            [&] { st::create_req_TableEventNotify(m, id, data, copy); });
}
void parse_req_DoSQLNotify(const Message* m, uint32_t* id,
                           std::vector<st::commandResult_s>* results) {
    st::parse_req_DoSQLNotify(m, id, results);
}
void parse_req_DoSQLNotifyFaster(const Message* m, uint32_t* id,
                                 std::vector<st::commandResultFaster_s>* results) {
    st::parse_req_DoSQLNotifyFaster(m, id, results);
}
void parse_req_TableEventNotify(const Message* m, uint32_t* id, st::tableEventData_s* data) {
    st::parse_req_TableEventNotify(m, id, data);
}

// Interface setup -------------------------------------------------------------------------------

namespace ifs = IFSETUP_1_bll;

void create_req_SetInterfaceLibParams(Message* m, const std::vector<ifs::ifSetupLibParam_t>& params,
                                      bool copy) {
    carried(m, request::SetInterfaceLibParams,
            [&] { ifs::create_req_SetInterfaceLibParams(m, params, copy); });
}
void create_req_GetInterfaceLibParams(Message* m,
                                      const std::vector<ifs::ifSetupLibParamType_t>& types,
                                      bool copy) {
    carried(m, request::GetInterfaceLibParams,
            [&] { ifs::create_req_GetInterfaceLibParams(m, types, copy); });
}
void create_req_ConfigInterfaces(Message* m,
                                 const std::vector<ifs::NetworkInterfaceStack_s>& stacks,
                                 bool copy) {
    carried(m, request::ConfigInterfaces,
            [&] { ifs::create_req_ConfigInterfaces(m, stacks, copy); });
}
void create_req_ConfigInterfacesWithIlHandle(
    Message* m, const std::vector<uint32_t>& ilHandles,
    const std::vector<ifs::NetworkInterfaceStack_s>& stacks, const std::vector<uint32_t>& options,
    bool copy) {
    carried(m, request::ConfigInterfacesWithIlHandle, [&] {
        ifs::create_req_ConfigInterfacesWithIlHandle(m, ilHandles, stacks, options, copy);
    });
}
void create_req_DeleteInterfaces(Message* m, const std::vector<uint32_t>& ilHandles, bool copy) {
    carried(m, request::DeleteInterfaces,
            [&] { ifs::create_req_DeleteInterfaces(m, ilHandles, copy); });
}
void create_req_GetInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy) {
    carried(m, request::GetInterfaces, [&] { ifs::create_req_GetInterfaces(m, ifHandles, copy); });
}
void create_req_GetStackedInterfaces(Message* m, const std::vector<uint32_t>& ifHandles,
                                     bool copy) {
    carried(m, request::GetStackedInterfaces,
            [&] { ifs::create_req_GetStackedInterfaces(m, ifHandles, copy); });
}
void create_req_UpdateInterfaces(Message* m, const std::vector<uint32_t>& ifHandles,
                                 const std::vector<ifs::NetworkInterfaceStack_s>& stacks,
                                 const std::vector<uint32_t>& options, bool copy) {
    carried(m, request::UpdateInterfaces,
            [&] { ifs::create_req_UpdateInterfaces(m, ifHandles, stacks, options, copy); });
}
void create_req_AttachInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy) {
    carried(m, request::AttachInterfaces,
            [&] { ifs::create_req_AttachInterfaces(m, ifHandles, copy); });
}
void create_req_DetachInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy) {
    carried(m, request::DetachInterfaces,
            [&] { ifs::create_req_DetachInterfaces(m, ifHandles, copy); });
}
void create_req_SetGroupMembership(Message* m, const std::vector<ifs::GroupMemberConfig_s>& configs,
                                   bool copy) {
    carried(m, request::SetGroupMembership,
            [&] { ifs::create_req_SetGroupMembership(m, configs, copy); });
}

}  // namespace responder_1_bll
