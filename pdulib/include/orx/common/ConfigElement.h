#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <orx/common/PduDefinition.h>

namespace orx::common {

class ConfigPdu;

// What an element of a parsed frame is.
enum ElementKind : int {
    ELEMENT_PDU = 0,    // a nested PDU (the element is a ConfigPdu)
    ELEMENT_FIELD = 1,  // a field
    ELEMENT_RANGE = 2,  // a field with lower and upper bounds
};

// One element of a parsed frame: a field, or (as ConfigPdu) a PDU. Positions are in bits from
// the first bit of the generated frame, preamble included.
class ConfigElement {
  public:
    // A field (kind 1 or 2); PDUs are made as ConfigPdu.
    ConfigElement(const FieldDef* definition, std::string name, int kind);
    virtual ~ConfigElement() = default;
    ConfigElement(const ConfigElement&) = delete;
    ConfigElement& operator=(const ConfigElement&) = delete;

    int GetKind() const { return m_kind; }
    const FieldDef* GetDefinition() const { return m_definition; }
    const std::string& GetName() const { return m_name; }
    // PDU type of a nested PDU; null for fields and for PDUs that only group others ("vlans").
    virtual const PduDef* GetPduType() const { return nullptr; }
    ConfigPdu* AsPdu();
    const ConfigPdu* AsPdu() const;

    // What the frame description sets; empty when the element keeps its default.
    const std::string& GetValueText() const { return m_value; }
    const std::string& GetLowerText() const { return m_lower; }
    const std::string& GetUpperText() const { return m_upper; }
    // The value text as generated: the set value, else the definition's default.
    const std::string& GetGeneratedValueText() const;
    // Bytes the field generates, right-aligned in ceil(bit length / 8) bytes.
    const std::vector<uint8_t>& GetGeneratedBytes() const;

    uint32_t GetBitOffset() const { return m_bitOffset; }
    uint32_t GetBitLength() const { return m_bitLength; }
    // True when the element generates no bits.
    bool IsEmpty() const { return m_bitLength == 0; }

    // Used while parsing.
    void SetValue(std::string text, std::vector<uint8_t> bytes);
    void SetBounds(std::string lower, std::string upper);
    void SetKind(int kind) { m_kind = kind; }
    void SetPosition(uint32_t bitOffset, uint32_t bitLength) {
        m_bitOffset = bitOffset;
        m_bitLength = bitLength;
    }

  protected:
    struct PduTag {};
    ConfigElement(const FieldDef* definition, std::string name, PduTag);

  private:
    const FieldDef* m_definition;
    std::string m_name;
    int m_kind;
    std::string m_value;
    std::string m_lower;
    std::string m_upper;
    std::vector<uint8_t> m_bytes;
    bool m_ownBytes = false;
    uint32_t m_bitOffset = 0;
    uint32_t m_bitLength = 0;
    bool m_isPdu = false;
};

}  // namespace orx::common
