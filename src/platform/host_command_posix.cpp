#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

#include "platform/host_call_posix.h"
#include "platform/host_command.h"

extern char** environ;

namespace platform {

namespace {

// How the shell is started: with the default handling of the signals that the program ignores
// for itself (SIGPIPE, SIGXFSZ). Destroyed on every path, a thrown exception included.
class ShellStart {
  public:
    ShellStart() {
        posix_spawnattr_init(&attributes_);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGXFSZ);
        posix_spawnattr_setsigdefault(&attributes_, &defaults);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF);
    }
    ~ShellStart() { posix_spawnattr_destroy(&attributes_); }
    ShellStart(const ShellStart&) = delete;
    ShellStart& operator=(const ShellStart&) = delete;

    const posix_spawnattr_t* attributes() const noexcept { return &attributes_; }

  private:
    posix_spawnattr_t attributes_;
};

} // namespace

// Runs `line` with `/bin/sh -c`. The program ignores SIGPIPE and SIGXFSZ for itself; the shell
// and its commands get the usual defaults back.
std::int32_t runHostCommand(const std::string& line) {
    const ShellStart start;
    char shellName[] = "sh";
    char option[] = "-c";
    std::string command = line;
    char* arguments[] = {shellName, option, command.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, "/bin/sh", nullptr, start.attributes(), arguments, environ) != 0) {
        return -1;
    }
    int status = 0;
    if (retryInterrupted([&] { return ::waitpid(child, &status, 0); }) < 0) {
        return -1;
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return 128 + WTERMSIG(status);
}

} // namespace platform
