// Frame descriptions: "<frame>" with "<pdu type=... name=...>" children whose elements set fields.
#include <orx/common/XmlFrameBuilder.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>

#include <orx/common/PduLib.h>
#include "FieldValue.h"

namespace orx::common {

namespace {

// Frames are at most this long: their lengths fit the 16-bit length fields.
constexpr uint32_t kMaxFrameBits = 65535u * 8;

struct ParseError {
    ptrdiff_t offset;
    std::string text;
};

class Parser {
  public:
    explicit Parser(bool& anyFieldSet) : m_anyFieldSet(anyFieldSet) {}

    void ParseFrame(const pugi::xml_node& frame, std::vector<ConfigPdu*>& pdus) {
        int index = 0;
        for (pugi::xml_node node = frame.first_child(); node; node = node.next_sibling()) {
            CheckNoText(node, [] { return "<frame>"; });
            if (node.type() != pugi::node_element)
                continue;
            ++index;
            if (std::strcmp(node.name(), "pdu") != 0) {
                Fail(node, std::string("unknown element <") + node.name() +
                               "> in <frame>; only <pdu> elements are allowed");
            }
            std::string typeName;
            std::string name;
            for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
                if (std::strcmp(a.name(), "type") == 0) {
                    typeName = a.value();
                } else if (std::strcmp(a.name(), "name") == 0) {
                    name = a.value();
                } else {
                    Fail(node, std::string("<pdu> has an unknown attribute '") + a.name() + "'");
                }
            }
            if (typeName.empty())
                Fail(node, "<pdu> has no type attribute");
            const PduDef* def = PduLib::Instance().FindPduDef(typeName);
            if (!def || !def->topLevel)
                Fail(node, "unknown PDU type '" + typeName + "'");
            if (name.empty())
                name = "pdu" + std::to_string(index);
            auto pdu = std::make_unique<ConfigPdu>(def, &def->self, name);
            ParseFields(node, *def, *pdu, pdus.empty());
            pdus.push_back(pdu.release());
        }
        if (pdus.empty())
            Fail(frame, "<frame> holds no <pdu>");
    }

  private:
    [[noreturn]] void Fail(const pugi::xml_node& node, std::string text) {
        throw ParseError{node.offset_debug(), std::move(text)};
    }

    // `where` names the parent; it is only called when there is text to complain about.
    template <class Where>
    void CheckNoText(const pugi::xml_node& node, Where&& where) {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
            std::string_view text = node.value();
            if (text.find_first_not_of(" \t\r\n") != std::string_view::npos) {
                Fail(node, "unexpected text in " + std::string(where()));
            }
        }
    }

    std::string Where(const ConfigPdu& pdu, const char* field) {
        return "<" + std::string(field) + "> of pdu '" + pdu.GetName() + "' (" +
               (pdu.GetPduType() ? pdu.GetPduType()->qualifiedName : std::string("?")) + ")";
    }

    void ParseFields(const pugi::xml_node& node, const PduDef& def, ConfigPdu& pdu, bool first) {
        const uint32_t start = m_cursor;
        pdu.ReserveElements(def.fields.size());
        // Elements by field, whatever order the description writes them in.
        pugi::xml_node written[32] = {};
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            CheckNoText(child, [&] { return "pdu '" + pdu.GetName() + "'"; });
            if (child.type() != pugi::node_element)
                continue;
            const FieldDef* field = def.FindField(child.name());
            if (!field) {
                Fail(child, "unknown field <" + std::string(child.name()) + "> in pdu '" +
                                pdu.GetName() + "' (" + def.qualifiedName + ")");
            }
            pugi::xml_node& slot = written[field - def.fields.data()];
            if (slot)
                Fail(child, Where(pdu, child.name()) + " is written twice");
            slot = child;
        }
        for (size_t i = 0; i < def.fields.size(); ++i) {
            const FieldDef& field = def.fields[i];
            const pugi::xml_node& xml = written[i];
            if (field.optional && !xml)
                continue;
            if (field.optional && !first) {
                Fail(xml, Where(pdu, field.name.c_str()) + " is allowed in the first pdu only");
            }
            if (field.nested) {
                ParseGroup(xml, field, pdu);
            } else {
                ParseField(xml, field, pdu);
            }
        }
        pdu.SetPosition(start, m_cursor - start);
    }

    void ParseGroup(const pugi::xml_node& xml, const FieldDef& field, ConfigPdu& pdu) {
        auto group = std::make_unique<ConfigPdu>(nullptr, &field, field.name);
        const uint32_t start = m_cursor;
        if (xml) {
            CheckAttributes(xml, pdu, false);
            int index = 0;
            for (pugi::xml_node child = xml.first_child(); child; child = child.next_sibling()) {
                CheckNoText(child, [&] { return "<" + field.name + ">"; });
                if (child.type() != pugi::node_element)
                    continue;
                ++index;
                const PduDef& type = *field.nested;
                if (type.name != child.name()) {
                    Fail(child, "unknown element <" + std::string(child.name()) + "> in " +
                                    Where(pdu, field.name.c_str()) + "; expected <" + type.name +
                                    ">");
                }
                std::string name = child.attribute("name").value();
                for (pugi::xml_attribute a = child.first_attribute(); a; a = a.next_attribute()) {
                    if (std::strcmp(a.name(), "name") != 0) {
                        Fail(child,
                             "<" + type.name + "> has an unknown attribute '" + a.name() + "'");
                    }
                }
                if (name.empty())
                    name = type.name + std::to_string(index);
                auto nested = std::make_unique<ConfigPdu>(&type, &type.self, name);
                ParseFields(child, type, *nested, false);
                group->AddElement(std::move(nested));
            }
        }
        group->SetPosition(start, m_cursor - start);
        pdu.AddElement(std::move(group));
    }

    void CheckAttributes(const pugi::xml_node& xml, const ConfigPdu& pdu, bool rangeAllowed) {
        for (pugi::xml_attribute a = xml.first_attribute(); a; a = a.next_attribute()) {
            const bool bound =
                std::strcmp(a.name(), "lower") == 0 || std::strcmp(a.name(), "upper") == 0;
            if (!bound || !rangeAllowed) {
                Fail(xml, Where(pdu, xml.name()) + " has an unknown attribute '" + a.name() + "'");
            }
        }
    }

    void ReadValue(const pugi::xml_node& xml, const FieldDef& field, const ConfigPdu& pdu,
                   const std::string& text, const char* what, std::string& normalized,
                   std::vector<uint8_t>& bytes, uint32_t& bits) {
        std::string why;
        if (!ParseFieldValue(field, text, normalized, bytes, bits, why)) {
            Fail(xml, Where(pdu, field.name.c_str()) + ": " + what + why);
        }
    }

    void ParseField(const pugi::xml_node& xml, const FieldDef& field, ConfigPdu& pdu) {
        auto element = std::make_unique<ConfigElement>(&field, field.name, ELEMENT_FIELD);
        uint32_t bits = field.bits;
        if (xml) {
            for (pugi::xml_node child = xml.first_child(); child; child = child.next_sibling()) {
                if (child.type() == pugi::node_element) {
                    Fail(child, Where(pdu, field.name.c_str()) + " holds an element <" +
                                    child.name() + ">; fields hold values only");
                }
            }
            CheckAttributes(xml, pdu, true);
            const std::string text = Trim(xml.text().get());
            const pugi::xml_attribute lower = xml.attribute("lower");
            const pugi::xml_attribute upper = xml.attribute("upper");
            if (lower || upper) {
                if (!lower || !upper) {
                    Fail(xml, Where(pdu, field.name.c_str()) +
                                  " needs both a lower and an upper attribute");
                }
                if (field.bits == 0) {
                    Fail(xml, Where(pdu, field.name.c_str()) +
                                  " has no fixed width and cannot be a range");
                }
                ReadRange(xml, field, pdu, Trim(lower.value()), Trim(upper.value()), *element);
            }
            if (!text.empty()) {
                std::string normalized;
                std::vector<uint8_t> bytes;
                ReadValue(xml, field, pdu, text, "", normalized, bytes, bits);
                element->SetValue(std::move(normalized), std::move(bytes));
                m_anyFieldSet = true;
            } else if (lower) {
                // A range with no value generates all ones: its bits form the match mask.
                std::string ones;
                std::vector<uint8_t> bytes;
                AllOnesValue(field, ones, bytes);
                element->SetValue(std::move(ones), std::move(bytes));
                m_anyFieldSet = true;
            }
        }
        if (field.bits == 0 && element->GetValueText().empty())
            bits = 0;
        if (static_cast<uint64_t>(m_cursor) + bits > kMaxFrameBits) {
            Fail(xml ? xml : pugi::xml_node(),
                 Where(pdu, field.name.c_str()) + ": the frame grows past 65535 bytes");
        }
        element->SetPosition(m_cursor, bits);
        m_cursor += bits;
        pdu.AddElement(std::move(element));
    }

    void ReadRange(const pugi::xml_node& xml, const FieldDef& field, const ConfigPdu& pdu,
                   const std::string& lowerText, const std::string& upperText,
                   ConfigElement& element) {
        std::string lower;
        std::string upper;
        std::vector<uint8_t> lowerBytes;
        std::vector<uint8_t> upperBytes;
        uint32_t bits = 0;
        ReadValue(xml, field, pdu, lowerText, "lower bound: ", lower, lowerBytes, bits);
        ReadValue(xml, field, pdu, upperText, "upper bound: ", upper, upperBytes, bits);
        // Both are right-aligned in the same number of bytes, so bytes compare as numbers.
        if (lowerBytes > upperBytes) {
            Fail(xml, Where(pdu, field.name.c_str()) + ": lower bound " + lower +
                          " is above upper bound " + upper);
        }
        element.SetKind(ELEMENT_RANGE);
        element.SetBounds(std::move(lower), std::move(upper));
    }

    static std::string Trim(const char* text) {
        std::string_view view = text;
        const size_t first = view.find_first_not_of(" \t\r\n");
        if (first == std::string_view::npos)
            return std::string();
        const size_t last = view.find_last_not_of(" \t\r\n");
        return std::string(view.substr(first, last - first + 1));
    }

    bool& m_anyFieldSet;
    uint32_t m_cursor = 0;
};

int LineOf(const std::string& text, ptrdiff_t offset) {
    if (offset < 0)
        return 1;
    const size_t end = std::min(static_cast<size_t>(offset), text.size());
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + end, '\n'));
}

}  // namespace

XmlFrameBuilder& XmlFrameBuilder::Instance() {
    static XmlFrameBuilder instance;
    return instance;
}

bool XmlFrameBuilder::ParseFrame(const std::string& text, std::vector<ConfigPdu*>& pdus,
                                 ConfigModifierSet& modifiers, bool& anyFieldSet,
                                 std::ostream& errors, std::ostream* trace) const {
    ClearFrame(pdus, modifiers);
    anyFieldSet = false;
    pugi::xml_document doc;
    const pugi::xml_parse_result result =
        doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!result) {
        errors << "line " << LineOf(text, result.offset)
               << ": frame description is not XML: " << result.description();
        return false;
    }
    const pugi::xml_node frame = doc.document_element();
    if (!frame || std::strcmp(frame.name(), "frame") != 0) {
        errors << "line " << LineOf(text, frame ? frame.offset_debug() : 0)
               << ": the root element must be <frame>, not <" << frame.name() << ">";
        return false;
    }
    Parser parser(anyFieldSet);
    try {
        parser.ParseFrame(frame, pdus);
    } catch (const ParseError& error) {
        ClearFrame(pdus, modifiers);
        anyFieldSet = false;
        errors << "line " << LineOf(text, error.offset) << ": " << error.text;
        return false;
    }
    if (trace) {
        for (const ConfigPdu* pdu : pdus) {
            *trace << "pdu '" << pdu->GetName() << "' " << pdu->GetFullyQualifiedTypeName()
                   << " bits " << pdu->GetBitOffset() << "+" << pdu->GetBitLength() << "\n";
        }
    }
    return true;
}

void XmlFrameBuilder::ClearFrame(std::vector<ConfigPdu*>& pdus,
                                 ConfigModifierSet& modifiers) const {
    for (ConfigPdu* pdu : pdus)
        delete pdu;
    pdus.clear();
    modifiers.Clear();
}

}  // namespace orx::common
