#pragma once

// The program's access to files by name: opening, reading, writing, cutting and closing, always
// in untranslated byte mode. Interrupted calls are retried; every failure comes back as the
// host's error number. Each host has its own implementation file; everything above this header
// is the same on every host.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

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

// Whether a failure to find or open a name says that nothing is there: a name along a path that
// does not lead anywhere is as missing as one that is not there.
inline bool meansMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

// Failures that no error number of the host names: negative, so that they never meet one of the
// host's own numbers, and each a value of its own.
inline constexpr int NOT_A_REGULAR_FILE = -1;      // a file that must be a regular one is not
inline constexpr int SIZE_DIFFERS = -2;            // a file is not as long as it must be
inline constexpr int HELD_BY_ANOTHER_PROGRAM = -3; // a file is open in another program, which
                                                   // does not share it

// The one owner of an open file: the file is closed when its owner goes, on every path, a thrown
// exception included. Moved, never copied. The functions below that take a plain descriptor only
// borrow it from its owner.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            (void)close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    // A close that fails here has nobody to tell: whoever needs to hear of a late write error
    // closes with close() first.
    ~FileDescriptor() { (void)close(); }

    int get() const noexcept { return fd_; }
    bool isOpen() const noexcept { return fd_ >= 0; }

    // Closes the file now. Returns 0 or the error (a delayed write error, say); either way the
    // file is closed afterwards, and closing a closed one does nothing.
    int close() noexcept;

  private:
    int fd_ = -1;
};

// An open file, or none with the error.
struct OpenResult {
    FileDescriptor file;
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

// A write that the host answers by taking no byte at all, and no reason: a device that takes
// nothing, or one that stops at an end-of-file character. Nothing says the disk is full, so it is
// reported as the plain input/output error it is, on every host.
inline constexpr int NOTHING_WRITTEN = EIO;

struct WriteResult {
    std::size_t count; // bytes taken; 0 only when the host took none and gave no reason
    int error;         // 0, or the host's error number
};

// Writes up to `size` bytes in one call of the host, retried when it was interrupted.
WriteResult writeSome(int fd, const char* data, std::size_t size);

// Writes all `size` bytes, retrying short writes. Returns 0 or the error.
int writeAll(int fd, const char* data, std::size_t size);

// The one loop that writes everything, behind writeAll and the positioned writeAllAt:
// `writeSome(data, size)` writes some of the bytes in one call of the host and answers with a
// WriteResult. Returns 0 or the error.
template <class WriteSome>
int writeEverything(const char* data, std::size_t size, WriteSome writeSome) {
    while (size > 0) {
        const WriteResult put = writeSome(data, size);
        if (put.error != 0) {
            return put.error;
        }
        if (put.count == 0) {
            return NOTHING_WRITTEN; // retried, it would loop for ever
        }
        data += put.count;
        size -= put.count;
    }
    return 0;
}

// Size of the open file in bytes, or -1 when the host cannot tell.
std::int64_t fileSize(int fd);

// Cuts the open file at `length` bytes. Returns 0 or the error.
int truncateAt(int fd, std::int64_t length);

// Returns 0 or the error.
int removeFile(const std::string& name);

// The size of the file `name` in bytes, or -1 when it cannot be told.
std::int64_t sizeOfNamedFile(const std::string& name);

} // namespace platform
