#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orx::common {

// An IPv4 address; text form dotted decimal "10.0.0.1".
class CIpAddress {
  public:
    static constexpr size_t SIZE = 4;

    CIpAddress() = default;
    // False, leaving the address unchanged, when the text is not an IPv4 address.
    bool ConvertToType(const std::string& text);
    std::string ToString() const;
    // Network byte order, SIZE bytes.
    void CopyTo(uint8_t* out) const;
    const std::array<uint8_t, SIZE>& GetBytes() const { return m_bytes; }

  private:
    std::array<uint8_t, SIZE> m_bytes{};
};

// An IPv6 address; written in RFC 5952 form ("2001:db8::1").
class CIpv6Address {
  public:
    static constexpr size_t SIZE = 16;

    CIpv6Address() = default;
    bool ConvertToType(const std::string& text);
    std::string ToString() const;
    void CopyTo(uint8_t* out) const;
    const std::array<uint8_t, SIZE>& GetBytes() const { return m_bytes; }

  private:
    std::array<uint8_t, SIZE> m_bytes{};
};

}  // namespace orx::common
