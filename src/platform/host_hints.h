#pragma once

// Hints that let the host do large jobs faster. A host without them loses speed, nothing else.

#include <cstddef>
#include <cstdint>

namespace platform {

// Tells the host that the block is large and walked through as a whole, so that it may map it in
// large pages: far fewer page faults and address-translation misses for a list of many megabytes.
void adviseLargeBlock(void* block, std::size_t bytes);

// Starts writing a range of the file to disk without waiting for it, so that the sync at the end
// finds most of the file there already.
void startWriteback(int fd, std::uint64_t offset, std::uint64_t length);

} // namespace platform
