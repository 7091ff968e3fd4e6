#pragma once

#include <string>

#include <orx/common/FixedAddress.h>

namespace orx::common {

// A 48-bit MAC address; text form "02:00:00:00:00:01" ('-' separators are read too).
class CMacAddress : public CFixedAddress<6> {
  public:
    // False, leaving the address unchanged, when the text is not a MAC address.
    bool ConvertToType(const std::string& text);
    std::string ToString() const;
};

}  // namespace orx::common
