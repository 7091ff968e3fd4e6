#pragma once

#include <cstdint>
#include <type_traits>

// Message types.
enum TMT : int { TMT_REQUEST = 0, TMT_RESPONSE = 1, TMT_FAILED_RESPONSE = 2 };

// Member groups of a message: group 0 is the meta group, group 1 holds the members.
enum TMG : int { TMG_META = 0, TMG_MEMBERS = 1 };
constexpr int TMG_LAST = 15;  // groups 0..15 exist

// Simple value types.
enum TMV : int {
    TMV_INT8 = 0,
    TMV_UINT8 = 1,
    TMV_INT16 = 2,
    TMV_UINT16 = 3,
    TMV_INT32 = 4,
    TMV_UINT32 = 5,
    TMV_INT64 = 6,
    TMV_UINT64 = 7,
    TMV_DOUBLE = 8,
    TMV_BOOL = 9
};

// Every kind of value; the simple kinds keep their TMV numbers.
enum Tm_kind : int {
    TMK_INT8 = 0,
    TMK_UINT8 = 1,
    TMK_INT16 = 2,
    TMK_UINT16 = 3,
    TMK_INT32 = 4,
    TMK_UINT32 = 5,
    TMK_INT64 = 6,
    TMK_UINT64 = 7,
    TMK_DOUBLE = 8,
    TMK_BOOL = 9,
    TMK_STRING = 10,
    TMK_BINARY = 11,
    TMK_ARRAY = 12,
    TMK_STRUCT = 13,
    TMK_DATE = 14,
    TMK_FILE = 15,
    TMK_MESSAGE = 16
};

// "uint32", "struct", ...; "kind <n>" text is never returned: unknown kinds give "unknown".
const char* tm_kind_name(int kind);

inline bool tm_is_simple(int kind) {
    return kind >= TMK_INT8 && kind <= TMK_BOOL;
}

// Bytes of one element of a simple type (bool: 1); 0 for other kinds.
int tm_simple_size(int tmv);

// C++ type -> simple value type. Every integer type maps by size and signedness, so `long`
// and `long long` are both int64.
template <class T>
struct tm_simple_traits;

#define ORX_TM_SIMPLE_TRAIT(CT, ST, K) \
    template <>                        \
    struct tm_simple_traits<CT> {      \
        using storage = ST;            \
        static constexpr int tmv = K;  \
    };
ORX_TM_SIMPLE_TRAIT(signed char, int8_t, TMV_INT8)
ORX_TM_SIMPLE_TRAIT(unsigned char, uint8_t, TMV_UINT8)
ORX_TM_SIMPLE_TRAIT(short, int16_t, TMV_INT16)
ORX_TM_SIMPLE_TRAIT(unsigned short, uint16_t, TMV_UINT16)
ORX_TM_SIMPLE_TRAIT(int, int32_t, TMV_INT32)
ORX_TM_SIMPLE_TRAIT(unsigned int, uint32_t, TMV_UINT32)
ORX_TM_SIMPLE_TRAIT(long, int64_t, TMV_INT64)
ORX_TM_SIMPLE_TRAIT(unsigned long, uint64_t, TMV_UINT64)
ORX_TM_SIMPLE_TRAIT(long long, int64_t, TMV_INT64)
ORX_TM_SIMPLE_TRAIT(unsigned long long, uint64_t, TMV_UINT64)
ORX_TM_SIMPLE_TRAIT(double, double, TMV_DOUBLE)
ORX_TM_SIMPLE_TRAIT(bool, bool, TMV_BOOL)
#undef ORX_TM_SIMPLE_TRAIT

template <class T>
concept tm_simple_type = requires {
    tm_simple_traits<std::remove_cv_t<T>>::tmv;
};
