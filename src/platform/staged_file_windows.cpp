#include "platform/staged_file.h"

#include <utility>
#include <windows.h>

#include "platform/file_handle_windows.h"
#include "platform/held_file_windows.h"

namespace platform {

namespace {

int lastError() {
    return static_cast<int>(::GetLastError());
}

// A copy gives the new file the attributes of its source, read-only among them; the new file is
// the tool's own until it takes the target's place, and must be open for writing to be flushed.
int clearReadOnly(const std::string& name) {
    const DWORD attributes = ::GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return lastError();
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return 0;
    }
    return ::SetFileAttributesA(name.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0
               ? 0
               : lastError();
}

// Takes off the marks that keep a file left behind from being made empty again: read-only, and
// hidden or system, which a new file of the same name would have to ask for.
void clearLeftoverMarks(const std::string& name) {
    constexpr DWORD MARKS = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD attributes = ::GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (attributes & MARKS) != 0) {
        (void)::SetFileAttributesA(name.c_str(), attributes & ~MARKS);
    }
}

// Whether the file holds `expectedSize` bytes; if it does, flushes it to disk. 0, or why not.
// Opened with no sharing at all, so that nothing else writes to the file while it is measured and
// flushed, nor holds it open still.
int flushIfComplete(const std::string& name, std::int64_t expectedSize) {
    HandleResult opened;
    // A virus scanner may be reading the file that the command has just written.
    (void)retryWhileHeld(name, [&] {
        opened = openHandle(name, GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, OPEN_EXISTING);
        return static_cast<DWORD>(opened.error);
    });
    if (!opened.file.isOpen()) {
        return opened.error;
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(opened.file.get(), &size) == 0) {
        return lastError();
    }
    if (size.QuadPart != expectedSize) {
        return SIZE_DIFFERS;
    }
    return ::FlushFileBuffers(opened.file.get()) != 0 ? 0 : lastError();
}

// What the old file's attributes ask of the new one. Read-only is its owner's "leave this file
// alone": it is not replaced (access denied, as the interpreter's own commands would answer).
// Hidden, system and not-indexed go over to the new file. The archive bit stays set, as on any
// file whose contents are new.
int takeOverAttributes(const std::string& oldFile, const std::string& newFile) {
    const DWORD old = ::GetFileAttributesA(oldFile.c_str());
    if (old == INVALID_FILE_ATTRIBUTES) {
        const int error = lastError();
        return meansNoFile(error) ? 0 : error;
    }
    if ((old & FILE_ATTRIBUTE_READONLY) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    const DWORD kept =
        old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (kept == 0) {
        return 0;
    }
    const DWORD current = ::GetFileAttributesA(newFile.c_str());
    if (current == INVALID_FILE_ATTRIBUTES ||
        ::SetFileAttributesA(newFile.c_str(), current | kept) == 0) {
        return lastError();
    }
    return 0;
}

} // namespace

// A file of this name is what a run killed at its copy or sort left behind, possibly marked
// read-only by the copy, or hidden and the like by a commit cut short; it is made empty and used
// again, so that such files never pile up. A program that still holds it (the killed run's own
// copy or sort, in its last moments) is waited for.
StagedFile::StagedFile(std::string target) : target_(std::move(target)) {
    std::string name = target_ + ".move-to-species.tmp";
    clearLeftoverMarks(name);
    error_ = static_cast<int>(retryWhileHeld(name, [&] {
        // Closed at once, for the writer to open.
        return static_cast<DWORD>(openHandle(name, GENERIC_WRITE, 0, CREATE_ALWAYS).error);
    }));
    if (error_ == 0) {
        name_ = std::move(name);
    }
}

StagedFile::~StagedFile() {
    if (!name_.empty() && !committed_) {
        (void)::DeleteFileA(name_.c_str());
    }
}

// One rename that replaces the old file, written through to disk before it returns: at no moment
// is there no file of the target's name, or one that is not complete. ReplaceFile would carry
// more of the old file over (its creation time, its own access list), but offers no write-through
// and has a documented failure that leaves no file under the target's name. The new file has the
// access list that the folder gives every file made in it.
int StagedFile::commit(std::int64_t expectedSize) {
    if (const int error = clearReadOnly(name_); error != 0) {
        return error;
    }
    if (const int error = flushIfComplete(name_, expectedSize); error != 0) {
        return error;
    }
    if (const int error = takeOverAttributes(target_, name_); error != 0) {
        return error;
    }
    const DWORD error = retryWhileHeld(target_, [&] {
        return ::MoveFileExA(name_.c_str(), target_.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0
                   ? DWORD{0}
                   : ::GetLastError();
    });
    if (error != 0) {
        return heldByAnotherProgram(error, target_) ? HELD_BY_ANOTHER_PROGRAM
                                                    : static_cast<int>(error);
    }
    committed_ = true;
    return 0;
}

} // namespace platform
