// The daemon's ZeroMQ server run in process against the host's transport: requests answered by
// the IL or by a diverted handler (also later), undecodable and malformed messages, and the
// envelope's own checks on both ends.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <orx/il/Diag.h>
#include <orx/il/IlServer.h>
#include <orx/msglib/Codec.h>
#include <orx/transport/ZmqEnvelope.h>
#include <orx/transport/ZmqIlServer.h>
#include <orx/transport/ZmqIlTransport.h>
#include "responder_1.h"

using namespace orx::il;
using namespace orx::transport;

namespace {

// An IL served on an ipc endpoint by a server on a thread of its own.
class Served {
  public:
    explicit Served(std::function<void(ZmqIlServer&)> setup = {}) : il({0, 1}), server(il) {
        if (setup)
            setup(server);
        endpoint = server.Bind("ipc://" + ::testing::TempDir() + "zmq-server-" +
                               std::to_string(::getpid()) + "-" + std::to_string(++s_count));
        thread = std::thread([this] { server.Serve(stop); });
    }
    ~Served() {
        stop = true;
        thread.join();
    }

    IlServer il;
    ZmqIlServer server;
    std::string endpoint;
    std::atomic<bool> stop{false};
    std::thread thread;

  private:
    static inline int s_count = 0;
};

// Sends raw bytes through the host's transport and waits for the answer.
Message Ask(ZmqIlTransport& transport, const std::vector<uint8_t>& bytes) {
    std::mutex mutex;
    std::condition_variable cv;
    std::optional<std::vector<uint8_t>> answer;
    EXPECT_TRUE(transport.Send(bytes, [&](std::vector<uint8_t> response) {
        std::lock_guard lock(mutex);
        answer = std::move(response);
        cv.notify_all();
    }));
    std::unique_lock lock(mutex);
    if (!cv.wait_for(lock, std::chrono::seconds(10), [&] { return answer.has_value(); })) {
        ADD_FAILURE() << "no answer from " << transport.Describe();
        return Message();
    }
    return msglib::decode(*answer);
}

Message StartRequest(uint32_t seq) {
    Message m;
    responder_1_bll::create_req_Start(&m, {}, true);
    m.set_seq_num(seq);
    m.set_destination(1);
    return m;
}

}  // namespace

TEST(ZmqServerTest, AnswersThroughTheIlOrADivertedHandler) {
    Message held;
    ZmqIlServer::Reply later;
    int idleTurns = 0;
    Served served([&](ZmqIlServer& server) {
        // Answered at once.
        server.Divert(diag::kShowResponders, [](const Message& request, ZmqIlServer::Reply reply) {
            reply(FailedResponse(&request, FAULT_REFUSED, "diverted"));
        });
        // Answered from the idle hook a few turns later.
        server.Divert(diag::kReplay, [&](const Message& request, ZmqIlServer::Reply reply) {
            held = request;
            later = std::move(reply);
            idleTurns = 0;
        });
        server.SetIdle([&]() -> int64_t {
            if (later && ++idleTurns == 3) {
                Message response = FailedResponse(&held, FAULT_INTERNAL, "answered later");
                std::exchange(later, nullptr)(response);
            }
            return 5;
        });
    });
    ZmqIlTransport transport(served.endpoint);

    Message answer = Ask(transport, msglib::encode(StartRequest(41)));
    EXPECT_EQ(answer.get_msg_type(), TMT_RESPONSE);
    EXPECT_EQ(answer.get_request_name(), responder_1_bll::request::Start);
    EXPECT_EQ(answer.get_seq_num(), 41u);
    EXPECT_EQ(answer.get_destination(), 1u);

    Message show;
    diag::CreateShowRequest(&show);
    show.set_seq_num(42);
    answer = Ask(transport, msglib::encode(show));
    EXPECT_EQ(diag::FaultText(answer), "diverted");
    EXPECT_EQ(answer.get_seq_num(), 42u);

    Message replay;
    diag::CreateShowRequest(&replay);
    replay.set_request_name(diag::kReplay);
    replay.set_seq_num(43);
    answer = Ask(transport, msglib::encode(replay));
    EXPECT_EQ(diag::FaultText(answer), "answered later");
    EXPECT_EQ(answer.get_seq_num(), 43u);

    // Bytes that do not decode are the IL's to answer, with its fault.
    answer = Ask(transport, {0xde, 0xad, 0xbe, 0xef});
    EXPECT_EQ(answer.get_msg_type(), TMT_FAILED_RESPONSE);
    EXPECT_NE(diag::FaultText(answer).find("undecodable request"), std::string::npos);
}

TEST(ZmqServerTest, MalformedMessagesAreDroppedAndServingGoesOn) {
    Served served;
    zmq::context_t context;
    zmq::socket_t dealer(context, zmq::socket_type::dealer);
    dealer.set(zmq::sockopt::linger, 0);
    dealer.connect(served.endpoint);
    // A tag of the wrong size, then a lone part: neither is answered.
    std::vector<uint8_t> request = msglib::encode(StartRequest(7));
    (void)dealer.send(zmq::str_buffer("short"), zmq::send_flags::sndmore);
    (void)dealer.send(zmq::buffer(request));
    (void)dealer.send(zmq::buffer(request));
    // A good one after them is.
    ASSERT_TRUE(envelope::SendRequest(dealer, 99, request) ||
                (std::this_thread::sleep_for(std::chrono::milliseconds(200)),
                 envelope::SendRequest(dealer, 99, request)));
    zmq::pollitem_t item{dealer.handle(), 0, ZMQ_POLLIN, 0};
    ASSERT_EQ(zmq::poll(&item, 1, std::chrono::seconds(10)), 1);
    envelope::Parts parts;
    ASSERT_TRUE(envelope::Receive(dealer, parts));
    envelope::Incoming incoming;
    std::string why;
    ASSERT_TRUE(envelope::ReadIncoming(parts, incoming, why)) << why;
    EXPECT_FALSE(incoming.notification);
    EXPECT_EQ(incoming.tag, 99u);
    EXPECT_EQ(msglib::decode(incoming.bytes).get_seq_num(), 7u);
}

TEST(ZmqServerTest, EnvelopeChecksTheShapeOnBothEnds) {
    auto parts = [](std::vector<std::string> texts) {
        envelope::Parts out;
        for (const std::string& t : texts)
            out.emplace_back(t.data(), t.size());
        return out;
    };
    std::string why;
    envelope::FramedRequest request;
    EXPECT_FALSE(envelope::ReadRequest(parts({"peer", "1234567", "x"}), request, why));
    EXPECT_NE(why.find("3 parts"), std::string::npos);
    EXPECT_FALSE(envelope::ReadRequest(parts({"peer", "12345678"}), request, why));
    ASSERT_TRUE(envelope::ReadRequest(parts({"peer", "12345678", "junk"}), request, why));
    EXPECT_EQ(request.peer, "peer");
    EXPECT_EQ(request.tag, "12345678");
    EXPECT_EQ(request.size, 4u);
    EXPECT_FALSE(request.message.has_value());  // the IL answers it with its fault

    envelope::Incoming incoming;
    EXPECT_FALSE(envelope::ReadIncoming(parts({"123", "x"}), incoming, why));
    EXPECT_FALSE(envelope::ReadIncoming(parts({"12345678"}), incoming, why));
    ASSERT_TRUE(envelope::ReadIncoming(parts({"", "note"}), incoming, why));
    EXPECT_TRUE(incoming.notification);
    EXPECT_EQ(incoming.bytes, (std::vector<uint8_t>{'n', 'o', 't', 'e'}));
}
