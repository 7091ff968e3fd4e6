#pragma once

namespace orx::core {

class CPort;

// Aggregate ports ("port sets") group member ports through relation 0x1000004.
class PortSetUtils {
  public:
    static bool IsPortSet(const CPort* port);
    static bool IsPortSetMember(const CPort* port);
};

}  // namespace orx::core
