#include <optional>
#include <string>

#include "platform/host_command.h"
#include "shell/builtins/builtins.h"
#include "shell/shell.h"

namespace shell {

// This host has no copy, del or sort of the kind the run's command lines are written for, so the
// program carries those out itself; every other line goes to the host's shell.
std::int32_t runShellCommand(std::string_view text) {
    // The line is looked at where it stands: nothing is asked of memory before a built-in
    // command runs, so that a want of it is that command's own failure.
    const std::string_view line = commandLineOf(text);
    // The console writes every line through at once, so nothing of ours is waiting to go out.
    if (const std::optional<CommandForm> builtin = parseCommandForm(line)) {
        return builtins::runBuiltin(*builtin);
    }
    return platform::runHostCommand(std::string(line));
}

} // namespace shell
