#pragma once

// The host's transport to a software test port served by frild over ZeroMQ. A DEALER socket
// lives on an I/O thread of its own: Send only queues the request and wakes that thread, which
// sends it, matches each response to its callback and hands notifications to the notification
// callback. Nothing here waits for the daemon: a daemon that is down, dies or never answers
// leaves requests outstanding, and the host's RPC manager turns them into timeout faults.
//
// Wire (multipart ZeroMQ messages, DEALER <-> frild's ROUTER):
//   request  host -> IL: [tag (8 bytes, the transport's request id)][encoded request]
//   response IL -> host: [same tag][encoded response]
//   notification IL -> host: [empty frame][encoded message]
// frild sends notifications to every peer that has sent it a request.

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "orx/framework/Rpc.h"

namespace orx::transport {

class ZmqIlTransport final : public orx::framework::IlTransport {
  public:
    // A request whose response has not come after this long is forgotten (its callback is
    // never called; the RPC manager has long reported it as timed out).
    static constexpr std::chrono::seconds kForgetAfter{600};

    // Connects (ZeroMQ connects lazily, so a daemon that is not up yet is fine). Raises
    // std::runtime_error naming the endpoint when it is malformed.
    explicit ZmqIlTransport(std::string endpoint);
    // Stops the I/O thread; callbacks of outstanding requests are not called.
    ~ZmqIlTransport() override;

    bool Send(std::vector<uint8_t> request, ResponseCallback done) override;
    void SetNotificationCallback(NotificationCallback callback) override;
    std::string Describe() const override { return m_endpoint; }

    // Requests sent and not yet answered (or forgotten).
    size_t Outstanding() const;

  private:
    struct Io;
    void Run();

    std::string m_endpoint;
    std::unique_ptr<Io> m_io;
    mutable std::mutex m_mutex;
    std::deque<std::pair<uint64_t, std::vector<uint8_t>>> m_queue;
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
