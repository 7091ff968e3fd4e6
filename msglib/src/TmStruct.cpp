#include <string>

#include <orx/msglib/Message.h>
#include <orx/msglib/TmStruct.h>
#include "Access.h"

using msglib::detail::expect_kind;

// Tm_struct ------------------------------------------------------------------------------------

Tm_struct::Tm_struct() = default;
Tm_struct::Tm_struct(Tm_catalog<std::string>* catalog) {
    use_catalog(catalog);
}
Tm_struct::Tm_struct(Tm_catalog<std::string>* catalog, Tm_arena& arena)
    : members_(Tm_arena_allocator<Member>(&arena)) {
    use_catalog(catalog);
}
Tm_struct::~Tm_struct() = default;

Tm_catalog<std::string>* Tm_struct::use_catalog(Tm_catalog<std::string>* catalog) {
    if (catalog_ == nullptr) {
        if (catalog == nullptr) {
            keep_ = std::make_shared<Tm_catalog<std::string>>();
            catalog_ = keep_.get();
        } else {
            // Not owned: a structure lives inside the message that owns the catalog. Clones,
            // which may outlive it, take shared ownership (copy_members_to).
            catalog_ = catalog;
        }
    }
    return catalog_;
}

int Tm_struct::name_id(const std::string& name, Tm_catalog<std::string>* catalog) {
    return use_catalog(catalog)->add(name);
}

void Tm_struct::append(int name_id, std::unique_ptr<Tm_value> value) {
    members_.push_back(Member{name_id, std::move(value)});
}

void Tm_struct::add_member(const std::string& name, const std::string& value,
                           Tm_catalog<std::string>* catalog) {
    append(name_id(name, catalog), std::make_unique<Tm_string>(value));
}
void Tm_struct::add_member(const std::string& name, const char* value,
                           Tm_catalog<std::string>* catalog) {
    if (value == nullptr) {
        throw Tm_exception("add_member(): null string for member '" + name + "'");
    }
    append(name_id(name, catalog), std::make_unique<Tm_string>(value));
}
void Tm_struct::add_member(const std::string& name, const Tm_binary& value,
                           Tm_catalog<std::string>* catalog) {
    append(name_id(name, catalog), std::make_unique<Tm_binary>(value));
}
void Tm_struct::add_member_and_own(const std::string& name, Tm_value* value,
                                   Tm_catalog<std::string>* catalog) {
    std::unique_ptr<Tm_value> owned(value);
    if (!owned) {
        throw Tm_exception("add_member_and_own(): null value for member '" + name + "'");
    }
    append(name_id(name, catalog), std::move(owned));
}

void Tm_struct::add_member_by_id(int name_id, std::unique_ptr<Tm_value> value) {
    Tm_catalog<std::string>* c = use_catalog(nullptr);
    if (name_id < 0 || name_id >= c->size()) {
        throw Tm_out_of_range_exception(name_id, 0, c->size() - 1);
    }
    if (!value) {
        throw Tm_exception("add_member_by_id(): null value");
    }
    append(name_id, std::move(value));
}

void Tm_struct::reserve(int n) {
    if (n > 0) {
        members_.reserve(static_cast<size_t>(n));
    }
}
void Tm_struct::clear() {
    members_.clear();
}

const std::string& Tm_struct::get_member_name(int i) const {
    return catalog_->get(get_member_name_id(i));
}
int Tm_struct::get_member_name_id(int i) const {
    if (i < 0 || i >= get_member_count()) {
        throw Tm_out_of_range_exception(i, 0, get_member_count() - 1);
    }
    return members_[static_cast<size_t>(i)].name;
}
const Tm_value* Tm_struct::get_member(int i) const {
    get_member_name_id(i);  // range check
    return members_[static_cast<size_t>(i)].value.get();
}

int Tm_struct::get_member_index(const std::string& name) const {
    if (catalog_ == nullptr) {
        return -1;
    }
    const int id = catalog_->find(name);
    if (id < 0) {
        return -1;
    }
    for (size_t i = 0; i < members_.size(); ++i) {
        if (members_[i].name == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const Tm_value* Tm_struct::find_member(const std::string& name) const {
    const int i = get_member_index(name);
    return i < 0 ? nullptr : members_[static_cast<size_t>(i)].value.get();
}

const Tm_value* Tm_struct::find_member_by_id(int name_id, int hint) const {
    const size_t n = members_.size();
    if (hint >= 0 && static_cast<size_t>(hint) < n &&
        members_[static_cast<size_t>(hint)].name == name_id) {
        size_t j = 0;
        while (j < static_cast<size_t>(hint) && members_[j].name != name_id) {
            ++j;
        }
        return members_[j].value.get();  // hint, unless an earlier member has the name too
    }
    for (const Member& m : members_) {
        if (m.name == name_id) {
            return m.value.get();
        }
    }
    return nullptr;
}

const Tm_value& Tm_struct::require(const std::string& name) const {
    const Tm_value* v = find_member(name);
    if (v == nullptr) {
        throw Tm_exception("structure has no member '" + name + "'");
    }
    return *v;
}

ORX_TM_NAMED_READERS(Tm_struct, (const std::string& name), (name),
                     "structure member '" + name + "'")

bool Tm_struct::accept(Tm_visitor& visitor) const {
    return visitor.visit_struct(*this);
}

void Tm_struct::copy_members_to(Tm_struct& target) const {
    target.catalog_ = catalog_;
    target.keep_ = keep_;
    if (!target.keep_ && catalog_ != nullptr) {
        target.keep_ = catalog_->weak_from_this().lock();  // empty when not shared-owned
    }
    target.members_.reserve(members_.size());
    for (const Member& m : members_) {
        target.members_.push_back(Member{m.name, std::unique_ptr<Tm_value>(m.value->clone())});
    }
}

Tm_value* Tm_struct::clone() const {
    auto copy = std::make_unique<Tm_struct>();
    copy_members_to(*copy);
    return copy.release();
}

bool Tm_struct::equals(const Tm_value& other) const {
    if (other.get_kind() != TMK_STRUCT) {
        return false;
    }
    const auto& o = static_cast<const Tm_struct&>(other);
    if (o.members_.size() != members_.size()) {
        return false;
    }
    const bool same_catalog = o.catalog_ == catalog_;
    for (size_t i = 0; i < members_.size(); ++i) {
        const Member& a = members_[i];
        const Member& b = o.members_[i];
        if (same_catalog ? a.name != b.name : catalog_->get(a.name) != o.catalog_->get(b.name)) {
            return false;
        }
        if (!a.value->equals(*b.value)) {
            return false;
        }
    }
    return true;
}

// Tm_prenamed_struct ---------------------------------------------------------------------------

Tm_prenamed_struct::Tm_prenamed_struct() = default;
Tm_prenamed_struct::Tm_prenamed_struct(Tm_catalog<std::string>* catalog) : Tm_struct(catalog) {}
Tm_prenamed_struct::Tm_prenamed_struct(Tm_catalog<std::string>* catalog, Tm_arena& arena)
    : Tm_struct(catalog, arena) {}
Tm_prenamed_struct::~Tm_prenamed_struct() = default;

void Tm_prenamed_struct::clear(const char* const* names) {
    // Bounded, so a table that lost its closing null cannot run away.
    constexpr int kMaxNames = 65536;
    Tm_struct::clear();
    names_ = names;
    ids_ = nullptr;
    name_count_ = 0;
    if (names == nullptr) {
        return;
    }
    while (names[name_count_] != nullptr) {
        if (++name_count_ >= kMaxNames) {
            throw Tm_exception("Tm_prenamed_struct::clear(): name table has no closing null");
        }
    }
}

int Tm_prenamed_struct::indexed_id(int index, Tm_catalog<std::string>* catalog) {
    if (names_ == nullptr) {
        throw Tm_exception("Tm_prenamed_struct: add_member(" + std::to_string(index) +
                           ") before clear(names) bound a name table");
    }
    if (index < 0 || index >= name_count_) {
        throw Tm_out_of_range_exception(index, 0, name_count_ - 1);
    }
    if (ids_ == nullptr) {
        ids_ = &use_catalog(catalog)->add_table(names_);
    }
    return (*ids_)[static_cast<size_t>(index)];
}

#define ORX_TM_PRENAMED_ADD(T)                                                                  \
    void Tm_prenamed_struct::add_member(int index, T value, Tm_catalog<std::string>* catalog) { \
        append(indexed_id(index, catalog), std::unique_ptr<Tm_value>(tm_make_simple(value)));   \
    }
ORX_TM_PRENAMED_ADD(bool)
ORX_TM_PRENAMED_ADD(signed char)
ORX_TM_PRENAMED_ADD(short)
ORX_TM_PRENAMED_ADD(int)
ORX_TM_PRENAMED_ADD(long)
ORX_TM_PRENAMED_ADD(long long)
ORX_TM_PRENAMED_ADD(unsigned char)
ORX_TM_PRENAMED_ADD(unsigned short)
ORX_TM_PRENAMED_ADD(unsigned int)
ORX_TM_PRENAMED_ADD(unsigned long)
ORX_TM_PRENAMED_ADD(unsigned long long)
ORX_TM_PRENAMED_ADD(double)
#undef ORX_TM_PRENAMED_ADD

void Tm_prenamed_struct::add_member(int index, const char* value,
                                    Tm_catalog<std::string>* catalog) {
    if (value == nullptr) {
        throw Tm_exception("add_member(): null string for member " + std::to_string(index));
    }
    append(indexed_id(index, catalog), std::make_unique<Tm_string>(value));
}
void Tm_prenamed_struct::add_member(int index, const std::string& value,
                                    Tm_catalog<std::string>* catalog) {
    append(indexed_id(index, catalog), std::make_unique<Tm_string>(value));
}
void Tm_prenamed_struct::add_member(int index, const Tm_binary& value,
                                    Tm_catalog<std::string>* catalog) {
    append(indexed_id(index, catalog), std::make_unique<Tm_binary>(value));
}
void Tm_prenamed_struct::add_member_and_own(int index, Tm_value* value,
                                            Tm_catalog<std::string>* catalog) {
    std::unique_ptr<Tm_value> owned(value);
    if (!owned) {
        throw Tm_exception("add_member_and_own(): null value for member " + std::to_string(index));
    }
    append(indexed_id(index, catalog), std::move(owned));
}

Tm_value* Tm_prenamed_struct::clone() const {
    auto copy = std::make_unique<Tm_prenamed_struct>();
    copy->names_ = names_;
    copy->name_count_ = name_count_;
    copy_members_to(*copy);
    return copy.release();
}
