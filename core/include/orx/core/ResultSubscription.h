#pragma once

// What the host keeps per result subscription: the request (roots, result type, properties,
// interval) and the record built from it (which result objects sit on which port).

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <orx/framework/MetaClass.h>
#include <orx/framework/Types.h>

namespace orx::core {

using orx::framework::ClassId;
using orx::framework::Handle;

// A result class under a parent class (the objects the results belong to).
struct ResultType {
    ClassId parentClassId;
    ClassId resultClassId;
    ResultType() = default;
    ResultType(ClassId parent, ClassId result) : parentClassId(parent), resultClassId(result) {}
    friend bool operator<(const ResultType& a, const ResultType& b) {
        if (a.parentClassId.Value() != b.parentClassId.Value())
            return a.parentClassId.Value() < b.parentClassId.Value();
        return a.resultClassId.Value() < b.resultClassId.Value();
    }
    friend bool operator==(const ResultType& a, const ResultType& b) {
        return a.parentClassId.Value() == b.parentClassId.Value() &&
               a.resultClassId.Value() == b.resultClassId.Value();
    }
};

// Attribute types a data-model file may give a result property.
// Flag set: the property is the host's own and is not read from the IL.
constexpr uint32_t AttributeResultPropertyMarkAsBllProperty = 0x1000041;
// Text: the IL column the property is read from, when it is not named like the property.
constexpr uint32_t AttributeResultPropertyIlCounterpartName = 0x100003e;

// True when the property is read from the IL (not marked as the host's own).
bool IsIlResultProperty(const orx::framework::CMetaProperty& property);
// The IL column a result property is read from.
std::string IlColumnName(const orx::framework::CMetaProperty& property);
// The properties a result class and its result bases declare, in data-model order (not those
// of the object base classes).
std::vector<const orx::framework::CMetaProperty*> ResultClassProperties(
    const orx::framework::CMetaClass& resultClass);

// A subscription as a user (or a program) asks for it.
class ResultSubscription {
  public:
    ResultSubscription() = default;
    ResultSubscription(ResultType type, std::vector<Handle> roots,
                       std::vector<std::string> properties, uint32_t intervalMs)
        : m_type(type),
          m_roots(std::move(roots)),
          m_properties(std::move(properties)),
          m_intervalMs(intervalMs) {}

    uint32_t GetId() const { return m_id; }
    void SetId(uint32_t id) { m_id = id; }
    const ResultType& GetResultType() const { return m_type; }
    // The objects the results are looked for under; the locator may add the project.
    std::vector<Handle>& GetRootHandles() { return m_roots; }
    const std::vector<Handle>& GetRootHandles() const { return m_roots; }
    // Property names of the result class; empty means every property, in data-model order.
    const std::vector<std::string>& GetPropertyNames() const { return m_properties; }
    uint32_t GetIntervalMs() const { return m_intervalMs; }

  private:
    uint32_t m_id = 0;
    ResultType m_type;
    std::vector<Handle> m_roots;
    std::vector<std::string> m_properties;
    uint32_t m_intervalMs = 1000;
};

// One result parent on a port: the object the results belong to and its result object.
struct ResultData {
    Handle parent = orx::framework::NULL_HANDLE;
    Handle result = orx::framework::NULL_HANDLE;
};

// The result parents of one port, by parent handle (so in handle order).
class CPortResultsInfo {
  public:
    std::map<Handle, ResultData>& GetParentMap() { return m_parents; }
    const std::map<Handle, ResultData>& GetParentMap() const { return m_parents; }

  private:
    std::map<Handle, ResultData> m_parents;
};

// Port key (the port's handle) to the result parents on that port.
using CPortResultsMap = std::map<uint32_t, CPortResultsInfo>;

// What the host built for one subscription: its result properties, in subscription order, and
// where its result objects are.
class CSubscriptionRecord {
  public:
    explicit CSubscriptionRecord(ResultSubscription subscription)
        : m_subscription(std::move(subscription)) {}

    ResultSubscription& GetSubscription() { return m_subscription; }
    const ResultSubscription& GetSubscription() const { return m_subscription; }
    uint32_t GetId() const { return m_subscription.GetId(); }

    std::vector<const orx::framework::CMetaProperty*>& GetProperties() { return m_properties; }
    const std::vector<const orx::framework::CMetaProperty*>& GetProperties() const {
        return m_properties;
    }
    CPortResultsMap& GetPortResultsMap() { return m_ports; }
    const CPortResultsMap& GetPortResultsMap() const { return m_ports; }

  private:
    ResultSubscription m_subscription;
    std::vector<const orx::framework::CMetaProperty*> m_properties;
    CPortResultsMap m_ports;
};

}  // namespace orx::core
