#pragma once

// The one mechanism behind every message set: a record is described once, as the list of its
// members in wire order (ORX_MSGSET_RECORD_WIRE), and the member types decide how each travels.
// Both directions walk the same list, so they cannot disagree on names, order or kinds.
//
//   arithmetic            simple value of its width (bool, u8 .. u64, i8 .. i64)
//   std::string           string
//   enumeration           its name in the value map found by wire_enum_map(E)
//   std::vector<number>   backed array: a copy with copy == true, a view of the caller's vector
//                         (borrowed: it must outlive the message) with copy == false
//   std::array<u8, N>     fixed-size byte run, always copied; reading requires exactly N bytes
//   std::vector<string>, std::vector<Tm_binary>, std::vector<enumeration>   owning Tm_array
//   record                nested Tm_prenamed_struct (wire_to_struct / wire_from_struct by ADL)
//   std::vector<record>   owning Tm_array of nested structures

#include <array>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <orx/msglib/Message.h>
#include <orx/msglib/TmArray.h>
#include <orx/msglib/TmCatalog.h>
#include <orx/msglib/TmEnum.h>
#include <orx/msglib/TmException.h>
#include <orx/msglib/TmStruct.h>
#include <orx/msglib/TmValue.h>
#include "BackedArray.h"

namespace msgsets::wire {

using Catalog = Tm_catalog<std::string>;

// Where a value is read from, for error texts: a member of a record or of a message.
struct Where {
    const char* member;
    const char* owner;  // "respConfig_s", or the message's request name
    std::string text() const;
};

template <class T>
concept number = std::is_arithmetic_v<T> && !std::is_same_v<T, bool> && tm_simple_type<T>;
template <class T>
concept simple = std::is_arithmetic_v<T> && tm_simple_type<T>;
template <class E>
concept named_enum = std::is_enum_v<E> && requires(E e) {
    { wire_enum_map(e) } -> std::convertible_to<const tm_enum_map*>;
};
template <class R>
concept record = requires(const R* r, R* w, Tm_prenamed_struct* s, const Tm_struct* cs) {
    wire_to_struct(s, r, true, static_cast<Catalog*>(nullptr));
    wire_from_struct(cs, w);
};

[[noreturn]] void mismatch(const Tm_value& value, int expected, const Where& where);
// The element count of an array read from a message, checked before anything is reserved:
// not negative, and every announced element present.
int checked_count(const Tm_array& array, const Where& where);
const Tm_array& as_array(const Tm_value& value, const Where& where);
// Element i of an array of structures.
const Tm_struct& struct_element(const Tm_array& a, int i, const Where& where);
const Tm_struct& as_struct(const Tm_value& value, const Where& where);
const std::string& as_string(const Tm_value& value, const Where& where);
const char* enum_name(int value, const tm_enum_map* map, const Where& where);
int enum_value(const std::string& name, const tm_enum_map* map, const Where& where);

// Writing: each kind becomes one value object, owned by the caller. Values are made in arena,
// that of the message group they go into, so that a large request costs a few heap calls
// instead of several per record; with a null arena they are made on the heap. ----------------

// A value of class V in arena, or on the heap when arena is null.
template <class V, class... A>
V* make_in(Tm_arena* arena, A&&... args) {
    if (arena != nullptr) {
        return new (*arena) V(std::forward<A>(args)...);
    }
    return new V(std::forward<A>(args)...);
}
// An empty owning array whose element list lives in arena too.
inline Tm_array* make_list(Tm_arena* arena, size_t reserve) {
    Tm_array* array = arena != nullptr ? new (*arena) Tm_array(*arena) : new Tm_array();
    array->reserve(static_cast<int>(reserve));
    return array;
}

template <simple T>
Tm_value* make_value(T value, bool, Catalog*, Tm_arena* arena) {
    using V = tm_simple_value_t<T>;
    return make_in<V>(arena, static_cast<typename V::value_type>(value));
}
inline Tm_value* make_value(const std::string& value, bool, Catalog*, Tm_arena* arena) {
    return make_in<Tm_string>(arena, value);
}
template <named_enum E>
Tm_value* make_value(E value, bool, Catalog*, Tm_arena* arena) {
    return make_in<Tm_string>(arena,
                              enum_name(static_cast<int>(value), wire_enum_map(value), {"", ""}));
}
template <number T>
Tm_value* make_value(const std::vector<T>& values, bool copy, Catalog*, Tm_arena* arena) {
    using It = typename std::vector<T>::const_iterator;
    const int n = static_cast<int>(values.size());
    constexpr int tmv = tm_simple_traits<T>::tmv;
    if (copy) {
        return make_in<Tm_copy_backed_array<T, It>>(arena, values.begin(), n, tmv, arena);
    }
    return make_in<Tm_backed_array<It>>(arena, values.begin(), n, tmv);
}
template <size_t N>
Tm_value* make_value(const std::array<uint8_t, N>& bytes, bool, Catalog*, Tm_arena* arena) {
    return make_in<Tm_copy_backed_array<unsigned char, const unsigned char*>>(
        arena, bytes.data(), static_cast<int>(N), TMV_UINT8, arena);
}
Tm_value* make_value(const std::vector<std::string>& values, bool, Catalog*, Tm_arena* arena);
Tm_value* make_value(const std::vector<Tm_binary>& values, bool, Catalog*, Tm_arena* arena);
template <named_enum E>
Tm_value* make_value(const std::vector<E>& values, bool, Catalog*, Tm_arena* arena) {
    std::unique_ptr<Tm_array> array(make_list(arena, values.size()));
    for (E e : values) {
        array->add_member_and_own(
            make_in<Tm_string>(arena, enum_name(static_cast<int>(e), wire_enum_map(e), {"", ""})));
    }
    return array.release();
}
template <record R>
Tm_value* make_value(const R& value, bool copy, Catalog* catalog, Tm_arena* arena) {
    std::unique_ptr<Tm_prenamed_struct> s(arena != nullptr ? new (*arena)
                                                                 Tm_prenamed_struct(catalog, *arena)
                                                           : new Tm_prenamed_struct(catalog));
    wire_to_struct(s.get(), &value, copy, catalog, arena);
    return s.release();
}
template <record R>
Tm_value* make_value(const std::vector<R>& values, bool copy, Catalog* catalog, Tm_arena* arena) {
    std::unique_ptr<Tm_array> array(make_list(arena, values.size()));
    for (const R& r : values) {
        array->add_member_and_own(make_value(r, copy, catalog, arena));
    }
    return array.release();
}

// Reading: each kind from one value, replacing what *out held ---------------------------------

template <simple T>
void read_value(const Tm_value& value, const Where& where, T* out) {
    constexpr int kind = tm_simple_traits<T>::tmv;
    if (value.get_kind() != kind) {
        mismatch(value, kind, where);
    }
    *out = static_cast<T>(static_cast<const tm_simple_value_t<T>&>(value).get());
}
inline void read_value(const Tm_value& value, const Where& where, std::string* out) {
    *out = as_string(value, where);
}
template <named_enum E>
void read_value(const Tm_value& value, const Where& where, E* out) {
    *out = static_cast<E>(enum_value(as_string(value, where), wire_enum_map(E{}), where));
}

// Element i of an array as T, through the typed getter (checks the element type).
template <number T>
T element(const Tm_array& a, int i) {
    switch (tm_simple_traits<T>::tmv) {
        case TMV_INT8:
            return static_cast<T>(a.get_member_int8(i));
        case TMV_UINT8:
            return static_cast<T>(a.get_member_uint8(i));
        case TMV_INT16:
            return static_cast<T>(a.get_member_int16(i));
        case TMV_UINT16:
            return static_cast<T>(a.get_member_uint16(i));
        case TMV_INT32:
            return static_cast<T>(a.get_member_int32(i));
        case TMV_UINT32:
            return static_cast<T>(a.get_member_uint32(i));
        case TMV_INT64:
            return static_cast<T>(a.get_member_int64(i));
        case TMV_UINT64:
            return static_cast<T>(a.get_member_uint64(i));
        default:
            return static_cast<T>(a.get_member_double(i));
    }
}

// Refuses an array whose elements are not of the simple type tmv (before anything is sized).
void check_element_type(const Tm_array& a, int n, int tmv, const Where& where);

// Copies the n numbers of a, whose element type has been checked, into out[0..n).
template <number T>
void read_numbers(const Tm_array& a, int n, const Where& where, T* out) {
    int run_tmv = -1;
    int run_count = 0;
    if (const void* run = a.contiguous_data(run_tmv, run_count)) {
        if (run_count != n) {
            throw Tm_exception(where.text() + " announces " + std::to_string(n) +
                               " elements but stores " + std::to_string(run_count));
        }
        if (n > 0) {
            std::memcpy(out, run, static_cast<size_t>(n) * sizeof(T));
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        out[i] = element<T>(a, i);
    }
}

template <number T>
void read_value(const Tm_value& value, const Where& where, std::vector<T>* out) {
    const Tm_array& a = as_array(value, where);
    const int n = checked_count(a, where);
    check_element_type(a, n, tm_simple_traits<T>::tmv, where);
    out->clear();
    out->resize(static_cast<size_t>(n));
    read_numbers(a, n, where, out->data());
}
template <size_t N>
void read_value(const Tm_value& value, const Where& where, std::array<uint8_t, N>* out) {
    const Tm_array& a = as_array(value, where);
    const int n = checked_count(a, where);
    if (n != static_cast<int>(N)) {
        throw Tm_exception(where.text() + " holds " + std::to_string(n) + " bytes, expected " +
                           std::to_string(N));
    }
    check_element_type(a, n, TMV_UINT8, where);
    read_numbers(a, n, where, out->data());
}
void read_value(const Tm_value& value, const Where& where, std::vector<std::string>* out);
void read_value(const Tm_value& value, const Where& where, std::vector<Tm_binary>* out);
template <named_enum E>
void read_value(const Tm_value& value, const Where& where, std::vector<E>* out) {
    const Tm_array& a = as_array(value, where);
    const int n = checked_count(a, where);
    out->clear();
    out->reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        out->push_back(
            static_cast<E>(enum_value(a.get_member_string(i), wire_enum_map(E{}), where)));
    }
}
template <record R>
void read_value(const Tm_value& value, const Where& where, R* out) {
    wire_from_struct(&as_struct(value, where), out);
}
template <record R>
void read_value(const Tm_value& value, const Where& where, std::vector<R>* out) {
    const Tm_array& a = as_array(value, where);
    const int n = checked_count(a, where);
    out->clear();
    out->reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        wire_from_struct(&struct_element(a, i, where), &out->emplace_back());
    }
}

// Records --------------------------------------------------------------------------------------

const Tm_value& require(const Tm_struct& s, const Where& where);
// Fills ids[0..n) with the catalog indexes of the first n entries of a record's name table in
// the catalog of s (-1: absent); returns ids, or nullptr when s has no catalog.
const int* name_ids(const Tm_struct& s, const char* const* names, int* ids, size_t n);
// The member of s named where.member, whose catalog index is ids[index], as require() finds it:
// looked for first at index, where records keep it, and by index instead of by name.
const Tm_value& require_at(const Tm_struct& s, const int* ids, int index, const Where& where);

template <class... M>
Tm_prenamed_struct* to_struct(Tm_prenamed_struct* s, const char* const* names, const char* record,
                              [[maybe_unused]] bool copy, [[maybe_unused]] Catalog* catalog,
                              [[maybe_unused]] Tm_arena* arena, const M&... members) {
    if (s == nullptr) {
        throw Tm_exception(std::string(record) + ": no structure to fill");
    }
    s->clear(names);
    s->reserve(static_cast<int>(sizeof...(M)));
    [[maybe_unused]] int i = 0;
    (s->add_member_and_own(i++, make_value(members, copy, catalog, arena), catalog), ...);
    return s;
}

template <class... M>
void from_struct(const Tm_struct* s, [[maybe_unused]] const char* const* names, const char* record,
                 M&... members) {
    if (s == nullptr) {
        throw Tm_exception(std::string(record) + ": no structure to read");
    }
    [[maybe_unused]] int id_store[sizeof...(M) + 1];
    [[maybe_unused]] const int* ids = name_ids(*s, names, id_store, sizeof...(M));
    [[maybe_unused]] int i = 0;
    (
        [&] {
            const Where where{names[i], record};
            read_value(require_at(*s, ids, i, where), where, &members);
            ++i;
        }(),
        ...);
}

// Messages -------------------------------------------------------------------------------------

// Starts a message: names by catalog, group 1 cleared, the type set, and the request name when
// one is given (the statistics and interface-setup sets leave it to the carrying set).
void begin(Message* m, TMT type, const char* request_name);
// Last step of every build.
void finish(Message* m);
// Message types other than `expected` are refused before anything is read.
void expect_type(const Message* m, TMT expected);

template <class T>
void put(Message* m, const char* name, const T& value, bool copy) {
    Catalog* catalog = m->get_send_member_string(TMG_MEMBERS);
    m->add_member_and_own(TMG_MEMBERS, name,
                          make_value(value, copy, catalog, &m->get_arena(TMG_MEMBERS)));
}

const Tm_value& require(const Message& m, const char* name);

template <class T>
void get(const Message* m, const char* name, T* out) {
    if (m == nullptr) {
        throw Tm_exception(std::string("no message to read member '") + name + "' from");
    }
    read_value(require(*m, name), Where{name, m->get_request_name().c_str()}, out);
}

inline void put_all(Message*, bool) {}
// Adds (name, value) pairs to group 1 in order.
template <class T, class... Rest>
void put_all(Message* m, bool copy, const char* name, const T& value, const Rest&... rest) {
    put(m, name, value, copy);
    put_all(m, copy, rest...);
}

// A whole message: begin, the (name, value) members in order, finish.
template <class... Members>
void build(Message* m, TMT type, const char* request_name, bool copy, const Members&... members) {
    begin(m, type, request_name);
    put_all(m, copy, members...);
    finish(m);
}

inline void get_all(const Message*) {}
// Reads (name, output) pairs of group 1; the outputs change only once every member has been
// read, so a refused message leaves them as they were.
template <class T, class... Rest>
void get_all(const Message* m, const char* name, T* out, Rest... rest) {
    if (out == nullptr) {
        throw Tm_exception(std::string("no output for member '") + name + "'");
    }
    T value{};
    get(m, name, &value);
    get_all(m, rest...);
    *out = std::move(value);
}

// A record's member list must name each of its struct's members once. The list can only name
// members that exist (the functions below read record->m), so it is complete exactly when its
// names are distinct and as many as the struct has. The struct's count is its aggregate arity:
// the largest N for which R{any x N} compiles, `any` converting to every member type (a record,
// std::array or std::vector member takes one `any` whole, so no brace elision inflates it).
// A base class or a C array member would count differently and fail the check, never pass it.
namespace arity {

struct any {
    template <class T>
    operator T() const;
};

template <class R, size_t... I>
constexpr bool takes(std::index_sequence<I...>) {
    return requires {
        R{(static_cast<void>(I), any{})...};
    };
}

template <class R, size_t N = 0>
constexpr size_t count() {
    if constexpr (takes<R>(std::make_index_sequence<N + 1>{}))
        return count<R, N + 1>();
    else
        return N;
}

}  // namespace arity

template <class R>
constexpr size_t member_count() {
    static_assert(std::is_aggregate_v<R>, "a message-set record is an aggregate");
    return arity::count<R>();
}

constexpr bool distinct(std::initializer_list<std::string_view> names) {
    for (auto a = names.begin(); a != names.end(); ++a) {
        for (auto b = a + 1; b != names.end(); ++b) {
            if (*a == *b)
                return false;
        }
    }
    return true;
}

}  // namespace msgsets::wire

// Declares the wire functions of record X_s: its member-name table X_t_names (wire order,
// closed by a null entry), X_t_to_struct, X_t_from_struct, and the overloads through which
// records that hold X_s find them.
#define ORX_MSGSET_RECORD(X)                                                                      \
    extern const char* const X##_t_names[];                                                       \
    Tm_prenamed_struct* X##_t_to_struct(Tm_prenamed_struct* s, const X##_s* record, bool copy,    \
                                        Tm_catalog<std::string>* catalog);                        \
    void X##_t_from_struct(const Tm_struct* s, X##_s* record);                                    \
    /* The same with the nested values made in arena (that of the structure's message group). */  \
    Tm_prenamed_struct* X##_t_to_struct_in(Tm_prenamed_struct* s, const X##_s* record, bool copy, \
                                           Tm_catalog<std::string>* catalog, Tm_arena* arena);    \
    inline Tm_prenamed_struct* wire_to_struct(Tm_prenamed_struct* s, const X##_s* record,         \
                                              bool copy, Tm_catalog<std::string>* catalog) {      \
        return X##_t_to_struct(s, record, copy, catalog);                                         \
    }                                                                                             \
    inline Tm_prenamed_struct* wire_to_struct(Tm_prenamed_struct* s, const X##_s* record,         \
                                              bool copy, Tm_catalog<std::string>* catalog,        \
                                              Tm_arena* arena) {                                  \
        return X##_t_to_struct_in(s, record, copy, catalog, arena);                               \
    }                                                                                             \
    inline void wire_from_struct(const Tm_struct* s, X##_s* record) {                             \
        X##_t_from_struct(s, record);                                                             \
    }

// Defines them from the member list, in wire order (the wire names are the member names).
#define ORX_MSGSET_RECORD_WIRE(X, ...)                                                            \
    const char* const X##_t_names[] = {ORX_WIRE_FOR_EACH(ORX_WIRE_NAME, __VA_ARGS__) nullptr};    \
    static_assert(msgsets::wire::distinct({ORX_WIRE_FOR_EACH(ORX_WIRE_NAME, __VA_ARGS__)}),       \
                  #X "_s: a member is listed twice");                                             \
    static_assert(                                                                                \
        msgsets::wire::member_count<X##_s>() == sizeof(X##_t_names) / sizeof(X##_t_names[0]) - 1, \
        #X "_s: its member list and its struct have different members");                          \
    Tm_prenamed_struct* X##_t_to_struct(Tm_prenamed_struct* s, const X##_s* record, bool copy,    \
                                        Tm_catalog<std::string>* catalog) {                       \
        return X##_t_to_struct_in(s, record, copy, catalog, nullptr);                             \
    }                                                                                             \
    Tm_prenamed_struct* X##_t_to_struct_in(Tm_prenamed_struct* s,                                 \
                                           [[maybe_unused]] const X##_s* record, bool copy,       \
                                           Tm_catalog<std::string>* catalog, Tm_arena* arena) {   \
        return msgsets::wire::to_struct(s, X##_t_names, #X "_s", copy, catalog,                   \
                                        arena ORX_WIRE_FOR_EACH(ORX_WIRE_MEMBER, __VA_ARGS__));   \
    }                                                                                             \
    void X##_t_from_struct(const Tm_struct* s, [[maybe_unused]] X##_s* record) {                  \
        msgsets::wire::from_struct(s, X##_t_names,                                                \
                                   #X "_s" ORX_WIRE_FOR_EACH(ORX_WIRE_MEMBER, __VA_ARGS__));      \
    }

#define ORX_WIRE_NAME(m) #m,
#define ORX_WIRE_MEMBER(m) , record->m
#define ORX_WIRE_PARENS ()
#define ORX_WIRE_EXPAND(...) \
    ORX_WIRE_EXPAND3(ORX_WIRE_EXPAND3(ORX_WIRE_EXPAND3(ORX_WIRE_EXPAND3(__VA_ARGS__))))
#define ORX_WIRE_EXPAND3(...) \
    ORX_WIRE_EXPAND2(ORX_WIRE_EXPAND2(ORX_WIRE_EXPAND2(ORX_WIRE_EXPAND2(__VA_ARGS__))))
#define ORX_WIRE_EXPAND2(...) \
    ORX_WIRE_EXPAND1(ORX_WIRE_EXPAND1(ORX_WIRE_EXPAND1(ORX_WIRE_EXPAND1(__VA_ARGS__))))
#define ORX_WIRE_EXPAND1(...) __VA_ARGS__
#define ORX_WIRE_FOR_EACH(macro, ...) \
    __VA_OPT__(ORX_WIRE_EXPAND(ORX_WIRE_FOR_EACH_HELPER(macro, __VA_ARGS__)))
#define ORX_WIRE_FOR_EACH_HELPER(macro, a1, ...) \
    macro(a1) __VA_OPT__(ORX_WIRE_FOR_EACH_AGAIN ORX_WIRE_PARENS(macro, __VA_ARGS__))
#define ORX_WIRE_FOR_EACH_AGAIN() ORX_WIRE_FOR_EACH_HELPER
