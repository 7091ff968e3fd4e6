#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include <orx/msglib/Message.h>
#include <orx/msglib/TmCatalog.h>
#include <orx/msglib/TmEnum.h>
#include <orx/msglib/TmException.h>
#include <orx/msglib/TmTypes.h>
#include <orx/msglib/TmValue.h>
#include <orx/msglib/TmVisitor.h>

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

uint64_t tm_next_catalog_serial() {
    static std::atomic<uint64_t> next{0};
    return next.fetch_add(1, std::memory_order_relaxed) + 1;
}

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
constexpr size_t kHeader = msglib::detail::kValueHeader;
constexpr unsigned char kFromHeap = msglib::detail::kValueFromHeap;
// Keeps the rounding in Tm_arena::allocate_block from wrapping around.
constexpr size_t kMaxArenaRequest = std::numeric_limits<size_t>::max() / 2;
}  // namespace

// Not inlined: the compiler would pair the global new and delete inside them with the class
// operators and warn of a mismatch.
[[gnu::noinline]] void* Tm_value::operator new(size_t size) {
    auto* p = static_cast<unsigned char*>(::operator new(size + kHeader));
    p[0] = kFromHeap;
    return p + kHeader;
}
[[gnu::noinline]] void Tm_value::operator delete(void* p) noexcept {
    if (p == nullptr) {
        return;
    }
    auto* block = static_cast<unsigned char*>(p) - kHeader;
    if (block[0] == kFromHeap) {
        ::operator delete(block);
    }
}
void Tm_value::operator delete(void*, Tm_arena&) noexcept {}

// Full-size arena blocks of finished messages, kept for the next message decoded on the same
// thread: once a message's own small allocations are gone, freeing its blocks lets the heap hand
// the pages back to the system, and decoding one message after another faulted them in anew.
namespace {
constexpr size_t kArenaBlock = 64 * 1024;  // below the size the heap serves by mapping pages
constexpr int kCachedBlocks = 32;          // at most 2 MiB kept per thread

// Trivially destructible, so an arena destroyed late in a thread's life (by another thread-local
// object) can still look at it; Block_cache_closer empties it when the thread ends.
struct Block_cache {
    std::byte* blocks[kCachedBlocks];
    int count;
    bool closed;
};
thread_local Block_cache block_cache{};

struct Block_cache_closer {
    bool armed = false;
    ~Block_cache_closer() {
        block_cache.closed = true;
        while (block_cache.count > 0) {
            delete[] block_cache.blocks[--block_cache.count];
        }
    }
};
thread_local Block_cache_closer block_cache_closer;

std::unique_ptr<std::byte[]> take_cached_block() {
    if (block_cache.count == 0) {
        return nullptr;
    }
    return std::unique_ptr<std::byte[]>(block_cache.blocks[--block_cache.count]);
}

void cache_block(std::unique_ptr<std::byte[]> block) {
    if (block_cache.closed || block_cache.count == kCachedBlocks) {
        return;  // freed here
    }
    block_cache_closer.armed = true;  // registers the cleanup at thread end
    block_cache.blocks[block_cache.count++] = block.release();
}
}  // namespace

Tm_arena::~Tm_arena() {
    for (Block& b : blocks_) {
        if (b.size == kArenaBlock) {
            cache_block(std::move(b.memory));
        }
    }
}

void* Tm_arena::allocate_block(size_t size) {
    if (size > kMaxArenaRequest) {
        throw std::bad_alloc();
    }
    size = (size + 15) & ~size_t{15};
    // Blocks grow so that a large message needs few of them.
    block_size_ = std::min(block_size_ * 2, kArenaBlock);
    const size_t n = std::max(block_size_, size);
    std::unique_ptr<std::byte[]> memory = n == kArenaBlock ? take_cached_block() : nullptr;
    if (!memory) {
        memory.reset(new std::byte[n]);
    }
    std::byte* p = memory.get();
    blocks_.push_back(Block{std::move(memory), n});  // on failure the Block frees it
    next_ = p + size;
    left_ = n - size;
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
