#pragma once

// Scenario files: a JSON description of the test equipment (test modules with their capabilities
// and ILs) and of the project's objects, built into the host's object model in one step.

#include <map>
#include <string>
#include <vector>

#include "orx/framework/Exceptions.h"
#include "orx/framework/Types.h"

namespace orx::core {

// A scenario that could not be loaded. The text names the file, the JSON path of the offending
// value (such as "objects[0].children[1].Delay") and what is wrong with it.
class ScenarioError : public orx::framework::COrxRunTimeError {
  public:
    ScenarioError(std::string source, std::string jsonPath, std::string reason, int line = 0,
                  int column = 0);

    // The file (or the name given to LoadText); empty when there is none.
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

struct ScenarioModule {
    std::string name;
    orx::framework::Handle handle = orx::framework::NULL_HANDLE;  // the PhysicalTestModule
    orx::framework::Handle portGroup = orx::framework::NULL_HANDLE;
    std::string il;           // "inproc" or a ZeroMQ endpoint ("tcp://HOST:PORT", "ipc://PATH")
    std::string ilServerKey;  // the frild's CURVE public key (Z85); empty: no CURVE
};

// Empty when `text` is a CURVE key in Z85 text (40 characters encoding 32 bytes); otherwise
// what is wrong with it.
std::string CheckCurveKey(const std::string& text);

// A named object and where the file describes it.
struct ScenarioObject {
    orx::framework::Handle handle = orx::framework::NULL_HANDLE;
    std::string path;  // such as "objects[0].children[1]"
};

struct Scenario {
    std::string source;
    std::vector<ScenarioModule> modules;  // in file order
    // Every named object of the scenario. Names need not be unique (many profiles may be called
    // "reply"); objects sharing a name keep their file order.
    std::multimap<std::string, ScenarioObject> objects;

    const ScenarioModule* FindModule(const std::string& name) const;
    // NULL_HANDLE when no object has the name; ScenarioError naming each holder's path when
    // several do, since picking one would act on an object the user may not have meant.
    orx::framework::Handle FindObject(const std::string& name) const;
};

// Builds a scenario into the object model: modules under the system, objects under the project.
// All-or-nothing: on any error every object made so far is destroyed (newest first), the
// capability entries added are removed, the simulation flag is restored, and ScenarioError is
// raised.
class ScenarioLoader {
  public:
    static Scenario LoadFile(const std::string& path);
    // `baseDirectory` resolves {"file": PATH} values; `source` names the text in errors.
    static Scenario LoadText(const std::string& text, const std::string& baseDirectory,
                             const std::string& source = "scenario");
};

}  // namespace orx::core
