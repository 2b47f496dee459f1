#pragma once

// The process itself: its start, its standard streams and its immediate end.

namespace platform {

inline constexpr int STDIN_FD = 0;
inline constexpr int STDOUT_FD = 1;
inline constexpr int STDERR_FD = 2;

// Makes stream failures come back as error numbers instead of signals or handlers that would end
// the process silently (a closed pipe, a file size limit, a closed standard stream). Called once
// at process start.
void prepareProcess();

// Whether the stream turns LF into CR LF by itself (a text-mode stream). Leaves the mode as it is.
bool translatesLineEnds(int fd);

// Ends the process at once with `status`, without normal end-of-process work.
[[noreturn]] void exitNow(int status);

} // namespace platform
