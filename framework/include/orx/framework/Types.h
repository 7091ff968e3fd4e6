#pragma once

#include <orx/ids/core.h>
#include <cstdint>
#include <string>
#include <vector>

namespace orx::framework {

using Handle = uint32_t;
using PropId = uint32_t;
using RelationTypeId = uint32_t;

constexpr Handle NULL_HANDLE = 0;

// Class ids carry their data model's id in the top byte (0x96001000 belongs to 0x96000000).
class ClassId {
  public:
    constexpr ClassId() = default;
    constexpr ClassId(uint32_t id) : m_id(id) {}  // NOLINT: ids are passed as plain numbers
    constexpr operator uint32_t() const { return m_id; }
    constexpr uint32_t GetPluginId() const { return m_id & 0xFF000000u; }
    constexpr uint32_t Value() const { return m_id; }

  private:
    uint32_t m_id = 0;
};

enum RelationDirection : uint32_t { DIR_FORWARD = 0, DIR_BACKWARD = 1 };

// A relation type and the direction in which it is walked. Forward goes from the relation's
// source to its targets (parent to children, device to port); backward the other way.
struct RelationType {
    RelationTypeId id = 0;
    uint32_t dir = DIR_FORWARD;

    constexpr RelationType() = default;
    constexpr RelationType(RelationTypeId i, uint32_t d = DIR_FORWARD) : id(i), dir(d) {}
    constexpr RelationType Reverse() const {
        return RelationType(id, dir == DIR_FORWARD ? DIR_BACKWARD : DIR_FORWARD);
    }
    friend constexpr bool operator==(const RelationType&, const RelationType&) = default;
};

// Well-known relation type ids.
constexpr RelationTypeId PARENT_CHILD = 1;
constexpr RelationTypeId PHYSICAL_PORT_TO_PORT = 0x1000001;
constexpr RelationTypeId DEVICE_TO_PORT = 0x1000003;
constexpr RelationTypeId PORT_SET_MEMBER = 0x1000004;
constexpr RelationTypeId USER_TAG = 0x1000005;

// Well-known property ids of the host's data model.
constexpr PropId PROP_ACTIVE = orx::ids::core::Scriptable::Active;
constexpr PropId PROP_NAME = orx::ids::core::Scriptable::Name;

enum class ObjectState : int {
    CLEAN = 0,
    MODIFIED = 1,
    CREATED = 2,
    DELETED = 3,
    DELETED_UNAPPLIED = 4,  // deleted before it was ever applied
};

enum class PropertyType {
    Bool,
    U8,
    U16,
    U32,
    U64,
    S8,
    S16,
    S32,
    S64,
    Double,
    String,
    Handle,
};

const char* PropertyTypeName(PropertyType type);
bool ParsePropertyType(const std::string& text, PropertyType& out);

}  // namespace orx::framework

// The project object always has this handle.
constexpr orx::framework::Handle ORX_PROJECT_HANDLE = 2;
