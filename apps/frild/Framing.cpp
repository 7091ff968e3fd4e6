#include "Framing.h"

#include <exception>

#include "msglib/Codec.h"

namespace frild {

bool ReadRequest(const std::vector<zmq::message_t>& parts, FramedRequest& request,
                 std::string& why) {
    if (parts.size() != 3 || parts[1].size() != 8) {
        why = "malformed request (" + std::to_string(parts.size()) +
              " parts) dropped; expected [tag (8 bytes)][encoded request]";
        return false;
    }
    request.peer = parts[0].to_string();
    request.tag = parts[1].to_string();
    request.data = static_cast<const uint8_t*>(parts[2].data());
    request.size = parts[2].size();
    request.message.reset();
    try {
        request.message = msglib::decode(request.data, request.size);
    } catch (const std::exception&) {
        // Left empty: the IL answers an undecodable request with its own fault.
    }
    return true;
}

}  // namespace frild
