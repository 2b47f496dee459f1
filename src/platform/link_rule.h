#pragma once

// The symbolic links that the program follows on a POSIX host. Anyone who may write a folder of
// the run, a catalogue folder shared on a family server say, could plant a link there under one
// of the run's names, and so have the run read, overwrite or create any file that its user may
// reach. So a link is followed only when it belongs to the user the program runs as, or to the
// owner of the folder it stands in (whose folder is theirs to arrange); any other link is a file
// that the run may not open (EACCES). Every open and every replacement of a file by name goes
// through the functions below.
//
// The program follows links itself, one at a time, each looked at, read and followed in the
// folder it stands in, held open: nobody can swap a link, or a folder on the way, between its
// check and its use.

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

#include "platform/files.h"

namespace platform {

// The most links that one name may lead through, as the kernel counts them.
inline constexpr int MOST_LINKS_FOLLOWED = 40;

// The rule: whether a link that `linkOwner` owns, standing in a folder that `folderOwner` owns,
// is followed by a program that runs as `runner`.
inline bool mayFollowLink(uid_t linkOwner, uid_t folderOwner, uid_t runner) {
    return linkOwner == runner || linkOwner == folderOwner;
}

// The folder to take names in, for the host's calls that take one: `folder` when it is held open,
// else the current folder.
inline int namesIn(const FileDescriptor& folder) {
    return folder.isOpen() ? folder.get() : AT_FDCWD;
}

// Where a name led: the folder of the entry, held open (none for the current folder), and the
// entry's own name there.
struct FoundEntry {
    int error = 0; // 0, or why the name leads nowhere (EACCES for a link that is not followed)
    FileDescriptor folder;
    std::string name;
    struct stat info {}; // the entry's status, where the lookup asks for it
};

// Opens `path` as the host's open does with `flags` and `mode`, each link on the way followed
// only by the rule.
OpenResult openUnderLinkRule(const std::string& path, int flags, mode_t mode);

// The entry that `path` leads to, every link followed by the rule, its status in `info`: never a
// link. ENOENT when there is no such entry, or no folder on the way.
FoundEntry findUnderLinkRule(const std::string& path);

// The folder in which `path` names its last entry, the links on the way to it followed by the
// rule, and that entry's name; the entry itself is not looked at.
FoundEntry findFolderOf(const std::string& path);

} // namespace platform
