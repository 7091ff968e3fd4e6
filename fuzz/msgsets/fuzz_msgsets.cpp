// Decodes arbitrary bytes and hands the message to every reader of the message sets: each must
// either read it or refuse it with Tm_exception, never crash, hang or allocate without bound.
// What a reader accepts must survive being built again and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <orx/msglib/Codec.h>
#include "../FuzzMessages.h"
#include "responder_1.h"

namespace {

using fuzz::broken;

template <class F>
void attempt(F f) {
    try {
        f();
    } catch (const Tm_exception&) {
    }
}

// Reads with parse, rebuilds with build, reads again: the two reads must agree.
template <class T, class Parse, class Build>
void stable(const Message& m, Parse parse, Build build) {
    T first{};
    try {
        parse(&m, &first);
    } catch (const Tm_exception&) {
        return;
    }
    Message again;
    build(&again, first);
    Message decoded = msglib::decode(msglib::encode(again));
    T second{};
    parse(&decoded, &second);
    if (!(first == second)) {
        broken("a record read from a message reads back differently after a rebuild");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::optional<Message> decoded = fuzz::DecodeInput(data, size);
    if (!decoded)
        return 0;
    const Message& m = *decoded;
    using namespace responder_1_bll;
    namespace st = Stats_1_bll;
    namespace ifs = IFSETUP_1_bll;
    uint32_t id = 0, interval = 0;
    bool enable = false;
    std::string db;
    std::vector<uint32_t> u32a, u32b;
    std::vector<std::string> commands;
    std::vector<st::commandResult_s> results;
    std::vector<st::commandResultFaster_s> faster;
    st::tableEventData_s event;
    st::tableEventProperties_s props;
    std::vector<ifs::NetworkInterfaceStack_s> stacks;
    std::vector<ifs::ifSetupLibParam_t> params;
    std::vector<ifs::ifSetupLibParamType_t> types;
    std::vector<ifs::GroupMemberConfig_s> groups;

    stable<std::vector<respConfig_s>>(
        m, parse_req_ConfigResponder,
        [](Message* out, const auto& v) { create_req_ConfigResponder(out, v, true); });
    stable<std::vector<errorMsg_s>>(m, parse_resp_ConfigResponder, [](Message* out, const auto& v) {
        create_resp_ConfigResponder(out, v, true);
    });
    stable<std::vector<uint32_t>>(
        m, parse_req_Start, [](Message* out, const auto& v) { create_req_Start(out, v, false); });
    stable<std::vector<st::commandResultFaster_s>>(
        m, [&](const Message* in, auto* out) { st::parse_req_DoSQLNotifyFaster(in, &id, out); },
        [&](Message* out, const auto& v) {
            responder_1_bll::create_req_DoSQLNotifyFaster(out, id, v, true);
        });
    stable<std::vector<st::commandResult_s>>(
        m, st::parse_resp_DoSQL,
        [](Message* out, const auto& v) { st::create_resp_DoSQL(out, v, true); });
    stable<st::tableEventData_s>(
        m, [&](const Message* in, auto* out) { st::parse_req_TableEventNotify(in, &id, out); },
        [&](Message* out, const auto& v) {
            responder_1_bll::create_req_TableEventNotify(out, id, v, true);
        });
    stable<std::vector<ifs::NetworkInterfaceStack_s>>(
        m, ifs::parse_req_ConfigInterfaces, [](Message* out, const auto& v) {
            responder_1_bll::create_req_ConfigInterfaces(out, v, true);
        });
    stable<std::vector<ifs::ifSetupLibParam_t>>(
        m, ifs::parse_req_SetInterfaceLibParams, [](Message* out, const auto& v) {
            responder_1_bll::create_req_SetInterfaceLibParams(out, v, true);
        });
    stable<std::vector<ifs::GroupMemberConfig_s>>(
        m, ifs::parse_req_SetGroupMembership, [](Message* out, const auto& v) {
            responder_1_bll::create_req_SetGroupMembership(out, v, true);
        });

    const Message* p = &m;
    attempt([&] { parse_resp_RemoveResponder(p); });
    attempt([&] { parse_req_RemoveResponder(p, &u32a); });
    attempt([&] { parse_req_Stop(p, &u32a); });
    attempt([&] { parse_req_ClearResult(p, &u32a); });
    attempt([&] { responder_1_bll::parse_req_DoSQLNotify(p, &id, &results); });
    attempt([&] { responder_1_bll::parse_req_DoSQLNotifyFaster(p, &id, &faster); });
    attempt([&] { responder_1_bll::parse_req_TableEventNotify(p, &id, &event); });
    attempt([&] { st::parse_req_DoSQLDatabaseFaster(p, &db, &commands); });
    attempt([&] { st::parse_resp_DoSQLFaster(p, &faster); });
    attempt([&] { st::parse_resp_DoSQLDatabase(p, &results); });
    attempt([&] { st::parse_req_RequestDoSQLNotificationFaster(p, &id, &interval, &commands); });
    attempt([&] { st::parse_req_EnableDoSQLNotification(p, &id, &enable); });
    attempt([&] { st::parse_req_RequestTableEventNotification(p, &id, &interval, &props); });
    attempt([&] { st::parse_resp_EnableTableEventNotification(p); });
    attempt([&] { ifs::parse_req_GetInterfaceLibParams(p, &types); });
    attempt([&] { ifs::parse_resp_GetInterfaceLibParams(p, &params); });
    attempt([&] { ifs::parse_req_ConfigInterfacesWithIlHandle(p, &u32a, &stacks, &u32b); });
    attempt([&] { ifs::parse_req_UpdateInterfaces(p, &u32a, &stacks, &u32b); });
    attempt([&] { ifs::parse_resp_GetStackedInterfaces(p, &u32a, &stacks); });
    attempt([&] { ifs::parse_resp_ConfigInterfaces(p, &u32a); });
    return 0;
}
