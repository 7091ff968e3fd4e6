#include <orx/scenario/ScenarioReader.h>

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include <orx/text/Text.h>
#include "ScenarioPaths.h"

namespace orx::scenario {

namespace fs = std::filesystem;

namespace {

// Keeps the file's key order, so objects are built and properties set in the order written.
using Json = nlohmann::ordered_json;

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

// `nested`: a member of an array or object, whose own members are not kept.
ScenarioValue ToValue(const Json& v, bool nested = false) {
    using Kind = ScenarioValue::Kind;
    ScenarioValue out;
    out.shown = Describe(v);
    if (v.is_boolean()) {
        out.kind = Kind::Bool;
        out.boolean = v.get<bool>();
    } else if (v.is_number_unsigned()) {
        out.kind = Kind::Unsigned;
        out.unsignedValue = v.get<uint64_t>();
        out.number = v.get<double>();
    } else if (v.is_number_integer()) {
        out.kind = Kind::Signed;
        out.signedValue = v.get<int64_t>();
        out.number = v.get<double>();
    } else if (v.is_number()) {
        out.kind = Kind::Double;
        out.number = v.get<double>();
    } else if (v.is_string()) {
        out.kind = Kind::String;
        out.text = v.get<std::string>();
    } else if (v.is_array()) {
        out.kind = Kind::Array;
        if (!nested) {
            for (const Json& item : v)
                out.items.push_back(ToValue(item, true));
        }
    } else if (v.is_object()) {
        out.kind = Kind::Object;
        if (!nested) {
            for (const auto& [key, member] : v.items())
                out.members.push_back(ScenarioMember{key, ToValue(member, true)});
        }
    }
    return out;
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

class Reader {
  public:
    Reader(std::string source, std::string baseDirectory) {
        m_result.source = std::move(source);
        m_result.baseDirectory = baseDirectory.empty() ? "." : std::move(baseDirectory);
    }

    ScenarioDescription Read(const std::string& text) {
        Json root = Parse(text);
        ReadAll(root);
        return std::move(m_result);
    }

  private:
    [[noreturn]] void Fail(const std::string& path, const std::string& reason) const {
        throw ScenarioError(m_result.source, path, reason);
    }

    Json Parse(const std::string& text) const {
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
            throw ScenarioError(m_result.source, "", "JSON syntax error: " + detail, line,
                                static_cast<int>(end - lineStart) + 1);
        } catch (const Json::exception& e) {
            // A number beyond a double's range ("1e999"): the library gives no position, the
            // parse so far gives the path.
            std::string what = e.what();
            const size_t quote = what.find('\'');
            std::string detail = quote == std::string::npos ? what : what.substr(quote);
            if (detail.size() > 60)
                detail = detail.substr(0, 57) + "...";
            throw ScenarioError(m_result.source, finder.PathOfValue(),
                                "JSON number out of range: " + detail);
        }
        if (!finder.duplicatePath.empty())
            Fail(finder.duplicatePath, "duplicate key");
        if (!root.is_object())
            Fail("", "expected a JSON object at the top level");
        return root;
    }

    const std::string& String(const Json& v, const std::string& path) const {
        if (!v.is_string())
            Fail(path, "expected a string, got " + Describe(v));
        return v.get_ref<const std::string&>();
    }

    void ReadAll(const Json& root) {
        const Json* modules = nullptr;
        const Json* objects = nullptr;
        for (const auto& [key, value] : root.items()) {
            if (key == "simulationMode") {
                if (!value.is_boolean())
                    Fail(key, "expected a bool, got " + Describe(value));
                m_result.simulationMode = value.get<bool>();
            } else if (key == "modules") {
                if (!value.is_array())
                    Fail(key, "expected an array, got " + Describe(value));
                modules = &value;
            } else if (key == "objects") {
                if (!value.is_array())
                    Fail(key, "expected an array, got " + Describe(value));
                objects = &value;
            } else if (key == "description") {
                m_result.description = String(value, key);
            } else {
                Fail(key, "unknown key (expected simulationMode, modules, objects or description)");
            }
        }
        if (modules) {
            for (size_t i = 0; i < modules->size(); ++i)
                m_result.modules.push_back(ReadModule((*modules)[i], Index("modules", i)));
        }
        if (objects) {
            for (size_t i = 0; i < objects->size(); ++i)
                m_result.objects.push_back(ReadObject((*objects)[i], Index("objects", i), 0));
        }
    }

    // A module's "il": an endpoint, or {"endpoint": ..., "serverKey": ...} for a frild that
    // serves with CURVE keys.
    orx::transport::IlEndpoint Il(const Json& value, const std::string& path) const {
        orx::transport::IlEndpoint il;
        auto endpoint = [&](const Json& v, const std::string& at) {
            il.address = String(v, at);
            if (std::string why = orx::transport::CheckIlAddress(il.address); !why.empty())
                Fail(at, why + ", got \"" + il.address + "\"");
        };
        if (!value.is_object()) {
            endpoint(value, path);
            return il;
        }
        bool hasEndpoint = false;
        for (const auto& [key, v] : value.items()) {
            std::string at = Key(path, key);
            if (key == "endpoint") {
                endpoint(v, at);
                hasEndpoint = true;
            } else if (key == "serverKey") {
                il.serverKey = String(v, at);
                if (std::string why = orx::transport::CheckCurveKey(il.serverKey); !why.empty())
                    Fail(at, why);
            } else {
                Fail(at, "unknown il key (expected endpoint or serverKey)");
            }
        }
        if (!hasEndpoint)
            Fail(path, "an il object needs an \"endpoint\"");
        if (il.IsInProc() && !il.serverKey.empty())
            Fail(Key(path, "serverKey"), "a serverKey needs a tcp:// or ipc:// endpoint");
        return il;
    }

    ModuleDescription ReadModule(const Json& m, const std::string& path) const {
        if (!m.is_object())
            Fail(path, "expected a module object, got " + Describe(m));
        ModuleDescription module;
        module.path = path;
        for (const auto& [key, value] : m.items()) {
            std::string at = Key(path, key);
            if (key == "name") {
                module.name = String(value, at);
                if (module.name.empty())
                    Fail(at, "a module name cannot be empty");
                for (const ModuleDescription& other : m_result.modules) {
                    if (other.name == module.name)
                        Fail(at, "duplicate module name \"" + module.name + "\"");
                }
            } else if (key == "equipment") {
                module.equipment = String(value, at);
            } else if (key == "model") {
                module.model = String(value, at);
            } else if (key == "il") {
                module.il = Il(value, at);
            } else if (key == "capabilities") {
                if (!value.is_object())
                    Fail(at, "expected an object, got " + Describe(value));
                for (const auto& [capName, capValue] : value.items())
                    module.capabilities.emplace_back(capName, Capability(capName, capValue, at));
            } else {
                Fail(at,
                     "unknown module key (expected name, equipment, model, capabilities or il)");
            }
        }
        if (module.name.empty())
            Fail(path, "a module needs a \"name\"");
        return module;
    }

    ScenarioValue Capability(const std::string& name, const Json& value,
                             const std::string& capabilitiesPath) const {
        std::string at = Key(capabilitiesPath, name);
        if (name.empty())
            Fail(at, "a capability needs a name");
        ScenarioValue out = ToValue(value, true);
        // Capabilities hold signed integers: a larger one would change its value.
        const bool integer = value.is_number_integer() &&
                             (!value.is_number_unsigned() || value.get<uint64_t>() <= INT64_MAX);
        if (integer) {
            out.kind = ScenarioValue::Kind::Signed;
            out.signedValue = value.get<int64_t>();
        } else if (!value.is_boolean() && !value.is_string() && !value.is_null()) {
            Fail(at, "expected a bool, an integer, a string or null, got " + Describe(value));
        }
        return out;
    }

    ObjectDescription ReadObject(const Json& o, const std::string& path, int depth) const {
        // This bounds the recursion on hostile input.
        if (depth > kMaxObjectDepth) {
            Fail(path, "objects nested deeper than " + std::to_string(kMaxObjectDepth) + " levels");
        }
        if (!o.is_object())
            Fail(path, "expected an object, got " + Describe(o));
        ObjectDescription object;
        object.path = path;
        auto cls = o.find("class");
        if (cls == o.end())
            Fail(path, "an object needs a \"class\"");
        object.className = String(*cls, Key(path, "class"));
        if (auto n = o.find("name"); n != o.end()) {
            std::string at = Key(path, "name");
            object.name = String(*n, at);
            if (object.name.empty())
                Fail(at, "an object name cannot be empty");
        }
        const Json* children = nullptr;
        for (const auto& [key, value] : o.items()) {
            std::string at = Key(path, key);
            if (key == "class" || key == "name")
                continue;
            if (key == "children") {
                if (!value.is_array())
                    Fail(at, "expected an array, got " + Describe(value));
                children = &value;
            } else if (key == "Name") {
                Fail(at, "give the object name with \"name\"");
            } else {
                object.attributes.push_back(ScenarioAttribute{key, ToValue(value), at});
            }
        }
        if (children) {
            for (size_t i = 0; i < children->size(); ++i) {
                object.children.push_back(
                    ReadObject((*children)[i], Index(Key(path, "children"), i), depth + 1));
            }
        }
        return object;
    }

    ScenarioDescription m_result;
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

const ScenarioAttribute* ObjectDescription::Find(const std::string& key) const {
    for (const ScenarioAttribute& a : attributes) {
        if (a.key == key)
            return &a;
    }
    return nullptr;
}

ScenarioDescription ScenarioReader::ReadFile(const std::string& path) {
    std::string text, why;
    if (!orx::text::ReadFile(path, text, why))
        throw ScenarioError(path, "", why);
    return ReadText(text, fs::path(path).parent_path().string(), path);
}

ScenarioDescription ScenarioReader::ReadText(const std::string& text,
                                             const std::string& baseDirectory,
                                             const std::string& source) {
    return Reader(source, baseDirectory).Read(text);
}

}  // namespace orx::scenario
