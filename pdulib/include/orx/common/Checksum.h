#pragma once

#include <cstddef>
#include <cstdint>

namespace orx::common {

// One's complement sum of 16-bit big-endian words (an odd last byte is padded with zero), not
// yet folded or inverted: partial sums of several ranges add up.
uint32_t ChecksumAdd(uint32_t sum, const uint8_t* data, size_t length);
// Folds a partial sum and inverts it: the value to write into an Internet checksum field.
uint16_t ChecksumFinish(uint32_t sum);

}  // namespace orx::common
