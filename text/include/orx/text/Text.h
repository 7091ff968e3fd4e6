#pragma once

// Text handling every layer shares, written once: integers, lists, hex and whole files. It
// depends on nothing of the project, so any library may use it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orx::text {

// Integers ---------------------------------------------------------------------------------------
// The one reading of an integer, wherever the text comes from (a scenario, a property set from a
// string, a frame description, a data-model file): an optional sign, then decimal digits or 0x
// (or 0X) and hex digits, and nothing else (no blanks). A leading zero never makes a number
// octal: "010" is ten.

// Empty when the text is no integer, has a minus sign, or does not fit 64 bits.
std::optional<uint64_t> ParseUnsigned(std::string_view text);
// Empty when the text is no integer or does not fit a signed 64-bit integer.
std::optional<int64_t> ParseSigned(std::string_view text);

// Lists ------------------------------------------------------------------------------------------

// The items between the separators, blanks (spaces and tabs) around each taken off. Empty items
// are kept ("a,,b" has three, "a," two), so that a caller sees them and can refuse them; an
// empty text has no item.
std::vector<std::string> SplitList(std::string_view text, char separator = ',');

// Hex --------------------------------------------------------------------------------------------

// The value of a hex digit (either case); -1 for any other character. Inline, as frame
// descriptions read addresses with it digit by digit.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
// Appends a byte's two lowercase hex digits.
inline void AppendHexByte(std::string& out, uint8_t byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0xF]);
}
// Two lowercase hex digits per byte.
std::string HexEncode(const uint8_t* data, size_t size);
inline std::string HexEncode(const std::vector<uint8_t>& bytes) {
    return HexEncode(bytes.data(), bytes.size());
}
// Pairs of hex digits (either case), after an optional 0x; false with what is wrong (an odd
// number of digits, which character at which position) in `error`, and `bytes` empty.
bool HexDecode(std::string_view text, std::vector<uint8_t>& bytes, std::string* error = nullptr);

// Files ------------------------------------------------------------------------------------------

// The whole content of a file. False with the reason in `why` ("no such file", "not a regular
// file", or the system's word for what failed), and `content` untouched.
bool ReadFile(const std::string& path, std::string& content, std::string& why);

}  // namespace orx::text
