#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/host_command.h"
#include "platform/process.h"
#include "platform/staged_file.h"
#include "records/line_end.h"
#include "shell/shell.h"

namespace shell {

namespace {

// The status of a sort whose output did not take the destination's place; the interpreter gives
// the same when its own redirection fails.
constexpr std::int32_t SORT_NOT_IN_PLACE = 1;

// Characters that make the interpreter read a word as more than a file name.
constexpr std::string_view SPECIAL = "\"<>|&^%()!,;=\t";

struct SortLine {
    std::string command; // "sort" as the line spells it
    std::string source;
    std::string destination;
};

std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::size_t at = line.find_first_not_of(' '); at != std::string_view::npos;) {
        const std::size_t end = line.find(' ', at);
        words.push_back(line.substr(at, end == std::string_view::npos ? end : end - at));
        at = line.find_first_not_of(' ', end);
    }
    return words;
}

bool isPlainName(std::string_view word) {
    return word.find_first_of(SPECIAL) == std::string_view::npos;
}

bool isSort(std::string_view word) {
    constexpr std::string_view SORT = "sort";
    if (word.size() != SORT.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        // Setting the bit that tells upper from lower case makes 'S' of 's' and leaves 's' alone.
        if ((word[i] | 0x20) != SORT[i]) {
            return false;
        }
    }
    return true;
}

// "sort SOURCE > DESTINATION" with plain file names: the line that sorts into a file.
std::optional<SortLine> sortLineOf(std::string_view line) {
    const std::vector<std::string_view> words = wordsOf(line);
    if (words.size() != 4 || !isSort(words[0]) || words[2] != ">" || !isPlainName(words[1]) ||
        !isPlainName(words[3])) {
        return std::nullopt;
    }
    return SortLine{std::string(words[0]), std::string(words[1]), std::string(words[3])};
}

// One line on standard error: why the sorted list did not take the old one's place.
void report(std::string text) {
    text.append(records::lineEndFor(platform::STDERR_FD));
    (void)platform::writeAll(platform::STDERR_FD, text.data(), text.size());
}

// The interpreter empties the file that `>` names before the sort has read a line, so a sort that
// is missing, fails, is stopped or loses lines would cost the picture list. The sort writes into
// a file of the tool's own beside the destination instead, which takes the destination's place
// only when the sort reported success and kept every byte of its input; otherwise it is removed
// and the destination stays as it was.
std::int32_t sortIntoPlace(const SortLine& sort) {
    const std::int64_t expected = platform::sizeOfNamedFile(sort.source);
    platform::StagedFile sorted(sort.destination);
    if (sorted.error() != 0) {
        report("sort: cannot make a file beside " + sort.destination + ": " +
               platform::describeHostError(sorted.error()));
        return SORT_NOT_IN_PLACE;
    }
    const std::int32_t status =
        platform::runHostCommand(sort.command + " " + sort.source + " > " + sorted.name());
    if (status != 0) {
        return status;
    }
    if (const int error = sorted.commit(expected); error == platform::STAGED_SIZE_DIFFERS) {
        report("sort: the sorted lines are not as long as those of " + sort.source + "; " +
               sort.destination + " is left as it was");
        return SORT_NOT_IN_PLACE;
    } else if (error != 0) {
        report("sort: cannot replace " + sort.destination + ": " +
               platform::describeHostError(error));
        return SORT_NOT_IN_PLACE;
    }
    return 0;
}

std::int32_t sortIntoPlaceOrFail(const SortLine& sort) {
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
    if (const std::optional<SortLine> sort = sortLineOf(line)) {
        return sortIntoPlaceOrFail(*sort);
    }
    return platform::runHostCommand(line);
}

} // namespace shell
