#pragma once

// The commands that the run hands to the host, carried out by the program itself on hosts that
// have no such commands of their own. Each prints nothing on standard output and, on failure,
// one line on standard error that names the file and the reason.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shell/command_form.h"

namespace shell::builtins {

// The exit statuses of the built-in commands, as the run reads them: only a copy's 1 and a sort's
// failure change what the run does next.
namespace status {
inline constexpr std::int32_t DONE = 0;           // every command
inline constexpr std::int32_t SOURCE_MISSING = 1; // copy: there is no source
inline constexpr std::int32_t UNREADABLE = 1;     // sort: the source cannot be read
inline constexpr std::int32_t FAILED = 2;         // copy, sort: every other failure
inline constexpr std::int32_t NOT_REMOVED = 1;    // del: every failure
} // namespace status

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
