#include <orx/scenario/ScenarioBuilder.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <optional>
#include <set>
#include <string_view>

#include <orx/core/Capabilities.h>
#include <orx/core/HostClasses.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/text/Text.h>
#include "ScenarioPaths.h"

namespace orx::scenario {

using namespace orx::framework;
using namespace orx::core;
namespace fs = std::filesystem;

namespace {

using Kind = ScenarioValue::Kind;

BLLLogger* scenarioLogger() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("framework.scenario");
    return logger;
}

std::string TypeDescription(const CMetaProperty& meta) {
    switch (meta.GetType()) {
        case PropertyType::Bool:
            return "bool";
        case PropertyType::Double:
            return "number";
        case PropertyType::String:
            return "string";
        case PropertyType::Handle:
            return "reference \"@NAME\"";
        default:
            return std::string(PropertyTypeName(meta.GetType())) + " integer";
    }
}

// An integer in a string, read as everywhere else: non-negative ones unsigned.
bool ParseIntegerText(const std::string& text, PropertyScalar& out) {
    if (std::optional<uint64_t> u = orx::text::ParseUnsigned(text)) {
        out = *u;
        return true;
    }
    if (std::optional<int64_t> v = orx::text::ParseSigned(text)) {
        out = *v;
        return true;
    }
    return false;
}

// "more than one object is named "x": objects[0], objects[1] and objects[2].children[0]"
std::string SharedName(const std::string& name,
                       std::multimap<std::string, ScenarioObject>::const_iterator first,
                       std::multimap<std::string, ScenarioObject>::const_iterator last) {
    std::string text = "more than one object is named \"" + name + "\": ";
    for (auto it = first; it != last; ++it) {
        if (it != first)
            text += std::next(it) == last ? " and " : ", ";
        text += it->second.path;
    }
    return text;
}

class Builder {
  public:
    explicit Builder(const ScenarioDescription& description) : m_description(description) {
        m_result.source = description.source;
    }

    Scenario Build() {
        try {
            BuildAll();
        } catch (const ScenarioError&) {
            Rollback();
            throw;
        } catch (const std::exception& e) {
            Rollback();
            throw ScenarioError(m_description.source, m_where, e.what());
        } catch (...) {
            Rollback();
            throw ScenarioError(m_description.source, m_where, "unknown exception");
        }
        return std::move(m_result);
    }

  private:
    struct Reference {
        enum Kind { PROPERTY, MEMBERS, DEVICE_PORT } kind;
        Handle object;
        PropId property = 0;
        std::string path;                                        // of the key
        std::vector<std::pair<std::string, std::string>> names;  // (name, path) of each "@NAME"
    };

    [[noreturn]] void Fail(const std::string& path, const std::string& reason) const {
        throw ScenarioError(m_description.source, path, reason);
    }

    void BuildAll() {
        if (m_description.simulationMode) {
            m_where = "simulationMode";
            m_oldSimulation = COrxSystem::Instance().GetInSimulationMode();
            COrxSystem::Instance().SetInSimulationMode(*m_description.simulationMode);
        }
        for (const ModuleDescription& module : m_description.modules)
            BuildModule(module);
        CScriptable& project = CProject::Instance();
        for (const ObjectDescription& object : m_description.objects)
            BuildObject(object, project);
        for (const Reference& ref : m_references)
            Resolve(ref);
    }

    [[noreturn]] void WrongType(const CMetaProperty& meta, const ScenarioValue& v,
                                const std::string& path) const {
        Fail(path, "expected a " + TypeDescription(meta) + ", got " + v.shown);
    }

    void BuildModule(const ModuleDescription& m) {
        m_where = m.path;
        CScriptable* module = Make("PhysicalTestModule", COrxSystem::Instance(), m.path);
        module->SetName(m.name);
        module->Set(PROP_TEST_MODULE_MODEL, m.model);
        if (const CMetaProperty* location = module->GetMetaClass().FindProperty("Location")) {
            module->Set(location->GetId(), m.equipment);
        }
        CScriptable* group = Make("PhysicalPortGroup", *module, m.path);
        group->Set(PROP_PORT_GROUP_LOCATION, m.equipment);
        m_result.modules.push_back(
            ScenarioModule{m.name, module->GetObjectHandle(), group->GetObjectHandle(), m.il});

        if (m.capabilities.empty())
            return;
        std::string dbKey;
        if (!RcmKeyMgr::GetLookupKey(module->GetObjectHandle(), "TestModule", dbKey)) {
            Fail(m.path, "no capability key for the module");
        }
        m_capabilityKeys.push_back(dbKey);
        for (const auto& [name, value] : m.capabilities) {
            Capability capability;  // null: the capability exists without a value
            if (value.kind == Kind::Bool) {
                capability = Capability(value.boolean);
            } else if (value.kind == Kind::Signed) {
                capability = Capability(value.signedValue);
            } else if (value.kind == Kind::String) {
                capability = Capability(value.text);
            }
            RcmDBMgr::Instance().SetDBValue(dbKey, "TestModule/" + name, capability);
        }
    }

    CScriptable* Make(const std::string& className, CScriptable& parent, const std::string& path) {
        CScriptable* object = nullptr;
        try {
            object = CScriptableCreator::Create(className, &parent);
        } catch (const std::exception& e) {
            Fail(path, "cannot create " + className + ": " + e.what());
        }
        m_made.push_back(object->GetObjectHandle());
        return object;
    }

    void BuildObject(const ObjectDescription& o, CScriptable& parent) {
        const std::string& path = o.path;
        const CMetaClass* mc = CMetaClassManager::Instance().GetClass(o.className);
        if (!mc)
            Fail(path, "unknown class \"" + o.className + "\"");
        if (mc->IsAbstract())
            Fail(path, "class \"" + o.className + "\" is abstract");
        for (ClassId reserved :
             {COrxSystem::CLASS_ID(), CProject::CLASS_ID(), CPhysicalTestModule::CLASS_ID(),
              CPhysicalPortGroup::CLASS_ID(), CPhysicalPort::CLASS_ID()}) {
            if (mc->IsTypeOf(reserved)) {
                Fail(path, "class \"" + o.className +
                               "\" is not made by objects (test modules come from \"modules\")");
            }
        }
        const bool isPort = mc->IsTypeOf(CPort::CLASS_ID());
        const bool isDevice = mc->IsTypeOf(CEmulatedDevice::CLASS_ID());

        m_where = path;
        CScriptable* object = Make(o.className, parent, path);
        const Handle handle = object->GetObjectHandle();
        if (!o.name.empty()) {
            m_where = Key(path, "name");
            object->SetName(o.name);
            m_result.objects.emplace(o.name, ScenarioObject{handle, path});
        }
        if (isPort)
            PlacePort(o, *object);

        for (const ScenarioAttribute& a : o.attributes) {
            const ScenarioValue& value = a.value;
            if (isPort && (a.key == "module" || a.key == "index")) {
                continue;  // placed above
            } else if (isPort && a.key == "portSet") {
                if (value.kind != Kind::Bool)
                    Fail(a.path, "expected a bool, got " + value.shown);
                m_where = a.path;
                object->Set(PROP_PORT_IS_PORT_SET, value.boolean);
            } else if (isPort && a.key == "members") {
                m_references.push_back(ReferenceList(value, a.path, Reference::MEMBERS, handle));
            } else if (isDevice && a.key == "port") {
                if (!value.IsReference()) {
                    Fail(a.path, "expected a reference \"@NAME\" to a port, got " + value.shown);
                }
                m_references.push_back(Reference{
                    Reference::DEVICE_PORT, handle, 0, a.path, {{value.text.substr(1), a.path}}});
            } else {
                SetProperty(*object, a.key, value, a.path);
            }
        }
        if (isPort && o.Find("members") && !object->GetT<bool>(PROP_PORT_IS_PORT_SET)) {
            Fail(Key(path, "members"), "only an aggregate port (\"portSet\": true) has members");
        }
        for (const ObjectDescription& child : o.children)
            BuildObject(child, *object);
    }

    // A port with "module" and "index" sits on a physical port of that module's port group.
    void PlacePort(const ObjectDescription& o, CScriptable& port) {
        const ScenarioAttribute* module = o.Find("module");
        const ScenarioAttribute* index = o.Find("index");
        if (!module && !index)
            return;
        if (!module)
            Fail(index->path, "\"index\" needs \"module\"");
        if (!index)
            Fail(module->path, "\"module\" needs \"index\"");
        if (module->value.kind != Kind::String)
            Fail(module->path, "expected a string, got " + module->value.shown);
        const std::string& moduleName = module->value.text;
        const ScenarioModule* m = m_result.FindModule(moduleName);
        if (!m)
            Fail(module->path, "unknown module \"" + moduleName + "\"");
        if (index->value.kind != Kind::Unsigned || index->value.unsignedValue > 0xFFFF) {
            Fail(index->path, "expected a port index (0 to 65535), got " + index->value.shown);
        }
        const auto portIndex = static_cast<uint16_t>(index->value.unsignedValue);
        auto slot = std::make_pair(m->handle, portIndex);
        if (auto used = m_usedPorts.find(slot); used != m_usedPorts.end()) {
            Fail(index->path, "port " + std::to_string(portIndex) + " of module \"" + moduleName +
                                  "\" is already used by " + used->second);
        }
        m_usedPorts.emplace(slot, o.path);
        m_where = o.path;
        CScriptable* group = CHandleRegistry::Instance().Find(m->portGroup);
        CScriptable* physical = Make("PhysicalPort", *group, o.path);
        physical->Set(PROP_PHYSICAL_PORT_INDEX, portIndex);
        physical->AddObject(port, RelationType(PHYSICAL_PORT_TO_PORT));
    }

    Reference ReferenceList(const ScenarioValue& value, const std::string& path,
                            Reference::Kind kind, Handle object, PropId property = 0) const {
        if (value.kind != Kind::Array)
            Fail(path, "expected an array of \"@NAME\", got " + value.shown);
        Reference ref{kind, object, property, path, {}};
        for (size_t i = 0; i < value.items.size(); ++i) {
            std::string at = Index(path, i);
            if (!value.items[i].IsReference()) {
                Fail(at, "expected a reference \"@NAME\", got " + value.items[i].shown);
            }
            ref.names.emplace_back(value.items[i].text.substr(1), at);
        }
        return ref;
    }

    void SetProperty(CScriptable& object, const std::string& key, const ScenarioValue& value,
                     const std::string& path) {
        const CMetaProperty* meta = object.GetMetaClass().FindProperty(key);
        if (!meta) {
            Fail(path,
                 "unknown property \"" + key + "\" of class " + object.GetMetaClass().GetName());
        }
        if (meta->GetType() == PropertyType::Handle) {
            if (meta->IsCollection()) {
                m_references.push_back(ReferenceList(value, path, Reference::PROPERTY,
                                                     object.GetObjectHandle(), meta->GetId()));
            } else {
                if (!value.IsReference()) {
                    Fail(path, "expected a reference \"@NAME\", got " + value.shown);
                }
                m_references.push_back(Reference{Reference::PROPERTY,
                                                 object.GetObjectHandle(),
                                                 meta->GetId(),
                                                 path,
                                                 {{value.text.substr(1), path}}});
            }
            return;
        }
        std::vector<PropertyScalar> values;
        if (meta->IsCollection()) {
            if (value.kind != Kind::Array) {
                Fail(path,
                     "expected an array of " + TypeDescription(*meta) + ", got " + value.shown);
            }
            for (size_t i = 0; i < value.items.size(); ++i) {
                values.push_back(Scalar(*meta, value.items[i], Index(path, i)));
            }
        } else if (meta->GetName() == "FrameConfig" && value.kind == Kind::Object) {
            values.push_back(ReadFrameConfig(value, path));
        } else {
            values.push_back(Scalar(*meta, value, path));
        }
        m_where = path;
        object.SetValues(meta->GetId(), std::move(values));
    }

    PropertyScalar Scalar(const CMetaProperty& meta, const ScenarioValue& v,
                          const std::string& path) const {
        PropertyScalar s;
        switch (meta.GetType()) {
            case PropertyType::String:
                if (v.kind != Kind::String)
                    WrongType(meta, v, path);
                return v.text;
            case PropertyType::Bool:
                if (v.kind == Kind::Bool)
                    return v.boolean;
                if (v.kind == Kind::String) {
                    std::string why;
                    if (meta.ParseScalar(v.text, s, &why))
                        return s;
                }
                WrongType(meta, v, path);
            case PropertyType::Double:
                if (v.IsNumber())
                    return v.number;
                if (v.kind == Kind::String) {
                    std::string why;
                    if (meta.ParseScalar(v.text, s, &why))
                        return s;
                }
                WrongType(meta, v, path);
            default:
                break;
        }
        if (v.kind == Kind::Unsigned) {
            s = v.unsignedValue;
        } else if (v.kind == Kind::Signed) {
            s = v.signedValue;
        } else if (v.kind != Kind::String || !ParseIntegerText(v.text, s)) {
            WrongType(meta, v, path);
        }
        std::string why;
        if (!meta.Coerce(s, &why))
            Fail(path, why);
        return s;
    }

    std::string ReadFrameConfig(const ScenarioValue& value, const std::string& path) const {
        if (value.members.size() != 1 || value.members.front().key != "file") {
            Fail(path, "expected frame-description text or {\"file\": PATH}");
        }
        std::string at = Key(path, "file");
        const ScenarioValue& file = value.members.front().value;
        if (file.kind != Kind::String)
            Fail(at, "expected a string, got " + file.shown);
        const std::string& name = file.text;
        fs::path resolved = fs::path(name).is_absolute()
                                ? fs::path(name)
                                : fs::path(m_description.baseDirectory) / name;
        std::string text, why;
        if (!orx::text::ReadFile(resolved.string(), text, why))
            Fail(at, "cannot read \"" + name + "\" (" + resolved.string() + "): " + why);
        return text;
    }

    CScriptable& Target(const std::string& name, const std::string& path) const {
        auto [first, last] = m_result.objects.equal_range(name);
        if (first != last && std::next(first) != last)
            Fail(path, "ambiguous reference \"@" + name + "\": " + SharedName(name, first, last));
        CScriptable* object =
            first == last ? nullptr : CHandleRegistry::Instance().Find(first->second.handle);
        if (!object)
            Fail(path, "unknown reference \"@" + name + "\"");
        return *object;
    }

    void Resolve(const Reference& ref) {
        CScriptable* object = CHandleRegistry::Instance().Find(ref.object);
        if (!object)
            Fail(ref.path, "the object was destroyed while the scenario was loading");
        m_where = ref.path;
        switch (ref.kind) {
            case Reference::PROPERTY: {
                std::vector<PropertyScalar> handles;
                for (const auto& [name, at] : ref.names) {
                    handles.emplace_back(uint64_t{Target(name, at).GetObjectHandle()});
                }
                object->SetValues(ref.property, std::move(handles));
                break;
            }
            case Reference::DEVICE_PORT: {
                CScriptable& port = Target(ref.names.front().first, ref.path);
                if (!port.IsTypeOf(CPort::CLASS_ID())) {
                    Fail(ref.path, "\"@" + ref.names.front().first + "\" is a " +
                                       port.GetMetaClass().GetName() + ", not a Port");
                }
                object->AddObject(port, RelationType(DEVICE_TO_PORT));
                break;
            }
            case Reference::MEMBERS: {
                std::set<CScriptable*> seen;
                for (const auto& [name, at] : ref.names) {
                    CScriptable& member = Target(name, at);
                    if (!member.IsTypeOf(CPort::CLASS_ID())) {
                        Fail(at, "\"@" + name + "\" is a " + member.GetMetaClass().GetName() +
                                     ", not a Port");
                    }
                    if (&member == object)
                        Fail(at, "a port cannot be a member of itself");
                    if (!seen.insert(&member).second)
                        Fail(at, "\"@" + name + "\" is listed twice");
                    object->AddObject(member, RelationType(PORT_SET_MEMBER));
                }
                break;
            }
        }
    }

    // Undoes everything, newest first; an object's descendants go with it.
    void Rollback() noexcept {
        for (auto it = m_made.rbegin(); it != m_made.rend(); ++it) {
            try {
                CScriptableCreator::Destroy(CHandleRegistry::Instance().Find(*it));
            } catch (const std::exception& e) {
                if (scenarioLogger()->IsEnabledFor(LOG_ERROR)) {
                    scenarioLogger()->Error("Undoing a scenario load: object " +
                                                std::to_string(*it) + " raised: " + e.what(),
                                            __FILE__, __LINE__);
                }
            }
        }
        for (const std::string& key : m_capabilityKeys)
            RcmDBMgr::Instance().RemoveKey(key);
        if (m_oldSimulation) {
            try {
                COrxSystem::Instance().SetInSimulationMode(*m_oldSimulation);
            } catch (const std::exception&) {
            }
        }
    }

    const ScenarioDescription& m_description;
    Scenario m_result;
    std::string m_where;  // path of the step in progress, for errors raised by the host
    std::vector<Handle> m_made;
    std::vector<std::string> m_capabilityKeys;
    std::optional<bool> m_oldSimulation;
    std::vector<Reference> m_references;
    std::map<std::pair<Handle, uint16_t>, std::string> m_usedPorts;
};

}  // namespace

const ScenarioModule* Scenario::FindModule(const std::string& name) const {
    for (const ScenarioModule& m : modules) {
        if (m.name == name)
            return &m;
    }
    return nullptr;
}

Handle Scenario::FindObject(const std::string& name) const {
    auto [first, last] = objects.equal_range(name);
    if (first == last)
        return NULL_HANDLE;
    if (std::next(first) != last)
        throw ScenarioError(source, "", SharedName(name, first, last));
    return first->second.handle;
}

Scenario ScenarioBuilder::Build(const ScenarioDescription& description) {
    return Builder(description).Build();
}

Scenario ScenarioLoader::LoadFile(const std::string& path) {
    return ScenarioBuilder::Build(ScenarioReader::ReadFile(path));
}

Scenario ScenarioLoader::LoadText(const std::string& text, const std::string& baseDirectory,
                                  const std::string& source) {
    return ScenarioBuilder::Build(ScenarioReader::ReadText(text, baseDirectory, source));
}

}  // namespace orx::scenario
