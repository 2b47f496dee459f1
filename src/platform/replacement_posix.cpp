#include <cerrno>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/entry_kind_posix.h"
#include "platform/files.h"
#include "platform/host_call_posix.h"
#include "platform/link_rule.h"
#include "platform/replacement.h"
#include "platform/unnamed_file.h"

namespace platform {

namespace {

// Keeps the new file's name within the host's limit for one name, however long the old one is.
constexpr std::size_t MAX_BASE_IN_TEMP_NAME = 200;
constexpr std::string_view TEMP_SUFFIX = ".tmp-";
constexpr std::size_t TEMP_LETTERS = 6;
// Names tried for the new file before giving up on finding a free one.
constexpr int NAME_ATTEMPTS = 100;

// The new file of a destination that exists is its owner's alone until it takes the old file's
// permissions at the commit. That of a destination that is new gets what the host gives every new
// file (the umask, or the folder's default access list) when it is made: the program never needs
// to know the umask, which POSIX tells only by changing it for every thread of the process.
constexpr mode_t PRIVATE_MODE = 0600;
constexpr mode_t NEW_FILE_MODE = 0666;

// A name beside the target, its last letters differing from attempt to attempt.
std::string tempNameFor(const std::string& target, std::uint64_t seed) {
    static constexpr std::string_view LETTERS =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = target.substr(0, MAX_BASE_IN_TEMP_NAME);
    name.append(TEMP_SUFFIX);
    std::uint64_t bits = seed * 0x9E3779B97F4A7C15ULL;
    for (std::size_t letter = 0; letter < TEMP_LETTERS; ++letter) {
        name.push_back(LETTERS[bits % LETTERS.size()]);
        bits /= LETTERS.size();
    }
    return name;
}

// Hands names beside the target to `tryName` until one is free: returns the first answer that is
// not EEXIST.
template <class TryName> int withFreeName(const std::string& target, TryName tryName) {
    const auto seed = static_cast<std::uint64_t>(::getpid()) << 32 ^
                      static_cast<std::uint64_t>(std::time(nullptr));
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        std::string name = tempNameFor(target, seed + static_cast<std::uint64_t>(attempt));
        if (const int error = tryName(name); error != EEXIST) {
            return error;
        }
    }
    return EEXIST;
}

int syncFile(int fd) {
    return retryInterrupted([fd] { return ::fsync(fd); }) == 0 ? 0 : errno;
}

// Syncs the folder so that the rename itself survives a power loss. Some file systems cannot sync
// a folder; the new file is in place and complete all the same, so that is not a failure.
void syncFolder(const FileDescriptor& folder) noexcept {
    const FileDescriptor opened(::openat(namesIn(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.isOpen()) {
        (void)syncFile(opened.get());
    }
}

} // namespace

// Opens the new file in the target's folder: without a name where the host allows, else under
// a free name of its own.
int Replacement::openNewFile() {
    const mode_t mode = inherited_ ? PRIVATE_MODE : NEW_FILE_MODE;
    file_ = openUnnamedFile(namesIn(folder_), mode);
    if (file_.isOpen()) {
        unnamed_ = true;
        return 0;
    }
    return withFreeName(target_, [&](std::string& name) {
        const int fd = retryInterrupted([&] {
            return ::openat(namesIn(folder_), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC,
                            mode);
        });
        if (fd < 0) {
            return errno;
        }
        file_ = FileDescriptor(fd);
        tempPath_ = std::move(name);
        return 0;
    });
}

// Gives the new file the old one's permissions and owner, and puts it on disk.
int Replacement::settleNewFile() const {
    const int fd = file_.get();
    if (inherited_) {
        if (::fchmod(fd, static_cast<mode_t>(inherited_->permissions)) != 0) {
            return errno;
        }
        if (inherited_->keepOwner) {
            // Only a privileged process may give a file away; anyone else keeps the new file as
            // theirs.
            (void)::fchown(fd, static_cast<uid_t>(inherited_->owner),
                           static_cast<gid_t>(inherited_->group));
        }
    }
    return syncFile(fd);
}

// Gives the unnamed file a free name beside the target, for the rename that follows at once.
int Replacement::nameNewFile() {
    return withFreeName(target_, [&](std::string& name) {
        const int error = nameUnnamedFile(file_.get(), namesIn(folder_), name);
        if (error == 0) {
            tempPath_ = std::move(name);
            unnamed_ = false;
        }
        return error;
    });
}

// An unnamed file is named and renamed with nothing in between, so that a kill can hardly ever
// find it with a name of its own; its close, after a sync that succeeded, can lose nothing. A
// named one is closed first, so that a late write error is still heard.
int Replacement::readyForRename() {
    if (const int error = settleNewFile(); error != 0) {
        return error;
    }
    return unnamed_ ? nameNewFile() : file_.close();
}

// Once renamed, the new file is the destination, complete and on disk. What is left can only fail
// quietly, and allocates nothing, so that not even a want of memory can turn a replacement that
// is done into a failure.
void Replacement::finishAfterRename() noexcept {
    tempPath_.clear();
    (void)file_.close();
    syncFolder(folder_);
}

ReplacementStart Replacement::begin(const std::string& destination) {
    Replacement replacement;
    FoundEntry found = findUnderLinkRule(destination);
    if (found.error == ENOENT) {
        // A missing destination is made new; a link to nothing is replaced by the new file.
        found = findFolderOf(destination);
    } else if (found.error == 0) {
        const struct stat& info = found.info;
        const EntryKind kind = kindOfMode(info.st_mode);
        if (kind == EntryKind::Directory) {
            return {std::move(replacement), EISDIR};
        }
        if (kind != EntryKind::RegularFile) {
            // Bytes written into a device or a pipe are gone: a backup written there would be
            // reported as made while nothing holds it.
            return {std::move(replacement), NOT_A_REGULAR_FILE};
        }
        replacement.inherited_ = Inherited{info.st_mode & 07777,
                                           info.st_uid != ::geteuid() || info.st_gid != ::getegid(),
                                           info.st_uid, info.st_gid};
    }
    if (found.error != 0) {
        return {std::move(replacement), found.error};
    }
    replacement.target_ = std::move(found.name);
    replacement.folder_ = std::move(found.folder);
    const int error = replacement.openNewFile();
    return {std::move(replacement), error};
}

Replacement::Replacement(Replacement&& other) noexcept
    : file_(std::move(other.file_)), tempPath_(std::move(other.tempPath_)),
      unnamed_(other.unnamed_), target_(std::move(other.target_)),
      folder_(std::move(other.folder_)), inherited_(std::move(other.inherited_)) {
    other.tempPath_.clear(); // the new file is this one's to remove now
}

int Replacement::write(const char* data, std::size_t size) const {
    return writeAll(fd(), data, size);
}

int Replacement::commit() {
    int error = readyForRename();
    if (error == 0 &&
        ::renameat(namesIn(folder_), tempPath_.c_str(), namesIn(folder_), target_.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        abandon();
        return error;
    }
    finishAfterRename();
    return 0;
}

void Replacement::abandon() noexcept {
    (void)file_.close();
    if (!tempPath_.empty()) {
        (void)::unlinkat(namesIn(folder_), tempPath_.c_str(), 0);
        tempPath_.clear();
    }
}

Replacement::~Replacement() {
    abandon();
}

} // namespace platform
