#include <orx/framework/Rpc.h>

#include <condition_variable>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>

#include <orx/framework/Logger.h>
#include <orx/msglib/Codec.h>
#include <orx/msglib/Message.h>

namespace orx::framework {

namespace {

BLLLogger* rpcLogger() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("framework.rpc");
    return logger;
}

using Clock = std::chrono::steady_clock;

struct Outstanding {
    std::string messenger;
    std::string requestName;
    RpcResponseDelegate delegate;
    void* ctx = nullptr;
    std::weak_ptr<IlTransport> transport;  // asked, on a timeout, what it knows of the IL
    Clock::time_point deadline;
    int64_t timeoutMs = 0;
};

// Requests sent by one thread and the responses that arrived for them.
struct ThreadState {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::pair<uint32_t, std::vector<uint8_t>>> responses;
    std::map<uint32_t, Outstanding> outstanding;  // touched by the owning thread only
};

// The text of a failed response: its "faultString" member when it has one.
void FaultOf(const Message& response, int32_t& code, std::string& text) {
    code = RPC_FAULT_FAILED;
    text = "failed response to " + response.get_request_name();
    try {
        if (response.has_member(TMG_MEMBERS, "faultCode")) {
            code = response.get_member_int32(TMG_MEMBERS, "faultCode");
        }
        if (response.has_member(TMG_MEMBERS, "faultString")) {
            text = response.get_member_string(TMG_MEMBERS, "faultString");
        }
    } catch (const Tm_exception&) {
        // A malformed fault description still reports the failure with the default text.
    }
}

}  // namespace

struct CRpcManager::Impl {
    std::mutex mutex;
    std::map<std::thread::id, std::shared_ptr<ThreadState>> threads;
    std::atomic<uint32_t> nextSeq{1};
    std::atomic<int64_t> defaultTimeoutMs{30000};

    std::mutex notifyMutex;
    std::deque<std::vector<uint8_t>> notifications;
    NotificationHandler notificationHandler;

    std::shared_ptr<ThreadState> State() {
        std::lock_guard lock(mutex);
        auto& state = threads[std::this_thread::get_id()];
        if (!state)
            state = std::make_shared<ThreadState>();
        return state;
    }
};

CRpcManager::CRpcManager() : m_impl(std::make_unique<Impl>()) {}
CRpcManager::~CRpcManager() = default;

CRpcManager& CRpcManager::Instance() {
    static CRpcManager instance;
    return instance;
}

void CRpcManager::SetDefaultTimeout(std::chrono::milliseconds timeout) {
    m_impl->defaultTimeoutMs = timeout.count();
}

std::chrono::milliseconds CRpcManager::GetDefaultTimeout() const {
    return std::chrono::milliseconds(m_impl->defaultTimeoutMs.load());
}

int CRpcManager::SendAsyncMessage(Messenger* messenger, Message& message,
                                  RpcResponseDelegate* delegate, void* ctx, uint32_t timeoutMs,
                                  bool flag) {
    (void)flag;
    if (!messenger || !messenger->GetTransport())
        return -1;
    uint32_t seq = m_impl->nextSeq.fetch_add(1);
    message.set_seq_num(seq);
    message.set_destination(messenger->GetDestination());
    std::vector<uint8_t> bytes;
    try {
        msglib::encode(message, bytes);
    } catch (const std::exception& e) {
        if (rpcLogger()->IsEnabledFor(LOG_ERROR)) {
            rpcLogger()->Error("Cannot encode " + message.get_request_name() + ": " + e.what(),
                               __FILE__, __LINE__);
        }
        return -2;
    }
    std::shared_ptr<ThreadState> state = m_impl->State();
    auto timeout =
        std::chrono::milliseconds(timeoutMs ? timeoutMs : m_impl->defaultTimeoutMs.load());
    state->outstanding[seq] = Outstanding{messenger->GetText(),
                                          message.get_request_name(),
                                          delegate ? *delegate : RpcResponseDelegate(),
                                          ctx,
                                          messenger->GetTransport(),
                                          Clock::now() + timeout,
                                          timeout.count()};
    std::weak_ptr<ThreadState> weak = state;
    bool sent =
        messenger->GetTransport()->Send(std::move(bytes), [weak, seq](std::vector<uint8_t> r) {
            if (auto s = weak.lock()) {
                std::lock_guard lock(s->mutex);
                s->responses.emplace_back(seq, std::move(r));
                s->arrived.notify_one();
            }
        });
    if (!sent) {
        state->outstanding.erase(seq);
        return -3;
    }
    if (rpcLogger()->IsEnabledFor(LOG_DEBUG)) {
        rpcLogger()->Debug("Sent " + message.get_request_name() + " #" + std::to_string(seq) +
                               " to " + messenger->GetText(),
                           __FILE__, __LINE__);
    }
    return 0;
}

bool CRpcManager::Wait(std::vector<ErrorMsg>& errors) {
    std::shared_ptr<ThreadState> state = m_impl->State();
    size_t errorsBefore = errors.size();
    while (!state->outstanding.empty()) {
        std::deque<std::pair<uint32_t, std::vector<uint8_t>>> batch;
        {
            std::unique_lock lock(state->mutex);
            Clock::time_point deadline = Clock::time_point::max();
            for (const auto& [seq, o] : state->outstanding)
                deadline = std::min(deadline, o.deadline);
            state->arrived.wait_until(lock, deadline, [&] { return !state->responses.empty(); });
            batch.swap(state->responses);
        }
        // Responses first: one that made it in time is handled even if its deadline just passed.
        for (size_t next = 0; next < batch.size(); ++next) {
            auto& [seq, bytes] = batch[next];
            auto it = state->outstanding.find(seq);
            if (it == state->outstanding.end())
                continue;  // late: already reported as timed out
            Outstanding request = std::move(it->second);
            state->outstanding.erase(it);
            Message response;
            try {
                response = msglib::decode(bytes);
            } catch (const std::exception& e) {
                errors.push_back(
                    ErrorMsg{seq, request.messenger, RPC_FAULT_UNDECODABLE,
                             "Undecodable response to " + request.requestName + ": " + e.what()});
                continue;
            }
            if (!request.delegate.empty()) {
                try {
                    request.delegate(0, &response, request.ctx);
                } catch (...) {
                    // The responses behind this one are off the queue already: put them back
                    // so that the next wait hands them out instead of timing them out.
                    std::lock_guard lock(state->mutex);
                    state->responses.insert(state->responses.begin(),
                                            std::make_move_iterator(batch.begin() + next + 1),
                                            std::make_move_iterator(batch.end()));
                    throw;
                }
            } else if (response.get_msg_type() == TMT_FAILED_RESPONSE) {
                ErrorMsg error{seq, request.messenger, 0, ""};
                FaultOf(response, error.faultCode, error.faultString);
                errors.push_back(std::move(error));
            }
        }
        Clock::time_point now = Clock::now();
        for (auto it = state->outstanding.begin(); it != state->outstanding.end();) {
            if (it->second.deadline <= now) {
                std::string text = "No response to " + it->second.requestName + " within " +
                                   std::to_string(it->second.timeoutMs) + " ms";
                if (auto transport = it->second.transport.lock()) {
                    std::string problem = transport->Problem();
                    if (!problem.empty())
                        text += " (" + problem + ")";
                }
                errors.push_back(
                    ErrorMsg{it->first, it->second.messenger, RPC_FAULT_TIMEOUT, std::move(text)});
                it = state->outstanding.erase(it);
            } else {
                ++it;
            }
        }
    }
    return errors.size() == errorsBefore;
}

bool CRpcManager::SendAndWait(Messenger* messenger, Message& request, Message& response,
                              std::vector<ErrorMsg>& errors, uint32_t timeoutMs) {
    struct Catcher {
        Message* out;
        bool answered = false;
        void On(uint16_t, Message* r, void*) {
            if (r)
                *out = std::move(*r);
            answered = r != nullptr;
        }
    } catcher{&response};
    RpcResponseDelegate delegate(&catcher, &Catcher::On);
    if (SendAsyncMessage(messenger, request, &delegate, nullptr, timeoutMs, true) != 0) {
        errors.push_back(ErrorMsg{request.get_seq_num(), messenger ? messenger->GetText() : "",
                                  RPC_FAULT_TRANSPORT,
                                  "Cannot send " + request.get_request_name()});
        return false;
    }
    return Wait(errors) && catcher.answered;
}

void CRpcManager::SetNotificationHandler(NotificationHandler handler) {
    std::lock_guard lock(m_impl->notifyMutex);
    m_impl->notificationHandler = std::move(handler);
}

size_t CRpcManager::ProcessNotifications() {
    std::deque<std::vector<uint8_t>> batch;
    NotificationHandler handler;
    {
        std::lock_guard lock(m_impl->notifyMutex);
        batch.swap(m_impl->notifications);
        handler = m_impl->notificationHandler;
    }
    size_t delivered = 0;
    for (auto& bytes : batch) {
        try {
            Message message = msglib::decode(bytes);
            if (handler)
                handler(message);
            ++delivered;
        } catch (const std::exception& e) {
            if (rpcLogger()->IsEnabledFor(LOG_ERROR)) {
                rpcLogger()->Error(std::string("Notification dropped: ") + e.what(), __FILE__,
                                   __LINE__);
            }
        }
    }
    return delivered;
}

void CRpcManager::Attach(IlTransport& transport) {
    Impl* impl = m_impl.get();
    transport.SetNotificationCallback([impl](std::vector<uint8_t> bytes) {
        std::lock_guard lock(impl->notifyMutex);
        impl->notifications.push_back(std::move(bytes));
    });
}

}  // namespace orx::framework
