#include "tools/labelprint/page_buffer.h"

#include <sys/mman.h>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t roundUp(std::size_t bytes, std::size_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

} // namespace

PageBuffer::~PageBuffer() {
    release();
}

void PageBuffer::release() {
    if (mapping_)
        munmap(mapping_, mapped_);
    mapping_ = nullptr;
    data_ = nullptr;
    mapped_ = capacity_ = 0;
}

std::uint8_t* PageBuffer::reserve(std::size_t bytes) {
    if (bytes <= capacity_ && data_)
        return data_;
    release();
    // Huge pages start on 2 MB boundaries: reserve one more to find one.
    const std::size_t capacity = roundUp(bytes ? bytes : 1, kHugePage);
    const std::size_t size = capacity + kHugePage;
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    mapping_ = memory;
    mapped_ = size;
    const auto address = reinterpret_cast<std::uintptr_t>(memory);
    data_ = static_cast<std::uint8_t*>(memory) + (roundUp(address, kHugePage) - address);
    capacity_ = capacity;
    madvise(data_, capacity_, MADV_HUGEPAGE);
    return data_;
}
