#include "orx/core/Scenario.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>

#include "orx/core/Capabilities.h"
#include "orx/core/HostClasses.h"
#include "orx/framework/HandleRegistry.h"
#include "orx/framework/Logger.h"
#include "orx/framework/MetaClass.h"
#include "orx/framework/ScriptableCreator.h"

namespace orx::core {

using namespace orx::framework;
namespace fs = std::filesystem;

namespace {

// Keeps the file's key order, so objects are built and properties set in the order written.
using Json = nlohmann::ordered_json;

BLLLogger* scenarioLogger() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("framework.scenario");
    return logger;
}

std::string Key(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

std::string Index(const std::string& path, size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

// A JSON value as an error message shows it.
std::string Describe(const Json& v) {
    if (v.is_object())
        return "an object";
    if (v.is_array())
        return "an array";
    std::string text = v.dump(-1, ' ', false, Json::error_handler_t::replace);
    if (text.size() > 60)
        text = text.substr(0, 57) + "...";
    return text;
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

bool IsReference(const Json& v) {
    return v.is_string() && !v.get_ref<const std::string&>().empty() &&
           v.get_ref<const std::string&>()[0] == '@';
}

// Decimal or 0x-prefixed hex; a leading zero is not read as octal.
bool ParseIntegerText(const std::string& text, PropertyScalar& out) {
    if (text.empty())
        return false;
    bool negative = text[0] == '-';
    std::string_view digits(text);
    if (negative)
        digits.remove_prefix(1);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    } else if (digits.size() > 1 && digits[0] == '0') {
        return false;
    }
    if (digits.empty() || digits[0] == '+' || digits[0] == '-')
        return false;
    uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (ec != std::errc() || end != digits.data() + digits.size())
        return false;
    if (!negative) {
        out = magnitude;
    } else if (magnitude <= static_cast<uint64_t>(INT64_MAX) + 1) {
        out = static_cast<int64_t>(0 - magnitude);
    } else {
        return false;
    }
    return true;
}

constexpr std::string_view kZ85Digits =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ.-:+=^!/*?&<>()[]{}@%$#";

}  // namespace

std::string CheckCurveKey(const std::string& text) {
    if (text.size() != 40) {
        return "a CURVE key is 40 characters of Z85 text, got " + std::to_string(text.size()) +
               " characters";
    }
    for (size_t group = 0; group < text.size(); group += 5) {
        uint64_t value = 0;
        for (size_t i = group; i < group + 5; ++i) {
            size_t digit = kZ85Digits.find(text[i]);
            if (digit == std::string_view::npos) {
                std::string shown = text[i] >= 0x21 && text[i] < 0x7F
                                        ? "'" + std::string(1, text[i]) + "'"
                                        : "byte " + std::to_string(uint8_t(text[i]));
                return "a CURVE key is Z85 text: " + shown + " at position " +
                       std::to_string(i + 1) + " is not a Z85 character";
            }
            value = value * 85 + digit;
        }
        if (value > UINT32_MAX) {
            return "a CURVE key is Z85 text: characters " + std::to_string(group + 1) + " to " +
                   std::to_string(group + 5) + " do not encode 4 bytes";
        }
    }
    return "";
}

namespace {

// ZeroMQ endpoints a frild daemon can be reached on: tcp://HOST:PORT or ipc://PATH.
bool IsIlEndpoint(const std::string& il, std::string& why) {
    if (il == "inproc")
        return true;
    if (il.rfind("ipc://", 0) == 0) {
        if (il.size() > 6)
            return true;
        why = "an ipc endpoint needs a path";
        return false;
    }
    if (il.rfind("tcp://", 0) == 0) {
        std::string rest = il.substr(6);
        size_t colon = rest.rfind(':');
        if (colon == std::string::npos || colon == 0) {
            why = "a tcp endpoint is tcp://HOST:PORT";
            return false;
        }
        std::string host = rest.substr(0, colon);
        std::string port = rest.substr(colon + 1);
        if (host == "*" || host.find_first_of("/ \t") != std::string::npos) {
            why = "\"" + host + "\" is not a host to connect to";
            return false;
        }
        unsigned value = 0;
        auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value == 0 ||
            value > 65535) {
            why = "\"" + port + "\" is not a port number (1 to 65535)";
            return false;
        }
        return true;
    }
    why = "expected \"inproc\" or a ZeroMQ endpoint (tcp://HOST:PORT or ipc://PATH)";
    return false;
}

// Parses the document; rejects duplicate keys, which the JSON library would silently collapse.
struct DuplicateKeyFinder {
    struct Frame {
        bool array = false;
        size_t index = 0;
        std::string key;
        std::set<std::string> keys;
    };
    std::vector<Frame> stack;
    std::string duplicatePath;

    std::string PathOfTop() const {
        std::string path;
        for (size_t i = 0; i + 1 < stack.size(); ++i) {
            path = stack[i].array ? Index(path, stack[i].index) : Key(path, stack[i].key);
        }
        return path;
    }
    // Path of the value being parsed: the member after the last key, or the next element.
    std::string PathOfValue() const {
        if (stack.empty())
            return std::string();
        const Frame& top = stack.back();
        return top.array ? Index(PathOfTop(), top.index) : Key(PathOfTop(), top.key);
    }
    void ElementDone() {
        if (!stack.empty() && stack.back().array)
            ++stack.back().index;
    }
    bool operator()(int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
                stack.push_back(Frame{});
                break;
            case Json::parse_event_t::array_start:
                stack.push_back(Frame{true, 0, {}, {}});
                break;
            case Json::parse_event_t::key: {
                Frame& top = stack.back();
                top.key = parsed.get<std::string>();
                if (!top.keys.insert(top.key).second && duplicatePath.empty()) {
                    duplicatePath = Key(PathOfTop(), top.key);
                }
                break;
            }
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                stack.pop_back();
                ElementDone();
                break;
            case Json::parse_event_t::value:
                ElementDone();
                break;
        }
        return true;
    }
};

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

constexpr int kMaxDepth = 32;

class Builder {
  public:
    Builder(std::string source, fs::path baseDirectory)
        : m_source(std::move(source)), m_base(std::move(baseDirectory)) {
        m_result.source = m_source;
    }

    Scenario Build(const std::string& text) {
        Json root = Parse(text);
        try {
            BuildAll(root);
        } catch (const ScenarioError&) {
            Rollback();
            throw;
        } catch (const std::exception& e) {
            Rollback();
            throw ScenarioError(m_source, m_where, e.what());
        } catch (...) {
            Rollback();
            throw ScenarioError(m_source, m_where, "unknown exception");
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
        throw ScenarioError(m_source, path, reason);
    }

    Json Parse(const std::string& text) {
        DuplicateKeyFinder finder;
        Json root;
        try {
            root = Json::parse(text, std::ref(finder));
        } catch (const Json::parse_error& e) {
            // Line and column of the offending byte.
            size_t end = std::min<size_t>(e.byte == 0 ? 0 : e.byte - 1, text.size());
            int line = 1;
            size_t lineStart = 0;
            for (size_t i = 0; i < end; ++i) {
                if (text[i] == '\n') {
                    ++line;
                    lineStart = i + 1;
                }
            }
            std::string what = e.what();
            size_t at = what.find("column ");
            size_t colon = at == std::string::npos ? std::string::npos : what.find(": ", at);
            std::string detail = colon == std::string::npos ? what : what.substr(colon + 2);
            throw ScenarioError(m_source, "", "JSON syntax error: " + detail, line,
                                static_cast<int>(end - lineStart) + 1);
        } catch (const Json::exception& e) {
            // A number beyond a double's range ("1e999"): the library gives no position, the
            // parse so far gives the path.
            std::string what = e.what();
            const size_t quote = what.find('\'');
            std::string detail = quote == std::string::npos ? what : what.substr(quote);
            if (detail.size() > 60)
                detail = detail.substr(0, 57) + "...";
            throw ScenarioError(m_source, finder.PathOfValue(),
                                "JSON number out of range: " + detail);
        }
        if (!finder.duplicatePath.empty())
            Fail(finder.duplicatePath, "duplicate key");
        if (!root.is_object())
            Fail("", "expected a JSON object at the top level");
        return root;
    }

    void BuildAll(const Json& root) {
        const Json* modules = nullptr;
        const Json* objects = nullptr;
        for (const auto& [key, value] : root.items()) {
            if (key == "simulationMode") {
                if (!value.is_boolean())
                    Fail(key, "expected a bool, got " + Describe(value));
                m_where = key;
                m_oldSimulation = COrxSystem::Instance().GetInSimulationMode();
                COrxSystem::Instance().SetInSimulationMode(value.get<bool>());
            } else if (key == "modules") {
                if (!value.is_array())
                    Fail(key, "expected an array, got " + Describe(value));
                modules = &value;
            } else if (key == "objects") {
                if (!value.is_array())
                    Fail(key, "expected an array, got " + Describe(value));
                objects = &value;
            } else if (key == "description") {
                if (!value.is_string())
                    Fail(key, "expected a string, got " + Describe(value));
            } else {
                Fail(key, "unknown key (expected simulationMode, modules, objects or description)");
            }
        }
        if (modules) {
            for (size_t i = 0; i < modules->size(); ++i)
                BuildModule((*modules)[i], Index("modules", i));
        }
        if (objects) {
            CScriptable& project = CProject::Instance();
            for (size_t i = 0; i < objects->size(); ++i) {
                BuildObject((*objects)[i], Index("objects", i), project);
            }
        }
        for (const Reference& ref : m_references)
            Resolve(ref);
    }

    const std::string& String(const Json& v, const std::string& path) const {
        if (!v.is_string())
            Fail(path, "expected a string, got " + Describe(v));
        return v.get_ref<const std::string&>();
    }

    [[noreturn]] void WrongType(const CMetaProperty& meta, const Json& v,
                                const std::string& path) const {
        Fail(path, "expected a " + TypeDescription(meta) + ", got " + Describe(v));
    }

    // A module's "il": an endpoint, or {"endpoint": ..., "serverKey": ...} for a frild that
    // serves with CURVE keys.
    void Il(const Json& value, const std::string& path, std::string& il, std::string& serverKey) {
        auto endpoint = [&](const Json& v, const std::string& at) {
            il = String(v, at);
            std::string why;
            if (!IsIlEndpoint(il, why))
                Fail(at, why + ", got \"" + il + "\"");
        };
        if (!value.is_object())
            return endpoint(value, path);
        bool hasEndpoint = false;
        for (const auto& [key, v] : value.items()) {
            std::string at = Key(path, key);
            if (key == "endpoint") {
                endpoint(v, at);
                hasEndpoint = true;
            } else if (key == "serverKey") {
                serverKey = String(v, at);
                std::string why = CheckCurveKey(serverKey);
                if (!why.empty())
                    Fail(at, why);
            } else {
                Fail(at, "unknown il key (expected endpoint or serverKey)");
            }
        }
        if (!hasEndpoint)
            Fail(path, "an il object needs an \"endpoint\"");
        if (il == "inproc" && !serverKey.empty())
            Fail(Key(path, "serverKey"), "a serverKey needs a tcp:// or ipc:// endpoint");
    }

    void BuildModule(const Json& m, const std::string& path) {
        if (!m.is_object())
            Fail(path, "expected a module object, got " + Describe(m));
        std::string name, equipment, model, il = "inproc", serverKey;
        const Json* capabilities = nullptr;
        for (const auto& [key, value] : m.items()) {
            std::string at = Key(path, key);
            if (key == "name") {
                name = String(value, at);
                if (name.empty())
                    Fail(at, "a module name cannot be empty");
                for (const ScenarioModule& other : m_result.modules) {
                    if (other.name == name)
                        Fail(at, "duplicate module name \"" + name + "\"");
                }
            } else if (key == "equipment") {
                equipment = String(value, at);
            } else if (key == "model") {
                model = String(value, at);
            } else if (key == "il") {
                Il(value, at, il, serverKey);
            } else if (key == "capabilities") {
                if (!value.is_object())
                    Fail(at, "expected an object, got " + Describe(value));
                capabilities = &value;
            } else {
                Fail(at,
                     "unknown module key (expected name, equipment, model, capabilities or il)");
            }
        }
        if (name.empty())
            Fail(path, "a module needs a \"name\"");

        m_where = path;
        CScriptable* module = Make("PhysicalTestModule", COrxSystem::Instance(), path);
        module->SetName(name);
        module->Set(PROP_TEST_MODULE_MODEL, model);
        if (const CMetaProperty* location = module->GetMetaClass().FindProperty("Location")) {
            module->Set(location->GetId(), equipment);
        }
        CScriptable* group = Make("PhysicalPortGroup", *module, path);
        group->Set(PROP_PORT_GROUP_LOCATION, equipment);
        m_result.modules.push_back(ScenarioModule{name, module->GetObjectHandle(),
                                                  group->GetObjectHandle(), il, serverKey});

        if (!capabilities)
            return;
        std::string dbKey;
        if (!RcmKeyMgr::GetLookupKey(module->GetObjectHandle(), "TestModule", dbKey)) {
            Fail(path, "no capability key for the module");
        }
        m_capabilityKeys.push_back(dbKey);
        for (const auto& [capName, value] : capabilities->items()) {
            std::string at = Key(Key(path, "capabilities"), capName);
            if (capName.empty())
                Fail(at, "a capability needs a name");
            Capability capability;
            if (value.is_boolean()) {
                capability = Capability(value.get<bool>());
            } else if (value.is_number_integer() &&
                       (!value.is_number_unsigned() || value.get<uint64_t>() <= INT64_MAX)) {
                capability = Capability(value.get<int64_t>());
            } else if (value.is_string()) {
                capability = Capability(value.get<std::string>());
            } else if (!value.is_null()) {  // null: the capability exists without a value
                Fail(at, "expected a bool, an integer, a string or null, got " + Describe(value));
            }
            RcmDBMgr::Instance().SetDBValue(dbKey, "TestModule/" + capName, capability);
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

    void BuildObject(const Json& o, const std::string& path, CScriptable& parent, int depth = 0) {
        // Real trees are a handful of levels deep; this bounds the recursion on hostile input.
        if (depth > kMaxDepth) {
            Fail(path, "objects nested deeper than " + std::to_string(kMaxDepth) + " levels");
        }
        if (!o.is_object())
            Fail(path, "expected an object, got " + Describe(o));
        auto cls = o.find("class");
        if (cls == o.end())
            Fail(path, "an object needs a \"class\"");
        const std::string& className = String(*cls, Key(path, "class"));
        const CMetaClass* mc = CMetaClassManager::Instance().GetClass(className);
        if (!mc)
            Fail(path, "unknown class \"" + className + "\"");
        if (mc->IsAbstract())
            Fail(path, "class \"" + className + "\" is abstract");
        for (ClassId reserved :
             {COrxSystem::CLASS_ID(), CProject::CLASS_ID(), CPhysicalTestModule::CLASS_ID(),
              CPhysicalPortGroup::CLASS_ID(), CPhysicalPort::CLASS_ID()}) {
            if (mc->IsTypeOf(reserved)) {
                Fail(path, "class \"" + className +
                               "\" is not made by objects (test modules come from \"modules\")");
            }
        }
        const bool isPort = mc->IsTypeOf(CPort::CLASS_ID());
        const bool isDevice = mc->IsTypeOf(CEmulatedDevice::CLASS_ID());

        std::string name;
        if (auto n = o.find("name"); n != o.end()) {
            std::string at = Key(path, "name");
            name = String(*n, at);
            if (name.empty())
                Fail(at, "an object name cannot be empty");
        }

        m_where = path;
        CScriptable* object = Make(className, parent, path);
        const Handle handle = object->GetObjectHandle();
        if (!name.empty()) {
            m_where = Key(path, "name");
            object->SetName(name);
            m_result.objects.emplace(name, ScenarioObject{handle, path});
        }
        if (isPort)
            PlacePort(o, path, *object);

        const Json* children = nullptr;
        for (const auto& [key, value] : o.items()) {
            std::string at = Key(path, key);
            if (key == "class" || key == "name")
                continue;
            if (key == "children") {
                if (!value.is_array())
                    Fail(at, "expected an array, got " + Describe(value));
                children = &value;
            } else if (isPort && (key == "module" || key == "index")) {
                continue;  // placed above
            } else if (isPort && key == "portSet") {
                if (!value.is_boolean())
                    Fail(at, "expected a bool, got " + Describe(value));
                m_where = at;
                object->Set(PROP_PORT_IS_PORT_SET, value.get<bool>());
            } else if (isPort && key == "members") {
                m_references.push_back(ReferenceList(value, at, Reference::MEMBERS, handle));
            } else if (isDevice && key == "port") {
                if (!IsReference(value)) {
                    Fail(at, "expected a reference \"@NAME\" to a port, got " + Describe(value));
                }
                m_references.push_back(Reference{Reference::DEVICE_PORT,
                                                 handle,
                                                 0,
                                                 at,
                                                 {{value.get<std::string>().substr(1), at}}});
            } else if (key == "Name") {
                Fail(at, "give the object name with \"name\"");
            } else {
                SetProperty(*object, key, value, at);
            }
        }
        if (auto members = o.find("members"); isPort && members != o.end()) {
            if (!object->GetT<bool>(PROP_PORT_IS_PORT_SET)) {
                Fail(Key(path, "members"),
                     "only an aggregate port (\"portSet\": true) has members");
            }
        }
        if (children) {
            for (size_t i = 0; i < children->size(); ++i) {
                BuildObject((*children)[i], Index(Key(path, "children"), i), *object, depth + 1);
            }
        }
    }

    // A port with "module" and "index" sits on a physical port of that module's port group.
    void PlacePort(const Json& o, const std::string& path, CScriptable& port) {
        auto module = o.find("module");
        auto index = o.find("index");
        if (module == o.end() && index == o.end())
            return;
        if (module == o.end())
            Fail(Key(path, "index"), "\"index\" needs \"module\"");
        if (index == o.end())
            Fail(Key(path, "module"), "\"module\" needs \"index\"");
        const std::string& moduleName = String(*module, Key(path, "module"));
        const ScenarioModule* m = m_result.FindModule(moduleName);
        if (!m)
            Fail(Key(path, "module"), "unknown module \"" + moduleName + "\"");
        // Non-negative JSON integers are held unsigned.
        if (!index->is_number_unsigned() || index->get<uint64_t>() > 0xFFFF) {
            Fail(Key(path, "index"), "expected a port index (0 to 65535), got " + Describe(*index));
        }
        const auto portIndex = static_cast<uint16_t>(index->get<uint64_t>());
        auto slot = std::make_pair(m->handle, portIndex);
        if (auto used = m_usedPorts.find(slot); used != m_usedPorts.end()) {
            Fail(Key(path, "index"), "port " + std::to_string(portIndex) + " of module \"" +
                                         moduleName + "\" is already used by " + used->second);
        }
        m_usedPorts.emplace(slot, path);
        m_where = path;
        CScriptable* group = CHandleRegistry::Instance().Find(m->portGroup);
        CScriptable* physical = Make("PhysicalPort", *group, path);
        physical->Set(PROP_PHYSICAL_PORT_INDEX, portIndex);
        physical->AddObject(port, RelationType(PHYSICAL_PORT_TO_PORT));
    }

    Reference ReferenceList(const Json& value, const std::string& path, Reference::Kind kind,
                            Handle object, PropId property = 0) const {
        if (!value.is_array())
            Fail(path, "expected an array of \"@NAME\", got " + Describe(value));
        Reference ref{kind, object, property, path, {}};
        for (size_t i = 0; i < value.size(); ++i) {
            std::string at = Index(path, i);
            if (!IsReference(value[i])) {
                Fail(at, "expected a reference \"@NAME\", got " + Describe(value[i]));
            }
            ref.names.emplace_back(value[i].get<std::string>().substr(1), at);
        }
        return ref;
    }

    void SetProperty(CScriptable& object, const std::string& key, const Json& value,
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
                if (!IsReference(value)) {
                    Fail(path, "expected a reference \"@NAME\", got " + Describe(value));
                }
                m_references.push_back(Reference{Reference::PROPERTY,
                                                 object.GetObjectHandle(),
                                                 meta->GetId(),
                                                 path,
                                                 {{value.get<std::string>().substr(1), path}}});
            }
            return;
        }
        std::vector<PropertyScalar> values;
        if (meta->IsCollection()) {
            if (!value.is_array()) {
                Fail(path,
                     "expected an array of " + TypeDescription(*meta) + ", got " + Describe(value));
            }
            for (size_t i = 0; i < value.size(); ++i) {
                values.push_back(Scalar(*meta, value[i], Index(path, i)));
            }
        } else if (meta->GetName() == "FrameConfig" && value.is_object()) {
            values.push_back(ReadFrameConfig(value, path));
        } else {
            values.push_back(Scalar(*meta, value, path));
        }
        m_where = path;
        object.SetValues(meta->GetId(), std::move(values));
    }

    PropertyScalar Scalar(const CMetaProperty& meta, const Json& v, const std::string& path) const {
        PropertyScalar s;
        switch (meta.GetType()) {
            case PropertyType::String:
                if (!v.is_string())
                    WrongType(meta, v, path);
                return v.get<std::string>();
            case PropertyType::Bool:
                if (v.is_boolean())
                    return v.get<bool>();
                if (v.is_string()) {
                    std::string why;
                    if (meta.ParseScalar(v.get<std::string>(), s, &why))
                        return s;
                }
                WrongType(meta, v, path);
            case PropertyType::Double:
                if (v.is_number())
                    return v.get<double>();
                if (v.is_string()) {
                    std::string why;
                    if (meta.ParseScalar(v.get<std::string>(), s, &why))
                        return s;
                }
                WrongType(meta, v, path);
            default:
                break;
        }
        if (v.is_number_unsigned()) {
            s = v.get<uint64_t>();
        } else if (v.is_number_integer()) {
            s = v.get<int64_t>();
        } else if (!v.is_string() || !ParseIntegerText(v.get<std::string>(), s)) {
            WrongType(meta, v, path);
        }
        std::string why;
        if (!meta.Coerce(s, &why))
            Fail(path, why);
        return s;
    }

    std::string ReadFrameConfig(const Json& value, const std::string& path) const {
        auto file = value.find("file");
        if (file == value.end() || value.size() != 1) {
            Fail(path, "expected frame-description text or {\"file\": PATH}");
        }
        std::string at = Key(path, "file");
        const std::string& name = String(*file, at);
        fs::path resolved = fs::path(name).is_absolute() ? fs::path(name) : m_base / name;
        std::error_code ec;
        if (!fs::is_regular_file(resolved, ec)) {
            Fail(at, "cannot read \"" + name + "\" (" + resolved.string() + "): " +
                         (fs::exists(resolved, ec) ? "not a regular file" : "no such file"));
        }
        std::ifstream in(resolved, std::ios::binary);
        if (!in.is_open())
            Fail(at, "cannot read \"" + name + "\" (" + resolved.string() + ")");
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
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

    std::string m_source;
    fs::path m_base;
    Scenario m_result;
    std::string m_where;  // path of the step in progress, for errors raised by the host
    std::vector<Handle> m_made;
    std::vector<std::string> m_capabilityKeys;
    std::optional<bool> m_oldSimulation;
    std::vector<Reference> m_references;
    std::map<std::pair<Handle, uint16_t>, std::string> m_usedPorts;
};

std::string ErrorText(const std::string& source, const std::string& path, const std::string& reason,
                      int line, int column) {
    std::string text = source;
    if (line > 0)
        text += ":" + std::to_string(line) + ":" + std::to_string(column);
    if (!path.empty())
        text += (text.empty() ? "" : ": ") + path;
    return text + (text.empty() ? "" : ": ") + reason;
}

}  // namespace

ScenarioError::ScenarioError(std::string source, std::string jsonPath, std::string reason, int line,
                             int column)
    : COrxRunTimeError(ErrorText(source, jsonPath, reason, line, column)),
      m_source(std::move(source)),
      m_jsonPath(std::move(jsonPath)),
      m_reason(std::move(reason)),
      m_line(line),
      m_column(column) {}

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

Scenario ScenarioLoader::LoadFile(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        throw ScenarioError(path, "", fs::exists(path, ec) ? "not a regular file" : "no such file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        throw ScenarioError(path, "", "cannot read the file");
    std::ostringstream text;
    text << in.rdbuf();
    return LoadText(text.str(), fs::path(path).parent_path().string(), path);
}

Scenario ScenarioLoader::LoadText(const std::string& text, const std::string& baseDirectory,
                                  const std::string& source) {
    Builder builder(source, baseDirectory.empty() ? fs::path(".") : fs::path(baseDirectory));
    return builder.Build(text);
}

}  // namespace orx::core
