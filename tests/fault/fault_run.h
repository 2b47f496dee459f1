#pragma once

// Starting the built program for the fault tests: with extra environment (the preload library
// and its settings), with standard streams of the test's choosing, under a time limit, and with
// its peak memory measured.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace fault {

struct Outcome {
    int exitCode = -1; // when the process exited
    int signal = 0;    // when a signal ended it
    bool timedOut = false;
    long maxRssKiB = 0;
    std::string out;
    std::string err;
};

// Standard streams of the child: a descriptor to put in place, or -1 for a closed stream.
struct Streams {
    int in = -1;
    int out = -1;
    int err = -1;
};

// An unlinked file to capture a stream in, and what it holds.
int captureFile();
std::string contentsOf(int fd);

std::string programPath();
std::string preloadPath();

// Starts the program in `dir`, with `environment` ("NAME=value") added to the test's own.
pid_t start(const std::filesystem::path& dir, const std::vector<std::string>& environment,
            const Streams& streams);

// Waits for the child; a child still running after `limit` is killed and reported as timed out.
Outcome finish(pid_t child, std::chrono::milliseconds limit);

// Runs the program with `input` on standard input and standard output and error captured.
Outcome run(const std::filesystem::path& dir, std::string_view input,
            const std::vector<std::string>& environment,
            std::chrono::milliseconds limit = std::chrono::seconds(20));

// A fresh folder, removed with everything in it when the object goes. It lies in memory
// (/dev/shm) when the host has that, so that the many runs of a fault test do not wait for the
// disk on every sync; what the program does is the same on either.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path path;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view bytes);

} // namespace fault
