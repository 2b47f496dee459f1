#include <cstdint>
#include <sys/mman.h>

#include "shell/large_block.h"

namespace shell {

namespace {

constexpr std::uintptr_t LARGE_PAGE = std::uintptr_t{2} << 20;

} // namespace

void adviseLargeBlock(void* block, std::size_t bytes) {
    // Only whole large pages inside the block can be mapped as such; the advice is a hint, so
    // a host that ignores it loses nothing but speed.
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    const std::uintptr_t last = (begin + bytes) & ~(LARGE_PAGE - 1);
    if (last > first) {
        (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

} // namespace shell
