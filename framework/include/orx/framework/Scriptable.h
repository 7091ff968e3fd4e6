#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <orx/framework/Exceptions.h>
#include <orx/framework/FastDelegate.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/Types.h>

namespace orx::framework {

class CScriptable;

using PropertyChangeDelegate = FastDelegate2<CScriptable*, PropId, void>;
using RelationChangeDelegate = FastDelegate4<CScriptable&, CScriptable&, RelationType, bool, void>;
using ScriptableVec = std::vector<CScriptable*>;

// Any class id: matches objects of every class in relation look-ups.
constexpr uint32_t ANY_CLASS_ID = 0;

// One property of one object: its meta description and its value(s).
class Property {
  public:
    explicit Property(const CMetaProperty& meta);

    const CMetaProperty& GetMetaProperty() const { return *m_meta; }
    const std::string& GetName() const { return m_meta->GetName(); }
    PropId GetId() const { return m_meta->GetId(); }
    const std::vector<PropertyScalar>& GetValues() const { return m_values; }
    // Scalar properties hold exactly one value.
    const PropertyScalar& GetValue() const { return m_values.front(); }
    std::string GetValueText() const;

  private:
    friend class CScriptable;
    const CMetaProperty* m_meta;
    std::vector<PropertyScalar> m_values;
};

// The base of every object of the host's model: a handle, typed properties described by its
// meta class, relations to other objects, change notifications and an apply state.
class CScriptable {
  public:
    CScriptable();
    virtual ~CScriptable();
    CScriptable(const CScriptable&) = delete;
    CScriptable& operator=(const CScriptable&) = delete;

    Handle GetObjectHandle() const { return m_handle; }
    virtual const CMetaClass& GetMetaClass() const;
    ClassId GetClassId() const { return GetMetaClass().GetClassId(); }
    bool IsTypeOf(ClassId id) const { return GetMetaClass().IsTypeOf(id); }
    bool IsTypeOf(const std::string& className) const;
    virtual bool IsSingleton() const { return false; }
    // False for objects that hold run-time state rather than configuration (result objects):
    // they are never dirty and do not make their ancestors dirty for an apply.
    virtual bool HoldsConfiguration() const { return true; }

    // --- host hooks ---------------------------------------------------------------------
    // Called once the object sits in the model (handle, properties and parent in place).
    virtual bool OnInit() { return true; }
    // Called when the object is marked for deletion, before its descendants are.
    virtual bool OnMarkDelete() { return true; }
    // Called after a property changed, before the property's change delegates run.
    virtual void OnPropertyModified(Property& property);

    // --- properties ---------------------------------------------------------------------
    Property& GetProperty(PropId id);
    const Property& GetProperty(PropId id) const;
    bool HasProperty(PropId id) const;

    template <class T>
    T GetT(PropId id) const;
    template <class T>
    void Set(PropId id, const T& value);
    void Set(PropId id, const char* value) { Set(id, std::string(value ? value : "")); }
    template <class T>
    void GetCollection(PropId id, std::vector<T>& out) const;
    template <class T>
    void SetCollection(PropId id, const std::vector<T>& values);
    // Sets a property from its text form (collections: comma-separated); raises COrxRunTimeError
    // naming the property when the text does not fit its type.
    void SetFromString(PropId id, const std::string& text);
    void SetValues(PropId id, std::vector<PropertyScalar> values);
    // Sets a scalar property by its position in the meta class's property list (the result
    // machinery's write path: no allocation when the value keeps its type).
    void SetScalarAt(int index, PropertyScalar value);

    // The text of a string property, without a copy; valid until the property changes.
    const std::string& GetStringRef(PropId id) const;
    std::string GetName() const { return GetT<std::string>(PROP_NAME); }
    void SetName(const std::string& name) { Set(PROP_NAME, name); }
    bool GetActive() const { return GetT<bool>(PROP_ACTIVE); }
    void SetActive(bool active) { Set(PROP_ACTIVE, active); }
    // 1 when the object or an ancestor is inactive, 2 when its own "Active" flag changed since
    // the last apply, 0 otherwise.
    int GetActivatedState() const;

    // --- relations ----------------------------------------------------------------------
    CScriptable* GetParent() const { return m_parent; }
    // Moves the object under a new parent (null detaches it); the removal is reported first.
    void SetParent(CScriptable* parent);
    void AddObject(CScriptable& other, RelationType type);
    void RemoveObject(CScriptable& other, RelationType type);
    // Replaces every relation of this type by one to `other` (null only removes).
    void SetObject(CScriptable* other, RelationType type);
    bool HasRelation(const CScriptable& other, RelationType type) const;

    CScriptable* GetObject(ClassId classId, RelationType type = RelationType(PARENT_CHILD)) const;
    CScriptable* GetObject(const std::string& className,
                           RelationType type = RelationType(PARENT_CHILD)) const;
    void GetObjects(ScriptableVec& out, ClassId classId = ANY_CLASS_ID,
                    RelationType type = RelationType(PARENT_CHILD)) const;
    // Typed form: raises COrxRunTimeError "wrong type returned from GetObjects" when an object
    // of the class is not a T.
    template <class T>
    void GetObjects(std::vector<T*>& out, ClassId classId,
                    RelationType type = RelationType(PARENT_CHILD)) const;
    // Every related object, deleted ones included (internal walks).
    void GetAllRelated(ScriptableVec& out, RelationType type) const;

    // --- notifications ------------------------------------------------------------------
    // The delegate is called once at once with the current value, then on every change.
    void RegisterPropertyChangeDelegate(PropId id, const PropertyChangeDelegate& d);
    void UnregisterPropertyChangeDelegate(PropId id, const PropertyChangeDelegate& d);
    // Called with (this, related, type as seen from this object, added) on every relation
    // change of this object.
    void RegisterRelationChangeDelegate(const RelationChangeDelegate& d);
    void UnregisterRelationChangeDelegate(const RelationChangeDelegate& d);

    // --- apply state ----------------------------------------------------------------------
    ObjectState GetObjectState() const { return m_state; }
    void SetObjectState(ObjectState state) { m_state = state; }
    bool IsDeleted() const {
        return m_state == ObjectState::DELETED || m_state == ObjectState::DELETED_UNAPPLIED;
    }
    // True when the object (or, recursively, a descendant) changed since the last apply.
    bool IsObjectDirty(bool recursive) const;
    // Marks the object and its descendants deleted; they stay resolvable until the next apply
    // ends. Objects that were never applied are marked DELETED_UNAPPLIED.
    void MarkDelete();
    // The apply committed this object: created and modified objects become clean.
    void MarkClean();

    // Internal: used by the creator.
    void InitFromMetaClass(const CMetaClass& metaClass, Handle handle);

  private:
    struct Link {
        RelationTypeId type;
        CScriptable* other;
    };
    struct Notifications;

    template <class T>
    static T Convert(const PropertyScalar& value, const CMetaProperty& meta);
    template <class T>
    static PropertyScalar ToScalar(const T& value);
    int Slot(PropId id) const;
    void Changed(Property& property);
    void MarkModified();
    void MarkSubtreeModified();
    void RelationChanged(CScriptable& target, RelationTypeId type);
    void Link_(CScriptable& target, RelationTypeId type);
    void Unlink(CScriptable& target, RelationTypeId type);
    void NotifyRelation(CScriptable& other, RelationType type, bool added);
    Notifications& Notify();
    void DetachAll();

    Handle m_handle = NULL_HANDLE;
    const CMetaClass* m_metaClass = nullptr;
    std::vector<Property> m_properties;
    CScriptable* m_parent = nullptr;
    std::vector<Link> m_forward;   // this object is the relation's source
    std::vector<Link> m_backward;  // this object is the relation's target
    ObjectState m_state = ObjectState::CREATED;
    bool m_activeChanged = false;
    std::unique_ptr<Notifications> m_notify;

    friend class CScriptableCreator;
};

[[noreturn]] void ThrowPropertyTypeError(const CMetaProperty& meta, const char* wanted);

template <class U>
[[noreturn]] void ThrowPropertyRangeError(const CMetaProperty& meta, const std::string& value) {
    const std::string wanted = std::string(std::is_signed_v<U> ? "a signed " : "an unsigned ") +
                               std::to_string(sizeof(U) * 8) + "-bit integer (value " + value +
                               " does not fit)";
    ThrowPropertyTypeError(meta, wanted.c_str());
}

template <class T>
T CScriptable::Convert(const PropertyScalar& value, const CMetaProperty& meta) {
    if constexpr (std::is_same_v<T, std::string>) {
        if (auto* s = std::get_if<std::string>(&value))
            return *s;
        ThrowPropertyTypeError(meta, "string");
    } else if constexpr (std::is_same_v<T, bool>) {
        if (auto* b = std::get_if<bool>(&value))
            return *b;
        if (auto* u = std::get_if<uint64_t>(&value))
            return *u != 0;
        if (auto* s = std::get_if<int64_t>(&value))
            return *s != 0;
        ThrowPropertyTypeError(meta, "bool");
    } else if constexpr (std::is_floating_point_v<T>) {
        if (auto* d = std::get_if<double>(&value))
            return static_cast<T>(*d);
        if (auto* u = std::get_if<uint64_t>(&value))
            return static_cast<T>(*u);
        if (auto* s = std::get_if<int64_t>(&value))
            return static_cast<T>(*s);
        ThrowPropertyTypeError(meta, "double");
    } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
        using U = typename std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>,
                                              std::type_identity<T>>::type;
        // A value that does not fit the type asked for is refused, never truncated.
        if (auto* u = std::get_if<uint64_t>(&value)) {
            if (!std::in_range<U>(*u))
                ThrowPropertyRangeError<U>(meta, std::to_string(*u));
            return static_cast<T>(*u);
        }
        if (auto* s = std::get_if<int64_t>(&value)) {
            if (!std::in_range<U>(*s))
                ThrowPropertyRangeError<U>(meta, std::to_string(*s));
            return static_cast<T>(*s);
        }
        if (auto* b = std::get_if<bool>(&value))
            return static_cast<T>(*b ? 1 : 0);
        ThrowPropertyTypeError(meta, "integer");
    } else {
        static_assert(sizeof(T) == 0, "unsupported property value type");
    }
}

template <class T>
PropertyScalar CScriptable::ToScalar(const T& value) {
    if constexpr (std::is_same_v<T, std::string>) {
        return value;
    } else if constexpr (std::is_same_v<T, bool>) {
        return value;
    } else if constexpr (std::is_floating_point_v<T>) {
        return static_cast<double>(value);
    } else if constexpr (std::is_enum_v<T>) {
        return static_cast<int64_t>(value);
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        return static_cast<int64_t>(value);
    } else if constexpr (std::is_integral_v<T>) {
        return static_cast<uint64_t>(value);
    } else {
        static_assert(sizeof(T) == 0, "unsupported property value type");
    }
}

template <class T>
T CScriptable::GetT(PropId id) const {
    const Property& p = GetProperty(id);
    if (p.m_values.empty())
        ThrowPropertyTypeError(p.GetMetaProperty(), "a single value");
    return Convert<T>(p.m_values.front(), p.GetMetaProperty());
}

template <class T>
void CScriptable::Set(PropId id, const T& value) {
    SetValues(id, {ToScalar<T>(value)});
}

template <class T>
void CScriptable::GetCollection(PropId id, std::vector<T>& out) const {
    const Property& p = GetProperty(id);
    out.clear();
    out.reserve(p.m_values.size());
    for (const PropertyScalar& v : p.m_values)
        out.push_back(Convert<T>(v, p.GetMetaProperty()));
}

template <class T>
void CScriptable::SetCollection(PropId id, const std::vector<T>& values) {
    std::vector<PropertyScalar> scalars;
    scalars.reserve(values.size());
    for (const T& v : values)
        scalars.push_back(ToScalar<T>(v));
    SetValues(id, std::move(scalars));
}

template <class T>
void CScriptable::GetObjects(std::vector<T*>& out, ClassId classId, RelationType type) const {
    // A scratch list per thread: look-ups on the apply path allocate nothing once it has grown.
    thread_local ScriptableVec objects;
    objects.clear();
    GetObjects(objects, classId, type);
    for (CScriptable* object : objects) {
        T* typed = dynamic_cast<T*>(object);
        if (!typed)
            throw COrxRunTimeError("wrong type returned from GetObjects");
        out.push_back(typed);
    }
}

}  // namespace orx::framework
