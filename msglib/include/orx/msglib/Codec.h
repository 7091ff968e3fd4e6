#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <orx/msglib/Message.h>

// Wire form of a message (all numbers little-endian, counts and lengths LEB128 varints < 2^31):
//   "TMSG" version:u8 flags:u8 (bit 0: names by catalog) type:u8 seq:u32 destination:u32
//   request-name:string group-count:u8, then per group, ascending ids:
//   id:u8 catalog-count names:string... member-count (name-ref value)...
// A name-ref is 0 followed by the name as a string, or catalog index + 1. A value is a kind tag
// (Tm_kind, or 17 for a packed numeric array: tmv:u8 count raw elements) and its payload;
// arrays are count + values, structures count + (name-ref value), messages length + message.
namespace msglib {

constexpr uint8_t kWireVersion = 1;
constexpr int kMaxNesting = 64;  // arrays, structures and messages inside one another
constexpr uint8_t kTagPackedArray = 17;

// Replaces out's content by the encoding of message.
void encode(const Message& message, std::vector<uint8_t>& out);
std::vector<uint8_t> encode(const Message& message);

// Throws Tm_exception saying what is wrong and at which byte offset for malformed input.
Message decode(const uint8_t* data, size_t size);
Message decode(const std::vector<uint8_t>& bytes);

}  // namespace msglib
