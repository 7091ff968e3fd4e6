#pragma once

namespace orx::common {

// How a field's value text is read and how its bits are written. The numbers are part of the
// library's interface: callers compare against them.
enum class PduFieldType : int {
    Unknown = 0,
    Integer = 1,      // decimal text, at most 64 bits
    BitString = 2,    // characters '1' and '0'
    HexString = 3,    // hex digits, two per byte
    MacAddress = 6,   // 02:00:00:00:00:01
    Ipv4Address = 7,  // 10.0.0.1
    Ipv6Address = 8,  // 2001:db8::1 (RFC 5952 form)
    NamedType = 9,    // a type record of the PDU definition (see PduLib::FindPduType)
};

}  // namespace orx::common
