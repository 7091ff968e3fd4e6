#pragma once

#include <string>

#include <orx/msglib/TmException.h>
#include <orx/msglib/TmTypes.h>
#include <orx/msglib/TmValue.h>

namespace msglib::detail {

[[noreturn]] inline void kind_mismatch(const Tm_value& value, int kind, const std::string& what) {
    throw Tm_type_mismatch_exception(
        value.get_kind(), kind,
        what + " is " + tm_kind_name(value.get_kind()) + ", read as " + tm_kind_name(kind));
}

// Checks that a value read as `kind` is one, naming it in the error; returns it cast. what()
// gives the text naming the value, composed only when the check fails.
template <class V, class What>
const V& expect_kind(const Tm_value& value, int kind, What&& what) {
    if (value.get_kind() != kind) [[unlikely]] {
        kind_mismatch(value, kind, what());
    }
    return static_cast<const V&>(value);
}

}  // namespace msglib::detail

// Typed readers by name shared by Tm_struct and Message; OWNER::require(ARGS) gives the value
// and WHAT the text naming it.
#define ORX_TM_NAMED_READERS(OWNER, PARAMS, ARGS, WHAT)                                           \
    int8_t OWNER::get_member_int8 PARAMS const {                                                  \
        return msglib::detail::expect_kind<Tm_int8>(require ARGS, TMK_INT8, [&] { return WHAT; }) \
            .get();                                                                               \
    }                                                                                             \
    uint8_t OWNER::get_member_uint8 PARAMS const {                                                \
        return msglib::detail::expect_kind<Tm_uint8>(require ARGS, TMK_UINT8,                     \
                                                     [&] { return WHAT; })                        \
            .get();                                                                               \
    }                                                                                             \
    int16_t OWNER::get_member_int16 PARAMS const {                                                \
        return msglib::detail::expect_kind<Tm_int16>(require ARGS, TMK_INT16,                     \
                                                     [&] { return WHAT; })                        \
            .get();                                                                               \
    }                                                                                             \
    uint16_t OWNER::get_member_uint16 PARAMS const {                                              \
        return msglib::detail::expect_kind<Tm_uint16>(require ARGS, TMK_UINT16,                   \
                                                      [&] { return WHAT; })                       \
            .get();                                                                               \
    }                                                                                             \
    int32_t OWNER::get_member_int32 PARAMS const {                                                \
        return msglib::detail::expect_kind<Tm_int32>(require ARGS, TMK_INT32,                     \
                                                     [&] { return WHAT; })                        \
            .get();                                                                               \
    }                                                                                             \
    uint32_t OWNER::get_member_uint32 PARAMS const {                                              \
        return msglib::detail::expect_kind<Tm_uint32>(require ARGS, TMK_UINT32,                   \
                                                      [&] { return WHAT; })                       \
            .get();                                                                               \
    }                                                                                             \
    int64_t OWNER::get_member_int64 PARAMS const {                                                \
        return msglib::detail::expect_kind<Tm_int64>(require ARGS, TMK_INT64,                     \
                                                     [&] { return WHAT; })                        \
            .get();                                                                               \
    }                                                                                             \
    uint64_t OWNER::get_member_uint64 PARAMS const {                                              \
        return msglib::detail::expect_kind<Tm_uint64>(require ARGS, TMK_UINT64,                   \
                                                      [&] { return WHAT; })                       \
            .get();                                                                               \
    }                                                                                             \
    double OWNER::get_member_double PARAMS const {                                                \
        return msglib::detail::expect_kind<Tm_double>(require ARGS, TMK_DOUBLE,                   \
                                                      [&] { return WHAT; })                       \
            .get();                                                                               \
    }                                                                                             \
    bool OWNER::get_member_bool PARAMS const {                                                    \
        return msglib::detail::expect_kind<Tm_bool>(require ARGS, TMK_BOOL, [&] { return WHAT; }) \
            .get();                                                                               \
    }                                                                                             \
    const std::string& OWNER::get_member_string PARAMS const {                                    \
        return msglib::detail::expect_kind<Tm_string>(require ARGS, TMK_STRING,                   \
                                                      [&] { return WHAT; })                       \
            .get();                                                                               \
    }                                                                                             \
    const Tm_binary* OWNER::get_member_binary PARAMS const {                                      \
        return &msglib::detail::expect_kind<Tm_binary>(require ARGS, TMK_BINARY,                  \
                                                       [&] { return WHAT; });                     \
    }                                                                                             \
    const Tm_array* OWNER::get_member_array PARAMS const {                                        \
        return &msglib::detail::expect_kind<Tm_array>(require ARGS, TMK_ARRAY,                    \
                                                      [&] { return WHAT; });                      \
    }                                                                                             \
    const Tm_struct* OWNER::get_member_struct PARAMS const {                                      \
        return &msglib::detail::expect_kind<Tm_struct>(require ARGS, TMK_STRUCT,                  \
                                                       [&] { return WHAT; });                     \
    }                                                                                             \
    const Tm_date* OWNER::get_member_date PARAMS const {                                          \
        return &msglib::detail::expect_kind<Tm_date>(require ARGS, TMK_DATE,                      \
                                                     [&] { return WHAT; });                       \
    }                                                                                             \
    const Tm_file* OWNER::get_member_file PARAMS const {                                          \
        return &msglib::detail::expect_kind<Tm_file>(require ARGS, TMK_FILE,                      \
                                                     [&] { return WHAT; });                       \
    }                                                                                             \
    const Message* OWNER::get_member_message PARAMS const {                                       \
        return &msglib::detail::expect_kind<Tm_message_value>(require ARGS, TMK_MESSAGE, [&] {    \
                    return WHAT;                                                                  \
                }).get();                                                                         \
    }
