#include <orx/transport/IlTransportFactory.h>

#include <stdexcept>

#include <orx/il/IlServer.h>
#include <orx/transport/InProcIlTransport.h>
#include <orx/transport/ZmqIlTransport.h>

namespace orx::transport {

IlConnection MakeIlTransport(const IlEndpoint& endpoint, const std::vector<uint16_t>& ports,
                             const CurveKeyPair& clientKey) {
    if (std::string why = CheckIlEndpoint(endpoint); !why.empty())
        throw std::runtime_error("IL endpoint \"" + endpoint.address + "\": " + why);
    IlConnection connection;
    if (endpoint.IsInProc()) {
        connection.il = std::make_shared<orx::il::IlServer>(ports);
        connection.transport = std::make_shared<InProcIlTransport>(connection.il);
        return connection;
    }
    ZmqIlTransport::Options options;
    options.serverKey = endpoint.serverKey;
    options.clientKey = clientKey;
    connection.transport = std::make_shared<ZmqIlTransport>(endpoint.address, options);
    return connection;
}

}  // namespace orx::transport
