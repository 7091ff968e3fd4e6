#pragma once

// The daemon's end of the ZeroMQ transport: serves one software test port on a ROUTER socket.
// Requests are answered by the IL (or by a handler a request name is diverted to), responses go
// back to the peer that asked, and the IL's notifications go to every peer that has sent a
// request. CURVE clients can be checked against an allow-list through ZAP. Everything runs on
// the thread that calls Serve; tests run it in process.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <zmq.hpp>

#include <orx/transport/CurveKeys.h>

class Message;

namespace orx::il {
class IlServer;
}

namespace orx::transport {

// How the endpoint is secured: CURVE with the daemon's key pair (none: no CURVE), and the client
// keys let in when there is an allow-list (none: any client that knows the daemon's public key).
struct ServerSecurity {
    CurveKeyPair server;
    std::map<std::string, std::string> allowed;  // Z85 public key -> the file it came from
    std::string allowDir;
    bool Curve() const { return !server.Empty(); }
};

class ZmqIlServer {
  public:
    // Answers a diverted request; call it once, on Serve's thread, at once or later.
    using Reply = std::function<void(const Message& response)>;
    using Handler = std::function<void(const Message& request, Reply reply)>;

    explicit ZmqIlServer(orx::il::IlServer& il);
    ~ZmqIlServer();
    ZmqIlServer(const ZmqIlServer&) = delete;
    ZmqIlServer& operator=(const ZmqIlServer&) = delete;

    // Binds and returns the endpoint bound (with the port the system picked for port 0). Raises
    // std::runtime_error naming the endpoint when it cannot be bound.
    std::string Bind(const std::string& endpoint, const ServerSecurity& security = {});
    // Requests named `name` go to `handler` instead of the IL.
    void Divert(const std::string& name, Handler handler);
    // Called on every turn of the loop; returns how many milliseconds the loop may wait at most
    // before it is called again.
    void SetIdle(std::function<int64_t()> idle) { m_idle = std::move(idle); }
    // Serves until `stop` is set (looked at every 100 ms at least).
    void Serve(const std::atomic<bool>& stop);

  private:
    void Authenticate();
    void Receive();
    // False when the peer has gone (it is then forgotten) or does not read (queue full).
    bool Send(const std::string& peer, const std::string& tag, const std::vector<uint8_t>& body);
    void Answer(const std::string& peer, const std::string& tag, const std::vector<uint8_t>& body);

    orx::il::IlServer& m_il;
    std::map<std::string, Handler> m_diverted;
    std::function<int64_t()> m_idle;
    zmq::context_t m_context{1};
    zmq::socket_t m_router{m_context, zmq::socket_type::router};
    zmq::socket_t m_zap{m_context, zmq::socket_type::rep};
    std::map<std::string, std::string> m_allowed;
    std::string m_allowDir;
    std::set<std::string> m_peers;
};

}  // namespace orx::transport
