#pragma once

// The Windows build run under Wine for the fault tests. There the program, each command line of
// the interpreter (cmd.exe runs every one as a process of its own), the sort and Wine's server
// are separate processes, and the preload library, told to count every process under its own
// name (FAULT_PROCESSES), counts and fails the calls of each. The server opens, truncates,
// renames and deletes the files for all the others, and it takes its environment once, when it
// starts: so every run has a server of its own, started with the run's settings and ended with
// every process of the prefix when the run is over. The prefix itself is made once.

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fault_catalogue.h"

namespace fault {

// The Windows leg starts the .exe under Wine through MTS_PROGRAM, and says so with MTS_HOST.
inline bool onWindowsHost() {
    const char* host = std::getenv("MTS_HOST");
    return host != nullptr && std::string_view(host) == "windows";
}

// A Wine prefix of the test's own, removed with everything in it when the object goes.
class Wine {
  public:
    Wine() : prefix_("mts-wine") {}

    // What every Wine process of this prefix gets in its environment: no display, no debug
    // output, and no offer to install the .NET and HTML runtimes while the prefix is made.
    std::vector<std::string> environment() const {
        return {"WINEPREFIX=" + prefix_.dir.string(),
                "WINEDEBUG=-all",
                "WINEDLLOVERRIDES=mscoree,mshtml=",
                "WINEARCH=win64",
                "DISPLAY",
                "WAYLAND_DISPLAY"};
    }

    // One of Wine's own commands, run to its end with `settings` added to the environment.
    RunResult command(std::vector<std::string> words,
                      const std::vector<std::string>& settings = {}) const {
        Launch launch{.folder = prefix_.dir,
                      .environment = environment(),
                      .timeLimit = std::chrono::seconds(120),
                      .command = std::move(words)};
        launch.environment.insert(launch.environment.end(), settings.begin(), settings.end());
        return runProgram(launch);
    }

    // Makes the prefix, as a first start of a Windows program does; false when Wine cannot.
    bool make() const;

  private:
    TempFolder prefix_;
};

// Wine's server for one run. `wineserver -p60` returns once the server listens, so no program of
// the run can start a server of its own (without the settings) first; `-k` ends it with every
// process of the prefix, and `-w` waits until it has gone and written its counts. Should the test
// itself be killed, the server ends a minute after its last process.
class WineServer {
  public:
    WineServer(const Wine& wine, const std::vector<std::string>& settings) : wine_(wine) {
        started_ = wine_.command({"wineserver", "-p60"}, settings).exitStatus == 0;
    }
    ~WineServer() {
        wine_.command({"wineserver", "-k"});
        wine_.command({"wineserver", "-w"});
    }
    WineServer(const WineServer&) = delete;
    WineServer& operator=(const WineServer&) = delete;

    bool started() const { return started_; }

  private:
    const Wine& wine_;
    bool started_ = false;
};

inline bool Wine::make() const {
    const WineServer server(*this, {});
    return server.started() && command({"wine", "cmd.exe", "/c", "exit"}).exitStatus == 0;
}

// The Windows build (MTS_PROGRAM) run in `dir` with `input`, under a server of its own; `settings`
// go into the environment of the server and of every process of the run.
inline RunResult runUnderWine(const Wine& wine, const std::filesystem::path& dir,
                              std::string_view input, const std::vector<std::string>& settings,
                              std::chrono::milliseconds limit) {
    const WineServer server(wine, settings);
    if (!server.started()) {
        RunResult none;
        none.err = "Wine's server did not start";
        return none;
    }
    Launch launch{.folder = dir,
                  .in = Stream::bytes(input),
                  .environment = wine.environment(),
                  .timeLimit = limit};
    launch.environment.insert(launch.environment.end(), settings.begin(), settings.end());
    return runProgram(launch);
}

} // namespace fault
