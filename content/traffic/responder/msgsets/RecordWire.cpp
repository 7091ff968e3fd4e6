#include "RecordWire.h"

#include <algorithm>
#include <array>

namespace msgsets::wire {

std::string Where::text() const {
    if (owner == nullptr || *owner == '\0') {
        return std::string("member '") + member + "'";
    }
    return std::string("member '") + member + "' of " + owner;
}

void mismatch(const Tm_value& value, int expected, const Where& where) {
    throw Tm_type_mismatch_exception(value.get_kind(), expected,
                                     where.text() + " is " + tm_kind_name(value.get_kind()) +
                                         ", read as " + tm_kind_name(expected));
}

int checked_count(const Tm_array& array, const Where& where) {
    const int n = array.get_member_count();
    if (n < 0) {
        throw Tm_exception(where.text() + " announces a negative element count " +
                           std::to_string(n));
    }
    if (n > 0) {
        try {
            (void)array.get_member_value_type(n - 1);
        } catch (const Tm_out_of_range_exception& e) {
            throw Tm_exception(where.text() + " announces " + std::to_string(n) +
                               " elements but holds " + std::to_string(e.high() + 1));
        }
    }
    return n;
}

void check_element_type(const Tm_array& a, int n, int tmv, const Where& where) {
    int run_tmv = -1;
    int run_count = 0;
    int actual = tmv;
    if (a.contiguous_data(run_tmv, run_count) != nullptr) {
        actual = run_tmv;
    } else if (n > 0) {
        actual = a.get_member_value_type(0);
    }
    if (actual != tmv) {
        throw Tm_type_mismatch_exception(actual, tmv,
                                         where.text() + " holds " + tm_kind_name(actual) +
                                             " elements, read as " + tm_kind_name(tmv));
    }
}

const Tm_array& as_array(const Tm_value& value, const Where& where) {
    if (value.get_kind() != TMK_ARRAY) {
        mismatch(value, TMK_ARRAY, where);
    }
    return static_cast<const Tm_array&>(value);
}
const Tm_struct& struct_element(const Tm_array& a, int i, const Where& where) {
    // get_member() hands out the element without composing an error text for every read.
    const Tm_value* v = a.get_member(i);
    if (v == nullptr) {
        return *a.get_member_struct(i);  // an array of plain numbers: refused by the array
    }
    if (v->get_kind() != TMK_STRUCT) {
        mismatch(*v, TMK_STRUCT, Where{where.member, where.owner});
    }
    return static_cast<const Tm_struct&>(*v);
}
const Tm_struct& as_struct(const Tm_value& value, const Where& where) {
    if (value.get_kind() != TMK_STRUCT) {
        mismatch(value, TMK_STRUCT, where);
    }
    return static_cast<const Tm_struct&>(value);
}
const std::string& as_string(const Tm_value& value, const Where& where) {
    if (value.get_kind() != TMK_STRING) {
        mismatch(value, TMK_STRING, where);
    }
    return static_cast<const Tm_string&>(value).get();
}

const char* enum_name(int value, const tm_enum_map* map, const Where& where) {
    try {
        return tms_enum_to_string(value, map);
    } catch (const Tm_exception& e) {
        if (*where.member == '\0') {
            throw;
        }
        throw Tm_exception(where.text() + ": " + e.what());
    }
}
int enum_value(const std::string& name, const tm_enum_map* map, const Where& where) {
    try {
        return tms_string_to_enum(name.c_str(), map);
    } catch (const Tm_exception& e) {
        throw Tm_exception(where.text() + ": " + e.what());
    }
}

Tm_value* make_value(const std::vector<std::string>& values, bool, Catalog*, Tm_arena* arena) {
    std::unique_ptr<Tm_array> array(make_list(arena, values.size()));
    for (const std::string& v : values) {
        array->add_member_and_own(make_in<Tm_string>(arena, v));
    }
    return array.release();
}
Tm_value* make_value(const std::vector<Tm_binary>& values, bool, Catalog*, Tm_arena* arena) {
    std::unique_ptr<Tm_array> array(make_list(arena, values.size()));
    for (const Tm_binary& v : values) {
        array->add_member_and_own(make_in<Tm_binary>(arena, v));
    }
    return array.release();
}

void read_value(const Tm_value& value, const Where& where, std::vector<std::string>* out) {
    const Tm_array& a = as_array(value, where);
    const int n = checked_count(a, where);
    out->clear();
    out->reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        out->push_back(a.get_member_string(i));
    }
}
void read_value(const Tm_value& value, const Where& where, std::vector<Tm_binary>* out) {
    const Tm_array& a = as_array(value, where);
    const int n = checked_count(a, where);
    out->clear();
    out->reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        out->push_back(*a.get_member_binary(i));
    }
}

namespace {

// Catalog indexes of the names of a record table, found once per catalog and table rather than
// for every structure read: the structures of a message group share their catalog.
struct Resolved {
    uint64_t catalog = 0;  // serial
    const char* const* names = nullptr;
    std::vector<int> ids;  // -1: not in the catalog (yet)
};
struct Resolved_cache {
    std::array<Resolved, 8> entries;
    size_t next = 0;
};
thread_local Resolved_cache resolved;

}  // namespace

const int* name_ids(const Tm_struct& s, const char* const* names, int* ids, size_t n) {
    const Catalog* catalog = s.get_catalog();
    if (catalog == nullptr) {
        return nullptr;
    }
    const uint64_t serial = catalog->serial();
    const Resolved* found = nullptr;
    Resolved_cache& cache = resolved;  // one thread-local lookup
    for (const Resolved& r : cache.entries) {
        if (r.catalog == serial && r.names == names) {
            found = &r;
            break;
        }
    }
    if (found == nullptr) {
        Resolved& r = cache.entries[cache.next];
        cache.next = (cache.next + 1) % cache.entries.size();
        r.catalog = 0;  // invalid until filled
        r.names = names;
        r.ids.clear();
        for (const char* const* name = names; *name != nullptr; ++name) {
            r.ids.push_back(catalog->find(*name));
        }
        r.catalog = serial;
        found = &r;
    }
    if (found->ids.size() < n) {
        throw Tm_exception("a record name table of " + std::to_string(found->ids.size()) +
                           " names read as " + std::to_string(n) + " members");
    }
    std::copy_n(found->ids.begin(), n, ids);
    return ids;
}

const Tm_value& require_at(const Tm_struct& s, const int* ids, int index, const Where& where) {
    if (ids != nullptr && ids[index] >= 0) {
        if (const Tm_value* v = s.find_member_by_id(ids[index], index)) {
            return *v;
        }
    }
    return require(s, where);
}

const Tm_value& require(const Tm_struct& s, const Where& where) {
    const Tm_value* v = s.find_member(where.member);
    if (v == nullptr) {
        throw Tm_exception(where.text() + " is missing");
    }
    return *v;
}

void begin(Message* m, TMT type, const char* request_name) {
    if (m == nullptr) {
        throw Tm_exception("no message to build");
    }
    m->set_use_send_member_string(true);
    m->clear(TMG_MEMBERS);
    m->set_msg_type(type);
    if (request_name != nullptr) {
        m->set_request_name(request_name);
    }
}

void finish(Message* m) {
    m->clear(TMG_META);
    m->create_send_member_string_meta();
}

void expect_type(const Message* m, TMT expected) {
    if (m == nullptr) {
        throw Tm_exception("no message to read");
    }
    if (m->get_msg_type() != expected) {
        throw Tm_type_mismatch_exception(m->get_msg_type(), expected);
    }
}

const Tm_value& require(const Message& m, const char* name) {
    const Tm_value* v = m.find_member(TMG_MEMBERS, name);
    if (v == nullptr) {
        throw Tm_exception("message '" + m.get_request_name() + "' has no member '" + name + "'");
    }
    return *v;
}

}  // namespace msgsets::wire
