#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orx::common {

// What every address of a fixed size shares: its bytes in network order.
template <size_t N>
class CFixedAddress {
  public:
    static constexpr size_t SIZE = N;

    // Network byte order, SIZE bytes.
    void CopyTo(uint8_t* out) const { std::memcpy(out, m_bytes.data(), SIZE); }
    const std::array<uint8_t, SIZE>& GetBytes() const { return m_bytes; }

  protected:
    std::array<uint8_t, SIZE> m_bytes{};
};

}  // namespace orx::common
