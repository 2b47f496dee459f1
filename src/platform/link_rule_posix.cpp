#include <cerrno>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/host_call_posix.h"
#include "platform/link_rule.h"

namespace platform {

namespace {

// A folder is opened only to look names up in it. Where the host allows, that asks no more than
// the search permission that any path through the folder needs, as the kernel's own walk does.
#ifdef O_PATH
constexpr int FOLDER_FLAGS = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int FOLDER_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// A link's text longer than this is no name that any host resolves.
constexpr std::size_t LONGEST_LINK_TEXT = std::size_t{1} << 16;
// Asked for when a link does not tell its length (those under /proc, say).
constexpr std::size_t FIRST_LINK_TEXT_SIZE = 256;

// The failures with which an open that follows no last link says that it met one: ELOOP, or
// EMLINK on some hosts, and ENOTDIR when a folder was asked for.
bool mayBeALink(int error) {
    return error == ELOOP || error == EMLINK || error == ENOTDIR;
}

// Counts one more link followed: false when no more may be.
bool spendLink(int& linksLeft) {
    if (linksLeft <= 0) {
        return false;
    }
    --linksLeft;
    return true;
}

int statEntry(const FoundEntry& at, struct stat& info) {
    return ::fstatat(namesIn(at.folder), at.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 ? 0
                                                                                           : errno;
}

// Whether an entry's status changed between two looks, to the nanosecond where the host tells
// them (not every host's status has the field that does).
template <class Status> bool sameChangeTime(const Status& before, const Status& after) {
    if constexpr (requires { before.st_ctim.tv_nsec; }) {
        return before.st_ctim.tv_sec == after.st_ctim.tv_sec &&
               before.st_ctim.tv_nsec == after.st_ctim.tv_nsec;
    } else {
        return before.st_ctime == after.st_ctime;
    }
}

// The same entry, unchanged: a rename gives an entry a new change time, so a link put back after a
// swap shows too.
bool sameEntry(const struct stat& before, const struct stat& after) {
    return before.st_dev == after.st_dev && before.st_ino == after.st_ino &&
           sameChangeTime(before, after);
}

// Whether the rule lets the link `link`, found at `at`, be followed: EACCES when not.
int checkOwner(const FoundEntry& at, const struct stat& link) {
    struct stat folder {};
    if (::fstatat(namesIn(at.folder), ".", &folder, 0) != 0) {
        return errno;
    }
    return mayFollowLink(link.st_uid, folder.st_uid, ::geteuid()) ? 0 : EACCES;
}

// Reads the text of the link `link` at `at` into `text`; `same` tells whether the link there is
// still the one that was checked.
int readLinkText(const FoundEntry& at, const struct stat& link, std::string& text, bool& same) {
    std::size_t size =
        link.st_size > 0 ? static_cast<std::size_t>(link.st_size) + 1 : FIRST_LINK_TEXT_SIZE;
    for (;;) {
        text.resize(size);
        const ssize_t got = ::readlinkat(namesIn(at.folder), at.name.c_str(), text.data(), size);
        if (got < 0) {
            return errno;
        }
        if (static_cast<std::size_t>(got) < size) {
            text.resize(static_cast<std::size_t>(got));
            break;
        }
        if (size >= LONGEST_LINK_TEXT) {
            return ENAMETOOLONG;
        }
        size *= 2;
    }
    struct stat after {};
    if (const int error = statEntry(at, after); error != 0) {
        return error;
    }
    same = sameEntry(link, after);
    return 0;
}

FoundEntry walkToLast(FileDescriptor start, std::string_view path, int& linksLeft);

// `at` names the link `link`. When the rule lets it be followed, `at` names what the link's text
// names, the folders on the way entered. A link that was swapped for another meanwhile leaves `at`
// as it is, to be looked at again; each look counts as a link followed, so that no swapping can
// keep the program going round for ever.
int followLink(FoundEntry& at, const struct stat& link, int& linksLeft) {
    if (!spendLink(linksLeft)) {
        return ELOOP;
    }
    if (const int error = checkOwner(at, link); error != 0) {
        return error;
    }
    std::string text;
    bool same = false;
    if (const int error = readLinkText(at, link, text, same); error != 0 || !same) {
        return error;
    }
    // A link's text names a place from the folder that the link stands in.
    at = walkToLast(std::move(at.folder), text, linksLeft);
    return at.error;
}

// After an open of `at` that did not follow a last link failed with `error`: when `at` is a link
// that the rule lets be followed, `at` names what it leads to, and 0 says to open that; else the
// reason to give up.
int followIfLink(FoundEntry& at, int error, int& linksLeft) {
    if (!mayBeALink(error)) {
        return error;
    }
    struct stat link {};
    if (const int statError = statEntry(at, link); statError != 0) {
        return statError;
    }
    // What is no folder is none. An entry that was a link and is none any more is opened once
    // more, and counts as a link followed.
    if (!S_ISLNK(link.st_mode)) {
        return error != ENOTDIR && spendLink(linksLeft) ? 0 : error;
    }
    return followLink(at, link, linksLeft);
}

// Makes `at` name the folder that it names, now held open.
int enterFolder(FoundEntry& at, int& linksLeft) {
    for (;;) {
        const int fd = retryInterrupted([&] {
            return ::openat(namesIn(at.folder), at.name.c_str(), FOLDER_FLAGS | O_NOFOLLOW);
        });
        if (fd >= 0) {
            at.folder = FileDescriptor(fd);
            return 0;
        }
        if (const int error = followIfLink(at, errno, linksLeft); error != 0) {
            return error;
        }
    }
}

// The folder in which `path` names its last entry, from the folder `start` for a relative path,
// and the last entry's name: "." for a path that ends in a slash.
FoundEntry walkToLast(FileDescriptor start, std::string_view path, int& linksLeft) {
    FoundEntry at;
    if (path.empty()) {
        at.error = ENOENT;
        return at;
    }
    at.folder = std::move(start);
    if (path.front() == '/') {
        at.folder = FileDescriptor(retryInterrupted([] { return ::open("/", FOLDER_FLAGS); }));
        if (!at.folder.isOpen()) {
            at.error = errno;
            return at;
        }
    }
    for (std::size_t from = path.find_first_not_of('/');;
         from = path.find_first_not_of('/', from)) {
        const std::size_t end = path.find('/', from);
        at.name = from == std::string_view::npos ? std::string(".")
                                                 : std::string(path.substr(from, end - from));
        if (end == std::string_view::npos) {
            return at;
        }
        if ((at.error = enterFolder(at, linksLeft)) != 0) {
            return at;
        }
        from = end;
    }
}

} // namespace

OpenResult openUnderLinkRule(const std::string& path, int flags, mode_t mode) {
    const auto openEntry = [&](int folder, const char* name) {
        return retryInterrupted([&] { return ::openat(folder, name, flags | O_NOFOLLOW, mode); });
    };
    // A name in the current folder that is no link, the run's every file when nobody has put a
    // link in its place, is opened by one call that asks for no memory.
    int error = 0;
    if (path.find('/') == std::string::npos) {
        const int fd = openEntry(AT_FDCWD, path.c_str());
        if (fd >= 0) {
            return {FileDescriptor(fd), 0};
        }
        error = errno;
        if (!mayBeALink(error)) {
            return {FileDescriptor(), error};
        }
    }
    int linksLeft = MOST_LINKS_FOLLOWED;
    FoundEntry at = walkToLast(FileDescriptor(), path, linksLeft);
    if (at.error == 0 && error != 0) {
        at.error = followIfLink(at, error, linksLeft);
    }
    while (at.error == 0) {
        const int fd = openEntry(namesIn(at.folder), at.name.c_str());
        if (fd >= 0) {
            return {FileDescriptor(fd), 0};
        }
        at.error = followIfLink(at, errno, linksLeft);
    }
    return {FileDescriptor(), at.error};
}

FoundEntry findUnderLinkRule(const std::string& path) {
    int linksLeft = MOST_LINKS_FOLLOWED;
    FoundEntry at = walkToLast(FileDescriptor(), path, linksLeft);
    while (at.error == 0) {
        if ((at.error = statEntry(at, at.info)) != 0 || !S_ISLNK(at.info.st_mode)) {
            break;
        }
        const struct stat link = at.info;
        at.error = followLink(at, link, linksLeft);
    }
    return at;
}

FoundEntry findFolderOf(const std::string& path) {
    int linksLeft = MOST_LINKS_FOLLOWED;
    return walkToLast(FileDescriptor(), path, linksLeft);
}

} // namespace platform
