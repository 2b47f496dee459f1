// A preload library for the allocation tests: it takes the place of every form of operator new
// (plain, array, nothrow, aligned), counts the allocations of the process and refuses a chosen
// one, as a machine whose memory has run out would. The standard deletes free what it gives.
//
// Controlled by the environment, read once at load time (and then taken out of it, so that
// programs started by the process run undisturbed):
//   ALLOC_FAIL_AT     the 1-based number of the allocation to refuse (unset or 0: only count)
//   ALLOC_FAIL_ON     once (default): only that one fails; onwards: every one from it on fails
//   ALLOC_COUNT_FILE  where to write how many allocations the process asked for, when it ends

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <new>
#include <unistd.h>

#include "fault_protocol.h"

namespace {

std::atomic<long> allocations{0};
long failAt = 0;
bool failOnwards = false;
char countFile[4096];

__attribute__((constructor)) void setUp() {
    namespace setting = fault_protocol::alloc;
    const char* at = std::getenv(setting::FAIL_AT);
    const char* on = std::getenv(setting::FAIL_ON);
    const char* file = std::getenv(setting::COUNT_FILE);
    failAt = at != nullptr ? std::atol(at) : 0;
    failOnwards = on != nullptr && std::strcmp(on, "onwards") == 0;
    std::snprintf(countFile, sizeof countFile, "%s", file != nullptr ? file : "");
    for (const char* name :
         {"LD_PRELOAD", setting::FAIL_AT, setting::FAIL_ON, setting::COUNT_FILE}) {
        ::unsetenv(name);
    }
}

void writeCount() {
    const int fd =
        countFile[0] == '\0' ? -1 : ::open(countFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        char line[32];
        const int length = std::snprintf(line, sizeof line, "%ld\n", allocations.load());
        (void)!::write(fd, line, static_cast<std::size_t>(length));
        ::close(fd);
    }
}

__attribute__((destructor)) void tearDown() {
    writeCount();
}

void* allocate(std::size_t size, std::size_t alignment) {
    const long number = ++allocations;
    void* block = nullptr;
    if (failAt <= 0 || number < failAt || (number > failAt && !failOnwards)) {
        if (alignment <= alignof(std::max_align_t)) {
            block = std::malloc(size == 0 ? 1 : size);
        } else if (::posix_memalign(&block, alignment, size == 0 ? 1 : size) != 0) {
            block = nullptr;
        }
    }
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* allocateOrNull(std::size_t size, std::size_t alignment) noexcept {
    try {
        return allocate(size, alignment);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

constexpr std::size_t PLAIN = alignof(std::max_align_t);

} // namespace

// The program leaves through _exit, which runs no destructor.
extern "C" void _exit(int status) {
    writeCount();
    static const auto real = reinterpret_cast<void (*)(int)>(::dlsym(RTLD_NEXT, "_exit"));
    real(status);
    __builtin_unreachable();
}

// Every form of operator new, of one object (`brackets` empty) or of an array ([]).
#define EVERY_NEW(brackets)                                                                        \
    void* operator new brackets(std::size_t size) {                                                \
        return allocate(size, PLAIN);                                                              \
    }                                                                                              \
    void* operator new brackets(std::size_t size, const std::nothrow_t&) noexcept {                \
        return allocateOrNull(size, PLAIN);                                                        \
    }                                                                                              \
    void* operator new brackets(std::size_t size, std::align_val_t alignment) {                    \
        return allocate(size, static_cast<std::size_t>(alignment));                                \
    }                                                                                              \
    void* operator new brackets(std::size_t size, std::align_val_t alignment,                      \
                                const std::nothrow_t&) noexcept {                                  \
        return allocateOrNull(size, static_cast<std::size_t>(alignment));                          \
    }

EVERY_NEW()
EVERY_NEW([])
