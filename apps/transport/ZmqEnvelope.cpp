#include <orx/transport/ZmqEnvelope.h>

#include <cstring>
#include <exception>

#include <orx/msglib/Codec.h>

namespace orx::transport::envelope {

bool Receive(zmq::socket_t& socket, Parts& parts) {
    parts.clear();
    zmq::message_t part;
    if (!socket.recv(part, zmq::recv_flags::dontwait))
        return false;
    parts.push_back(std::move(part));
    // The parts of one message arrive together: the rest is there already.
    while (parts.back().more()) {
        zmq::message_t next;
        (void)socket.recv(next);
        parts.push_back(std::move(next));
    }
    return true;
}

bool SendRequest(zmq::socket_t& dealer, uint64_t tag, const std::vector<uint8_t>& bytes) {
    if (!dealer.send(zmq::const_buffer(&tag, kTagSize),
                     zmq::send_flags::sndmore | zmq::send_flags::dontwait)) {
        return false;
    }
    // Once the first part is queued the other goes with it.
    (void)dealer.send(zmq::const_buffer(bytes.data(), bytes.size()), zmq::send_flags::dontwait);
    return true;
}

bool ReadIncoming(const Parts& parts, Incoming& incoming, std::string& why) {
    if (parts.size() != 2 || (parts[0].size() != 0 && parts[0].size() != kTagSize)) {
        why = "malformed message (" + std::to_string(parts.size()) + " parts) dropped";
        return false;
    }
    incoming.notification = parts[0].size() == 0;
    incoming.tag = 0;
    if (!incoming.notification)
        std::memcpy(&incoming.tag, parts[0].data(), kTagSize);
    const auto* data = static_cast<const uint8_t*>(parts[1].data());
    incoming.bytes.assign(data, data + parts[1].size());
    return true;
}

bool ReadRequest(const Parts& parts, FramedRequest& request, std::string& why) {
    if (parts.size() != 3 || parts[1].size() != kTagSize) {
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

bool SendToPeer(zmq::socket_t& router, const std::string& peer, const std::string& tag,
                const std::vector<uint8_t>& body) {
    if (!router.send(zmq::buffer(peer), zmq::send_flags::sndmore | zmq::send_flags::dontwait))
        return false;
    // Once the first part is queued the others go with it.
    (void)router.send(zmq::buffer(tag), zmq::send_flags::sndmore);
    (void)router.send(zmq::const_buffer(body.data(), body.size()));
    return true;
}

}  // namespace orx::transport::envelope
