#include <orx/transport/InProcIlTransport.h>

#include <chrono>

#include <orx/framework/Logger.h>

namespace orx::transport {

using orx::framework::BLLLogger;
using orx::framework::BLLLoggerFactory;

namespace {

BLLLogger* Log() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("il.transport.inproc");
    return logger;
}

}  // namespace

InProcIlTransport::InProcIlTransport(std::shared_ptr<orx::il::IlServer> il) : m_il(std::move(il)) {
    m_il->SetNotificationSink([this](std::vector<uint8_t> bytes) {
        NotificationCallback notify;
        {
            std::lock_guard lock(m_mutex);
            notify = m_notify;
        }
        if (notify)
            notify(std::move(bytes));
    });
    m_thread = std::thread([this] { Run(); });
}

InProcIlTransport::~InProcIlTransport() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    m_il->SetNotificationSink({});
}

bool InProcIlTransport::Send(std::vector<uint8_t> request, ResponseCallback done) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stop)
            return false;
        m_requests.emplace_back(std::move(request), std::move(done));
    }
    m_wake.notify_one();
    return true;
}

void InProcIlTransport::SetNotificationCallback(NotificationCallback callback) {
    std::lock_guard lock(m_mutex);
    m_notify = std::move(callback);
}

void InProcIlTransport::Run() {
    int64_t nextDue = orx::il::IlServer::kNever;
    for (;;) {
        std::pair<std::vector<uint8_t>, ResponseCallback> job;
        bool haveJob = false;
        {
            std::unique_lock lock(m_mutex);
            auto ready = [this] { return m_stop || !m_requests.empty(); };
            if (nextDue == orx::il::IlServer::kNever) {
                m_wake.wait(lock, ready);
            } else {
                int64_t waitUs = std::max<int64_t>(0, nextDue - m_il->Now());
                m_wake.wait_for(lock, std::chrono::microseconds(waitUs), ready);
            }
            if (m_stop)
                return;
            if (!m_requests.empty()) {
                job = std::move(m_requests.front());
                m_requests.pop_front();
                haveJob = true;
            }
        }
        if (haveJob) {
            std::vector<uint8_t> response = m_il->HandleEncoded(job.first.data(), job.first.size());
            try {
                if (job.second)
                    job.second(std::move(response));
            } catch (const std::exception& e) {
                // A callback that throws must not take the IL thread down with it.
                if (Log()->IsEnabledFor(orx::framework::LOG_ERROR)) {
                    Log()->Error(std::string("response callback failed: ") + e.what(), __FILE__,
                                 __LINE__);
                }
            }
        }
        // Notifications run after every request too: a new subscription sets the next due time.
        nextDue = m_il->PollNotifications();
    }
}

}  // namespace orx::transport
