#include <orx/common/Checksum.h>

namespace orx::common {

uint32_t ChecksumAdd(uint32_t sum, const uint8_t* data, size_t length) {
    uint64_t total = sum;
    size_t i = 0;
    for (; i + 1 < length; i += 2)
        total += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (i < length)
        total += static_cast<uint32_t>(data[i] << 8);
    while (total >> 32)
        total = (total & 0xFFFFFFFFu) + (total >> 32);
    return static_cast<uint32_t>(total);
}

uint16_t ChecksumFinish(uint32_t sum) {
    while (sum >> 16)
        sum = (sum & 0xFFFFu) + (sum >> 16);
    return static_cast<uint16_t>(~sum & 0xFFFFu);
}

}  // namespace orx::common
