// One buffer for the rows of a page, reused from page to page. A large one
// is offered to the kernel for huge pages, so that a page of several
// megabytes costs a handful of page faults rather than one per 4 KB.
#pragma once

#include <cstddef>
#include <cstdint>

class PageBuffer {
  public:
    PageBuffer() = default;
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;
    ~PageBuffer();

    // At least `bytes` bytes, keeping none of what the buffer held; null
    // when no memory can be had.
    std::uint8_t* reserve(std::size_t bytes);

  private:
    void release();

    void* mapping_ = nullptr; // the whole reservation
    std::size_t mapped_ = 0;
    std::uint8_t* data_ = nullptr; // its first huge-page boundary
    std::size_t capacity_ = 0;
};
