#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "MsgsetTest.h"
#include "responder_1.h"

namespace {

using namespace IFSETUP_1_bll;
namespace ifs = ifSetup_1_bll;
using msgsets_test::error_of;
using msgsets_test::layout;
using msgsets_test::over_wire;
using msgsets_test::record_round_trip;
using msgsets_test::wire_layout;

// Member names and kinds of every interface record and shared part, in wire order.
const std::pair<const char*, const char*> kExpectedLayouts[] = {
    {"NetworkEndpoint", ""},
    {"EmulatedIf", "NetworkEndpoint:struct IsRange:bool IsDirectlyConnected:bool"},
    {"NetworkInterface",
     "EmulatedIf:struct IfCountPerLowerIf:uint32 IfRecycleCount:uint32 TotalCount:uint32 "
     "BllHandle:uint32 AffiliatedInterface:uint32"},
    {"NetworkBlock",
     "NetworkEndpoint:struct NetworkCount:uint32 AddrIncrement:uint32 "
     "AddrIncrementPerRouter:uint32 NetworkInterfaceWithIpList:bool "
     "AddrModifierTypePerDevice:uint8"},
    {"Ipv4NetworkBlock", "NetworkBlock:struct StartIpList:array PrefixLength:uint8"},
    {"Ipv6NetworkBlock", "NetworkBlock:struct StartIpList:array PrefixLength:uint8"},
    {"MacBlock", "NetworkBlock:struct StartMacList:array Offset:uint8 PrefixLength:uint8[]"},
    {"VlanBlock", "NetworkBlock:struct StartVlanList:uint16[] Priority:uint8 Cfi:uint8"},
    {"Ipv6If",
     "NetworkInterface:struct Address:struct AddrStep:struct AddrStepMask:struct SkipReserved:bool "
     "AddrList:array AddrRepeatCount:uint32 PrefixLength:uint8 EnableGatewayLearning:bool "
     "Gateway:struct GatewayStep:struct GatewayRepeatCount:uint32 GatewayList:array "
     "GatewayRecycleCount:uint32 ResolveGatewayMac:bool GatewayMac:struct HopLimit:uint8 "
     "TrafficClass:uint8 FlowLabel:uint32 Ipv6TunnelGateway:struct VpnSiteType:uint8 "
     "VpnSiteId:uint64 AddrIncrementPerRouter:uint32"},
    {"Ipv4If",
     "NetworkInterface:struct Address:struct AddrStep:struct AddrStepMask:struct SkipReserved:bool "
     "AddrList:array AddrRepeatCount:uint32 PrefixLength:uint8 EnableGatewayLearning:bool "
     "Gateway:struct GatewayStep:struct GatewayRepeatCount:uint32 GatewayRecycleCount:uint32 "
     "GatewayList:array ResolveGatewayMac:bool GatewayMac:struct Ttl:uint8 Tos:uint8 "
     "Ipv4TunnelGateway:struct VpnSiteType:uint8 VpnSiteId:uint64 AddrIncrementPerRouter:uint32"},
    {"EthIIIf",
     "NetworkInterface:struct SourceMac:struct SrcMacStep:struct SrcMacList:array "
     "SrcMacStepMask:struct SrcMacRepeatCount:uint32 VpnSiteType:uint8 VpnSiteId:uint64"},
    {"VlanIf",
     "NetworkInterface:struct VlanId:uint16 IdStep:int16 IdList:uint16[] IdRepeatCount:uint16 "
     "Priority:uint8 Cfi:uint8 Tpid:uint16"},
    {"MplsIf",
     "NetworkInterface:struct Label:uint32 LabelResolveState:uint8 LabelStep:int32 "
     "LabelList:uint32[] LabelRepeatCount:uint16 ExperimentalBits:uint8 TTL:uint8 StackBit:uint8 "
     "DstMac:struct DstMacList:array EvpnMplsIRBMode:uint8 BindCount:uint32 PassThrough:bool "
     "IsEntropyIf:bool"},
    {"PppIf", "NetworkInterface:struct ProtocolId:uint16"},
    {"PppoeIf",
     "NetworkInterface:struct SessionId:uint16 SessionIdStep:int16 SessionIdList:uint16[] "
     "SessionIdRepeatCount:uint16 PeerMacAddr:struct PeerMacAddrList:array"},
    {"GreIf",
     "NetworkInterface:struct ChecksumEnabled:bool InFlowKeyFieldEnabled:bool "
     "RxFlowKeyField:uint32 OutFlowKeyFieldEnabled:bool TxFlowKeyField:uint32 SeqNumEnabled:bool "
     "RemoteTunnelEndPointV4:struct RemoteTunnelEndPointV6:struct "
     "RemoteTunnelEndPointV4Step:struct RemoteTunnelEndPointV6Step:struct EnableKeepAlive:bool "
     "KeepAlivePeriod:uint16 KeepAliveRetryCount:uint8"},
    {"HdlcIf", "NetworkInterface:struct ProtocolType:uint16"},
    {"WimaxIf",
     "NetworkInterface:struct SsMac:struct SsMacStep:struct SsMacList:array SsMacStepMask:struct "
     "SsMacRepeatCount:uint32 TransceiverMac:struct SecondMgmtCid:uint16"},
    {"L2tpv2If",
     "NetworkInterface:struct UseIpv4:bool RemoteIpv4Addr:struct RemoteIpv4AddrStep:struct "
     "RemoteIpv4AddrStepMask:struct RemoteIpv4AddrRepeatCount:uint32 RemoteIpv4AddrList:array "
     "RemoteIpv6Addr:struct RemoteIpv6AddrStep:struct RemoteIpv6AddrStepMask:struct "
     "RemoteIpv6AddrRepeatCount:uint32 RemoteIpv6AddrList:array LocalTunnelId:uint16 "
     "LocalTunnelIdStep:int16 LocalTunnelIdRepeatCount:uint32 LocalTunnelIdList:uint16[] "
     "LocalSessionId:uint16 LocalSessionIdStep:int16 LocalSessionIdRepeatCount:uint32 "
     "LocalSessionIdList:uint16[] RemoteTunnelIdList:uint16[] RemoteSessionIdList:uint16[] "
     "UdpChecksumEnabled:bool UdpSrcPort:uint16 UdpSrcPortStep:int16 UdpSrcPortRepeatCount:uint32 "
     "UdpSrcPortList:uint16[] UdpDstPortList:uint16[] UseSeq:bool UseLength:bool UseOffset:bool "
     "UsePriority:bool"},
    {"L2tpv3If",
     "NetworkInterface:struct UseIpv4:bool UseUdp:bool RemoteIpv4Addr:struct "
     "RemoteIpv4AddrStep:struct RemoteIpv4AddrStepMask:struct RemoteIpv4AddrRepeatCount:uint32 "
     "RemoteIpv4AddrList:array RemoteIpv6Addr:struct RemoteIpv6AddrStep:struct "
     "RemoteIpv6AddrStepMask:struct RemoteIpv6AddrRepeatCount:uint32 RemoteIpv6AddrList:array "
     "LocalSessionId:uint32 LocalSessionIdStep:int32 LocalSessionIdRepeatCount:uint32 "
     "LocalSessionIdList:uint32[] RemoteSessionIdList:uint32[] UdpChecksumEnabled:bool "
     "UdpSrcPort:uint16 UdpSrcPortStep:int16 UdpSrcPortRepeatCount:uint32 UdpSrcPortList:uint16[] "
     "UdpDstPortList:uint16[]"},
    {"ItagIf",
     "NetworkInterface:struct Isid:uint32 IsidStep:int32 IsidList:uint32[] IsidRepeatCount:uint32 "
     "IsidCount:uint32 PbbEnabledVRF:bool PbbBackboneSrcMacCount:uint32 "
     "PbbBackboneDstMacCount:uint32 PbbBackboneDstMacStep:struct "
     "PbbBackboneDstMacPrefixLength:uint8 Priority:uint8 DropEligible:bool "
     "UseCustomerAddresses:bool ReservedBits1:uint8 ReservedBits2:uint8 BackboneDstMac:struct "
     "PbbBackboneSrcMac:struct PbbBackboneDstMac:struct"},
    {"Aal5If",
     "NetworkInterface:struct Gfc:uint8 Vpi:uint16 VpiStep:int16 VpiStepMask:uint16 "
     "VpiList:uint16[] VpiRepeatCount:uint32 Vci:uint16 VciStep:int16 VciStepMask:uint16 "
     "VciList:uint16[] VciRepeatCount:uint32 VciRecycleCount:uint32 PtiCell:uint8 "
     "PtiCongestion:uint8 Clp:uint8 Uu:uint8 Cpi:uint8 VcEncapsulation:uint8"},
    {"FcIf",
     "NetworkInterface:struct WorldWideName:struct WorldWideNameStep:struct "
     "WorldWideNameList:array WorldWideNameRepeatCount:uint32 WorldWideNameStepMask:struct "
     "FcId:uint32 PeerFcId:uint32 PeerMac:struct GrantedMac:struct FcIdList:uint32[] "
     "PeerFcIdList:uint32[] GrantedMacList:array UseGrantedVlanId:bool GrantedVlanId:uint16 "
     "UseDstMacFromSink:bool"},
    {"LispIf",
     "NetworkInterface:struct EtrIpv4AddrList:array EtrIpv6AddrList:array "
     "EtrAddrResolveState:uint8"},
    {"TrillIf", "NetworkInterface:struct"},
    {"VxlanIf",
     "NetworkInterface:struct Vni:uint32 VniStep:int32 VniCount:int32 VniList:uint32[] "
     "VniRepeatCount:uint16 AutoSelectUdpSrcPort:bool UdpSrcPort:uint16 UdpDstPort:uint16 "
     "UdpChecksumEnabled:bool VtepLearningEnabled:bool EvpnLearningEnabled:bool "
     "OvsdbLearningEnabled:bool MulticastGroupAddr:struct MulticastGroupAddrList:array "
     "MulticastGroupAddrStep:struct MulticastGroupAddrCount:int32 ResolvedIpList:array "
     "ResolvedMacList:array ResolvedVmMac:struct ResolvedVmMacStep:struct ResolvedVmMacCount:int32 "
     "VtepAddrResolveState:uint8 PeerUnicastVtepIpAddr:uint32 IsLearningUnicast:bool "
     "RouterId:struct InterfaceIp:struct VxlanIpAddressMode:uint8 "
     "EnableVmArpSendingForEvpnLearning:bool UseTargetIpForVmArp:bool VmDeviceCount:uint32 "
     "VniDistributionType:uint8 VtepRouterMac:struct EvpnOverlayIRBMode:uint8 "
     "BindingResolverFlag:uint32 FloodVtepList:array TrafficControlFlags:uint32"},
    {"GroupIf", "NetworkInterface:struct GroupId:uint32 GroupIdList:uint32[]"},
};

#define ORX_LAYOUT_OF(X)                                                   \
    {                                                                      \
#X, [] { return wire_layout(ifs::X##_s{}, ifs::X##_t_to_struct); } \
    }

TEST(IfSetup1, EveryRecordHasItsLayout) {
    const std::vector<std::pair<std::string, std::function<std::string()>>> records = {
        ORX_LAYOUT_OF(NetworkEndpoint),
        ORX_LAYOUT_OF(EmulatedIf),
        ORX_LAYOUT_OF(NetworkInterface),
        ORX_LAYOUT_OF(NetworkBlock),
        ORX_LAYOUT_OF(Ipv4NetworkBlock),
        ORX_LAYOUT_OF(Ipv6NetworkBlock),
        ORX_LAYOUT_OF(MacBlock),
        ORX_LAYOUT_OF(VlanBlock),
        ORX_LAYOUT_OF(Ipv6If),
        ORX_LAYOUT_OF(Ipv4If),
        ORX_LAYOUT_OF(EthIIIf),
        ORX_LAYOUT_OF(VlanIf),
        ORX_LAYOUT_OF(MplsIf),
        ORX_LAYOUT_OF(PppIf),
        ORX_LAYOUT_OF(PppoeIf),
        ORX_LAYOUT_OF(GreIf),
        ORX_LAYOUT_OF(HdlcIf),
        ORX_LAYOUT_OF(WimaxIf),
        ORX_LAYOUT_OF(L2tpv2If),
        ORX_LAYOUT_OF(L2tpv3If),
        ORX_LAYOUT_OF(ItagIf),
        ORX_LAYOUT_OF(Aal5If),
        ORX_LAYOUT_OF(FcIf),
        ORX_LAYOUT_OF(LispIf),
        ORX_LAYOUT_OF(TrillIf),
        ORX_LAYOUT_OF(VxlanIf),
        ORX_LAYOUT_OF(GroupIf)};
    ASSERT_EQ(records.size(), std::size(kExpectedLayouts));
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].first, kExpectedLayouts[i].first);
        EXPECT_EQ(records[i].second(), kExpectedLayouts[i].second) << records[i].first;
    }
    EXPECT_EQ(wire_layout(ifs::MacAddress_s{}, ifs::MacAddress_t_to_struct), "address:uint8[]");
    EXPECT_EQ(wire_layout(NetworkInterfaceDescriptor_s{}, NetworkInterfaceDescriptor_t_to_struct),
              "ifType:string indexInList:uint32");
    EXPECT_EQ(wire_layout(GroupMemberConfig_s{}, GroupMemberConfig_t_to_struct),
              "handle:uint32 GroupMemberList:array");
    EXPECT_EQ(wire_layout(GroupMember_s{}, GroupMember_t_to_struct),
              "handle:uint32 role:uint32 portIndex:uint32");
    EXPECT_EQ(wire_layout(NetworkInterfaceStack_s{}, NetworkInterfaceStack_t_to_struct),
              "ifDescriptors:array Ipv6InterfaceList:array Ipv4InterfaceList:array "
              "EthIIInterfaceList:array VlanInterfaceList:array MplsInterfaceList:array "
              "PppInterfaceList:array PppoeInterfaceList:array GreInterfaceList:array "
              "HdlcInterfaceList:array WimaxInterfaceList:array L2tpv2InterfaceList:array "
              "L2tpv3InterfaceList:array ItagInterfaceList:array Aal5InterfaceList:array "
              "FcInterfaceList:array LispInterfaceList:array TrillInterfaceList:array "
              "VxlanInterfaceList:array GroupInterfaceList:array");
}

ifs::NetworkInterface_s base(uint32_t handle) {
    ifs::NetworkInterface_s n;
    n.EmulatedIf.IsRange = true;
    n.IfCountPerLowerIf = 2;
    n.TotalCount = 8;
    n.BllHandle = handle;
    return n;
}

NetworkInterfaceStack_s sample_stack() {
    NetworkInterfaceStack_s s;
    ifs::EthIIIf_s eth;
    eth.NetworkInterface = base(10);
    eth.SourceMac.address = {0, 0x10, 0x94, 0, 0, 2};
    eth.SrcMacList = {eth.SourceMac, ifs::MacAddress_s{{2, 0, 0, 0, 0, 1}}};
    eth.VpnSiteId = 1ull << 60;
    ifs::VlanIf_s vlan;
    vlan.NetworkInterface = base(11);
    vlan.VlanId = 100;
    vlan.IdStep = -1;
    vlan.IdList = {100, 200, 4095};
    vlan.Tpid = 0x8100;
    ifs::Ipv4If_s v4;
    v4.NetworkInterface = base(12);
    v4.Address.address = {10, 0, 0, 1};
    v4.AddrList = {v4.Address};
    v4.PrefixLength = 24;
    v4.GatewayMac.address = {1, 2, 3, 4, 5, 6};
    ifs::Ipv6If_s v6;
    v6.Address.address[15] = 1;
    v6.FlowLabel = 0xfffff;
    ifs::L2tpv2If_s l2;
    l2.LocalTunnelIdStep = -300;
    l2.RemoteIpv6AddrList = {v6.Address};
    l2.UdpDstPortList = {1701};
    ifs::VxlanIf_s vx;
    vx.VniStep = -2;
    vx.VniCount = -1;
    vx.VniList = {5000, 5001};
    vx.FloodVtepList = {v4.Address};
    vx.TrafficControlFlags = 1;
    ifs::FcIf_s fc;
    fc.WorldWideName.address = {0x20, 0, 0, 0x10, 0x94, 0, 0, 1};
    fc.FcIdList = {0x010203};
    ifs::MplsIf_s mpls;
    mpls.LabelStep = -16;
    mpls.LabelList = {16, 17};
    s.ifDescriptors = {{ETHII, 0}, {VLAN, 0}, {IPv4, 0}, {VXLAN, 0}};
    s.EthIIInterfaceList = {eth};
    s.VlanInterfaceList = {vlan};
    s.Ipv4InterfaceList = {v4};
    s.Ipv6InterfaceList = {v6};
    s.L2tpv2InterfaceList = {l2};
    s.VxlanInterfaceList = {vx};
    s.FcInterfaceList = {fc};
    s.MplsInterfaceList = {mpls};
    s.TrillInterfaceList = {ifs::TrillIf_s{base(13)}};
    s.GroupInterfaceList = {ifs::GroupIf_s{base(14), 9, {1, 2}}};
    return s;
}

TEST(IfSetup1, StacksRoundTrip) {
    const NetworkInterfaceStack_s stack = sample_stack();
    EXPECT_EQ(record_round_trip(stack, NetworkInterfaceStack_t_to_struct,
                                NetworkInterfaceStack_t_from_struct),
              stack);

    Message m;
    responder_1_bll::create_req_ConfigInterfacesWithIlHandle(
        &m, {1, 2}, {stack, {}}, {DONTCREATEVIF | SETARPNOEXPIRE}, true);
    Message back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.ConfigInterfacesWithIlHandle");
    EXPECT_EQ(layout(back), "ilHandleList:uint32[] ifStackList:array optionList:uint32[]");
    std::vector<uint32_t> handles, options;
    std::vector<NetworkInterfaceStack_s> stacks;
    parse_req_ConfigInterfacesWithIlHandle(&back, &handles, &stacks, &options);
    EXPECT_EQ(handles, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(stacks, (std::vector<NetworkInterfaceStack_s>{stack, {}}));
    EXPECT_EQ(options, std::vector<uint32_t>{5});
    // The kind of each layer travels as its name.
    const Tm_struct* first =
        back.get_member_array(TMG_MEMBERS, "ifStackList")->get_member_struct(0);
    EXPECT_EQ(
        first->get_member_array("ifDescriptors")->get_member_struct(3)->get_member_string("ifType"),
        "VXLAN");
}

TEST(IfSetup1, HandleRequestsAndAnswers) {
    struct Case {
        void (*create)(Message*, const std::vector<uint32_t>&, bool);
        void (*parse)(const Message*, std::vector<uint32_t>*);
        const char* name;
        const char* layout;
    };
    const Case cases[] = {
        {responder_1_bll::create_req_DeleteInterfaces, parse_req_DeleteInterfaces,
         "responder_1.DeleteInterfaces", "ilHandleList:uint32[]"},
        {responder_1_bll::create_req_GetInterfaces, parse_req_GetInterfaces,
         "responder_1.GetInterfaces", "ifHandleList:uint32[]"},
        {responder_1_bll::create_req_GetStackedInterfaces, parse_req_GetStackedInterfaces,
         "responder_1.GetStackedInterfaces", "ifHandleList:uint32[]"},
        {responder_1_bll::create_req_AttachInterfaces, parse_req_AttachInterfaces,
         "responder_1.AttachInterfaces", "ifHandleList:uint32[]"},
        {responder_1_bll::create_req_DetachInterfaces, parse_req_DetachInterfaces,
         "responder_1.DetachInterfaces", "ifHandleList:uint32[]"},
    };
    for (const Case& c : cases) {
        Message m;
        c.create(&m, {4, 5}, true);
        Message back = over_wire(m);
        EXPECT_EQ(back.get_request_name(), c.name);
        EXPECT_EQ(layout(back), c.layout);
        std::vector<uint32_t> read;
        c.parse(&back, &read);
        EXPECT_EQ(read, (std::vector<uint32_t>{4, 5}));
    }

    const NetworkInterfaceStack_s stack = sample_stack();
    Message resp;
    create_resp_GetStackedInterfaces(&resp, {4}, {stack}, true);
    Message back = over_wire(resp);
    EXPECT_EQ(layout(back), "ifHandleList:uint32[] ifStackList:array");
    std::vector<uint32_t> handles;
    std::vector<NetworkInterfaceStack_s> stacks;
    parse_resp_GetStackedInterfaces(&back, &handles, &stacks);
    EXPECT_EQ(stacks, std::vector<NetworkInterfaceStack_s>{stack});
    create_resp_GetInterfaces(&resp, {4}, {}, true);
    back = over_wire(resp);
    parse_resp_GetInterfaces(&back, &handles, &stacks);
    EXPECT_TRUE(stacks.empty());

    create_resp_ConfigInterfaces(&resp, {100, 101}, true);
    back = over_wire(resp);
    parse_resp_ConfigInterfaces(&back, &handles);
    EXPECT_EQ(handles, (std::vector<uint32_t>{100, 101}));
    back.set_msg_type(TMT_FAILED_RESPONSE);
    EXPECT_THROW(parse_resp_ConfigInterfaces(&back, &handles), Tm_type_mismatch_exception);

    Message m;
    responder_1_bll::create_req_ConfigInterfaces(&m, {stack}, true);
    back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.ConfigInterfaces");
    parse_req_ConfigInterfaces(&back, &stacks);
    EXPECT_EQ(stacks, std::vector<NetworkInterfaceStack_s>{stack});

    responder_1_bll::create_req_UpdateInterfaces(&m, {9}, {stack}, {APPLYGATEWAYMAC}, true);
    back = over_wire(m);
    EXPECT_EQ(layout(back), "ifHandleList:uint32[] ifStackList:array optionList:uint32[]");
    std::vector<uint32_t> options;
    parse_req_UpdateInterfaces(&back, &handles, &stacks, &options);
    EXPECT_EQ(options, std::vector<uint32_t>{2});

    for (auto answer : {create_resp_UpdateInterfaces, create_resp_DeleteInterfaces,
                        create_resp_SetGroupMembership}) {
        Message a;
        answer(&a);
        Message ab = over_wire(a);
        EXPECT_EQ(ab.get_member_count(TMG_MEMBERS), 0);
        EXPECT_NO_THROW(parse_resp_AttachInterfaces(&ab));
    }
}

TEST(IfSetup1, GroupMembership) {
    const std::vector<GroupMemberConfig_s> configs{{7, {{1, 0, 2}, {3, 1, 4}}}, {8, {}}};
    Message m;
    responder_1_bll::create_req_SetGroupMembership(&m, configs, true);
    Message back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.SetGroupMembership");
    EXPECT_EQ(layout(back), "groupConfigList:array");
    std::vector<GroupMemberConfig_s> read;
    parse_req_SetGroupMembership(&back, &read);
    EXPECT_EQ(read, configs);
}

TEST(IfSetup1, LibraryParametersWithAndWithoutTheRoute) {
    Message m;
    responder_1_bll::create_req_SetInterfaceLibParams(
        &m, {{CREATEDEFAULTROUTE, true}, {CREATEDEFAULTROUTE, false}}, true);
    Message back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.SetInterfaceLibParams");
    const Tm_array* list = back.get_member_array(TMG_MEMBERS, "paramList");
    EXPECT_EQ(layout(*list->get_member_struct(0)), "createDefaultRoute:bool");
    std::vector<ifSetupLibParam_t> read;
    parse_req_SetInterfaceLibParams(&back, &read);
    EXPECT_EQ(read, (std::vector<ifSetupLibParam_t>{{CREATEDEFAULTROUTE, true},
                                                    {CREATEDEFAULTROUTE, false}}));

    // A parameter of another type carries no member; reading one without the member sets the
    // type and leaves the value.
    Message resp;
    create_resp_GetInterfaceLibParams(&resp, {{static_cast<ifSetupLibParamType_t>(3), true}}, true);
    back = over_wire(resp);
    EXPECT_EQ(
        back.get_member_array(TMG_MEMBERS, "paramList")->get_member_struct(0)->get_member_count(),
        0);
    std::vector<ifSetupLibParam_t> got;
    parse_resp_GetInterfaceLibParams(&back, &got);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, CREATEDEFAULTROUTE);
    EXPECT_FALSE(got[0].createDefaultRoute);

    responder_1_bll::create_req_GetInterfaceLibParams(&m, {CREATEDEFAULTROUTE}, true);
    back = over_wire(m);
    EXPECT_EQ(back.get_member_array(TMG_MEMBERS, "paramTypeList")->get_member_string(0),
              "CREATEDEFAULTROUTE");
    std::vector<ifSetupLibParamType_t> types;
    parse_req_GetInterfaceLibParams(&back, &types);
    EXPECT_EQ(types, std::vector<ifSetupLibParamType_t>{CREATEDEFAULTROUTE});
}

TEST(IfSetup1, AddressesMustHaveTheirSize) {
    Message m;
    auto* catalog = m.get_send_member_string(TMG_MEMBERS);
    auto* mac = new Tm_struct(catalog);
    const unsigned char seven[7] = {1, 2, 3, 4, 5, 6, 7};
    mac->add_member_and_own(
        "address",
        new Tm_copy_backed_array<unsigned char, const unsigned char*>(seven, 7, TMV_UINT8),
        catalog);
    m.add_member_and_own(TMG_MEMBERS, "mac", mac);
    ifs::MacAddress_s out;
    EXPECT_EQ(error_of([&] {
                  ifs::MacAddress_t_from_struct(m.get_member_struct(TMG_MEMBERS, "mac"), &out);
              }),
              "member 'address' of MacAddress_s holds 7 bytes, expected 6");
}

TEST(IfSetup1, ValueMaps) {
    EXPECT_STREQ(tms_enum_to_string(19, em_InterfaceTypeList_t), "VXLAN");
    EXPECT_EQ(tms_string_to_enum("L2TPv3", em_InterfaceTypeList_t), 11);
    EXPECT_EQ(tms_string_to_enum("SETARPNOEXPIRE", em_ifSetupOptionType_t), 4);
    EXPECT_EQ(tms_string_to_enum("PPP_PROTOCOL_ID_MPLS", ifs::em_EnumPppProtocolId), 641);
    EXPECT_STREQ(tms_enum_to_string(34525, ifs::em_EnumHdlcProtocolType),
                 "HDLC_PROTOCOL_TYPE_IPV6");
    EXPECT_STREQ(ifs::em_EnumLearningGatewayState[2].name, "RETRYING_GATEWAY");
    EXPECT_STREQ(tms_enum_to_string(2, ifs::em_EnumEvpnVxlanIRBMode), "SYMMETRIC");
    EXPECT_STREQ(tms_enum_to_string(16, em_InterfaceTypeList_t), "GIF");
    EXPECT_THROW(tms_string_to_enum("GIF", em_ifSetupLibParamType_t), Tm_exception);
}

}  // namespace
