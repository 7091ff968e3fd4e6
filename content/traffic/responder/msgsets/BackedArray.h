#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <orx/msglib/TmArena.h>
#include <orx/msglib/TmArray.h>
#include <orx/msglib/TmException.h>
#include <orx/msglib/TmTypes.h>
#include <orx/msglib/TmVisitor.h>

// Array values over a run of plain numbers of one simple type. Tm_backed_array is a view: it
// borrows the elements, which must outlive every message it goes into (requests travel
// asynchronously, so callers normally use the copying kind). Tm_copy_backed_array keeps a copy
// of its own. Both refuse every change and every non-numeric read.
template <class Iter>
class Tm_backed_array : public Tm_array {
  public:
    using element_type = std::remove_cv_t<typename std::iterator_traits<Iter>::value_type>;

    // tmv must be the simple type of the elements: a mismatch would put wrong bytes on the wire.
    Tm_backed_array(Iter first, int count, int tmv)
        : Tm_array(nullptr), first_(first), count_(count), tmv_(tmv) {
        check_shape(count, tmv);
    }

    int get_tmv() const { return tmv_; }

    void reserve(int) override { refuse("reserve()"); }
    void clear() override { refuse("clear()"); }
    void add_member(int8_t) override { refuse("add_member()"); }
    void add_member(uint8_t) override { refuse("add_member()"); }
    void add_member(int16_t) override { refuse("add_member()"); }
    void add_member(uint16_t) override { refuse("add_member()"); }
    void add_member(int32_t) override { refuse("add_member()"); }
    void add_member(uint32_t) override { refuse("add_member()"); }
    void add_member(int64_t) override { refuse("add_member()"); }
    void add_member(uint64_t) override { refuse("add_member()"); }
    void add_member(double) override { refuse("add_member()"); }
    void add_member(bool) override { refuse("add_member()"); }
    void add_member(const std::string&) override { refuse("add_member()"); }
    void add_member(const char*) override { refuse("add_member()"); }
    void add_member(const Tm_binary*) override { refuse("add_member()"); }
    void add_member(const Tm_binary&) override { refuse("add_member()"); }
    void add_member_and_own(Tm_value* value) override {
        std::unique_ptr<Tm_value> owned(value);  // owned even when refused
        refuse("add_member_and_own()");
    }

    int get_member_count() const override { return count_; }
    int get_member_value_type(int i) const override {
        check_index(i);
        return tmv_;
    }
    int8_t get_member_int8(int i) const override { return typed<int8_t>(i); }
    uint8_t get_member_uint8(int i) const override { return typed<uint8_t>(i); }
    int16_t get_member_int16(int i) const override { return typed<int16_t>(i); }
    uint16_t get_member_uint16(int i) const override { return typed<uint16_t>(i); }
    int32_t get_member_int32(int i) const override { return typed<int32_t>(i); }
    uint32_t get_member_uint32(int i) const override { return typed<uint32_t>(i); }
    int64_t get_member_int64(int i) const override { return typed<int64_t>(i); }
    uint64_t get_member_uint64(int i) const override { return typed<uint64_t>(i); }
    // Flags and plotted values are read from arrays of any integer type, so these two convert.
    double get_member_double(int i) const override {
        check_index(i);
        return static_cast<double>(at(i));
    }
    bool get_member_bool(int i) const override {
        check_index(i);
        return at(i) != 0;
    }
    const std::string& get_member_string(int) const override { refuse("get_member_string()"); }
    const Tm_array* get_member_array(int) const override { refuse("get_member_array()"); }
    const Tm_struct* get_member_struct(int) const override { refuse("get_member_struct()"); }
    const Tm_date* get_member_date(int) const override { refuse("get_member_date()"); }
    const Tm_binary* get_member_binary(int) const override { refuse("get_member_binary()"); }
    const Tm_file* get_member_file(int) const override { refuse("get_member_file()"); }
    const Message* get_member_message(int) const override { refuse("get_member_message()"); }

    bool item_accept(int i, Tm_visitor& visitor) const override {
        check_index(i);
        const element_type e = at(i);
        switch (tmv_) {
            case TMV_INT8:
                return visitor.visit_int8(static_cast<int8_t>(e));
            case TMV_UINT8:
                return visitor.visit_uint8(static_cast<uint8_t>(e));
            case TMV_INT16:
                return visitor.visit_int16(static_cast<int16_t>(e));
            case TMV_UINT16:
                return visitor.visit_uint16(static_cast<uint16_t>(e));
            case TMV_INT32:
                return visitor.visit_int32(static_cast<int32_t>(e));
            case TMV_UINT32:
                return visitor.visit_uint32(static_cast<uint32_t>(e));
            case TMV_INT64:
                return visitor.visit_int64(static_cast<int64_t>(e));
            case TMV_UINT64:
                return visitor.visit_uint64(static_cast<uint64_t>(e));
            case TMV_DOUBLE:
                return visitor.visit_double(static_cast<double>(e));
            case TMV_BOOL:
                return visitor.visit_bool(e != 0);
            default:
                throw Tm_exception(
                    "invalid use of Tm_backed_array: supports only simple TMV types");
        }
    }
    // The walk itself (start, elements, end, resuming at a saved position) is Tm_array::accept,
    // which reaches the elements through get_member_count() and item_accept().
    using Tm_array::accept;

    // Another view of the same elements.
    Tm_value* clone() const override { return new Tm_backed_array(first_, count_, tmv_); }
    // A borrowed run has no identity of its own to compare.
    bool equals(const Tm_value&) const override { return false; }

    const void* contiguous_data(int& tmv, int& count) const override {
        if constexpr (std::contiguous_iterator<Iter>) {
            tmv = tmv_;
            count = count_;
            // Never null, also when empty: null would mean "not stored as one run".
            return count_ == 0 ? static_cast<const void*>(&count_)
                               : static_cast<const void*>(std::to_address(first_));
        } else {
            return nullptr;
        }
    }

  protected:
    static void check_shape(int count, int tmv) {
        if (count < 0) {
            throw Tm_exception("Tm_backed_array: negative element count " + std::to_string(count));
        }
        if (tmv != tm_simple_traits<element_type>::tmv) {
            throw Tm_exception("Tm_backed_array: elements of simple type " +
                               std::to_string(tm_simple_traits<element_type>::tmv) +
                               " cannot be presented as type " + std::to_string(tmv));
        }
    }

  private:
    [[noreturn]] static void refuse(const char* operation) {
        throw Tm_exception(std::string(operation) + " is not supported by backed arrays");
    }
    void check_index(int i) const {
        if (i < 0 || i >= count_) {
            throw Tm_out_of_range_exception(i, 0, count_ - 1);
        }
    }
    element_type at(int i) const { return *std::next(first_, i); }
    template <class T>
    T typed(int i) const {
        constexpr int requested = tm_simple_traits<T>::tmv;
        if (requested != tmv_) {
            throw Tm_type_mismatch_exception(tmv_, requested);
        }
        check_index(i);
        return static_cast<T>(at(i));
    }

    Iter first_;
    int count_;
    int tmv_;
};

namespace msgsets::detail {
// Holds the copied elements; a base, so that they exist before the view over them is made.
template <class T>
struct copy_store {
    std::vector<T, Tm_arena_allocator<T>> items;
};
}  // namespace msgsets::detail

template <class T, class Iter>
class Tm_copy_backed_array : private msgsets::detail::copy_store<T>,
                             public Tm_backed_array<const T*> {
    using store = msgsets::detail::copy_store<T>;
    using view = Tm_backed_array<const T*>;

  public:
    Tm_copy_backed_array(Iter first, int count, int tmv)
        : Tm_copy_backed_array(first, count, tmv, nullptr) {}
    // Keeps the copy in arena when not null; arena must outlive the array (a message group's).
    Tm_copy_backed_array(Iter first, int count, int tmv, Tm_arena* arena)
        : store{copy(first, count, tmv, arena)}, view(store::items.data(), count, tmv) {}

    // A copy owns its elements, so the base array's reserve (a hint) applies, not the refusal.
    void reserve(int n) override { Tm_array::reserve(n); }
    Tm_value* clone() const override {
        return new Tm_copy_backed_array<T, const T*>(
            store::items.data(), static_cast<int>(store::items.size()), view::get_tmv());
    }

  private:
    static std::vector<T, Tm_arena_allocator<T>> copy(Iter first, int count, int tmv,
                                                      Tm_arena* arena) {
        view::check_shape(count, tmv);  // before copying: a negative count must not allocate
        return std::vector<T, Tm_arena_allocator<T>>(first, std::next(first, count),
                                                     Tm_arena_allocator<T>(arena));
    }
};
