#include "lines/write_block.h"

#include <new>

namespace lines {

bool WriteBlock::reserve(std::size_t bytes) noexcept {
    if (bytes <= capacity_) {
        return true;
    }
    // Asked of operator new rather than the C library, so that a run whose allocations are refused
    // one by one reaches this block too.
    std::unique_ptr<char[]> grown(new (std::nothrow) char[bytes]);
    if (!grown) {
        return false;
    }
    if (used_ > 0) {
        std::memcpy(grown.get(), bytes_.get(), used_);
    }
    bytes_ = std::move(grown);
    capacity_ = bytes;
    return true;
}

bool growForLine(WriteBlock& block, std::size_t bytes) noexcept {
    return block.reserve(bytes < LINE_BLOCK_CAPACITY ? LINE_BLOCK_CAPACITY : bytes);
}

void WriteBlock::dropFront(std::size_t count) noexcept {
    assert(count <= used_);
    std::memmove(bytes_.get(), bytes_.get() + count, used_ - count);
    used_ -= count;
}

} // namespace lines
