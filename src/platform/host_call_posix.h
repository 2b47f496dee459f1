#pragma once

// How the POSIX files of this layer call the host: a call that a signal interrupts before it has
// done anything is made again, so that no caller ever sees EINTR.

#include <cerrno>
#include <cstddef>
#include <sys/types.h>

namespace platform {

// Makes `call` until it returns anything but a failure (a negative value) with errno EINTR, and
// returns that; errno still holds the reason of a failure.
template <class Call> auto retryInterrupted(Call call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

// One call that moves bytes (a read or a write, positioned or not), retried while it is
// interrupted, as a ReadResult or a WriteResult.
template <class Result, class Call> Result bytesMoved(Call call) {
    const ssize_t moved = retryInterrupted(call);
    return moved >= 0 ? Result{static_cast<std::size_t>(moved), 0} : Result{0, errno};
}

} // namespace platform
