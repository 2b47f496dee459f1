// The counts of the I/O preload library: one slot of counts per process name in memory that every
// process of the run shares, counted atomically since the program may make its calls from several
// threads.

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "parts.h"

namespace fault_inject {

using fault_protocol::KIND_COUNT;

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

namespace {

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

struct Counting {
    Shared* shared = nullptr;
    ProcessCounts* own = nullptr; // this process's counts, from its first counted call on
    bool eachProcess = false;     // every process counts under its own name
    char processName[NAME_SIZE] = "";
} counting;

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
void nameThisProcess(char* processName) {
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
    if (std::snprintf(processName, NAME_SIZE, "%s%s%s", baseName(word),
                      command[0] != '\0' ? ":" : "", command) >= int{NAME_SIZE}) {
        processName[NAME_SIZE - 1] = '\0';
    }
}

// The counts of this process's name, in the slot that its first counted call takes; a forked
// child, and every process of the same name, adds to the same ones. None when all slots are
// taken. Once found they are read without the lock, which a child forked while another thread
// held it would never see released.
ProcessCounts* ownCounts() {
    if (ProcessCounts* found = __atomic_load_n(&counting.own, __ATOMIC_ACQUIRE)) {
        return found;
    }
    static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_mutex_lock(&lock);
    for (int i = 0; counting.own == nullptr && i < MAX_PROCESSES; ++i) {
        ProcessCounts& process = counting.shared->processes[i];
        int slot = SLOT_FREE;
        if (__atomic_compare_exchange_n(&process.slot, &slot, SLOT_CLAIMED, false, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE)) {
            std::snprintf(process.name, sizeof process.name, "%s", counting.processName);
            __atomic_store_n(&process.slot, SLOT_NAMED, __ATOMIC_RELEASE);
            __atomic_store_n(&counting.own, &process, __ATOMIC_RELEASE);
            break;
        }
        while (slot == SLOT_CLAIMED) {
            ::sched_yield();
            slot = __atomic_load_n(&process.slot, __ATOMIC_ACQUIRE);
        }
        if (std::strcmp(process.name, counting.processName) == 0) {
            __atomic_store_n(&counting.own, &process, __ATOMIC_RELEASE);
        }
    }
    pthread_mutex_unlock(&lock);
    return counting.own;
}

} // namespace

bool startCounting(const char* processesFile) {
    counting.eachProcess = processesFile[0] != '\0';
    counting.shared = mapCounts(processesFile);
    if (counting.shared == nullptr) {
        return false;
    }
    if (counting.eachProcess) {
        nameThisProcess(counting.processName);
    }
    return true;
}

bool eachProcessCounts() {
    return counting.eachProcess;
}

const char* processName() {
    return counting.processName;
}

long countCall(Kind kind) {
    ProcessCounts* counts = ownCounts();
    return counts == nullptr ? 0 : __atomic_add_fetch(&counts->counts[kind], 1, __ATOMIC_SEQ_CST);
}

bool claimTheDisturbance() {
    return __atomic_exchange_n(&counting.shared->injected, 1, __ATOMIC_SEQ_CST) == 0;
}

} // namespace fault_inject
