#pragma once

// How frild reads one request off its ROUTER socket: [peer][tag (8 bytes)][encoded request].
// Kept apart from the daemon so that the fuzz target reads requests exactly as frild does.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include <zmq.hpp>

#include "msglib/Message.h"

namespace frild {

struct FramedRequest {
    std::string peer;
    std::string tag;
    // The encoded request, inside the part it was received in.
    const uint8_t* data = nullptr;
    size_t size = 0;
    // Empty when the bytes do not decode: the IL then answers with its own fault.
    std::optional<Message> message;
};

// Splits a received message into its parts and decodes the request. False, with the warning
// to log in `why`, when the message is not three parts with an 8-byte tag.
bool ReadRequest(const std::vector<zmq::message_t>& parts, FramedRequest& request,
                 std::string& why);

}  // namespace frild
