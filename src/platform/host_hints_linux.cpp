#include <fcntl.h>
#include <sys/mman.h>

#include "platform/host_hints.h"

namespace platform {

namespace {

constexpr std::uintptr_t LARGE_PAGE = std::uintptr_t{2} << 20;

} // namespace

void adviseLargeBlock(void* block, std::size_t bytes) {
    // Only whole large pages inside the block can be mapped as such.
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    const std::uintptr_t last = (begin + bytes) & ~(LARGE_PAGE - 1);
    if (last > first) {
        (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

void startWriteback(int fd, std::uint64_t offset, std::uint64_t length) {
    (void)::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                            SYNC_FILE_RANGE_WRITE);
}

} // namespace platform
