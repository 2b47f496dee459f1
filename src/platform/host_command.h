#pragma once

// The host's command interpreter.

#include <cstdint>
#include <string>

namespace platform {

// Runs `line` with the host's command interpreter in the current folder, with the program's own
// standard streams, and waits for it. Returns the command's exit status (128 + the signal that
// ended it, where there are signals), or -1 when no interpreter could be started.
std::int32_t runHostCommand(const std::string& line);

} // namespace platform
