#pragma once

#include <cstddef>
#include <memory>
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
    void* allocate(size_t size);

  private:
    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::byte* next_ = nullptr;
    size_t left_ = 0;
    size_t block_size_ = 4096;
};
