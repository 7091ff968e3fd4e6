#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include <orx/framework/Types.h>

namespace orx::core {

// One entry of the capability database. A capability may exist without a value.
class Capability {
  public:
    using Value = std::variant<bool, int64_t, std::string>;

    Capability() = default;
    explicit Capability(Value value) : m_value(std::move(value)) {}

    bool HasValue() const { return m_value.has_value(); }
    bool IsBool() const { return m_value && std::holds_alternative<bool>(*m_value); }
    bool GetBool() const { return IsBool() && std::get<bool>(*m_value); }
    const std::optional<Value>& GetValue() const { return m_value; }

  private:
    std::optional<Value> m_value;
};

// Builds the look-up key of an object's capabilities ("<category>/<handle>").
class RcmKeyMgr {
  public:
    static bool GetLookupKey(orx::framework::Handle handle, const std::string& category,
                             std::string& key);
};

// The capability database: entries by key and capability name ("TestModule/supportsX").
class RcmDBMgr {
  public:
    static RcmDBMgr& Instance();

    // A copy of the capability, or null when the database has no such entry.
    std::unique_ptr<Capability> GetDBValue(const std::string& key, const std::string& name) const;
    void SetDBValue(const std::string& key, const std::string& name, Capability capability);
    void RemoveKey(const std::string& key);
    void Clear();

  private:
    std::map<std::string, std::map<std::string, Capability>> m_entries;
};

}  // namespace orx::core
