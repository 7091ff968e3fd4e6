#include "orx/common/Convert.h"

#include <charconv>
#include <limits>

namespace orx::common {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool HasHexPrefix(const std::string& text, size_t at) {
    return text.size() > at + 1 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X');
}

// Magnitude of an unsigned decimal or 0x-prefixed hex text starting at `at`.
bool ParseMagnitude(const std::string& text, size_t at, uint64_t& out) {
    int base = 10;
    if (HasHexPrefix(text, at)) {
        base = 16;
        at += 2;
    }
    if (at >= text.size())
        return false;
    const char* first = text.data() + at;
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, out, base);
    return ec == std::errc() && ptr == last;
}

}  // namespace

bool ConvertToType(uint64_t& value, const std::string& text) {
    size_t at = (!text.empty() && text[0] == '+') ? 1 : 0;
    uint64_t magnitude = 0;
    if (!ParseMagnitude(text, at, magnitude))
        return false;
    value = magnitude;
    return true;
}

bool ConvertToType(int64_t& value, const std::string& text) {
    const bool negative = !text.empty() && text[0] == '-';
    size_t at = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    uint64_t magnitude = 0;
    if (!ParseMagnitude(text, at, magnitude))
        return false;
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (negative) {
        if (magnitude > limit + 1)
            return false;
        value = magnitude == limit + 1 ? std::numeric_limits<int64_t>::min()
                                       : -static_cast<int64_t>(magnitude);
    } else {
        if (magnitude > limit)
            return false;
        value = static_cast<int64_t>(magnitude);
    }
    return true;
}

std::string ConvertToString(int64_t value) {
    return std::to_string(value);
}

bool ConvertAsciiHexToBin(const std::string& hex, std::vector<uint8_t>& bytes, std::string* error) {
    bytes.clear();
    const size_t start = HasHexPrefix(hex, 0) ? 2 : 0;
    const size_t digits = hex.size() - start;
    if (digits % 2 != 0) {
        if (error)
            *error = "odd number of hex digits (" + std::to_string(digits) + ")";
        return false;
    }
    bytes.reserve(digits / 2);
    for (size_t i = start; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            if (error) {
                const size_t at = high < 0 ? i : i + 1;
                error->assign(1, '\'');
                error->push_back(hex[at]);
                error->append("' at position ").append(std::to_string(at));
                error->append(" is not a hex digit");
            }
            bytes.clear();
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

bool ConvertAsciiHexToBin(const std::string& hex, std::string& bytes, std::string* error) {
    std::vector<uint8_t> binary;
    const bool ok = ConvertAsciiHexToBin(hex, binary, error);
    bytes.assign(binary.begin(), binary.end());
    return ok;
}

}  // namespace orx::common
