#pragma once

#include <memory>
#include <string>
#include <vector>

#include <orx/msglib/TmValue.h>

class Tm_struct;
class Message;

// Element storage of an array: the owning store of Tm_array, or one a derived array brings.
class Tm_value_container {
  public:
    virtual ~Tm_value_container();
    virtual int size() const = 0;
    // Element i, 0 <= i < size().
    virtual const Tm_value* at(int i) const = 0;
    virtual void reserve(int n) = 0;
    virtual void clear() = 0;
    virtual void push_back(std::unique_ptr<Tm_value> value) = 0;
};

// Owns its elements.
class Tm_owning_container final : public Tm_value_container {
  public:
    Tm_owning_container() = default;
    // Keeps the element list in arena, which must outlive the container (decoder).
    explicit Tm_owning_container(Tm_arena& arena)
        : items_(Tm_arena_allocator<std::unique_ptr<Tm_value>>(&arena)) {}

    int size() const override { return static_cast<int>(items_.size()); }
    const Tm_value* at(int i) const override { return items_[static_cast<size_t>(i)].get(); }
    void reserve(int n) override { items_.reserve(static_cast<size_t>(n)); }
    void clear() override { items_.clear(); }
    void push_back(std::unique_ptr<Tm_value> value) override { items_.push_back(std::move(value)); }

  private:
    std::vector<std::unique_ptr<Tm_value>, Tm_arena_allocator<std::unique_ptr<Tm_value>>> items_;
};

// An ordered list of values. Tm_array() owns its elements. Derived arrays (views over plain
// numbers and the like) use Tm_array(container): with a container of their own, the base
// operations work on it; with nullptr, the base operations that need elements refuse with
// Tm_exception, and the derived class overrides what it supports.
//
// Reads check the type first (Tm_type_mismatch_exception(element kind, requested kind), no
// conversion) and then the index (Tm_out_of_range_exception(i, 0, count - 1)).
class Tm_array : public Tm_value {
  public:
    Tm_array();
    // container must outlive the array (typically a member of the derived class), or be null.
    explicit Tm_array(Tm_value_container* container);
    // Owns its elements and keeps their list in arena, which must outlive the array (decoder).
    explicit Tm_array(Tm_arena& arena);
    ~Tm_array() override;
    Tm_array(const Tm_array&) = delete;
    Tm_array& operator=(const Tm_array&) = delete;

    int get_kind() const override { return TMK_ARRAY; }

    virtual void reserve(int n);  // a hint: without a container it does nothing
    virtual void clear();
    virtual void add_member(int8_t value);
    virtual void add_member(uint8_t value);
    virtual void add_member(int16_t value);
    virtual void add_member(uint16_t value);
    virtual void add_member(int32_t value);
    virtual void add_member(uint32_t value);
    virtual void add_member(int64_t value);
    virtual void add_member(uint64_t value);
    virtual void add_member(double value);
    virtual void add_member(bool value);
    virtual void add_member(const std::string& value);
    virtual void add_member(const char* value);
    virtual void add_member(const Tm_binary* value);  // copies *value
    virtual void add_member(const Tm_binary& value);
    // Takes ownership of value (also when it throws).
    virtual void add_member_and_own(Tm_value* value);

    virtual int get_member_count() const;
    // Kind of element i (a TMV for simple elements).
    virtual int get_member_value_type(int i) const;
    virtual int8_t get_member_int8(int i) const;
    virtual uint8_t get_member_uint8(int i) const;
    virtual int16_t get_member_int16(int i) const;
    virtual uint16_t get_member_uint16(int i) const;
    virtual int32_t get_member_int32(int i) const;
    virtual uint32_t get_member_uint32(int i) const;
    virtual int64_t get_member_int64(int i) const;
    virtual uint64_t get_member_uint64(int i) const;
    virtual double get_member_double(int i) const;
    virtual bool get_member_bool(int i) const;
    virtual const std::string& get_member_string(int i) const;
    virtual const Tm_array* get_member_array(int i) const;
    virtual const Tm_struct* get_member_struct(int i) const;
    virtual const Tm_date* get_member_date(int i) const;
    virtual const Tm_binary* get_member_binary(int i) const;
    virtual const Tm_file* get_member_file(int i) const;
    virtual const Message* get_member_message(int i) const;
    // Element i as a value object; nullptr for arrays that hold plain numbers instead of objects
    // (read those with the typed getters or item_accept).
    virtual const Tm_value* get_member(int i) const;

    // Hands element i to the visitor.
    virtual bool item_accept(int i, Tm_visitor& visitor) const;
    // Walks the array: start, elements, end, with the resume rules of Tm_visitor.
    bool accept(Tm_visitor& visitor) const override;
    Tm_value* clone() const override;
    // Same count and, element by element, same kind and value.
    bool equals(const Tm_value& other) const override;

    // Fast path for the codec: the elements as one run of little-endian numbers of the simple
    // type tmv, or nullptr when the array is not stored that way.
    virtual const void* contiguous_data(int& tmv, int& count) const;

  protected:
    // Element i of the container after the range check; throws without a container.
    const Tm_value* element(int i, const char* operation) const;
    Tm_value_container* container(const char* operation) const;

  private:
    template <class V>
    const V& typed(int i, int kind) const;

    Tm_owning_container own_;
    Tm_value_container* container_;
};

// An owning array of numbers of one simple type, stored packed: what the decoder produces for
// numeric arrays, one allocation for the whole run.
class Tm_packed_array final : public Tm_array {
  public:
    explicit Tm_packed_array(int tmv);
    Tm_packed_array(int tmv, const void* data, int count);
    // Keeps the numbers in arena, which must outlive the array (decoder).
    Tm_packed_array(int tmv, const void* data, int count, Tm_arena& arena);

    int get_tmv() const { return tmv_; }
    const uint8_t* data() const { return bytes_.data(); }

    void reserve(int n) override;
    void clear() override;
    void add_member(int8_t value) override;
    void add_member(uint8_t value) override;
    void add_member(int16_t value) override;
    void add_member(uint16_t value) override;
    void add_member(int32_t value) override;
    void add_member(uint32_t value) override;
    void add_member(int64_t value) override;
    void add_member(uint64_t value) override;
    void add_member(double value) override;
    void add_member(bool value) override;
    void add_member(const std::string& value) override;
    void add_member(const char* value) override;
    void add_member(const Tm_binary* value) override;
    void add_member(const Tm_binary& value) override;
    // Accepts a simple value of the array's type (and deletes it).
    void add_member_and_own(Tm_value* value) override;

    int get_member_count() const override { return count_; }
    int get_member_value_type(int i) const override;
    int8_t get_member_int8(int i) const override;
    uint8_t get_member_uint8(int i) const override;
    int16_t get_member_int16(int i) const override;
    uint16_t get_member_uint16(int i) const override;
    int32_t get_member_int32(int i) const override;
    uint32_t get_member_uint32(int i) const override;
    int64_t get_member_int64(int i) const override;
    uint64_t get_member_uint64(int i) const override;
    double get_member_double(int i) const override;
    bool get_member_bool(int i) const override;
    const std::string& get_member_string(int i) const override;
    const Tm_array* get_member_array(int i) const override;
    const Tm_struct* get_member_struct(int i) const override;
    const Tm_date* get_member_date(int i) const override;
    const Tm_binary* get_member_binary(int i) const override;
    const Tm_file* get_member_file(int i) const override;
    const Message* get_member_message(int i) const override;
    const Tm_value* get_member(int i) const override;

    bool item_accept(int i, Tm_visitor& visitor) const override;
    Tm_value* clone() const override;
    const void* contiguous_data(int& tmv, int& count) const override;

  private:
    // Storage from arena when not null.
    Tm_packed_array(int tmv, Tm_arena* arena);
    void fill(const void* data, int count);
    template <class T>
    void append(T value);
    template <class T>
    T read(int i) const;
    [[noreturn]] void refuse(int kind, int i) const;

    int tmv_;
    int width_;
    int count_ = 0;
    std::vector<uint8_t, Tm_arena_allocator<uint8_t>> bytes_;
};
