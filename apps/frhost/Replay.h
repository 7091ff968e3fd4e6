#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <orx/il/CaptureReplay.h>
#include <orx/scenario/ScenarioBuilder.h>
#include "IlWiring.h"

namespace frhost {

// Captures to replay into the scenario's ports, and where each port's transmissions go; keyed
// by the Port object's name in the scenario.
struct ReplayFiles {
    std::map<std::string, std::string> inputs;
    std::map<std::string, std::string> outputs;
};

// Where a scenario Port is served: its module's IL and its index there. Raises
// std::runtime_error naming the port when the name is not one port of the scenario or the
// port sits on no test module.
struct PortPlace {
    const ModuleIl* il = nullptr;
    uint16_t port = 0;
};
PortPlace LocatePort(const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
                     const std::string& name);

// Replays captures through the in-process test ports, in the files' own time, on a thread of
// its own, and writes each port's responses to its output capture.
class ReplayJob {
  public:
    // Opens every file. Raises std::runtime_error naming the port or file when a name is not a
    // port of an in-process module or a file cannot be opened.
    // With `countFrames`, each capture's frames are counted first, for the progress' total.
    ReplayJob(const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
              const ReplayFiles& files, bool countFrames = false);

    void Start() { m_replay.Start(); }
    // Ends the captures early: each source reads nothing more.
    void Stop() { m_replay.Stop(); }
    bool Done() const { return m_replay.Done(); }
    // Waits for the end; raises what the replay raised (a capture that cannot be read or
    // written), naming the file.
    void Wait();

    struct Progress {
        std::string port;
        uint64_t frames = 0;  // read so far
        uint64_t total = 0;   // in the capture; 0 when not known
    };
    std::vector<Progress> GetProgress() const;
    bool Empty() const { return m_replay.Empty(); }

  private:
    orx::il::CaptureReplay m_replay;
};

// Replays the captures to their end (ReplayJob, started and waited for).
void Replay(const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
            const ReplayFiles& files);

}  // namespace frhost
