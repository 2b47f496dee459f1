#pragma once

// Files that have no name until they are complete, where the host offers them: a process that
// dies while writing one leaves nothing behind, and the file system takes the space back. Used by
// the replacement of a file only.

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace platform {

// A new, empty file in the open folder `folder` (or AT_FDCWD for the current one), open for
// reading and writing, that no name leads to, made with the permission bits `mode` as a new file
// of that name would be (the umask applies); none when the host or the file system has no such
// files (a named temporary file must serve then).
FileDescriptor openUnnamedFile(int folder, std::uint32_t mode);

// Gives the unnamed file `fd` the name `name` in `folder`, which must not be taken there. Returns
// 0 or the error.
int nameUnnamedFile(int fd, int folder, const std::string& name);

} // namespace platform
