#pragma once

// What the preload libraries and the matrices that drive them agree on: the kinds of call that are
// counted and disturbed, the ways to disturb one, error numbers by name, the settings in the
// environment, and the lines that the libraries leave behind (the disturbed call and the trace).
// The libraries write those lines from inside the calls they wrap, so the writing side takes no
// memory and calls nothing that a library wraps; the reading side is the matrices'.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace fault_protocol {

enum Kind {
    K_OPEN,
    K_READ,
    K_WRITE,
    K_FSYNC,
    K_RENAME,
    K_FTRUNCATE,
    K_CLOSE,
    K_UNLINK,
    K_COPY,
    K_FCHMOD,
    K_STAT,
    K_LINK,      // a name given to an open file (linkat of an unnamed file)
    K_WRITEBACK, // writeback started without waiting for it (sync_file_range)
    K_MAP,       // a file mapped into memory (mmap)
    KIND_COUNT
};

inline constexpr const char* KIND_NAMES[KIND_COUNT] = {
    "open",   "read", "write",  "fsync", "rename", "ftruncate", "close",
    "unlink", "copy", "fchmod", "stat",  "link",   "writeback", "map"};

// fail: the call fails with the chosen error and does nothing; eintr: it is interrupted before it
// does anything; short: a transfer moves only half of what was asked.
enum Mode { MODE_FAIL, MODE_EINTR, MODE_SHORT };
inline constexpr const char* MODE_NAMES[] = {"fail", "eintr", "short"};

inline int kindNamed(const char* name) {
    for (int kind = 0; kind < KIND_COUNT; ++kind) {
        if (std::strcmp(name, KIND_NAMES[kind]) == 0) {
            return kind;
        }
    }
    return -1;
}

inline Mode modeNamed(const char* name) {
    return std::strcmp(name, "eintr") == 0   ? MODE_EINTR
           : std::strcmp(name, "short") == 0 ? MODE_SHORT
                                             : MODE_FAIL;
}

// The settings of the I/O library (fault_inject.cpp tells what each does).
namespace io {
inline constexpr char KIND[] = "FAULT_KIND";
inline constexpr char AT[] = "FAULT_AT";
inline constexpr char MODE[] = "FAULT_MODE";
inline constexpr char ERRNO[] = "FAULT_ERRNO";
inline constexpr char REPORT_FILE[] = "FAULT_REPORT_FILE";
inline constexpr char TRACE_FILE[] = "FAULT_TRACE_FILE";
inline constexpr char SCOPE[] = "FAULT_SCOPE";
inline constexpr char PROCESSES[] = "FAULT_PROCESSES";
inline constexpr char PROCESS[] = "FAULT_PROCESS";
} // namespace io

// The settings of the allocation library (alloc_inject.cpp).
namespace alloc {
inline constexpr char FAIL_AT[] = "ALLOC_FAIL_AT";
inline constexpr char FAIL_ON[] = "ALLOC_FAIL_ON";
inline constexpr char COUNT_FILE[] = "ALLOC_COUNT_FILE";
} // namespace alloc

// "NAME=value", for the environment of a launch.
inline std::string setting(const char* name, std::string_view value) {
    return std::string(name) + "=" + std::string(value);
}

// ---- the lines: a call is known by its key, "kind", or "process/kind" when every process of a
// run counts under its own name ----

inline const char* keySeparator(const char* process) {
    return process[0] != '\0' ? "/" : "";
}

// The line naming the disturbed call.
inline int writeReportLine(char* line, std::size_t size, const char* process, Kind kind, long at,
                           Mode mode, int error, const char* target) {
    return std::snprintf(line, size, "kind=%s%s%s at=%ld mode=%s errno=%d target=%s\n", process,
                         keySeparator(process), KIND_NAMES[kind], at, MODE_NAMES[mode], error,
                         target);
}

// The target of the disturbed call, from the report's line; none when no call was disturbed.
inline std::optional<std::string> reportedTarget(std::string_view report) {
    const std::size_t at = report.find("target=");
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view target = report.substr(at + 7);
    while (!target.empty() && target.back() == '\n') {
        target.remove_suffix(1);
    }
    return std::string(target);
}

// One line of the trace: "key number target".
inline int writeTraceLine(char* line, std::size_t size, const char* process, Kind kind, long number,
                          const char* target) {
    return std::snprintf(line, size, "%s%s%s %ld %s\n", process, keySeparator(process),
                         KIND_NAMES[kind], number, target);
}

struct TraceLine {
    std::string key;
    std::string target;
};

inline std::vector<TraceLine> readTraceLines(const std::string& text) {
    std::vector<TraceLine> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key, number, target;
        fields >> key >> number;
        std::getline(fields, target);
        lines.push_back({key, target.empty() ? target : target.substr(1)});
    }
    return lines;
}

// The kind of call that a key names, and the process that made it ("" for a single process).
inline std::string kindOf(const std::string& key) {
    return key.substr(key.rfind('/') + 1);
}

inline std::string processOf(const std::string& key) {
    const std::size_t slash = key.rfind('/');
    return slash == std::string::npos ? "" : key.substr(0, slash);
}

} // namespace fault_protocol
