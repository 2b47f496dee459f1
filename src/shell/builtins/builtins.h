#pragma once

// The commands that the run hands to the host, carried out by the program itself on hosts that
// have no such commands of their own. Each prints nothing on standard output and, on failure,
// one line on standard error that names the file and the reason.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shell/command_form.h"
#include "shell/status.h"

namespace shell::builtins {

// DONE when copied; SOURCE_MISSING when `source` does not exist; FAILED for every other failure
// (a source that is a folder or no regular file, a destination that cannot be written or is no
// regular file, a full disk). On failure the destination is as it was.
std::int32_t copyFile(const std::string& source, const std::string& destination);

// Writes the lines of `source` in ascending unsigned byte order, each ending in CR LF.
// DONE when sorted; UNREADABLE when `source` cannot be read (missing, a folder, no regular file);
// FAILED when `destination` cannot be written or the lines do not fit in memory. On failure the
// destination is as it was.
std::int32_t sortFile(const std::string& source, const std::string& destination);

// DONE when removed; NOT_REMOVED when `name` does not exist or cannot be removed.
std::int32_t deleteFile(const std::string& name);

// Runs the command. Memory that runs out anywhere in it is a failure of the command like any
// other: its one line on standard error and its failure status.
std::int32_t runBuiltin(const CommandForm& command);

// The one line on standard error: "<command>: <what> <name>: <reason>". Asks for no memory, so
// that it can tell of the want of it.
void reportFailure(std::string_view command, std::string_view what, std::string_view name,
                   int error);

} // namespace shell::builtins
