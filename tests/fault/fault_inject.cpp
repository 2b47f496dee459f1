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
//   FAULT_ERRNO   ENOSPC | EIO | EACCES | EPERM | EFBIG | EXDEV | ENOSYS | EEXIST | ENOMEM |
//                 ENODEV or a number
//   FAULT_COUNT_FILE   where to write the per-kind call counts when the process ends
//   FAULT_REPORT_FILE  where to write one line naming the disturbed call, when it happens
//   FAULT_TRACE_FILE   where to append one line per counted call (for debugging)
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
// the count and trace files say "name/kind". Such processes get most of their descriptors from
// another process (Wine's server passes them over a socket), so a descriptor counts when the
// file it refers to lies in the scope; a name relative to any folder counts by where it leads,
// and a name that passes through a drive link of Wine's (".../dosdevices/z:/...") by the folder
// that the link leads to. The standard streams count only when they are such files too.

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <initializer_list>
#include <pthread.h>
#include <sched.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

enum Kind {
    K_OPEN,
    K_READ,
    K_WRITE,
    K_FSYNC,
    K_RENAME,
    K_FTRUNCATE,
    K_CLOSE,
    K_UNLINK,
    K_COPY,
    K_FCHMOD,
    K_STAT,
    K_LINK,      // a name given to an open file (linkat of an unnamed file)
    K_WRITEBACK, // writeback started without waiting for it (sync_file_range)
    K_MAP,       // a file mapped into memory (mmap)
    KIND_COUNT
};

const char* const KIND_NAMES[KIND_COUNT] = {"open",      "read",  "write",     "fsync", "rename",
                                            "ftruncate", "close", "unlink",    "copy",  "fchmod",
                                            "stat",      "link",  "writeback", "map"};

enum Mode { MODE_FAIL, MODE_EINTR, MODE_SHORT };
enum Action { PASS, FAIL_NOW, INTERRUPT, SHORTEN };

constexpr std::size_t NAME_SIZE = 64;
constexpr int MAX_PROCESSES = 32;
enum Slot { SLOT_FREE, SLOT_CLAIMED, SLOT_NAMED };

// The calls of one named process (of the only one, unnamed, without FAULT_PROCESSES).
struct ProcessCounts {
    int slot;
    char name[NAME_SIZE];
    long counts[KIND_COUNT];
};

struct Shared {
    int injected;
    ProcessCounts processes[MAX_PROCESSES];
};

constexpr int MAX_TRACKED_FD = 4096;

Shared* shared = nullptr;
ProcessCounts* own = nullptr; // this process's counts, from its first counted call on
bool ready = false;
bool eachProcess = false; // FAULT_PROCESSES: every process counts under its own name
char processName[NAME_SIZE];
char targetProcess[NAME_SIZE];
pid_t mainPid = 0;
int targetKind = -1;
long targetAt = 0;
Mode mode = MODE_FAIL;
int targetErrno = EIO;
char scope[PATH_MAX];
std::size_t scopeLength = 0;
char canonicalScope[PATH_MAX];
std::size_t canonicalScopeLength = 0;
char countFile[PATH_MAX];
char reportFile[PATH_MAX];
int traceFd = -1;
bool countsWritten = false;
char* fdNames[MAX_TRACKED_FD]; // the name each counted descriptor was opened by
pthread_mutex_t fdNamesLock = PTHREAD_MUTEX_INITIALIZER;

// ---- raw output, which must not pass through the wrappers ----

int rawOpen(const char* path, int flags) {
    return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags | O_CLOEXEC, 0644));
}

void rawWrite(int fd, const char* text, std::size_t size) {
    while (size > 0) {
        const long put = ::syscall(SYS_write, fd, text, size);
        if (put <= 0) {
            return;
        }
        text += put;
        size -= static_cast<std::size_t>(put);
    }
}

void rawClose(int fd) {
    ::syscall(SYS_close, fd);
}

void writeWholeFile(const char* path, const char* text) {
    const int fd = rawOpen(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd >= 0) {
        rawWrite(fd, text, std::strlen(text));
        rawClose(fd);
    }
}

// "name/kind count" for each kind of a named process, or "kind count" for the one unnamed. Each
// line fits in NAME_SIZE + 32 characters.
std::size_t appendCounts(char* text, std::size_t size, const ProcessCounts& process) {
    std::size_t used = 0;
    for (int kind = 0; kind < KIND_COUNT; ++kind) {
        used += static_cast<std::size_t>(
            std::snprintf(text + used, size - used, "%s%s%s %ld\n", process.name,
                          process.name[0] != '\0' ? "/" : "", KIND_NAMES[kind],
                          __atomic_load_n(&process.counts[kind], __ATOMIC_SEQ_CST)));
    }
    return used;
}

// With FAULT_PROCESSES every process that counted writes all the counts so far when it ends (a
// server that leaves its starter behind included), and the last one to end leaves them all.
// Otherwise the process that loaded the library writes the counts of the one unnamed slot, which
// its forked children share, zero when nothing counted.
void writeCounts() {
    if (countsWritten || !ready || countFile[0] == '\0' ||
        (eachProcess ? __atomic_load_n(&own, __ATOMIC_ACQUIRE) == nullptr
                     : ::getpid() != mainPid)) {
        return;
    }
    countsWritten = true;
    static char text[MAX_PROCESSES * KIND_COUNT * (NAME_SIZE + 32)];
    std::size_t used = 0;
    for (int i = 0; i < MAX_PROCESSES; ++i) {
        const ProcessCounts& process = shared->processes[i];
        if (eachProcess ? __atomic_load_n(&process.slot, __ATOMIC_ACQUIRE) == SLOT_NAMED : i == 0) {
            used += appendCounts(text + used, sizeof text - used, process);
        }
    }
    writeWholeFile(countFile, text);
}

// ---- configuration ----

int errnoByName(const char* name) {
    static const struct {
        const char* name;
        int value;
    } known[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},       {"EACCES", EACCES}, {"EPERM", EPERM},
                 {"EFBIG", EFBIG},   {"EXDEV", EXDEV},   {"ENOSYS", ENOSYS}, {"EINTR", EINTR},
                 {"EDQUOT", EDQUOT}, {"EBADF", EBADF},   {"EMFILE", EMFILE}, {"EROFS", EROFS},
                 {"EEXIST", EEXIST}, {"ENOMEM", ENOMEM}, {"ENODEV", ENODEV}};
    for (const auto& entry : known) {
        if (std::strcmp(entry.name, name) == 0) {
            return entry.value;
        }
    }
    return std::atoi(name);
}

void copyEnv(const char* name, char* into, std::size_t size) {
    const char* value = std::getenv(name);
    into[0] = '\0';
    if (value != nullptr) {
        std::snprintf(into, size, "%s", value);
    }
}

// The counts: in memory that forked children share, or in the file that all processes share.
Shared* mapCounts(const char* file) {
    int fd = -1;
    if (file[0] != '\0') {
        fd = rawOpen(file, O_RDWR | O_CREAT);
        struct stat info {};
        if (fd < 0 || ::syscall(SYS_fstat, fd, &info) != 0 ||
            (static_cast<std::size_t>(info.st_size) < sizeof(Shared) &&
             ::syscall(SYS_ftruncate, fd, sizeof(Shared)) != 0)) {
            rawClose(fd);
            return nullptr;
        }
    }
    void* memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE,
                          MAP_SHARED | (fd < 0 ? MAP_ANONYMOUS : 0), fd, 0);
    rawClose(fd);
    return memory == MAP_FAILED ? nullptr : static_cast<Shared*>(memory);
}

// The file name at the end of a name in either form of folder names.
const char* baseName(const char* name) {
    const char* base = name;
    for (const char* at = name; *at != '\0'; ++at) {
        if (*at == '/' || *at == '\\') {
            base = at + 1;
        }
    }
    return base;
}

bool isWineLoader(const char* word) {
    const char* base = baseName(word);
    for (const char* loader : {"wine", "wine64", "wine-preloader", "wine64-preloader"}) {
        if (std::strcmp(base, loader) == 0) {
            return true;
        }
    }
    return false;
}

// The process's name, from its command line: the program's file name after Wine's loader, and for
// an interpreter given a command line (/c), the command that it runs.
void nameThisProcess() {
    char line[4096];
    const int fd = rawOpen("/proc/self/cmdline", O_RDONLY);
    const long got = fd < 0 ? -1 : ::syscall(SYS_read, fd, line, sizeof line - 1);
    rawClose(fd);
    if (got <= 0) {
        return;
    }
    line[got] = '\0';
    const char* const end = line + got;
    const char* word = line;
    while (word < end && isWineLoader(word)) {
        word += std::strlen(word) + 1;
    }
    if (word >= end) {
        return;
    }
    const char* command = "";
    for (const char* arg = word + std::strlen(word) + 1; arg < end; arg += std::strlen(arg) + 1) {
        if (strcasecmp(arg, "/c") == 0 && arg + std::strlen(arg) + 1 < end) {
            command = arg + std::strlen(arg) + 1;
            break;
        }
    }
    // A name too long for its slot is cut short; the names of a run's processes are all short.
    if (std::snprintf(processName, sizeof processName, "%s%s%s", baseName(word),
                      command[0] != '\0' ? ":" : "", command) >= int{sizeof processName}) {
        processName[sizeof processName - 1] = '\0';
    }
}

__attribute__((constructor)) void setUp() {
    char processesFile[PATH_MAX];
    copyEnv("FAULT_PROCESSES", processesFile, sizeof processesFile);
    eachProcess = processesFile[0] != '\0';
    shared = mapCounts(processesFile);
    if (shared == nullptr) {
        return;
    }
    mainPid = ::getpid();
    if (eachProcess) {
        nameThisProcess();
        copyEnv("FAULT_PROCESS", targetProcess, sizeof targetProcess);
    }

    if (const char* kind = std::getenv("FAULT_KIND")) {
        for (int k = 0; k < KIND_COUNT; ++k) {
            if (std::strcmp(kind, KIND_NAMES[k]) == 0) {
                targetKind = k;
            }
        }
    }
    if (const char* at = std::getenv("FAULT_AT")) {
        targetAt = std::atol(at);
    }
    if (const char* how = std::getenv("FAULT_MODE")) {
        mode = std::strcmp(how, "eintr") == 0   ? MODE_EINTR
               : std::strcmp(how, "short") == 0 ? MODE_SHORT
                                                : MODE_FAIL;
    }
    if (const char* number = std::getenv("FAULT_ERRNO")) {
        targetErrno = errnoByName(number);
    }
    copyEnv("FAULT_COUNT_FILE", countFile, sizeof countFile);
    copyEnv("FAULT_REPORT_FILE", reportFile, sizeof reportFile);
    char traceFile[PATH_MAX];
    copyEnv("FAULT_TRACE_FILE", traceFile, sizeof traceFile);
    if (traceFile[0] != '\0') {
        traceFd = rawOpen(traceFile, O_WRONLY | O_CREAT | O_APPEND);
    }
    copyEnv("FAULT_SCOPE", scope, sizeof scope);
    if (scope[0] == '\0' && ::getcwd(scope, sizeof scope) == nullptr) {
        scope[0] = '\0';
    }
    scopeLength = std::strlen(scope);
    while (scopeLength > 1 && scope[scopeLength - 1] == '/') {
        scope[--scopeLength] = '\0';
    }
    // Names inside the folder may also come back from realpath.
    if (char* canonical = ::realpath(scope, nullptr)) {
        std::snprintf(canonicalScope, sizeof canonicalScope, "%s", canonical);
        std::free(canonical);
    }
    canonicalScopeLength = std::strlen(canonicalScope);

    // Programs that the process starts are not part of the experiment, unless every process is.
    if (!eachProcess) {
        for (const char* name :
             {"LD_PRELOAD", "FAULT_KIND", "FAULT_AT", "FAULT_MODE", "FAULT_ERRNO",
              "FAULT_COUNT_FILE", "FAULT_REPORT_FILE", "FAULT_TRACE_FILE", "FAULT_SCOPE"}) {
            ::unsetenv(name);
        }
    }
    ready = true;
}

__attribute__((destructor)) void tearDown() {
    writeCounts();
}

// ---- what counts ----

bool fdInScope(int fd);

bool isInside(const char* path, const char* folder, std::size_t length) {
    return length > 0 && std::strncmp(path, folder, length) == 0 &&
           (path[length] == '/' || path[length] == '\0');
}

bool insideScope(const char* path) {
    return isInside(path, scope, scopeLength) ||
           isInside(path, canonicalScope, canonicalScopeLength);
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

bool pathInScope(int dirfd, const char* path) {
    if (path == nullptr) {
        return false;
    }
    if (eachProcess) {
        char full[PATH_MAX];
        return fullName(dirfd, path, full) && insideScope(full);
    }
    if (path[0] != '/') {
        return dirfd == AT_FDCWD || (dirfd > 2 && fdInScope(dirfd));
    }
    return insideScope(path);
}

bool trackedFd(int fd) {
    if (fd < 0 || fd >= MAX_TRACKED_FD) {
        return false;
    }
    pthread_mutex_lock(&fdNamesLock);
    const bool tracked = fdNames[fd] != nullptr;
    pthread_mutex_unlock(&fdNamesLock);
    return tracked;
}

// A descriptor that some other process handed over counts by the file it refers to. It is looked
// up on every call: a number is soon given again to another file, and not every close passes
// through this library (the C library closes its own streams and folder listings internally).
bool linkedInScope(int fd, char* name) {
    return linkedName(fd, name) && insideScope(name);
}

bool fdInScope(int fd) {
    if (eachProcess) {
        char name[PATH_MAX];
        return trackedFd(fd) || (fd >= 0 && linkedInScope(fd, name));
    }
    return (fd >= 0 && fd <= 2) || trackedFd(fd);
}

// The name of a counted descriptor, copied so that another thread may close it meanwhile.
struct FdName {
    char text[PATH_MAX];
};

FdName fdName(int fd) {
    static const char* const standard[] = {"<stdin>", "<stdout>", "<stderr>"};
    FdName name{};
    if (!eachProcess && fd >= 0 && fd <= 2) {
        std::snprintf(name.text, sizeof name.text, "%s", standard[fd]);
        return name;
    }
    pthread_mutex_lock(&fdNamesLock);
    const char* tracked = fd >= 0 && fd < MAX_TRACKED_FD ? fdNames[fd] : nullptr;
    std::snprintf(name.text, sizeof name.text, "%s", tracked ? tracked : "<untracked>");
    pthread_mutex_unlock(&fdNamesLock);
    if (tracked == nullptr && eachProcess && !linkedName(fd, name.text)) {
        std::snprintf(name.text, sizeof name.text, "<untracked>");
    }
    return name;
}

void track(int fd, const char* path) {
    if (fd > 2 && fd < MAX_TRACKED_FD) {
        char* copy = ::strdup(path != nullptr ? path : "?");
        pthread_mutex_lock(&fdNamesLock);
        std::free(fdNames[fd]);
        fdNames[fd] = copy;
        pthread_mutex_unlock(&fdNamesLock);
    }
}

void untrack(int fd) {
    if (fd > 2 && fd < MAX_TRACKED_FD) {
        pthread_mutex_lock(&fdNamesLock);
        char* old = fdNames[fd];
        fdNames[fd] = nullptr;
        pthread_mutex_unlock(&fdNamesLock);
        std::free(old);
    }
}

// The counts of this process's name, in the slot that its first counted call takes; a forked
// child, and every process of the same name, adds to the same ones. None when all slots are
// taken. Once found they are read without the lock, which a child forked while another thread
// held it would never see released.
ProcessCounts* ownCounts() {
    if (ProcessCounts* found = __atomic_load_n(&own, __ATOMIC_ACQUIRE)) {
        return found;
    }
    static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_mutex_lock(&lock);
    for (int i = 0; own == nullptr && i < MAX_PROCESSES; ++i) {
        ProcessCounts& process = shared->processes[i];
        int slot = SLOT_FREE;
        if (__atomic_compare_exchange_n(&process.slot, &slot, SLOT_CLAIMED, false, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE)) {
            std::snprintf(process.name, sizeof process.name, "%s", processName);
            __atomic_store_n(&process.slot, SLOT_NAMED, __ATOMIC_RELEASE);
            __atomic_store_n(&own, &process, __ATOMIC_RELEASE);
            break;
        }
        while (slot == SLOT_CLAIMED) {
            ::sched_yield();
            slot = __atomic_load_n(&process.slot, __ATOMIC_ACQUIRE);
        }
        if (std::strcmp(process.name, processName) == 0) {
            __atomic_store_n(&own, &process, __ATOMIC_RELEASE);
        }
    }
    pthread_mutex_unlock(&lock);
    return own;
}

const char* modeName() {
    return mode == MODE_FAIL ? "fail" : mode == MODE_EINTR ? "eintr" : "short";
}

// Counts one call and says what to do with it.
Action decide(Kind kind, const char* target) {
    ProcessCounts* counts = ownCounts();
    if (counts == nullptr) {
        return PASS;
    }
    const long number = __atomic_add_fetch(&counts->counts[kind], 1, __ATOMIC_SEQ_CST);
    const char* const separator = processName[0] != '\0' ? "/" : "";
    if (traceFd >= 0) {
        char line[PATH_MAX + 128];
        const int length = std::snprintf(line, sizeof line, "%s%s%s %ld %s\n", processName,
                                         separator, KIND_NAMES[kind], number, target);
        rawWrite(traceFd, line, static_cast<std::size_t>(length));
    }
    if (kind != targetKind || number != targetAt ||
        (targetProcess[0] != '\0' && std::strcmp(targetProcess, processName) != 0) ||
        __atomic_exchange_n(&shared->injected, 1, __ATOMIC_SEQ_CST) != 0) {
        return PASS;
    }
    if (reportFile[0] != '\0') {
        char line[PATH_MAX + 192];
        std::snprintf(line, sizeof line, "kind=%s%s%s at=%ld mode=%s errno=%d target=%s\n",
                      processName, separator, KIND_NAMES[kind], number, modeName(), targetErrno,
                      target);
        writeWholeFile(reportFile, line);
    }
    switch (mode) {
    case MODE_EINTR:
        return INTERRUPT;
    case MODE_SHORT:
        return SHORTEN;
    case MODE_FAIL:
        break;
    }
    return FAIL_NOW;
}

// A refused call: -1 with errno set.
int refuse(Action action) {
    errno = action == INTERRUPT ? EINTR : targetErrno;
    return -1;
}

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
    return ready && fdInScope(fd) ? disturb(kind, fdName(fd).text, call) : call(false);
}

// A call on a name, counted when the name lies in the scope.
template <typename Call> auto onPath(Kind kind, int dirfd, const char* path, Call call) {
    return ready && pathInScope(dirfd, path) ? disturb(kind, path, call) : call(false);
}

// A copy between descriptors, counted when either end is, and named by the end it writes to.
template <typename Call> auto onCopy(int in, int out, Call call) {
    return ready && (fdInScope(in) || fdInScope(out)) ? disturb(K_COPY, fdName(out).text, call)
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
    if (!ready || !pathInScope(dirfd, path)) {
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
    if (!ready || fd <= 2 || !fdInScope(fd)) {
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
    if (result == 0 && ready) {
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
    if (!ready || fd <= 2 || !fdInScope(fd)) {
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

// ---- process end: the program leaves through _exit, which runs no destructor ----

void _exit(int status) {
    writeCounts();
    static auto real = next<void (*)(int)>("_exit");
    real(status);
    __builtin_unreachable();
}

void _Exit(int status) {
    writeCounts();
    static auto real = next<void (*)(int)>("_Exit");
    real(status);
    __builtin_unreachable();
}

} // extern "C"
