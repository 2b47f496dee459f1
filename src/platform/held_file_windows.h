#pragma once

// Another program may have one of the run's files open for a moment: a sync client uploading the
// list, a viewer, a virus scanner looking at a file just written. It shares reading at most, so
// the file can be neither replaced nor opened for writing until it lets go. Windows programs that
// replace files wait such a hold out for a short while; so do the run's opens and replacements
// here. Only the Windows implementation files of this folder include this header.

#include <string>
#include <windows.h>

namespace platform {

// Whether `error`, met on the file `name`, says that another program holds the file open: a
// sharing or lock violation, or access denied on a file that is there and is neither a folder nor
// marked read-only (either of which denies access for good).
bool heldByAnotherProgram(DWORD error, const std::string& name);

// The pauses between the tries of a call that met a hold: growing, and about 2.5 s in all, so
// that a lasting hold ends the run as a failure would, soon enough for the operator to see why.
class HoldWait {
  public:
    // Pauses before the next try: false, without pausing, once the time allowed is used up.
    bool pause();

  private:
    DWORD next_ = 20; // milliseconds
    DWORD waited_ = 0;
};

// Calls `attempt` until it returns 0 or an error that is no hold on `name`, or the hold has lasted
// the time allowed. `attempt` returns 0 or a Windows error number; the last one comes back.
template <class Attempt> DWORD retryWhileHeld(const std::string& name, Attempt attempt) {
    HoldWait wait;
    DWORD error = attempt();
    while (error != 0 && heldByAnotherProgram(error, name) && wait.pause()) {
        error = attempt();
    }
    return error;
}

} // namespace platform
