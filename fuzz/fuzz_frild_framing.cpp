// Reads arbitrary bytes as the parts of a ZeroMQ message arriving at frild, frames and decodes
// them as the daemon does, and has a software test port answer what frild would hand it. A
// malformed message is dropped with a reason; a well-formed one always gets an answer that
// decodes, as a response or a failed response to the same request.
//
// Input: one byte giving the number of parts (modulo 6), then each part but the last as a
// length byte and that many bytes; the last part is the rest.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <zmq.hpp>

#include <orx/framework/Logger.h>
#include <orx/il/Diag.h>
#include <orx/il/IlServer.h>
#include <orx/msglib/Codec.h>
#include <orx/transport/ZmqEnvelope.h>
#include "FuzzSupport.h"

namespace {

using fuzz::broken;

// The test port logs every fault it answers; here they are the expected outcome.
const bool kQuiet = [] {
    auto* logging = orx::framework::BLLLoggerFactory::GetInstance();
    logging->SetConsoleEnabled(false);
    logging->SetDefaultLevel(orx::framework::LOG_OFF);
    return true;
}();

std::vector<zmq::message_t> Parts(const uint8_t* data, size_t size) {
    std::vector<zmq::message_t> parts;
    if (size == 0)
        return parts;
    const size_t count = data[0] % 6;
    size_t at = 1;
    for (size_t i = 0; i < count; ++i) {
        size_t length = size - at;
        if (i + 1 < count) {
            length = at < size ? data[at++] : 0;
            length = std::min(length, size - at);
        }
        parts.emplace_back(data + at, length);
        at += length;
    }
    return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)kQuiet;
    const std::vector<zmq::message_t> parts = Parts(data, size);
    orx::transport::envelope::FramedRequest request;
    std::string why;
    if (!orx::transport::envelope::ReadRequest(parts, request, why)) {
        if (why.empty())
            broken("a dropped message gives no reason");
        if (parts.size() == 3 && parts[1].size() == 8)
            broken("a message of three parts with an 8-byte tag was dropped");
        return 0;
    }
    if (request.peer != parts[0].to_string() || request.tag != parts[1].to_string() ||
        request.data != parts[2].data() || request.size != parts[2].size()) {
        broken("the framed request is not the message's parts");
    }
    if (request.message && request.message->get_request_name() == orx::il::diag::kReplay)
        return 0;  // frild replays its own captures: no test port answers this one

    // A fixed clock: the same input gives the same answer.
    orx::il::IlServer il({0, 1}, [] { return int64_t{1'700'000'000'000'000}; });
    const std::vector<uint8_t> response = request.message
                                              ? msglib::encode(il.Handle(*request.message))
                                              : il.HandleEncoded(request.data, request.size);
    Message answer;
    try {
        answer = msglib::decode(response);
    } catch (const Tm_exception& e) {
        broken(std::string("the test port's answer does not decode: ") + e.what());
    }
    if (answer.get_msg_type() != TMT_RESPONSE && answer.get_msg_type() != TMT_FAILED_RESPONSE)
        broken("the test port's answer is neither a response nor a failed response");
    if (request.message && answer.get_request_name() != request.message->get_request_name())
        broken("the answer names another request");
    return 0;
}
