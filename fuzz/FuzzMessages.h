#pragma once

// The entry points that read their input as one encoded message.

#include <cstddef>
#include <cstdint>
#include <optional>

#include <orx/msglib/Codec.h>
#include <orx/msglib/Message.h>
#include "FuzzSupport.h"

namespace fuzz {

// The input decoded; empty when the codec refuses it with Tm_exception, the expected outcome for
// most inputs.
inline std::optional<Message> DecodeInput(const uint8_t* data, size_t size) {
    try {
        return msglib::decode(data, size);
    } catch (const Tm_exception&) {
        return std::nullopt;
    }
}

}  // namespace fuzz
