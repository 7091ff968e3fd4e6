#pragma once

// A project of many configurations on in-process software test ports, as the benchmarks of the
// apply road and of results build it.

#include <memory>
#include <string>
#include <vector>

#include <orx/framework/Scriptable.h>

namespace orx::il {
class IlServer;
}
namespace orx::framework {
class IlTransport;
}

namespace bench {

struct Project {
    std::vector<std::shared_ptr<orx::il::IlServer>> ils;
    std::vector<std::shared_ptr<orx::framework::IlTransport>> transports;
    std::vector<orx::framework::CScriptable*> ports;
    std::vector<orx::framework::CScriptable*> configs;
};

// `modules` test modules of `portsPerModule` online ports each, and `configs` probe
// configurations spread round-robin over the ports, each with one profile answering on its own
// port. Filters are typed expressions, or frame descriptions with `frameFilters`.
Project Build(int modules, int portsPerModule, int configs, bool frameFilters);

// The frame description of the i-th configuration's filter.
std::string FrameFilter(int i);
void SetByName(orx::framework::CScriptable& object, const std::string& name,
               const std::string& text);
// Validates and applies the project; raises std::runtime_error with the apply's text.
void ApplyOrDie();
// Loads the plug-ins next to the program; false with a message on stderr.
bool LoadPlugins(const char* program);

}  // namespace bench
