#include "records/fatal.h"

#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/process.h"
#include "records/line_end.h"

namespace records {

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
    const std::string_view lineEnd = lineEndFor(platform::STDERR_FD);
    std::string report;
    if (error.code == 0) {
        report.append(HOST_ERROR_LABEL).append(std::strerror(error.hostErrorNumber));
        report.append(lineEnd);
        report.append(FATAL_MARKER).append("/").append(operation);
        report.append("/unit=").append(std::to_string(channel)).append("/");
        report.append("error code returned by host stdio - ");
        report.append(std::to_string(error.hostErrorNumber)).append(".");
    } else {
        report.append(FATAL_MARKER).append(std::to_string(error.code)).append("/");
        report.append(operation).append("/unit=").append(std::to_string(channel)).append("/");
        report.append(ownErrorText(error.code)).append(".");
    }
    report.append(lineEnd);
    report.append(" File name = ").append(fileName);
    if (recordNumber) {
        report.append("    formatted, ").append("sequential access  ");
        report.append(" record = ").append(std::to_string(*recordNumber));
    }
    report.append(lineEnd);
    report.append(" In source file ").append(baseName(where.file_name())).append(",");
    report.append(" at line number ").append(std::to_string(where.line()));
    report.append(lineEnd);
    // Standard error is unbuffered here, so the report is out once the write returns.
    (void)platform::writeAll(platform::STDERR_FD, report.data(), report.size());
    platform::exitNow(FATAL_EXIT_STATUS);
}

} // namespace records
