#pragma once

#include <string>
#include <vector>

#include <orx/common/PduDefinition.h>

namespace orx::common {

// The PDU definitions the library knows, built once from its tables.
class PduLib {
  public:
    static const PduLib& Instance();

    // By fully qualified type name ("udp:Udp"); null when unknown.
    const PduDef* FindPduDef(const std::string& qualifiedName) const;

    // The named type record of a PDU definition; null for a null definition or an unknown name.
    static const PduTypeRecord* FindPduType(const PduDef* definition, const std::string& typeName);

  private:
    PduLib();
    std::vector<const PduDef*> m_defs;
};

}  // namespace orx::common
