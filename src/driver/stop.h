#pragma once

namespace driver {

// Ends the process at once with status 0: every orderly end of a run, success or failure. The
// program's own files are all closed by then.
[[noreturn]] void stopRun();

} // namespace driver
