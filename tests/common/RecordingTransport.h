#pragma once

// Sits in front of a test port's transport and records what crosses it: the name of each
// request sent, and how many notifications came back.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <orx/framework/Rpc.h>
#include <orx/msglib/Codec.h>

namespace testsupport {

class RecordingTransport : public orx::framework::IlTransport {
  public:
    explicit RecordingTransport(std::shared_ptr<IlTransport> inner) : m_inner(std::move(inner)) {}

    bool Send(std::vector<uint8_t> request, ResponseCallback done) override {
        {
            std::lock_guard lock(m_mutex);
            m_names.push_back(msglib::decode(request).get_request_name());
        }
        ++sent;
        return m_inner->Send(std::move(request), std::move(done));
    }
    void SetNotificationCallback(NotificationCallback callback) override {
        m_inner->SetNotificationCallback([this, callback](std::vector<uint8_t> bytes) {
            ++notifications;
            if (callback)
                callback(std::move(bytes));
        });
    }
    std::string Describe() const override { return m_inner->Describe(); }

    std::vector<std::string> Names() const {
        std::lock_guard lock(m_mutex);
        return m_names;
    }

    std::atomic<int> sent{0};
    std::atomic<int> notifications{0};

  private:
    std::shared_ptr<IlTransport> m_inner;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_names;
};

}  // namespace testsupport
