#include <orx/text/Text.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace orx::text {

namespace {

bool HasHexPrefix(std::string_view text) {
    return text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// The magnitude after the sign: decimal, or hex after 0x.
std::optional<uint64_t> Magnitude(std::string_view digits) {
    int base = 10;
    if (HasHexPrefix(digits)) {
        base = 16;
        digits.remove_prefix(2);
    }
    // from_chars takes no sign and no blank of its own, so none can slip in after the prefix.
    if (digits.empty())
        return std::nullopt;
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (ec != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<uint64_t> ParseUnsigned(std::string_view text) {
    if (!text.empty() && text[0] == '-')
        return std::nullopt;
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    return Magnitude(text);
}

std::optional<int64_t> ParseSigned(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    std::optional<uint64_t> magnitude = Magnitude(text);
    if (!magnitude)
        return std::nullopt;
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (!negative) {
        if (*magnitude > kMax)
            return std::nullopt;
        return static_cast<int64_t>(*magnitude);
    }
    if (*magnitude > kMax + 1)
        return std::nullopt;
    return static_cast<int64_t>(0 - *magnitude);
}

std::vector<std::string> SplitList(std::string_view text, char separator) {
    std::vector<std::string> items;
    if (text.empty())
        return items;
    for (;;) {
        size_t end = text.find(separator);
        std::string_view item = text.substr(0, end);
        size_t first = item.find_first_not_of(" \t");
        size_t last = item.find_last_not_of(" \t");
        items.emplace_back(first == std::string_view::npos ? std::string_view()
                                                           : item.substr(first, last - first + 1));
        if (end == std::string_view::npos)
            return items;
        text.remove_prefix(end + 1);
    }
}

std::string HexEncode(const uint8_t* data, size_t size) {
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i)
        AppendHexByte(text, data[i]);
    return text;
}

bool HexDecode(std::string_view text, std::vector<uint8_t>& bytes, std::string* error) {
    bytes.clear();
    const size_t start = HasHexPrefix(text) ? 2 : 0;
    const size_t digits = text.size() - start;
    if (digits % 2 != 0) {
        if (error)
            *error = "odd number of hex digits (" + std::to_string(digits) + ")";
        return false;
    }
    bytes.reserve(digits / 2);
    for (size_t i = start; i < text.size(); i += 2) {
        const int high = HexDigitValue(text[i]);
        const int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            if (error) {
                const size_t at = high < 0 ? i : i + 1;
                *error = std::string("'") + text[at] + "' at position " + std::to_string(at) +
                         " is not a hex digit";
            }
            bytes.clear();
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

bool ReadFile(const std::string& path, std::string& content, std::string& why) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        why = fs::exists(path, ec) ? "not a regular file" : "no such file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        why = "read error";
        return false;
    }
    content = std::move(text).str();
    return true;
}

}  // namespace orx::text
