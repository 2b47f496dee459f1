#pragma once

// Helpers shared by all the tests: temporary folders, whole-file reads and writes, and calls run
// with the standard streams redirected, in this process or (child.h) in a child process.

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "test_support/child.h"

namespace test_support {

// The names, sorted, separated by one blank: a folder's listing.
inline std::string sortedAndJoined(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : " ") + name;
    }
    return joined;
}

// The names of all entries of `dir`, sorted, separated by one blank.
inline std::string listing(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    return sortedAndJoined(std::move(names));
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
