#pragma once

// The three forms of the run's command lines, recognised the same way on every host: a host that
// carries them out itself needs to know which one a line spells, and a host whose interpreter
// would empty a sort's destination before the sort starts needs to know the sort's two names.

#include <optional>
#include <string_view>

namespace shell {

enum class CommandKind { Copy, Sort, Delete };

// Views into the command line that was parsed; a name that the form has not is empty.
struct CommandForm {
    CommandKind kind;
    std::string_view source;      // the file that copy and sort read
    std::string_view destination; // the file that copy and sort write
    std::string_view removed;     // the file that del removes
};

// The form that `line` spells, or nothing when the line means more than these three: "copy SRC
// DST", "sort SRC > DST" or "del NAME", names of commands in any case, words separated by blanks
// or tabs, and no character that a command interpreter would treat specially. Asks for no memory.
std::optional<CommandForm> parseCommandForm(std::string_view line);

} // namespace shell
