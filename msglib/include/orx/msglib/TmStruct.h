#pragma once

#include <memory>
#include <string>
#include <vector>

#include <orx/msglib/TmArray.h>
#include <orx/msglib/TmCatalog.h>
#include <orx/msglib/TmValue.h>

// Named members in order. Names are interned in a catalog, normally the one of the message
// group the structure goes into (Message::get_send_member_string), so the wire carries each
// name once. A structure made without a catalog adopts the first one it is handed, or makes a
// private one. Names are always interned in the structure's own catalog; a catalog passed to
// add_member is only adopted when the structure has none yet. A structure does not own a
// catalog it is handed (the message does); its clones share ownership of a message's catalog,
// so a clone stays readable after the message is gone.
class Tm_struct : public Tm_value {
  public:
    Tm_struct();
    explicit Tm_struct(Tm_catalog<std::string>* catalog);
    // Keeps its member list in arena, which must outlive the structure (decoder).
    Tm_struct(Tm_catalog<std::string>* catalog, Tm_arena& arena);
    ~Tm_struct() override;
    Tm_struct(const Tm_struct&) = delete;
    Tm_struct& operator=(const Tm_struct&) = delete;

    int get_kind() const override { return TMK_STRUCT; }
    bool accept(Tm_visitor& visitor) const override;
    Tm_value* clone() const override;
    // Same member names, kinds and values in the same order.
    bool equals(const Tm_value& other) const override;

    template <tm_simple_type T>
    void add_member(const std::string& name, T value, Tm_catalog<std::string>* catalog = nullptr) {
        append(name_id(name, catalog), std::unique_ptr<Tm_value>(tm_make_simple(value)));
    }
    void add_member(const std::string& name, const std::string& value,
                    Tm_catalog<std::string>* catalog = nullptr);
    void add_member(const std::string& name, const char* value,
                    Tm_catalog<std::string>* catalog = nullptr);
    void add_member(const std::string& name, const Tm_binary& value,
                    Tm_catalog<std::string>* catalog = nullptr);
    // Takes ownership of value (also when it throws).
    void add_member_and_own(const std::string& name, Tm_value* value,
                            Tm_catalog<std::string>* catalog = nullptr);
    // Appends a member whose name is entry name_id of the structure's catalog (decoder).
    void add_member_by_id(int name_id, std::unique_ptr<Tm_value> value);
    void reserve(int n);
    void clear();

    int get_member_count() const { return static_cast<int>(members_.size()); }
    const std::string& get_member_name(int i) const;
    int get_member_name_id(int i) const;
    const Tm_value* get_member(int i) const;
    // Index of the first member of that name, or -1.
    int get_member_index(const std::string& name) const;
    bool has_member(const std::string& name) const { return get_member_index(name) >= 0; }
    // The first member of that name, or nullptr.
    const Tm_value* find_member(const std::string& name) const;
    // The first member whose name is entry name_id of the catalog, or nullptr; looked for first
    // at index hint, where the member usually is in structures filled from a name table.
    const Tm_value* find_member_by_id(int name_id, int hint) const;

    // Typed reads by name: a missing member throws Tm_exception naming it, another type throws
    // Tm_type_mismatch_exception(actual kind, expected kind).
    int8_t get_member_int8(const std::string& name) const;
    uint8_t get_member_uint8(const std::string& name) const;
    int16_t get_member_int16(const std::string& name) const;
    uint16_t get_member_uint16(const std::string& name) const;
    int32_t get_member_int32(const std::string& name) const;
    uint32_t get_member_uint32(const std::string& name) const;
    int64_t get_member_int64(const std::string& name) const;
    uint64_t get_member_uint64(const std::string& name) const;
    double get_member_double(const std::string& name) const;
    bool get_member_bool(const std::string& name) const;
    const std::string& get_member_string(const std::string& name) const;
    const Tm_binary* get_member_binary(const std::string& name) const;
    const Tm_array* get_member_array(const std::string& name) const;
    const Tm_struct* get_member_struct(const std::string& name) const;
    const Tm_date* get_member_date(const std::string& name) const;
    const Tm_file* get_member_file(const std::string& name) const;
    const Message* get_member_message(const std::string& name) const;

    Tm_catalog<std::string>* get_catalog() const { return catalog_; }

  protected:
    int name_id(const std::string& name, Tm_catalog<std::string>* catalog);
    Tm_catalog<std::string>* use_catalog(Tm_catalog<std::string>* catalog);
    void append(int name_id, std::unique_ptr<Tm_value> value);
    void copy_members_to(Tm_struct& target) const;

  private:
    const Tm_value& require(const std::string& name) const;

    struct Member {
        int name;
        std::unique_ptr<Tm_value> value;
    };
    std::vector<Member, Tm_arena_allocator<Member>> members_;
    Tm_catalog<std::string>* catalog_ = nullptr;
    std::shared_ptr<Tm_catalog<std::string>> keep_;  // own or, for clones, shared catalog
};

// A structure whose member names come from a null-terminated name table; members are added by
// their index in the table.
class Tm_prenamed_struct : public Tm_struct {
  public:
    Tm_prenamed_struct();
    explicit Tm_prenamed_struct(Tm_catalog<std::string>* catalog);
    // Keeps its member list in arena, which must outlive the structure.
    Tm_prenamed_struct(Tm_catalog<std::string>* catalog, Tm_arena& arena);
    ~Tm_prenamed_struct() override;

    // Removes every member and binds the name table (which must outlive the structure).
    void clear(const char* const* names);
    using Tm_struct::add_member;
    using Tm_struct::add_member_and_own;
    using Tm_struct::clear;

    void add_member(int index, bool value, Tm_catalog<std::string>* catalog);
    void add_member(int index, const char* value, Tm_catalog<std::string>* catalog);
    void add_member(int index, signed char value, Tm_catalog<std::string>* catalog);
    void add_member(int index, short value, Tm_catalog<std::string>* catalog);
    void add_member(int index, int value, Tm_catalog<std::string>* catalog);
    void add_member(int index, long value, Tm_catalog<std::string>* catalog);
    void add_member(int index, long long value, Tm_catalog<std::string>* catalog);
    void add_member(int index, unsigned char value, Tm_catalog<std::string>* catalog);
    void add_member(int index, unsigned short value, Tm_catalog<std::string>* catalog);
    void add_member(int index, unsigned int value, Tm_catalog<std::string>* catalog);
    void add_member(int index, unsigned long value, Tm_catalog<std::string>* catalog);
    void add_member(int index, unsigned long long value, Tm_catalog<std::string>* catalog);
    void add_member(int index, double value, Tm_catalog<std::string>* catalog);
    void add_member(int index, const std::string& value, Tm_catalog<std::string>* catalog);
    void add_member(int index, const Tm_binary& value, Tm_catalog<std::string>* catalog);
    // Takes ownership of value (also when it throws).
    void add_member_and_own(int index, Tm_value* value, Tm_catalog<std::string>* catalog);

    const char* const* get_names() const { return names_; }
    int get_name_count() const { return name_count_; }
    Tm_value* clone() const override;

  private:
    int indexed_id(int index, Tm_catalog<std::string>* catalog);

    const char* const* names_ = nullptr;
    int name_count_ = 0;
    const std::vector<int>* ids_ = nullptr;  // catalog ids of names_, cached in the catalog
};
