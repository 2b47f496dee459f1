#include "test_support/launch.h"

#include <algorithm>
#include <array>
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

// `fd`, or the failure to prepare a standard stream.
HeldDescriptor checked(int fd) {
    if (fd < 0) {
        throw std::runtime_error("cannot prepare a standard stream");
    }
    return HeldDescriptor(fd);
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

// The program's words and then the launch's arguments.
std::vector<std::string> commandOf(const Launch& launch) {
    std::vector<std::string> words = !launch.command.empty() ? launch.command
                                     : launch.builtProgram   ? std::vector{builtProgramPath()}
                                                             : programCommand();
    words.insert(words.end(), launch.arguments.begin(), launch.arguments.end());
    return words;
}

// What stands for `stream` as standard stream `number` in the child: a descriptor above 2 that
// closes on exec, so that placing one stream cannot close the source of another and none leaks
// into the program, or none for a closed stream. The parent's end of a captured or piped stream,
// to read back, goes to `collected`.
HeldDescriptor placeOf(const Stream& stream, int number, HeldDescriptor& collected) {
    switch (stream.kind) {
    case Stream::Kind::Bytes:
        return checked(tempFile(stream.text));
    case Stream::Kind::Captured:
        collected = checked(tempFile(""));
        return checked(::fcntl(collected.fd, F_DUPFD_CLOEXEC, 3));
    case Stream::Kind::Piped: {
        Pipe pipe;
        collected = std::move(pipe.read);
        return std::move(pipe.write);
    }
    case Stream::Kind::File:
        return checked(::open(stream.text.c_str(),
                              (number == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC) | O_CLOEXEC,
                              0644));
    case Stream::Kind::Descriptor:
        return checked(::fcntl(stream.fd, F_DUPFD_CLOEXEC, 3));
    case Stream::Kind::Closed:
        break;
    }
    return HeldDescriptor();
}

// In the child, its standard streams in place: becomes the program, or ends with status 200 when
// it cannot enter the folder, 202 when it cannot limit the file size, 201 when the program does
// not start.
[[noreturn]] void becomeProgram(const Launch& launch, const std::vector<char*>& argv,
                                const std::vector<char*>& envp) {
    // A test that writes into pipes ignores SIGPIPE; the program must meet the default.
    ::signal(SIGPIPE, SIG_DFL);
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

// Reads the pipe of standard output into `result` until it ends. A helper process of Wine's may
// keep the pipe open after the program has ended, so the end of the pipe is awaited only for a
// while once the program is gone. Returns whether the program has ended.
bool readPipe(Child& child, int pipe, RunResult& result,
              const std::optional<Clock::time_point>& deadline) {
    std::optional<Clock::time_point> endedAt;
    for (;;) {
        pollfd readable{pipe, POLLIN, 0};
        if (::poll(&readable, 1, 100) > 0) {
            char block[4096];
            const ssize_t got = ::read(pipe, block, sizeof block);
            if (got <= 0) {
                break;
            }
            result.out.append(block, static_cast<std::size_t>(got));
            continue;
        }
        if (!endedAt && child.ended(result)) {
            endedAt = Clock::now();
        }
        if ((endedAt && Clock::now() - *endedAt > std::chrono::seconds(5)) ||
            (!endedAt && deadline && Clock::now() > *deadline)) {
            break;
        }
    }
    return endedAt.has_value();
}

} // namespace

std::string builtProgramPath() {
    return MTS_PROGRAM_PATH;
}

bool onWindowsHost() {
    const char* host = std::getenv("MTS_HOST");
    return host != nullptr && std::string_view(host) == "windows";
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

Running::Running(const Launch& launch)
    : timeLimit_(launch.timeLimit), outPiped_(launch.out.kind == Stream::Kind::Piped) {
    std::vector<std::string> words = commandOf(launch);
    std::vector<std::string> settings = environmentOf(launch);
    const std::vector<char*> argv = pointersTo(words);
    const std::vector<char*> envp = pointersTo(settings);
    HeldDescriptor noInputToCollect;
    const HeldDescriptor in = placeOf(launch.in, 0, noInputToCollect);
    const HeldDescriptor out = placeOf(launch.out, 1, out_);
    const HeldDescriptor err = placeOf(launch.err, 2, err_);
    child_.emplace(std::array{in.fd, out.fd, err.fd}, [&] { becomeProgram(launch, argv, envp); });
}

void Running::signal(int number) const {
    child_->signal(number);
}

RunResult Running::finish() {
    RunResult result;
    const std::optional<Clock::time_point> deadline =
        timeLimit_ ? std::optional(Clock::now() + *timeLimit_) : std::nullopt;
    if (!(outPiped_ && readPipe(*child_, out_.fd, result, deadline))) {
        child_->await(result, deadline);
    }
    if (out_.fd >= 0 && !outPiped_) {
        result.out = contents(out_.fd);
    }
    if (err_.fd >= 0) {
        result.err = contents(err_.fd);
    }
    return result;
}

RunResult runProgram(const Launch& launch) {
    Running running(launch);
    return running.finish();
}

RunResult runProgram(const std::filesystem::path& folder, std::string_view input) {
    return runProgram({.folder = folder, .in = Stream::bytes(input)});
}

Pipe::Pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    read = HeldDescriptor(ends[0]);
    write = HeldDescriptor(ends[1]);
}

} // namespace test_support
