#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/mapped_file.h"

namespace platform {

namespace {

// The mapping that a SIGBUS may hit, and whether one did. Read by the signal handler, hence
// lock-free atomics.
std::atomic<std::uintptr_t> guardedBegin{0};
std::atomic<std::uintptr_t> guardedEnd{0};
std::atomic<bool> shrank{false};
struct sigaction previousAction {};

// A page of the mapping past the file's new end: that page and all after it are replaced by
// zeros, and the instruction that touched it reads them when the handler returns. A SIGBUS
// anywhere else is no business of ours and ends the process as it would have.
void onBusError(int signal, siginfo_t* info, void*) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    const std::uintptr_t begin = guardedBegin.load();
    const std::uintptr_t end = guardedEnd.load();
    if (address < begin || address >= end) {
        ::sigaction(signal, &previousAction, nullptr);
        return; // the fault comes again, under the previous action
    }
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t from = address & ~(page - 1);
    void* zeros = ::mmap(reinterpret_cast<void*>(from), end - from, PROT_READ,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros == MAP_FAILED) {
        ::sigaction(signal, &previousAction, nullptr);
        return;
    }
    shrank.store(true);
}

} // namespace

void Unmap::operator()(const char* bytes) const {
    guardedBegin.store(0);
    guardedEnd.store(0);
    ::sigaction(SIGBUS, &previousAction, nullptr);
    (void)::munmap(const_cast<char*>(bytes), size);
}

MapResult mapForReading(int fd, std::size_t size) {
    if (size == 0 || guardedEnd.load() != 0) {
        return {MappedBytes(nullptr, Unmap{}), ENOTSUP};
    }
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (mapped == MAP_FAILED) {
        return {MappedBytes(nullptr, Unmap{}), errno};
    }
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (::sigaction(SIGBUS, &action, &previousAction) != 0) {
        const int error = errno;
        (void)::munmap(mapped, size);
        return {MappedBytes(nullptr, Unmap{}), error};
    }
    shrank.store(false);
    guardedBegin.store(reinterpret_cast<std::uintptr_t>(mapped));
    guardedEnd.store(reinterpret_cast<std::uintptr_t>(mapped) + size);
    return {MappedBytes(static_cast<const char*>(mapped), Unmap{size}), 0};
}

bool mappedFileShrank() {
    return shrank.load();
}

} // namespace platform
