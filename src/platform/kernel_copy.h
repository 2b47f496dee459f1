#pragma once

// Copying a file's bytes without passing them through the program, where the host can.

#include <cstdint>

namespace platform {

struct KernelCopy {
    bool done = false;       // false: the host cannot copy these two files itself; copy by hand
    int error = 0;           // 0, or why the copy failed
    std::uint64_t bytes = 0; // bytes copied, also when not done
};

// Copies from the current offset of `in` to its end into `out`, advancing both offsets.
KernelCopy copyInKernel(int in, int out);

} // namespace platform
