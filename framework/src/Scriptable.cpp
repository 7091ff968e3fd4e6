#include <orx/framework/Scriptable.h>

#include <algorithm>
#include <map>

#include <orx/framework/Command.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/text/Text.h>

namespace orx::framework {

namespace {

// Which objects hold delegates bound to which object, so that an object that is destroyed
// without unregistering its handlers never leaves a dangling delegate behind.
class DelegateTracker {
  public:
    static DelegateTracker& Instance() {
        static DelegateTracker instance;
        return instance;
    }
    void Add(const void* bound, CScriptable* holder) { m_holders.emplace(bound, holder); }
    void Remove(const void* bound, CScriptable* holder) {
        auto range = m_holders.equal_range(bound);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second == holder) {
                m_holders.erase(it);
                return;
            }
        }
    }
    std::vector<CScriptable*> TakeHolders(const void* bound) {
        std::vector<CScriptable*> holders;
        auto range = m_holders.equal_range(bound);
        for (auto it = range.first; it != range.second; ++it)
            holders.push_back(it->second);
        m_holders.erase(range.first, range.second);
        return holders;
    }

  private:
    std::multimap<const void*, CScriptable*> m_holders;
};

}  // namespace

struct CScriptable::Notifications {
    std::map<PropId, Delegate<PropertyChangeDelegate>> properties;
    Delegate<RelationChangeDelegate> relations;
    // Delegates held, by the object they are bound to (for the tracker).
    std::multimap<const void*, int> bound;

    void Purge(const void* object) {
        for (auto& [id, set] : properties) {
            (void)id;
            std::vector<PropertyChangeDelegate> drop;
            set.ForEach([&](const PropertyChangeDelegate& d) {
                if (d.GetObject() == object)
                    drop.push_back(d);
            });
            for (auto& d : drop)
                set -= d;
        }
        std::vector<RelationChangeDelegate> drop;
        relations.ForEach([&](const RelationChangeDelegate& d) {
            if (d.GetObject() == object)
                drop.push_back(d);
        });
        for (auto& d : drop)
            relations -= d;
        bound.erase(object);
    }
};

void ThrowPropertyTypeError(const CMetaProperty& meta, const char* wanted) {
    throw COrxLogicError(
        "Property " + meta.GetName() + " is a " + PropertyTypeName(meta.GetType()) +
        (meta.IsCollection() ? " collection" : "") + " and cannot be read as " + wanted);
}

// --- Property ------------------------------------------------------------------------------

Property::Property(const CMetaProperty& meta) : m_meta(&meta), m_values(meta.GetDefaultValues()) {}

std::string Property::GetValueText() const {
    std::string text;
    for (size_t i = 0; i < m_values.size(); ++i) {
        if (i)
            text += ",";
        text += CMetaProperty::ScalarToString(m_values[i]);
    }
    return text;
}

// --- CScriptable ---------------------------------------------------------------------------

CScriptable::CScriptable() = default;

CScriptable::~CScriptable() {
    DetachAll();
    auto& tracker = DelegateTracker::Instance();
    for (CScriptable* holder : tracker.TakeHolders(this)) {
        if (holder != this && holder->m_notify)
            holder->m_notify->Purge(this);
    }
    if (m_notify) {
        for (auto& [object, unused] : m_notify->bound) {
            (void)unused;
            tracker.Remove(object, this);
        }
    }
    if (m_handle != NULL_HANDLE && CHandleRegistry::Instance().Find(m_handle) == this) {
        CHandleRegistry::Instance().Remove(m_handle);
        // Nothing is kept about an object that is gone (handles are never reused).
        CCommandStatusManager::Instance().Forget(m_handle);
    }
}

const CMetaClass& CScriptable::GetMetaClass() const {
    if (!m_metaClass)
        throw COrxLogicError("Object was not made through its meta class");
    return *m_metaClass;
}

bool CScriptable::IsTypeOf(const std::string& className) const {
    for (const CMetaClass* c = &GetMetaClass(); c; c = c->GetParent()) {
        if (c->GetName() == className)
            return true;
    }
    return false;
}

void CScriptable::InitFromMetaClass(const CMetaClass& metaClass, Handle handle) {
    m_metaClass = &metaClass;
    m_handle = handle;
    m_properties.clear();
    m_properties.reserve(metaClass.GetProperties().size());
    for (const CMetaProperty* meta : metaClass.GetProperties())
        m_properties.emplace_back(*meta);
}

void CScriptable::OnPropertyModified(Property&) {}

int CScriptable::Slot(PropId id) const {
    return m_metaClass ? m_metaClass->IndexOf(id) : -1;
}

bool CScriptable::HasProperty(PropId id) const {
    return Slot(id) >= 0;
}

Property& CScriptable::GetProperty(PropId id) {
    int slot = Slot(id);
    if (slot < 0) {
        throw COrxLogicError("Class " + GetMetaClass().GetName() + " has no property with id 0x" +
                             [&] {
                                 char buf[16];
                                 std::snprintf(buf, sizeof buf, "%x", id);
                                 return std::string(buf);
                             }());
    }
    return m_properties[slot];
}

const Property& CScriptable::GetProperty(PropId id) const {
    return const_cast<CScriptable*>(this)->GetProperty(id);
}

const std::string& CScriptable::GetStringRef(PropId id) const {
    const Property& p = GetProperty(id);
    const std::string* text =
        p.m_values.size() == 1 ? std::get_if<std::string>(&p.m_values.front()) : nullptr;
    if (!text)
        ThrowPropertyTypeError(p.GetMetaProperty(), "string");
    return *text;
}

void CScriptable::SetScalarAt(int index, PropertyScalar value) {
    if (index < 0 || static_cast<size_t>(index) >= m_properties.size())
        throw COrxLogicError("Class " + GetMetaClass().GetName() + " has no property at " +
                             std::to_string(index));
    Property& p = m_properties[static_cast<size_t>(index)];
    const CMetaProperty& meta = p.GetMetaProperty();
    if (meta.IsCollection())
        throw COrxRunTimeError("Property " + meta.GetName() + " holds a list of values");
    std::string why;
    if (!meta.Coerce(value, &why)) {
        throw COrxRunTimeError("Property " + meta.GetName() + " of " + GetMetaClass().GetName() +
                               ": " + why);
    }
    if (p.m_values.size() == 1 && p.m_values.front() == value)
        return;
    p.m_values.resize(1);
    p.m_values.front() = std::move(value);
    Changed(p);
}

void CScriptable::SetValues(PropId id, std::vector<PropertyScalar> values) {
    Property& p = GetProperty(id);
    const CMetaProperty& meta = p.GetMetaProperty();
    if (!meta.IsCollection() && values.size() != 1) {
        throw COrxRunTimeError("Property " + meta.GetName() + " holds exactly one value");
    }
    for (PropertyScalar& v : values) {
        std::string why;
        if (!meta.Coerce(v, &why)) {
            throw COrxRunTimeError("Property " + meta.GetName() + " of " +
                                   GetMetaClass().GetName() + ": " + why);
        }
    }
    if (p.m_values == values)
        return;
    p.m_values = std::move(values);
    Changed(p);
}

void CScriptable::SetFromString(PropId id, const std::string& text) {
    Property& p = GetProperty(id);
    const CMetaProperty& meta = p.GetMetaProperty();
    std::vector<std::string> texts;
    if (meta.IsCollection()) {
        texts = orx::text::SplitList(text);
    } else {
        texts.push_back(text);
    }
    std::vector<PropertyScalar> values;
    for (const auto& t : texts) {
        PropertyScalar v;
        std::string why;
        if (!meta.ParseScalar(t, v, &why)) {
            throw COrxRunTimeError("Property " + meta.GetName() + ": " + why);
        }
        values.push_back(std::move(v));
    }
    SetValues(id, std::move(values));
}

void CScriptable::Changed(Property& property) {
    if (!property.GetMetaProperty().IsTransient())
        MarkModified();
    if (property.GetId() == PROP_ACTIVE) {
        m_activeChanged = true;
        // Whether an object takes part depends on its ancestors' flags too: the whole subtree
        // has to be applied again.
        MarkSubtreeModified();
    }
    OnPropertyModified(property);
    if (m_notify) {
        auto it = m_notify->properties.find(property.GetId());
        if (it != m_notify->properties.end())
            it->second(this, property.GetId());
    }
}

void CScriptable::MarkModified() {
    if (m_state == ObjectState::CLEAN && HoldsConfiguration())
        m_state = ObjectState::MODIFIED;
}

void CScriptable::RelationChanged(CScriptable& target, RelationTypeId type) {
    // A moved object, or the source of another relation (a device given another port), changes
    // where its whole subtree belongs.
    CScriptable& moved = type == PARENT_CHILD ? target : *this;
    moved.MarkModified();
    moved.MarkSubtreeModified();
}

void CScriptable::MarkSubtreeModified() {
    for (const Link& l : m_forward) {
        if (l.type != PARENT_CHILD)
            continue;
        l.other->MarkModified();
        l.other->MarkSubtreeModified();
    }
}

int CScriptable::GetActivatedState() const {
    for (const CScriptable* p = m_parent; p; p = p->m_parent) {
        if (p->HasProperty(PROP_ACTIVE) && !p->GetActive())
            return 1;
    }
    if (m_activeChanged)
        return 2;
    return GetActive() ? 0 : 1;
}

// --- relations -----------------------------------------------------------------------------

void CScriptable::Link_(CScriptable& target, RelationTypeId type) {
    m_forward.push_back(Link{type, &target});
    target.m_backward.push_back(Link{type, this});
    if (type == PARENT_CHILD)
        target.m_parent = this;
    RelationChanged(target, type);
    NotifyRelation(target, RelationType(type, DIR_FORWARD), true);
    target.NotifyRelation(*this, RelationType(type, DIR_BACKWARD), true);
}

void CScriptable::Unlink(CScriptable& target, RelationTypeId type) {
    auto drop = [](std::vector<Link>& links, RelationTypeId t, CScriptable* other) {
        for (size_t i = links.size(); i-- > 0;) {
            if (links[i].type == t && links[i].other == other) {
                links.erase(links.begin() + static_cast<long>(i));
                return true;
            }
        }
        return false;
    };
    if (!drop(m_forward, type, &target))
        return;
    drop(target.m_backward, type, this);
    if (type == PARENT_CHILD)
        target.m_parent = nullptr;
    RelationChanged(target, type);
    NotifyRelation(target, RelationType(type, DIR_FORWARD), false);
    target.NotifyRelation(*this, RelationType(type, DIR_BACKWARD), false);
}

void CScriptable::NotifyRelation(CScriptable& other, RelationType type, bool added) {
    if (m_notify && !m_notify->relations.empty())
        m_notify->relations(*this, other, type, added);
}

void CScriptable::SetParent(CScriptable* parent) {
    if (parent == m_parent)
        return;
    for (CScriptable* p = parent; p; p = p->m_parent) {
        if (p == this) {
            throw COrxLogicError("An object cannot be placed under itself or its descendant");
        }
    }
    if (m_parent)
        m_parent->Unlink(*this, PARENT_CHILD);
    if (parent)
        parent->Link_(*this, PARENT_CHILD);
}

void CScriptable::AddObject(CScriptable& other, RelationType type) {
    if (type.id == PARENT_CHILD) {
        if (type.dir == DIR_FORWARD) {
            other.SetParent(this);
        } else {
            SetParent(&other);
        }
        return;
    }
    CScriptable& source = type.dir == DIR_FORWARD ? *this : other;
    CScriptable& target = type.dir == DIR_FORWARD ? other : *this;
    if (source.HasRelation(target, RelationType(type.id, DIR_FORWARD)))
        return;
    source.Link_(target, type.id);
}

void CScriptable::RemoveObject(CScriptable& other, RelationType type) {
    CScriptable& source = type.dir == DIR_FORWARD ? *this : other;
    CScriptable& target = type.dir == DIR_FORWARD ? other : *this;
    source.Unlink(target, type.id);
}

void CScriptable::SetObject(CScriptable* other, RelationType type) {
    if (type.id == PARENT_CHILD && type.dir == DIR_BACKWARD) {
        SetParent(other);
        return;
    }
    ScriptableVec current;
    GetAllRelated(current, type);
    if (other && current.size() == 1 && current.front() == other)
        return;
    for (CScriptable* o : current)
        RemoveObject(*o, type);
    if (other)
        AddObject(*other, type);
}

bool CScriptable::HasRelation(const CScriptable& other, RelationType type) const {
    const auto& links = type.dir == DIR_FORWARD ? m_forward : m_backward;
    return std::any_of(links.begin(), links.end(),
                       [&](const Link& l) { return l.type == type.id && l.other == &other; });
}

void CScriptable::GetAllRelated(ScriptableVec& out, RelationType type) const {
    const auto& links = type.dir == DIR_FORWARD ? m_forward : m_backward;
    for (const Link& l : links) {
        if (l.type == type.id)
            out.push_back(l.other);
    }
}

CScriptable* CScriptable::GetObject(ClassId classId, RelationType type) const {
    const auto& links = type.dir == DIR_FORWARD ? m_forward : m_backward;
    for (const Link& l : links) {
        if (l.type != type.id || l.other->IsDeleted())
            continue;
        if (classId == ANY_CLASS_ID || l.other->IsTypeOf(classId))
            return l.other;
    }
    return nullptr;
}

CScriptable* CScriptable::GetObject(const std::string& className, RelationType type) const {
    const auto& links = type.dir == DIR_FORWARD ? m_forward : m_backward;
    for (const Link& l : links) {
        if (l.type != type.id || l.other->IsDeleted())
            continue;
        if (l.other->IsTypeOf(className))
            return l.other;
    }
    return nullptr;
}

void CScriptable::GetObjects(ScriptableVec& out, ClassId classId, RelationType type) const {
    const auto& links = type.dir == DIR_FORWARD ? m_forward : m_backward;
    for (const Link& l : links) {
        if (l.type != type.id || l.other->IsDeleted())
            continue;
        if (classId == ANY_CLASS_ID || l.other->IsTypeOf(classId))
            out.push_back(l.other);
    }
}

void CScriptable::DetachAll() {
    // Silent: an object being destroyed notifies nobody, and nobody calls into it any more.
    for (const Link& l : m_forward) {
        auto& back = l.other->m_backward;
        for (size_t i = back.size(); i-- > 0;) {
            if (back[i].type == l.type && back[i].other == this) {
                back.erase(back.begin() + static_cast<long>(i));
                break;
            }
        }
        if (l.type == PARENT_CHILD && l.other->m_parent == this)
            l.other->m_parent = nullptr;
    }
    for (const Link& l : m_backward) {
        auto& fwd = l.other->m_forward;
        for (size_t i = fwd.size(); i-- > 0;) {
            if (fwd[i].type == l.type && fwd[i].other == this) {
                fwd.erase(fwd.begin() + static_cast<long>(i));
                break;
            }
        }
    }
    m_forward.clear();
    m_backward.clear();
    m_parent = nullptr;
}

// --- notifications -------------------------------------------------------------------------

CScriptable::Notifications& CScriptable::Notify() {
    if (!m_notify)
        m_notify = std::make_unique<Notifications>();
    return *m_notify;
}

void CScriptable::RegisterPropertyChangeDelegate(PropId id, const PropertyChangeDelegate& d) {
    if (d.empty())
        return;
    GetProperty(id);  // raises for a property the class does not have
    auto& set = Notify().properties[id];
    if (!set.Contains(d)) {
        set += d;
        m_notify->bound.emplace(d.GetObject(), 0);
        DelegateTracker::Instance().Add(d.GetObject(), this);
    }
    // A new listener learns the current value at once.
    d(this, id);
}

void CScriptable::UnregisterPropertyChangeDelegate(PropId id, const PropertyChangeDelegate& d) {
    if (!m_notify)
        return;
    auto it = m_notify->properties.find(id);
    if (it == m_notify->properties.end() || !it->second.Contains(d))
        return;
    it->second -= d;
    auto b = m_notify->bound.find(d.GetObject());
    if (b != m_notify->bound.end())
        m_notify->bound.erase(b);
    DelegateTracker::Instance().Remove(d.GetObject(), this);
}

void CScriptable::RegisterRelationChangeDelegate(const RelationChangeDelegate& d) {
    if (d.empty() || Notify().relations.Contains(d))
        return;
    m_notify->relations += d;
    m_notify->bound.emplace(d.GetObject(), 0);
    DelegateTracker::Instance().Add(d.GetObject(), this);
}

void CScriptable::UnregisterRelationChangeDelegate(const RelationChangeDelegate& d) {
    if (!m_notify || !m_notify->relations.Contains(d))
        return;
    m_notify->relations -= d;
    auto b = m_notify->bound.find(d.GetObject());
    if (b != m_notify->bound.end())
        m_notify->bound.erase(b);
    DelegateTracker::Instance().Remove(d.GetObject(), this);
}

// --- apply state ---------------------------------------------------------------------------

bool CScriptable::IsObjectDirty(bool recursive) const {
    if (!HoldsConfiguration())
        return false;
    if (m_state != ObjectState::CLEAN)
        return true;
    if (!recursive)
        return false;
    for (const Link& l : m_forward) {
        if (l.type == PARENT_CHILD && l.other->IsObjectDirty(true))
            return true;
    }
    return false;
}

void CScriptable::MarkDelete() {
    if (IsDeleted())
        return;
    OnMarkDelete();
    m_state =
        m_state == ObjectState::CREATED ? ObjectState::DELETED_UNAPPLIED : ObjectState::DELETED;
    ScriptableVec children;
    GetAllRelated(children, RelationType(PARENT_CHILD));
    for (CScriptable* child : children)
        child->MarkDelete();
}

void CScriptable::MarkClean() {
    if (m_state == ObjectState::CREATED || m_state == ObjectState::MODIFIED) {
        m_state = ObjectState::CLEAN;
    }
    m_activeChanged = false;
}

}  // namespace orx::framework
