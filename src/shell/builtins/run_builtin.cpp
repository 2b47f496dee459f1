#include <cerrno>
#include <new>
#include <string>

#include "platform/host_error.h"
#include "shell/builtins/builtins.h"
#include "shell/command_failure.h"

namespace shell::builtins {

namespace {

std::int32_t carryOut(const CommandForm& command) {
    switch (command.kind) {
    case CommandKind::Copy:
        return copyFile(std::string(command.source), std::string(command.destination));
    case CommandKind::Sort:
        return sortFile(std::string(command.source), std::string(command.destination));
    case CommandKind::Delete:
        return deleteFile(std::string(command.removed));
    }
    return status::FAILED;
}

// Memory ran out somewhere in the command, told as its other failures are. A replacement of the
// destination may have begun by then; the destination changes only by the rename that puts its
// complete new contents in its place, so it is as it was or whole.
std::int32_t reportWantOfMemory(const CommandForm& command) {
    switch (command.kind) {
    case CommandKind::Copy:
        reportFailure("copy", "cannot write", command.destination, ENOMEM);
        return status::FAILED;
    case CommandKind::Sort:
        reportFailure("sort", "cannot write", command.destination, ENOMEM);
        return status::FAILED;
    case CommandKind::Delete:
        break;
    }
    reportFailure("del", "cannot remove", command.removed, ENOMEM);
    return status::NOT_REMOVED;
}

} // namespace

void reportFailure(std::string_view command, std::string_view what, std::string_view name,
                   int error) {
    reportCommandFailure(command, {what, " ", name, ": ", platform::describeHostError(error)});
}

std::int32_t runBuiltin(const CommandForm& command) {
    try {
        return carryOut(command);
    } catch (const std::bad_alloc&) {
        return reportWantOfMemory(command);
    }
}

} // namespace shell::builtins
