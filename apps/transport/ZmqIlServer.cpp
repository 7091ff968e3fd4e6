#include <orx/transport/ZmqIlServer.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

#include <orx/framework/Logger.h>
#include <orx/il/IlServer.h>
#include <orx/msglib/Codec.h>
#include <orx/msglib/Message.h>
#include <orx/transport/ZmqEnvelope.h>

namespace orx::transport {

using orx::framework::BLLLogger;
using orx::framework::BLLLoggerFactory;
using orx::framework::LOG_INFO;
using orx::framework::LOG_WARN;

namespace {

// Log lines of the daemon (the "frild" logger).
void Log(int level, const std::string& text) {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("frild");
    logger->Log(level, text, __FILE__, __LINE__);
}

}  // namespace

ZmqIlServer::ZmqIlServer(orx::il::IlServer& il) : m_il(il) {}

ZmqIlServer::~ZmqIlServer() {
    m_il.SetNotificationSink({});
}

std::string ZmqIlServer::Bind(const std::string& endpoint, const ServerSecurity& security) {
    m_router.set(zmq::sockopt::linger, 0);
    // Sends to a peer that has gone fail instead of vanishing, so the peer is forgotten.
    m_router.set(zmq::sockopt::router_mandatory, 1);
    // A host whose machine vanishes without closing the connection is forgotten too.
    m_router.set(zmq::sockopt::heartbeat_ivl, 2000);
    m_router.set(zmq::sockopt::heartbeat_timeout, 6000);
    if (security.Curve()) {
        m_router.set(zmq::sockopt::curve_server, true);
        m_router.set(zmq::sockopt::curve_secretkey, security.server.secretKey);
    }
    if (!security.allowed.empty()) {
        // libzmq asks the handler bound here about every CURVE client of this context.
        m_allowed = security.allowed;
        m_allowDir = security.allowDir;
        m_zap.set(zmq::sockopt::linger, 0);
        m_zap.bind("inproc://zeromq.zap.01");
        m_router.set(zmq::sockopt::zap_domain, "frild");
    }
    try {
        m_router.bind(endpoint);
    } catch (const zmq::error_t& e) {
        throw std::runtime_error("cannot bind " + endpoint + ": " + e.what());
    }
    m_il.SetNotificationSink([this](std::vector<uint8_t> bytes) {
        std::vector<std::string> peers(m_peers.begin(), m_peers.end());
        for (const std::string& peer : peers)
            Send(peer, std::string(), bytes);
    });
    return m_router.get(zmq::sockopt::last_endpoint);
}

void ZmqIlServer::Divert(const std::string& name, Handler handler) {
    m_diverted[name] = std::move(handler);
}

void ZmqIlServer::Serve(const std::atomic<bool>& stop) {
    zmq::pollitem_t items[] = {{m_router.handle(), 0, ZMQ_POLLIN, 0},
                               {m_zap.handle(), 0, ZMQ_POLLIN, 0}};
    const int count = m_allowed.empty() ? 1 : 2;
    while (!stop.load()) {
        int64_t due = m_il.PollNotifications();
        int64_t waitMs = 100;  // also how soon a stop is noticed
        if (due != orx::il::IlServer::kNever)
            waitMs = std::clamp<int64_t>((due - m_il.Now() + 999) / 1000, 0, waitMs);
        if (m_idle)
            waitMs = std::clamp<int64_t>(m_idle(), 0, waitMs);
        try {
            zmq::poll(items, count, std::chrono::milliseconds(waitMs));
        } catch (const zmq::error_t& e) {
            if (e.num() != EINTR)
                throw;
            continue;
        }
        if (count > 1 && (items[1].revents & ZMQ_POLLIN))
            Authenticate();
        if (items[0].revents & ZMQ_POLLIN)
            Receive();
    }
}

// Answers libzmq's ZAP requests (RFC 27): a CURVE client is let in when its public key is one of
// the allowed ones.
void ZmqIlServer::Authenticate() {
    envelope::Parts parts;
    while (envelope::Receive(m_zap, parts)) {
        // [version][request id][domain][address][routing id][mechanism][client key]
        std::string requestId = parts.size() > 1 ? parts[1].to_string() : std::string();
        std::string status = "400", text = "client key not allowed", user;
        if (parts.size() != 7 || parts[0].to_string() != "1.0" || parts[5].to_string() != "CURVE" ||
            parts[6].size() != 32) {
            status = "500";
            text = "unexpected authentication request";
            Log(LOG_WARN,
                "unexpected ZAP request (" + std::to_string(parts.size()) + " parts) refused");
        } else {
            char key[41] = {};
            zmq_z85_encode(key, static_cast<const uint8_t*>(parts[6].data()), 32);
            auto it = m_allowed.find(key);
            if (it != m_allowed.end()) {
                status = "200";
                text = "OK";
                user = it->second;
                Log(LOG_INFO, "host at " + parts[3].to_string() + " let in with " + it->second);
            } else {
                Log(LOG_WARN, "host at " + parts[3].to_string() + " refused: its CURVE key " + key +
                                  " is not in " + m_allowDir);
            }
        }
        for (const std::string& frame : {std::string("1.0"), requestId, status, text, user})
            (void)m_zap.send(zmq::buffer(frame), zmq::send_flags::sndmore);
        (void)m_zap.send(zmq::message_t(), zmq::send_flags::none);
    }
}

void ZmqIlServer::Receive() {
    envelope::Parts parts;
    while (envelope::Receive(m_router, parts)) {
        envelope::FramedRequest request;
        std::string why;
        if (!envelope::ReadRequest(parts, request, why)) {
            Log(LOG_WARN, why);
            continue;
        }
        m_peers.insert(request.peer);
        if (request.message) {
            auto diverted = m_diverted.find(request.message->get_request_name());
            if (diverted != m_diverted.end()) {
                diverted->second(*request.message,
                                 [this, peer = request.peer, tag = request.tag](const Message& m) {
                                     Answer(peer, tag, msglib::encode(m));
                                 });
                continue;
            }
        }
        Answer(request.peer, request.tag,
               request.message ? msglib::encode(m_il.Handle(*request.message))
                               : m_il.HandleEncoded(request.data, request.size));
    }
}

bool ZmqIlServer::Send(const std::string& peer, const std::string& tag,
                       const std::vector<uint8_t>& body) {
    try {
        return envelope::SendToPeer(m_router, peer, tag, body);
    } catch (const zmq::error_t& e) {
        if (e.num() != EHOSTUNREACH)
            throw;
    }
    m_peers.erase(peer);
    return false;
}

void ZmqIlServer::Answer(const std::string& peer, const std::string& tag,
                         const std::vector<uint8_t>& body) {
    if (!Send(peer, tag, body))
        Log(LOG_WARN, "response dropped: its peer has gone or does not read");
}

}  // namespace orx::transport
