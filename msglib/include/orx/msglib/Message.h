#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <orx/msglib/TmArray.h>
#include <orx/msglib/TmCatalog.h>
#include <orx/msglib/TmException.h>
#include <orx/msglib/TmStruct.h>
#include <orx/msglib/TmTypes.h>
#include <orx/msglib/TmValue.h>

// A typed RPC message: type, request name, sequence number, destination and named members in
// groups 0..TMG_LAST. Each group keeps its members in insertion order and a name catalog that
// nested structures share.
class Message {
  public:
    static constexpr uint32_t kNoDestination = 0xFFFFFFFFu;

    Message();
    ~Message();
    Message(Message&& other) noexcept;
    Message& operator=(Message&& other) noexcept;
    // Deep copies.
    Message(const Message& other);
    Message& operator=(const Message& other);

    // With true the wire carries each group's names once and members refer to them by index;
    // with false every name travels in full. Both decode to the same message.
    void set_use_send_member_string(bool use) { use_send_member_string_ = use; }
    bool get_use_send_member_string() const { return use_send_member_string_; }

    // Removes the members of group and starts a fresh name catalog for it.
    void clear(TMG group);
    // Removes everything: members, names, type, request name, numbers.
    void clear_all();

    void set_msg_type(TMT type);
    TMT get_msg_type() const { return type_; }
    void set_request_name(const std::string& name) { request_name_ = name; }
    const std::string& get_request_name() const { return request_name_; }
    void set_seq_num(uint32_t seq) { seq_num_ = seq; }
    uint32_t get_seq_num() const { return seq_num_; }
    // Port index the request is addressed to; kNoDestination when none.
    void set_destination(uint32_t destination) { destination_ = destination; }
    uint32_t get_destination() const { return destination_; }

    template <tm_simple_type T>
    void add_member(TMG group, const std::string& name, T value) {
        append(group, name, std::unique_ptr<Tm_value>(tm_make_simple(value)));
    }
    void add_member(TMG group, const std::string& name, const std::string& value);
    void add_member(TMG group, const std::string& name, const char* value);
    void add_member(TMG group, const std::string& name, const Tm_binary& value);
    // The message owns value from the call on (also when it throws).
    void add_member_and_own(TMG group, const std::string& name, Tm_value* value);

    // The catalog of group's names, in which nested structures register their member names.
    Tm_catalog<std::string>* get_send_member_string(TMG group);
    const Tm_catalog<std::string>* get_send_member_string(TMG group) const;
    // Last call of every build: the catalogs are complete from here on.
    void create_send_member_string_meta() { meta_created_ = true; }
    bool has_send_member_string_meta() const { return meta_created_; }

    // Enumeration, in insertion order.
    int get_member_count(TMG group) const;
    const std::string& get_member_name(TMG group, int i) const;
    int get_member_name_id(TMG group, int i) const;
    const Tm_value* get_member(TMG group, int i) const;
    // Index of the first member of that name in group, or -1.
    int get_member_index(TMG group, const std::string& name) const;
    bool has_member(TMG group, const std::string& name) const {
        return get_member_index(group, name) >= 0;
    }
    const Tm_value* find_member(TMG group, const std::string& name) const;
    // Groups that hold members, ascending.
    std::vector<TMG> get_groups() const;

    // Typed reads by name: a missing member throws Tm_exception naming it and its group, another
    // type throws Tm_type_mismatch_exception(actual kind, expected kind).
    int8_t get_member_int8(TMG group, const std::string& name) const;
    uint8_t get_member_uint8(TMG group, const std::string& name) const;
    int16_t get_member_int16(TMG group, const std::string& name) const;
    uint16_t get_member_uint16(TMG group, const std::string& name) const;
    int32_t get_member_int32(TMG group, const std::string& name) const;
    uint32_t get_member_uint32(TMG group, const std::string& name) const;
    int64_t get_member_int64(TMG group, const std::string& name) const;
    uint64_t get_member_uint64(TMG group, const std::string& name) const;
    double get_member_double(TMG group, const std::string& name) const;
    bool get_member_bool(TMG group, const std::string& name) const;
    const std::string& get_member_string(TMG group, const std::string& name) const;
    const Tm_binary* get_member_binary(TMG group, const std::string& name) const;
    const Tm_array* get_member_array(TMG group, const std::string& name) const;
    const Tm_struct* get_member_struct(TMG group, const std::string& name) const;
    const Tm_date* get_member_date(TMG group, const std::string& name) const;
    const Tm_file* get_member_file(TMG group, const std::string& name) const;
    const Message* get_member_message(TMG group, const std::string& name) const;

    // Same type, request name, numbers and, per group, member names, kinds and values in order.
    bool equals(const Message& other) const;

    // Appends a member named by entry name_id of group's catalog (decoder).
    void add_member_by_id(TMG group, int name_id, std::unique_ptr<Tm_value> value);
    // Arena for values that go into this message only; released with the message.
    Tm_arena& get_arena();
    // Arena for values that go into group only (the decoder and the message sets make their
    // values there): released when the group is cleared, so a message cleared and built again
    // does not grow.
    Tm_arena& get_arena(TMG group);

  private:
    struct Member {
        int name;
        std::unique_ptr<Tm_value> value;
    };
    struct Group {
        std::shared_ptr<Tm_catalog<std::string>> catalog;
        std::unique_ptr<Tm_arena> arena;  // declared before members: outlives the values in it
        std::vector<Member> members;
    };

    Group& group_of(TMG group);
    const Group* find_group(TMG group) const;
    void append(TMG group, const std::string& name, std::unique_ptr<Tm_value> value);
    const Tm_value& require(TMG group, const std::string& name) const;

    TMT type_ = TMT_REQUEST;
    bool use_send_member_string_ = false;
    bool meta_created_ = false;
    uint32_t seq_num_ = 0;
    uint32_t destination_ = kNoDestination;
    std::string request_name_;
    std::unique_ptr<Tm_arena> arena_;  // declared before groups_: outlives the values in it
    std::array<Group, TMG_LAST + 1> groups_;
};

// A message carried as a value.
class Tm_message_value final : public Tm_value {
  public:
    Tm_message_value() = default;
    explicit Tm_message_value(Message message) : message_(std::move(message)) {}
    const Message& get() const { return message_; }
    Message& get() { return message_; }

    int get_kind() const override { return TMK_MESSAGE; }
    bool accept(Tm_visitor& visitor) const override;
    Tm_value* clone() const override;
    bool equals(const Tm_value& other) const override;

  private:
    Message message_;
};
