#include <cerrno>
#include <limits>
#include <new>

#include "shell/builtins/builtins.h"
#include "shell/builtins/command_output.h"
#include "shell/builtins/line_sort.h"
#include "shell/builtins/merged_output.h"
#include "shell/builtins/whole_file.h"

namespace shell::builtins {

namespace {

// Not a status of the command: the mapped source lost bytes while it was sorted.
constexpr std::int32_t SOURCE_SHRANK = -1;

// The one way this command says that the lines do not fit in memory.
std::int32_t noRoomFor(const std::string& source) {
    reportFailure("sort", "cannot hold the lines of", source, ENOMEM);
    return status::FAILED;
}

template <class Offset>
std::int32_t sortInto(const WholeFile& file, const std::string& source,
                      const std::string& destination) {
    const std::string_view text = file.bytes();
    SortedHalves<Offset> sorted;
    try {
        sorted = sortInHalves<Offset>(text);
    } catch (const std::bad_alloc&) {
        return noRoomFor(source);
    }
    CommandOutput output("sort", destination);
    if (!output.ready()) {
        return status::FAILED;
    }
    if (const int error = writeMergedHalves(text.data(), sorted, output.fd()); error != 0) {
        return output.failWith(error);
    }
    if (file.shrankWhileMapped()) {
        return SOURCE_SHRANK;
    }
    return output.commit();
}

std::int32_t sortWholeFile(const WholeFile& file, const std::string& source,
                           const std::string& destination) {
    if (file.error() == ENOMEM) {
        return noRoomFor(source);
    }
    if (file.error() != 0) {
        reportFailure("sort", "cannot read", source, file.error());
        return status::UNREADABLE;
    }
    return file.bytes().size() <= std::numeric_limits<std::uint32_t>::max()
               ? sortInto<std::uint32_t>(file, source, destination)
               : sortInto<std::uint64_t>(file, source, destination);
}

} // namespace

std::int32_t sortFile(const std::string& source, const std::string& destination) {
    // The source is sorted where it stands in the file cache; should someone cut it shorter
    // meanwhile, it is read again as it is then, as a copy that nobody else can change.
    const std::int32_t status =
        sortWholeFile(WholeFile::read(source, FileAccess::MapWherePossible), source, destination);
    return status != SOURCE_SHRANK
               ? status
               : sortWholeFile(WholeFile::read(source, FileAccess::Copy), source, destination);
}

} // namespace shell::builtins
