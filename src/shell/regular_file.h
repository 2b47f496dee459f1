#pragma once

// The lists the built-ins read are regular files: a device or a pipe may never end (a link to
// /dev/zero would fill the memory or the disk) or give other bytes each time it is read.

#include <string>

namespace shell {

// The error for a file that must be a regular one and is not; no host error number says so.
inline constexpr int NOT_A_REGULAR_FILE = -1;

struct OpenedFile {
    int fd = -1;
    int error = 0; // 0, or the host's error number, EISDIR, or NOT_A_REGULAR_FILE
};

// Opens `name` for reading when it is a regular file. A pipe without a writer is refused at once
// rather than waited on.
OpenedFile openRegularFile(const std::string& name);

} // namespace shell
