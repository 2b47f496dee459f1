#include <string>

#include "platform/host_command.h"
#include "shell/shell.h"

namespace shell {

// The run's command lines are written for this host's own command interpreter.
std::int32_t runShellCommand(std::string_view text) {
    // The console writes every line through at once, so nothing of ours is waiting to go out.
    return platform::runHostCommand(std::string(commandLineOf(text)));
}

} // namespace shell
