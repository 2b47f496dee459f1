#include "fault_run.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fault {

namespace {

// Puts `from` in place as descriptor `to`, or closes `to` when `from` is -1.
bool place(int from, int to) {
    if (from < 0) {
        ::close(to);
        return true;
    }
    if (from == to) {
        return ::fcntl(to, F_SETFD, 0) == 0;
    }
    return ::dup2(from, to) == to;
}

} // namespace

// An unlinked file in the temporary folder: the child writes into it, the test reads it after.
int captureFile() {
    std::string name = (std::filesystem::temp_directory_path() / "mts-fault-XXXXXX").string();
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    ::unlink(name.c_str());
    return fd;
}

std::string contentsOf(int fd) {
    std::string bytes;
    ::lseek(fd, 0, SEEK_SET);
    char block[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got <= 0) {
            break;
        }
        bytes.append(block, static_cast<std::size_t>(got));
    }
    return bytes;
}

std::string programPath() {
    return MTS_PROGRAM_PATH;
}

std::string preloadPath() {
    return MTS_FAULT_PRELOAD_PATH;
}

pid_t start(const std::filesystem::path& dir, const std::vector<std::string>& environment,
            const Streams& streams) {
    const std::string program = programPath();
    std::vector<std::string> settings;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        settings.emplace_back(*entry);
    }
    settings.insert(settings.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& setting : settings) {
        envp.push_back(setting.data());
    }
    envp.push_back(nullptr);
    std::string programArgument = program;
    char* argv[] = {programArgument.data(), nullptr};

    // Descriptors above 2 that the test holds are moved out of the way of 0..2 first, so that
    // placing one stream cannot close the source of another.
    int in =
        streams.in >= 0 && streams.in <= 2 ? ::fcntl(streams.in, F_DUPFD_CLOEXEC, 10) : streams.in;
    int out = streams.out >= 0 && streams.out <= 2 ? ::fcntl(streams.out, F_DUPFD_CLOEXEC, 10)
                                                   : streams.out;
    int err = streams.err >= 0 && streams.err <= 2 ? ::fcntl(streams.err, F_DUPFD_CLOEXEC, 10)
                                                   : streams.err;

    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        ::signal(SIGPIPE, SIG_DFL);
        if (!place(in, 0) || !place(out, 1) || !place(err, 2) || ::chdir(dir.c_str()) != 0) {
            ::_exit(200);
        }
        ::execve(program.c_str(), argv, envp.data());
        ::_exit(201);
    }
    for (const auto& [copy, original] :
         {std::pair{in, streams.in}, std::pair{out, streams.out}, std::pair{err, streams.err}}) {
        if (copy != original) {
            ::close(copy);
        }
    }
    return child;
}

Outcome finish(pid_t child, std::chrono::milliseconds limit) {
    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = std::chrono::microseconds(50);
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = ::wait4(child, &status, WNOHANG, &usage);
        if (done == child) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            throw std::runtime_error("wait4 failed");
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::wait4(child, &status, 0, &usage);
            outcome.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(2000));
    }
    if (WIFEXITED(status)) {
        outcome.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    outcome.maxRssKiB = usage.ru_maxrss;
    return outcome;
}

Outcome run(const std::filesystem::path& dir, std::string_view input,
            const std::vector<std::string>& environment, std::chrono::milliseconds limit) {
    const int in = captureFile();
    const int out = captureFile();
    const int err = captureFile();
    if (::write(in, input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
        throw std::runtime_error("cannot stage standard input");
    }
    ::lseek(in, 0, SEEK_SET);
    const pid_t child = start(dir, environment, Streams{in, out, err});
    Outcome outcome = finish(child, limit);
    outcome.out = contentsOf(out);
    outcome.err = contentsOf(err);
    ::close(in);
    ::close(out);
    ::close(err);
    return outcome;
}

TempDir::TempDir() {
    const std::filesystem::path memory = "/dev/shm";
    const std::filesystem::path parent =
        ::access(memory.c_str(), W_OK) == 0 ? memory : std::filesystem::temp_directory_path();
    std::string name = (parent / "mts-fault-dir-XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path = name;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

// Read straight into a string of the file's size: the fault tests read lists of many megabytes
// after every run.
std::string readFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return "";
    }
    struct stat info {};
    std::string bytes(::fstat(fd, &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0, '\0');
    std::size_t used = 0;
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
    ::close(fd);
    return bytes;
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace fault
