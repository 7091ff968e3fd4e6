#include "PduFieldFunctions.h"

#include <algorithm>

#include <orx/common/Convert.h>
#include <orx/common/IpAddress.h>
#include <orx/common/MacAddress.h>
#include <orx/framework/Exceptions.h>
#include <orx/text/Text.h>

namespace orx::responder {

using orx::common::ConfigElement;
using orx::common::ConfigPdu;
using orx::common::PduFieldType;

bool FindAllConfigElements(ConfigPdu* pdu, const std::string& name,
                           std::vector<ConfigElement*>& found) {
    if (pdu) {
        for (const auto& owned : pdu->GetElements()) {
            ConfigElement* element = owned.get();
            const std::string* elementName = nullptr;
            static const std::string unknown = "Unknown";
            elementName = &unknown;
            if (element->GetDefinition())
                elementName = &element->GetDefinition()->name;
            if (element->GetKind() == orx::common::ELEMENT_PDU && element->GetPduType()) {
                elementName = &element->GetPduType()->name;
            }
            if (*elementName == name)
                found.push_back(element);
            if (element->GetKind() == orx::common::ELEMENT_PDU) {
                FindAllConfigElements(element->AsPdu(), name, found);
            }
        }
    }
    return !found.empty();
}

void GetAllOverriddenConfigElements(ConfigPdu* pdu, std::vector<PathElement>& out,
                                    std::string prefix) {
    if (!pdu)
        return;
    std::string path;
    if (prefix.empty()) {
        path = pdu->GetFullyQualifiedTypeName();
    } else {
        path = std::move(prefix);
        path += '/';
        path += pdu->GetDefinition() ? pdu->GetDefinition()->name : pdu->GetName();
    }
    for (const auto& owned : pdu->GetElements()) {
        ConfigElement* element = owned.get();
        if (element->GetKind() == orx::common::ELEMENT_PDU) {
            GetAllOverriddenConfigElements(element->AsPdu(), out, path);
        } else if (!element->GetValueText().empty()) {
            const std::string& field =
                element->GetDefinition() ? element->GetDefinition()->name : element->GetName();
            out.push_back(PathElement{path + "." + field, element});
        }
    }
}

const std::map<std::string, std::string>& exprMap() {
    static const std::map<std::string, std::string> table = {
        {"ethernet:EthernetII.srcMac", "ether src"},
        {"ethernet:EthernetII.dstMac", "ether dst"},
        {"ethernet:EthernetII/vlans/Vlan.id", "vlan"},
        {"ipv4:IPv4.sourceAddr", "src host"},
        {"ipv4:IPv4.destAddr", "dst host"},
        {"ipv6:IPv6.sourceAddr", "src host"},
        {"ipv6:IPv6.destAddr", "dst host"},
        {"tcp:Tcp.sourcePort", "tcp and src port"},
        {"tcp:Tcp.destPort", "tcp and dst port"},
        {"udp:Udp.sourcePort", "udp and src port"},
        {"udp:Udp.destPort", "udp and dst port"},
    };
    return table;
}

std::string ConvertPduFieldToHexdumpField(const std::string& path) {
    const auto& table = exprMap();
    auto it = table.find(path);
    return it == table.end() ? std::string() : it->second;
}

void CalcMask(unsigned pos, unsigned bitLength, std::vector<uint8_t>& mask) {
    mask.clear();
    const uint64_t end = static_cast<uint64_t>(pos) + bitLength;
    uint64_t p = pos;
    while (p < end) {
        const unsigned n = static_cast<unsigned>(std::min<uint64_t>(end - p, 8 - p % 8));
        unsigned chunk = n == 8 ? 0xFFu : (1u << n) - 1;
        const unsigned s = static_cast<unsigned>((p % 8 + n) % 8);
        if (s != 0)
            chunk = (chunk << (8 - s)) & 0xFFu;
        mask.push_back(static_cast<uint8_t>(chunk));
        p += n;
    }
}

namespace {

// Reads a pair of characters the way strtol with base 16 does: leading blanks, a sign, then
// digits up to the first character that is not one.
uint8_t ReadHexPair(char a, char b) {
    const char pair[2] = {a, b};
    size_t i = 0;
    while (i < 2 && (pair[i] == ' ' || pair[i] == '\t' || pair[i] == '\n' || pair[i] == '\r' ||
                     pair[i] == '\f' || pair[i] == '\v')) {
        ++i;
    }
    bool negative = false;
    if (i < 2 && (pair[i] == '+' || pair[i] == '-')) {
        negative = pair[i] == '-';
        ++i;
    }
    int value = 0;
    for (; i < 2; ++i) {
        const char c = pair[i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return static_cast<uint8_t>(negative ? -value : value);
}

template <class Address>
void CopyAddress(std::vector<uint8_t>& out, const std::string& text, const char* what) {
    Address address;
    if (!address.ConvertToType(text)) {
        throw orx::framework::COrxRunTimeError("'" + text + "' is not " + what);
    }
    out.resize(Address::SIZE);
    address.CopyTo(out.data());
}

}  // namespace

void GetValueBytes(std::vector<uint8_t>& out, const std::string& text, PduFieldType type,
                   unsigned pos, unsigned bitLength) {
    out.clear();
    const uint64_t end = static_cast<uint64_t>(pos) + bitLength;
    const size_t span = static_cast<size_t>((end + 7) / 8);
    switch (type) {
        case PduFieldType::MacAddress:
            CopyAddress<orx::common::CMacAddress>(out, text, "a MAC address");
            return;
        case PduFieldType::Ipv4Address:
            CopyAddress<orx::common::CIpAddress>(out, text, "an IPv4 address");
            return;
        case PduFieldType::Ipv6Address:
            CopyAddress<orx::common::CIpv6Address>(out, text, "an IPv6 address");
            return;
        case PduFieldType::HexString:
            for (size_t i = 0; i < text.size(); i += 2) {
                out.push_back(ReadHexPair(text[i], i + 1 < text.size() ? text[i + 1] : '0'));
            }
            if (out.size() < span)
                out.insert(out.begin(), span - out.size(), 0);
            return;
        default:
            break;
    }
    uint64_t value = 0;
    if (type == PduFieldType::Integer) {
        int64_t signedValue = 0;
        if (!orx::common::ConvertToType(value, text)) {
            if (!orx::common::ConvertToType(signedValue, text)) {
                throw orx::framework::COrxRunTimeError("'" + text + "' is not an integer");
            }
            value = static_cast<uint64_t>(signedValue);
        }
    } else if (type == PduFieldType::BitString) {
        for (char c : text)
            value = value << 1 | (c == '1' ? 1u : 0u);
    }
    // Unsigned and cut to the field's width, so that no shift below is undefined.
    if (bitLength < 64)
        value &= (uint64_t{1} << bitLength) - 1;
    const unsigned shift = static_cast<unsigned>((8 - end % 8) % 8);
    const unsigned __int128 placed = static_cast<unsigned __int128>(value) << shift;
    out.assign(span, 0);
    for (size_t i = 0; i < span && i < 16; ++i) {
        out[span - 1 - i] = static_cast<uint8_t>(placed >> (8 * i));
    }
}

namespace {

void AppendHex(std::string& out, const std::vector<uint8_t>& bytes, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i) {
        const uint8_t b = i < bytes.size() ? bytes[i] : 0;
        orx::text::AppendHexByte(out, b);
    }
}

// Writes one comparison of `count` bytes from mask index `from`. Three bytes are read as four
// (libpcap loads 1, 2 or 4), with a zero byte appended to mask and value.
void WriteChunk(std::string& out, const ByteMatch& m, size_t from, size_t count, bool cut,
                const char* op, const std::vector<uint8_t>& values) {
    const bool three = count == 3;
    out += "ether[";
    out += std::to_string(m.byteOffset + from);
    if (count == 1) {
        out += "] ";
    } else {
        out += ':';
        out += std::to_string(three ? 4 : count);
        out += "] ";
    }
    const bool allOnes = std::all_of(m.matchMask.begin() + from, m.matchMask.begin() + from + count,
                                     [](uint8_t b) { return b == 0xFF; });
    if (three || cut || (m.maskNeeded && !allOnes)) {
        out += "& 0x";
        AppendHex(out, m.matchMask, from, count);
        if (three)
            out += "00";
        out += ' ';
    }
    out += op;
    out += " 0x";
    AppendHex(out, values, from, count);
    if (three)
        out += "00";
}

}  // namespace

std::string WriteByteMatchPass(const ByteMatch& m, const char* op,
                               const std::vector<uint8_t>& values) {
    std::string out;
    size_t start = 0;
    size_t length = m.firstChunk;
    while (start < m.matchMask.size()) {
        const size_t count = std::min(length, m.matchMask.size() - start);
        const bool cut = count < length;
        const bool allZero =
            std::all_of(m.matchMask.begin() + start, m.matchMask.begin() + start + count,
                        [](uint8_t b) { return b == 0; });
        if (!allZero) {
            if (!out.empty())
                out += " and ";
            if (count == 3 && m.byteOffset + start + 4 > m.payloadSize) {
                // A four-byte load past the frame's end never matches: two loads instead.
                WriteChunk(out, m, start, 2, true, op, values);
                out += " and ";
                WriteChunk(out, m, start + 2, 1, true, op, values);
            } else {
                WriteChunk(out, m, start, count, cut, op, values);
            }
        }
        start += length;
        length = 4;
    }
    return out;
}

std::string BytesToStr(const std::vector<uint8_t>& bytes) {
    if (bytes.empty())
        return std::string();
    return "0x" + orx::text::HexEncode(bytes);
}

}  // namespace orx::responder
