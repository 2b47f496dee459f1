#pragma once

// The few operating-system calls that the program's own file and console handling needs. Each
// host has its own implementation file; everything above this header is the same on every host.

#include <cstddef>
#include <cstdint>
#include <string>

namespace records::os {

inline constexpr int STDIN_FD = 0;
inline constexpr int STDOUT_FD = 1;
inline constexpr int STDERR_FD = 2;

// Makes stream failures come back as error numbers instead of signals that would end the process
// silently (a closed pipe, a file size limit). Called once at process start.
void prepareProcess();

enum class EntryKind { Missing, Directory, Other };
EntryKind entryKind(const std::string& name);

// An open file descriptor, or -1 with the platform's error number.
struct OpenResult {
    int fd;
    int error;
};

// All opens are in untranslated byte mode.
OpenResult openReadWrite(const std::string& name);
OpenResult openReadOnly(const std::string& name);
OpenResult createEmpty(const std::string& name);

struct ReadResult {
    std::size_t count; // 0 at the end of the stream
    int error;         // 0, or the platform's error number
};

// Reads up to `capacity` bytes; an interrupted call is retried.
ReadResult readSome(int fd, char* into, std::size_t capacity);

// Writes all `size` bytes, retrying interrupted calls and short writes. Returns 0 or the error.
int writeAll(int fd, const char* data, std::size_t size);

// Size of the open file in bytes, or -1 when the platform cannot tell.
std::int64_t fileSize(int fd);

// Cuts the open file at `length` bytes. Returns 0 or the error.
int truncateAt(int fd, std::int64_t length);

// Returns 0 or the error.
int closeFile(int fd);

// Whether the stream turns LF into CR LF by itself (a text-mode stream). Leaves the mode as it is.
bool translatesLineEnds(int fd);

// Ends the process at once with `status`, without normal end-of-process work.
[[noreturn]] void exitNow(int status);

} // namespace records::os
