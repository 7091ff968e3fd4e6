#include <arpa/inet.h>

#include <cstring>

#include <orx/common/IpAddress.h>
#include <orx/common/MacAddress.h>
#include <orx/text/Text.h>

namespace orx::common {

using orx::text::HexDigitValue;

bool CMacAddress::ConvertToType(const std::string& text) {
    // Exactly six pairs of hex digits with one separator kind between them.
    if (text.size() != 17)
        return false;
    const char separator = text[2];
    if (separator != ':' && separator != '-')
        return false;
    std::array<uint8_t, SIZE> bytes{};
    for (size_t i = 0; i < SIZE; ++i) {
        const size_t at = i * 3;
        if (i > 0 && text[at - 1] != separator)
            return false;
        const int high = HexDigitValue(text[at]);
        const int low = HexDigitValue(text[at + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    m_bytes = bytes;
    return true;
}

std::string CMacAddress::ToString() const {
    std::string text;
    text.reserve(17);
    for (size_t i = 0; i < SIZE; ++i) {
        if (i > 0)
            text.push_back(':');
        orx::text::AppendHexByte(text, m_bytes[i]);
    }
    return text;
}

bool CIpAddress::ConvertToType(const std::string& text) {
    std::array<uint8_t, SIZE> bytes{};
    if (inet_pton(AF_INET, text.c_str(), bytes.data()) != 1)
        return false;
    m_bytes = bytes;
    return true;
}

std::string CIpAddress::ToString() const {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, m_bytes.data(), text, sizeof text);
    return text;
}

bool CIpv6Address::ConvertToType(const std::string& text) {
    std::array<uint8_t, SIZE> bytes{};
    if (inet_pton(AF_INET6, text.c_str(), bytes.data()) != 1)
        return false;
    m_bytes = bytes;
    return true;
}

std::string CIpv6Address::ToString() const {
    // glibc writes the RFC 5952 form: lowercase, longest zero run (of two or more) compressed.
    char text[INET6_ADDRSTRLEN];
    inet_ntop(AF_INET6, m_bytes.data(), text, sizeof text);
    return text;
}

}  // namespace orx::common
