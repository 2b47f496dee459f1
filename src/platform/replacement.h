#pragma once

// A file that is replaced whole or not at all. The new contents go into a new file in the same
// folder, which takes the place of the old one by a rename only once it is complete and on disk:
// a crash, a full disk or a file size limit at any moment leaves the destination either as it was
// or complete, never empty or partial. Where the file system allows, the new file has no name
// until that rename, so that a process killed while writing it leaves nothing behind.

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace platform {

struct Replacement {
    int fd = -1;                   // where the new contents are written
    std::string tempPath;          // the new file's name, while it has one
    bool unnamed = false;          // the new file has no name yet
    std::string target;            // the regular file that the new one replaces
    std::uint32_t permissions = 0; // the new file's permission bits, as the host counts them
    bool keepOwner = false;        // the old file's owner and group go over to the new one
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

struct ReplacementStart {
    Replacement replacement;
    int error = 0; // 0, or why the destination cannot be written
};

// Prepares to replace `destination`. A symbolic link is followed, so that the file it names is
// replaced and the link stays. A destination that exists and is not a regular file is refused:
// EISDIR for a folder, NOT_A_REGULAR_FILE for a device, a pipe or a socket.
ReplacementStart beginReplacement(const std::string& destination);

// Writes all of `data`, retrying interrupted and short writes. Returns 0 or the error.
int writeReplacement(const Replacement& replacement, const char* data, std::size_t size);

// Puts the new file in the destination's place and syncs it. Returns 0, or the error after
// removing the new file, the destination untouched.
int commitReplacement(Replacement& replacement);

// Removes the new file; the destination stays as it was.
void abandonReplacement(Replacement& replacement);

} // namespace platform
