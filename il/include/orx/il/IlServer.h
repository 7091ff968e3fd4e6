#pragma once

// The software test port: one IL serving the ports of one test module. The control path answers
// the requests of the responder message set (encoded or decoded) and sends the notifications of
// SQL and table-event subscriptions; the frame path of each port is its PortEngine, driven by a
// FramePump or by a live-interface loop.
//
// Threads: every control call (Handle*, PollNotifications, Counters) comes from one thread at a
// time (the transport's); the frame path of each port runs on one thread at a time; the two
// never wait for each other.
//
// Failed responses (message type 2) carry "faultCode" (int32, FaultCode below) and
// "faultString" (what was wrong, naming the request, member, port or handle).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <orx/il/Diag.h>
#include <orx/il/PortEngine.h>

class Message;

namespace orx::il {

enum FaultCode : int32_t {
    FAULT_UNKNOWN_REQUEST = 1,  // no such request name
    FAULT_BAD_MESSAGE = 2,      // undecodable, or a member missing or of the wrong type
    FAULT_REFUSED = 3,          // valid but refused: port not served, bad interval, unsupported
    FAULT_SQL = 4,              // SQLite refused or failed a command
    FAULT_INTERNAL = 5,         // anything else; the IL keeps running
};

// The failed response to `request` (its name, sequence number and destination; none of them
// for a request that could not be read, null): the one way every server builds one.
Message FailedResponse(const Message* request, FaultCode code, const std::string& text);

// The SQL of DoSQL* and of notifications reads "ResponderProfileResults" and
// "LiveInterfaceResults" (one row per port answered on a live interface: Port, Interface,
// RxFrameCount, CaptureDropCount, InterfaceDropCount, TxFrameCount, TxFailCount, Error,
// StatsLastModified) and nothing else, and
// the commands of one request together stay within these bounds; anything else fails with
// FAULT_SQL naming what was refused or which bound was passed.
constexpr int64_t kSqlMaxTimeMs = 2000;
constexpr size_t kSqlMaxRows = 100000;
constexpr size_t kSqlMaxBytes = size_t{64} << 20;  // what the results take in the IL's memory

// Counter values of one configuration as the control path reads them (after ClearResult).
struct CounterSnapshot {
    uint32_t handle = 0;
    uint16_t port = 0;
    uint32_t vifHandle = 0;
    bool running = false;
    uint64_t matched = 0;
    uint64_t transmitted = 0;
    uint32_t rate = 0;
};

class IlServer {
  public:
    static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
    // Control-path time in microseconds (notification intervals, StatsLastModified). Default:
    // the system clock.
    using Clock = std::function<int64_t()>;
    using NotificationSink = std::function<void(std::vector<uint8_t> encoded)>;

    explicit IlServer(std::vector<uint16_t> ports, Clock clock = {});
    ~IlServer();
    IlServer(const IlServer&) = delete;
    IlServer& operator=(const IlServer&) = delete;

    const std::vector<uint16_t>& Ports() const { return m_ports; }
    // The frame path of a served port; null for a port this IL does not serve.
    PortEngine* Engine(uint16_t port);

    // Answers one request. Never throws: every failure becomes a failed response. The request's
    // destination is the port index it concerns.
    std::vector<uint8_t> HandleEncoded(const uint8_t* data, size_t size);
    Message Handle(const Message& request);

    // Notifications ("responder_1.DoSQLNotify", "...DoSQLNotifyFaster", "...TableEventNotify")
    // go to this sink, encoded, from inside PollNotifications.
    void SetNotificationSink(NotificationSink sink);
    // Sends every notification that is due; returns the clock time at which the next one is
    // due (kNever with no enabled subscription).
    int64_t PollNotifications();
    int64_t Now() const;

    std::vector<CounterSnapshot> Counters() const;
    // What the IL holds: every configuration of `port` (all ports with kAllPorts), in port then
    // handle order. Control-path call, like Handle; also answered as "ildiag.ShowResponders".
    static constexpr uint32_t kAllPorts = 0xFFFFFFFFu;
    std::vector<ResponderView> Describe(uint32_t port = kAllPorts) const;
    // How each port (or just `port`) dispatches frames to its running responders.
    std::vector<PortDispatchView> DescribeDispatch(uint32_t port = kAllPorts) const;

    // The counters of the ports answered on live interfaces come from `source` (LiveRunner's),
    // called on the control path; an empty function removes it. Also answered as
    // "ildiag.ShowLinks" and kept in the table "LiveInterfaceResults".
    using LinkSource = std::function<std::vector<LinkView>()>;
    void SetLinkSource(LinkSource source);
    std::vector<LinkView> Links() const;

  private:
    struct Impl;
    std::vector<uint16_t> m_ports;
    mutable std::mutex m_linkMutex;
    LinkSource m_links;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace orx::il
