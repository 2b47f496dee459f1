#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

#include "platform/host_call_posix.h"
#include "platform/host_command.h"

extern char** environ;

namespace platform {

// Runs `line` with `/bin/sh -c`. The program ignores SIGPIPE and SIGXFSZ for itself; the shell
// and its commands get the usual defaults back.
std::int32_t runHostCommand(const std::string& line) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    char shellName[] = "sh";
    char option[] = "-c";
    std::string command = line;
    char* arguments[] = {shellName, option, command.data(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, "/bin/sh", nullptr, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
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
