#pragma once

// The host's transport to a software test port in the same process. The IL runs on a thread of
// its own: Send only queues the request, the IL thread answers it and calls the callback, and
// sends the notifications of its subscriptions when they are due.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include <orx/framework/Rpc.h>
#include <orx/il/IlServer.h>

namespace orx::transport {

class InProcIlTransport final : public orx::framework::IlTransport {
  public:
    // The IL is shared so that frame drivers (a replay, live interfaces) can reach its ports.
    explicit InProcIlTransport(std::shared_ptr<orx::il::IlServer> il);
    // Stops the IL thread; requests still queued are dropped without their callbacks.
    ~InProcIlTransport() override;

    bool Send(std::vector<uint8_t> request, ResponseCallback done) override;
    void SetNotificationCallback(NotificationCallback callback) override;
    std::string Describe() const override { return "inproc"; }

    const std::shared_ptr<orx::il::IlServer>& Il() const { return m_il; }

  private:
    void Run();

    std::shared_ptr<orx::il::IlServer> m_il;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<std::vector<uint8_t>, ResponseCallback>> m_requests;
    NotificationCallback m_notify;
    bool m_stop = false;
    std::thread m_thread;  // last: starts once the members above exist
};

}  // namespace orx::transport
