#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <orx/common/PduFieldType.h>

namespace orx::common {

struct PduDef;

// Value a field takes when the frame description leaves it unset and automatic values are on.
enum class AutoRule : uint8_t {
    None,
    NextEtherType,       // the EtherType of the next PDU
    NextIpProtocol,      // the IP protocol (IPv6: next header) number of the next PDU
    LengthFromPduStart,  // bytes from this PDU's first byte to the end of the frame
    LengthAfterPdu,      // bytes after this PDU to the end of the frame
};

// Checksum a processing function computes into the field (when the description leaves it unset).
enum class ChecksumRule : uint8_t {
    None,
    Header,                // over this PDU's own bytes (IPv4 header)
    PseudoHeader,          // to the end of the frame, with the enclosing IP's pseudo header
    PseudoHeaderZeroOnes,  // same, a computed 0 sent as FFFF (UDP)
    PseudoHeaderOnIpv6,    // to the end of the frame; the pseudo header only behind IPv6 (ICMP)
};

// Named type of a PDU definition: how its fields' texts read (kind 1 integer, 2 hex).
struct PduTypeRecord {
    std::string name;
    int kind = 0;
};

// One field (or nested PDU) of a PDU definition: one row of its table.
struct FieldDef {
    std::string name;
    uint32_t bits = 0;  // 0: as many bits as its value has (hex of any length), or nested
    PduFieldType type = PduFieldType::Unknown;
    std::string defaultText;
    std::string typeName;  // for NamedType fields: the record in the owning PDU's types
    AutoRule autoRule = AutoRule::None;
    ChecksumRule checksum = ChecksumRule::None;
    bool optional = false;           // present only when the description writes it
    const PduDef* nested = nullptr;  // a nested PDU holding any number of PDUs of this type
    const PduDef* owner = nullptr;   // the PDU definition the field belongs to
    PduFieldType valueType = PduFieldType::Unknown;  // type with NamedType resolved
    std::vector<uint8_t> defaultBytes;  // default value, right-aligned, ceil(bits / 8) bytes
};

// A PDU type: its fields in wire order and how the PDUs around it refer to it.
struct PduDef {
    std::string qualifiedName;  // "ipv4:IPv4"
    std::string name;           // "IPv4"; also the element name of a nested PDU of this type
    std::vector<FieldDef> fields;
    std::vector<PduTypeRecord> types;
    uint16_t etherType = 0;   // carried by an Ethernet header in front of it; 0 none
    uint8_t ipProtocol = 0;   // carried by an IPv4 header in front of it; 0 none
    uint8_t ip6Protocol = 0;  // carried by an IPv6 header in front of it; 0 none
    int ipVersion = 0;        // 4 or 6 for IP headers (they give transport pseudo headers)
    bool topLevel = true;     // may stand as a <pdu> of a frame
    FieldDef self;            // the PDU as an element when it is nested

    const FieldDef* FindField(const std::string& fieldName) const;
};

}  // namespace orx::common
