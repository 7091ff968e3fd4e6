#pragma once

#include <map>
#include <string>
#include <vector>

#include "IlWiring.h"
#include "orx/core/Scenario.h"

namespace frhost {

// Captures to replay into the scenario's ports, and where each port's transmissions go; keyed
// by the Port object's name in the scenario.
struct ReplayFiles {
    std::map<std::string, std::string> inputs;
    std::map<std::string, std::string> outputs;
};

// Replays the captures through the in-process test ports, in the files' own time, and writes
// each port's responses to its output capture. Raises std::runtime_error naming the port or
// file when a name is not a port of an in-process module or a file cannot be read or written.
void Replay(const orx::core::Scenario& scenario, const std::vector<ModuleIl>& ils,
            const ReplayFiles& files);

}  // namespace frhost
