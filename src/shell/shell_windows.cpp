#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/host_command.h"
#include "platform/host_error.h"
#include "platform/staged_file.h"
#include "shell/command_failure.h"
#include "shell/command_form.h"
#include "shell/shell.h"

namespace shell {

namespace {

// `line` with the destination of `form`, a view into it, renamed `name`.
std::string withDestination(std::string_view line, const CommandForm& form,
                            const std::string& name) {
    const auto at = static_cast<std::size_t>(form.destination.data() - line.data());
    return std::string(line.substr(0, at)) + name +
           std::string(line.substr(at + form.destination.size()));
}

// The interpreter's copy writes over its destination in place, and its `>` empties the file it
// names before the sort has read a line: a copy or sort that is missing, fails, is stopped or
// loses lines would cost the backup or the picture list. The command writes into a file of the
// tool's own beside the destination instead, which takes the destination's place, flushed to disk
// first, only when the command reported success and kept every byte of its source; otherwise it
// is removed and the destination stays as it was. The command line is the run's own but for that
// name, so the command says what it always says.
std::int32_t intoPlace(std::string_view line, const CommandForm& form) {
    const std::string_view command = form.kind == CommandKind::Copy ? "copy" : "sort";
    // The interpreter's copy of a folder may write nothing and report success, and a folder's
    // size is 0: only a file's bytes may take the destination's place.
    if (const platform::EntryKind source = platform::entryKind(std::string(form.source));
        source == platform::EntryKind::Directory || source == platform::EntryKind::OtherFile) {
        reportCommandFailure(
            command, {"cannot read ", form.source, ": it is ",
                      source == platform::EntryKind::Directory ? "a folder" : "not a file"});
        return status::FAILED;
    }
    const std::int64_t expected = platform::sizeOfNamedFile(std::string(form.source));
    platform::StagedFile staged{std::string(form.destination)};
    if (staged.error() != 0) {
        reportCommandFailure(command, {"cannot make a file beside ", form.destination, ": ",
                                       platform::describeHostError(staged.error())});
        return status::FAILED;
    }
    const std::int32_t exitStatus =
        platform::runHostCommand(withDestination(line, form, staged.name()));
    if (exitStatus == status::SOURCE_MISSING && expected >= 0) {
        // The interpreter's copy gives 1 for every failure, a full disk among them, and the run
        // reads 1 as a source that is not there; this one is.
        return status::FAILED;
    }
    if (exitStatus != status::DONE) {
        return exitStatus;
    }
    if (const int error = staged.commit(expected); error == platform::SIZE_DIFFERS) {
        reportCommandFailure(command, {"the ", form.kind == CommandKind::Copy ? "copied" : "sorted",
                                       " lines are not as long as those of ", form.source, "; ",
                                       form.destination, " is left as it was"});
        return status::FAILED;
    } else if (error == platform::HELD_BY_ANOTHER_PROGRAM) {
        reportCommandFailure(command, {"cannot replace ", form.destination,
                                       ": it is open in another program; close it and run the "
                                       "tool again"});
        return status::FAILED;
    } else if (error != 0) {
        reportCommandFailure(command, {"cannot replace ", form.destination, ": ",
                                       platform::describeHostError(error)});
        return status::FAILED;
    }
    return status::DONE;
}

std::int32_t intoPlaceOrFail(std::string_view line, const CommandForm& form) {
    try {
        return intoPlace(line, form);
    } catch (const std::bad_alloc&) {
        // Only the bytes of names and messages were asked for; the command's own file went with
        // the stack, and the destination is as it was.
        return status::FAILED;
    }
}

} // namespace

// The run's command lines are written for this host's own command interpreter; only the output of
// the copy and the sort takes a way round (intoPlace).
std::int32_t runShellCommand(std::string_view text) {
    // The console writes every line through at once, so nothing of ours is waiting to go out.
    const std::string line(commandLineOf(text));
    if (const std::optional<CommandForm> form = parseCommandForm(line);
        form && form->kind != CommandKind::Delete) {
        return intoPlaceOrFail(line, *form);
    }
    return platform::runHostCommand(line);
}

} // namespace shell
