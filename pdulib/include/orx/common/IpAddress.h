#pragma once

#include <string>

#include <orx/common/FixedAddress.h>

namespace orx::common {

// An IPv4 address; text form dotted decimal "10.0.0.1".
class CIpAddress : public CFixedAddress<4> {
  public:
    // False, leaving the address unchanged, when the text is not an IPv4 address.
    bool ConvertToType(const std::string& text);
    std::string ToString() const;
};

// An IPv6 address; written in RFC 5952 form ("2001:db8::1").
class CIpv6Address : public CFixedAddress<16> {
  public:
    // False, leaving the address unchanged, when the text is not an IPv6 address.
    bool ConvertToType(const std::string& text);
    std::string ToString() const;
};

}  // namespace orx::common
