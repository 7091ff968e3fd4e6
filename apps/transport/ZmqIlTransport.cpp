#include <orx/transport/ZmqIlTransport.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <zmq.hpp>

#include <orx/framework/Logger.h>
#include <orx/transport/IlEndpoint.h>
#include <orx/transport/ZmqEnvelope.h>

namespace orx::transport {

using orx::framework::LOG_DEBUG;
using orx::framework::LOG_ERROR;

namespace {

// The transport's log lines (the "il.transport.zmq" logger).
void Log(int level, const std::string& text) {
    static auto* logger =
        orx::framework::BLLLoggerFactory::GetInstance()->GetLogger("il.transport.zmq");
    logger->Log(level, text, __FILE__, __LINE__);
}

void Error(const std::string& text) {
    Log(LOG_ERROR, text);
}

}  // namespace

// The sockets: `dealer`, `wakeIn` and `monitor` belong to the I/O thread; `wakeOut` is used
// under m_mutex by Send and the destructor. The context goes last.
struct ZmqIlTransport::Io {
    zmq::context_t context{1};
    zmq::socket_t dealer{context, zmq::socket_type::dealer};
    zmq::socket_t wakeIn{context, zmq::socket_type::pair};
    zmq::socket_t wakeOut{context, zmq::socket_type::pair};
    zmq::socket_t monitor{context, zmq::socket_type::pair};
};

ZmqIlTransport::ZmqIlTransport(std::string endpoint, Options options)
    : m_endpoint(std::move(endpoint)),
      m_curve(!options.serverKey.empty()),
      m_sendWithin(options.sendWithin),
      m_io(std::make_unique<Io>()) {
    if (m_curve) {
        std::string why = CheckCurveKey(options.serverKey);
        if (!why.empty())
            throw std::runtime_error("server key of IL endpoint \"" + m_endpoint + "\": " + why);
        RequireCurve("CURVE to IL endpoint \"" + m_endpoint + "\"");
        if (options.clientKey.Empty())
            options.clientKey = NewCurveKeyPair();
    }
    std::string id = std::to_string(reinterpret_cast<uintptr_t>(this));
    try {
        m_io->dealer.set(zmq::sockopt::linger, 0);
        // Requests go only to a connection whose handshake has completed; until then (and after
        // it breaks) they wait in the I/O thread's queue, where their time is kept.
        m_io->dealer.set(zmq::sockopt::immediate, true);
        // A daemon whose machine vanishes without closing the connection is noticed too.
        m_io->dealer.set(zmq::sockopt::heartbeat_ivl, 2000);
        m_io->dealer.set(zmq::sockopt::heartbeat_timeout, 6000);
        if (m_curve) {
            m_io->dealer.set(zmq::sockopt::curve_serverkey, options.serverKey);
            m_io->dealer.set(zmq::sockopt::curve_publickey, options.clientKey.publicKey);
            m_io->dealer.set(zmq::sockopt::curve_secretkey, options.clientKey.secretKey);
        }
        m_io->wakeIn.set(zmq::sockopt::linger, 0);
        m_io->wakeOut.set(zmq::sockopt::linger, 0);
        m_io->monitor.set(zmq::sockopt::linger, 0);
        m_io->wakeIn.bind("inproc://wake-" + id);
        m_io->wakeOut.connect("inproc://wake-" + id);
        std::string monitor = "inproc://monitor-" + id;
        if (zmq_socket_monitor(
                m_io->dealer.handle(), monitor.c_str(),
                ZMQ_EVENT_CONNECTED | ZMQ_EVENT_DISCONNECTED | ZMQ_EVENT_HANDSHAKE_SUCCEEDED |
                    ZMQ_EVENT_HANDSHAKE_FAILED_NO_DETAIL | ZMQ_EVENT_HANDSHAKE_FAILED_PROTOCOL |
                    ZMQ_EVENT_HANDSHAKE_FAILED_AUTH) != 0) {
            throw zmq::error_t();
        }
        m_io->monitor.connect(monitor);
        m_io->dealer.connect(m_endpoint);
    } catch (const zmq::error_t& e) {
        throw std::runtime_error("cannot connect to IL endpoint \"" + m_endpoint +
                                 "\": " + e.what());
    }
    m_thread = std::thread([this] { Run(); });
}

ZmqIlTransport::~ZmqIlTransport() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        try {
            (void)m_io->wakeOut.send(zmq::str_buffer("x"), zmq::send_flags::dontwait);
        } catch (const zmq::error_t&) {
        }
    }
    m_thread.join();
}

bool ZmqIlTransport::Send(std::vector<uint8_t> request, ResponseCallback done) {
    auto now = std::chrono::steady_clock::now();
    auto within = m_sendWithin.count() > 0
                      ? m_sendWithin
                      : orx::framework::CRpcManager::Instance().GetDefaultTimeout();
    std::lock_guard lock(m_mutex);
    if (m_stop)
        return false;
    uint64_t tag = m_nextTag++;
    m_pending.emplace(tag, Pending{std::move(done), now});
    m_queue.push_back(Outgoing{tag, std::move(request), now + within});
    // A full wake pipe means the I/O thread has wake-ups waiting already.
    try {
        (void)m_io->wakeOut.send(zmq::str_buffer("w"), zmq::send_flags::dontwait);
    } catch (const zmq::error_t&) {
    }
    return true;
}

void ZmqIlTransport::SetNotificationCallback(NotificationCallback callback) {
    std::lock_guard lock(m_mutex);
    m_notify = std::move(callback);
}

size_t ZmqIlTransport::Outstanding() const {
    std::lock_guard lock(m_mutex);
    return m_pending.size();
}

std::string ZmqIlTransport::Problem() const {
    std::lock_guard lock(m_mutex);
    if (m_link == Link::Ready)
        return "";
    if (!m_handshakeProblem.empty())
        return m_handshakeProblem;
    switch (m_link) {
        case Link::Never:
            return "no connection: nothing accepts connections at " + m_endpoint;
        case Link::Connecting:
            return "connected to " + m_endpoint + " but the handshake has not completed";
        default:
            return "the connection to " + m_endpoint + " was lost; reconnecting";
    }
}

void ZmqIlTransport::OnMonitorEvent(uint16_t event, uint32_t value) {
    std::lock_guard lock(m_mutex);
    const std::string at = "frild at " + m_endpoint;
    switch (event) {
        case ZMQ_EVENT_CONNECTED:
            m_link = Link::Connecting;
            m_failedHandshake = false;
            break;
        case ZMQ_EVENT_HANDSHAKE_SUCCEEDED:
            m_link = Link::Ready;
            m_handshakeProblem.clear();
            break;
        case ZMQ_EVENT_HANDSHAKE_FAILED_AUTH:
            m_handshakeProblem =
                value == 400
                    ? at + " refused this host's CURVE key: it is not in frild's "
                           "--curve-allow directory"
                    : at + " refused this host with authentication status " + std::to_string(value);
            m_failedHandshake = true;
            break;
        case ZMQ_EVENT_HANDSHAKE_FAILED_PROTOCOL:
            if (value == ZMQ_PROTOCOL_ERROR_ZMTP_MECHANISM_MISMATCH) {
                m_handshakeProblem =
                    m_curve ? at + " does not use CURVE, but the module's \"il\" has a serverKey"
                            : at + " requires CURVE: the module's \"il\" needs its serverKey";
            } else if (value == ZMQ_PROTOCOL_ERROR_ZMTP_CRYPTOGRAPHIC) {
                m_handshakeProblem = "the CURVE handshake with " + at +
                                     " failed: is the module's serverKey frild's public key?";
            } else {
                char code[16];
                std::snprintf(code, sizeof code, "0x%08x", value);
                m_handshakeProblem =
                    "the handshake with " + at + " failed with ZeroMQ protocol error " + code;
            }
            m_failedHandshake = true;
            break;
        case ZMQ_EVENT_HANDSHAKE_FAILED_NO_DETAIL:
        case ZMQ_EVENT_DISCONNECTED:
            if (m_link == Link::Ready) {
                m_link = Link::Lost;
            } else if (!m_failedHandshake) {
                // A CURVE server drops a client whose hello it cannot read without a word; a
                // mismatch of mechanisms is reported as such, so this is the likely cause.
                m_handshakeProblem = m_curve ? at + " closed the connection during the CURVE "
                                                    "handshake: is the module's serverKey frild's "
                                                    "public key?"
                                             : at + " closed the connection before the handshake "
                                                    "completed";
                m_failedHandshake = true;
            }
            break;
        default:
            break;
    }
}

void ZmqIlTransport::Run() {
    std::deque<Outgoing> unsent;  // in the order sent; the I/O thread's own
    auto lastPrune = std::chrono::steady_clock::now();
    for (;;) {
        zmq::pollitem_t items[] = {
            {m_io->dealer.handle(), 0,
             static_cast<short>(ZMQ_POLLIN | (unsent.empty() ? 0 : ZMQ_POLLOUT)), 0},
            {m_io->wakeIn.handle(), 0, ZMQ_POLLIN, 0},
            {m_io->monitor.handle(), 0, ZMQ_POLLIN, 0}};
        // Waiting requests are looked at often enough to be dropped close to their time.
        auto waitMs = std::chrono::milliseconds(unsent.empty() ? 1000 : 50);
        try {
            zmq::poll(items, 3, waitMs);
        } catch (const zmq::error_t& e) {
            if (e.num() != EINTR) {
                Error("poll on " + m_endpoint + " failed: " + e.what());
                return;
            }
        }
        if (items[1].revents & ZMQ_POLLIN) {
            zmq::message_t drop;
            while (m_io->wakeIn.recv(drop, zmq::recv_flags::dontwait)) {
            }
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
            while (!m_queue.empty()) {
                unsent.push_back(std::move(m_queue.front()));
                m_queue.pop_front();
            }
        }
        if (items[2].revents & ZMQ_POLLIN) {
            for (;;) {
                zmq::message_t event, address;
                if (!m_io->monitor.recv(event, zmq::recv_flags::dontwait))
                    break;
                if (event.more())
                    (void)m_io->monitor.recv(address);
                if (event.size() < 6)
                    continue;
                uint16_t id = 0;
                uint32_t value = 0;
                std::memcpy(&id, event.data(), sizeof id);
                std::memcpy(&value, static_cast<const char*>(event.data()) + 2, sizeof value);
                OnMonitorEvent(id, value);
            }
        }
        if (!unsent.empty())
            SendQueued(unsent);
        if (items[0].revents & ZMQ_POLLIN)
            ReceiveAll();
        auto now = std::chrono::steady_clock::now();
        if (now - lastPrune > std::chrono::seconds(10)) {
            lastPrune = now;
            std::lock_guard lock(m_mutex);
            std::erase_if(m_pending,
                          [now](const auto& p) { return now - p.second.sent > kForgetAfter; });
        }
    }
}

void ZmqIlTransport::SendQueued(std::deque<Outgoing>& unsent) {
    auto now = std::chrono::steady_clock::now();
    std::vector<uint64_t> dropped;
    std::erase_if(unsent, [&](const Outgoing& o) {
        if (o.sendBy > now)
            return false;
        dropped.push_back(o.tag);
        return true;
    });
    while (!unsent.empty()) {
        Outgoing& o = unsent.front();
        bool sent = false;
        try {
            sent = envelope::SendRequest(m_io->dealer, o.tag, o.bytes);
        } catch (const zmq::error_t& e) {
            Error("cannot send to " + m_endpoint + ": " + e.what());
            dropped.push_back(o.tag);
            sent = true;  // dropped: it would fail again
        }
        if (!sent)
            break;  // no connection ready, or its queue is full: wait for the socket
        unsent.pop_front();
    }
    if (dropped.empty())
        return;
    std::string problem = Problem();
    std::lock_guard lock(m_mutex);
    for (uint64_t tag : dropped) {
        // Nothing will answer it: the RPC manager reports it when its timeout ends.
        m_pending.erase(tag);
        Error(
            "request " + std::to_string(tag) + " to " + m_endpoint + " dropped, not sent in time" +
            (problem.empty() ? std::string(" (the daemon is not reading)") : " (" + problem + ")"));
    }
}

void ZmqIlTransport::ReceiveAll() {
    envelope::Parts parts;
    envelope::Incoming incoming;
    for (;;) {
        try {
            if (!envelope::Receive(m_io->dealer, parts))
                break;
        } catch (const zmq::error_t& e) {
            Error("cannot receive from " + m_endpoint + ": " + e.what());
            break;
        }
        std::string why;
        if (!envelope::ReadIncoming(parts, incoming, why)) {
            Error(why + " from " + m_endpoint);
            continue;
        }
        try {
            if (incoming.notification) {
                NotificationCallback notify;
                {
                    std::lock_guard lock(m_mutex);
                    notify = m_notify;
                }
                if (notify)
                    notify(std::move(incoming.bytes));
                continue;
            }
            ResponseCallback done;
            {
                std::lock_guard lock(m_mutex);
                auto it = m_pending.find(incoming.tag);
                if (it != m_pending.end()) {
                    done = std::move(it->second.done);
                    m_pending.erase(it);
                }
            }
            if (done) {
                done(std::move(incoming.bytes));
            } else {
                Log(LOG_DEBUG, "late or unknown response " + std::to_string(incoming.tag) +
                                   " from " + m_endpoint + " dropped");
            }
        } catch (const std::exception& e) {
            // A callback that throws must not take the I/O thread down with it.
            Error(std::string("callback for a message from ") + m_endpoint +
                  " failed: " + e.what());
        }
    }
}

}  // namespace orx::transport
