#pragma once

#include <gtest/gtest.h>

#include <string>

#include <orx/msglib/Codec.h>
#include <orx/msglib/Message.h>
#include <orx/msglib/TmStruct.h>

namespace msgsets_test {

// What the far side sees: the message through the codec.
inline Message over_wire(const Message& m) {
    return msglib::decode(msglib::encode(m));
}

// "kind" of a value as the tests spell it: uint16, string, struct, uint8[] (numbers), array.
inline std::string kind_of(const Tm_value& v) {
    if (v.get_kind() == TMK_ARRAY) {
        int tmv = -1, count = 0;
        if (static_cast<const Tm_array&>(v).contiguous_data(tmv, count) != nullptr) {
            return std::string(tm_kind_name(tmv)) + "[]";
        }
        return "array";
    }
    return tm_kind_name(v.get_kind());
}

// "name:kind name:kind ..." of a structure's members, in order.
inline std::string layout(const Tm_struct& s) {
    std::string out;
    for (int i = 0; i < s.get_member_count(); ++i) {
        out += (i ? " " : "") + s.get_member_name(i) + ":" + kind_of(*s.get_member(i));
    }
    return out;
}

// The same for group 1 of a message.
inline std::string layout(const Message& m) {
    std::string out;
    for (int i = 0; i < m.get_member_count(TMG_MEMBERS); ++i) {
        out += (i ? " " : "") + m.get_member_name(TMG_MEMBERS, i) + ":" +
               kind_of(*m.get_member(TMG_MEMBERS, i));
    }
    return out;
}

// Layout of record r as the far side receives it.
template <class R, class ToStruct>
std::string wire_layout(const R& r, ToStruct to_struct) {
    Message m;
    m.set_use_send_member_string(true);
    auto* catalog = m.get_send_member_string(TMG_MEMBERS);
    auto* s = new Tm_prenamed_struct(catalog);
    m.add_member_and_own(TMG_MEMBERS, "record", to_struct(s, &r, true, catalog));
    Message back = over_wire(m);
    return layout(*back.get_member_struct(TMG_MEMBERS, "record"));
}

// Converts r to a structure, sends it, and reads it back into a fresh record.
template <class R, class ToStruct, class FromStruct>
R record_round_trip(const R& r, ToStruct to_struct, FromStruct from_struct) {
    Message m;
    m.set_use_send_member_string(true);
    auto* catalog = m.get_send_member_string(TMG_MEMBERS);
    auto* s = new Tm_prenamed_struct(catalog);
    m.add_member_and_own(TMG_MEMBERS, "record", to_struct(s, &r, true, catalog));
    Message back = over_wire(m);
    R out{};
    from_struct(back.get_member_struct(TMG_MEMBERS, "record"), &out);
    return out;
}

template <class F>
std::string error_of(F f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace msgsets_test
