#include <orx/common/Convert.h>

#include <optional>

#include <orx/text/Text.h>

namespace orx::common {

bool ConvertToType(uint64_t& value, const std::string& text) {
    std::optional<uint64_t> v = orx::text::ParseUnsigned(text);
    if (!v)
        return false;
    value = *v;
    return true;
}

bool ConvertToType(int64_t& value, const std::string& text) {
    std::optional<int64_t> v = orx::text::ParseSigned(text);
    if (!v)
        return false;
    value = *v;
    return true;
}

std::string ConvertToString(int64_t value) {
    return std::to_string(value);
}

bool ConvertAsciiHexToBin(const std::string& hex, std::vector<uint8_t>& bytes, std::string* error) {
    return orx::text::HexDecode(hex, bytes, error);
}

bool ConvertAsciiHexToBin(const std::string& hex, std::string& bytes, std::string* error) {
    std::vector<uint8_t> binary;
    const bool ok = ConvertAsciiHexToBin(hex, binary, error);
    bytes.assign(binary.begin(), binary.end());
    return ok;
}

}  // namespace orx::common
