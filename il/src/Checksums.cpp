#include "Checksums.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace orx::il {

namespace {

constexpr uint8_t kIcmp = 1;
constexpr uint8_t kTcp = 6;
constexpr uint8_t kUdp = 17;
constexpr uint8_t kIcmpv6 = 58;
// IPv6 extension headers walked before the transport header; a longer chain is left alone.
constexpr int kMaxExtensions = 8;

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

uint16_t Fold(uint64_t sum) {
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

// RFC 1071 sum of `n` bytes (an odd last byte padded with zero), folded, in network order.
// Words are added in host order and swapped once: the sum does not depend on byte order. The
// tail is assembled in a register: a load spanning bytes just stored would stall.
uint16_t Sum(const uint8_t* p, uint32_t n) {
    constexpr bool kLittle = std::endian::native == std::endian::little;
    uint64_t sum = 0;
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint32_t w;
        std::memcpy(&w, p + i, 4);
        sum += w;
    }
    for (uint32_t k = 0; i < n; ++i, ++k)
        sum += uint64_t{p[i]} << (kLittle ? 8 * k : 24 - 8 * k);
    uint16_t folded = Fold(sum);
    if constexpr (kLittle)
        folded = static_cast<uint16_t>(folded << 8 | folded >> 8);
    return folded;
}

// The sum of [from, to) without the checksum field at `field` (an even distance from `from`).
uint64_t SumAround(const uint8_t* f, uint32_t from, uint32_t field, uint32_t to) {
    return uint64_t{Sum(f + from, field - from)} + Sum(f + field + 2, to - field - 2);
}

// Where the checksummed headers of a frame lie, as offsets into the frame. All of them were
// checked against the frame's length.
struct Layout {
    uint32_t ip = 0;
    uint32_t ipEnd = 0;          // Ethernet padding after the IP packet is not covered
    uint32_t ipv4HeaderEnd = 0;  // 0 for IPv6
    uint32_t l4 = 0;             // 0: no transport whose checksum is kept here
    uint32_t l4End = 0;
    uint32_t checksum = 0;  // the transport checksum field
    uint8_t protocol = 0;
    bool v6 = false;
    uint32_t ext[kMaxExtensions]{};  // IPv6 extension headers in front of the transport
    int extCount = 0;
};

void SetTransport(const uint8_t* f, Layout& l, uint32_t at, uint8_t protocol) {
    uint32_t field, minimum;
    switch (protocol) {
        case kIcmp:
            if (l.v6)
                return;
            field = 2, minimum = 8;
            break;
        case kIcmpv6:
            if (!l.v6)
                return;
            field = 2, minimum = 8;
            break;
        case kUdp:
            field = 6, minimum = 8;
            break;
        case kTcp:
            field = 16, minimum = 20;
            break;
        default:
            return;
    }
    uint32_t size = l.ipEnd - at;
    if (size < minimum)
        return;
    if (protocol == kUdp) {
        // The UDP length bounds the datagram; one beyond the IP packet is malformed.
        uint32_t udpLength = Get16(f + at + 4);
        if (udpLength < 8 || udpLength > size)
            return;
        size = udpLength;
    }
    l.l4 = at;
    l.l4End = at + size;
    l.checksum = at + field;
    l.protocol = protocol;
}

bool ParseIpv4(const uint8_t* f, uint32_t length, Layout& l) {
    uint32_t ip = l.ip;
    if (length - ip < 20 || f[ip] >> 4 != 4)
        return false;
    uint32_t headerLength = (f[ip] & 0x0Fu) * 4;
    uint32_t total = Get16(f + ip + 2);
    if (headerLength < 20 || total < headerLength || total > length - ip)
        return false;
    l.ipv4HeaderEnd = ip + headerLength;
    l.ipEnd = ip + total;
    // A fragment's transport checksum covers the whole datagram, which one frame does not hold.
    if ((Get16(f + ip + 6) & 0x3FFF) == 0)
        SetTransport(f, l, ip + headerLength, f[ip + 9]);
    return true;
}

bool ParseIpv6(const uint8_t* f, uint32_t length, Layout& l) {
    uint32_t ip = l.ip;
    if (length - ip < 40 || f[ip] >> 4 != 6)
        return false;
    uint32_t payload = Get16(f + ip + 4);
    if (payload == 0 || payload > length - ip - 40)  // 0: a jumbogram
        return false;
    l.v6 = true;
    l.ipEnd = ip + 40 + payload;
    uint8_t next = f[ip + 6];
    uint32_t at = ip + 40;
    while (next == 0 || next == 43 || next == 60 || next == 44) {
        if (l.extCount == kMaxExtensions || l.ipEnd - at < 8)
            return true;
        uint32_t size = 8;
        if (next == 44) {
            // Only an atomic fragment (offset 0, no more fragments) holds a whole transport.
            if ((Get16(f + at + 2) & 0xFFF9) != 0)
                return true;
        } else {
            size = (f[at + 1] + 1u) * 8;
            if (size > l.ipEnd - at)
                return true;
        }
        l.ext[l.extCount++] = at;
        next = f[at];
        at += size;
    }
    SetTransport(f, l, at, next);
    return true;
}

// False when the frame holds no well-formed IPv4 or IPv6 packet.
bool Parse(const uint8_t* f, uint32_t length, Layout& l) {
    if (length < 14)
        return false;
    uint32_t at = 12;
    uint16_t type = Get16(f + at);
    while (type == 0x8100 || type == 0x88A8 || type == 0x9100) {
        at += 4;
        if (at + 2 > length)
            return false;
        type = Get16(f + at);
    }
    l.ip = at + 2;
    if (type == 0x0800)
        return ParseIpv4(f, length, l);
    if (type == 0x86DD)
        return ParseIpv6(f, length, l);
    return false;
}

// The patches as applied to one frame, and what they did to it.
struct Patched {
    const uint8_t* frame;
    const uint8_t* original;
    const PatchOp* patches;
    uint32_t count;

    // True when a patch left a byte of [from, to) different from the received frame.
    bool Changed(uint32_t from, uint32_t to) const {
        for (uint32_t i = 0; i < count; ++i) {
            const PatchOp& p = patches[i];
            uint32_t lo = std::max(from, p.offset);
            uint32_t hi =
                static_cast<uint32_t>(std::min<uint64_t>(to, uint64_t{p.offset} + p.length));
            for (uint32_t b = lo; b < hi; ++b) {
                if (frame[b] != original[b])
                    return true;
            }
        }
        return false;
    }

    // True when a patch writes a bit of the 16-bit field at `at`, whatever the value.
    bool Writes(uint32_t at) const {
        for (uint32_t i = 0; i < count; ++i) {
            const PatchOp& p = patches[i];
            for (uint32_t b = at; b < at + 2; ++b) {
                if (b >= p.offset && b - p.offset < p.length && p.mask[b - p.offset] != 0)
                    return true;
            }
        }
        return false;
    }

    // The transport checksum covers its segment, the pseudo-header's addresses, and the IP
    // fields that give the segment's protocol, place and length.
    bool TransportChanged(const Layout& l) const {
        uint32_t ip = l.ip;
        if (Changed(l.l4, l.l4End))
            return true;
        if (!l.v6) {
            return Changed(ip, ip + 1) || Changed(ip + 2, ip + 4) || Changed(ip + 9, ip + 10) ||
                   (l.protocol != kIcmp && Changed(ip + 12, ip + 20));
        }
        if (Changed(ip + 4, ip + 7) || Changed(ip + 8, ip + 40))
            return true;
        for (int e = 0; e < l.extCount; ++e) {
            if (Changed(l.ext[e], l.ext[e] + 2))
                return true;
        }
        return false;
    }
};

}  // namespace

void RepairChecksums(uint8_t* frame, const uint8_t* original, uint32_t length,
                     const PatchOp* patches, uint32_t patchCount) {
    if (patchCount == 0)
        return;
    Layout l;
    if (!Parse(frame, length, l))
        return;
    Patched patched{frame, original, patches, patchCount};

    if (!l.v6 && !patched.Writes(l.ip + 10) && patched.Changed(l.ip, l.ipv4HeaderEnd)) {
        uint16_t sum = Fold(SumAround(frame, l.ip, l.ip + 10, l.ipv4HeaderEnd));
        Put16(frame + l.ip + 10, static_cast<uint16_t>(~sum));
    }

    if (l.l4 == 0 || patched.Writes(l.checksum) || !patched.TransportChanged(l))
        return;
    // UDP over IPv4 may go without a checksum; that choice of the sender stands.
    if (l.protocol == kUdp && !l.v6 && Get16(frame + l.checksum) == 0)
        return;
    uint32_t size = l.l4End - l.l4;
    uint64_t sum = SumAround(frame, l.l4, l.checksum, l.l4End);
    if (l.protocol != kIcmp) {
        sum += l.v6 ? Sum(frame + l.ip + 8, 32) : Sum(frame + l.ip + 12, 8);
        sum += (size >> 16) + (size & 0xFFFF) + l.protocol;
    }
    uint16_t checksum = static_cast<uint16_t>(~Fold(sum));
    // A UDP checksum of 0 would read as "none".
    if (checksum == 0 && l.protocol == kUdp)
        checksum = 0xFFFF;
    Put16(frame + l.checksum, checksum);
}

}  // namespace orx::il
