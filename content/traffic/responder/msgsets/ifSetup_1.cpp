#include "ifSetup_1.h"

namespace ifSetup_1_bll {

const tm_enum_map em_EnumVpnSiteType[] = {{0, "VPN_NONE"},
                                          {1, "VPN_RFC2547"},
                                          {2, "VPN_6PE"},
                                          {3, "VPN_6VPE"},
                                          {4, "VPN_VPLS_BGP"},
                                          {5, "VPN_VPLS_LDP"},
                                          {6, "VPN_VPLS_LDP_FEC_129"},
                                          {7, "VPN_EVPN"},
                                          {0, nullptr}};
const tm_enum_map em_EnumResolveState[] = {
    {0, "RESOLVE_DONE"},        {1, "RESOLVE_NEEDED"},         {2, "RESOLVE_FAILED"},
    {3, "RESOLVE_IN_PROGRESS"}, {4, "RESOLVE_PARTIALLY_DONE"}, {0, nullptr}};
const tm_enum_map em_EnumLearningGatewayState[] = {
    {0, "RESOLVE_DONE"},     {3, "RESOLVE_IN_PROGRESS"},
    {4, "RETRYING_GATEWAY"}, {1, "RESOLVE_NEEDED"},
    {2, "RESOLVE_FAILED"},   {5, "FAILURE"},
    {6, "SUCCESS"},          {0, nullptr}};
const tm_enum_map em_EnumPppProtocolId[] = {{87, "PPP_PROTOCOL_ID_IPV6"},
                                            {33, "PPP_PROTOCOL_ID_IPV4"},
                                            {641, "PPP_PROTOCOL_ID_MPLS"},
                                            {0, nullptr}};
const tm_enum_map em_EnumHdlcProtocolType[] = {{2048, "HDLC_PROTOCOL_TYPE_IPV4"},
                                               {34525, "HDLC_PROTOCOL_TYPE_IPV6"},
                                               {34887, "HDLC_PROTOCOL_TYPE_MPLS"},
                                               {0, nullptr}};
const tm_enum_map em_EnumVcEncapsulation[] = {
    {1, "VC_MULTIPLEXED"}, {2, "LLC_ENCAPSULATED"}, {0, nullptr}};
const tm_enum_map em_EnumTosType[] = {{0, "TOS"}, {1, "DIFFSERV"}, {0, nullptr}};
const tm_enum_map em_EnumEvpnMplsIRBMode[] = {
    {0, "NONE"}, {1, "ASYMMETRIC"}, {2, "SYMMETRIC"}, {0, nullptr}};
const tm_enum_map em_EnumEvpnVxlanIRBMode[] = {
    {0, "NONE"}, {1, "ASYMMETRIC"}, {2, "SYMMETRIC"}, {0, nullptr}};
const tm_enum_map em_EnumVxlanIpAddressModeType[] = {
    {0, "INTERFACE_IP"}, {1, "ROUTER_ID"}, {0, nullptr}};
const tm_enum_map em_EnumVniDistributionType[] = {{0, "ROUND_ROBIN"}, {1, "LINEAR"}, {0, nullptr}};
const tm_enum_map em_EnumBindingResolverFlag[] = {
    {1, "NONE"}, {2, "VXLAN_EVPN_TYPE5_VM_PREFIX_MATCH"}, {0, nullptr}};
const tm_enum_map em_EnumTrafficControlFlag[] = {
    {0, "NONE"}, {1, "IGNORE_VM_MAC_LEARNING_FROM_ARP"}, {0, nullptr}};
const tm_enum_map em_EnumAddrModifierTypePerDevice[] = {
    {1, "CONTINUOUS"}, {2, "REPEAT"}, {0, nullptr}};

ORX_MSGSET_RECORD_WIRE(MacAddress, address)
ORX_MSGSET_RECORD_WIRE(Ipv4Address, address)
ORX_MSGSET_RECORD_WIRE(Ipv6Address, address)
ORX_MSGSET_RECORD_WIRE(WorldWideName, address)
ORX_MSGSET_RECORD_WIRE(NetworkEndpoint)
ORX_MSGSET_RECORD_WIRE(EmulatedIf, NetworkEndpoint, IsRange, IsDirectlyConnected)
ORX_MSGSET_RECORD_WIRE(NetworkInterface, EmulatedIf, IfCountPerLowerIf, IfRecycleCount, TotalCount,
                       BllHandle, AffiliatedInterface)
ORX_MSGSET_RECORD_WIRE(NetworkBlock, NetworkEndpoint, NetworkCount, AddrIncrement,
                       AddrIncrementPerRouter, NetworkInterfaceWithIpList,
                       AddrModifierTypePerDevice)
ORX_MSGSET_RECORD_WIRE(Ipv4NetworkBlock, NetworkBlock, StartIpList, PrefixLength)
ORX_MSGSET_RECORD_WIRE(Ipv6NetworkBlock, NetworkBlock, StartIpList, PrefixLength)
ORX_MSGSET_RECORD_WIRE(MacBlock, NetworkBlock, StartMacList, Offset, PrefixLength)
ORX_MSGSET_RECORD_WIRE(VlanBlock, NetworkBlock, StartVlanList, Priority, Cfi)
ORX_MSGSET_RECORD_WIRE(Ipv6If, NetworkInterface, Address, AddrStep, AddrStepMask, SkipReserved,
                       AddrList, AddrRepeatCount, PrefixLength, EnableGatewayLearning, Gateway,
                       GatewayStep, GatewayRepeatCount, GatewayList, GatewayRecycleCount,
                       ResolveGatewayMac, GatewayMac, HopLimit, TrafficClass, FlowLabel,
                       Ipv6TunnelGateway, VpnSiteType, VpnSiteId, AddrIncrementPerRouter)
ORX_MSGSET_RECORD_WIRE(Ipv4If, NetworkInterface, Address, AddrStep, AddrStepMask, SkipReserved,
                       AddrList, AddrRepeatCount, PrefixLength, EnableGatewayLearning, Gateway,
                       GatewayStep, GatewayRepeatCount, GatewayRecycleCount, GatewayList,
                       ResolveGatewayMac, GatewayMac, Ttl, Tos, Ipv4TunnelGateway, VpnSiteType,
                       VpnSiteId, AddrIncrementPerRouter)
ORX_MSGSET_RECORD_WIRE(EthIIIf, NetworkInterface, SourceMac, SrcMacStep, SrcMacList, SrcMacStepMask,
                       SrcMacRepeatCount, VpnSiteType, VpnSiteId)
ORX_MSGSET_RECORD_WIRE(VlanIf, NetworkInterface, VlanId, IdStep, IdList, IdRepeatCount, Priority,
                       Cfi, Tpid)
ORX_MSGSET_RECORD_WIRE(MplsIf, NetworkInterface, Label, LabelResolveState, LabelStep, LabelList,
                       LabelRepeatCount, ExperimentalBits, TTL, StackBit, DstMac, DstMacList,
                       EvpnMplsIRBMode, BindCount, PassThrough, IsEntropyIf)
ORX_MSGSET_RECORD_WIRE(PppIf, NetworkInterface, ProtocolId)
ORX_MSGSET_RECORD_WIRE(PppoeIf, NetworkInterface, SessionId, SessionIdStep, SessionIdList,
                       SessionIdRepeatCount, PeerMacAddr, PeerMacAddrList)
ORX_MSGSET_RECORD_WIRE(GreIf, NetworkInterface, ChecksumEnabled, InFlowKeyFieldEnabled,
                       RxFlowKeyField, OutFlowKeyFieldEnabled, TxFlowKeyField, SeqNumEnabled,
                       RemoteTunnelEndPointV4, RemoteTunnelEndPointV6, RemoteTunnelEndPointV4Step,
                       RemoteTunnelEndPointV6Step, EnableKeepAlive, KeepAlivePeriod,
                       KeepAliveRetryCount)
ORX_MSGSET_RECORD_WIRE(HdlcIf, NetworkInterface, ProtocolType)
ORX_MSGSET_RECORD_WIRE(WimaxIf, NetworkInterface, SsMac, SsMacStep, SsMacList, SsMacStepMask,
                       SsMacRepeatCount, TransceiverMac, SecondMgmtCid)
ORX_MSGSET_RECORD_WIRE(L2tpv2If, NetworkInterface, UseIpv4, RemoteIpv4Addr, RemoteIpv4AddrStep,
                       RemoteIpv4AddrStepMask, RemoteIpv4AddrRepeatCount, RemoteIpv4AddrList,
                       RemoteIpv6Addr, RemoteIpv6AddrStep, RemoteIpv6AddrStepMask,
                       RemoteIpv6AddrRepeatCount, RemoteIpv6AddrList, LocalTunnelId,
                       LocalTunnelIdStep, LocalTunnelIdRepeatCount, LocalTunnelIdList,
                       LocalSessionId, LocalSessionIdStep, LocalSessionIdRepeatCount,
                       LocalSessionIdList, RemoteTunnelIdList, RemoteSessionIdList,
                       UdpChecksumEnabled, UdpSrcPort, UdpSrcPortStep, UdpSrcPortRepeatCount,
                       UdpSrcPortList, UdpDstPortList, UseSeq, UseLength, UseOffset, UsePriority)
ORX_MSGSET_RECORD_WIRE(L2tpv3If, NetworkInterface, UseIpv4, UseUdp, RemoteIpv4Addr,
                       RemoteIpv4AddrStep, RemoteIpv4AddrStepMask, RemoteIpv4AddrRepeatCount,
                       RemoteIpv4AddrList, RemoteIpv6Addr, RemoteIpv6AddrStep,
                       RemoteIpv6AddrStepMask, RemoteIpv6AddrRepeatCount, RemoteIpv6AddrList,
                       LocalSessionId, LocalSessionIdStep, LocalSessionIdRepeatCount,
                       LocalSessionIdList, RemoteSessionIdList, UdpChecksumEnabled, UdpSrcPort,
                       UdpSrcPortStep, UdpSrcPortRepeatCount, UdpSrcPortList, UdpDstPortList)
ORX_MSGSET_RECORD_WIRE(ItagIf, NetworkInterface, Isid, IsidStep, IsidList, IsidRepeatCount,
                       IsidCount, PbbEnabledVRF, PbbBackboneSrcMacCount, PbbBackboneDstMacCount,
                       PbbBackboneDstMacStep, PbbBackboneDstMacPrefixLength, Priority, DropEligible,
                       UseCustomerAddresses, ReservedBits1, ReservedBits2, BackboneDstMac,
                       PbbBackboneSrcMac, PbbBackboneDstMac)
ORX_MSGSET_RECORD_WIRE(Aal5If, NetworkInterface, Gfc, Vpi, VpiStep, VpiStepMask, VpiList,
                       VpiRepeatCount, Vci, VciStep, VciStepMask, VciList, VciRepeatCount,
                       VciRecycleCount, PtiCell, PtiCongestion, Clp, Uu, Cpi, VcEncapsulation)
ORX_MSGSET_RECORD_WIRE(FcIf, NetworkInterface, WorldWideName, WorldWideNameStep, WorldWideNameList,
                       WorldWideNameRepeatCount, WorldWideNameStepMask, FcId, PeerFcId, PeerMac,
                       GrantedMac, FcIdList, PeerFcIdList, GrantedMacList, UseGrantedVlanId,
                       GrantedVlanId, UseDstMacFromSink)
ORX_MSGSET_RECORD_WIRE(LispIf, NetworkInterface, EtrIpv4AddrList, EtrIpv6AddrList,
                       EtrAddrResolveState)
ORX_MSGSET_RECORD_WIRE(TrillIf, NetworkInterface)
ORX_MSGSET_RECORD_WIRE(VxlanIf, NetworkInterface, Vni, VniStep, VniCount, VniList, VniRepeatCount,
                       AutoSelectUdpSrcPort, UdpSrcPort, UdpDstPort, UdpChecksumEnabled,
                       VtepLearningEnabled, EvpnLearningEnabled, OvsdbLearningEnabled,
                       MulticastGroupAddr, MulticastGroupAddrList, MulticastGroupAddrStep,
                       MulticastGroupAddrCount, ResolvedIpList, ResolvedMacList, ResolvedVmMac,
                       ResolvedVmMacStep, ResolvedVmMacCount, VtepAddrResolveState,
                       PeerUnicastVtepIpAddr, IsLearningUnicast, RouterId, InterfaceIp,
                       VxlanIpAddressMode, EnableVmArpSendingForEvpnLearning, UseTargetIpForVmArp,
                       VmDeviceCount, VniDistributionType, VtepRouterMac, EvpnOverlayIRBMode,
                       BindingResolverFlag, FloodVtepList, TrafficControlFlags)
ORX_MSGSET_RECORD_WIRE(GroupIf, NetworkInterface, GroupId, GroupIdList)

}  // namespace ifSetup_1_bll
