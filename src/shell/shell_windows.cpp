#include "shell/shell.h"

#include <cstdlib>

namespace shell {

namespace {

// Outside a batch script the command interpreter's `copy` asks before it overwrites a file, and
// the operator's own COPYCMD setting can ask for that too. The question would be answered by
// whatever stands next on standard input, and a "no" would leave a backup from an earlier run in
// place to be relabelled and sorted over the picture list. The backup must replace any earlier
// one, so the copy is told to overwrite; the command line itself stays as it is.
void overwriteWithoutAsking() {
    (void)::_putenv_s("COPYCMD", "/Y");
}

} // namespace

std::int32_t runShellCommand(std::string_view text) {
    const std::string line = commandLineOf(text);
    overwriteWithoutAsking();
    // The console writes every line through at once, so nothing of ours is waiting to go out.
    return static_cast<std::int32_t>(std::system(line.c_str()));
}

} // namespace shell
