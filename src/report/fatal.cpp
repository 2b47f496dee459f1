#include "report/fatal.h"

#include <cstring>

#include "lines/line_end.h"
#include "platform/files.h"
#include "platform/process.h"
#include "report/report_text.h"

namespace report {

namespace {

constexpr int FATAL_EXIT_STATUS = 127;
constexpr std::string_view FATAL_MARKER = "Fatal file error ";
constexpr std::string_view HOST_ERROR_LABEL = "Host error: ";

std::string_view ownErrorText(int code) {
    switch (code) {
    case CODE_OUT_OF_MEMORY:
        return "dynamic memory allocation failed";
    case CODE_READ_PAST_END:
        return "attempt to read past end of file";
    default:
        return "unknown error";
    }
}

// Only the file's own name: the build folder it was compiled in means nothing to the reader.
std::string_view baseName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

void fatalFileError(FileError error, std::string_view operation, std::int32_t channel,
                    std::string_view fileName, std::optional<std::int32_t> recordNumber,
                    const SourceLocation& where) {
    // Memory may be what failed, so the report is made in storage of its own.
    const std::string_view lineEnd = lines::lineEndFor(platform::STDERR_FD);
    ReportText report(platform::STDERR_FD);
    if (error.code == 0) {
        report.appendAll(HOST_ERROR_LABEL, std::strerror(error.hostErrorNumber), lineEnd);
        report.appendAll(FATAL_MARKER, "/", operation, "/unit=", channel, "/");
        report.appendAll("error code returned by host stdio - ", error.hostErrorNumber, ".");
    } else {
        report.appendAll(FATAL_MARKER, error.code, "/", operation, "/unit=", channel, "/");
        report.appendAll(ownErrorText(error.code), ".");
    }
    report.appendAll(lineEnd, " File name = ", fileName);
    if (recordNumber) {
        report.appendAll("    formatted, ", "sequential access  ", " record = ", *recordNumber);
    }
    report.appendAll(lineEnd, " In source file ", baseName(where.file_name()), ",");
    report.appendAll(" at line number ", where.line(), lineEnd);
    // Standard error is unbuffered here, so the report is out once the write returns.
    report.send();
    platform::exitNow(FATAL_EXIT_STATUS);
}

} // namespace report
