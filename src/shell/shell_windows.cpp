#include <initializer_list>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/host_command.h"
#include "platform/process.h"
#include "platform/staged_file.h"
#include "records/line_end.h"
#include "records/report_text.h"
#include "shell/command_form.h"
#include "shell/shell.h"

namespace shell {

namespace {

// The status of a sort whose output did not take the destination's place; the interpreter gives
// the same when its own redirection fails.
constexpr std::int32_t SORT_NOT_IN_PLACE = status::FAILED;

// One line on standard error, made of `parts`: why the sorted list did not take the old one's
// place. Made like the fatal report, in storage of its own.
void report(std::initializer_list<std::string_view> parts) {
    records::ReportText line(platform::STDERR_FD);
    for (const std::string_view part : parts) {
        records::append(line, part);
    }
    records::append(line, records::lineEndFor(platform::STDERR_FD));
    records::send(line);
}

// The interpreter empties the file that `>` names before the sort has read a line, so a sort that
// is missing, fails, is stopped or loses lines would cost the picture list. The sort writes into
// a file of the tool's own beside the destination instead, which takes the destination's place
// only when the sort reported success and kept every byte of its input; otherwise it is removed
// and the destination stays as it was.
std::int32_t sortIntoPlace(const CommandForm& sort) {
    const std::string source(sort.source);
    const std::int64_t expected = platform::sizeOfNamedFile(source);
    platform::StagedFile sorted{std::string(sort.destination)};
    if (sorted.error() != 0) {
        report({"sort: cannot make a file beside ", sort.destination, ": ",
                platform::describeHostError(sorted.error())});
        return SORT_NOT_IN_PLACE;
    }
    const std::int32_t status = platform::runHostCommand("sort " + source + " > " + sorted.name());
    if (status != 0) {
        return status;
    }
    if (const int error = sorted.commit(expected); error == platform::STAGED_SIZE_DIFFERS) {
        report({"sort: the sorted lines are not as long as those of ", sort.source, "; ",
                sort.destination, " is left as it was"});
        return SORT_NOT_IN_PLACE;
    } else if (error != 0) {
        report(
            {"sort: cannot replace ", sort.destination, ": ", platform::describeHostError(error)});
        return SORT_NOT_IN_PLACE;
    }
    return 0;
}

std::int32_t sortIntoPlaceOrFail(const CommandForm& sort) {
    try {
        return sortIntoPlace(sort);
    } catch (const std::bad_alloc&) {
        // Only the bytes of names and messages were asked for; the sort's own file went with the
        // stack, and the destination is as it was.
        return SORT_NOT_IN_PLACE;
    }
}

} // namespace

// The run's command lines are written for this host's own command interpreter; only the sort's
// output takes a way round (sortIntoPlace).
std::int32_t runShellCommand(std::string_view text) {
    // The console writes every line through at once, so nothing of ours is waiting to go out.
    const std::string line(commandLineOf(text));
    if (const std::optional<CommandForm> form = parseCommandForm(line);
        form && form->kind == CommandKind::Sort) {
        return sortIntoPlaceOrFail(*form);
    }
    return platform::runHostCommand(line);
}

} // namespace shell
