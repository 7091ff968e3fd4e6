#pragma once

#include <memory>
#include <string>
#include <vector>

#include <orx/common/ConfigElement.h>

namespace orx::common {

// A PDU of a parsed frame: a top-level PDU, a nested PDU ("Vlan") or a group of nested PDUs
// ("vlans"). It owns its elements, in wire order.
class ConfigPdu : public ConfigElement {
  public:
    // `type` is null for a group; `definition` describes the PDU as an element.
    ConfigPdu(const PduDef* type, const FieldDef* definition, std::string name);

    const PduDef* GetPduType() const override { return m_type; }
    // "ethernet:EthernetII"; empty for a group.
    void GetFullyQualifiedTypeName(std::string& name) const;
    const std::string& GetFullyQualifiedTypeName() const;
    void GetConfigElementList(std::vector<ConfigElement*>& elements) const;
    const std::vector<std::unique_ptr<ConfigElement>>& GetElements() const { return m_elements; }
    // The first element of that name below this PDU (depth first), or null; `owner`, when
    // given, receives the PDU that holds it.
    ConfigElement* FindConfigElement(const std::string& name, ConfigPdu** owner) const;

    ConfigElement& AddElement(std::unique_ptr<ConfigElement> element);
    void ReserveElements(size_t count) { m_elements.reserve(count); }

  private:
    const PduDef* m_type;
    std::vector<std::unique_ptr<ConfigElement>> m_elements;
};

}  // namespace orx::common
