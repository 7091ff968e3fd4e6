#include "orx/transport/ZmqIlTransport.h"

#include <cstring>
#include <stdexcept>
#include <zmq.hpp>

#include "orx/framework/Logger.h"

namespace orx::transport {

using orx::framework::BLLLogger;
using orx::framework::BLLLoggerFactory;
using orx::framework::LOG_DEBUG;
using orx::framework::LOG_ERROR;

namespace {

BLLLogger* Log() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("il.transport.zmq");
    return logger;
}

void Error(const std::string& text) {
    if (Log()->IsEnabledFor(LOG_ERROR))
        Log()->Error(text, __FILE__, __LINE__);
}

}  // namespace

// The sockets: `dealer` and `wakeIn` belong to the I/O thread; `wakeOut` is used under
// m_mutex by Send and the destructor.
struct ZmqIlTransport::Io {
    zmq::context_t context{1};
    zmq::socket_t dealer{context, zmq::socket_type::dealer};
    zmq::socket_t wakeIn{context, zmq::socket_type::pair};
    zmq::socket_t wakeOut{context, zmq::socket_type::pair};
};

ZmqIlTransport::ZmqIlTransport(std::string endpoint)
    : m_endpoint(std::move(endpoint)), m_io(std::make_unique<Io>()) {
    std::string wake = "inproc://wake-" + std::to_string(reinterpret_cast<uintptr_t>(this));
    try {
        m_io->dealer.set(zmq::sockopt::linger, 0);
        m_io->wakeIn.set(zmq::sockopt::linger, 0);
        m_io->wakeOut.set(zmq::sockopt::linger, 0);
        m_io->wakeIn.bind(wake);
        m_io->wakeOut.connect(wake);
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
    std::lock_guard lock(m_mutex);
    if (m_stop)
        return false;
    uint64_t tag = m_nextTag++;
    m_pending.emplace(tag, Pending{std::move(done), std::chrono::steady_clock::now()});
    m_queue.emplace_back(tag, std::move(request));
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

void ZmqIlTransport::Run() {
    zmq::pollitem_t items[] = {{m_io->dealer.handle(), 0, ZMQ_POLLIN, 0},
                               {m_io->wakeIn.handle(), 0, ZMQ_POLLIN, 0}};
    auto lastPrune = std::chrono::steady_clock::now();
    for (;;) {
        try {
            zmq::poll(items, 2, std::chrono::milliseconds(1000));
        } catch (const zmq::error_t& e) {
            if (e.num() != EINTR) {
                Error("poll on " + m_endpoint + " failed: " + e.what());
                return;
            }
        }
        std::deque<std::pair<uint64_t, std::vector<uint8_t>>> outgoing;
        if (items[1].revents & ZMQ_POLLIN) {
            zmq::message_t drop;
            while (m_io->wakeIn.recv(drop, zmq::recv_flags::dontwait)) {
            }
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
            outgoing.swap(m_queue);
        }
        for (auto& [tag, bytes] : outgoing) {
            bool sent = false;
            try {
                if (m_io->dealer.send(zmq::const_buffer(&tag, sizeof tag),
                                      zmq::send_flags::sndmore | zmq::send_flags::dontwait)) {
                    sent = m_io->dealer
                               .send(zmq::const_buffer(bytes.data(), bytes.size()),
                                     zmq::send_flags::dontwait)
                               .has_value();
                }
            } catch (const zmq::error_t& e) {
                Error("cannot send to " + m_endpoint + ": " + e.what());
            }
            if (!sent) {
                // Nothing will answer it: the RPC manager reports it when its timeout ends.
                Error("request " + std::to_string(tag) + " to " + m_endpoint +
                      " not sent (send queue full: the daemon is not reading)");
                std::lock_guard lock(m_mutex);
                m_pending.erase(tag);
            }
        }
        if (items[0].revents & ZMQ_POLLIN) {
            for (;;) {
                std::vector<zmq::message_t> parts;
                try {
                    zmq::message_t part;
                    if (!m_io->dealer.recv(part, zmq::recv_flags::dontwait))
                        break;
                    parts.push_back(std::move(part));
                    while (parts.back().more()) {
                        zmq::message_t next;
                        (void)m_io->dealer.recv(next);
                        parts.push_back(std::move(next));
                    }
                } catch (const zmq::error_t& e) {
                    Error("cannot receive from " + m_endpoint + ": " + e.what());
                    break;
                }
                if (parts.size() != 2 || (parts[0].size() != 0 && parts[0].size() != 8)) {
                    Error("malformed message from " + m_endpoint + " (" +
                          std::to_string(parts.size()) + " parts) dropped");
                    continue;
                }
                const auto* data = static_cast<const uint8_t*>(parts[1].data());
                std::vector<uint8_t> bytes(data, data + parts[1].size());
                try {
                    if (parts[0].size() == 0) {
                        NotificationCallback notify;
                        {
                            std::lock_guard lock(m_mutex);
                            notify = m_notify;
                        }
                        if (notify)
                            notify(std::move(bytes));
                        continue;
                    }
                    uint64_t tag = 0;
                    std::memcpy(&tag, parts[0].data(), sizeof tag);
                    ResponseCallback done;
                    {
                        std::lock_guard lock(m_mutex);
                        auto it = m_pending.find(tag);
                        if (it != m_pending.end()) {
                            done = std::move(it->second.done);
                            m_pending.erase(it);
                        }
                    }
                    if (done) {
                        done(std::move(bytes));
                    } else if (Log()->IsEnabledFor(LOG_DEBUG)) {
                        Log()->Debug("late or unknown response " + std::to_string(tag) + " from " +
                                         m_endpoint + " dropped",
                                     __FILE__, __LINE__);
                    }
                } catch (const std::exception& e) {
                    // A callback that throws must not take the I/O thread down with it.
                    Error(std::string("callback for a message from ") + m_endpoint +
                          " failed: " + e.what());
                }
            }
        }
        auto now = std::chrono::steady_clock::now();
        if (now - lastPrune > std::chrono::seconds(10)) {
            lastPrune = now;
            std::lock_guard lock(m_mutex);
            std::erase_if(m_pending,
                          [now](const auto& p) { return now - p.second.sent > kForgetAfter; });
        }
    }
}

}  // namespace orx::transport
