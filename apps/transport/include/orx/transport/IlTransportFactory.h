#pragma once

// The one road from an endpoint description to a transport the host's RPC manager can use.

#include <cstdint>
#include <memory>
#include <vector>

#include <orx/framework/Rpc.h>
#include <orx/transport/CurveKeys.h>
#include <orx/transport/IlEndpoint.h>

namespace orx::il {
class IlServer;
}

namespace orx::transport {

struct IlConnection {
    std::shared_ptr<orx::il::IlServer> il;  // the software test port of an in-process IL
    std::shared_ptr<orx::framework::IlTransport> transport;
};

// An in-process software test port serving `ports`, or the frild daemon the endpoint names,
// through CURVE when it has a serverKey, with `clientKey` as this host's key pair (empty: a
// fresh pair). Raises std::runtime_error saying what is wrong with the endpoint.
IlConnection MakeIlTransport(const IlEndpoint& endpoint, const std::vector<uint16_t>& ports,
                             const CurveKeyPair& clientKey = {});

}  // namespace orx::transport
