#include <orx/msglib/Codec.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string>

static_assert(std::endian::native == std::endian::little, "the wire form is little-endian");

namespace msglib {
namespace {

constexpr uint8_t kMagic[4] = {'T', 'M', 'S', 'G'};
constexpr uint8_t kFlagNamesByCatalog = 0x01;
constexpr uint32_t kMaxCount = static_cast<uint32_t>(std::numeric_limits<int>::max());
// Counts are checked against the remaining input, but nested containers each announce a count
// of up to that size: reserving only this much up front keeps memory in step with the values
// actually decoded.
constexpr int kMaxReserve = 1024;

using Catalog = Tm_catalog<std::string>;

// Encoding ------------------------------------------------------------------------------------

class Writer {
  public:
    explicit Writer(std::vector<uint8_t>& out) : out_(out) {
        out_.resize(std::max<size_t>(out_.capacity(), 256));
        p_ = out_.data();
        end_ = p_ + out_.size();
    }
    void finish() { out_.resize(static_cast<size_t>(p_ - out_.data())); }

    void u8(uint8_t v) {
        need(1);
        *p_++ = v;
    }
    template <class T>
    void fixed(T v) {
        need(sizeof(T));
        std::memcpy(p_, &v, sizeof(T));
        p_ += sizeof(T);
    }
    void varint(uint32_t v) {
        need(5);
        while (v >= 0x80) {
            *p_++ = static_cast<uint8_t>(v | 0x80);
            v >>= 7;
        }
        *p_++ = static_cast<uint8_t>(v);
    }
    void count(size_t n, const char* what) {
        if (n > kMaxCount) {
            throw Tm_exception(std::string("cannot encode ") + what + " of " + std::to_string(n) +
                               ": more than 2^31-1");
        }
        varint(static_cast<uint32_t>(n));
    }
    void bytes(const void* data, size_t n) {
        if (n > 0) {
            need(n);
            std::memcpy(p_, data, n);
            p_ += n;
        }
    }
    void string(const std::string& s, const char* what) {
        count(s.size(), what);
        bytes(s.data(), s.size());
    }

  private:
    void need(size_t n) {
        if (static_cast<size_t>(end_ - p_) < n) {
            const size_t pos = static_cast<size_t>(p_ - out_.data());
            out_.resize(std::max(out_.size() * 2, pos + n));
            p_ = out_.data() + pos;
            end_ = out_.data() + out_.size();
        }
    }

    std::vector<uint8_t>& out_;
    uint8_t* p_;
    uint8_t* end_;
};

class Encoder {
  public:
    explicit Encoder(Writer& w) : w_(w) {}

    void message(const Message& m, int depth) {
        w_.bytes(kMagic, sizeof(kMagic));
        w_.u8(kWireVersion);
        const bool by_catalog = m.get_use_send_member_string();
        w_.u8(by_catalog ? kFlagNamesByCatalog : 0);
        w_.u8(static_cast<uint8_t>(m.get_msg_type()));
        w_.fixed<uint32_t>(m.get_seq_num());
        w_.fixed<uint32_t>(m.get_destination());
        w_.string(m.get_request_name(), "request name");
        const std::vector<TMG> groups = m.get_groups();
        w_.u8(static_cast<uint8_t>(groups.size()));
        for (TMG g : groups) {
            const Catalog* catalog = m.get_send_member_string(g);
            w_.u8(static_cast<uint8_t>(g));
            if (by_catalog) {
                w_.count(static_cast<size_t>(catalog->size()), "catalog");
                for (int i = 0; i < catalog->size(); ++i) {
                    w_.string(catalog->get(i), "member name");
                }
            } else {
                w_.varint(0);
            }
            Scope scope{catalog, by_catalog};
            const int n = m.get_member_count(g);
            w_.count(static_cast<size_t>(n), "member count");
            for (int i = 0; i < n; ++i) {
                name_ref(scope, catalog, m.get_member_name_id(g, i));
                value(scope, *m.get_member(g, i), depth);
            }
        }
    }

  private:
    struct Scope {
        const Catalog* catalog;  // the group's
        bool by_catalog;
    };

    void name_ref(const Scope& scope, const Catalog* catalog, int id) {
        if (scope.by_catalog && catalog == scope.catalog) {
            w_.varint(static_cast<uint32_t>(id) + 1);
        } else {  // names of another catalog travel in full
            w_.varint(0);
            w_.string(catalog->get(id), "member name");
        }
    }

    static void check_depth(int depth) {
        if (depth >= kMaxNesting) {
            throw Tm_exception("cannot encode values nested deeper than " +
                               std::to_string(kMaxNesting) + " levels");
        }
    }

    void value(const Scope& scope, const Tm_value& v, int depth) {
        const int kind = v.get_kind();
        switch (kind) {
            case TMK_INT8:
                return simple(static_cast<const Tm_int8&>(v).get());
            case TMK_UINT8:
                return simple(static_cast<const Tm_uint8&>(v).get());
            case TMK_INT16:
                return simple(static_cast<const Tm_int16&>(v).get());
            case TMK_UINT16:
                return simple(static_cast<const Tm_uint16&>(v).get());
            case TMK_INT32:
                return simple(static_cast<const Tm_int32&>(v).get());
            case TMK_UINT32:
                return simple(static_cast<const Tm_uint32&>(v).get());
            case TMK_INT64:
                return simple(static_cast<const Tm_int64&>(v).get());
            case TMK_UINT64:
                return simple(static_cast<const Tm_uint64&>(v).get());
            case TMK_DOUBLE:
                return simple(static_cast<const Tm_double&>(v).get());
            case TMK_BOOL:
                return simple(static_cast<const Tm_bool&>(v).get());
            case TMK_STRING:
                w_.u8(TMK_STRING);
                return w_.string(static_cast<const Tm_string&>(v).get(), "string");
            case TMK_BINARY:
                return binary(static_cast<const Tm_binary&>(v));
            case TMK_ARRAY:
                return array(scope, static_cast<const Tm_array&>(v), depth + 1);
            case TMK_STRUCT:
                return structure(scope, static_cast<const Tm_struct&>(v), depth + 1);
            case TMK_DATE:
                return date(static_cast<const Tm_date&>(v));
            case TMK_FILE:
                return file(static_cast<const Tm_file&>(v));
            case TMK_MESSAGE:
                return nested(static_cast<const Tm_message_value&>(v).get(), depth + 1);
            default:
                throw Tm_exception("cannot encode a value of unknown kind " + std::to_string(kind));
        }
    }

    template <class T>
    void simple(T v) {
        w_.u8(static_cast<uint8_t>(tm_simple_traits<T>::tmv));
        if constexpr (std::is_same_v<T, bool>) {
            w_.u8(v ? 1 : 0);
        } else {
            w_.fixed<T>(v);
        }
    }
    void binary(const Tm_binary& b) {
        w_.u8(TMK_BINARY);
        w_.count(b.size(), "binary length");
        w_.bytes(b.data(), b.size());
    }
    void date(const Tm_date& d) {
        w_.u8(TMK_DATE);
        w_.fixed<int64_t>(d.get_microseconds());
    }
    void file(const Tm_file& f) {
        w_.u8(TMK_FILE);
        w_.string(f.get_name(), "file name");
        w_.count(f.get_content().size(), "file length");
        w_.bytes(f.get_content().data(), f.get_content().size());
    }
    void nested(const Message& m, int depth) {
        check_depth(depth);
        std::vector<uint8_t> inner;
        Writer w(inner);
        Encoder(w).message(m, depth);
        w.finish();
        w_.u8(TMK_MESSAGE);
        w_.count(inner.size(), "nested message length");
        w_.bytes(inner.data(), inner.size());
    }

    void array(const Scope& scope, const Tm_array& a, int depth) {
        check_depth(depth);
        int tmv = -1;
        int count = 0;
        if (const void* data = a.contiguous_data(tmv, count)) {
            if (!tm_is_simple(tmv) || count < 0) {
                throw Tm_exception("cannot encode an array that reports " + std::to_string(count) +
                                   " contiguous elements of type " + std::to_string(tmv));
            }
            w_.u8(kTagPackedArray);
            w_.u8(static_cast<uint8_t>(tmv));
            w_.varint(static_cast<uint32_t>(count));
            if (tmv == TMV_BOOL) {
                const auto* b = static_cast<const uint8_t*>(data);
                for (int i = 0; i < count; ++i) {
                    w_.u8(b[i] != 0 ? 1 : 0);
                }
            } else {
                w_.bytes(data, static_cast<size_t>(count) * tm_simple_size(tmv));
            }
            return;
        }
        const int n = a.get_member_count();
        w_.u8(TMK_ARRAY);
        w_.count(static_cast<size_t>(n), "array length");
        for (int i = 0; i < n; ++i) {
            if (const Tm_value* e = a.get_member(i)) {
                value(scope, *e, depth);
            } else {
                element(scope, a, i, depth);
            }
        }
    }

    // Element i of an array that holds no value objects, through its typed getters.
    void element(const Scope& scope, const Tm_array& a, int i, int depth) {
        switch (a.get_member_value_type(i)) {
            case TMK_INT8:
                return simple(a.get_member_int8(i));
            case TMK_UINT8:
                return simple(a.get_member_uint8(i));
            case TMK_INT16:
                return simple(a.get_member_int16(i));
            case TMK_UINT16:
                return simple(a.get_member_uint16(i));
            case TMK_INT32:
                return simple(a.get_member_int32(i));
            case TMK_UINT32:
                return simple(a.get_member_uint32(i));
            case TMK_INT64:
                return simple(a.get_member_int64(i));
            case TMK_UINT64:
                return simple(a.get_member_uint64(i));
            case TMK_DOUBLE:
                return simple(a.get_member_double(i));
            case TMK_BOOL:
                return simple(a.get_member_bool(i));
            case TMK_STRING:
                w_.u8(TMK_STRING);
                return w_.string(a.get_member_string(i), "string");
            case TMK_BINARY:
                return binary(*a.get_member_binary(i));
            case TMK_ARRAY:
                return array(scope, *a.get_member_array(i), depth + 1);
            case TMK_STRUCT:
                return structure(scope, *a.get_member_struct(i), depth + 1);
            case TMK_DATE:
                return date(*a.get_member_date(i));
            case TMK_FILE:
                return file(*a.get_member_file(i));
            case TMK_MESSAGE:
                return nested(*a.get_member_message(i), depth + 1);
            default:
                throw Tm_exception("cannot encode array element " + std::to_string(i) +
                                   " of unknown kind " +
                                   std::to_string(a.get_member_value_type(i)));
        }
    }

    void structure(const Scope& scope, const Tm_struct& s, int depth) {
        check_depth(depth);
        const int n = s.get_member_count();
        w_.u8(TMK_STRUCT);
        w_.count(static_cast<size_t>(n), "structure member count");
        const Catalog* catalog = s.get_catalog();
        for (int i = 0; i < n; ++i) {
            name_ref(scope, catalog, s.get_member_name_id(i));
            value(scope, *s.get_member(i), depth);
        }
    }

    Writer& w_;
};

// Decoding ------------------------------------------------------------------------------------

class Reader {
  public:
    Reader(const uint8_t* base, const uint8_t* begin, const uint8_t* end)
        : base_(base), p_(begin), end_(end) {}

    size_t remaining() const { return static_cast<size_t>(end_ - p_); }
    bool at_end() const { return p_ == end_; }
    const uint8_t* pos() const { return p_; }
    size_t offset(const uint8_t* at) const { return static_cast<size_t>(at - base_); }

    [[noreturn]] void fail(const std::string& what, const uint8_t* at) const {
        throw Tm_exception("message decode: " + what + " at byte offset " +
                           std::to_string(offset(at)));
    }
    [[noreturn]] void fail(const std::string& what) const { fail(what, p_); }

    void need(size_t n, const char* what) const {
        if (remaining() < n) [[unlikely]] {
            truncated(n, what);
        }
    }
    [[noreturn, gnu::cold, gnu::noinline]] void truncated(size_t n, const char* what) const {
        fail(std::string("truncated input: ") + what + " needs " + std::to_string(n) + " bytes, " +
             std::to_string(remaining()) + " left");
    }
    uint8_t u8(const char* what) {
        need(1, what);
        return *p_++;
    }
    template <class T>
    T fixed(const char* what) {
        need(sizeof(T), what);
        T v;
        std::memcpy(&v, p_, sizeof(T));
        p_ += sizeof(T);
        return v;
    }
    uint32_t varint(const char* what) {
        if (p_ != end_ && *p_ < 0x80) [[likely]] {  // most counts and name references: one byte
            return *p_++;
        }
        return long_varint(what);
    }
    uint32_t long_varint(const char* what) {
        const uint8_t* start = p_;
        uint32_t v = 0;
        for (int i = 0; i < 5; ++i) {
            if (p_ == end_) {
                fail(std::string("truncated input inside ") + what, start);
            }
            const uint8_t b = *p_++;
            if (i == 4 && b > 0x0F) {
                fail(std::string(what) + " does not fit in 32 bits", start);
            }
            v |= static_cast<uint32_t>(b & 0x7F) << (7 * i);
            if ((b & 0x80) == 0) {
                return v;
            }
        }
        fail(std::string(what) + " is longer than 5 bytes", start);
    }
    // A count of items that take at least min_bytes each: checked against the remaining input
    // before anything is reserved.
    int count(const char* what, size_t min_bytes) {
        const uint8_t* start = p_;
        const uint32_t n = varint(what);
        if (n > kMaxCount || static_cast<uint64_t>(n) * min_bytes > remaining()) [[unlikely]] {
            bad_count(what, n, start);
        }
        return static_cast<int>(n);
    }
    [[noreturn, gnu::cold, gnu::noinline]] void bad_count(const char* what, uint32_t n,
                                                          const uint8_t* start) const {
        if (n > kMaxCount) {
            fail(std::string(what) + " " + std::to_string(n) + " is larger than 2^31-1", start);
        }
        fail(std::string(what) + " " + std::to_string(n) + " exceeds the remaining " +
                 std::to_string(remaining()) + " bytes",
             start);
    }
    const uint8_t* take(size_t n) {
        const uint8_t* at = p_;
        p_ += n;
        return at;
    }
    std::string string(const char* what) {
        const size_t n = static_cast<size_t>(count(what, 1));
        return std::string(reinterpret_cast<const char*>(take(n)), n);
    }

  private:
    const uint8_t* base_;
    const uint8_t* p_;
    const uint8_t* end_;
};

class Decoder {
  public:
    explicit Decoder(Reader& r) : r_(r) {}

    Message message(int depth) {
        const uint8_t* start = r_.pos();
        r_.need(4, "magic");
        if (std::memcmp(r_.take(4), kMagic, 4) != 0) {
            r_.fail("bad magic (not a message)", start);
        }
        const uint8_t version = r_.u8("version");
        if (version != kWireVersion) {
            r_.fail("unsupported wire version " + std::to_string(version), r_.pos() - 1);
        }
        const uint8_t flags = r_.u8("flags");
        if ((flags & ~kFlagNamesByCatalog) != 0) {
            r_.fail("unknown flags " + std::to_string(flags), r_.pos() - 1);
        }
        const uint8_t type = r_.u8("message type");
        if (type > TMT_FAILED_RESPONSE) {
            r_.fail("unknown message type " + std::to_string(type), r_.pos() - 1);
        }
        Message m;
        m.set_use_send_member_string((flags & kFlagNamesByCatalog) != 0);
        m.set_msg_type(static_cast<TMT>(type));
        m.set_seq_num(r_.fixed<uint32_t>("sequence number"));
        m.set_destination(r_.fixed<uint32_t>("destination"));
        m.set_request_name(r_.string("request name length"));
        const uint8_t groups = r_.u8("group count");
        if (groups > TMG_LAST + 1) {
            r_.fail("group count " + std::to_string(groups) + " is larger than " +
                        std::to_string(TMG_LAST + 1),
                    r_.pos() - 1);
        }
        int previous = -1;
        for (int k = 0; k < groups; ++k) {
            const uint8_t id = r_.u8("group id");
            if (id > TMG_LAST || id <= previous) {
                r_.fail("group id " + std::to_string(id) +
                            (id > TMG_LAST ? " is out of range" : " is not ascending"),
                        r_.pos() - 1);
            }
            previous = id;
            group(m, static_cast<TMG>(id), depth);
        }
        m.create_send_member_string_meta();
        return m;
    }

  private:
    struct Scope {
        Catalog* catalog;
        int wire_names;   // names the wire catalog brought
        Tm_arena* arena;  // of the message being decoded
    };

    template <class T, class... A>
    static std::unique_ptr<T> make(const Scope& scope, A&&... args) {
        return std::unique_ptr<T>(new (*scope.arena) T(std::forward<A>(args)...));
    }

    void group(Message& m, TMG g, int depth) {
        Catalog* catalog = m.get_send_member_string(g);
        const int names = r_.count("catalog name count", 1);
        for (int i = 0; i < names; ++i) {
            const uint8_t* at = r_.pos();
            std::string name = r_.string("member name length");
            if (catalog->find(name) >= 0) {
                r_.fail("duplicate catalog name '" + name + "'", at);
            }
            catalog->add(name);
        }
        Scope scope{catalog, names, &m.get_arena(g)};
        const int members = r_.count("member count", 2);
        for (int i = 0; i < members; ++i) {
            const int id = name_ref(scope);
            m.add_member_by_id(g, id, value(scope, depth));
        }
    }

    int name_ref(const Scope& scope) {
        const uint8_t* at = r_.pos();
        const uint32_t ref = r_.varint("member name reference");
        if (ref == 0) {
            return scope.catalog->add(r_.string("member name length"));
        }
        if (ref > static_cast<uint32_t>(scope.wire_names)) {
            r_.fail("member name index " + std::to_string(ref - 1) + " is outside the catalog of " +
                        std::to_string(scope.wire_names) + " names",
                    at);
        }
        return static_cast<int>(ref - 1);
    }

    void enter(int depth, const uint8_t* at) {
        if (depth >= kMaxNesting) {
            r_.fail("values nested deeper than " + std::to_string(kMaxNesting) + " levels", at);
        }
    }

    template <class V>
    std::unique_ptr<Tm_value> simple(const Scope& scope, const char* what) {
        return make<V>(scope, r_.fixed<typename V::value_type>(what));
    }

    std::unique_ptr<Tm_value> value(const Scope& scope, int depth) {
        const uint8_t* at = r_.pos();
        const uint8_t tag = r_.u8("value tag");
        switch (tag) {
            case TMK_INT8:
                return simple<Tm_int8>(scope, "int8 value");
            case TMK_UINT8:
                return simple<Tm_uint8>(scope, "uint8 value");
            case TMK_INT16:
                return simple<Tm_int16>(scope, "int16 value");
            case TMK_UINT16:
                return simple<Tm_uint16>(scope, "uint16 value");
            case TMK_INT32:
                return simple<Tm_int32>(scope, "int32 value");
            case TMK_UINT32:
                return simple<Tm_uint32>(scope, "uint32 value");
            case TMK_INT64:
                return simple<Tm_int64>(scope, "int64 value");
            case TMK_UINT64:
                return simple<Tm_uint64>(scope, "uint64 value");
            case TMK_DOUBLE:
                return simple<Tm_double>(scope, "double value");
            case TMK_BOOL: {
                const uint8_t b = r_.u8("bool value");
                if (b > 1) {
                    r_.fail("bool value " + std::to_string(b) + " is neither 0 nor 1",
                            r_.pos() - 1);
                }
                return make<Tm_bool>(scope, b != 0);
            }
            case TMK_STRING:
                return make<Tm_string>(scope, r_.string("string length"));
            case TMK_BINARY: {
                const size_t n = static_cast<size_t>(r_.count("binary length", 1));
                return make<Tm_binary>(scope, r_.take(n), n);
            }
            case TMK_ARRAY: {
                enter(depth + 1, at);
                const int n = r_.count("array length", 1);
                auto a = make<Tm_array>(scope, *scope.arena);
                a->reserve(std::min(n, kMaxReserve));
                for (int i = 0; i < n; ++i) {
                    // Not virtual: the array is a plain one.
                    a->Tm_array::add_member_and_own(value(scope, depth + 1).release());
                }
                return a;
            }
            case TMK_STRUCT: {
                enter(depth + 1, at);
                const int n = r_.count("structure member count", 2);
                auto s = make<Tm_struct>(scope, scope.catalog, *scope.arena);
                s->reserve(std::min(n, kMaxReserve));
                for (int i = 0; i < n; ++i) {
                    const int id = name_ref(scope);
                    s->add_member_by_id(id, value(scope, depth + 1));
                }
                return s;
            }
            case TMK_DATE:
                return make<Tm_date>(scope, r_.fixed<int64_t>("date value"));
            case TMK_FILE: {
                std::string name = r_.string("file name length");
                const size_t n = static_cast<size_t>(r_.count("file length", 1));
                const uint8_t* p = r_.take(n);
                return make<Tm_file>(scope, std::move(name), std::vector<uint8_t>(p, p + n));
            }
            case TMK_MESSAGE: {
                enter(depth + 1, at);
                const size_t n = static_cast<size_t>(r_.count("nested message length", 1));
                const uint8_t* begin = r_.take(n);
                Reader inner(base_of(begin), begin, begin + n);
                Decoder d(inner);
                Message m = d.message(depth + 1);
                if (!inner.at_end()) {
                    inner.fail(std::to_string(inner.remaining()) +
                               " bytes after the end of a nested message");
                }
                return make<Tm_message_value>(scope, std::move(m));
            }
            case kTagPackedArray: {
                enter(depth + 1, at);
                const uint8_t tmv = r_.u8("packed element type");
                if (!tm_is_simple(tmv)) {
                    r_.fail("unknown packed element type " + std::to_string(tmv), r_.pos() - 1);
                }
                const size_t width = static_cast<size_t>(tm_simple_size(tmv));
                const int n = r_.count("packed array length", width);
                const uint8_t* p = r_.take(static_cast<size_t>(n) * width);
                if (tmv == TMV_BOOL) {
                    for (int i = 0; i < n; ++i) {
                        if (p[i] > 1) {
                            r_.fail("bool element " + std::to_string(i) + " is neither 0 nor 1",
                                    p + i);
                        }
                    }
                }
                return make<Tm_packed_array>(scope, tmv, p, n, *scope.arena);
            }
            default:
                r_.fail("unknown value tag " + std::to_string(tag), at);
        }
    }

    // Offsets of nested messages count from the start of the outermost buffer.
    const uint8_t* base_of(const uint8_t* at) const { return at - r_.offset(at); }

    Reader& r_;
};

}  // namespace

void encode(const Message& message, std::vector<uint8_t>& out) {
    Writer w(out);
    Encoder(w).message(message, 0);
    w.finish();
}

std::vector<uint8_t> encode(const Message& message) {
    std::vector<uint8_t> out;
    encode(message, out);
    return out;
}

Message decode(const uint8_t* data, size_t size) {
    static const uint8_t empty = 0;
    if (data == nullptr) {
        if (size != 0) {
            throw Tm_exception("message decode: null buffer of " + std::to_string(size) + " bytes");
        }
        data = &empty;
    }
    Reader r(data, data, data + size);
    Decoder d(r);
    Message m = d.message(0);
    if (!r.at_end()) {
        r.fail(std::to_string(r.remaining()) + " trailing bytes after the message");
    }
    return m;
}

Message decode(const std::vector<uint8_t>& bytes) {
    return decode(bytes.data(), bytes.size());
}

}  // namespace msglib
