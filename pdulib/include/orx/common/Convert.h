#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orx::common {

// Decimal text (optional sign; "0x" prefix for hex) to a 64-bit integer. False, with `value`
// untouched, when the text is empty, has other characters or does not fit.
bool ConvertToType(int64_t& value, const std::string& text);
bool ConvertToType(uint64_t& value, const std::string& text);

// Decimal text of a 64-bit integer.
std::string ConvertToString(int64_t value);

// Hex digits (optional "0x" prefix), two per byte, to bytes. False, with `bytes` cleared and the
// reason in `error` when given, for an odd number of digits or a character that is not one.
bool ConvertAsciiHexToBin(const std::string& hex, std::vector<uint8_t>& bytes,
                          std::string* error = nullptr);
bool ConvertAsciiHexToBin(const std::string& hex, std::string& bytes, std::string* error = nullptr);

}  // namespace orx::common
