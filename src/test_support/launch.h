#pragma once

// Starting the built program as a user would: in a folder of its own, with standard streams of
// the test's choosing, extra environment or a preload library, limits on file size and time, and
// with how it ended, what it wrote and its peak memory noted afterwards.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "test_support/test_support.h"

namespace test_support {

// One standard stream of the program.
struct Stream {
    enum class Kind {
        Bytes,      // read from `text` (standard input)
        Captured,   // written to a file that becomes the result's `out` or `err`
        Piped,      // like Captured, through a pipe read while the program runs
        File,       // the file named `text`, such as a device
        Descriptor, // the test's own descriptor `fd`, such as one end of a pipe
        Closed,     // no stream at all
    };
    Kind kind = Kind::Captured;
    std::string text;
    int fd = -1;

    static Stream bytes(std::string_view input) { return {Kind::Bytes, std::string(input), -1}; }
    static Stream captured() { return {Kind::Captured, {}, -1}; }
    static Stream piped() { return {Kind::Piped, {}, -1}; }
    static Stream file(std::string name) { return {Kind::File, std::move(name), -1}; }
    static Stream descriptor(int fd) { return {Kind::Descriptor, {}, fd}; }
    static Stream closed() { return {Kind::Closed, {}, -1}; }
};

struct Launch {
    std::filesystem::path folder{}; // the working folder
    Stream in = Stream::bytes("");
    Stream out = Stream::captured();
    Stream err = Stream::captured();
    std::vector<std::string> arguments{};   // after the program's own name
    std::vector<std::string> environment{}; // "NAME=value" sets a variable, "NAME" alone removes it
    std::string preload{};                  // a library for the dynamic loader to put first
    std::optional<rlim_t> fileSizeLimit{};  // bytes any one file of the process may grow to
    // How long finish() waits before it kills the program.
    std::optional<std::chrono::milliseconds> timeLimit{};
    bool builtProgram = false;          // this build's program, whatever MTS_PROGRAM names
    std::vector<std::string> command{}; // when given: another program (found on PATH) and its words
};

// The command that starts the program: the words of MTS_PROGRAM when set (separated by blanks, so
// that an emulator can stand in front), else this build's program.
std::vector<std::string> programCommand();
std::string builtProgramPath();

// Whether MTS_PROGRAM is the Windows build, as the Windows leg says with MTS_HOST=windows.
bool onWindowsHost();

// A pipe whose ends are closed when it goes, or before; neither end passes to started programs.
struct Pipe {
    HeldDescriptor read;
    HeldDescriptor write;
    Pipe();
};

// A started program, until finish() has waited for it; one left running is killed.
class Running {
  public:
    explicit Running(const Launch& launch);
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    void signal(int number) const;
    RunResult finish();

  private:
    std::optional<std::chrono::milliseconds> timeLimit_;
    bool outPiped_;
    HeldDescriptor out_; // where standard output and error are collected, if they are
    HeldDescriptor err_;
    std::optional<Child> child_; // killed before the streams close
};

RunResult runProgram(const Launch& launch);

// The common case: `input` on standard input, standard output and error captured.
RunResult runProgram(const std::filesystem::path& folder, std::string_view input);

} // namespace test_support
