#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orx::common {

// A 48-bit MAC address; text form "02:00:00:00:00:01" ('-' separators are read too).
class CMacAddress {
  public:
    static constexpr size_t SIZE = 6;

    CMacAddress() = default;
    // False, leaving the address unchanged, when the text is not a MAC address.
    bool ConvertToType(const std::string& text);
    std::string ToString() const;
    // Network byte order, SIZE bytes.
    void CopyTo(uint8_t* out) const;
    const std::array<uint8_t, SIZE>& GetBytes() const { return m_bytes; }

  private:
    std::array<uint8_t, SIZE> m_bytes{};
};

}  // namespace orx::common
