// A preload library for the fault tests: it stands between the program and the C library, counts
// the file calls that the program makes in its working folder and on its standard streams, and
// makes one chosen call fail. Everything else passes through unchanged.
//
// Controlled by the environment, read once at load time:
//   FAULT_KIND    open | read | write | fsync | rename | ftruncate | close | unlink | copy |
//                 fchmod | stat | link | writeback | map   (the kind of call to disturb; unset:
//                 only count)
//   FAULT_AT      the 1-based number of the call of that kind to disturb
//   FAULT_MODE    fail (default): the call fails with FAULT_ERRNO and does nothing, except that
//                   a failing close still releases the descriptor, as Linux does;
//                 eintr: the call is interrupted before it does anything (a close: after it has
//                   released the descriptor);
//                 short: a read, write or copy moves only half of what was asked (at least 1)
//   FAULT_ERRNO   the error number
//   FAULT_REPORT_FILE  where to write one line naming the disturbed call, when it happens
//   FAULT_TRACE_FILE   where to append one line per counted call: the calls there are, in order
//   FAULT_SCOPE   the folder whose files count (default: the working folder at load time)
//   FAULT_PROCESSES  a file in which every process of the run counts its calls under its own name
//                 (see below); unset: only this process and its forked children count
//   FAULT_PROCESS the name of the process whose call to disturb (with FAULT_PROCESSES)
//
// Counted calls: path calls on relative names or names inside the scope folder, and descriptor
// calls on descriptors 0, 1 and 2 or on descriptors that a counted open returned. A file opened
// without a name is known as "(unnamed)" in the folder it was opened in, until a counted link
// gives it its name. The counts are
// kept in shared memory so that a forked child adds to the same numbers, and counted atomically,
// since the program may read and write from several threads; the library takes itself out of the
// environment, so that programs started by the process run undisturbed.
//
// With FAULT_PROCESSES the library stays in the environment, and each program that the run
// starts (a Windows program under Wine, its command interpreter, Wine's server) counts in the
// shared file, under its name: the program's file name, and for an interpreter given a command
// line with /c, the command too ("cmd.exe:Copy"). Counts and the call to disturb are per name;
// the trace says "name/kind". Such processes get most of their descriptors from
// another process (Wine's server passes them over a socket), so a descriptor counts when the
// file it refers to lies in the scope; a name relative to any folder counts by where it leads,
// and a name that passes through a drive link of Wine's (".../dosdevices/z:/...") by the folder
// that the link leads to. The standard streams count only when they are such files too.
//
// The library's parts: the counts (counts.cpp), the scope of what counts (scope.cpp), the plan of
// the call to disturb (plan.cpp), and here the functions that stand in for the C library's.

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "parts.h"

using namespace fault_inject;
using namespace fault_protocol;

namespace {

// What a transfer asks for, or half of it (at least 1) when it is to come up short.
std::size_t sized(std::size_t size, bool shorten) {
    return shorten && size > 1 ? size / 2 : size;
}

template <typename F> F next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

#define REAL(name) static auto real = next<decltype(&::name)>(#name)

// Carries out a counted call: refused as planned, or made, `shorten` telling a transfer to move
// only part of what was asked.
template <typename Call> auto disturb(Kind kind, const char* target, Call call) {
    const Action action = decide(kind, target);
    if (action == FAIL_NOW || action == INTERRUPT) {
        return static_cast<decltype(call(false))>(refuse(action));
    }
    return call(action == SHORTEN);
}

// A call on a descriptor, counted when the descriptor is.
template <typename Call> auto onDescriptor(Kind kind, int fd, Call call) {
    return ready() && fdInScope(fd) ? disturb(kind, fdName(fd).text, call) : call(false);
}

// A call on a name, counted when the name lies in the scope.
template <typename Call> auto onPath(Kind kind, int dirfd, const char* path, Call call) {
    return ready() && pathInScope(dirfd, path) ? disturb(kind, path, call) : call(false);
}

// A copy between descriptors, counted when either end is, and named by the end it writes to.
template <typename Call> auto onCopy(int in, int out, Call call) {
    return ready() && (fdInScope(in) || fdInScope(out)) ? disturb(K_COPY, fdName(out).text, call)
                                                        : call(false);
}

bool opensUnnamed(int flags) {
    return (flags & O_TMPFILE) == O_TMPFILE;
}

// The name a counted descriptor is known by: its path, or for a file without a name, the folder
// it lies in followed by "(unnamed)".
void trackOpened(int fd, const char* path, bool unnamed) {
    char name[PATH_MAX];
    std::snprintf(name, sizeof name, unnamed ? "%s/(unnamed)" : "%s", path);
    track(fd, name);
}

// An open, counted when the name lies in the scope; the descriptor it gives counts from then on.
// mkstemp and its kin open inside the C library, where no wrapper sees it: the whole call counts
// as one open, and since interrupting it makes no sense, an eintr there passes the call through.
template <typename Call>
int onOpen(int dirfd, const char* path, bool interruptible, bool unnamed, Call call) {
    if (!ready() || !pathInScope(dirfd, path)) {
        return call();
    }
    const Action action = decide(K_OPEN, path);
    if (action == FAIL_NOW || (action == INTERRUPT && interruptible)) {
        return refuse(action);
    }
    const int fd = call();
    if (fd >= 0) {
        trackOpened(fd, path, unnamed);
    }
    return fd;
}

int openAt(int dirfd, const char* path, int flags, mode_t m) {
    REAL(openat);
    return onOpen(dirfd, path, true, opensUnnamed(flags),
                  [&] { return real(dirfd, path, flags, m); });
}

bool needsMode(int flags) {
    return (flags & O_CREAT) != 0 || opensUnnamed(flags);
}

// A counted file without a name that a link has named is known by that name from then on. Such a
// file is linked through its entry under /proc.
void trackLinked(const char* from, const char* to) {
    static const char OPEN_FILES[] = "/proc/self/fd/";
    if (std::strncmp(from, OPEN_FILES, sizeof OPEN_FILES - 1) != 0) {
        return;
    }
    const int fd = std::atoi(from + sizeof OPEN_FILES - 1);
    if (fd > 2 && fdInScope(fd)) {
        track(fd, to);
    }
}

// A status query through a descriptor with an empty name asks about the descriptor itself.
bool ofDescriptor(const char* path, int flags) {
    return path != nullptr && path[0] == '\0' && (flags & AT_EMPTY_PATH) != 0;
}

} // namespace

// One interposer each: `name` taking `parameters` is a call of `kind` on a descriptor or a name,
// and passes `arguments` on to the real function (where `shorten` may cut a transfer's size).
#define ON_DESCRIPTOR(type, name, parameters, kind, fd, arguments)                                 \
    type name parameters {                                                                         \
        REAL(name);                                                                                \
        return onDescriptor(kind, fd,                                                              \
                            [&]([[maybe_unused]] bool shorten) { return real arguments; });        \
    }
#define ON_PATH(type, name, parameters, kind, dirfd, path, arguments)                              \
    type name parameters {                                                                         \
        REAL(name);                                                                                \
        return onPath(kind, dirfd, path, [&](bool) { return real arguments; });                    \
    }
#define MAKE_TEMP(name, parameters, arguments)                                                     \
    int name parameters {                                                                          \
        REAL(name);                                                                                \
        return onOpen(AT_FDCWD, templ, false, false, [&] { return real arguments; });              \
    }
// The mode that an open which may create a file passes as its argument after `flags`.
#define MODE_AFTER(flags)                                                                          \
    mode_t m = 0;                                                                                  \
    if (needsMode(flags)) {                                                                        \
        va_list arguments;                                                                         \
        va_start(arguments, flags);                                                                \
        m = static_cast<mode_t>(va_arg(arguments, int));                                           \
        va_end(arguments);                                                                         \
    }

extern "C" {

// ---- open ----

int open(const char* path, int flags, ...) {
    MODE_AFTER(flags);
    return openAt(AT_FDCWD, path, flags, m);
}

int openat(int dirfd, const char* path, int flags, ...) {
    MODE_AFTER(flags);
    return openAt(dirfd, path, flags, m);
}

int creat(const char* path, mode_t m) {
    return openAt(AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, m);
}

MAKE_TEMP(mkstemp, (char* templ), (templ))
MAKE_TEMP(mkstemp64, (char* templ), (templ))
MAKE_TEMP(mkostemp, (char* templ, int flags), (templ, flags))
MAKE_TEMP(mkostemp64, (char* templ, int flags), (templ, flags))
MAKE_TEMP(mkstemps, (char* templ, int suffix), (templ, suffix))
MAKE_TEMP(mkostemps, (char* templ, int suffix, int flags), (templ, suffix, flags))

// ---- read and write ----

ON_DESCRIPTOR(ssize_t, read, (int fd, void* data, size_t size), K_READ, fd,
              (fd, data, sized(size, shorten)))
ON_DESCRIPTOR(ssize_t, pread, (int fd, void* data, size_t size, off_t offset), K_READ, fd,
              (fd, data, sized(size, shorten), offset))
ON_DESCRIPTOR(ssize_t, write, (int fd, const void* data, size_t size), K_WRITE, fd,
              (fd, data, sized(size, shorten)))
ON_DESCRIPTOR(ssize_t, pwrite, (int fd, const void* data, size_t size, off_t offset), K_WRITE, fd,
              (fd, data, sized(size, shorten), offset))

// ---- copies between descriptors ----

ssize_t copy_file_range(int in, off_t* inOffset, int out, off_t* outOffset, size_t size,
                        unsigned int flags) {
    REAL(copy_file_range);
    return onCopy(in, out, [&](bool shorten) {
        return real(in, inOffset, out, outOffset, sized(size, shorten), flags);
    });
}

ssize_t sendfile(int out, int in, off_t* offset, size_t size) {
    REAL(sendfile);
    return onCopy(in, out,
                  [&](bool shorten) { return real(out, in, offset, sized(size, shorten)); });
}

// ---- syncs, size and mode ----

ON_DESCRIPTOR(int, fsync, (int fd), K_FSYNC, fd, (fd))
ON_DESCRIPTOR(int, fdatasync, (int fd), K_FSYNC, fd, (fd))
ON_DESCRIPTOR(int, sync_file_range, (int fd, off64_t offset, off64_t length, unsigned int flags),
              K_WRITEBACK, fd, (fd, offset, length, flags))
ON_DESCRIPTOR(int, ftruncate, (int fd, off_t length), K_FTRUNCATE, fd, (fd, length))
ON_PATH(int, truncate, (const char* path, off_t length), K_FTRUNCATE, AT_FDCWD, path,
        (path, length))
ON_DESCRIPTOR(int, fchmod, (int fd, mode_t m), K_FCHMOD, fd, (fd, m))
ON_PATH(int, chmod, (const char* path, mode_t m), K_FCHMOD, AT_FDCWD, path, (path, m))
ON_PATH(int, fchmodat, (int dirfd, const char* path, mode_t m, int flags), K_FCHMOD, dirfd, path,
        (dirfd, path, m, flags))

// ---- close: Linux releases the descriptor even when close reports a failure ----

int close(int fd) {
    REAL(close);
    if (!ready() || fd <= 2 || !fdInScope(fd)) {
        return real(fd);
    }
    const Action action = decide(K_CLOSE, fdName(fd).text);
    untrack(fd);
    const int result = real(fd);
    if (action == FAIL_NOW || action == INTERRUPT) {
        return refuse(action);
    }
    return result;
}

// ---- names: a rename counts on the name it replaces ----

ON_PATH(int, rename, (const char* from, const char* to), K_RENAME, AT_FDCWD, to, (from, to))
ON_PATH(int, renameat, (int fromDir, const char* from, int toDir, const char* to), K_RENAME, toDir,
        to, (fromDir, from, toDir, to))
ON_PATH(int, renameat2, (int fromDir, const char* from, int toDir, const char* to, unsigned flags),
        K_RENAME, toDir, to, (fromDir, from, toDir, to, flags))
// A link counts on the name it makes.
int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    REAL(linkat);
    const int result =
        onPath(K_LINK, toDir, to, [&](bool) { return real(fromDir, from, toDir, to, flags); });
    if (result == 0 && ready()) {
        trackLinked(from, to);
    }
    return result;
}

ON_PATH(int, link, (const char* from, const char* to), K_LINK, AT_FDCWD, to, (from, to))
ON_PATH(int, unlink, (const char* path), K_UNLINK, AT_FDCWD, path, (path))
ON_PATH(int, unlinkat, (int dirfd, const char* path, int flags), K_UNLINK, dirfd, path,
        (dirfd, path, flags))
ON_PATH(int, remove, (const char* path), K_UNLINK, AT_FDCWD, path, (path))

// ---- status queries; those of the standard streams and of descriptors by themselves do not
// count ----

ON_PATH(int, stat, (const char* path, struct stat* info), K_STAT, AT_FDCWD, path, (path, info))
ON_PATH(int, lstat, (const char* path, struct stat* info), K_STAT, AT_FDCWD, path, (path, info))
ON_PATH(int, stat64, (const char* path, struct stat64* info), K_STAT, AT_FDCWD, path, (path, info))
ON_PATH(int, lstat64, (const char* path, struct stat64* info), K_STAT, AT_FDCWD, path, (path, info))
ON_PATH(int, fstatat, (int dirfd, const char* path, struct stat* info, int flags), K_STAT, dirfd,
        ofDescriptor(path, flags) ? nullptr : path, (dirfd, path, info, flags))
ON_PATH(int, fstatat64, (int dirfd, const char* path, struct stat64* info, int flags), K_STAT,
        dirfd, ofDescriptor(path, flags) ? nullptr : path, (dirfd, path, info, flags))
ON_DESCRIPTOR(int, fstat, (int fd, struct stat* info), K_STAT, fd > 2 ? fd : -1, (fd, info))
ON_DESCRIPTOR(int, fstat64, (int fd, struct stat64* info), K_STAT, fd > 2 ? fd : -1, (fd, info))

// ---- a file mapped into memory; anonymous memory passes through ----

void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    REAL(mmap);
    if (!ready() || fd <= 2 || !fdInScope(fd)) {
        return real(address, length, protection, flags, fd, offset);
    }
    const Action action = decide(K_MAP, fdName(fd).text);
    if (action == FAIL_NOW || action == INTERRUPT) {
        (void)refuse(action);
        return MAP_FAILED;
    }
    return real(address, length, protection, flags, fd, offset);
}

// ---- the large-file names of the same calls ----

int open64(const char* path, int flags, ...) __attribute__((alias("open")));
int openat64(int dirfd, const char* path, int flags, ...) __attribute__((alias("openat")));
int creat64(const char* path, mode_t m) __attribute__((alias("creat")));
ssize_t pread64(int fd, void* data, size_t size, off_t offset) __attribute__((alias("pread")));
ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset)
    __attribute__((alias("pwrite")));
ssize_t sendfile64(int out, int in, off_t* offset, size_t size) __attribute__((alias("sendfile")));
int ftruncate64(int fd, off_t length) __attribute__((alias("ftruncate")));
void* mmap64(void* address, size_t length, int protection, int flags, int fd, off_t offset)
    __attribute__((alias("mmap")));

} // extern "C"
