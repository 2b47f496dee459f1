#pragma once

// The one owner of an open Windows file handle: the handle is closed when its owner goes, on
// every path, a thrown exception included. Moved, never copied. Only the Windows implementation
// files of this folder include it.

#include <string>
#include <utility>
#include <windows.h>

namespace platform {

class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
    FileHandle(FileHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    // Whatever the handle wrote has been flushed by whoever needed it on disk; a close that fails
    // here has nothing left to lose.
    ~FileHandle() { close(); }

    HANDLE get() const noexcept { return handle_; }
    bool isOpen() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }

  private:
    void close() noexcept {
        if (isOpen()) {
            (void)::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
        }
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Whether a failure of the Windows file functions says that nothing is there: as with meansMissing
// of files.h, a name along a path that does not lead anywhere is as missing as one that is not
// there.
inline bool meansNoFile(int error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// An open handle, or none with the host's error number.
struct HandleResult {
    FileHandle file;
    int error = 0;
};

// CreateFileA with the given access, sharing and disposition, and no other attributes. Names are
// narrow strings in the file functions' code page everywhere in the program (the C runtime opens
// its files so too), hence the narrow form of the call.
inline HandleResult openHandle(const std::string& name, DWORD access, DWORD sharing,
                               DWORD disposition) {
    FileHandle file(::CreateFileA(name.c_str(), access, sharing, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.isOpen()) {
        return {FileHandle(), static_cast<int>(::GetLastError())};
    }
    return {std::move(file), 0};
}

} // namespace platform
