// Loads arbitrary text as a scenario against the host's data model and the plug-in's, with the
// plug-in's classes linked in. A load either builds objects that can all be found, or fails
// with ScenarioError and leaves nothing behind; either way the project is reset before the next
// input, so nothing carries over from one input to the next.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include <orx/core/HostClasses.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Logger.h>
#include <orx/framework/MetaClass.h>
#include <orx/scenario/ScenarioBuilder.h>
#include "FuzzSupport.h"

#ifndef ORX_RESPONDER_DATAMODEL
#error "ORX_RESPONDER_DATAMODEL must name the plug-in's data-model file"
#endif

namespace {

using fuzz::broken;

namespace fs = std::filesystem;
using namespace orx::framework;
using orx::core::CProject;
using orx::scenario::ScenarioError;
using orx::scenario::ScenarioLoader;

constexpr uint32_t kResponderModel = 0x96000000;

struct Setup {
    // {"file": NAME} is resolved here: a directory with nothing in it.
    std::string emptyDirectory;

    Setup() {
        auto* logging = BLLLoggerFactory::GetInstance();
        logging->SetConsoleEnabled(false);
        logging->SetDefaultLevel(LOG_OFF);
        auto& classes = CMetaClassManager::Instance();
        if (!classes.IsActivated(kResponderModel)) {
            std::ifstream in(ORX_RESPONDER_DATAMODEL, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            std::string error;
            if (!in || !classes.LoadDataModel(text.str(), ORX_RESPONDER_DATAMODEL, &error))
                broken("cannot load the plug-in's data model: " + error);
        }
        // The project and the system exist from here on; each input starts from this state.
        CProject::Instance().Reset();
        char name[] = "/tmp/fuzz_scenario.XXXXXX";
        if (!mkdtemp(name))
            broken("cannot make an empty directory");
        emptyDirectory = name;
    }
    ~Setup() {
        std::error_code ec;
        fs::remove(emptyDirectory, ec);
    }
};

Setup& Once() {
    static Setup setup;
    return setup;
}

// True when a {"file": NAME} names something outside the empty directory: an absolute path or
// one going up. Such inputs are skipped, so that the fuzzer reads no file of the machine.
bool LeavesDirectory(const nlohmann::ordered_json& value) {
    if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            if (key == "file" && member.is_string()) {
                const fs::path path(member.get<std::string>());
                if (path.is_absolute())
                    return true;
                for (const fs::path& part : path) {
                    if (part == "..")
                        return true;
                }
            }
            if (LeavesDirectory(member))
                return true;
        }
    } else if (value.is_array()) {
        for (const auto& member : value) {
            if (LeavesDirectory(member))
                return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup& setup = Once();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto parsed = nlohmann::ordered_json::parse(text, nullptr, false);
    if (!parsed.is_discarded() && LeavesDirectory(parsed))
        return 0;

    auto& registry = CHandleRegistry::Instance();
    const size_t before = registry.Count();
    try {
        orx::scenario::Scenario scenario =
            ScenarioLoader::LoadText(text, setup.emptyDirectory, "fuzz");
        for (const auto& [name, object] : scenario.objects) {
            if (!registry.Find(object.handle))
                broken("loaded object '" + name + "' at " + object.path + " cannot be found");
        }
        for (const auto& module : scenario.modules) {
            if (!registry.Find(module.handle) || !registry.Find(module.portGroup))
                broken("loaded module '" + module.name + "' cannot be found");
        }
    } catch (const ScenarioError& e) {
        if (registry.Count() != before)
            broken(std::string("a failed load left objects behind: ") + e.what());
        if (e.GetReason().empty())
            broken("a failed load gives no reason");
    }
    CProject::Instance().Reset();
    if (registry.Count() != before)
        broken("the reset left objects behind");
    return 0;
}
