#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <orx/common/PduDefinition.h>

namespace orx::common {

// Reads the value text of a field of the definition. On success: the text as the library writes
// it, the bytes (right-aligned in ceil(bits / 8) bytes) and the bit count (the field's width,
// or the value's own for fields of any length). On failure the reason is in `why`.
bool ParseFieldValue(const FieldDef& def, const std::string& text, std::string& normalized,
                     std::vector<uint8_t>& bytes, uint32_t& bits, std::string& why);

// The value with every bit of the field's width set, as text and bytes.
void AllOnesValue(const FieldDef& def, std::string& text, std::vector<uint8_t>& bytes);

// Writes the text form of right-aligned bytes of a field of this type and width.
std::string FormatFieldValue(PduFieldType type, const std::vector<uint8_t>& bytes, uint32_t bits);

}  // namespace orx::common
