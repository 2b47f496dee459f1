#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "report/file_error.h"
#include "report/source_location.h"

namespace report {

// Names of the failing operations, as the fatal report prints them.
inline constexpr std::string_view OP_OPEN = "OPEN";
inline constexpr std::string_view OP_CLOSE = "CLOSE";
inline constexpr std::string_view OP_FORMATTED_READ = "formatted read";
inline constexpr std::string_view OP_FORMATTED_WRITE = "formatted write";
inline constexpr std::string_view OP_LIST_DIRECTED_READ = "list-directed read";
inline constexpr std::string_view OP_LIST_DIRECTED_WRITE = "list-directed write";

// Writes the fatal report on standard error and ends the process with status 127 at once.
// `recordNumber` is empty for an open that failed. `where` is the program's own source line that
// asked for the failing operation.
[[noreturn]] void fatalFileError(FileError error, std::string_view operation, std::int32_t channel,
                                 std::string_view fileName,
                                 std::optional<std::int32_t> recordNumber,
                                 const SourceLocation& where);

} // namespace report
