#pragma once

// The host's transport to a software test port served by frild over ZeroMQ. A DEALER socket
// lives on an I/O thread of its own: Send only queues the request and wakes that thread, which
// sends it, matches each response to its callback and hands notifications to the notification
// callback. Nothing here waits for the daemon: a daemon that is down, dies or never answers
// leaves requests outstanding, and the host's RPC manager turns them into timeout faults.
//
// The wire is ZmqEnvelope.h's; frild sends notifications to every peer that has sent it a
// request.
//
// Reconnection: requests go out only on a connection whose handshake has completed
// (ZMQ_IMMEDIATE); until then they wait here, and one that could not go out within its time is
// dropped, so that a daemon started later never acts on a request the host has given up on. A
// connection that breaks takes its unsent messages with it. Tags are never reused by one
// transport, so an answer from a daemon that has since been replaced matches no new request.

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <orx/framework/Rpc.h>
#include <orx/transport/CurveKeys.h>

namespace orx::transport {

struct ZmqIlOptions {
    // The daemon's CURVE public key (Z85); empty: no CURVE.
    std::string serverKey;
    // This host's CURVE key pair; empty: a fresh pair for this connection.
    CurveKeyPair clientKey;
    // How long a request may wait for a connection; 0: the RPC manager's default timeout.
    std::chrono::milliseconds sendWithin{0};
};

class ZmqIlTransport final : public orx::framework::IlTransport {
  public:
    // A request whose response has not come after this long is forgotten (its callback is
    // never called; the RPC manager has long reported it as timed out).
    static constexpr std::chrono::seconds kForgetAfter{600};

    using Options = ZmqIlOptions;

    // Connects (ZeroMQ connects lazily, so a daemon that is not up yet is fine). Raises
    // std::runtime_error naming the endpoint when it is malformed, or what is wrong with a key.
    explicit ZmqIlTransport(std::string endpoint, Options options = {});
    // Stops the I/O thread; callbacks of outstanding requests are not called.
    ~ZmqIlTransport() override;

    bool Send(std::vector<uint8_t> request, ResponseCallback done) override;
    void SetNotificationCallback(NotificationCallback callback) override;
    std::string Describe() const override { return m_endpoint; }
    // Why requests are not being answered now: no connection yet, connection lost, CURVE
    // handshake failed; empty once a handshake has succeeded.
    std::string Problem() const override;

    // Requests sent and not yet answered (or forgotten).
    size_t Outstanding() const;

  private:
    struct Io;
    struct Outgoing {
        uint64_t tag;
        std::vector<uint8_t> bytes;
        std::chrono::steady_clock::time_point sendBy;
    };
    void Run();
    // Sends what it can of `unsent`, in order; drops the requests whose time has passed.
    void SendQueued(std::deque<Outgoing>& unsent);
    void ReceiveAll();
    void OnMonitorEvent(uint16_t event, uint32_t value);

    std::string m_endpoint;
    bool m_curve = false;
    std::chrono::milliseconds m_sendWithin;
    std::unique_ptr<Io> m_io;
    mutable std::mutex m_mutex;
    std::deque<Outgoing> m_queue;
    // Connection state, from the socket monitor's events.
    enum class Link { Never, Connecting, Ready, Lost } m_link = Link::Never;
    std::string m_handshakeProblem;  // why the last handshake failed; cleared when one succeeds
    bool m_failedHandshake = false;  // the current connection's failure is known already
    struct Pending {
        ResponseCallback done;
        std::chrono::steady_clock::time_point sent;
    };
    std::map<uint64_t, Pending> m_pending;
    NotificationCallback m_notify;
    uint64_t m_nextTag = 1;
    bool m_stop = false;
    std::thread m_thread;  // last: starts once the members above exist
};

}  // namespace orx::transport
