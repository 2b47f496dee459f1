#include "shell/kernel_copy.h"

namespace shell {

// This host has no way to copy between two open files in the kernel.
KernelCopy copyInKernel(int, int) {
    return {};
}

} // namespace shell
