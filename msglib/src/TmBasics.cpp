#include <algorithm>
#include <cstring>
#include <string>

#include "msglib/Message.h"
#include "msglib/TmCatalog.h"
#include "msglib/TmEnum.h"
#include "msglib/TmException.h"
#include "msglib/TmTypes.h"
#include "msglib/TmValue.h"
#include "msglib/TmVisitor.h"

const char* tm_kind_name(int kind) {
    static const char* const names[] = {"int8",  "uint8",  "int16",  "uint16", "int32",  "uint32",
                                        "int64", "uint64", "double", "bool",   "string", "binary",
                                        "array", "struct", "date",   "file",   "message"};
    if (kind < 0 || kind > TMK_MESSAGE) {
        return "unknown";
    }
    return names[kind];
}

int tm_simple_size(int tmv) {
    static const int sizes[] = {1, 1, 2, 2, 4, 4, 8, 8, 8, 1};
    return tm_is_simple(tmv) ? sizes[tmv] : 0;
}

// Exceptions ---------------------------------------------------------------------------------

Tm_exception::Tm_exception(const std::string& what) : what_(what) {}
Tm_exception::~Tm_exception() = default;
const char* Tm_exception::what() const noexcept {
    return what_.c_str();
}

static std::string range_text(int index, int low, int high) {
    std::string text = "index " + std::to_string(index) + " out of range ";
    if (high < low) {
        return text + "(empty, " + std::to_string(low) + ".." + std::to_string(high) + ")";
    }
    return text + std::to_string(low) + ".." + std::to_string(high);
}

Tm_out_of_range_exception::Tm_out_of_range_exception(int index, int low, int high)
    : Tm_exception(range_text(index, low, high)), index_(index), low_(low), high_(high) {}
Tm_out_of_range_exception::~Tm_out_of_range_exception() = default;

Tm_type_mismatch_exception::Tm_type_mismatch_exception(int actual, int expected)
    : Tm_exception("type mismatch: actual " + std::to_string(actual) + ", expected " +
                   std::to_string(expected)),
      actual_(actual),
      expected_(expected) {}
Tm_type_mismatch_exception::Tm_type_mismatch_exception(int actual, int expected,
                                                       const std::string& context)
    : Tm_exception(context + " (type mismatch: actual " + std::to_string(actual) + ", expected " +
                   std::to_string(expected) + ")"),
      actual_(actual),
      expected_(expected) {}
Tm_type_mismatch_exception::~Tm_type_mismatch_exception() = default;

// Catalog, simple values -----------------------------------------------------------------------

template class Tm_catalog<std::string>;

template class Tm_simple<int8_t, TMK_INT8>;
template class Tm_simple<uint8_t, TMK_UINT8>;
template class Tm_simple<int16_t, TMK_INT16>;
template class Tm_simple<uint16_t, TMK_UINT16>;
template class Tm_simple<int32_t, TMK_INT32>;
template class Tm_simple<uint32_t, TMK_UINT32>;
template class Tm_simple<int64_t, TMK_INT64>;
template class Tm_simple<uint64_t, TMK_UINT64>;
template class Tm_simple<double, TMK_DOUBLE>;
template class Tm_simple<bool, TMK_BOOL>;

// Visitor ---------------------------------------------------------------------------------------

Tm_visitor::~Tm_visitor() = default;
bool Tm_visitor::visit_int8(int8_t) {
    return true;
}
bool Tm_visitor::visit_uint8(uint8_t) {
    return true;
}
bool Tm_visitor::visit_int16(int16_t) {
    return true;
}
bool Tm_visitor::visit_uint16(uint16_t) {
    return true;
}
bool Tm_visitor::visit_int32(int32_t) {
    return true;
}
bool Tm_visitor::visit_uint32(uint32_t) {
    return true;
}
bool Tm_visitor::visit_int64(int64_t) {
    return true;
}
bool Tm_visitor::visit_uint64(uint64_t) {
    return true;
}
bool Tm_visitor::visit_double(double) {
    return true;
}
bool Tm_visitor::visit_bool(bool) {
    return true;
}
bool Tm_visitor::visit_string(const std::string&) {
    return true;
}
bool Tm_visitor::visit_binary(const Tm_binary&) {
    return true;
}
bool Tm_visitor::visit_date(const Tm_date&) {
    return true;
}
bool Tm_visitor::visit_file(const Tm_file&) {
    return true;
}
bool Tm_visitor::visit_message(const Message&) {
    return true;
}
bool Tm_visitor::visit_struct(const Tm_struct&) {
    return true;
}
bool Tm_visitor::start_array(const Tm_array&) {
    return true;
}
bool Tm_visitor::end_array(const Tm_array&) {
    return true;
}
int Tm_visitor::resume_position() {
    int p = resume_;
    resume_ = 0;
    return p;
}
void Tm_visitor::save_position(int position) {
    saved_ = position;
}

// Values ----------------------------------------------------------------------------------------

Tm_value::~Tm_value() = default;

// Every value carries a 16-byte header (keeping 16-byte alignment) telling whether its memory
// came from the heap or from an arena.
namespace {
constexpr size_t kHeader = 16;
constexpr unsigned char kFromHeap = 0x48;
constexpr unsigned char kFromArena = 0x41;
}  // namespace

void* Tm_value::operator new(size_t size) {
    auto* p = static_cast<unsigned char*>(::operator new(size + kHeader));
    p[0] = kFromHeap;
    return p + kHeader;
}
void* Tm_value::operator new(size_t size, Tm_arena& arena) {
    auto* p = static_cast<unsigned char*>(arena.allocate(size + kHeader));
    p[0] = kFromArena;
    return p + kHeader;
}
void Tm_value::operator delete(void* p) noexcept {
    if (p == nullptr) {
        return;
    }
    auto* block = static_cast<unsigned char*>(p) - kHeader;
    if (block[0] == kFromHeap) {
        ::operator delete(block);
    }
}
void Tm_value::operator delete(void*, Tm_arena&) noexcept {}

Tm_arena::~Tm_arena() = default;

void* Tm_arena::allocate(size_t size) {
    size = (size + 15) & ~size_t{15};
    if (size > left_) {
        // Blocks grow so that a large message needs few of them, but stay below the size the
        // heap serves by mapping fresh pages.
        block_size_ = std::min<size_t>(block_size_ * 2, 64 * 1024);
        const size_t n = std::max(block_size_, size);
        blocks_.push_back(std::unique_ptr<std::byte[]>(new std::byte[n]));
        next_ = blocks_.back().get();
        left_ = n;
    }
    void* p = next_;
    next_ += size;
    left_ -= size;
    return p;
}

bool Tm_string::accept(Tm_visitor& visitor) const {
    return visitor.visit_string(value_);
}
Tm_value* Tm_string::clone() const {
    return new Tm_string(value_);
}
bool Tm_string::equals(const Tm_value& other) const {
    return other.get_kind() == TMK_STRING && static_cast<const Tm_string&>(other).value_ == value_;
}

Tm_binary::Tm_binary(const void* data, size_t size) {
    assign(data, size);
}
void Tm_binary::assign(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.assign(p, p + size);
}
bool Tm_binary::accept(Tm_visitor& visitor) const {
    return visitor.visit_binary(*this);
}
Tm_value* Tm_binary::clone() const {
    return new Tm_binary(*this);
}
bool Tm_binary::equals(const Tm_value& other) const {
    return other.get_kind() == TMK_BINARY && static_cast<const Tm_binary&>(other).bytes_ == bytes_;
}

bool Tm_date::accept(Tm_visitor& visitor) const {
    return visitor.visit_date(*this);
}
Tm_value* Tm_date::clone() const {
    return new Tm_date(usec_);
}
bool Tm_date::equals(const Tm_value& other) const {
    return other.get_kind() == TMK_DATE && static_cast<const Tm_date&>(other).usec_ == usec_;
}

bool Tm_file::accept(Tm_visitor& visitor) const {
    return visitor.visit_file(*this);
}
Tm_value* Tm_file::clone() const {
    return new Tm_file(name_, content_);
}
bool Tm_file::equals(const Tm_value& other) const {
    if (other.get_kind() != TMK_FILE) {
        return false;
    }
    const auto& o = static_cast<const Tm_file&>(other);
    return o.name_ == name_ && o.content_ == content_;
}

// Value maps ------------------------------------------------------------------------------------

const char* tms_enum_to_string(int value, const tm_enum_map* map) {
    if (map == nullptr) {
        throw Tm_exception("tms_enum_to_string: no value map given for value " +
                           std::to_string(value));
    }
    for (const tm_enum_map* e = map; e->name != nullptr; ++e) {
        if (e->value == value) {
            return e->name;
        }
    }
    throw Tm_exception("tms_enum_to_string: value " + std::to_string(value) +
                       " has no name in the value map");
}

int tms_string_to_enum(const char* name, const tm_enum_map* map) {
    if (name == nullptr) {
        throw Tm_exception("tms_string_to_enum: null name");
    }
    if (map == nullptr) {
        throw Tm_exception(std::string("tms_string_to_enum: no value map given for name '") + name +
                           "'");
    }
    for (const tm_enum_map* e = map; e->name != nullptr; ++e) {
        if (std::strcmp(e->name, name) == 0) {
            return e->value;
        }
    }
    throw Tm_exception(std::string("tms_string_to_enum: name '") + name +
                       "' is not in the value map");
}
