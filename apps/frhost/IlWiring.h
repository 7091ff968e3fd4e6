#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <orx/framework/Rpc.h>
#include <orx/scenario/ScenarioBuilder.h>
#include <orx/transport/CurveKeys.h>

namespace orx::il {
class IlServer;
}

namespace frhost {

// The IL serving one test module of a scenario.
struct ModuleIl {
    std::string name;
    orx::framework::Handle module = orx::framework::NULL_HANDLE;
    std::string endpoint;                   // "inproc" or the frild endpoint
    std::vector<uint16_t> ports;            // port indices on the module, ascending
    std::shared_ptr<orx::il::IlServer> il;  // in-process ILs only
    std::shared_ptr<orx::framework::IlTransport> transport;
};

// Gives every module of the scenario its IL: an in-process software test port serving the
// module's ports, or the frild daemon its "il" names, through CURVE when the "il" has a
// serverKey, with `clientKey` as this host's key pair (empty: a fresh pair per connection).
// Raises std::runtime_error naming the module when an IL cannot be reached.
std::vector<ModuleIl> ConnectIls(const orx::scenario::Scenario& scenario,
                                 const orx::transport::CurveKeyPair& clientKey = {});

}  // namespace frhost

namespace frhost {

// Prints what every port of every IL holds: its responders (handle, filter, running), their
// profiles and counters, and how each port dispatches frames to its running responders.
void ShowIls(const std::vector<ModuleIl>& ils, std::ostream& out);

}  // namespace frhost
