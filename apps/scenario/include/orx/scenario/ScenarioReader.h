#pragma once

// Scenario files, first step: the JSON text read into a plain description of the test
// equipment (test modules with their capabilities and ILs) and of the project's objects. The
// document's shape is checked here; what needs the data model (classes, property types,
// references) is the builder's. Nothing here touches the object model.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <orx/framework/Exceptions.h>
#include <orx/transport/IlEndpoint.h>

namespace orx::scenario {

// A scenario that could not be loaded. The text names the file, the JSON path of the offending
// value (such as "objects[0].children[1].Delay") and what is wrong with it.
class ScenarioError : public orx::framework::COrxRunTimeError {
  public:
    ScenarioError(std::string source, std::string jsonPath, std::string reason, int line = 0,
                  int column = 0);

    // The file (or the name given to the reader); empty when there is none.
    const std::string& GetSource() const { return m_source; }
    // Where in the document, empty for errors about the document as a whole.
    const std::string& GetJsonPath() const { return m_jsonPath; }
    const std::string& GetReason() const { return m_reason; }
    // Position of a JSON syntax error (1-based), 0 otherwise.
    int GetLine() const { return m_line; }
    int GetColumn() const { return m_column; }

  private:
    std::string m_source;
    std::string m_jsonPath;
    std::string m_reason;
    int m_line;
    int m_column;
};

struct ScenarioMember;

// A JSON value as written, for the builder to type by the data model. Arrays and objects keep
// one level of members: the deepest any property value can be (a list of scalars, or
// {"file": PATH}); anything deeper is only shown in errors.
struct ScenarioValue {
    enum class Kind { Null, Bool, Unsigned, Signed, Double, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    uint64_t unsignedValue = 0;           // non-negative integers
    int64_t signedValue = 0;              // negative integers
    double number = 0;                    // any number, as a double
    std::string text;                     // strings
    std::string shown;                    // as errors show it: 5, "x", an array, an object
    std::vector<ScenarioValue> items;     // an array's elements
    std::vector<ScenarioMember> members;  // an object's members

    bool IsNumber() const {
        return kind == Kind::Unsigned || kind == Kind::Signed || kind == Kind::Double;
    }
    // A string "@NAME" naming another object of the scenario.
    bool IsReference() const { return kind == Kind::String && !text.empty() && text[0] == '@'; }
};

struct ScenarioMember {
    std::string key;
    ScenarioValue value;
};

// One key of an object other than "class", "name" and "children", in file order.
struct ScenarioAttribute {
    std::string key;
    ScenarioValue value;
    std::string path;  // such as "objects[0].Delay"
};

struct ObjectDescription {
    std::string className;
    std::string name;  // empty: unnamed
    std::string path;  // such as "objects[0].children[1]"
    std::vector<ScenarioAttribute> attributes;
    std::vector<ObjectDescription> children;

    const ScenarioAttribute* Find(const std::string& key) const;
};

struct ModuleDescription {
    std::string name;
    std::string equipment;
    std::string model;
    orx::transport::IlEndpoint il;
    // Each capability's value is a bool, a signed integer, a string or null (present without a
    // value), in file order.
    std::vector<std::pair<std::string, ScenarioValue>> capabilities;
    std::string path;  // such as "modules[0]"
};

struct ScenarioDescription {
    std::string source;         // names the text in errors
    std::string baseDirectory;  // resolves {"file": PATH} values
    std::optional<bool> simulationMode;
    std::string description;
    std::vector<ModuleDescription> modules;
    std::vector<ObjectDescription> objects;
};

// Objects are nested at most this deep; real trees are a handful of levels.
constexpr int kMaxObjectDepth = 32;

class ScenarioReader {
  public:
    // Raises ScenarioError naming the JSON path of the first thing wrong.
    static ScenarioDescription ReadFile(const std::string& path);
    // `baseDirectory` resolves {"file": PATH} values; `source` names the text in errors.
    static ScenarioDescription ReadText(const std::string& text, const std::string& baseDirectory,
                                        const std::string& source = "scenario");
};

}  // namespace orx::scenario
