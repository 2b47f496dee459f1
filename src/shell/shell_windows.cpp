#include "shell/shell.h"

#include <cstdlib>

namespace shell {

std::int32_t runShellCommand(std::string_view text) {
    const std::string line = commandLineOf(text);
    // The console writes every line through at once, so nothing of ours is waiting to go out.
    return static_cast<std::int32_t>(std::system(line.c_str()));
}

} // namespace shell
