#pragma once

// Scenario files, second step: a scenario description built into the host's object model, test
// modules under the system and objects under the project, in one step.

#include <map>
#include <string>
#include <vector>

#include <orx/framework/Types.h>
#include <orx/scenario/ScenarioReader.h>
#include <orx/transport/IlEndpoint.h>

namespace orx::scenario {

struct ScenarioModule {
    std::string name;
    orx::framework::Handle handle = orx::framework::NULL_HANDLE;  // the PhysicalTestModule
    orx::framework::Handle portGroup = orx::framework::NULL_HANDLE;
    orx::transport::IlEndpoint il;
};

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

// All-or-nothing: on any error every object made so far is destroyed (newest first), the
// capability entries added are removed, the simulation flag is restored, and ScenarioError is
// raised naming the JSON path of what the data model refuses.
class ScenarioBuilder {
  public:
    static Scenario Build(const ScenarioDescription& description);
};

// Reads and builds in one go.
class ScenarioLoader {
  public:
    static Scenario LoadFile(const std::string& path);
    // `baseDirectory` resolves {"file": PATH} values; `source` names the text in errors.
    static Scenario LoadText(const std::string& text, const std::string& baseDirectory,
                             const std::string& source = "scenario");
};

}  // namespace orx::scenario
