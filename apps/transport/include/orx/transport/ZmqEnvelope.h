#pragma once

// The envelope of every message between a host and frild, both ends' one definition.
//
// Multipart ZeroMQ messages, the host's DEALER <-> frild's ROUTER:
//   request      host -> IL: [tag (kTagSize bytes, the host's request id)][encoded request]
//   response     IL -> host: [same tag][encoded response]
//   notification IL -> host: [empty frame][encoded message]
// On the ROUTER each message also carries the peer's routing id in front.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include <zmq.hpp>

#include <orx/msglib/Message.h>

namespace orx::transport::envelope {

inline constexpr size_t kTagSize = sizeof(uint64_t);
using Parts = std::vector<zmq::message_t>;

// Takes the next whole multipart message off `socket` without waiting; false when none waits.
bool Receive(zmq::socket_t& socket, Parts& parts);

// Host side ------------------------------------------------------------------------------------

// Queues [tag][bytes] without waiting; false when the socket cannot take it now (no connection
// ready, or its queue full).
bool SendRequest(zmq::socket_t& dealer, uint64_t tag, const std::vector<uint8_t>& bytes);

// What arrives at the host: a response to the request `tag`, or a notification.
struct Incoming {
    bool notification = false;
    uint64_t tag = 0;
    std::vector<uint8_t> bytes;
};
// False, with what is wrong in `why`, when the message is not [tag or empty][encoded message].
bool ReadIncoming(const Parts& parts, Incoming& incoming, std::string& why);

// Daemon side ----------------------------------------------------------------------------------

struct FramedRequest {
    std::string peer;
    std::string tag;
    // The encoded request, inside the part it was received in.
    const uint8_t* data = nullptr;
    size_t size = 0;
    // Empty when the bytes do not decode: the IL then answers with its own fault.
    std::optional<Message> message;
};
// Splits a message received on the ROUTER and decodes the request. False, with the warning to
// log in `why`, when it is not [peer][tag][encoded request].
bool ReadRequest(const Parts& parts, FramedRequest& request, std::string& why);

// Queues [peer][tag][body] (an empty tag: a notification) without waiting. False when the peer
// cannot take it now; raises zmq::error_t with EHOSTUNREACH when the peer has gone (the ROUTER
// is router_mandatory).
bool SendToPeer(zmq::socket_t& router, const std::string& peer, const std::string& tag,
                const std::vector<uint8_t>& body);

}  // namespace orx::transport::envelope
