#include <algorithm>
#include <cstring>
#include <string>

#include <orx/msglib/Message.h>
#include <orx/msglib/TmArray.h>
#include <orx/msglib/TmStruct.h>
#include "Access.h"

using msglib::detail::expect_kind;

Tm_value_container::~Tm_value_container() = default;

static std::string element_text(int i) {
    return "array element " + std::to_string(i);
}

// Tm_array -------------------------------------------------------------------------------------

Tm_array::Tm_array() : container_(&own_) {}
Tm_array::Tm_array(Tm_value_container* container) : container_(container) {}
Tm_array::Tm_array(Tm_arena& arena) : own_(arena), container_(&own_) {}
Tm_array::~Tm_array() = default;

Tm_value_container* Tm_array::container(const char* operation) const {
    if (container_ == nullptr) {
        throw Tm_exception(std::string(operation) + " is not supported by this array");
    }
    return container_;
}

const Tm_value* Tm_array::element(int i, const char* operation) const {
    if (container_ == &own_) {  // the usual case, without virtual calls
        if (i < 0 || i >= own_.size()) [[unlikely]] {
            throw Tm_out_of_range_exception(i, 0, own_.size() - 1);
        }
        return own_.at(i);
    }
    Tm_value_container* c = container(operation);
    if (i < 0 || i >= c->size()) {
        throw Tm_out_of_range_exception(i, 0, c->size() - 1);
    }
    return c->at(i);
}

template <class V>
const V& Tm_array::typed(int i, int kind) const {
    return expect_kind<V>(*element(i, "reading an element"), kind, [i] { return element_text(i); });
}

void Tm_array::reserve(int n) {
    if (container_ != nullptr && n > 0) {
        container_->reserve(n);
    }
}
void Tm_array::clear() {
    container("clear()")->clear();
}

#define ORX_TM_ARRAY_ADD(T)                                                                     \
    void Tm_array::add_member(T value) {                                                        \
        container("add_member()")->push_back(std::unique_ptr<Tm_value>(tm_make_simple(value))); \
    }
ORX_TM_ARRAY_ADD(int8_t)
ORX_TM_ARRAY_ADD(uint8_t)
ORX_TM_ARRAY_ADD(int16_t)
ORX_TM_ARRAY_ADD(uint16_t)
ORX_TM_ARRAY_ADD(int32_t)
ORX_TM_ARRAY_ADD(uint32_t)
ORX_TM_ARRAY_ADD(int64_t)
ORX_TM_ARRAY_ADD(uint64_t)
ORX_TM_ARRAY_ADD(double)
ORX_TM_ARRAY_ADD(bool)
#undef ORX_TM_ARRAY_ADD

void Tm_array::add_member(const std::string& value) {
    container("add_member()")->push_back(std::make_unique<Tm_string>(value));
}
void Tm_array::add_member(const char* value) {
    if (value == nullptr) {
        throw Tm_exception("add_member(): null string");
    }
    add_member(std::string(value));
}
void Tm_array::add_member(const Tm_binary* value) {
    if (value == nullptr) {
        throw Tm_exception("add_member(): null binary");
    }
    add_member(*value);
}
void Tm_array::add_member(const Tm_binary& value) {
    container("add_member()")->push_back(std::make_unique<Tm_binary>(value));
}
void Tm_array::add_member_and_own(Tm_value* value) {
    std::unique_ptr<Tm_value> owned(value);
    if (!owned) {
        throw Tm_exception("add_member_and_own(): null value");
    }
    if (container_ == &own_) {
        own_.push_back(std::move(owned));
    } else {
        container("add_member_and_own()")->push_back(std::move(owned));
    }
}

int Tm_array::get_member_count() const {
    if (container_ == &own_) {
        return own_.size();
    }
    return container("get_member_count()")->size();
}
int Tm_array::get_member_value_type(int i) const {
    return element(i, "get_member_value_type()")->get_kind();
}
int8_t Tm_array::get_member_int8(int i) const {
    return typed<Tm_int8>(i, TMK_INT8).get();
}
uint8_t Tm_array::get_member_uint8(int i) const {
    return typed<Tm_uint8>(i, TMK_UINT8).get();
}
int16_t Tm_array::get_member_int16(int i) const {
    return typed<Tm_int16>(i, TMK_INT16).get();
}
uint16_t Tm_array::get_member_uint16(int i) const {
    return typed<Tm_uint16>(i, TMK_UINT16).get();
}
int32_t Tm_array::get_member_int32(int i) const {
    return typed<Tm_int32>(i, TMK_INT32).get();
}
uint32_t Tm_array::get_member_uint32(int i) const {
    return typed<Tm_uint32>(i, TMK_UINT32).get();
}
int64_t Tm_array::get_member_int64(int i) const {
    return typed<Tm_int64>(i, TMK_INT64).get();
}
uint64_t Tm_array::get_member_uint64(int i) const {
    return typed<Tm_uint64>(i, TMK_UINT64).get();
}
double Tm_array::get_member_double(int i) const {
    return typed<Tm_double>(i, TMK_DOUBLE).get();
}
bool Tm_array::get_member_bool(int i) const {
    return typed<Tm_bool>(i, TMK_BOOL).get();
}
const std::string& Tm_array::get_member_string(int i) const {
    return typed<Tm_string>(i, TMK_STRING).get();
}
const Tm_array* Tm_array::get_member_array(int i) const {
    return &typed<Tm_array>(i, TMK_ARRAY);
}
const Tm_struct* Tm_array::get_member_struct(int i) const {
    return &typed<Tm_struct>(i, TMK_STRUCT);
}
const Tm_date* Tm_array::get_member_date(int i) const {
    return &typed<Tm_date>(i, TMK_DATE);
}
const Tm_binary* Tm_array::get_member_binary(int i) const {
    return &typed<Tm_binary>(i, TMK_BINARY);
}
const Tm_file* Tm_array::get_member_file(int i) const {
    return &typed<Tm_file>(i, TMK_FILE);
}
const Message* Tm_array::get_member_message(int i) const {
    return &typed<Tm_message_value>(i, TMK_MESSAGE).get();
}
const Tm_value* Tm_array::get_member(int i) const {
    return container_ == nullptr ? nullptr : element(i, "get_member()");
}

bool Tm_array::item_accept(int i, Tm_visitor& visitor) const {
    return element(i, "item_accept()")->accept(visitor);
}

bool Tm_array::accept(Tm_visitor& visitor) const {
    const int count = get_member_count();
    const int resume = visitor.resume_position();
    int first = 0;
    if (resume > 0) {
        first = std::min(resume - 1, count);
    } else if (!visitor.start_array(*this)) {
        visitor.save_position(0);
        return false;
    }
    for (int i = first; i < count; ++i) {
        if (!item_accept(i, visitor)) {
            visitor.save_position(i + 1);
            return false;
        }
    }
    if (resume > count + 1) {
        return true;
    }
    if (!visitor.end_array(*this)) {
        visitor.save_position(count + 1);
        return false;
    }
    return true;
}

Tm_value* Tm_array::clone() const {
    Tm_value_container* c = container("clone()");
    auto copy = std::make_unique<Tm_array>();
    copy->reserve(c->size());
    for (int i = 0; i < c->size(); ++i) {
        copy->own_.push_back(std::unique_ptr<Tm_value>(c->at(i)->clone()));
    }
    return copy.release();
}

// Element i of a, as a value object (made when a holds plain numbers).
static std::unique_ptr<Tm_value> owned_element(const Tm_array& a, int i, const Tm_value*& v) {
    v = a.get_member(i);
    if (v != nullptr) {
        return nullptr;
    }
    std::unique_ptr<Tm_value> made;
    switch (a.get_member_value_type(i)) {
        case TMK_INT8:
            made.reset(new Tm_int8(a.get_member_int8(i)));
            break;
        case TMK_UINT8:
            made.reset(new Tm_uint8(a.get_member_uint8(i)));
            break;
        case TMK_INT16:
            made.reset(new Tm_int16(a.get_member_int16(i)));
            break;
        case TMK_UINT16:
            made.reset(new Tm_uint16(a.get_member_uint16(i)));
            break;
        case TMK_INT32:
            made.reset(new Tm_int32(a.get_member_int32(i)));
            break;
        case TMK_UINT32:
            made.reset(new Tm_uint32(a.get_member_uint32(i)));
            break;
        case TMK_INT64:
            made.reset(new Tm_int64(a.get_member_int64(i)));
            break;
        case TMK_UINT64:
            made.reset(new Tm_uint64(a.get_member_uint64(i)));
            break;
        case TMK_DOUBLE:
            made.reset(new Tm_double(a.get_member_double(i)));
            break;
        case TMK_BOOL:
            made.reset(new Tm_bool(a.get_member_bool(i)));
            break;
        case TMK_STRING:
            made.reset(new Tm_string(a.get_member_string(i)));
            break;
        default:
            throw Tm_exception(element_text(i) + " of kind " +
                               tm_kind_name(a.get_member_value_type(i)) +
                               " is neither an object nor a plain value");
    }
    v = made.get();
    return made;
}

bool Tm_array::equals(const Tm_value& other) const {
    if (other.get_kind() != TMK_ARRAY) {
        return false;
    }
    const auto& o = static_cast<const Tm_array&>(other);
    const int count = get_member_count();
    if (o.get_member_count() != count) {
        return false;
    }
    int ta = 0, tb = 0, ca = 0, cb = 0;
    const void* da = contiguous_data(ta, ca);
    const void* db = o.contiguous_data(tb, cb);
    if (da != nullptr && db != nullptr) {
        return ta == tb &&
               (ca == 0 || std::memcmp(da, db, static_cast<size_t>(ca) * tm_simple_size(ta)) == 0);
    }
    for (int i = 0; i < count; ++i) {
        const Tm_value* va = nullptr;
        const Tm_value* vb = nullptr;
        auto ka = owned_element(*this, i, va);
        auto kb = owned_element(o, i, vb);
        if (!va->equals(*vb)) {
            return false;
        }
    }
    return true;
}

const void* Tm_array::contiguous_data(int&, int&) const {
    return nullptr;
}

// Tm_packed_array ------------------------------------------------------------------------------

Tm_packed_array::Tm_packed_array(int tmv, Tm_arena* arena)
    : Tm_array(nullptr),
      tmv_(tmv),
      width_(tm_simple_size(tmv)),
      bytes_(Tm_arena_allocator<uint8_t>(arena)) {
    if (!tm_is_simple(tmv)) {
        throw Tm_exception("Tm_packed_array: " + std::to_string(tmv) + " is not a simple type");
    }
}
Tm_packed_array::Tm_packed_array(int tmv) : Tm_packed_array(tmv, static_cast<Tm_arena*>(nullptr)) {}
Tm_packed_array::Tm_packed_array(int tmv, const void* data, int count)
    : Tm_packed_array(tmv, static_cast<Tm_arena*>(nullptr)) {
    fill(data, count);
}
Tm_packed_array::Tm_packed_array(int tmv, const void* data, int count, Tm_arena& arena)
    : Tm_packed_array(tmv, &arena) {
    fill(data, count);
}

void Tm_packed_array::fill(const void* data, int count) {
    if (count < 0) {
        throw Tm_exception("Tm_packed_array: negative count " + std::to_string(count));
    }
    const auto* p = static_cast<const uint8_t*>(data);
    if (count > 0) {
        bytes_.assign(p, p + static_cast<size_t>(count) * width_);
    }
    if (tmv_ == TMV_BOOL) {  // a bool byte other than 0 or 1 has no value
        for (int i = 0; i < count; ++i) {
            if (bytes_[static_cast<size_t>(i)] > 1) {
                throw Tm_exception("Tm_packed_array: bool element " + std::to_string(i) +
                                   " is neither 0 nor 1");
            }
        }
    }
    count_ = count;
}

void Tm_packed_array::refuse(int kind, int i) const {
    throw Tm_type_mismatch_exception(tmv_, kind,
                                     element_text(i) + " of a packed " + tm_kind_name(tmv_) +
                                         " array read as " + tm_kind_name(kind));
}

template <class T>
void Tm_packed_array::append(T value) {
    constexpr int kind = tm_simple_traits<T>::tmv;
    if (kind != tmv_) {
        throw Tm_type_mismatch_exception(kind, tmv_,
                                         std::string("add_member(") + tm_kind_name(kind) +
                                             ") on a packed " + tm_kind_name(tmv_) + " array");
    }
    const size_t at = bytes_.size();
    bytes_.resize(at + sizeof(T));
    std::memcpy(bytes_.data() + at, &value, sizeof(T));
    ++count_;
}

template <class T>
T Tm_packed_array::read(int i) const {
    constexpr int kind = tm_simple_traits<T>::tmv;
    if (kind != tmv_) {
        refuse(kind, i);
    }
    if (i < 0 || i >= count_) {
        throw Tm_out_of_range_exception(i, 0, count_ - 1);
    }
    T value;
    std::memcpy(&value, bytes_.data() + static_cast<size_t>(i) * sizeof(T), sizeof(T));
    return value;
}

void Tm_packed_array::reserve(int n) {
    if (n > 0) {
        bytes_.reserve(static_cast<size_t>(n) * width_);
    }
}
void Tm_packed_array::clear() {
    bytes_.clear();
    count_ = 0;
}
void Tm_packed_array::add_member(int8_t value) {
    append(value);
}
void Tm_packed_array::add_member(uint8_t value) {
    append(value);
}
void Tm_packed_array::add_member(int16_t value) {
    append(value);
}
void Tm_packed_array::add_member(uint16_t value) {
    append(value);
}
void Tm_packed_array::add_member(int32_t value) {
    append(value);
}
void Tm_packed_array::add_member(uint32_t value) {
    append(value);
}
void Tm_packed_array::add_member(int64_t value) {
    append(value);
}
void Tm_packed_array::add_member(uint64_t value) {
    append(value);
}
void Tm_packed_array::add_member(double value) {
    append(value);
}
void Tm_packed_array::add_member(bool value) {
    append(value);
}
void Tm_packed_array::add_member(const std::string&) {
    throw Tm_type_mismatch_exception(
        TMK_STRING, tmv_,
        std::string("add_member(string) on a packed ") + tm_kind_name(tmv_) + " array");
}
void Tm_packed_array::add_member(const char* value) {
    add_member(std::string(value == nullptr ? "" : value));
}
void Tm_packed_array::add_member(const Tm_binary&) {
    throw Tm_type_mismatch_exception(
        TMK_BINARY, tmv_,
        std::string("add_member(binary) on a packed ") + tm_kind_name(tmv_) + " array");
}
void Tm_packed_array::add_member(const Tm_binary* value) {
    add_member(value == nullptr ? Tm_binary() : *value);
}

void Tm_packed_array::add_member_and_own(Tm_value* value) {
    std::unique_ptr<Tm_value> owned(value);
    if (!owned) {
        throw Tm_exception("add_member_and_own(): null value");
    }
    switch (owned->get_kind()) {
        case TMK_INT8:
            return append(static_cast<const Tm_int8&>(*owned).get());
        case TMK_UINT8:
            return append(static_cast<const Tm_uint8&>(*owned).get());
        case TMK_INT16:
            return append(static_cast<const Tm_int16&>(*owned).get());
        case TMK_UINT16:
            return append(static_cast<const Tm_uint16&>(*owned).get());
        case TMK_INT32:
            return append(static_cast<const Tm_int32&>(*owned).get());
        case TMK_UINT32:
            return append(static_cast<const Tm_uint32&>(*owned).get());
        case TMK_INT64:
            return append(static_cast<const Tm_int64&>(*owned).get());
        case TMK_UINT64:
            return append(static_cast<const Tm_uint64&>(*owned).get());
        case TMK_DOUBLE:
            return append(static_cast<const Tm_double&>(*owned).get());
        case TMK_BOOL:
            return append(static_cast<const Tm_bool&>(*owned).get());
        default:
            throw Tm_type_mismatch_exception(owned->get_kind(), tmv_,
                                             std::string("add_member_and_own(") +
                                                 tm_kind_name(owned->get_kind()) +
                                                 ") on a packed " + tm_kind_name(tmv_) + " array");
    }
}

int Tm_packed_array::get_member_value_type(int i) const {
    if (i < 0 || i >= count_) {
        throw Tm_out_of_range_exception(i, 0, count_ - 1);
    }
    return tmv_;
}
int8_t Tm_packed_array::get_member_int8(int i) const {
    return read<int8_t>(i);
}
uint8_t Tm_packed_array::get_member_uint8(int i) const {
    return read<uint8_t>(i);
}
int16_t Tm_packed_array::get_member_int16(int i) const {
    return read<int16_t>(i);
}
uint16_t Tm_packed_array::get_member_uint16(int i) const {
    return read<uint16_t>(i);
}
int32_t Tm_packed_array::get_member_int32(int i) const {
    return read<int32_t>(i);
}
uint32_t Tm_packed_array::get_member_uint32(int i) const {
    return read<uint32_t>(i);
}
int64_t Tm_packed_array::get_member_int64(int i) const {
    return read<int64_t>(i);
}
uint64_t Tm_packed_array::get_member_uint64(int i) const {
    return read<uint64_t>(i);
}
double Tm_packed_array::get_member_double(int i) const {
    return read<double>(i);
}
bool Tm_packed_array::get_member_bool(int i) const {
    return read<bool>(i);
}
const std::string& Tm_packed_array::get_member_string(int i) const {
    refuse(TMK_STRING, i);
}
const Tm_array* Tm_packed_array::get_member_array(int i) const {
    refuse(TMK_ARRAY, i);
}
const Tm_struct* Tm_packed_array::get_member_struct(int i) const {
    refuse(TMK_STRUCT, i);
}
const Tm_date* Tm_packed_array::get_member_date(int i) const {
    refuse(TMK_DATE, i);
}
const Tm_binary* Tm_packed_array::get_member_binary(int i) const {
    refuse(TMK_BINARY, i);
}
const Tm_file* Tm_packed_array::get_member_file(int i) const {
    refuse(TMK_FILE, i);
}
const Message* Tm_packed_array::get_member_message(int i) const {
    refuse(TMK_MESSAGE, i);
}
const Tm_value* Tm_packed_array::get_member(int i) const {
    get_member_value_type(i);  // range check
    return nullptr;
}

bool Tm_packed_array::item_accept(int i, Tm_visitor& visitor) const {
    switch (tmv_) {
        case TMV_INT8:
            return tm_visit(visitor, read<int8_t>(i));
        case TMV_UINT8:
            return tm_visit(visitor, read<uint8_t>(i));
        case TMV_INT16:
            return tm_visit(visitor, read<int16_t>(i));
        case TMV_UINT16:
            return tm_visit(visitor, read<uint16_t>(i));
        case TMV_INT32:
            return tm_visit(visitor, read<int32_t>(i));
        case TMV_UINT32:
            return tm_visit(visitor, read<uint32_t>(i));
        case TMV_INT64:
            return tm_visit(visitor, read<int64_t>(i));
        case TMV_UINT64:
            return tm_visit(visitor, read<uint64_t>(i));
        case TMV_DOUBLE:
            return tm_visit(visitor, read<double>(i));
        default:
            return tm_visit(visitor, read<bool>(i));
    }
}

Tm_value* Tm_packed_array::clone() const {
    return new Tm_packed_array(tmv_, bytes_.data(), count_);
}

const void* Tm_packed_array::contiguous_data(int& tmv, int& count) const {
    tmv = tmv_;
    count = count_;
    // Never null, also when empty: null would mean "not stored as one run".
    return count_ == 0 ? static_cast<const void*>(&count_) : bytes_.data();
}
