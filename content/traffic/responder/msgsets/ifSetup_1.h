#pragma once

// The interface kinds of the interface-setup set and their shared parts, one record each. Every
// interface record begins with its NetworkInterface_s. Members drawn from the value maps below
// travel as their numbers, with the widths of the records.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "RecordWire.h"

namespace ifSetup_1_bll {

extern const tm_enum_map em_EnumVpnSiteType[];
extern const tm_enum_map em_EnumResolveState[];
extern const tm_enum_map em_EnumLearningGatewayState[];
extern const tm_enum_map em_EnumPppProtocolId[];
extern const tm_enum_map em_EnumHdlcProtocolType[];
extern const tm_enum_map em_EnumVcEncapsulation[];
extern const tm_enum_map em_EnumTosType[];
extern const tm_enum_map em_EnumEvpnMplsIRBMode[];
extern const tm_enum_map em_EnumEvpnVxlanIRBMode[];
extern const tm_enum_map em_EnumVxlanIpAddressModeType[];
extern const tm_enum_map em_EnumVniDistributionType[];
extern const tm_enum_map em_EnumBindingResolverFlag[];
extern const tm_enum_map em_EnumTrafficControlFlag[];
extern const tm_enum_map em_EnumAddrModifierTypePerDevice[];

// Addresses: a fixed number of bytes, always copied into the message.
struct MacAddress_s {
    std::array<uint8_t, 6> address{};
    bool operator==(const MacAddress_s&) const = default;
};
ORX_MSGSET_RECORD(MacAddress)

struct Ipv4Address_s {
    std::array<uint8_t, 4> address{};
    bool operator==(const Ipv4Address_s&) const = default;
};
ORX_MSGSET_RECORD(Ipv4Address)

struct Ipv6Address_s {
    std::array<uint8_t, 16> address{};
    bool operator==(const Ipv6Address_s&) const = default;
};
ORX_MSGSET_RECORD(Ipv6Address)

struct WorldWideName_s {
    std::array<uint8_t, 8> address{};
    bool operator==(const WorldWideName_s&) const = default;
};
ORX_MSGSET_RECORD(WorldWideName)

struct NetworkEndpoint_s {
    bool operator==(const NetworkEndpoint_s&) const = default;
};
ORX_MSGSET_RECORD(NetworkEndpoint)

struct EmulatedIf_s {
    NetworkEndpoint_s NetworkEndpoint;
    bool IsRange = false;
    bool IsDirectlyConnected = false;
    bool operator==(const EmulatedIf_s&) const = default;
};
ORX_MSGSET_RECORD(EmulatedIf)

struct NetworkInterface_s {
    EmulatedIf_s EmulatedIf;
    uint32_t IfCountPerLowerIf = 0;
    uint32_t IfRecycleCount = 0;
    uint32_t TotalCount = 0;
    uint32_t BllHandle = 0;
    uint32_t AffiliatedInterface = 0;
    bool operator==(const NetworkInterface_s&) const = default;
};
ORX_MSGSET_RECORD(NetworkInterface)

struct NetworkBlock_s {
    NetworkEndpoint_s NetworkEndpoint;
    uint32_t NetworkCount = 0;
    uint32_t AddrIncrement = 0;
    uint32_t AddrIncrementPerRouter = 0;
    bool NetworkInterfaceWithIpList = false;
    uint8_t AddrModifierTypePerDevice = 0;
    bool operator==(const NetworkBlock_s&) const = default;
};
ORX_MSGSET_RECORD(NetworkBlock)

struct Ipv4NetworkBlock_s {
    NetworkBlock_s NetworkBlock;
    std::vector<Ipv4Address_s> StartIpList;
    uint8_t PrefixLength = 0;
    bool operator==(const Ipv4NetworkBlock_s&) const = default;
};
ORX_MSGSET_RECORD(Ipv4NetworkBlock)

struct Ipv6NetworkBlock_s {
    NetworkBlock_s NetworkBlock;
    std::vector<Ipv6Address_s> StartIpList;
    uint8_t PrefixLength = 0;
    bool operator==(const Ipv6NetworkBlock_s&) const = default;
};
ORX_MSGSET_RECORD(Ipv6NetworkBlock)

struct MacBlock_s {
    NetworkBlock_s NetworkBlock;
    std::vector<MacAddress_s> StartMacList;
    uint8_t Offset = 0;
    std::vector<uint8_t> PrefixLength;
    bool operator==(const MacBlock_s&) const = default;
};
ORX_MSGSET_RECORD(MacBlock)

struct VlanBlock_s {
    NetworkBlock_s NetworkBlock;
    std::vector<uint16_t> StartVlanList;
    uint8_t Priority = 0;
    uint8_t Cfi = 0;
    bool operator==(const VlanBlock_s&) const = default;
};
ORX_MSGSET_RECORD(VlanBlock)

struct Ipv6If_s {
    NetworkInterface_s NetworkInterface;
    Ipv6Address_s Address;
    Ipv6Address_s AddrStep;
    Ipv6Address_s AddrStepMask;
    bool SkipReserved = false;
    std::vector<Ipv6Address_s> AddrList;
    uint32_t AddrRepeatCount = 0;
    uint8_t PrefixLength = 0;
    bool EnableGatewayLearning = false;
    Ipv6Address_s Gateway;
    Ipv6Address_s GatewayStep;
    uint32_t GatewayRepeatCount = 0;
    std::vector<Ipv6Address_s> GatewayList;
    uint32_t GatewayRecycleCount = 0;
    bool ResolveGatewayMac = false;
    MacAddress_s GatewayMac;
    uint8_t HopLimit = 0;
    uint8_t TrafficClass = 0;
    uint32_t FlowLabel = 0;
    Ipv6Address_s Ipv6TunnelGateway;
    uint8_t VpnSiteType = 0;
    uint64_t VpnSiteId = 0;
    uint32_t AddrIncrementPerRouter = 0;
    bool operator==(const Ipv6If_s&) const = default;
};
ORX_MSGSET_RECORD(Ipv6If)

struct Ipv4If_s {
    NetworkInterface_s NetworkInterface;
    Ipv4Address_s Address;
    Ipv4Address_s AddrStep;
    Ipv4Address_s AddrStepMask;
    bool SkipReserved = false;
    std::vector<Ipv4Address_s> AddrList;
    uint32_t AddrRepeatCount = 0;
    uint8_t PrefixLength = 0;
    bool EnableGatewayLearning = false;
    Ipv4Address_s Gateway;
    Ipv4Address_s GatewayStep;
    uint32_t GatewayRepeatCount = 0;
    uint32_t GatewayRecycleCount = 0;
    std::vector<Ipv4Address_s> GatewayList;
    bool ResolveGatewayMac = false;
    MacAddress_s GatewayMac;
    uint8_t Ttl = 0;
    uint8_t Tos = 0;
    Ipv4Address_s Ipv4TunnelGateway;
    uint8_t VpnSiteType = 0;
    uint64_t VpnSiteId = 0;
    uint32_t AddrIncrementPerRouter = 0;
    bool operator==(const Ipv4If_s&) const = default;
};
ORX_MSGSET_RECORD(Ipv4If)

struct EthIIIf_s {
    NetworkInterface_s NetworkInterface;
    MacAddress_s SourceMac;
    MacAddress_s SrcMacStep;
    std::vector<MacAddress_s> SrcMacList;
    MacAddress_s SrcMacStepMask;
    uint32_t SrcMacRepeatCount = 0;
    uint8_t VpnSiteType = 0;
    uint64_t VpnSiteId = 0;
    bool operator==(const EthIIIf_s&) const = default;
};
ORX_MSGSET_RECORD(EthIIIf)

struct VlanIf_s {
    NetworkInterface_s NetworkInterface;
    uint16_t VlanId = 0;
    int16_t IdStep = 0;
    std::vector<uint16_t> IdList;
    uint16_t IdRepeatCount = 0;
    uint8_t Priority = 0;
    uint8_t Cfi = 0;
    uint16_t Tpid = 0;
    bool operator==(const VlanIf_s&) const = default;
};
ORX_MSGSET_RECORD(VlanIf)

struct MplsIf_s {
    NetworkInterface_s NetworkInterface;
    uint32_t Label = 0;
    uint8_t LabelResolveState = 0;
    int32_t LabelStep = 0;
    std::vector<uint32_t> LabelList;
    uint16_t LabelRepeatCount = 0;
    uint8_t ExperimentalBits = 0;
    uint8_t TTL = 0;
    uint8_t StackBit = 0;
    MacAddress_s DstMac;
    std::vector<MacAddress_s> DstMacList;
    uint8_t EvpnMplsIRBMode = 0;
    uint32_t BindCount = 0;
    bool PassThrough = false;
    bool IsEntropyIf = false;
    bool operator==(const MplsIf_s&) const = default;
};
ORX_MSGSET_RECORD(MplsIf)

struct PppIf_s {
    NetworkInterface_s NetworkInterface;
    uint16_t ProtocolId = 0;
    bool operator==(const PppIf_s&) const = default;
};
ORX_MSGSET_RECORD(PppIf)

struct PppoeIf_s {
    NetworkInterface_s NetworkInterface;
    uint16_t SessionId = 0;
    int16_t SessionIdStep = 0;
    std::vector<uint16_t> SessionIdList;
    uint16_t SessionIdRepeatCount = 0;
    MacAddress_s PeerMacAddr;
    std::vector<MacAddress_s> PeerMacAddrList;
    bool operator==(const PppoeIf_s&) const = default;
};
ORX_MSGSET_RECORD(PppoeIf)

struct GreIf_s {
    NetworkInterface_s NetworkInterface;
    bool ChecksumEnabled = false;
    bool InFlowKeyFieldEnabled = false;
    uint32_t RxFlowKeyField = 0;
    bool OutFlowKeyFieldEnabled = false;
    uint32_t TxFlowKeyField = 0;
    bool SeqNumEnabled = false;
    Ipv4Address_s RemoteTunnelEndPointV4;
    Ipv6Address_s RemoteTunnelEndPointV6;
    Ipv4Address_s RemoteTunnelEndPointV4Step;
    Ipv6Address_s RemoteTunnelEndPointV6Step;
    bool EnableKeepAlive = false;
    uint16_t KeepAlivePeriod = 0;
    uint8_t KeepAliveRetryCount = 0;
    bool operator==(const GreIf_s&) const = default;
};
ORX_MSGSET_RECORD(GreIf)

struct HdlcIf_s {
    NetworkInterface_s NetworkInterface;
    uint16_t ProtocolType = 0;
    bool operator==(const HdlcIf_s&) const = default;
};
ORX_MSGSET_RECORD(HdlcIf)

struct WimaxIf_s {
    NetworkInterface_s NetworkInterface;
    MacAddress_s SsMac;
    MacAddress_s SsMacStep;
    std::vector<MacAddress_s> SsMacList;
    MacAddress_s SsMacStepMask;
    uint32_t SsMacRepeatCount = 0;
    MacAddress_s TransceiverMac;
    uint16_t SecondMgmtCid = 0;
    bool operator==(const WimaxIf_s&) const = default;
};
ORX_MSGSET_RECORD(WimaxIf)

struct L2tpv2If_s {
    NetworkInterface_s NetworkInterface;
    bool UseIpv4 = false;
    Ipv4Address_s RemoteIpv4Addr;
    Ipv4Address_s RemoteIpv4AddrStep;
    Ipv4Address_s RemoteIpv4AddrStepMask;
    uint32_t RemoteIpv4AddrRepeatCount = 0;
    std::vector<Ipv4Address_s> RemoteIpv4AddrList;
    Ipv6Address_s RemoteIpv6Addr;
    Ipv6Address_s RemoteIpv6AddrStep;
    Ipv6Address_s RemoteIpv6AddrStepMask;
    uint32_t RemoteIpv6AddrRepeatCount = 0;
    std::vector<Ipv6Address_s> RemoteIpv6AddrList;
    uint16_t LocalTunnelId = 0;
    int16_t LocalTunnelIdStep = 0;
    uint32_t LocalTunnelIdRepeatCount = 0;
    std::vector<uint16_t> LocalTunnelIdList;
    uint16_t LocalSessionId = 0;
    int16_t LocalSessionIdStep = 0;
    uint32_t LocalSessionIdRepeatCount = 0;
    std::vector<uint16_t> LocalSessionIdList;
    std::vector<uint16_t> RemoteTunnelIdList;
    std::vector<uint16_t> RemoteSessionIdList;
    bool UdpChecksumEnabled = false;
    uint16_t UdpSrcPort = 0;
    int16_t UdpSrcPortStep = 0;
    uint32_t UdpSrcPortRepeatCount = 0;
    std::vector<uint16_t> UdpSrcPortList;
    std::vector<uint16_t> UdpDstPortList;
    bool UseSeq = false;
    bool UseLength = false;
    bool UseOffset = false;
    bool UsePriority = false;
    bool operator==(const L2tpv2If_s&) const = default;
};
ORX_MSGSET_RECORD(L2tpv2If)

struct L2tpv3If_s {
    NetworkInterface_s NetworkInterface;
    bool UseIpv4 = false;
    bool UseUdp = false;
    Ipv4Address_s RemoteIpv4Addr;
    Ipv4Address_s RemoteIpv4AddrStep;
    Ipv4Address_s RemoteIpv4AddrStepMask;
    uint32_t RemoteIpv4AddrRepeatCount = 0;
    std::vector<Ipv4Address_s> RemoteIpv4AddrList;
    Ipv6Address_s RemoteIpv6Addr;
    Ipv6Address_s RemoteIpv6AddrStep;
    Ipv6Address_s RemoteIpv6AddrStepMask;
    uint32_t RemoteIpv6AddrRepeatCount = 0;
    std::vector<Ipv6Address_s> RemoteIpv6AddrList;
    uint32_t LocalSessionId = 0;
    int32_t LocalSessionIdStep = 0;
    uint32_t LocalSessionIdRepeatCount = 0;
    std::vector<uint32_t> LocalSessionIdList;
    std::vector<uint32_t> RemoteSessionIdList;
    bool UdpChecksumEnabled = false;
    uint16_t UdpSrcPort = 0;
    int16_t UdpSrcPortStep = 0;
    uint32_t UdpSrcPortRepeatCount = 0;
    std::vector<uint16_t> UdpSrcPortList;
    std::vector<uint16_t> UdpDstPortList;
    bool operator==(const L2tpv3If_s&) const = default;
};
ORX_MSGSET_RECORD(L2tpv3If)

struct ItagIf_s {
    NetworkInterface_s NetworkInterface;
    uint32_t Isid = 0;
    int32_t IsidStep = 0;
    std::vector<uint32_t> IsidList;
    uint32_t IsidRepeatCount = 0;
    uint32_t IsidCount = 0;
    bool PbbEnabledVRF = false;
    uint32_t PbbBackboneSrcMacCount = 0;
    uint32_t PbbBackboneDstMacCount = 0;
    MacAddress_s PbbBackboneDstMacStep;
    uint8_t PbbBackboneDstMacPrefixLength = 0;
    uint8_t Priority = 0;
    bool DropEligible = false;
    bool UseCustomerAddresses = false;
    uint8_t ReservedBits1 = 0;
    uint8_t ReservedBits2 = 0;
    MacAddress_s BackboneDstMac;
    MacAddress_s PbbBackboneSrcMac;
    MacAddress_s PbbBackboneDstMac;
    bool operator==(const ItagIf_s&) const = default;
};
ORX_MSGSET_RECORD(ItagIf)

struct Aal5If_s {
    NetworkInterface_s NetworkInterface;
    uint8_t Gfc = 0;
    uint16_t Vpi = 0;
    int16_t VpiStep = 0;
    uint16_t VpiStepMask = 0;
    std::vector<uint16_t> VpiList;
    uint32_t VpiRepeatCount = 0;
    uint16_t Vci = 0;
    int16_t VciStep = 0;
    uint16_t VciStepMask = 0;
    std::vector<uint16_t> VciList;
    uint32_t VciRepeatCount = 0;
    uint32_t VciRecycleCount = 0;
    uint8_t PtiCell = 0;
    uint8_t PtiCongestion = 0;
    uint8_t Clp = 0;
    uint8_t Uu = 0;
    uint8_t Cpi = 0;
    uint8_t VcEncapsulation = 0;
    bool operator==(const Aal5If_s&) const = default;
};
ORX_MSGSET_RECORD(Aal5If)

struct FcIf_s {
    NetworkInterface_s NetworkInterface;
    WorldWideName_s WorldWideName;
    WorldWideName_s WorldWideNameStep;
    std::vector<WorldWideName_s> WorldWideNameList;
    uint32_t WorldWideNameRepeatCount = 0;
    WorldWideName_s WorldWideNameStepMask;
    uint32_t FcId = 0;
    uint32_t PeerFcId = 0;
    MacAddress_s PeerMac;
    MacAddress_s GrantedMac;
    std::vector<uint32_t> FcIdList;
    std::vector<uint32_t> PeerFcIdList;
    std::vector<MacAddress_s> GrantedMacList;
    bool UseGrantedVlanId = false;
    uint16_t GrantedVlanId = 0;
    bool UseDstMacFromSink = false;
    bool operator==(const FcIf_s&) const = default;
};
ORX_MSGSET_RECORD(FcIf)

struct LispIf_s {
    NetworkInterface_s NetworkInterface;
    std::vector<Ipv4Address_s> EtrIpv4AddrList;
    std::vector<Ipv6Address_s> EtrIpv6AddrList;
    uint8_t EtrAddrResolveState = 0;
    bool operator==(const LispIf_s&) const = default;
};
ORX_MSGSET_RECORD(LispIf)

struct TrillIf_s {
    NetworkInterface_s NetworkInterface;
    bool operator==(const TrillIf_s&) const = default;
};
ORX_MSGSET_RECORD(TrillIf)

struct VxlanIf_s {
    NetworkInterface_s NetworkInterface;
    uint32_t Vni = 0;
    int32_t VniStep = 0;
    int32_t VniCount = 0;
    std::vector<uint32_t> VniList;
    uint16_t VniRepeatCount = 0;
    bool AutoSelectUdpSrcPort = false;
    uint16_t UdpSrcPort = 0;
    uint16_t UdpDstPort = 0;
    bool UdpChecksumEnabled = false;
    bool VtepLearningEnabled = false;
    bool EvpnLearningEnabled = false;
    bool OvsdbLearningEnabled = false;
    Ipv4Address_s MulticastGroupAddr;
    std::vector<Ipv4Address_s> MulticastGroupAddrList;
    Ipv4Address_s MulticastGroupAddrStep;
    int32_t MulticastGroupAddrCount = 0;
    std::vector<Ipv4Address_s> ResolvedIpList;
    std::vector<MacAddress_s> ResolvedMacList;
    MacAddress_s ResolvedVmMac;
    MacAddress_s ResolvedVmMacStep;
    int32_t ResolvedVmMacCount = 0;
    uint8_t VtepAddrResolveState = 0;
    uint32_t PeerUnicastVtepIpAddr = 0;
    bool IsLearningUnicast = false;
    Ipv4Address_s RouterId;
    Ipv4Address_s InterfaceIp;
    uint8_t VxlanIpAddressMode = 0;
    bool EnableVmArpSendingForEvpnLearning = false;
    bool UseTargetIpForVmArp = false;
    uint32_t VmDeviceCount = 0;
    uint8_t VniDistributionType = 0;
    MacAddress_s VtepRouterMac;
    uint8_t EvpnOverlayIRBMode = 0;
    uint32_t BindingResolverFlag = 0;
    std::vector<Ipv4Address_s> FloodVtepList;
    uint32_t TrafficControlFlags = 0;
    bool operator==(const VxlanIf_s&) const = default;
};
ORX_MSGSET_RECORD(VxlanIf)

struct GroupIf_s {
    NetworkInterface_s NetworkInterface;
    uint32_t GroupId = 0;
    std::vector<uint32_t> GroupIdList;
    bool operator==(const GroupIf_s&) const = default;
};
ORX_MSGSET_RECORD(GroupIf)

}  // namespace ifSetup_1_bll
