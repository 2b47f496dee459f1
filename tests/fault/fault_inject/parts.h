#pragma once

// The parts of the I/O preload library (interpose.cpp tells what the library does): the counts that
// every process of a run shares, the scope of files whose calls count, and the plan of the call to
// disturb, read from the environment at load time. Each part keeps its state to itself.

#include <climits>
#include <cstddef>

#include "../fault_protocol.h"

namespace fault_inject {

using fault_protocol::Kind;

// ---- output that must not pass through the wrappers (counts.cpp) ----

int rawOpen(const char* path, int flags);
void rawWrite(int fd, const char* text, std::size_t size);
void rawClose(int fd);
void writeWholeFile(const char* path, const char* text);

// ---- the counts (counts.cpp) ----

// Maps the counts: in memory that forked children share, or with `processesFile` in that file,
// where every process of the run counts under its own name. False when they cannot be kept.
bool startCounting(const char* processesFile);
bool eachProcessCounts();
const char* processName();
// Counts one call of this process: its number among the calls of its kind, 0 when no slot is free.
long countCall(Kind kind);
// True for the first disturbance of the whole run only.
bool claimTheDisturbance();

// ---- the scope (scope.cpp) ----

// The folder whose files count: `folder`, or the working folder when it is empty.
void setScope(const char* folder);
bool pathInScope(int dirfd, const char* path);
bool fdInScope(int fd);

// The name of a counted descriptor, copied so that another thread may close it meanwhile.
struct FdName {
    char text[PATH_MAX];
};
FdName fdName(int fd);
void track(int fd, const char* path);
void untrack(int fd);

// ---- the plan (plan.cpp) ----

enum Action { PASS, FAIL_NOW, INTERRUPT, SHORTEN };

// The library has read its settings; until then every call passes uncounted.
bool ready();
// Counts one call and says what to do with it.
Action decide(Kind kind, const char* target);
// A refused call: -1 with errno set.
int refuse(Action action);

} // namespace fault_inject
