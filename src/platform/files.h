#pragma once

// The program's access to files by name: opening, reading, writing, cutting and closing, always
// in untranslated byte mode. Interrupted calls are retried; every failure comes back as the
// host's error number. Each host has its own implementation file; everything above this header
// is the same on every host.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// What a name stands for, a symbolic link followed.
enum class EntryKind {
    Missing,
    Directory,
    RegularFile,
    OtherFile, // a device, a pipe or a socket
    Unknown,   // the host could not tell (no permission to look, say)
};

EntryKind entryKind(const std::string& name);

// The error for a file that must be a regular one and is not; no host error number says so.
inline constexpr int NOT_A_REGULAR_FILE = -1;

// An open file descriptor, or -1 with the error.
struct OpenResult {
    int fd = -1;
    int error = 0;
};

// The order of the modes is that of the flag tables of the hosts.
enum class OpenMode {
    ReadWrite,
    ReadOnly,
    CreateReadWrite, // made empty when missing
    // For reading, and only a regular file (else NOT_A_REGULAR_FILE): a device or a pipe may
    // never end, or give other bytes each time it is read. A pipe without a writer is refused at
    // once rather than waited on.
    RegularForReading,
};

// Opening a folder fails (with EISDIR where the host tells that case apart).
OpenResult openFile(const std::string& name, OpenMode mode);

struct ReadResult {
    std::size_t count; // 0 at the end of the stream
    int error;         // 0, or the host's error number
};

// Reads up to `capacity` bytes.
ReadResult readSome(int fd, char* into, std::size_t capacity);

// Writes all `size` bytes, retrying short writes. Returns 0 or the error.
int writeAll(int fd, const char* data, std::size_t size);

// Size of the open file in bytes, or -1 when the host cannot tell.
std::int64_t fileSize(int fd);

// Cuts the open file at `length` bytes. Returns 0 or the error.
int truncateAt(int fd, std::int64_t length);

// Returns 0 or the error (a delayed write error, say).
int closeFile(int fd);

// Returns 0 or the error.
int removeFile(const std::string& name);

} // namespace platform
