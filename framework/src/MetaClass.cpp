#include <orx/framework/MetaClass.h>

#include <pugixml.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include <orx/framework/Exceptions.h>
#include <orx/framework/Scriptable.h>
#include <orx/text/Text.h>

namespace orx::framework {

namespace {

bool ParseU64(const std::string& text, uint64_t& out) {
    std::optional<uint64_t> v = orx::text::ParseUnsigned(text);
    if (v)
        out = *v;
    return v.has_value();
}

bool ParseS64(const std::string& text, int64_t& out) {
    std::optional<int64_t> v = orx::text::ParseSigned(text);
    if (v)
        out = *v;
    return v.has_value();
}

uint64_t MaxOf(PropertyType t) {
    switch (t) {
        case PropertyType::U8:
            return std::numeric_limits<uint8_t>::max();
        case PropertyType::U16:
            return std::numeric_limits<uint16_t>::max();
        case PropertyType::U32:
        case PropertyType::Handle:
            return std::numeric_limits<uint32_t>::max();
        default:
            return std::numeric_limits<uint64_t>::max();
    }
}

std::pair<int64_t, int64_t> RangeOf(PropertyType t) {
    switch (t) {
        case PropertyType::S8:
            return {INT8_MIN, INT8_MAX};
        case PropertyType::S16:
            return {INT16_MIN, INT16_MAX};
        case PropertyType::S32:
            return {INT32_MIN, INT32_MAX};
        default:
            return {INT64_MIN, INT64_MAX};
    }
}

bool IsUnsigned(PropertyType t) {
    return t == PropertyType::U8 || t == PropertyType::U16 || t == PropertyType::U32 ||
           t == PropertyType::U64 || t == PropertyType::Handle;
}

bool IsSigned(PropertyType t) {
    return t == PropertyType::S8 || t == PropertyType::S16 || t == PropertyType::S32 ||
           t == PropertyType::S64;
}

std::string Hex(uint32_t v) {
    std::ostringstream out;
    out << "0x" << std::hex << v;
    return out.str();
}

}  // namespace

// --- CMetaProperty -------------------------------------------------------------------------

CMetaProperty::CMetaProperty(PropId id, std::string name, PropertyType type, bool collection,
                             std::string defaultText, ClassId owner)
    : m_id(id),
      m_name(std::move(name)),
      m_type(type),
      m_collection(collection),
      m_defaultText(std::move(defaultText)),
      m_owner(owner) {}

const PropertyAttribute* CMetaProperty::FindAttribute(uint32_t type) const {
    for (const auto& a : m_attributes) {
        if (a.type == type)
            return &a;
    }
    return nullptr;
}

bool CMetaProperty::ParseScalar(const std::string& text, PropertyScalar& out,
                                std::string* error) const {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    switch (m_type) {
        case PropertyType::String:
            out = text;
            return true;
        case PropertyType::Bool:
            if (text == "true" || text == "TRUE" || text == "True" || text == "1") {
                out = true;
            } else if (text == "false" || text == "FALSE" || text == "False" || text == "0") {
                out = false;
            } else {
                return fail("\"" + text + "\" is not a bool (true or false)");
            }
            return true;
        case PropertyType::Double: {
            errno = 0;
            char* end = nullptr;
            double d = std::strtod(text.c_str(), &end);
            if (text.empty() || errno != 0 || *end != '\0' || !std::isfinite(d)) {
                return fail("\"" + text + "\" is not a number");
            }
            out = d;
            return true;
        }
        default:
            break;
    }
    if (IsUnsigned(m_type)) {
        uint64_t v = 0;
        if (!ParseU64(text, v)) {
            return fail("\"" + text + "\" is not an unsigned integer");
        }
        out = v;
    } else {
        int64_t v = 0;
        if (!ParseS64(text, v))
            return fail("\"" + text + "\" is not an integer");
        out = v;
    }
    return Coerce(out, error);
}

bool CMetaProperty::Coerce(PropertyScalar& value, std::string* error) const {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    const char* tname = PropertyTypeName(m_type);
    if (m_type == PropertyType::String) {
        if (!std::holds_alternative<std::string>(value))
            return fail("expected a string");
        return true;
    }
    if (std::holds_alternative<std::string>(value)) {
        return fail(std::string("expected a ") + tname + " value, not a string");
    }
    if (m_type == PropertyType::Bool) {
        if (auto* u = std::get_if<uint64_t>(&value)) {
            if (*u > 1)
                return fail("expected a bool");
            value = (*u == 1);
        } else if (auto* s = std::get_if<int64_t>(&value)) {
            if (*s != 0 && *s != 1)
                return fail("expected a bool");
            value = (*s == 1);
        } else if (std::holds_alternative<double>(value)) {
            return fail("expected a bool");
        }
        return true;
    }
    if (m_type == PropertyType::Double) {
        if (auto* u = std::get_if<uint64_t>(&value))
            value = static_cast<double>(*u);
        if (auto* s = std::get_if<int64_t>(&value))
            value = static_cast<double>(*s);
        if (std::holds_alternative<bool>(value))
            return fail("expected a number");
        return true;
    }
    if (std::holds_alternative<double>(value) || std::holds_alternative<bool>(value)) {
        return fail(std::string("expected a ") + tname + " integer");
    }
    if (IsUnsigned(m_type)) {
        uint64_t v;
        if (auto* s = std::get_if<int64_t>(&value)) {
            if (*s < 0)
                return fail(std::to_string(*s) + " is negative; expected a " + tname);
            v = static_cast<uint64_t>(*s);
        } else {
            v = std::get<uint64_t>(value);
        }
        if (v > MaxOf(m_type)) {
            return fail(std::to_string(v) + " does not fit a " + tname + " (at most " +
                        std::to_string(MaxOf(m_type)) + ")");
        }
        value = v;
        return true;
    }
    if (IsSigned(m_type)) {
        int64_t v;
        if (auto* u = std::get_if<uint64_t>(&value)) {
            if (*u > static_cast<uint64_t>(INT64_MAX)) {
                return fail(std::to_string(*u) + " does not fit a " + tname);
            }
            v = static_cast<int64_t>(*u);
        } else {
            v = std::get<int64_t>(value);
        }
        auto [lo, hi] = RangeOf(m_type);
        if (v < lo || v > hi)
            return fail(std::to_string(v) + " does not fit a " + tname);
        value = v;
        return true;
    }
    return fail("unsupported property type");
}

std::string CMetaProperty::ScalarToString(const PropertyScalar& value) {
    struct Visitor {
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(uint64_t u) const { return std::to_string(u); }
        std::string operator()(int64_t s) const { return std::to_string(s); }
        std::string operator()(double d) const {
            std::ostringstream out;
            out << d;
            return out.str();
        }
        std::string operator()(const std::string& s) const { return s; }
    };
    return std::visit(Visitor{}, value);
}

// --- CMetaClass ----------------------------------------------------------------------------

CMetaClass::CMetaClass(ClassId id, std::string name, CMetaClass* parent, bool isAbstract)
    : m_id(id), m_name(std::move(name)), m_parent(parent), m_abstract(isAbstract) {}

bool CMetaClass::IsTypeOf(ClassId id) const {
    for (const CMetaClass* c = this; c; c = c->m_parent) {
        if (c->m_id == id)
            return true;
    }
    return false;
}

const CMetaProperty* CMetaClass::FindProperty(const std::string& name) const {
    for (const CMetaClass* c = this; c; c = c->m_parent) {
        for (const auto& p : c->m_own) {
            if (p->GetName() == name)
                return p.get();
        }
    }
    return nullptr;
}

const CMetaProperty* CMetaClass::FindProperty(PropId id) const {
    int i = IndexOf(id);
    return i < 0 ? nullptr : m_allProperties[i];
}

int CMetaClass::IndexOf(PropId id) const {
    auto it = m_index.find(id);
    return it == m_index.end() ? -1 : it->second;
}

CMetaProperty& CMetaClass::AddProperty(std::unique_ptr<CMetaProperty> property) {
    m_own.push_back(std::move(property));
    return *m_own.back();
}

void CMetaClass::Seal() {
    m_allProperties.clear();
    m_index.clear();
    if (m_parent)
        m_allProperties = m_parent->m_allProperties;
    for (const auto& p : m_own)
        m_allProperties.push_back(p.get());
    for (size_t i = 0; i < m_allProperties.size(); ++i) {
        m_index[m_allProperties[i]->GetId()] = static_cast<int>(i);
    }
}

void CMetaClass::InitMakeDestroyFuncs(ClassId id, MakeFunc make, DestroyFunc destroy) {
    CMetaClassManager::Instance().RegisterMakeDestroy(id, make, destroy);
}

CScriptable* CMetaClass::Make() const {
    if (!m_make) {
        throw COrxLogicError("No make function registered for class " + m_name + " (" + Hex(m_id) +
                             ")");
    }
    return m_make();
}

void CMetaClass::Destroy(CScriptable* object) const {
    if (!object)
        return;
    if (m_destroy) {
        m_destroy(object);
    } else {
        delete object;
    }
}

// --- CMetaClassManager ---------------------------------------------------------------------

CMetaClassManager::CMetaClassManager() {
    if (const char* env = std::getenv("ORX_DATAMODEL_PATH")) {
        std::stringstream in(env);
        std::string dir;
        while (std::getline(in, dir, ':')) {
            if (!dir.empty())
                m_paths.push_back(dir);
        }
    }
}

CMetaClassManager& CMetaClassManager::Instance() {
    static CMetaClassManager instance;
    return instance;
}

CMetaClass* CMetaClassManager::GetClass(ClassId id) const {
    auto it = m_classes.find(id);
    return it == m_classes.end() ? nullptr : it->second.get();
}

CMetaClass* CMetaClassManager::GetClass(const std::string& name) const {
    auto it = m_byName.find(name);
    return it == m_byName.end() ? nullptr : it->second;
}

void CMetaClassManager::AddDataModelPath(const std::string& directory) {
    for (const auto& p : m_paths) {
        if (p == directory)
            return;
    }
    m_paths.push_back(directory);
}

bool CMetaClassManager::IsActivated(uint32_t dataModelId) const {
    return m_activeModels.count(dataModelId) != 0;
}

void CMetaClassManager::RegisterMakeDestroy(ClassId id, MakeFunc make, DestroyFunc destroy) {
    if (CMetaClass* c = GetClass(id)) {
        c->SetMakeDestroy(make, destroy);
    } else {
        m_pendingFuncs[id] = {make, destroy};
    }
}

bool CMetaClassManager::ActivateDataModel(uint32_t dataModelId) {
    if (IsActivated(dataModelId))
        return true;
    namespace fs = std::filesystem;
    std::vector<std::string> tried;
    for (const auto& dir : m_paths) {
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& path = it->path();
            if (path.filename().string().find(".datamodel.xml") == std::string::npos)
                continue;
            pugi::xml_document doc;
            if (!doc.load_file(path.c_str()))
                continue;
            uint64_t id = 0;
            std::string idText = doc.child("dataModel").attribute("id").as_string();
            if (!ParseU64(idText, id) || id != dataModelId)
                continue;
            std::string text, error;
            if (!orx::text::ReadFile(path.string(), text, error)) {
                m_errors.push_back("cannot read " + path.string() + ": " + error);
                return false;
            }
            if (!LoadDataModel(text, path.string(), &error)) {
                m_errors.push_back(error);
                return false;
            }
            return true;
        }
        tried.push_back(dir);
    }
    std::string where;
    for (const auto& d : tried)
        where += (where.empty() ? "" : ", ") + d;
    m_errors.push_back("No data model description file with id " + Hex(dataModelId) +
                       " found (searched: " + (where.empty() ? "no directories" : where) + ")");
    return false;
}

bool CMetaClassManager::LoadDataModel(const std::string& xmlText, const std::string& source,
                                      std::string* error) {
    auto fail = [&](const std::string& why, const pugi::xml_node& node) {
        if (error) {
            std::string where = source;
            if (node)
                where += " at offset " + std::to_string(node.offset_debug());
            *error = where + ": " + why;
        }
        return false;
    };
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_string(xmlText.c_str());
    if (!parsed) {
        if (error) {
            *error = source + ": XML error at offset " + std::to_string(parsed.offset) + ": " +
                     parsed.description();
        }
        return false;
    }
    pugi::xml_node root = doc.child("dataModel");
    if (!root)
        return fail("root element <dataModel> missing", doc.first_child());
    uint64_t modelId = 0;
    if (!ParseU64(root.attribute("id").as_string(), modelId) || modelId > UINT32_MAX) {
        return fail("dataModel id missing or not a 32-bit number", root);
    }
    if (IsActivated(static_cast<uint32_t>(modelId))) {
        return fail("data model " + Hex(static_cast<uint32_t>(modelId)) + " is already active",
                    root);
    }

    // Build every class aside first, so a faulty file leaves the manager unchanged.
    std::vector<std::unique_ptr<CMetaClass>> made;
    std::map<std::string, CMetaClass*> madeByName;
    std::map<uint32_t, bool> madeIds;
    std::map<uint32_t, bool> propIds;
    for (pugi::xml_node cls : root.children("class")) {
        uint64_t cid = 0;
        std::string name = cls.attribute("name").as_string();
        if (name.empty())
            return fail("class without a name", cls);
        if (!ParseU64(cls.attribute("id").as_string(), cid) || cid > UINT32_MAX || cid == 0) {
            return fail("class " + name + ": id missing or invalid", cls);
        }
        if (GetClass(static_cast<uint32_t>(cid)) || madeIds.count(static_cast<uint32_t>(cid))) {
            return fail(
                "class " + name + ": id " + Hex(static_cast<uint32_t>(cid)) + " is already defined",
                cls);
        }
        if (GetClass(name) || madeByName.count(name)) {
            return fail("class name " + name + " is already defined", cls);
        }
        CMetaClass* parent = nullptr;
        std::string base = cls.attribute("base").as_string();
        if (!base.empty()) {
            parent = madeByName.count(base) ? madeByName[base] : GetClass(base);
            if (!parent)
                return fail("class " + name + ": unknown base class " + base, cls);
        }
        auto mc = std::make_unique<CMetaClass>(static_cast<uint32_t>(cid), name, parent,
                                               cls.attribute("abstract").as_bool(false));
        for (pugi::xml_node prop : cls.children("property")) {
            std::string pname = prop.attribute("name").as_string();
            uint64_t pid = 0;
            if (pname.empty())
                return fail("class " + name + ": property without a name", prop);
            if (!ParseU64(prop.attribute("id").as_string(), pid) || pid > UINT32_MAX || pid == 0) {
                return fail("property " + name + "." + pname + ": id missing or invalid", prop);
            }
            if (propIds.count(static_cast<uint32_t>(pid))) {
                return fail("property " + name + "." + pname + ": id " +
                                Hex(static_cast<uint32_t>(pid)) + " is already used",
                            prop);
            }
            for (const CMetaClass* c = parent; c; c = c->GetParent()) {
                if (c->FindProperty(static_cast<PropId>(pid)) || c->FindProperty(pname)) {
                    return fail("property " + name + "." + pname + " clashes with base class " +
                                    c->GetName(),
                                prop);
                }
            }
            propIds[static_cast<uint32_t>(pid)] = true;
            PropertyType type;
            std::string tname = prop.attribute("type").as_string();
            if (!ParsePropertyType(tname, type)) {
                return fail("property " + name + "." + pname + ": unknown type \"" + tname + "\"",
                            prop);
            }
            bool collection = prop.attribute("collection").as_bool(false);
            std::string def = prop.attribute("default").as_string();
            auto mp = std::make_unique<CMetaProperty>(static_cast<PropId>(pid), pname, type,
                                                      collection, def, static_cast<uint32_t>(cid));
            std::vector<PropertyScalar> defaults;
            std::vector<std::string> texts;
            if (collection) {
                texts = orx::text::SplitList(def);
            } else {
                texts.push_back(def.empty() && type != PropertyType::String ? "0" : def);
                if (def.empty() && type == PropertyType::Bool)
                    texts.back() = "false";
            }
            for (const auto& t : texts) {
                PropertyScalar v;
                std::string why;
                if (!mp->ParseScalar(t, v, &why)) {
                    return fail("property " + name + "." + pname + ": default " + why, prop);
                }
                defaults.push_back(std::move(v));
            }
            mp->SetDefaults(std::move(defaults));
            mp->SetTransient(prop.attribute("transient").as_bool(false));
            for (pugi::xml_node attr : prop.children("attribute")) {
                uint64_t atype = 0;
                if (!ParseU64(attr.attribute("type").as_string(), atype) || atype > UINT32_MAX) {
                    return fail("property " + name + "." + pname + ": attribute type invalid",
                                attr);
                }
                mp->AddAttribute(PropertyAttribute{static_cast<uint32_t>(atype),
                                                   attr.attribute("text").as_string(),
                                                   attr.attribute("flag").as_bool(false)});
            }
            mc->AddProperty(std::move(mp));
        }
        mc->Seal();
        madeIds[static_cast<uint32_t>(cid)] = true;
        madeByName[name] = mc.get();
        made.push_back(std::move(mc));
    }

    for (auto& mc : made) {
        uint32_t id = mc->GetClassId();
        auto pending = m_pendingFuncs.find(id);
        if (pending != m_pendingFuncs.end()) {
            mc->SetMakeDestroy(pending->second.first, pending->second.second);
            m_pendingFuncs.erase(pending);
        }
        m_byName[mc->GetName()] = mc.get();
        m_classes[id] = std::move(mc);
    }
    m_activeModels[static_cast<uint32_t>(modelId)] = source;
    ++m_activationCount;
    return true;
}

}  // namespace orx::framework
