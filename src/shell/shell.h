#pragma once

#include <cstdint>
#include <string_view>

#include "shell/status.h"

namespace shell {

// The command line for `text`: the text without its trailing blanks, nothing else changed.
std::string_view commandLineOf(std::string_view text);

// Hands the command line of `text` to the host and waits for it. Returns the command's exit
// status (those of status.h where the program makes the status itself), or -1 when no interpreter
// could be started. A copy's status::SOURCE_MISSING means that its source is not there. Where the
// interpreter would write over a copy's or a sort's destination in place, the new file takes the
// destination's place only when complete; status::FAILED then also means that it did not, the
// destination being as it was.
std::int32_t runShellCommand(std::string_view text);

} // namespace shell
