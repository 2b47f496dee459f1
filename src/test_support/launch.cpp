#include "test_support/launch.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace test_support {

namespace {

using Clock = std::chrono::steady_clock;

int closedOnExec(int fd) {
    if (fd < 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        throw std::runtime_error("cannot prepare a standard stream");
    }
    return fd;
}

// The test's environment with the launch's changes.
std::vector<std::string> environmentOf(const Launch& launch) {
    std::vector<std::string> settings;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        settings.emplace_back(*entry);
    }
    std::vector<std::string> changes = launch.environment;
    if (!launch.preload.empty()) {
        changes.push_back("LD_PRELOAD=" + launch.preload);
    }
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('=')) + "=";
        std::erase_if(settings, [&](const std::string& s) { return s.starts_with(name); });
        if (change.find('=') != std::string::npos) {
            settings.push_back(change);
        }
    }
    return settings;
}

std::vector<char*> pointersTo(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

std::string builtProgramPath() {
    return MTS_PROGRAM_PATH;
}

std::vector<std::string> programCommand() {
    const char* fromEnvironment = std::getenv("MTS_PROGRAM");
    if (fromEnvironment == nullptr || *fromEnvironment == '\0') {
        return {builtProgramPath()};
    }
    std::vector<std::string> words;
    std::istringstream in(fromEnvironment);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

Running::Running(const Launch& launch) : timeLimit_(launch.timeLimit) {
    std::vector<std::string> words =
        launch.builtProgram ? std::vector{builtProgramPath()} : programCommand();
    words.insert(words.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<std::string> settings = environmentOf(launch);
    const std::vector<char*> argv = pointersTo(words);
    const std::vector<char*> envp = pointersTo(settings);

    // Every descriptor to put in place lies above 2 and closes on exec, so that placing one
    // stream cannot close the source of another, and none leaks into the program.
    std::vector<int> parentCopies;
    const auto prepare = [&](const Stream& stream, int number, int& collect) {
        int fd = -1;
        switch (stream.kind) {
        case Stream::Kind::Bytes:
            fd = closedOnExec(tempFile(stream.text));
            break;
        case Stream::Kind::Captured:
            return collect = closedOnExec(tempFile(""));
        case Stream::Kind::Piped: {
            int ends[2];
            if (::pipe2(ends, O_CLOEXEC) != 0) {
                throw std::runtime_error("cannot make a pipe");
            }
            collect = ends[0];
            outPiped_ = true;
            fd = ends[1];
            break;
        }
        case Stream::Kind::File:
            fd = closedOnExec(::open(stream.text.c_str(),
                                     number == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0644));
            break;
        case Stream::Kind::Descriptor:
            fd = closedOnExec(::fcntl(stream.fd, F_DUPFD_CLOEXEC, 3));
            break;
        case Stream::Kind::Closed:
            return -1;
        }
        parentCopies.push_back(fd);
        return fd;
    };
    int unused = -1;
    const int places[3] = {prepare(launch.in, 0, unused), prepare(launch.out, 1, out_),
                           prepare(launch.err, 2, err_)};

    child_ = ::fork();
    if (child_ < 0) {
        throw std::runtime_error("cannot fork");
    }
    if (child_ == 0) {
        // A test that writes into pipes ignores SIGPIPE; the program must meet the default.
        ::signal(SIGPIPE, SIG_DFL);
        for (int number = 0; number < 3; ++number) {
            if (places[number] < 0) {
                ::close(number);
            } else if (::dup2(places[number], number) != number) {
                ::_exit(200);
            }
        }
        if (::chdir(launch.folder.c_str()) != 0) {
            ::_exit(200);
        }
        if (launch.fileSizeLimit) {
            const rlimit limit{*launch.fileSizeLimit, *launch.fileSizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                ::_exit(202);
            }
        }
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(201);
    }
    for (const int fd : parentCopies) {
        ::close(fd);
    }
}

Running::~Running() {
    if (child_ > 0) {
        ::kill(child_, SIGKILL);
        RunResult ignored;
        reap(child_, ignored);
    }
    for (const int fd : {out_, err_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void Running::signal(int number) const {
    ::kill(child_, number);
}

RunResult Running::finish() {
    RunResult result;
    const std::optional<Clock::time_point> deadline =
        timeLimit_ ? std::optional(Clock::now() + *timeLimit_) : std::nullopt;
    bool ended = false;
    if (outPiped_) {
        // A helper process of Wine's may keep the pipe open after the program has ended, so the
        // end of the pipe is awaited only for a while once the program is gone.
        std::optional<Clock::time_point> endedAt;
        for (;;) {
            pollfd readable{out_, POLLIN, 0};
            if (::poll(&readable, 1, 100) > 0) {
                char block[4096];
                const ssize_t got = ::read(out_, block, sizeof block);
                if (got <= 0) {
                    break;
                }
                result.out.append(block, static_cast<std::size_t>(got));
                continue;
            }
            if (!endedAt && reap(child_, result, WNOHANG)) {
                endedAt = Clock::now();
            }
            if ((endedAt && Clock::now() - *endedAt > std::chrono::seconds(5)) ||
                (!endedAt && deadline && Clock::now() > *deadline)) {
                break;
            }
        }
        ended = endedAt.has_value();
    }
    if (!ended) {
        awaitEnd(child_, result, deadline);
    }
    child_ = -1;
    if (out_ >= 0 && !outPiped_) {
        result.out = contents(out_);
    }
    if (err_ >= 0) {
        result.err = contents(err_);
    }
    return result;
}

RunResult runProgram(const Launch& launch) {
    Running running(launch);
    return running.finish();
}

RunResult runProgram(const std::filesystem::path& folder, std::string_view input) {
    Launch launch;
    launch.folder = folder;
    launch.in = Stream::bytes(input);
    return runProgram(launch);
}

Pipe::Pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    read = ends[0];
    write = ends[1];
}

Pipe::~Pipe() {
    closeRead();
    closeWrite();
}

void Pipe::closeRead() {
    if (read >= 0) {
        ::close(std::exchange(read, -1));
    }
}

void Pipe::closeWrite() {
    if (write >= 0) {
        ::close(std::exchange(write, -1));
    }
}

} // namespace test_support
