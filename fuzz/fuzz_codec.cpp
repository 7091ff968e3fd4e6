// Decodes arbitrary bytes; a message that decodes is read through every accessor, walked with
// visitors and re-encoded, and must decode again to an equal message with the same encoding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <orx/msglib/Codec.h>
#include <orx/msglib/Message.h>
#include <orx/msglib/TmArray.h>
#include <orx/msglib/TmStruct.h>
#include "FuzzMessages.h"

namespace {

using fuzz::broken;

// Visits everything, counting, and refuses every seventh event of the array it walks (not of
// arrays nested in it, whose resume position the outer walk does not keep), so that walks stop
// and resume.
class Walker : public Tm_visitor {
  public:
    size_t seen = 0;
    int depth = 0;
    bool visit_int8(int8_t) override { return tick(); }
    bool visit_uint8(uint8_t) override { return tick(); }
    bool visit_int16(int16_t) override { return tick(); }
    bool visit_uint16(uint16_t) override { return tick(); }
    bool visit_int32(int32_t) override { return tick(); }
    bool visit_uint32(uint32_t) override { return tick(); }
    bool visit_int64(int64_t) override { return tick(); }
    bool visit_uint64(uint64_t) override { return tick(); }
    bool visit_double(double) override { return tick(); }
    bool visit_bool(bool) override { return tick(); }
    bool visit_string(const std::string& s) override { return tick(s.size()); }
    bool visit_binary(const Tm_binary& b) override { return tick(b.size()); }
    bool visit_file(const Tm_file& f) override { return tick(f.get_content().size()); }
    bool start_array(const Tm_array&) override {
        if (!tick()) {
            return false;
        }
        ++depth;
        return true;
    }
    bool end_array(const Tm_array&) override {
        if (!tick()) {
            return false;
        }
        --depth;
        return true;
    }

  private:
    bool tick(size_t n = 0) {
        seen += n + 1;
        return depth > 1 || seen % 7 != 0;
    }
};

void walk_value(const Tm_value& v);

void walk_message(const Message& m);

// Walks an array with refusals, resuming each time, and checks that nothing is skipped.
void walk_array(const Tm_array& a) {
    const int count = a.get_member_count();
    Walker w;
    int rounds = 0;
    while (!a.accept(w)) {
        const int p = w.saved_position();
        if (p < 0 || p > count + 1 || ++rounds > 4 * count + 8) {
            broken("array walk: bad saved position or no progress");
        }
        w.resume_at(p);
        w.depth = p > 0 ? 1 : 0;  // a resumed walk does not announce its start again
    }
    for (int i = 0; i < count; ++i) {
        const int kind = a.get_member_value_type(i);
        switch (kind) {
            case TMK_INT8:
                (void)a.get_member_int8(i);
                break;
            case TMK_UINT8:
                (void)a.get_member_uint8(i);
                break;
            case TMK_INT16:
                (void)a.get_member_int16(i);
                break;
            case TMK_UINT16:
                (void)a.get_member_uint16(i);
                break;
            case TMK_INT32:
                (void)a.get_member_int32(i);
                break;
            case TMK_UINT32:
                (void)a.get_member_uint32(i);
                break;
            case TMK_INT64:
                (void)a.get_member_int64(i);
                break;
            case TMK_UINT64:
                (void)a.get_member_uint64(i);
                break;
            case TMK_DOUBLE:
                (void)a.get_member_double(i);
                break;
            case TMK_BOOL:
                (void)a.get_member_bool(i);
                break;
            case TMK_STRING:
                (void)a.get_member_string(i);
                break;
            case TMK_BINARY:
                (void)a.get_member_binary(i)->size();
                break;
            case TMK_ARRAY:
                walk_array(*a.get_member_array(i));
                break;
            case TMK_STRUCT:
                walk_value(*a.get_member_struct(i));
                break;
            case TMK_DATE:
                (void)a.get_member_date(i)->get_microseconds();
                break;
            case TMK_FILE:
                (void)a.get_member_file(i)->get_name();
                break;
            case TMK_MESSAGE:
                walk_message(*a.get_member_message(i));
                break;
            default:
                broken("array element of unknown kind");
        }
        Walker single;
        (void)a.item_accept(i, single);
    }
}

void walk_struct(const Tm_struct& s) {
    for (int i = 0; i < s.get_member_count(); ++i) {
        const std::string& name = s.get_member_name(i);
        const Tm_value* first = s.find_member(name);
        if (first == nullptr) {
            broken("structure member not found by its own name");
        }
        switch (first->get_kind()) {
            case TMK_UINT32:
                (void)s.get_member_uint32(name);
                break;
            case TMK_STRING:
                (void)s.get_member_string(name);
                break;
            case TMK_ARRAY:
                (void)s.get_member_array(name);
                break;
            case TMK_STRUCT:
                (void)s.get_member_struct(name);
                break;
            case TMK_BOOL:
                (void)s.get_member_bool(name);
                break;
            default:
                break;
        }
        walk_value(*s.get_member(i));
    }
}

void walk_value(const Tm_value& v) {
    Walker w;
    (void)v.accept(w);
    switch (v.get_kind()) {
        case TMK_ARRAY:
            walk_array(static_cast<const Tm_array&>(v));
            break;
        case TMK_STRUCT:
            walk_struct(static_cast<const Tm_struct&>(v));
            break;
        case TMK_MESSAGE:
            walk_message(static_cast<const Tm_message_value&>(v).get());
            break;
        default:
            break;
    }
    std::unique_ptr<Tm_value> copy(v.clone());
    if (!copy->equals(v) || !v.equals(*copy)) {
        broken("clone differs from its original");
    }
}

void walk_message(const Message& m) {
    (void)m.get_request_name();
    for (TMG g : m.get_groups()) {
        for (int i = 0; i < m.get_member_count(g); ++i) {
            const std::string& name = m.get_member_name(g, i);
            const Tm_value* first = m.find_member(g, name);
            if (first == nullptr) {
                broken("message member not found by its own name");
            }
            switch (first->get_kind()) {
                case TMK_INT8:
                    (void)m.get_member_int8(g, name);
                    break;
                case TMK_UINT8:
                    (void)m.get_member_uint8(g, name);
                    break;
                case TMK_INT16:
                    (void)m.get_member_int16(g, name);
                    break;
                case TMK_UINT16:
                    (void)m.get_member_uint16(g, name);
                    break;
                case TMK_INT32:
                    (void)m.get_member_int32(g, name);
                    break;
                case TMK_UINT32:
                    (void)m.get_member_uint32(g, name);
                    break;
                case TMK_INT64:
                    (void)m.get_member_int64(g, name);
                    break;
                case TMK_UINT64:
                    (void)m.get_member_uint64(g, name);
                    break;
                case TMK_DOUBLE:
                    (void)m.get_member_double(g, name);
                    break;
                case TMK_BOOL:
                    (void)m.get_member_bool(g, name);
                    break;
                case TMK_STRING:
                    (void)m.get_member_string(g, name);
                    break;
                case TMK_BINARY:
                    (void)m.get_member_binary(g, name);
                    break;
                case TMK_ARRAY:
                    (void)m.get_member_array(g, name);
                    break;
                case TMK_STRUCT:
                    (void)m.get_member_struct(g, name);
                    break;
                case TMK_DATE:
                    (void)m.get_member_date(g, name);
                    break;
                case TMK_FILE:
                    (void)m.get_member_file(g, name);
                    break;
                case TMK_MESSAGE:
                    (void)m.get_member_message(g, name);
                    break;
                default:
                    broken("message member of unknown kind");
            }
            walk_value(*m.get_member(g, i));
        }
    }
}

// What a decoded message must bear: every member reachable, and encoding, decoding and copying
// that change nothing.
void check_message(const Message& m) {
    walk_message(m);
    std::vector<uint8_t> once = msglib::encode(m);
    Message again = msglib::decode(once);
    if (!again.equals(m)) {
        broken("re-encoded message decodes to a different message");
    }
    if (msglib::encode(again) != once) {
        broken("encoding is not stable across a round trip");
    }
    Message copy(m);
    if (!copy.equals(m) || msglib::encode(copy) != once) {
        broken("copied message differs from its original");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (std::optional<Message> m = fuzz::DecodeInput(data, size))
        check_message(*m);
    return 0;
}
