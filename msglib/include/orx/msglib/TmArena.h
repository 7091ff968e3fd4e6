#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

// Bump allocator for the values of one decoded message: a decoded message is made of many small
// objects that live and die together, which the general heap serves slowly. Memory is released
// when the arena is destroyed; single-threaded, like building a message.
class Tm_arena {
  public:
    Tm_arena() = default;
    Tm_arena(const Tm_arena&) = delete;
    Tm_arena& operator=(const Tm_arena&) = delete;
    ~Tm_arena();

    // size bytes aligned to 16.
    void* allocate(size_t size) {
        if (size <= left_) {  // inline, as a decoded message makes one call per value
            // left_ is a multiple of 16, so the rounded size fits too.
            size = (size + 15) & ~size_t{15};
            void* p = next_;
            next_ += size;
            left_ -= size;
            return p;
        }
        return allocate_block(size);
    }

  private:
    void* allocate_block(size_t size);

    struct Block {
        std::unique_ptr<std::byte[]> memory;
        size_t size;
    };
    std::vector<Block> blocks_;
    std::byte* next_ = nullptr;
    size_t left_ = 0;
    size_t block_size_ = 4096;
};

// Allocator of the element storage inside values (structure members, array elements, packed
// numbers): from an arena when given one, so a decoded message's containers cost no heap calls,
// and from the heap otherwise. Arena storage is released with the arena, never one by one.
template <class T>
class Tm_arena_allocator {
    static_assert(alignof(T) <= 16, "the arena aligns to 16");

  public:
    using value_type = T;

    Tm_arena_allocator() noexcept = default;
    explicit Tm_arena_allocator(Tm_arena* arena) noexcept : arena_(arena) {}
    template <class U>
    Tm_arena_allocator(const Tm_arena_allocator<U>& other) noexcept : arena_(other.arena()) {}

    T* allocate(size_t n) {
        if (arena_ == nullptr) {
            return std::allocator<T>().allocate(n);
        }
        if (n > max_size()) {
            throw std::bad_array_new_length();
        }
        return static_cast<T*>(arena_->allocate(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept {
        if (arena_ == nullptr) {
            std::allocator<T>().deallocate(p, n);
        }
    }
    static constexpr size_t max_size() noexcept {
        return static_cast<size_t>(PTRDIFF_MAX) / sizeof(T);
    }

    Tm_arena* arena() const noexcept { return arena_; }
    friend bool operator==(const Tm_arena_allocator& a, const Tm_arena_allocator& b) noexcept {
        return a.arena_ == b.arena_;
    }

  private:
    Tm_arena* arena_ = nullptr;
};
