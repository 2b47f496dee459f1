#include "platform/kernel_copy.h"

namespace platform {

// This host has no way to copy between two open files in the kernel.
KernelCopy copyInKernel(int, int) {
    return {};
}

} // namespace platform
