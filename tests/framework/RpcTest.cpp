#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <orx/framework/Rpc.h>
#include <orx/msglib/Codec.h>
#include <orx/msglib/Message.h>

using namespace orx::framework;
using namespace std::chrono_literals;

namespace {

// An IL stand-in on its own thread. It answers by the request's name: "Fail" with a failed
// response (faultCode/faultString), "Silent" never, "Garbage" with bytes that do not decode,
// anything else with a response carrying "value" + 1. While held, it answers nothing.
class LoopbackTransport : public IlTransport {
  public:
    LoopbackTransport() : m_thread([this] { Run(); }) {}
    ~LoopbackTransport() override {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

    bool Send(std::vector<uint8_t> request, ResponseCallback done) override {
        std::lock_guard lock(m_mutex);
        if (m_refuse)
            return false;
        m_queue.emplace_back(std::move(request), std::move(done));
        m_cv.notify_all();
        return true;
    }
    void SetNotificationCallback(NotificationCallback) override {}
    std::string Describe() const override { return "loopback"; }

    void Hold(bool hold) {
        {
            std::lock_guard lock(m_mutex);
            m_hold = hold;
        }
        m_cv.notify_all();
    }
    void Refuse(bool refuse) {
        std::lock_guard lock(m_mutex);
        m_refuse = refuse;
    }
    int Answered() const { return m_answered.load(); }
    std::thread::id ThreadId() const { return m_thread.get_id(); }

  private:
    void Run() {
        std::unique_lock lock(m_mutex);
        while (true) {
            m_cv.wait(lock, [&] { return m_stop || (!m_hold && !m_queue.empty()); });
            if (m_stop)
                return;
            auto [bytes, done] = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            Answer(bytes, done);
            lock.lock();
        }
    }

    void Answer(const std::vector<uint8_t>& bytes, const ResponseCallback& done) {
        Message request = msglib::decode(bytes);
        const std::string& name = request.get_request_name();
        if (name == "Silent")
            return;
        ++m_answered;
        if (name == "Garbage") {
            done({0x54, 0x4d, 0x53, 0x47, 0xff});
            return;
        }
        Message response;
        response.set_request_name(name);
        response.set_seq_num(request.get_seq_num());
        if (name == "Fail") {
            response.set_msg_type(TMT_FAILED_RESPONSE);
            response.add_member(TMG_MEMBERS, "faultCode", int32_t{17});
            response.add_member(TMG_MEMBERS, "faultString",
                                "port " + std::to_string(request.get_destination()) + " refused");
        } else {
            response.set_msg_type(TMT_RESPONSE);
            int32_t value = request.has_member(TMG_MEMBERS, "value")
                                ? request.get_member_int32(TMG_MEMBERS, "value")
                                : 0;
            response.add_member(TMG_MEMBERS, "value", value + 1);
        }
        done(msglib::encode(response));
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::pair<std::vector<uint8_t>, ResponseCallback>> m_queue;
    bool m_stop = false;
    bool m_hold = false;
    bool m_refuse = false;
    std::atomic<int> m_answered{0};
    std::thread m_thread;  // last: starts once the members above exist
};

Message Request(const std::string& name, int32_t value = 0) {
    Message m;
    m.set_msg_type(TMT_REQUEST);
    m.set_request_name(name);
    m.add_member(TMG_MEMBERS, "value", value);
    return m;
}

struct Received {
    std::thread::id thread;
    int type;
    int32_t value;
    void* ctx;
};

class RpcTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedTimeout = CRpcManager::Instance().GetDefaultTimeout();
        transport = std::make_shared<LoopbackTransport>();
        messenger = std::make_unique<Messenger>(transport, 2, "//10.0.0.1/1/3");
    }
    void TearDown() override {
        std::vector<ErrorMsg> errors;
        CRpcManager::Instance().SetDefaultTimeout(200ms);
        CRpcManager::Instance().Wait(errors);  // nothing is left behind for the next test
        CRpcManager::Instance().SetDefaultTimeout(savedTimeout);
        transport->Hold(false);
        messenger.reset();
        transport.reset();
    }

    void OnResponse(uint16_t status, Message* response, void* ctx) {
        EXPECT_EQ(status, 0);
        ASSERT_NE(response, nullptr);
        int32_t value = response->has_member(TMG_MEMBERS, "value")
                            ? response->get_member_int32(TMG_MEMBERS, "value")
                            : -1;
        received.push_back(
            Received{std::this_thread::get_id(), response->get_msg_type(), value, ctx});
        if (value == throwOnValue)
            throw std::runtime_error("handler failed");
    }
    RpcResponseDelegate Delegate() { return MakeDelegate(this, &RpcTest::OnResponse); }

    std::chrono::milliseconds savedTimeout{};
    std::shared_ptr<LoopbackTransport> transport;
    std::unique_ptr<Messenger> messenger;
    std::vector<Received> received;
    int32_t throwOnValue = -100;
};

TEST_F(RpcTest, RequestsAreAsynchronousAndDelegatesRunOnTheWaitingThread) {
    auto& rpc = CRpcManager::Instance();
    transport->Hold(true);
    RpcResponseDelegate d = Delegate();
    int ctx[3];
    std::vector<Message> requests;
    for (int i = 0; i < 3; ++i)
        requests.push_back(Request("Echo", 10 * i));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(rpc.SendAsyncMessage(messenger.get(), requests[i], &d, &ctx[i], 0, false), 0);
    }
    // Sent, nothing answered yet, and no delegate runs outside a wait.
    EXPECT_EQ(transport->Answered(), 0);
    EXPECT_NE(requests[0].get_seq_num(), requests[1].get_seq_num());
    EXPECT_EQ(requests[0].get_destination(), 2u);
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(received.empty());

    std::thread release([&] {
        std::this_thread::sleep_for(50ms);
        transport->Hold(false);
    });
    std::vector<ErrorMsg> errors;
    EXPECT_TRUE(rpc.Wait(errors));
    release.join();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(transport->Answered(), 3);
    ASSERT_EQ(received.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(received[i].thread, std::this_thread::get_id());
        EXPECT_NE(received[i].thread, transport->ThreadId());
        EXPECT_EQ(received[i].type, TMT_RESPONSE);
        EXPECT_EQ(received[i].value, 10 * i + 1);
        EXPECT_EQ(received[i].ctx, &ctx[i]);
    }
    // Nothing outstanding: returns at once.
    EXPECT_TRUE(rpc.Wait(errors));
}

TEST_F(RpcTest, FailedResponsesWithoutDelegateBecomeErrorRecords) {
    auto& rpc = CRpcManager::Instance();
    RpcResponseDelegate d = Delegate();
    Message failWithDelegate = Request("Fail");
    Message failAlone = Request("Fail");
    Message okAlone = Request("Echo");
    ASSERT_EQ(rpc.SendAsyncMessage(messenger.get(), failWithDelegate, &d, nullptr, 0, false), 0);
    ASSERT_EQ(rpc.SendAsyncMessage(messenger.get(), failAlone, nullptr, nullptr, 0, false), 0);
    ASSERT_EQ(rpc.SendAsyncMessage(messenger.get(), okAlone, nullptr, nullptr, 0, false), 0);
    std::vector<ErrorMsg> errors{ErrorMsg{1, "earlier", 0, "kept"}};
    EXPECT_FALSE(rpc.Wait(errors));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].faultString, "kept");
    EXPECT_EQ(errors[1].msgSeqNum, failAlone.get_seq_num());
    EXPECT_EQ(errors[1].msgrString, "//10.0.0.1/1/3");
    EXPECT_EQ(errors[1].faultCode, 17);
    EXPECT_EQ(errors[1].faultString, "port 2 refused");
    // The delegate reads its failed response itself.
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].type, TMT_FAILED_RESPONSE);
}

TEST_F(RpcTest, SendAndWaitHandsBackTheResponseOrTheFault) {
    auto& rpc = CRpcManager::Instance();
    Message request = Request("Echo", 41);
    Message response;
    std::vector<ErrorMsg> errors;
    ASSERT_TRUE(rpc.SendAndWait(messenger.get(), request, response, errors));
    EXPECT_EQ(response.get_msg_type(), TMT_RESPONSE);
    EXPECT_EQ(response.get_member_int32(TMG_MEMBERS, "value"), 42);

    Message failing = Request("Fail");
    ASSERT_TRUE(rpc.SendAndWait(messenger.get(), failing, response, errors));
    EXPECT_EQ(response.get_msg_type(), TMT_FAILED_RESPONSE);  // read by the caller

    Messenger nowhere(nullptr, 0, "nowhere");
    Message lost = Request("Echo");
    EXPECT_FALSE(rpc.SendAndWait(&nowhere, lost, response, errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].msgrString, "nowhere");
    EXPECT_EQ(errors[0].faultCode, RPC_FAULT_TRANSPORT);
}

TEST_F(RpcTest, UnansweredRequestTimesOutSoWaitNeverHangs) {
    auto& rpc = CRpcManager::Instance();
    rpc.SetDefaultTimeout(150ms);
    EXPECT_EQ(rpc.GetDefaultTimeout(), 150ms);
    RpcResponseDelegate d = Delegate();
    Message silent = Request("Silent");
    Message echo = Request("Echo", 1);
    ASSERT_EQ(rpc.SendAsyncMessage(messenger.get(), silent, &d, nullptr, 0, false), 0);
    // The answered one gets a generous timeout of its own, so a loaded machine cannot fail it.
    ASSERT_EQ(rpc.SendAsyncMessage(messenger.get(), echo, &d, nullptr, 5000, false), 0);
    auto start = std::chrono::steady_clock::now();
    std::vector<ErrorMsg> errors;
    EXPECT_FALSE(rpc.Wait(errors));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 140ms);
    EXPECT_LT(took, 5s);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].msgSeqNum, silent.get_seq_num());
    EXPECT_EQ(errors[0].msgrString, "//10.0.0.1/1/3");
    EXPECT_EQ(errors[0].faultCode, RPC_FAULT_TIMEOUT);
    EXPECT_EQ(errors[0].faultString, "No response to Silent within 150 ms");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].value, 2);

    // A request's own timeout wins over the default.
    rpc.SetDefaultTimeout(30s);
    Message silent2 = Request("Silent");
    ASSERT_EQ(rpc.SendAsyncMessage(messenger.get(), silent2, nullptr, nullptr, 50, false), 0);
    errors.clear();
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(rpc.Wait(errors));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].faultString, "No response to Silent within 50 ms");
}

TEST_F(RpcTest, UndecodableResponseBecomesAFault) {
    auto& rpc = CRpcManager::Instance();
    RpcResponseDelegate d = Delegate();
    Message garbage = Request("Garbage");
    ASSERT_EQ(rpc.SendAsyncMessage(messenger.get(), garbage, &d, nullptr, 0, false), 0);
    std::vector<ErrorMsg> errors;
    EXPECT_FALSE(rpc.Wait(errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].msgSeqNum, garbage.get_seq_num());
    EXPECT_EQ(errors[0].faultCode, RPC_FAULT_UNDECODABLE);
    EXPECT_EQ(errors[0].faultString.rfind("Undecodable response to Garbage: ", 0), 0u)
        << errors[0].faultString;
    EXPECT_TRUE(received.empty());
}

TEST_F(RpcTest, UnsendableRequestsReturnNonZeroAndLeaveNothingOutstanding) {
    auto& rpc = CRpcManager::Instance();
    Message m = Request("Echo");
    EXPECT_NE(rpc.SendAsyncMessage(nullptr, m, nullptr, nullptr, 0, false), 0);
    Messenger noTransport(nullptr, 0, "nowhere");
    EXPECT_NE(rpc.SendAsyncMessage(&noTransport, m, nullptr, nullptr, 0, false), 0);
    transport->Refuse(true);
    EXPECT_NE(rpc.SendAsyncMessage(messenger.get(), m, nullptr, nullptr, 0, false), 0);
    rpc.SetDefaultTimeout(10s);
    auto start = std::chrono::steady_clock::now();
    std::vector<ErrorMsg> errors;
    EXPECT_TRUE(rpc.Wait(errors));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(errors.empty());
}

TEST_F(RpcTest, ResponsesBehindARaisingDelegateAreStillDelivered) {
    auto& rpc = CRpcManager::Instance();
    rpc.SetDefaultTimeout(10s);
    transport->Hold(true);
    RpcResponseDelegate d = Delegate();
    std::vector<Message> requests;
    for (int i = 0; i < 3; ++i)
        requests.push_back(Request("Echo", i));
    for (auto& m : requests)
        ASSERT_EQ(rpc.SendAsyncMessage(messenger.get(), m, &d, nullptr, 0, false), 0);
    throwOnValue = 1;  // the first response raises in its delegate
    transport->Hold(false);
    while (transport->Answered() < 3)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    std::vector<ErrorMsg> errors;
    EXPECT_THROW(rpc.Wait(errors), std::runtime_error);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(rpc.Wait(errors));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1].value, 2);
    EXPECT_EQ(received[2].value, 3);
}

TEST_F(RpcTest, EachThreadWaitsForItsOwnRequests) {
    auto& rpc = CRpcManager::Instance();
    transport->Hold(true);
    RpcResponseDelegate d = Delegate();
    Message mine = Request("Echo", 100);
    ASSERT_EQ(rpc.SendAsyncMessage(messenger.get(), mine, &d, nullptr, 0, false), 0);
    // Another thread with nothing outstanding is not held up by this thread's request.
    bool otherDone = false;
    std::thread other([&] {
        std::vector<ErrorMsg> errors;
        otherDone = rpc.Wait(errors);
    });
    other.join();
    EXPECT_TRUE(otherDone);
    EXPECT_TRUE(received.empty());
    transport->Hold(false);
    std::vector<ErrorMsg> errors;
    EXPECT_TRUE(rpc.Wait(errors));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].value, 101);
}

}  // namespace
