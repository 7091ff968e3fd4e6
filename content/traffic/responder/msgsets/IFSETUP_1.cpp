#include "IFSETUP_1.h"

namespace IFSETUP_1_bll {

using namespace msgsets::wire;

const tm_enum_map em_InterfaceTypeList_t[] = {
    {0, "IPv6"},   {1, "IPv4"},   {2, "ETHII"},  {3, "VLAN"},  {4, "MPLS"},    {5, "PPP"},
    {6, "PPPOE"},  {7, "GRE"},    {8, "HDLC"},   {9, "WIMAX"}, {10, "L2TPv2"}, {11, "L2TPv3"},
    {12, "ITAG"},  {13, "AAL5"},  {14, "FC"},    {15, "LISP"}, {16, "GIF"},    {17, "STF"},
    {18, "TRILL"}, {19, "VXLAN"}, {20, "GROUP"}, {0, nullptr}};
const tm_enum_map em_ifSetupLibParamType_t[] = {{0, "CREATEDEFAULTROUTE"}, {0, nullptr}};
const tm_enum_map em_ifSetupOptionType_t[] = {
    {1, "DONTCREATEVIF"}, {2, "APPLYGATEWAYMAC"}, {4, "SETARPNOEXPIRE"}, {0, nullptr}};

ORX_MSGSET_RECORD_WIRE(NetworkInterfaceDescriptor, ifType, indexInList)
ORX_MSGSET_RECORD_WIRE(NetworkInterfaceStack, ifDescriptors, Ipv6InterfaceList, Ipv4InterfaceList,
                       EthIIInterfaceList, VlanInterfaceList, MplsInterfaceList, PppInterfaceList,
                       PppoeInterfaceList, GreInterfaceList, HdlcInterfaceList, WimaxInterfaceList,
                       L2tpv2InterfaceList, L2tpv3InterfaceList, ItagInterfaceList,
                       Aal5InterfaceList, FcInterfaceList, LispInterfaceList, TrillInterfaceList,
                       VxlanInterfaceList, GroupInterfaceList)
ORX_MSGSET_RECORD_WIRE(GroupMember, handle, role, portIndex)
ORX_MSGSET_RECORD_WIRE(GroupMemberConfig, handle, GroupMemberList)

namespace {
constexpr const char* kCreateDefaultRoute = "createDefaultRoute";
}

Tm_struct* ifSetupLibParam_t_to_struct(Tm_struct* s, const ifSetupLibParam_t* param,
                                       Tm_catalog<std::string>* catalog) {
    if (s == nullptr || param == nullptr) {
        throw Tm_exception("ifSetupLibParam_t: no structure or parameter given");
    }
    if (param->type == CREATEDEFAULTROUTE) {
        s->add_member(kCreateDefaultRoute, param->createDefaultRoute, catalog);
    }
    return s;
}

void ifSetupLibParam_t_from_struct(const Tm_struct* s, ifSetupLibParam_t* param) {
    if (s == nullptr || param == nullptr) {
        throw Tm_exception("ifSetupLibParam_t: no structure or parameter given");
    }
    param->type = CREATEDEFAULTROUTE;
    if (const Tm_value* v = s->find_member(kCreateDefaultRoute)) {
        read_value(*v, Where{kCreateDefaultRoute, "ifSetupLibParam_t"}, &param->createDefaultRoute);
    }
}

// Library parameters travel as plain structures, not through a member-name table.
Tm_value* make_value(const std::vector<ifSetupLibParam_t>& params, bool, Catalog* catalog,
                     Tm_arena*) {
    auto array = std::make_unique<Tm_array>();
    array->reserve(static_cast<int>(params.size()));
    for (const ifSetupLibParam_t& p : params) {
        auto s = std::make_unique<Tm_struct>(catalog);
        ifSetupLibParam_t_to_struct(s.get(), &p, catalog);
        array->add_member_and_own(s.release());
    }
    return array.release();
}

void read_value(const Tm_value& value, const Where& where, std::vector<ifSetupLibParam_t>* out) {
    const Tm_array& a = as_array(value, where);
    const int n = checked_count(a, where);
    out->clear();
    out->reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        ifSetupLibParam_t_from_struct(&struct_element(a, i, where), &out->emplace_back());
    }
}

// Requests are named by the carrying set, so nothing here sets a request name.
constexpr const char* kUnnamed = nullptr;

#define ORX_IFSETUP_EMPTY_ANSWER(Name)          \
    void create_resp_##Name(Message* m) {       \
        build(m, TMT_RESPONSE, kUnnamed, true); \
    }                                           \
    void parse_resp_##Name(const Message* m) {  \
        expect_type(m, TMT_RESPONSE);           \
    }
ORX_IFSETUP_EMPTY_ANSWER(SetInterfaceLibParams)
ORX_IFSETUP_EMPTY_ANSWER(ConfigInterfacesWithIlHandle)
ORX_IFSETUP_EMPTY_ANSWER(DeleteInterfaces)
ORX_IFSETUP_EMPTY_ANSWER(UpdateInterfaces)
ORX_IFSETUP_EMPTY_ANSWER(AttachInterfaces)
ORX_IFSETUP_EMPTY_ANSWER(DetachInterfaces)
ORX_IFSETUP_EMPTY_ANSWER(SetGroupMembership)
#undef ORX_IFSETUP_EMPTY_ANSWER

void create_req_SetInterfaceLibParams(Message* m, const std::vector<ifSetupLibParam_t>& params,
                                      bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "paramList", params);
}
void parse_req_SetInterfaceLibParams(const Message* m, std::vector<ifSetupLibParam_t>* params) {
    get_all(m, "paramList", params);
}
void create_req_GetInterfaceLibParams(Message* m, const std::vector<ifSetupLibParamType_t>& types,
                                      bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "paramTypeList", types);
}
void parse_req_GetInterfaceLibParams(const Message* m, std::vector<ifSetupLibParamType_t>* types) {
    get_all(m, "paramTypeList", types);
}
void create_resp_GetInterfaceLibParams(Message* m, const std::vector<ifSetupLibParam_t>& params,
                                       bool copy) {
    build(m, TMT_RESPONSE, kUnnamed, copy, "paramList", params);
}
void parse_resp_GetInterfaceLibParams(const Message* m, std::vector<ifSetupLibParam_t>* params) {
    expect_type(m, TMT_RESPONSE);
    get_all(m, "paramList", params);
}

void create_req_ConfigInterfaces(Message* m, const std::vector<NetworkInterfaceStack_s>& stacks,
                                 bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "ifStackList", stacks);
}
void parse_req_ConfigInterfaces(const Message* m, std::vector<NetworkInterfaceStack_s>* stacks) {
    get_all(m, "ifStackList", stacks);
}
void create_resp_ConfigInterfaces(Message* m, const std::vector<uint32_t>& ilHandles, bool copy) {
    build(m, TMT_RESPONSE, kUnnamed, copy, "ilHandleList", ilHandles);
}
void parse_resp_ConfigInterfaces(const Message* m, std::vector<uint32_t>* ilHandles) {
    expect_type(m, TMT_RESPONSE);
    get_all(m, "ilHandleList", ilHandles);
}

void create_req_ConfigInterfacesWithIlHandle(Message* m, const std::vector<uint32_t>& ilHandles,
                                             const std::vector<NetworkInterfaceStack_s>& stacks,
                                             const std::vector<uint32_t>& options, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "ilHandleList", ilHandles, "ifStackList", stacks,
          "optionList", options);
}
void parse_req_ConfigInterfacesWithIlHandle(const Message* m, std::vector<uint32_t>* ilHandles,
                                            std::vector<NetworkInterfaceStack_s>* stacks,
                                            std::vector<uint32_t>* options) {
    get_all(m, "ilHandleList", ilHandles, "ifStackList", stacks, "optionList", options);
}

void create_req_DeleteInterfaces(Message* m, const std::vector<uint32_t>& ilHandles, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "ilHandleList", ilHandles);
}
void parse_req_DeleteInterfaces(const Message* m, std::vector<uint32_t>* ilHandles) {
    get_all(m, "ilHandleList", ilHandles);
}

void create_req_GetInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "ifHandleList", ifHandles);
}
void parse_req_GetInterfaces(const Message* m, std::vector<uint32_t>* ifHandles) {
    get_all(m, "ifHandleList", ifHandles);
}
void create_resp_GetInterfaces(Message* m, const std::vector<uint32_t>& ifHandles,
                               const std::vector<NetworkInterfaceStack_s>& stacks, bool copy) {
    build(m, TMT_RESPONSE, kUnnamed, copy, "ifHandleList", ifHandles, "ifStackList", stacks);
}
void parse_resp_GetInterfaces(const Message* m, std::vector<uint32_t>* ifHandles,
                              std::vector<NetworkInterfaceStack_s>* stacks) {
    expect_type(m, TMT_RESPONSE);
    get_all(m, "ifHandleList", ifHandles, "ifStackList", stacks);
}

void create_req_GetStackedInterfaces(Message* m, const std::vector<uint32_t>& ifHandles,
                                     bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "ifHandleList", ifHandles);
}
void parse_req_GetStackedInterfaces(const Message* m, std::vector<uint32_t>* ifHandles) {
    get_all(m, "ifHandleList", ifHandles);
}
void create_resp_GetStackedInterfaces(Message* m, const std::vector<uint32_t>& ifHandles,
                                      const std::vector<NetworkInterfaceStack_s>& stacks,
                                      bool copy) {
    build(m, TMT_RESPONSE, kUnnamed, copy, "ifHandleList", ifHandles, "ifStackList", stacks);
}
void parse_resp_GetStackedInterfaces(const Message* m, std::vector<uint32_t>* ifHandles,
                                     std::vector<NetworkInterfaceStack_s>* stacks) {
    expect_type(m, TMT_RESPONSE);
    get_all(m, "ifHandleList", ifHandles, "ifStackList", stacks);
}

void create_req_UpdateInterfaces(Message* m, const std::vector<uint32_t>& ifHandles,
                                 const std::vector<NetworkInterfaceStack_s>& stacks,
                                 const std::vector<uint32_t>& options, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "ifHandleList", ifHandles, "ifStackList", stacks,
          "optionList", options);
}
void parse_req_UpdateInterfaces(const Message* m, std::vector<uint32_t>* ifHandles,
                                std::vector<NetworkInterfaceStack_s>* stacks,
                                std::vector<uint32_t>* options) {
    get_all(m, "ifHandleList", ifHandles, "ifStackList", stacks, "optionList", options);
}

void create_req_AttachInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "ifHandleList", ifHandles);
}
void parse_req_AttachInterfaces(const Message* m, std::vector<uint32_t>* ifHandles) {
    get_all(m, "ifHandleList", ifHandles);
}
void create_req_DetachInterfaces(Message* m, const std::vector<uint32_t>& ifHandles, bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "ifHandleList", ifHandles);
}
void parse_req_DetachInterfaces(const Message* m, std::vector<uint32_t>* ifHandles) {
    get_all(m, "ifHandleList", ifHandles);
}

void create_req_SetGroupMembership(Message* m, const std::vector<GroupMemberConfig_s>& configs,
                                   bool copy) {
    build(m, TMT_REQUEST, kUnnamed, copy, "groupConfigList", configs);
}
void parse_req_SetGroupMembership(const Message* m, std::vector<GroupMemberConfig_s>* configs) {
    get_all(m, "groupConfigList", configs);
}

}  // namespace IFSETUP_1_bll
