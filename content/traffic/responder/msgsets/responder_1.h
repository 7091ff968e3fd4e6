#pragma once

// The responder message set: the requests the plug-in sends to a test port's responders and the
// answers it reads, plus, under "responder_1." names, the requests of the statistics and
// interface-setup sets.
//
// Every building operation ends with `copy`. With true (what every caller passes: requests travel
// asynchronously) the message keeps its own copy of each number array. With false it borrows the
// caller's vectors, which must then outlive the message, and shows later changes to them.
// Readers replace what their outputs held; they throw Tm_exception (or one of its kinds) naming
// the member that is missing, of the wrong type or of an impossible size, and leave the outputs
// untouched.

#include <cstdint>
#include <string>
#include <vector>

#include <orx/msglib/Message.h>
#include "IFSETUP_1.h"
#include "RecordWire.h"
#include "Stats_1.h"

namespace responder_1_bll {

// The request names of this set, the only place they are written: builders name their messages
// with them and the test port dispatches on them.
namespace request {
inline constexpr const char ConfigResponder[] = "responder_1.ConfigResponder";
inline constexpr const char RemoveResponder[] = "responder_1.RemoveResponder";
inline constexpr const char Start[] = "responder_1.Start";
inline constexpr const char Stop[] = "responder_1.Stop";
inline constexpr const char ClearResult[] = "responder_1.ClearResult";
inline constexpr const char DoSQL[] = "responder_1.DoSQL";
inline constexpr const char DoSQLFaster[] = "responder_1.DoSQLFaster";
inline constexpr const char DoSQLDatabase[] = "responder_1.DoSQLDatabase";
inline constexpr const char DoSQLDatabaseFaster[] = "responder_1.DoSQLDatabaseFaster";
inline constexpr const char RequestDoSQLNotification[] = "responder_1.RequestDoSQLNotification";
inline constexpr const char RequestDoSQLNotificationFaster[] =
    "responder_1.RequestDoSQLNotificationFaster";
inline constexpr const char DeleteDoSQLNotification[] = "responder_1.DeleteDoSQLNotification";
inline constexpr const char DeleteDoSQLNotificationFaster[] =
    "responder_1.DeleteDoSQLNotificationFaster";
inline constexpr const char EnableDoSQLNotification[] = "responder_1.EnableDoSQLNotification";
inline constexpr const char EnableDoSQLNotificationFaster[] =
    "responder_1.EnableDoSQLNotificationFaster";
inline constexpr const char RequestTableEventNotification[] =
    "responder_1.RequestTableEventNotification";
inline constexpr const char DeleteTableEventNotification[] =
    "responder_1.DeleteTableEventNotification";
inline constexpr const char EnableTableEventNotification[] =
    "responder_1.EnableTableEventNotification";
inline constexpr const char DoSQLNotify[] = "responder_1.DoSQLNotify";
inline constexpr const char DoSQLNotifyFaster[] = "responder_1.DoSQLNotifyFaster";
inline constexpr const char TableEventNotify[] = "responder_1.TableEventNotify";
inline constexpr const char SetInterfaceLibParams[] = "responder_1.SetInterfaceLibParams";
inline constexpr const char GetInterfaceLibParams[] = "responder_1.GetInterfaceLibParams";
inline constexpr const char ConfigInterfaces[] = "responder_1.ConfigInterfaces";
inline constexpr const char ConfigInterfacesWithIlHandle[] =
    "responder_1.ConfigInterfacesWithIlHandle";
inline constexpr const char DeleteInterfaces[] = "responder_1.DeleteInterfaces";
inline constexpr const char GetInterfaces[] = "responder_1.GetInterfaces";
inline constexpr const char GetStackedInterfaces[] = "responder_1.GetStackedInterfaces";
inline constexpr const char UpdateInterfaces[] = "responder_1.UpdateInterfaces";
inline constexpr const char AttachInterfaces[] = "responder_1.AttachInterfaces";
inline constexpr const char DetachInterfaces[] = "responder_1.DetachInterfaces";
inline constexpr const char SetGroupMembership[] = "responder_1.SetGroupMembership";
}  // namespace request

// Operation types of a modifier.
enum EnumOperType : uint16_t { SET_VALUE = 16 };
extern const tm_enum_map em_EnumOperType[];

// One patch applied to a response: from Offset on, byte = byte & ~Mask | Value & Mask.
struct FrameResponseModifier_s {
    uint16_t Opcode = SET_VALUE;
    uint32_t Offset = 0;
    std::vector<uint8_t> Mask;
    std::vector<uint8_t> Value;
    bool operator==(const FrameResponseModifier_s&) const = default;
};

// One response: its bytes, the port that sends it and after what delay (microseconds).
struct respProfile_s {
    std::vector<uint8_t> payload;
    uint16_t portIndex = 0;
    uint32_t delay = 0;
    std::vector<FrameResponseModifier_s> modifierArray;
    bool operator==(const respProfile_s&) const = default;
};

// One frame-response configuration on one port.
struct respConfig_s {
    uint32_t configHandle = 0;
    std::string filterExpr;
    uint32_t vifHandle = 0;
    std::vector<respProfile_s> responseArray;
    bool operator==(const respConfig_s&) const = default;
};

// One configuration the port refused, and why.
struct errorMsg_s {
    uint32_t configHandle = 0;
    std::string errorString;
    bool operator==(const errorMsg_s&) const = default;
};

// One row of frame-response counters.
struct FrameResponseResults_s {
    uint64_t PrimaryHandle = 0;
    uint64_t MatchedRxFrameCount = 0;
    uint64_t TxFrameCount = 0;
    uint64_t SecondaryHandle = 0;
    uint32_t RxFrameRate = 0;
    bool operator==(const FrameResponseResults_s&) const = default;
};

ORX_MSGSET_RECORD(FrameResponseModifier)
ORX_MSGSET_RECORD(respProfile)
ORX_MSGSET_RECORD(respConfig)
ORX_MSGSET_RECORD(errorMsg)
ORX_MSGSET_RECORD(FrameResponseResults)

// Configure: "configList" of respConfig_s; the answer carries "errorList" of errorMsg_s.
void create_req_ConfigResponder(Message* m, const std::vector<respConfig_s>& configs, bool copy);
void parse_req_ConfigResponder(const Message* m, std::vector<respConfig_s>* configs);
void create_resp_ConfigResponder(Message* m, const std::vector<errorMsg_s>& errors, bool copy);
void parse_resp_ConfigResponder(const Message* m, std::vector<errorMsg_s>* errors);

// Remove, start, stop, clear results: "handleList" of configuration handles; empty answers.
void create_req_RemoveResponder(Message* m, const std::vector<uint32_t>& handles, bool copy);
void create_req_Start(Message* m, const std::vector<uint32_t>& handles, bool copy);
void create_req_Stop(Message* m, const std::vector<uint32_t>& handles, bool copy);
void create_req_ClearResult(Message* m, const std::vector<uint32_t>& handles, bool copy);
void parse_req_RemoveResponder(const Message* m, std::vector<uint32_t>* handles);
void parse_req_Start(const Message* m, std::vector<uint32_t>* handles);
void parse_req_Stop(const Message* m, std::vector<uint32_t>* handles);
void parse_req_ClearResult(const Message* m, std::vector<uint32_t>* handles);
void create_resp_RemoveResponder(Message* m);
void create_resp_Start(Message* m);
void create_resp_Stop(Message* m);
void create_resp_ClearResult(Message* m);
void parse_resp_RemoveResponder(const Message* m);
void parse_resp_Start(const Message* m);
void parse_resp_Stop(const Message* m);
void parse_resp_ClearResult(const Message* m);

// Statistics requests under their "responder_1." names (members and answers: Stats_1.h).
void create_req_DoSQL(Message* m, const std::vector<std::string>& commands, bool copy);
void create_req_DoSQLFaster(Message* m, const std::vector<std::string>& commands, bool copy);
void create_req_DoSQLDatabase(Message* m, const std::string& dbName,
                              const std::vector<std::string>& commands, bool copy);
void create_req_DoSQLDatabaseFaster(Message* m, const std::string& dbName,
                                    const std::vector<std::string>& commands, bool copy);
void create_req_RequestDoSQLNotification(Message* m, uint32_t id, uint32_t intervalMS,
                                         const std::vector<std::string>& commands, bool copy);
void create_req_RequestDoSQLNotificationFaster(Message* m, uint32_t id, uint32_t intervalMS,
                                               const std::vector<std::string>& commands, bool copy);
void create_req_DeleteDoSQLNotification(Message* m, uint32_t id, bool copy);
void create_req_DeleteDoSQLNotificationFaster(Message* m, uint32_t id, bool copy);
void create_req_EnableDoSQLNotification(Message* m, uint32_t id, bool enable, bool copy);
void create_req_EnableDoSQLNotificationFaster(Message* m, uint32_t id, bool enable, bool copy);
void create_req_RequestTableEventNotification(Message* m, uint32_t id, uint32_t intervalMS,
                                              const Stats_1_bll::tableEventProperties_s& props,
                                              bool copy);
void create_req_DeleteTableEventNotification(Message* m, uint32_t id, bool copy);
void create_req_EnableTableEventNotification(Message* m, uint32_t id, bool enable, bool copy);

// Notifications the port sends ("responder_1.DoSQLNotify" ...) and their readers, which hand the
// message to the statistics set.
void create_req_DoSQLNotify(Message* m, uint32_t id,
                            const std::vector<Stats_1_bll::commandResult_s>& results, bool copy);
void create_req_DoSQLNotifyFaster(Message* m, uint32_t id,
                                  const std::vector<Stats_1_bll::commandResultFaster_s>& results,
                                  bool copy);
void create_req_TableEventNotify(Message* m, uint32_t id, const Stats_1_bll::tableEventData_s& data,
                                 bool copy);
void parse_req_DoSQLNotify(const Message* m, uint32_t* id,
                           std::vector<Stats_1_bll::commandResult_s>* results);
void parse_req_DoSQLNotifyFaster(const Message* m, uint32_t* id,
                                 std::vector<Stats_1_bll::commandResultFaster_s>* results);
void parse_req_TableEventNotify(const Message* m, uint32_t* id,
                                Stats_1_bll::tableEventData_s* data);

// Interface-setup requests under their "responder_1." names (members and answers: IFSETUP_1.h).
void create_req_SetInterfaceLibParams(Message* m,
                                      const std::vector<IFSETUP_1_bll::ifSetupLibParam_t>& params,
                                      bool copy);
void create_req_GetInterfaceLibParams(
    Message* m, const std::vector<IFSETUP_1_bll::ifSetupLibParamType_t>& types, bool copy);
void create_req_ConfigInterfaces(Message* m,
                                 const std::vector<IFSETUP_1_bll::NetworkInterfaceStack_s>& stacks,
                                 bool copy);
void create_req_ConfigInterfacesWithIlHandle(
    Message* m, const std::vector<uint32_t>& ilHandles,
    const std::vector<IFSETUP_1_bll::NetworkInterfaceStack_s>& stacks,
    const std::vector<uint32_t>& options, bool copy);
void create_req_DeleteInterfaces(Message* m, const std::vector<uint32_t>& ilHandles, bool copy);
void create_req_GetInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy);
void create_req_GetStackedInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy);
void create_req_UpdateInterfaces(Message* m, const std::vector<uint32_t>& ifHandles,
                                 const std::vector<IFSETUP_1_bll::NetworkInterfaceStack_s>& stacks,
                                 const std::vector<uint32_t>& options, bool copy);
void create_req_AttachInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy);
void create_req_DetachInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy);
void create_req_SetGroupMembership(Message* m,
                                   const std::vector<IFSETUP_1_bll::GroupMemberConfig_s>& configs,
                                   bool copy);

}  // namespace responder_1_bll
