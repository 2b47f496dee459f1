
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/entry_kind_posix.h"
#include "platform/files.h"
#include "platform/replacement.h"
#include "platform/unnamed_file.h"

namespace platform {

namespace {

// Keeps the new file's name within the host's limit for one name, however long the old one is.
constexpr std::size_t MAX_BASE_IN_TEMP_NAME = 200;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

constexpr std::string_view TEMP_SUFFIX = ".tmp-XXXXXX";
// Names tried for an unnamed file before giving up on finding a free one.
constexpr int NAME_ATTEMPTS = 100;

std::string tempTemplateFor(const std::string& target) {
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + base.substr(0, MAX_BASE_IN_TEMP_NAME).append(TEMP_SUFFIX);
}

// The template with its Xs replaced by letters and digits that differ from attempt to attempt.
std::string tempNameFor(const std::string& target, std::uint64_t seed) {
    static constexpr std::string_view LETTERS =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = tempTemplateFor(target);
    std::uint64_t bits = seed * 0x9E3779B97F4A7C15ULL;
    for (std::size_t at = name.size() - 6; at < name.size(); ++at) {
        name[at] = LETTERS[bits % LETTERS.size()];
        bits /= LETTERS.size();
    }
    return name;
}

// Gives the unnamed file a free name beside the target, for the rename that follows at once.
int nameNewFile(Replacement& replacement) {
    const auto seed = static_cast<std::uint64_t>(::getpid()) << 32 ^
                      static_cast<std::uint64_t>(std::time(nullptr));
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        std::string name =
            tempNameFor(replacement.target, seed + static_cast<std::uint64_t>(attempt));
        const int error = nameUnnamedFile(replacement.fd, name);
        if (error != EEXIST) {
            if (error == 0) {
                replacement.tempPath = std::move(name);
                replacement.unnamed = false;
            }
            return error;
        }
    }
    return EEXIST;
}

mode_t newFilePermissions() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

int retried(int (*call)(int), int fd) {
    while (call(fd) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// The path of the regular file that a symbolic link finally names.
std::string resolvedPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

ReplacementStart startTempFile(Replacement replacement) {
    if (const int fd = openUnnamedFile(folderOf(replacement.target)); fd >= 0) {
        replacement.fd = fd;
        replacement.unnamed = true;
        return {std::move(replacement), 0};
    }
    std::string name = tempTemplateFor(replacement.target);
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return {std::move(replacement), errno};
    }
    (void)::fcntl(fd, F_SETFD, FD_CLOEXEC);
    replacement.fd = fd;
    replacement.tempPath = std::move(name);
    return {std::move(replacement), 0};
}

// Syncs the folder so that the rename itself survives a power loss. Some file systems cannot sync
// a folder; the new file is in place and complete all the same, so that is not a failure.
void syncFolderOf(const std::string& path) {
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        (void)retried(::fsync, folder);
        (void)closeFile(folder);
    }
}

int finishTempFile(Replacement& replacement) {
    if (::fchmod(replacement.fd, static_cast<mode_t>(replacement.permissions)) != 0) {
        return errno;
    }
    if (replacement.keepOwner) {
        // Only a privileged process may give a file away; anyone else keeps the new file as theirs.
        (void)::fchown(replacement.fd, static_cast<uid_t>(replacement.owner),
                       static_cast<gid_t>(replacement.group));
    }
    if (const int error = retried(::fsync, replacement.fd); error != 0) {
        return error;
    }
    // An unnamed file is named and renamed with nothing in between, so that a kill can hardly
    // ever find it with a name of its own; its close, after a sync that succeeded, can lose
    // nothing. A named one is closed first, so that a late write error is still heard.
    const bool renameOpen = replacement.unnamed;
    if (renameOpen) {
        if (const int error = nameNewFile(replacement); error != 0) {
            return error;
        }
    } else if (const int error = closeFile(std::exchange(replacement.fd, -1)); error != 0) {
        return error;
    }
    if (::rename(replacement.tempPath.c_str(), replacement.target.c_str()) != 0) {
        return errno;
    }
    if (renameOpen) {
        (void)closeFile(std::exchange(replacement.fd, -1));
    }
    replacement.tempPath.clear();
    syncFolderOf(replacement.target);
    return 0;
}

} // namespace

ReplacementStart beginReplacement(const std::string& destination) {
    Replacement replacement;
    replacement.target = destination;
    replacement.permissions = newFilePermissions();
    struct stat info {};
    if (::stat(destination.c_str(), &info) != 0) {
        // A missing destination is made new; a link to nothing is replaced by the new file.
        return errno == ENOENT ? startTempFile(std::move(replacement))
                               : ReplacementStart{std::move(replacement), errno};
    }
    const EntryKind kind = kindOfMode(info.st_mode);
    if (kind == EntryKind::Directory) {
        return {std::move(replacement), EISDIR};
    }
    if (kind != EntryKind::RegularFile) {
        // Bytes written into a device or a pipe are gone: a backup written there would be reported
        // as made while nothing holds it.
        return {std::move(replacement), NOT_A_REGULAR_FILE};
    }
    replacement.target = resolvedPath(destination);
    replacement.permissions = info.st_mode & 07777;
    replacement.keepOwner = info.st_uid != ::geteuid() || info.st_gid != ::getegid();
    replacement.owner = info.st_uid;
    replacement.group = info.st_gid;
    return startTempFile(std::move(replacement));
}

int writeReplacement(const Replacement& replacement, const char* data, std::size_t size) {
    return writeAll(replacement.fd, data, size);
}

int commitReplacement(Replacement& replacement) {
    const int error = finishTempFile(replacement);
    if (error != 0) {
        abandonReplacement(replacement);
    }
    return error;
}

void abandonReplacement(Replacement& replacement) {
    if (replacement.fd >= 0) {
        (void)closeFile(replacement.fd);
        replacement.fd = -1;
    }
    if (!replacement.tempPath.empty()) {
        (void)removeFile(replacement.tempPath);
        replacement.tempPath.clear();
    }
}

} // namespace platform
