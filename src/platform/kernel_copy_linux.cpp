#include <unistd.h>

#include "platform/host_call_posix.h"
#include "platform/host_hints.h"
#include "platform/kernel_copy.h"

namespace platform {

namespace {

// Small enough that the disk starts on each piece while the next one is copied.
constexpr std::size_t CHUNK = std::size_t{64} << 20;

// The errors with which the kernel declines a pair of files it cannot copy between (another file
// system, a special file, an old kernel); reading and writing by hand still works for them.
bool declined(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == EBADF;
}

} // namespace

KernelCopy copyInKernel(int in, int out) {
    std::uint64_t copied = 0;
    for (;;) {
        const ssize_t moved = retryInterrupted(
            [&] { return ::copy_file_range(in, nullptr, out, nullptr, CHUNK, 0); });
        if (moved > 0) {
            startWriteback(out, copied, static_cast<std::uint64_t>(moved));
            copied += static_cast<std::uint64_t>(moved);
        } else if (moved == 0) {
            // Files that report no size but have contents (such as /proc files) copy nothing
            // here; reading them by hand finds their bytes, and finds the end as well.
            return {copied > 0, 0};
        } else {
            return declined(errno) ? KernelCopy{} : KernelCopy{true, errno};
        }
    }
}

} // namespace platform
