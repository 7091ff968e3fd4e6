#pragma once

#include <string>

#include "msglib/TmException.h"
#include "msglib/TmTypes.h"
#include "msglib/TmValue.h"

namespace msglib::detail {

// Checks that a value read as `kind` is one, naming it in the error; returns it cast.
template <class V>
const V& expect_kind(const Tm_value& value, int kind, const std::string& what) {
    if (value.get_kind() != kind) {
        throw Tm_type_mismatch_exception(
            value.get_kind(), kind,
            what + " is " + tm_kind_name(value.get_kind()) + ", read as " + tm_kind_name(kind));
    }
    return static_cast<const V&>(value);
}

}  // namespace msglib::detail

// Typed readers by name shared by Tm_struct and Message; OWNER::require(ARGS) gives the value
// and WHAT the text naming it.
#define ORX_TM_NAMED_READERS(OWNER, PARAMS, ARGS, WHAT)                                        \
    int8_t OWNER::get_member_int8 PARAMS const {                                               \
        return msglib::detail::expect_kind<Tm_int8>(require ARGS, TMK_INT8, WHAT).get();       \
    }                                                                                          \
    uint8_t OWNER::get_member_uint8 PARAMS const {                                             \
        return msglib::detail::expect_kind<Tm_uint8>(require ARGS, TMK_UINT8, WHAT).get();     \
    }                                                                                          \
    int16_t OWNER::get_member_int16 PARAMS const {                                             \
        return msglib::detail::expect_kind<Tm_int16>(require ARGS, TMK_INT16, WHAT).get();     \
    }                                                                                          \
    uint16_t OWNER::get_member_uint16 PARAMS const {                                           \
        return msglib::detail::expect_kind<Tm_uint16>(require ARGS, TMK_UINT16, WHAT).get();   \
    }                                                                                          \
    int32_t OWNER::get_member_int32 PARAMS const {                                             \
        return msglib::detail::expect_kind<Tm_int32>(require ARGS, TMK_INT32, WHAT).get();     \
    }                                                                                          \
    uint32_t OWNER::get_member_uint32 PARAMS const {                                           \
        return msglib::detail::expect_kind<Tm_uint32>(require ARGS, TMK_UINT32, WHAT).get();   \
    }                                                                                          \
    int64_t OWNER::get_member_int64 PARAMS const {                                             \
        return msglib::detail::expect_kind<Tm_int64>(require ARGS, TMK_INT64, WHAT).get();     \
    }                                                                                          \
    uint64_t OWNER::get_member_uint64 PARAMS const {                                           \
        return msglib::detail::expect_kind<Tm_uint64>(require ARGS, TMK_UINT64, WHAT).get();   \
    }                                                                                          \
    double OWNER::get_member_double PARAMS const {                                             \
        return msglib::detail::expect_kind<Tm_double>(require ARGS, TMK_DOUBLE, WHAT).get();   \
    }                                                                                          \
    bool OWNER::get_member_bool PARAMS const {                                                 \
        return msglib::detail::expect_kind<Tm_bool>(require ARGS, TMK_BOOL, WHAT).get();       \
    }                                                                                          \
    const std::string& OWNER::get_member_string PARAMS const {                                 \
        return msglib::detail::expect_kind<Tm_string>(require ARGS, TMK_STRING, WHAT).get();   \
    }                                                                                          \
    const Tm_binary* OWNER::get_member_binary PARAMS const {                                   \
        return &msglib::detail::expect_kind<Tm_binary>(require ARGS, TMK_BINARY, WHAT);        \
    }                                                                                          \
    const Tm_array* OWNER::get_member_array PARAMS const {                                     \
        return &msglib::detail::expect_kind<Tm_array>(require ARGS, TMK_ARRAY, WHAT);          \
    }                                                                                          \
    const Tm_struct* OWNER::get_member_struct PARAMS const {                                   \
        return &msglib::detail::expect_kind<Tm_struct>(require ARGS, TMK_STRUCT, WHAT);        \
    }                                                                                          \
    const Tm_date* OWNER::get_member_date PARAMS const {                                       \
        return &msglib::detail::expect_kind<Tm_date>(require ARGS, TMK_DATE, WHAT);            \
    }                                                                                          \
    const Tm_file* OWNER::get_member_file PARAMS const {                                       \
        return &msglib::detail::expect_kind<Tm_file>(require ARGS, TMK_FILE, WHAT);            \
    }                                                                                          \
    const Message* OWNER::get_member_message PARAMS const {                                    \
        return &msglib::detail::expect_kind<Tm_message_value>(require ARGS, TMK_MESSAGE, WHAT) \
                    .get();                                                                    \
    }
