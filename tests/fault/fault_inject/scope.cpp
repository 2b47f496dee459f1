// The scope of the I/O preload library: which names and descriptors count, and the name each
// counted descriptor is known by. Without FAULT_PROCESSES, names relative to the working folder or
// inside the scope folder count, and descriptors 0, 1 and 2 and those that a counted open gave.
// With it, the other processes of a run get most of their descriptors from another process (Wine's
// server passes them over a socket), so a descriptor counts when the file it refers to lies in the
// scope; a name relative to any folder counts by where it leads, and a name that passes through a
// drive link of Wine's (".../dosdevices/z:/...") by the folder that the link leads to.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "parts.h"

namespace fault_inject {

namespace {

constexpr int MAX_TRACKED_FD = 4096;

struct Scope {
    char folder[PATH_MAX] = "";
    std::size_t length = 0;
    char canonical[PATH_MAX] = ""; // the folder as realpath gives it
    std::size_t canonicalLength = 0;
} scope;

struct TrackedNames {
    char* names[MAX_TRACKED_FD] = {}; // the name each counted descriptor was opened by
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
} tracked;

bool isInside(const char* path, const char* folder, std::size_t length) {
    return length > 0 && std::strncmp(path, folder, length) == 0 &&
           (path[length] == '/' || path[length] == '\0');
}

bool insideScope(const char* path) {
    return isInside(path, scope.folder, scope.length) ||
           isInside(path, scope.canonical, scope.canonicalLength);
}

// The file that a descriptor refers to, as the kernel names it; false when it has no name there.
bool linkedName(int fd, char* name) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = ::readlink(link, name, PATH_MAX - 1);
    if (length <= 0 || name[0] != '/') {
        return false;
    }
    name[length] = '\0';
    return true;
}

// A name that passes through a drive link of a Wine prefix (".../dosdevices/z:/..."), with the
// link replaced by the absolute folder it leads to.
void followDriveLink(char* name) {
    static const char DRIVES[] = "/dosdevices/";
    const char* at = std::strstr(name, DRIVES);
    if (at == nullptr) {
        return;
    }
    const char* drive = at + sizeof DRIVES - 1;
    if (drive[0] == '\0' || drive[1] != ':' || (drive[2] != '/' && drive[2] != '\0')) {
        return;
    }
    char link[PATH_MAX];
    std::snprintf(link, sizeof link, "%.*s", static_cast<int>(drive + 2 - name), name);
    char target[PATH_MAX];
    ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length <= 0 || target[0] != '/') {
        return; // a drive inside the prefix, such as c:
    }
    while (length > 0 && target[length - 1] == '/') {
        --length;
    }
    target[length] = '\0';
    char followed[PATH_MAX];
    std::snprintf(followed, sizeof followed, "%s%s", target, drive + 2);
    std::snprintf(name, PATH_MAX, "%s", followed[0] != '\0' ? followed : "/");
}

// The absolute name that `path` stands for, relative names taken from their folder.
bool fullName(int dirfd, const char* path, char* full) {
    if (path[0] == '/') {
        std::snprintf(full, PATH_MAX, "%s", path);
    } else {
        char folder[PATH_MAX];
        if (dirfd == AT_FDCWD ? ::getcwd(folder, sizeof folder) == nullptr
                              : !linkedName(dirfd, folder)) {
            return false;
        }
        if (std::snprintf(full, PATH_MAX, "%s/%s", folder, path) >= PATH_MAX) {
            return false; // longer than any name of the scope's files
        }
    }
    followDriveLink(full);
    return true;
}

bool trackedFd(int fd) {
    if (fd < 0 || fd >= MAX_TRACKED_FD) {
        return false;
    }
    pthread_mutex_lock(&tracked.lock);
    const bool known = tracked.names[fd] != nullptr;
    pthread_mutex_unlock(&tracked.lock);
    return known;
}

} // namespace

void setScope(const char* folder) {
    std::snprintf(scope.folder, sizeof scope.folder, "%s", folder);
    if (scope.folder[0] == '\0' && ::getcwd(scope.folder, sizeof scope.folder) == nullptr) {
        scope.folder[0] = '\0';
    }
    scope.length = std::strlen(scope.folder);
    while (scope.length > 1 && scope.folder[scope.length - 1] == '/') {
        scope.folder[--scope.length] = '\0';
    }
    // Names inside the folder may also come back from realpath.
    if (char* canonical = ::realpath(scope.folder, nullptr)) {
        std::snprintf(scope.canonical, sizeof scope.canonical, "%s", canonical);
        std::free(canonical);
    }
    scope.canonicalLength = std::strlen(scope.canonical);
}

bool pathInScope(int dirfd, const char* path) {
    if (path == nullptr) {
        return false;
    }
    if (eachProcessCounts()) {
        char full[PATH_MAX];
        return fullName(dirfd, path, full) && insideScope(full);
    }
    if (path[0] != '/') {
        return dirfd == AT_FDCWD || (dirfd > 2 && fdInScope(dirfd));
    }
    return insideScope(path);
}

bool fdInScope(int fd) {
    if (eachProcessCounts()) {
        char name[PATH_MAX];
        // A descriptor that some other process handed over counts by the file it refers to. It is
        // looked up on every call: a number is soon given again to another file, and not every
        // close passes through this library (the C library closes its own streams and folder
        // listings internally).
        return trackedFd(fd) || (fd >= 0 && linkedName(fd, name) && insideScope(name));
    }
    return (fd >= 0 && fd <= 2) || trackedFd(fd);
}

FdName fdName(int fd) {
    static const char* const standard[] = {"<stdin>", "<stdout>", "<stderr>"};
    FdName name{};
    if (!eachProcessCounts() && fd >= 0 && fd <= 2) {
        std::snprintf(name.text, sizeof name.text, "%s", standard[fd]);
        return name;
    }
    pthread_mutex_lock(&tracked.lock);
    const char* known = fd >= 0 && fd < MAX_TRACKED_FD ? tracked.names[fd] : nullptr;
    std::snprintf(name.text, sizeof name.text, "%s", known ? known : "<untracked>");
    pthread_mutex_unlock(&tracked.lock);
    if (known == nullptr && eachProcessCounts() && !linkedName(fd, name.text)) {
        std::snprintf(name.text, sizeof name.text, "<untracked>");
    }
    return name;
}

void track(int fd, const char* path) {
    if (fd > 2 && fd < MAX_TRACKED_FD) {
        char* copy = ::strdup(path != nullptr ? path : "?");
        pthread_mutex_lock(&tracked.lock);
        std::free(tracked.names[fd]);
        tracked.names[fd] = copy;
        pthread_mutex_unlock(&tracked.lock);
    }
}

void untrack(int fd) {
    if (fd > 2 && fd < MAX_TRACKED_FD) {
        pthread_mutex_lock(&tracked.lock);
        char* old = tracked.names[fd];
        tracked.names[fd] = nullptr;
        pthread_mutex_unlock(&tracked.lock);
        std::free(old);
    }
}

} // namespace fault_inject
