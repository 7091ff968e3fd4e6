#pragma once

#include <map>
#include <string>

#include <orx/transport/CurveKeys.h>
#include "Replay.h"

namespace frhost {

// `frhost run`: the main job.
struct RunOptions {
    std::string scenario;
    ReplayFiles files;                             // --rx (inputs) and --tx (outputs)
    std::map<std::string, std::string> ifaces;     // --iface: port name -> interface name
    std::map<std::string, size_t> captureBuffers;  // --capture-buffer: port name -> bytes
    double durationS = -1;                         // --duration; negative: not given
    unsigned intervalMs = 1000;                    // --interval
    std::string results;                           // --results FILE.json|FILE.csv
    std::string resultsDb;                         // --results-db FILE
    bool quiet = false;                            // --quiet
    orx::transport::CurveKeyPair clientKey;        // --curve-key; empty: a fresh key per connection
};

// Loads, validates, applies, subscribes the results over the project, starts the responders
// through the protocol module, feeds the traffic and shows the counters while it runs; at the
// end (replays done and --duration passed, or SIGINT/SIGTERM) stops through the protocol,
// refreshes and saves the results; a live port that lost frames says so in the final line.
// Returns the program's exit status: 0, 1 (validation,
// apply, start or traffic failed), 2 (scenario or file unusable), 130 (ended by a second signal).
int RunCommand(const RunOptions& options);

}  // namespace frhost
