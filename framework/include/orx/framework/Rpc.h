#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <orx/framework/FastDelegate.h>

class Message;

namespace orx::framework {

// Moves encoded messages between the host and one IL. Implementations: in-process (the IL on
// its own thread) and ZeroMQ to a remote IL daemon.
class IlTransport {
  public:
    // Called with the encoded response, on any thread.
    using ResponseCallback = std::function<void(std::vector<uint8_t> response)>;
    // Called with an encoded message the IL sends on its own (notifications), on any thread.
    using NotificationCallback = std::function<void(std::vector<uint8_t> message)>;

    virtual ~IlTransport() = default;
    // Hands an encoded request to the IL. Returns false when it cannot be sent at all (the
    // callback is then never called). `done` is called exactly once for every request sent,
    // unless the transport is closed first.
    virtual bool Send(std::vector<uint8_t> request, ResponseCallback done) = 0;
    virtual void SetNotificationCallback(NotificationCallback callback) = 0;
    // Text that names the IL in fault reports ("inproc", "tcp://10.0.0.2:5555").
    virtual std::string Describe() const = 0;
    // Why the IL is not answering right now, for fault reports ("the connection to frild was
    // lost"); empty when nothing is known to be wrong. Called on any thread.
    virtual std::string Problem() const { return {}; }
};

// Addresses one port of an IL.
class Messenger {
  public:
    Messenger(std::shared_ptr<IlTransport> transport, uint32_t destination, std::string text)
        : m_transport(std::move(transport)), m_destination(destination), m_text(std::move(text)) {}

    const std::shared_ptr<IlTransport>& GetTransport() const { return m_transport; }
    uint32_t GetDestination() const { return m_destination; }
    const std::string& GetText() const { return m_text; }

  private:
    std::shared_ptr<IlTransport> m_transport;
    uint32_t m_destination;
    std::string m_text;
};

// One fault reported by a wait.
struct ErrorMsg {
    uint32_t msgSeqNum = 0;
    std::string msgrString;
    int32_t faultCode = 0;
    std::string faultString;
};

// Fault codes of ErrorMsg.
enum RpcFault : int32_t {
    RPC_FAULT_TIMEOUT = -1,      // no response within the request's timeout
    RPC_FAULT_UNDECODABLE = -2,  // the response could not be decoded
    RPC_FAULT_FAILED = -3,       // the IL answered with a failed response and nobody read it
    RPC_FAULT_TRANSPORT = -4,    // the transport closed with the request outstanding
};

using RpcResponseDelegate = FastDelegate3<uint16_t, Message*, void*, void>;

// Sends requests to ILs asynchronously and waits for their responses. Responses are handed to
// their delegates on the thread that waits, inside Wait.
class CRpcManager {
  public:
    static CRpcManager& Instance();

    // Encodes and sends the request; 0 when it was sent. `delegate` (may be null) is called
    // with (0, response, ctx) inside a later Wait of the sending thread. `timeoutMs` 0 means
    // the default timeout.
    int SendAsyncMessage(Messenger* messenger, Message& message, RpcResponseDelegate* delegate,
                         void* ctx, uint32_t timeoutMs, bool flag);

    // Returns once every request sent by this thread is answered or has timed out, having run
    // the response delegates on this thread. Faults (timeouts, undecodable responses, failed
    // responses without a delegate) are appended to `errors`. Returns errors.empty().
    bool Wait(std::vector<ErrorMsg>& errors);

    // Sends one request and waits (as Wait does) until it is answered; the response is moved
    // into `response`. False, with the faults in `errors`, when the request could not be sent
    // or a fault was reported; a failed response (type 2) is handed back like any other.
    bool SendAndWait(Messenger* messenger, Message& request, Message& response,
                     std::vector<ErrorMsg>& errors, uint32_t timeoutMs = 0);

    void SetDefaultTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds GetDefaultTimeout() const;

    // Notifications arriving from ILs are queued and handed out here, on the calling thread.
    using NotificationHandler = std::function<void(Message&)>;
    void SetNotificationHandler(NotificationHandler handler);
    // Delivers queued notifications; returns how many.
    size_t ProcessNotifications();
    // Connects a transport's notifications to this manager.
    void Attach(IlTransport& transport);

    struct Impl;

  private:
    CRpcManager();
    ~CRpcManager();
    std::unique_ptr<Impl> m_impl;
};

}  // namespace orx::framework
