#include "FieldValue.h"

#include <orx/common/Convert.h>
#include <orx/common/IpAddress.h>
#include <orx/common/MacAddress.h>
#include <orx/text/Text.h>

namespace orx::common {

namespace {

uint32_t ByteCount(uint32_t bits) {
    return (bits + 7) / 8;
}

void ToBytes(uint64_t value, uint32_t bits, std::vector<uint8_t>& bytes) {
    bytes.assign(ByteCount(bits), 0);
    for (size_t i = bytes.size(); i-- > 0 && value != 0;) {
        bytes[i] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

uint64_t FromBytes(const std::vector<uint8_t>& bytes) {
    uint64_t value = 0;
    for (uint8_t b : bytes)
        value = value << 8 | b;
    return value;
}

bool FitsBits(uint64_t value, uint32_t bits) {
    return bits >= 64 || (value >> bits) == 0;
}

std::string HexText(const std::vector<uint8_t>& bytes, size_t digits) {
    std::string text = orx::text::HexEncode(bytes);
    // Right-aligned bytes may carry one nibble more than the width needs.
    if (digits < text.size())
        text.erase(0, text.size() - digits);
    return text;
}

bool ParseHex(const FieldDef& def, const std::string& text, std::string& normalized,
              std::vector<uint8_t>& bytes, uint32_t& bits, std::string& why) {
    const size_t start =
        (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) ? 2 : 0;
    std::string digits = text.substr(start);
    for (char c : digits) {
        if (orx::text::HexDigitValue(c) < 0) {
            why = "'" + text + "' is not a hex value";
            return false;
        }
    }
    if (def.bits == 0) {
        // Any length: whole bytes only; "0x" alone sets the field to no bytes at all.
        if (digits.size() % 2 != 0) {
            why = "hex value '" + text + "' has an odd number of digits";
            return false;
        }
        if (digits.empty() && start == 0) {
            why = "empty hex value";
            return false;
        }
        ConvertAsciiHexToBin(digits, bytes);
        bits = static_cast<uint32_t>(bytes.size() * 8);
        normalized = digits.empty() ? "0x" : HexText(bytes, digits.size());
        return true;
    }
    if (digits.empty()) {
        why = "'" + text + "' is not a hex value";
        return false;
    }
    size_t firstNonZero = digits.find_first_not_of('0');
    digits.erase(0, firstNonZero == std::string::npos ? digits.size() : firstNonZero);
    if (digits.size() % 2 != 0)
        digits.insert(digits.begin(), '0');
    std::vector<uint8_t> value;
    ConvertAsciiHexToBin(digits, value);
    const uint32_t width = ByteCount(def.bits);
    const uint32_t spare = width * 8 - def.bits;
    if (value.size() > width || (value.size() == width && spare > 0 && (value[0] >> (8 - spare)))) {
        why = "hex value '" + text + "' does not fit " + std::to_string(def.bits) + " bits";
        return false;
    }
    bytes.assign(width - value.size(), 0);
    bytes.insert(bytes.end(), value.begin(), value.end());
    bits = def.bits;
    normalized = HexText(bytes, (def.bits + 3) / 4);
    return true;
}

}  // namespace

bool ParseFieldValue(const FieldDef& def, const std::string& text, std::string& normalized,
                     std::vector<uint8_t>& bytes, uint32_t& bits, std::string& why) {
    switch (def.valueType) {
        case PduFieldType::Integer: {
            uint64_t value = 0;
            if (text.empty() || text[0] == '-' || !ConvertToType(value, text)) {
                why = "'" + text + "' is not an unsigned integer";
                return false;
            }
            if (!FitsBits(value, def.bits)) {
                why = "value " + text + " does not fit " + std::to_string(def.bits) + " bits";
                return false;
            }
            ToBytes(value, def.bits, bytes);
            bits = def.bits;
            normalized = std::to_string(value);
            return true;
        }
        case PduFieldType::BitString: {
            if (text.empty() || text.size() > def.bits ||
                text.find_first_not_of("01") != std::string::npos) {
                why = "'" + text + "' is not a bit string of at most " + std::to_string(def.bits) +
                      " bits";
                return false;
            }
            uint64_t value = 0;
            for (char c : text)
                value = value << 1 | (c == '1' ? 1 : 0);
            ToBytes(value, def.bits, bytes);
            bits = def.bits;
            normalized = FormatFieldValue(PduFieldType::BitString, bytes, bits);
            return true;
        }
        case PduFieldType::HexString:
            return ParseHex(def, text, normalized, bytes, bits, why);
        case PduFieldType::MacAddress: {
            CMacAddress mac;
            if (!mac.ConvertToType(text)) {
                why = "'" + text + "' is not a MAC address";
                return false;
            }
            bytes.assign(mac.GetBytes().begin(), mac.GetBytes().end());
            bits = 48;
            normalized = mac.ToString();
            return true;
        }
        case PduFieldType::Ipv4Address: {
            CIpAddress ip;
            if (!ip.ConvertToType(text)) {
                why = "'" + text + "' is not an IPv4 address";
                return false;
            }
            bytes.assign(ip.GetBytes().begin(), ip.GetBytes().end());
            bits = 32;
            normalized = ip.ToString();
            return true;
        }
        case PduFieldType::Ipv6Address: {
            CIpv6Address ip;
            if (!ip.ConvertToType(text)) {
                why = "'" + text + "' is not an IPv6 address";
                return false;
            }
            bytes.assign(ip.GetBytes().begin(), ip.GetBytes().end());
            bits = 128;
            normalized = ip.ToString();
            return true;
        }
        default:
            why = "field '" + def.name + "' has no readable value type";
            return false;
    }
}

void AllOnesValue(const FieldDef& def, std::string& text, std::vector<uint8_t>& bytes) {
    bytes.assign(ByteCount(def.bits), 0xFF);
    const uint32_t spare = static_cast<uint32_t>(bytes.size() * 8 - def.bits);
    if (!bytes.empty() && spare > 0)
        bytes[0] = static_cast<uint8_t>(0xFF >> spare);
    text = FormatFieldValue(def.valueType, bytes, def.bits);
}

std::string FormatFieldValue(PduFieldType type, const std::vector<uint8_t>& bytes, uint32_t bits) {
    switch (type) {
        case PduFieldType::Integer:
            return std::to_string(FromBytes(bytes));
        case PduFieldType::BitString: {
            std::string text;
            const uint64_t value = FromBytes(bytes);
            for (uint32_t i = bits; i-- > 0;)
                text.push_back((value >> i) & 1 ? '1' : '0');
            return text;
        }
        case PduFieldType::HexString:
            return bits == 0 ? std::string("0x") : HexText(bytes, (bits + 3) / 4);
        case PduFieldType::MacAddress: {
            CMacAddress mac;
            std::string text = HexText(bytes, 12);
            for (size_t at = 2; at < text.size(); at += 3)
                text.insert(at, ":");
            mac.ConvertToType(text);
            return mac.ToString();
        }
        case PduFieldType::Ipv4Address:
        case PduFieldType::Ipv6Address: {
            if (type == PduFieldType::Ipv4Address) {
                CIpAddress ip;
                std::string dotted;
                for (size_t i = 0; i < bytes.size(); ++i) {
                    dotted += (i ? "." : "") + std::to_string(bytes[i]);
                }
                ip.ConvertToType(dotted);
                return ip.ToString();
            }
            CIpv6Address ip;
            std::string text;
            for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
                text += (i ? ":" : "") + HexText({bytes[i], bytes[i + 1]}, 4);
            }
            ip.ConvertToType(text);
            return ip.ToString();
        }
        default:
            return std::string();
    }
}

}  // namespace orx::common
