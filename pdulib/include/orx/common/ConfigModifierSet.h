#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orx::common {

// A modifier a frame description declares on one of its fields.
struct ConfigModifier {
    std::string pduName;
    std::string fieldName;
    std::string text;
};

// The modifiers of a parsed frame. The frame grammar of this library declares none, so parsing
// leaves the set empty; it is released together with the PDUs.
class ConfigModifierSet {
  public:
    bool Empty() const { return m_modifiers.empty(); }
    void Add(ConfigModifier modifier) { m_modifiers.push_back(std::move(modifier)); }
    void Clear() { m_modifiers.clear(); }

  private:
    std::vector<ConfigModifier> m_modifiers;
};

}  // namespace orx::common
