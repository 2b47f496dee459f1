#pragma once

// How the POSIX files of this layer tell what a name or an open file is: one rule for all.

#include <sys/stat.h>

#include "platform/files.h"

namespace platform {

inline EntryKind kindOfMode(mode_t mode) {
    if (S_ISDIR(mode)) {
        return EntryKind::Directory;
    }
    return S_ISREG(mode) ? EntryKind::RegularFile : EntryKind::OtherFile;
}

// The kind of a name whose stat failed with `error`.
inline EntryKind kindOfStatError(int error) {
    return meansMissing(error) ? EntryKind::Missing : EntryKind::Unknown;
}

} // namespace platform
