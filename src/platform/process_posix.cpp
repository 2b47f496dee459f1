#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

#include "platform/process.h"

namespace platform {

void prepareProcess() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // A standard stream closed at start would give its number to the first file the program
    // opens, and a console line or the fatal report would then be written into that file (the
    // backup, during the relabelling). The number is taken by the null device opened the wrong
    // way round, so the stream still fails as a closed one does.
    for (const int fd : {STDIN_FD, STDOUT_FD, STDERR_FD}) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            (void)::open("/dev/null", fd == STDIN_FD ? O_WRONLY : O_RDONLY);
        }
    }
}

bool translatesLineEnds(int) {
    return false;
}

void exitNow(int status) {
    ::_exit(status);
}

} // namespace platform
