#pragma once

// Blocks of memory large enough to hold a whole picture list, and its line table.

#include <cstddef>
#include <cstdlib>
#include <memory>

#include "platform/host_hints.h"

namespace platform {

// Gives a large block back to the C library, which made it.
struct LargeBlockDeleter {
    void operator()(void* block) const { std::free(block); }
};

template <class T> using LargeBlock = std::unique_ptr<T[], LargeBlockDeleter>;

// Resizes `block` to `count` elements, keeping its contents; returns false and leaves the block as
// it was when there is no memory for it. Never asks for zero bytes, which the C library may answer
// with no block at all.
template <class T> bool resizeLargeBlock(LargeBlock<T>& block, std::size_t count) {
    const std::size_t bytes = count == 0 ? 1 : count * sizeof(T);
    void* grown = std::realloc(block.get(), bytes);
    if (grown == nullptr) {
        return false;
    }
    (void)block.release();
    block.reset(static_cast<T*>(grown));
    adviseLargeBlock(grown, bytes);
    return true;
}

} // namespace platform
