#pragma once

// The interface-setup set: emulated interface stacks, group membership and library parameters,
// and the requests that carry them. It names no requests itself: the responder set carries them
// under "responder_1." names (responder_1.h). Building operations end with `copy` as described
// there; readers replace their outputs only when the whole read succeeds.

#include <cstdint>
#include <string>
#include <vector>

#include <orx/msglib/Message.h>
#include "RecordWire.h"
#include "ifSetup_1.h"

namespace IFSETUP_1_bll {

// Interface kinds; a descriptor names its kind on the wire.
enum InterfaceTypeList_t : int32_t {
    IPv6 = 0,
    IPv4 = 1,
    ETHII = 2,
    VLAN = 3,
    MPLS = 4,
    PPP = 5,
    PPPOE = 6,
    GRE = 7,
    HDLC = 8,
    WIMAX = 9,
    L2TPv2 = 10,
    L2TPv3 = 11,
    ITAG = 12,
    AAL5 = 13,
    FC = 14,
    LISP = 15,
    GIF = 16,
    STF = 17,
    TRILL = 18,
    VXLAN = 19,
    GROUP = 20
};
extern const tm_enum_map em_InterfaceTypeList_t[];
inline const tm_enum_map* wire_enum_map(InterfaceTypeList_t) {
    return em_InterfaceTypeList_t;
}

enum ifSetupLibParamType_t : int32_t { CREATEDEFAULTROUTE = 0 };
extern const tm_enum_map em_ifSetupLibParamType_t[];
inline const tm_enum_map* wire_enum_map(ifSetupLibParamType_t) {
    return em_ifSetupLibParamType_t;
}

// Request options, bit values of "optionList" entries.
enum ifSetupOptionType_t : uint32_t { DONTCREATEVIF = 1, APPLYGATEWAYMAC = 2, SETARPNOEXPIRE = 4 };
extern const tm_enum_map em_ifSetupOptionType_t[];

// One layer of a stack: its kind and its position in that kind's list.
struct NetworkInterfaceDescriptor_s {
    InterfaceTypeList_t ifType = IPv6;
    uint32_t indexInList = 0;
    bool operator==(const NetworkInterfaceDescriptor_s&) const = default;
};
ORX_MSGSET_RECORD(NetworkInterfaceDescriptor)

struct NetworkInterfaceStack_s {
    std::vector<NetworkInterfaceDescriptor_s> ifDescriptors;
    std::vector<ifSetup_1_bll::Ipv6If_s> Ipv6InterfaceList;
    std::vector<ifSetup_1_bll::Ipv4If_s> Ipv4InterfaceList;
    std::vector<ifSetup_1_bll::EthIIIf_s> EthIIInterfaceList;
    std::vector<ifSetup_1_bll::VlanIf_s> VlanInterfaceList;
    std::vector<ifSetup_1_bll::MplsIf_s> MplsInterfaceList;
    std::vector<ifSetup_1_bll::PppIf_s> PppInterfaceList;
    std::vector<ifSetup_1_bll::PppoeIf_s> PppoeInterfaceList;
    std::vector<ifSetup_1_bll::GreIf_s> GreInterfaceList;
    std::vector<ifSetup_1_bll::HdlcIf_s> HdlcInterfaceList;
    std::vector<ifSetup_1_bll::WimaxIf_s> WimaxInterfaceList;
    std::vector<ifSetup_1_bll::L2tpv2If_s> L2tpv2InterfaceList;
    std::vector<ifSetup_1_bll::L2tpv3If_s> L2tpv3InterfaceList;
    std::vector<ifSetup_1_bll::ItagIf_s> ItagInterfaceList;
    std::vector<ifSetup_1_bll::Aal5If_s> Aal5InterfaceList;
    std::vector<ifSetup_1_bll::FcIf_s> FcInterfaceList;
    std::vector<ifSetup_1_bll::LispIf_s> LispInterfaceList;
    std::vector<ifSetup_1_bll::TrillIf_s> TrillInterfaceList;
    std::vector<ifSetup_1_bll::VxlanIf_s> VxlanInterfaceList;
    std::vector<ifSetup_1_bll::GroupIf_s> GroupInterfaceList;
    bool operator==(const NetworkInterfaceStack_s&) const = default;
};
ORX_MSGSET_RECORD(NetworkInterfaceStack)

struct GroupMember_s {
    uint32_t handle = 0;
    uint32_t role = 0;
    uint32_t portIndex = 0;
    bool operator==(const GroupMember_s&) const = default;
};
ORX_MSGSET_RECORD(GroupMember)

struct GroupMemberConfig_s {
    uint32_t handle = 0;
    std::vector<GroupMember_s> GroupMemberList;
    bool operator==(const GroupMemberConfig_s&) const = default;
};
ORX_MSGSET_RECORD(GroupMemberConfig)

// A library parameter: its type and value. On the wire a plain structure that has the member
// "createDefaultRoute" only for CREATEDEFAULTROUTE.
struct ifSetupLibParam_t {
    ifSetupLibParamType_t type = CREATEDEFAULTROUTE;
    bool createDefaultRoute = false;
    bool operator==(const ifSetupLibParam_t&) const = default;
};
Tm_struct* ifSetupLibParam_t_to_struct(Tm_struct* s, const ifSetupLibParam_t* param,
                                       Tm_catalog<std::string>* catalog);
// Sets the type to CREATEDEFAULTROUTE, and the value only when the member is present.
void ifSetupLibParam_t_from_struct(const Tm_struct* s, ifSetupLibParam_t* param);

// Library parameters.
void create_req_SetInterfaceLibParams(Message* m, const std::vector<ifSetupLibParam_t>& params,
                                      bool copy);
void parse_req_SetInterfaceLibParams(const Message* m, std::vector<ifSetupLibParam_t>* params);
void create_resp_SetInterfaceLibParams(Message* m);
void parse_resp_SetInterfaceLibParams(const Message* m);
void create_req_GetInterfaceLibParams(Message* m, const std::vector<ifSetupLibParamType_t>& types,
                                      bool copy);
void parse_req_GetInterfaceLibParams(const Message* m, std::vector<ifSetupLibParamType_t>* types);
void create_resp_GetInterfaceLibParams(Message* m, const std::vector<ifSetupLibParam_t>& params,
                                       bool copy);
void parse_resp_GetInterfaceLibParams(const Message* m, std::vector<ifSetupLibParam_t>* params);

// Interface stacks. Handle and option lists are unsigned 32-bit arrays.
void create_req_ConfigInterfaces(Message* m, const std::vector<NetworkInterfaceStack_s>& stacks,
                                 bool copy);
void parse_req_ConfigInterfaces(const Message* m, std::vector<NetworkInterfaceStack_s>* stacks);
void create_resp_ConfigInterfaces(Message* m, const std::vector<uint32_t>& ilHandles, bool copy);
void parse_resp_ConfigInterfaces(const Message* m, std::vector<uint32_t>* ilHandles);

void create_req_ConfigInterfacesWithIlHandle(Message* m, const std::vector<uint32_t>& ilHandles,
                                             const std::vector<NetworkInterfaceStack_s>& stacks,
                                             const std::vector<uint32_t>& options, bool copy);
void parse_req_ConfigInterfacesWithIlHandle(const Message* m, std::vector<uint32_t>* ilHandles,
                                            std::vector<NetworkInterfaceStack_s>* stacks,
                                            std::vector<uint32_t>* options);
void create_resp_ConfigInterfacesWithIlHandle(Message* m);
void parse_resp_ConfigInterfacesWithIlHandle(const Message* m);

void create_req_DeleteInterfaces(Message* m, const std::vector<uint32_t>& ilHandles, bool copy);
void parse_req_DeleteInterfaces(const Message* m, std::vector<uint32_t>* ilHandles);
void create_resp_DeleteInterfaces(Message* m);
void parse_resp_DeleteInterfaces(const Message* m);

void create_req_GetInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy);
void parse_req_GetInterfaces(const Message* m, std::vector<uint32_t>* ifHandles);
void create_resp_GetInterfaces(Message* m, const std::vector<uint32_t>& ifHandles,
                               const std::vector<NetworkInterfaceStack_s>& stacks, bool copy);
void parse_resp_GetInterfaces(const Message* m, std::vector<uint32_t>* ifHandles,
                              std::vector<NetworkInterfaceStack_s>* stacks);

void create_req_GetStackedInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy);
void parse_req_GetStackedInterfaces(const Message* m, std::vector<uint32_t>* ifHandles);
void create_resp_GetStackedInterfaces(Message* m, const std::vector<uint32_t>& ifHandles,
                                      const std::vector<NetworkInterfaceStack_s>& stacks,
                                      bool copy);
void parse_resp_GetStackedInterfaces(const Message* m, std::vector<uint32_t>* ifHandles,
                                     std::vector<NetworkInterfaceStack_s>* stacks);

void create_req_UpdateInterfaces(Message* m, const std::vector<uint32_t>& ifHandles,
                                 const std::vector<NetworkInterfaceStack_s>& stacks,
                                 const std::vector<uint32_t>& options, bool copy);
void parse_req_UpdateInterfaces(const Message* m, std::vector<uint32_t>* ifHandles,
                                std::vector<NetworkInterfaceStack_s>* stacks,
                                std::vector<uint32_t>* options);
void create_resp_UpdateInterfaces(Message* m);
void parse_resp_UpdateInterfaces(const Message* m);

void create_req_AttachInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy);
void parse_req_AttachInterfaces(const Message* m, std::vector<uint32_t>* ifHandles);
void create_resp_AttachInterfaces(Message* m);
void parse_resp_AttachInterfaces(const Message* m);

void create_req_DetachInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy);
void parse_req_DetachInterfaces(const Message* m, std::vector<uint32_t>* ifHandles);
void create_resp_DetachInterfaces(Message* m);
void parse_resp_DetachInterfaces(const Message* m);

// Group membership.
void create_req_SetGroupMembership(Message* m, const std::vector<GroupMemberConfig_s>& configs,
                                   bool copy);
void parse_req_SetGroupMembership(const Message* m, std::vector<GroupMemberConfig_s>* configs);
void create_resp_SetGroupMembership(Message* m);
void parse_resp_SetGroupMembership(const Message* m);

}  // namespace IFSETUP_1_bll
