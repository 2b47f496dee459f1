#include <cstdlib>

#include "platform/host_command.h"

namespace platform {

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

std::int32_t runHostCommand(const std::string& line) {
    overwriteWithoutAsking();
    return static_cast<std::int32_t>(std::system(line.c_str()));
}

} // namespace platform
