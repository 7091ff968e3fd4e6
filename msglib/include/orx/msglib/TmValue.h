#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <orx/msglib/TmArena.h>
#include <orx/msglib/TmTypes.h>
#include <orx/msglib/TmVisitor.h>

// Base of every value a message carries.
class Tm_value {
  public:
    virtual ~Tm_value();
    // One of Tm_kind (the simple kinds are their TMV).
    virtual int get_kind() const = 0;
    virtual bool accept(Tm_visitor& visitor) const = 0;
    // A deep copy owned by the caller.
    virtual Tm_value* clone() const = 0;
    virtual bool equals(const Tm_value& other) const = 0;

    // Values are made on the heap with plain `new`, or in a decoded message's arena with
    // `new (arena) T(...)`; `delete` handles both (arena memory goes with the arena).
    static void* operator new(size_t size);
    static void* operator new(size_t size, Tm_arena& arena);
    static void operator delete(void* p) noexcept;
    static void operator delete(void* p, Tm_arena& arena) noexcept;

  protected:
    Tm_value() = default;
    Tm_value(const Tm_value&) = default;
    Tm_value& operator=(const Tm_value&) = default;
};

namespace msglib::detail {
// Every value carries a header of this size (keeping 16-byte alignment) whose first byte tells
// whether its memory came from the heap or from an arena.
inline constexpr size_t kValueHeader = 16;
inline constexpr unsigned char kValueFromHeap = 0x48;
inline constexpr unsigned char kValueFromArena = 0x41;
}  // namespace msglib::detail

// Inline: a decoded message makes one call per value.
inline void* Tm_value::operator new(size_t size, Tm_arena& arena) {
    auto* p = static_cast<unsigned char*>(arena.allocate(size + msglib::detail::kValueHeader));
    p[0] = msglib::detail::kValueFromArena;
    return p + msglib::detail::kValueHeader;
}

// One number or bool. Doubles compare by their bits, so NaN payloads survive a round trip check.
template <class T, int K>
class Tm_simple final : public Tm_value {
  public:
    using value_type = T;
    static constexpr int kind = K;

    explicit Tm_simple(T value = T()) : value_(value) {}
    T get() const { return value_; }
    void set(T value) { value_ = value; }

    int get_kind() const override { return K; }
    bool accept(Tm_visitor& visitor) const override { return tm_visit(visitor, value_); }
    Tm_value* clone() const override { return new Tm_simple(value_); }
    bool equals(const Tm_value& other) const override {
        if (other.get_kind() != K) {
            return false;
        }
        T o = static_cast<const Tm_simple&>(other).value_;
        return std::memcmp(&o, &value_, sizeof(T)) == 0;
    }

  private:
    T value_;
};

using Tm_int8 = Tm_simple<int8_t, TMK_INT8>;
using Tm_uint8 = Tm_simple<uint8_t, TMK_UINT8>;
using Tm_int16 = Tm_simple<int16_t, TMK_INT16>;
using Tm_uint16 = Tm_simple<uint16_t, TMK_UINT16>;
using Tm_int32 = Tm_simple<int32_t, TMK_INT32>;
using Tm_uint32 = Tm_simple<uint32_t, TMK_UINT32>;
using Tm_int64 = Tm_simple<int64_t, TMK_INT64>;
using Tm_uint64 = Tm_simple<uint64_t, TMK_UINT64>;
using Tm_double = Tm_simple<double, TMK_DOUBLE>;
using Tm_bool = Tm_simple<bool, TMK_BOOL>;

extern template class Tm_simple<int8_t, TMK_INT8>;
extern template class Tm_simple<uint8_t, TMK_UINT8>;
extern template class Tm_simple<int16_t, TMK_INT16>;
extern template class Tm_simple<uint16_t, TMK_UINT16>;
extern template class Tm_simple<int32_t, TMK_INT32>;
extern template class Tm_simple<uint32_t, TMK_UINT32>;
extern template class Tm_simple<int64_t, TMK_INT64>;
extern template class Tm_simple<uint64_t, TMK_UINT64>;
extern template class Tm_simple<double, TMK_DOUBLE>;
extern template class Tm_simple<bool, TMK_BOOL>;

// The simple value class of a C++ number type: tm_simple_value_t<unsigned int> is Tm_uint32.
template <int K>
struct tm_simple_class;
template <>
struct tm_simple_class<TMV_INT8> {
    using type = Tm_int8;
};
template <>
struct tm_simple_class<TMV_UINT8> {
    using type = Tm_uint8;
};
template <>
struct tm_simple_class<TMV_INT16> {
    using type = Tm_int16;
};
template <>
struct tm_simple_class<TMV_UINT16> {
    using type = Tm_uint16;
};
template <>
struct tm_simple_class<TMV_INT32> {
    using type = Tm_int32;
};
template <>
struct tm_simple_class<TMV_UINT32> {
    using type = Tm_uint32;
};
template <>
struct tm_simple_class<TMV_INT64> {
    using type = Tm_int64;
};
template <>
struct tm_simple_class<TMV_UINT64> {
    using type = Tm_uint64;
};
template <>
struct tm_simple_class<TMV_DOUBLE> {
    using type = Tm_double;
};
template <>
struct tm_simple_class<TMV_BOOL> {
    using type = Tm_bool;
};
template <class T>
using tm_simple_value_t = typename tm_simple_class<tm_simple_traits<T>::tmv>::type;

// Makes the simple value of a C++ number.
template <tm_simple_type T>
Tm_value* tm_make_simple(T value) {
    using V = tm_simple_value_t<T>;
    return new V(static_cast<typename V::value_type>(value));
}

class Tm_string final : public Tm_value {
  public:
    Tm_string() = default;
    explicit Tm_string(std::string value) : value_(std::move(value)) {}
    const std::string& get() const { return value_; }
    void set(std::string value) { value_ = std::move(value); }

    int get_kind() const override { return TMK_STRING; }
    bool accept(Tm_visitor& visitor) const override;
    Tm_value* clone() const override;
    bool equals(const Tm_value& other) const override;

  private:
    std::string value_;
};

// A byte string.
class Tm_binary final : public Tm_value {
  public:
    Tm_binary() = default;
    Tm_binary(const void* data, size_t size);
    explicit Tm_binary(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    Tm_binary(const Tm_binary&) = default;
    Tm_binary& operator=(const Tm_binary&) = default;
    Tm_binary(Tm_binary&&) noexcept = default;
    Tm_binary& operator=(Tm_binary&&) noexcept = default;

    const uint8_t* data() const { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    void assign(const void* data, size_t size);
    bool operator==(const Tm_binary& other) const { return bytes_ == other.bytes_; }

    int get_kind() const override { return TMK_BINARY; }
    bool accept(Tm_visitor& visitor) const override;
    Tm_value* clone() const override;
    bool equals(const Tm_value& other) const override;

  private:
    std::vector<uint8_t> bytes_;
};

// A point in time: microseconds since 1970-01-01 00:00 UTC.
class Tm_date final : public Tm_value {
  public:
    explicit Tm_date(int64_t microseconds = 0) : usec_(microseconds) {}
    int64_t get_microseconds() const { return usec_; }

    int get_kind() const override { return TMK_DATE; }
    bool accept(Tm_visitor& visitor) const override;
    Tm_value* clone() const override;
    bool equals(const Tm_value& other) const override;

  private:
    int64_t usec_;
};

// A named file content.
class Tm_file final : public Tm_value {
  public:
    Tm_file() = default;
    Tm_file(std::string name, std::vector<uint8_t> content)
        : name_(std::move(name)), content_(std::move(content)) {}
    const std::string& get_name() const { return name_; }
    const std::vector<uint8_t>& get_content() const { return content_; }

    int get_kind() const override { return TMK_FILE; }
    bool accept(Tm_visitor& visitor) const override;
    Tm_value* clone() const override;
    bool equals(const Tm_value& other) const override;

  private:
    std::string name_;
    std::vector<uint8_t> content_;
};
