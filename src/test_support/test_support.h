#pragma once

// Helpers shared by the unit tests: temporary folders, whole-file reads and writes, and calls
// run with the standard streams redirected, in this process or in a forked child.

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace test_support {

// A fresh folder that is removed, with all it holds, when the object goes.
struct TempFolder {
    std::filesystem::path dir;

    explicit TempFolder(const std::string& prefix = "mts-test") {
        std::string name = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
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

    // Names of all entries, sorted, separated by one blank.
    std::string listing() const {
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
};

// A temporary folder made the current one for the life of the object.
struct ScratchFolder : TempFolder {
    std::filesystem::path previous = std::filesystem::current_path();

    explicit ScratchFolder(const std::string& prefix = "mts-test") : TempFolder(prefix) {
        std::filesystem::current_path(dir);
    }
    ~ScratchFolder() { std::filesystem::current_path(previous); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
};

inline void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline unsigned permissionsOf(const std::string& name) {
    return static_cast<unsigned>(std::filesystem::status(name).permissions());
}

struct Captured {
    int status;
    std::string out;
    std::string err;
};

// Runs `call` with standard output and standard error going to files in the current folder, and
// returns what it wrote.
inline Captured capture(const std::function<int()>& call) {
    const int savedOut = ::dup(1);
    const int savedErr = ::dup(2);
    const std::string outName = ".captured-out";
    const std::string errName = ".captured-err";
    const int out = ::open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(out, 1);
    ::dup2(err, 2);
    const int status = call();
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    for (const int fd : {out, err, savedOut, savedErr}) {
        ::close(fd);
    }
    Captured captured{status, readFile(outName), readFile(errName)};
    ::unlink(outName.c_str());
    ::unlink(errName.c_str());
    return captured;
}

// The exit status of a child as a shell would give it: its own, or 128 + the signal that ended it.
inline int exitStatusOf(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs `call` in a child process, so that limits set for it do not touch the test itself.
// Returns the child's exit status, which is what `call` returned.
inline int inChild(const std::function<int()>& call) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(call());
    }
    return exitStatusOf(child);
}

// An unnamed temporary file holding `bytes`, read from its start.
inline int tempFile(const std::string& bytes) {
    char name[] = "/tmp/mts-testXXXXXX";
    const int fd = ::mkstemp(name);
    ::unlink(name);
    if (!bytes.empty() && ::write(fd, bytes.data(), bytes.size()) < 0) {
        throw std::runtime_error("cannot fill a temporary file");
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

// All the bytes of an open file, from its start.
inline std::string contents(int fd) {
    std::string bytes;
    char chunk[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) > 0;) {
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    return bytes;
}

struct ChildResult {
    int exitStatus = -1; // or 128 + signal
    std::string out;
    std::string err;
};

// Runs `body` in a child process (so that ending the process, or state kept for the whole process,
// stays there) with `input` as standard input and files as standard output and error, and returns
// how it ended and what it wrote. When `output` is given it becomes standard output instead.
inline ChildResult runInChild(const std::function<void()>& body, const std::string& input = "",
                              int output = -1) {
    const int in = tempFile(input);
    const int out = tempFile("");
    const int err = tempFile("");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in, STDIN_FILENO);
        ::dup2(output >= 0 ? output : out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        body();
        ::_exit(0);
    }
    ChildResult result;
    result.exitStatus = exitStatusOf(pid);
    result.out = contents(out);
    result.err = contents(err);
    ::close(in);
    ::close(out);
    ::close(err);
    return result;
}

} // namespace test_support
