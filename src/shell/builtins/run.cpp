#include <cstring>
#include <new>

#include "platform/files.h"
#include "platform/process.h"
#include "records/line_end.h"
#include "shell/builtins/builtins.h"

namespace shell::builtins {

namespace {

constexpr std::int32_t OUT_OF_MEMORY_STATUS = 2;

} // namespace

void reportFailure(std::string_view command, std::string_view what, std::string_view name,
                   int error) {
    std::string line;
    line.append(command).append(": ").append(what).append(" ").append(name).append(": ");
    line.append(error == platform::NOT_A_REGULAR_FILE ? "Not a regular file"
                                                      : std::strerror(error));
    line.append(records::lineEndFor(platform::STDERR_FD));
    (void)platform::writeAll(platform::STDERR_FD, line.data(), line.size());
}

std::int32_t runBuiltin(const BuiltinCommand& command) {
    try {
        switch (command.kind) {
        case BuiltinKind::Copy:
            return copyFile(command.source, command.destination);
        case BuiltinKind::Sort:
            return sortFile(command.source, command.destination);
        case BuiltinKind::Delete:
            return deleteFile(command.source);
        }
    } catch (const std::bad_alloc&) {
        // Only the few bytes of names and messages are still to be had here; nothing was written.
    }
    return OUT_OF_MEMORY_STATUS;
}

} // namespace shell::builtins
