#pragma once

// The commands that the run hands to the host, carried out by the program itself on hosts that
// have no such commands of their own. Each prints nothing on standard output and, on failure,
// one line on standard error that names the file and the reason.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace shell::builtins {

enum class BuiltinKind { Copy, Sort, Delete };

struct BuiltinCommand {
    BuiltinKind kind;
    std::string source; // the file read, or the file removed
    std::string destination;
};

// The built-in command that `line` spells, or nothing when the line is for the host's shell:
// "copy SRC DST", "sort SRC > DST" or "del NAME", names of commands in any case, words
// separated by blanks or tabs, and no character that a command interpreter would treat
// specially.
std::optional<BuiltinCommand> parseBuiltin(std::string_view line);

// 0 when copied; 1 when `source` does not exist; 2 for every other failure (a source that is a
// folder or no regular file, a destination that cannot be written or is no regular file, a full
// disk). On failure the destination is as it was.
std::int32_t copyFile(const std::string& source, const std::string& destination);

// Writes the lines of `source` in ascending unsigned byte order, each ending in CR LF.
// 0 when sorted; 1 when `source` cannot be read (missing, a folder, no regular file); 2 when
// `destination` cannot be written or the lines do not fit in memory. On failure the destination is
// as it was.
std::int32_t sortFile(const std::string& source, const std::string& destination);

// 0 when removed; 1 when `name` does not exist or cannot be removed.
std::int32_t deleteFile(const std::string& name);

std::int32_t runBuiltin(const BuiltinCommand& command);

// The one line on standard error: "<command>: <what> <name>: <reason>".
void reportFailure(std::string_view command, std::string_view what, std::string_view name,
                   int error);

} // namespace shell::builtins
