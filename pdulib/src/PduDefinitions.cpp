// The PDU types the library knows, one table each, and the registry built from them.
#include <memory>
#include <stdexcept>

#include <orx/common/PduLib.h>
#include "FieldValue.h"

namespace orx::common {

namespace {

using T = PduFieldType;

// One row of a PDU table.
struct Row {
    const char* name;
    uint32_t bits;
    T type;
    const char* defaultText;
    const char* typeName = "";
    AutoRule autoRule = AutoRule::None;
    ChecksumRule checksum = ChecksumRule::None;
    bool optional = false;
    bool nested = false;  // holds PDUs of the table's nested type

    constexpr Row(const char* n, uint32_t b, T t, const char* d)
        : name(n), bits(b), type(t), defaultText(d) {}
    constexpr Row Named(const char* type) const {
        Row r = *this;
        r.typeName = type;
        return r;
    }
    constexpr Row Auto(AutoRule rule) const {
        Row r = *this;
        r.autoRule = rule;
        return r;
    }
    constexpr Row Sum(ChecksumRule rule) const {
        Row r = *this;
        r.checksum = rule;
        return r;
    }
    constexpr Row Optional() const {
        Row r = *this;
        r.optional = true;
        return r;
    }
    constexpr Row Nested() const {
        Row r = *this;
        r.nested = true;
        return r;
    }
};

// Ethernet II. The 802.1Q tags sit between the source address and the EtherType.
const Row kEthernet[] = {
    Row("preamble", 64, T::HexString, "55555555555555d5").Optional(),
    Row("dstMac", 48, T::MacAddress, "02:00:00:00:00:02"),
    Row("srcMac", 48, T::MacAddress, "02:00:00:00:00:01"),
    Row("vlans", 0, T::Unknown, "").Nested(),
    Row("etherType", 16, T::NamedType, "88b5").Named("EtherType").Auto(AutoRule::NextEtherType),
};

const Row kVlan[] = {
    Row("tpid", 16, T::Integer, "33024"),  // 0x8100
    Row("pri", 3, T::Integer, "0"),
    Row("cfi", 1, T::Integer, "0"),
    Row("id", 12, T::Integer, "1"),
};

const Row kIpv4[] = {
    Row("version", 4, T::Integer, "4"),
    Row("ihl", 4, T::Integer, "5"),
    Row("tos", 8, T::Integer, "0"),
    Row("totalLength", 16, T::Integer, "20").Auto(AutoRule::LengthFromPduStart),
    Row("identification", 16, T::Integer, "0"),
    Row("flags", 3, T::Integer, "0"),
    Row("fragOffset", 13, T::Integer, "0"),
    Row("ttl", 8, T::Integer, "64"),
    Row("protocol", 8, T::Integer, "253").Auto(AutoRule::NextIpProtocol),
    Row("checksum", 16, T::Integer, "0").Sum(ChecksumRule::Header),
    Row("sourceAddr", 32, T::Ipv4Address, "192.0.2.1"),
    Row("destAddr", 32, T::Ipv4Address, "192.0.2.2"),
};

const Row kIpv6[] = {
    Row("version", 4, T::Integer, "6"),
    Row("trafficClass", 8, T::Integer, "0"),
    Row("flowLabel", 20, T::Integer, "0"),
    Row("payloadLength", 16, T::Integer, "0").Auto(AutoRule::LengthAfterPdu),
    Row("nextHeader", 8, T::Integer, "59").Auto(AutoRule::NextIpProtocol),
    Row("hopLimit", 8, T::Integer, "64"),
    Row("sourceAddr", 128, T::Ipv6Address, "2001:db8::1"),
    Row("destAddr", 128, T::Ipv6Address, "2001:db8::2"),
};

const Row kTcp[] = {
    Row("sourcePort", 16, T::Integer, "49152"),
    Row("destPort", 16, T::Integer, "80"),
    Row("seqNum", 32, T::Integer, "0"),
    Row("ackNum", 32, T::Integer, "0"),
    Row("offset", 4, T::Integer, "5"),
    Row("reserved", 4, T::Integer, "0"),
    Row("flags", 8, T::Integer, "2"),  // SYN
    Row("window", 16, T::Integer, "65535"),
    Row("checksum", 16, T::Integer, "0").Sum(ChecksumRule::PseudoHeader),
    Row("urgentPtr", 16, T::Integer, "0"),
};

const Row kUdp[] = {
    Row("sourcePort", 16, T::Integer, "49152"),
    Row("destPort", 16, T::Integer, "49152"),
    Row("length", 16, T::Integer, "8").Auto(AutoRule::LengthFromPduStart),
    Row("checksum", 16, T::Integer, "0").Sum(ChecksumRule::PseudoHeaderZeroOnes),
};

const Row kArp[] = {
    Row("hardware", 16, T::Integer, "1"),
    Row("protocol", 16, T::Integer, "2048"),
    Row("ihl", 8, T::Integer, "6"),
    Row("ipl", 8, T::Integer, "4"),
    Row("operation", 16, T::Integer, "1"),
    Row("senderHwAddr", 48, T::MacAddress, "02:00:00:00:00:01"),
    Row("senderPAddr", 32, T::Ipv4Address, "192.0.2.1"),
    Row("targetHwAddr", 48, T::MacAddress, "00:00:00:00:00:00"),
    Row("targetPAddr", 32, T::Ipv4Address, "192.0.2.2"),
};

// Echo request by default; type 0 makes it a reply.
const Row kIcmp[] = {
    Row("type", 8, T::Integer, "8"),
    Row("code", 8, T::Integer, "0"),
    Row("checksum", 16, T::Integer, "0").Sum(ChecksumRule::PseudoHeaderOnIpv6),
    Row("identifier", 16, T::Integer, "0"),
    Row("sequenceNumber", 16, T::Integer, "0"),
    Row("data", 0, T::HexString, ""),
};

const Row kCustom[] = {
    Row("pattern", 0, T::HexString, ""),
};

struct Table {
    const char* qualifiedName;
    const char* name;
    const Row* rows;
    size_t count;
    uint16_t etherType;
    uint8_t ipProtocol;
    uint8_t ip6Protocol;
    int ipVersion;
    bool topLevel;
};

template <size_t N>
constexpr Table MakeTable(const char* q, const char* n, const Row (&rows)[N], uint16_t etherType,
                          uint8_t ipProtocol, uint8_t ip6Protocol, int ipVersion,
                          bool topLevel = true) {
    return Table{q, n, rows, N, etherType, ipProtocol, ip6Protocol, ipVersion, topLevel};
}

const Table kTables[] = {
    MakeTable("ethernet:EthernetII", "EthernetII", kEthernet, 0x6558, 0, 0, 0),
    MakeTable("ethernet:Vlan", "Vlan", kVlan, 0, 0, 0, 0, false),
    MakeTable("ipv4:IPv4", "IPv4", kIpv4, 0x0800, 4, 4, 4),
    MakeTable("ipv6:IPv6", "IPv6", kIpv6, 0x86DD, 41, 41, 6),
    MakeTable("tcp:Tcp", "Tcp", kTcp, 0, 6, 6, 0),
    MakeTable("udp:Udp", "Udp", kUdp, 0, 17, 17, 0),
    MakeTable("arp:ARP", "ARP", kArp, 0x0806, 0, 0, 0),
    MakeTable("icmp:Icmp", "Icmp", kIcmp, 0, 1, 58, 0),
    MakeTable("custom:Custom", "Custom", kCustom, 0, 0, 0, 0),
};

// Named types of the Ethernet definition.
const PduTypeRecord kEthernetTypes[] = {{"EtherType", 2}};

std::vector<std::unique_ptr<PduDef>>& Storage() {
    static std::vector<std::unique_ptr<PduDef>> storage;
    return storage;
}

}  // namespace

const FieldDef* PduDef::FindField(const std::string& fieldName) const {
    for (const FieldDef& field : fields) {
        if (field.name == fieldName)
            return &field;
    }
    return nullptr;
}

PduLib::PduLib() {
    auto& storage = Storage();
    for (const Table& table : kTables) {
        auto def = std::make_unique<PduDef>();
        def->qualifiedName = table.qualifiedName;
        def->name = table.name;
        def->etherType = table.etherType;
        def->ipProtocol = table.ipProtocol;
        def->ip6Protocol = table.ip6Protocol;
        def->ipVersion = table.ipVersion;
        def->topLevel = table.topLevel;
        if (def->name == "EthernetII") {
            def->types.assign(std::begin(kEthernetTypes), std::end(kEthernetTypes));
        }
        def->self.name = def->name;
        storage.push_back(std::move(def));
    }
    const PduDef* vlan = storage[1].get();
    for (size_t t = 0; t < std::size(kTables); ++t) {
        PduDef& def = *storage[t];
        const Table& table = kTables[t];
        // The parser keeps one slot per field on the stack.
        if (table.count > 32)
            throw std::logic_error("PDU table " + def.qualifiedName + " too long");
        def.fields.reserve(table.count);
        for (size_t r = 0; r < table.count; ++r) {
            const Row& row = table.rows[r];
            FieldDef field;
            field.name = row.name;
            field.bits = row.bits;
            field.type = row.type;
            field.defaultText = row.defaultText;
            field.typeName = row.typeName;
            field.autoRule = row.autoRule;
            field.checksum = row.checksum;
            field.optional = row.optional;
            field.nested = row.nested ? vlan : nullptr;
            field.owner = &def;
            field.valueType = field.type;
            if (field.type == T::NamedType) {
                const PduTypeRecord* record = FindPduType(&def, field.typeName);
                field.valueType = !record             ? T::Unknown
                                  : record->kind == 1 ? T::Integer
                                  : record->kind == 2 ? T::HexString
                                                      : T::Unknown;
            }
            if (!field.defaultText.empty()) {
                std::string normalized;
                std::string why;
                uint32_t bits = 0;
                if (!ParseFieldValue(field, field.defaultText, normalized, field.defaultBytes, bits,
                                     why)) {
                    throw std::logic_error("PDU table " + def.qualifiedName + "." + field.name +
                                           ": " + why);
                }
                field.defaultText = normalized;
            }
            def.fields.push_back(std::move(field));
        }
        m_defs.push_back(&def);
    }
}

const PduLib& PduLib::Instance() {
    static const PduLib instance;
    return instance;
}

const PduDef* PduLib::FindPduDef(const std::string& qualifiedName) const {
    for (const PduDef* def : m_defs) {
        if (def->qualifiedName == qualifiedName)
            return def;
    }
    return nullptr;
}

const PduTypeRecord* PduLib::FindPduType(const PduDef* definition, const std::string& typeName) {
    if (!definition)
        return nullptr;
    for (const PduTypeRecord& record : definition->types) {
        if (record.name == typeName)
            return &record;
    }
    return nullptr;
}

}  // namespace orx::common
