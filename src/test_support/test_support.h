#pragma once

// Helpers shared by all the tests: temporary folders, whole-file reads and writes, and calls run
// with the standard streams redirected, in this process or in a child process. A child process of
// the tests runs a part of the test (a call that ends the process, or that sets limits for itself)
// or becomes the built program (launch.h).

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace test_support {

// A descriptor that is closed when the object goes, or before.
struct HeldDescriptor {
    int fd = -1;
    HeldDescriptor() = default;
    explicit HeldDescriptor(int descriptor) : fd(descriptor) {}
    HeldDescriptor(HeldDescriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    HeldDescriptor& operator=(HeldDescriptor&& other) noexcept {
        std::swap(fd, other.fd);
        return *this;
    }
    ~HeldDescriptor() { close(); }
    void close() {
        if (fd >= 0) {
            ::close(std::exchange(fd, -1));
        }
    }
};

// How a process ended and what it wrote.
struct RunResult {
    int exitStatus = -1;    // its exit status, or 128 + the signal that ended it
    int signal = 0;         // the signal that ended it, if one did
    bool timedOut = false;  // it was still running at its time limit, and was killed
    long peakMemoryKiB = 0; // its largest resident size
    std::string out{};
    std::string err{};
};

// Notes in `result` how `child` ended, once it has: false while it runs (with WNOHANG in `flags`).
inline bool reap(pid_t child, RunResult& result, int flags = 0) {
    int status = 0;
    rusage usage{};
    pid_t done = -1;
    do {
        done = ::wait4(child, &status, flags, &usage);
    } while (done < 0 && errno == EINTR);
    if (done < 0) {
        throw std::runtime_error("cannot wait for a child process");
    }
    if (done != child) {
        return false;
    }
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + result.signal;
    result.peakMemoryKiB = usage.ru_maxrss;
    return true;
}

// A child process until it has been waited for; one still running when the object goes is killed.
class Child {
  public:
    // Starts a child with `streams` as its standard input, output and error, and runs `body` there;
    // the child ends with status 0 when `body` returns. A stream of -1 is closed in the child, one
    // that is the stream it replaces is left as it is; any other should lie above 2, so that
    // putting one in place cannot close the source of another. The child ends with status 200
    // when a stream cannot be put in place.
    Child(const std::array<int, 3>& streams, const std::function<void()>& body) : pid_(::fork()) {
        if (pid_ < 0) {
            throw std::runtime_error("cannot fork");
        }
        if (pid_ == 0) {
            for (int number = 0; number < 3; ++number) {
                if (streams[number] < 0) {
                    ::close(number);
                } else if (streams[number] != number && ::dup2(streams[number], number) != number) {
                    ::_exit(200);
                }
            }
            body();
            ::_exit(0);
        }
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            RunResult ignored;
            reap(pid_, ignored);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void signal(int number) const {
        if (pid_ > 0) {
            ::kill(pid_, number);
        }
    }

    // Notes in `result` how the child ended, once it has: false while it runs.
    bool ended(RunResult& result) {
        if (pid_ > 0 && reap(pid_, result, WNOHANG)) {
            pid_ = -1;
        }
        return pid_ < 0;
    }

    // Waits for the child to end; one still running at `deadline` is killed and noted as timed out.
    void await(RunResult& result,
               const std::optional<std::chrono::steady_clock::time_point>& deadline = {}) {
        if (!deadline) {
            if (pid_ > 0) {
                reap(std::exchange(pid_, -1), result);
            }
            return;
        }
        auto pause = std::chrono::microseconds(50);
        while (!ended(result)) {
            if (std::chrono::steady_clock::now() > *deadline) {
                ::kill(pid_, SIGKILL);
                reap(std::exchange(pid_, -1), result);
                result.timedOut = true;
                return;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(2000));
        }
    }

  private:
    pid_t pid_;
};

// Writes all of `bytes` to `fd`; false when it cannot, as when the reader of a pipe has gone.
inline bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// An unnamed temporary file holding `bytes`, read from its start; it closes on exec.
inline int tempFile(std::string_view bytes) {
    char name[] = "/tmp/mts-testXXXXXX";
    HeldDescriptor file(::mkostemp(name, O_CLOEXEC));
    if (file.fd < 0) {
        throw std::runtime_error("cannot make a temporary file");
    }
    ::unlink(name);
    if (!writeAll(file.fd, bytes)) {
        throw std::runtime_error("cannot fill a temporary file");
    }
    ::lseek(file.fd, 0, SEEK_SET);
    return std::exchange(file.fd, -1);
}

// All the bytes of an open file, from its start. Read straight into a string of the file's size
// and one byte more, where the end shows: the fault tests read lists of many megabytes.
inline std::string contents(int fd) {
    struct stat info {};
    std::string bytes(::fstat(fd, &info) == 0 ? static_cast<std::size_t>(info.st_size) + 1 : 1,
                      '\0');
    std::size_t used = 0;
    ::lseek(fd, 0, SEEK_SET);
    for (;;) {
        if (used == bytes.size()) {
            bytes.resize(bytes.size() + (std::size_t{1} << 16));
        }
        const ssize_t got = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (got <= 0) {
            break;
        }
        used += static_cast<std::size_t>(got);
    }
    bytes.resize(used);
    return bytes;
}

// Runs `body` in a child process (so that ending the process, or state kept for the whole process,
// stays there) with `input` as standard input and files as standard output and error, and returns
// how it ended and what it wrote. When `output` is given it becomes standard output instead.
inline RunResult runInChild(const std::function<void()>& body, const std::string& input = "",
                            int output = -1) {
    const HeldDescriptor in(tempFile(input));
    const HeldDescriptor out(tempFile(""));
    const HeldDescriptor err(tempFile(""));
    RunResult result;
    Child({in.fd, output >= 0 ? output : out.fd, err.fd}, body).await(result);
    result.out = contents(out.fd);
    result.err = contents(err.fd);
    return result;
}

// Runs `call` in a child process, so that limits set for it do not touch the test itself.
// Returns the child's exit status, which is what `call` returned.
inline int inChild(const std::function<int()>& call) {
    return runInChild([&] { ::_exit(call()); }).exitStatus;
}

// The names of all entries of `dir`, sorted, separated by one blank.
inline std::string listing(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : " ") + name;
    }
    return joined;
}

inline void writeFile(const std::filesystem::path& name, std::string_view bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + name.string());
    }
}

// The whole file, or nothing when it cannot be opened.
inline std::string readFile(const std::filesystem::path& name) {
    const HeldDescriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    return file.fd < 0 ? "" : contents(file.fd);
}

inline unsigned permissionsOf(const std::string& name) {
    return static_cast<unsigned>(std::filesystem::status(name).permissions());
}

// How many files the process holds open: taken before and after a piece of work, it shows
// whether the work left any open.
inline std::size_t openFiles() {
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

// A fresh folder that is removed, with all it holds, when the object goes. In memory (/dev/shm)
// when asked and the host has that: the many runs of a fault test or a fuzzer then do not wait
// for the disk on every sync, and what the program does is the same on either.
struct TempFolder {
    enum class Storage { Disk, Memory };
    std::filesystem::path dir;

    explicit TempFolder(const std::string& prefix = "mts-test", Storage storage = Storage::Disk) {
        const bool memory = storage == Storage::Memory && ::access("/dev/shm", W_OK) == 0;
        const std::filesystem::path parent =
            memory ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string name = (parent / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(name.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        dir = name;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path(const std::string& name) const { return (dir / name).string(); }
    void write(const std::string& name, std::string_view bytes) const {
        writeFile(dir / name, bytes);
    }
    std::string read(const std::string& name) const { return readFile(dir / name); }
    // True for a link too, wherever it leads.
    bool exists(const std::string& name) const {
        return std::filesystem::exists(std::filesystem::symlink_status(dir / name));
    }
    std::string listing() const { return test_support::listing(dir); }
};

// A temporary folder made the current one for the life of the object.
struct ScratchFolder : TempFolder {
    std::filesystem::path previous = std::filesystem::current_path();

    explicit ScratchFolder(const std::string& prefix = "mts-test", Storage storage = Storage::Disk)
        : TempFolder(prefix, storage) {
        std::filesystem::current_path(dir);
    }
    ~ScratchFolder() { std::filesystem::current_path(previous); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
};

struct Captured {
    int status;
    std::string out;
    std::string err;
};

// Runs `call` with standard output and standard error going to temporary files, and returns what
// it wrote.
inline Captured capture(const std::function<int()>& call) {
    const HeldDescriptor out(tempFile("")), err(tempFile(""));
    const HeldDescriptor savedOut(::dup(1)), savedErr(::dup(2));
    ::dup2(out.fd, 1);
    ::dup2(err.fd, 2);
    const int status = call();
    ::dup2(savedOut.fd, 1);
    ::dup2(savedErr.fd, 2);
    return {status, contents(out.fd), contents(err.fd)};
}

} // namespace test_support
