#include <orx/common/ConfigElement.h>

#include <stdexcept>

#include <orx/common/ConfigPdu.h>

namespace orx::common {

namespace {
const std::string kEmptyText;
const std::vector<uint8_t> kNoBytes;
}  // namespace

ConfigElement::ConfigElement(const FieldDef* definition, std::string name, int kind)
    : m_definition(definition), m_name(std::move(name)), m_kind(kind) {
    if (kind == ELEMENT_PDU)
        throw std::invalid_argument("a PDU element is made as a ConfigPdu");
}

ConfigElement::ConfigElement(const FieldDef* definition, std::string name, PduTag)
    : m_definition(definition), m_name(std::move(name)), m_kind(ELEMENT_PDU), m_isPdu(true) {}

ConfigPdu* ConfigElement::AsPdu() {
    return m_isPdu ? static_cast<ConfigPdu*>(this) : nullptr;
}

const ConfigPdu* ConfigElement::AsPdu() const {
    return m_isPdu ? static_cast<const ConfigPdu*>(this) : nullptr;
}

const std::string& ConfigElement::GetGeneratedValueText() const {
    if (!m_value.empty())
        return m_value;
    return m_definition ? m_definition->defaultText : kEmptyText;
}

const std::vector<uint8_t>& ConfigElement::GetGeneratedBytes() const {
    if (m_ownBytes)
        return m_bytes;
    return m_definition ? m_definition->defaultBytes : kNoBytes;
}

void ConfigElement::SetValue(std::string text, std::vector<uint8_t> bytes) {
    m_value = std::move(text);
    m_bytes = std::move(bytes);
    m_ownBytes = true;
}

void ConfigElement::SetBounds(std::string lower, std::string upper) {
    m_lower = std::move(lower);
    m_upper = std::move(upper);
}

ConfigPdu::ConfigPdu(const PduDef* type, const FieldDef* definition, std::string name)
    : ConfigElement(definition, std::move(name), PduTag{}), m_type(type) {}

const std::string& ConfigPdu::GetFullyQualifiedTypeName() const {
    return m_type ? m_type->qualifiedName : kEmptyText;
}

void ConfigPdu::GetFullyQualifiedTypeName(std::string& name) const {
    name = GetFullyQualifiedTypeName();
}

void ConfigPdu::GetConfigElementList(std::vector<ConfigElement*>& elements) const {
    elements.clear();
    elements.reserve(m_elements.size());
    for (const auto& element : m_elements)
        elements.push_back(element.get());
}

ConfigElement* ConfigPdu::FindConfigElement(const std::string& name, ConfigPdu** owner) const {
    for (const auto& element : m_elements) {
        if (element->GetName() == name) {
            if (owner)
                *owner = const_cast<ConfigPdu*>(this);
            return element.get();
        }
        if (const ConfigPdu* nested = element->AsPdu()) {
            if (ConfigElement* found = nested->FindConfigElement(name, owner))
                return found;
        }
    }
    return nullptr;
}

ConfigElement& ConfigPdu::AddElement(std::unique_ptr<ConfigElement> element) {
    m_elements.push_back(std::move(element));
    return *m_elements.back();
}

}  // namespace orx::common
