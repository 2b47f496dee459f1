#pragma once

// Helpers for the shell's unit tests: a scratch folder that the test works in, and standard
// output and standard error captured around one call.

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace shell::testing {

// A fresh folder made the current one for the life of the object, then removed.
struct ScratchFolder {
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::path path;

    ScratchFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "mts-shell-XXXXXX").string();
        path = ::mkdtemp(name.data());
        std::filesystem::current_path(path);
    }
    ~ScratchFolder() {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Names of all entries, sorted, separated by one blank.
    std::string listing() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path)) {
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

// Runs `call` with standard output and standard error going to files, and returns what it wrote.
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

// Runs `call` in a child process, so that limits set for it do not touch the test itself.
// Returns the child's exit status, which is what `call` returned.
inline int inChild(const std::function<int()>& call) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(call());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace shell::testing
