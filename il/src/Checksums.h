#pragma once

// Internet checksums of a response patched from a received frame: a patch that changes bytes
// a checksum covers must not leave a checksum that the receiving host rejects.

#include <cstdint>

#include <orx/il/PortEngine.h>

namespace orx::il {

// `frame` is `original` (both `length` bytes) after `patches`. Recomputes the IPv4 header
// checksum and the ICMP, ICMPv6, UDP or TCP checksum (over IPv4 or IPv6, behind 802.1Q/802.1ad
// tags) when a patch changed a byte the checksum covers, unless a patch writes the checksum
// field itself. Frames that are truncated or malformed, non-IP frames, fragments and unknown
// transports keep their checksums. Frame path: no allocation, reads only within `length`.
void RepairChecksums(uint8_t* frame, const uint8_t* original, uint32_t length,
                     const PatchOp* patches, uint32_t patchCount);

}  // namespace orx::il
