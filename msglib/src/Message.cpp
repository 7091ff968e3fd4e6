#include <string>

#include <orx/msglib/Message.h>
#include "Access.h"

using msglib::detail::expect_kind;

static std::string group_text(TMG group) {
    return "group " + std::to_string(int(group));
}

Message::Message() = default;
Message::~Message() = default;
Message::Message(Message&& other) noexcept = default;
Message& Message::operator=(Message&& other) noexcept {
    if (this != &other) {
        for (Group& g : groups_) {  // our values go while the arena they may live in exists
            g.members.clear();
        }
        type_ = other.type_;
        use_send_member_string_ = other.use_send_member_string_;
        meta_created_ = other.meta_created_;
        seq_num_ = other.seq_num_;
        destination_ = other.destination_;
        request_name_ = std::move(other.request_name_);
        groups_ = std::move(other.groups_);
        arena_ = std::move(other.arena_);
    }
    return *this;
}

Tm_arena& Message::get_arena() {
    if (!arena_) {
        arena_ = std::make_unique<Tm_arena>();
    }
    return *arena_;
}

Tm_arena& Message::get_arena(TMG group) {
    Group& g = group_of(group);
    if (!g.arena) {
        g.arena = std::make_unique<Tm_arena>();
    }
    return *g.arena;
}

Message::Message(const Message& other)
    : type_(other.type_),
      use_send_member_string_(other.use_send_member_string_),
      meta_created_(other.meta_created_),
      seq_num_(other.seq_num_),
      destination_(other.destination_),
      request_name_(other.request_name_) {
    for (size_t g = 0; g < groups_.size(); ++g) {
        const Group& from = other.groups_[g];
        Group& to = groups_[g];
        // Cloned structures keep referring to the catalog they were built with; sharing it keeps
        // their names and the group's in one table.
        to.catalog = from.catalog;
        to.members.reserve(from.members.size());
        for (const Member& m : from.members) {
            to.members.push_back(Member{m.name, std::unique_ptr<Tm_value>(m.value->clone())});
        }
    }
}

Message& Message::operator=(const Message& other) {
    if (this != &other) {
        Message copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Message::Group& Message::group_of(TMG group) {
    if (group < 0 || group > TMG_LAST) {
        throw Tm_out_of_range_exception(group, 0, TMG_LAST);
    }
    return groups_[static_cast<size_t>(group)];
}

const Message::Group* Message::find_group(TMG group) const {
    if (group < 0 || group > TMG_LAST) {
        throw Tm_out_of_range_exception(group, 0, TMG_LAST);
    }
    return &groups_[static_cast<size_t>(group)];
}

void Message::clear(TMG group) {
    Group& g = group_of(group);
    g.members.clear();
    g.arena.reset();  // after the values that may live in it
    // A fresh catalog: structures kept from earlier members still own the old one.
    g.catalog.reset();
    meta_created_ = false;
}

void Message::clear_all() {
    *this = Message();
}

void Message::set_msg_type(TMT type) {
    if (type < TMT_REQUEST || type > TMT_FAILED_RESPONSE) {
        throw Tm_out_of_range_exception(type, TMT_REQUEST, TMT_FAILED_RESPONSE);
    }
    type_ = type;
}

Tm_catalog<std::string>* Message::get_send_member_string(TMG group) {
    Group& g = group_of(group);
    if (!g.catalog) {
        g.catalog = std::make_shared<Tm_catalog<std::string>>();
    }
    return g.catalog.get();
}

const Tm_catalog<std::string>* Message::get_send_member_string(TMG group) const {
    return find_group(group)->catalog.get();
}

void Message::append(TMG group, const std::string& name, std::unique_ptr<Tm_value> value) {
    const int id = get_send_member_string(group)->add(name);
    groups_[static_cast<size_t>(group)].members.push_back(Member{id, std::move(value)});
}

void Message::add_member(TMG group, const std::string& name, const std::string& value) {
    append(group, name, std::make_unique<Tm_string>(value));
}
void Message::add_member(TMG group, const std::string& name, const char* value) {
    if (value == nullptr) {
        throw Tm_exception("add_member(): null string for member '" + name + "'");
    }
    append(group, name, std::make_unique<Tm_string>(value));
}
void Message::add_member(TMG group, const std::string& name, const Tm_binary& value) {
    append(group, name, std::make_unique<Tm_binary>(value));
}
void Message::add_member_and_own(TMG group, const std::string& name, Tm_value* value) {
    std::unique_ptr<Tm_value> owned(value);
    if (!owned) {
        throw Tm_exception("add_member_and_own(): null value for member '" + name + "'");
    }
    append(group, name, std::move(owned));
}

void Message::add_member_by_id(TMG group, int name_id, std::unique_ptr<Tm_value> value) {
    Tm_catalog<std::string>* c = get_send_member_string(group);
    if (name_id < 0 || name_id >= c->size()) {
        throw Tm_out_of_range_exception(name_id, 0, c->size() - 1);
    }
    if (!value) {
        throw Tm_exception("add_member_by_id(): null value");
    }
    groups_[static_cast<size_t>(group)].members.push_back(Member{name_id, std::move(value)});
}

int Message::get_member_count(TMG group) const {
    return static_cast<int>(find_group(group)->members.size());
}

int Message::get_member_name_id(TMG group, int i) const {
    const Group* g = find_group(group);
    if (i < 0 || i >= static_cast<int>(g->members.size())) {
        throw Tm_out_of_range_exception(i, 0, static_cast<int>(g->members.size()) - 1);
    }
    return g->members[static_cast<size_t>(i)].name;
}
const std::string& Message::get_member_name(TMG group, int i) const {
    const int id = get_member_name_id(group, i);
    return find_group(group)->catalog->get(id);
}
const Tm_value* Message::get_member(TMG group, int i) const {
    get_member_name_id(group, i);  // range check
    return find_group(group)->members[static_cast<size_t>(i)].value.get();
}

int Message::get_member_index(TMG group, const std::string& name) const {
    const Group* g = find_group(group);
    if (!g->catalog) {
        return -1;
    }
    const int id = g->catalog->find(name);
    if (id < 0) {
        return -1;
    }
    for (size_t i = 0; i < g->members.size(); ++i) {
        if (g->members[i].name == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const Tm_value* Message::find_member(TMG group, const std::string& name) const {
    const int i = get_member_index(group, name);
    return i < 0 ? nullptr : find_group(group)->members[static_cast<size_t>(i)].value.get();
}

std::vector<TMG> Message::get_groups() const {
    std::vector<TMG> result;
    for (size_t g = 0; g < groups_.size(); ++g) {
        if (!groups_[g].members.empty()) {
            result.push_back(static_cast<TMG>(g));
        }
    }
    return result;
}

const Tm_value& Message::require(TMG group, const std::string& name) const {
    const Tm_value* v = find_member(group, name);
    if (v == nullptr) {
        std::string text = "message has no member '" + name + "' in " + group_text(group);
        if (!request_name_.empty()) {
            text += " (request " + request_name_ + ")";
        }
        throw Tm_exception(text);
    }
    return *v;
}

ORX_TM_NAMED_READERS(Message, (TMG group, const std::string& name), (group, name),
                     "member '" + name + "' of " + group_text(group))

bool Message::equals(const Message& other) const {
    if (type_ != other.type_ || seq_num_ != other.seq_num_ || destination_ != other.destination_ ||
        request_name_ != other.request_name_) {
        return false;
    }
    for (size_t g = 0; g < groups_.size(); ++g) {
        const Group& a = groups_[g];
        const Group& b = other.groups_[g];
        if (a.members.size() != b.members.size()) {
            return false;
        }
        for (size_t i = 0; i < a.members.size(); ++i) {
            if (a.catalog->get(a.members[i].name) != b.catalog->get(b.members[i].name) ||
                !a.members[i].value->equals(*b.members[i].value)) {
                return false;
            }
        }
    }
    return true;
}

bool Tm_message_value::accept(Tm_visitor& visitor) const {
    return visitor.visit_message(message_);
}
Tm_value* Tm_message_value::clone() const {
    return new Tm_message_value(message_);
}
bool Tm_message_value::equals(const Tm_value& other) const {
    return other.get_kind() == TMK_MESSAGE &&
           static_cast<const Tm_message_value&>(other).message_.equals(message_);
}
