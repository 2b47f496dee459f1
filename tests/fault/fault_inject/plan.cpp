// The plan of the I/O preload library: which call to disturb and how, read from the environment
// once at load time, and the decision on each counted call, which the trace and the report note.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include "parts.h"

namespace fault_inject {

namespace {

using namespace fault_protocol;

struct Plan {
    bool ready = false;
    int kind = -1;
    long at = 0;
    Mode mode = MODE_FAIL;
    int error = EIO;
    char process[64] = ""; // with FAULT_PROCESSES: the process whose call to disturb
    char reportFile[PATH_MAX] = "";
    int traceFd = -1;
} plan;

// A setting of the environment, "" when unset.
const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

__attribute__((constructor)) void setUp() {
    if (!startCounting(env(io::PROCESSES))) {
        return;
    }
    if (eachProcessCounts()) {
        std::snprintf(plan.process, sizeof plan.process, "%s", env(io::PROCESS));
    }
    plan.kind = kindNamed(env(io::KIND));
    plan.at = std::atol(env(io::AT));
    plan.mode = modeNamed(env(io::MODE));
    plan.error = env(io::ERRNO)[0] != '\0' ? std::atoi(env(io::ERRNO)) : EIO;
    std::snprintf(plan.reportFile, sizeof plan.reportFile, "%s", env(io::REPORT_FILE));
    if (env(io::TRACE_FILE)[0] != '\0') {
        plan.traceFd = rawOpen(env(io::TRACE_FILE), O_WRONLY | O_CREAT | O_APPEND);
    }
    setScope(env(io::SCOPE));

    // Programs that the process starts are not part of the experiment, unless every process is.
    if (!eachProcessCounts()) {
        for (const char* name : {"LD_PRELOAD", io::KIND, io::AT, io::MODE, io::ERRNO,
                                 io::REPORT_FILE, io::TRACE_FILE, io::SCOPE}) {
            ::unsetenv(name);
        }
    }
    plan.ready = true;
}

} // namespace

bool ready() {
    return plan.ready;
}

Action decide(Kind kind, const char* target) {
    const long number = countCall(kind);
    if (number == 0) {
        return PASS;
    }
    const char* const process = processName();
    if (plan.traceFd >= 0) {
        char line[PATH_MAX + 128];
        const int length = writeTraceLine(line, sizeof line, process, kind, number, target);
        rawWrite(plan.traceFd, line, static_cast<std::size_t>(length));
    }
    if (kind != plan.kind || number != plan.at ||
        (plan.process[0] != '\0' && std::strcmp(plan.process, process) != 0) ||
        !claimTheDisturbance()) {
        return PASS;
    }
    if (plan.reportFile[0] != '\0') {
        char line[PATH_MAX + 192];
        writeReportLine(line, sizeof line, process, kind, number, plan.mode, plan.error, target);
        writeWholeFile(plan.reportFile, line);
    }
    switch (plan.mode) {
    case MODE_EINTR:
        return INTERRUPT;
    case MODE_SHORT:
        return SHORTEN;
    case MODE_FAIL:
        break;
    }
    return FAIL_NOW;
}

int refuse(Action action) {
    errno = action == INTERRUPT ? EINTR : plan.error;
    return -1;
}

} // namespace fault_inject
