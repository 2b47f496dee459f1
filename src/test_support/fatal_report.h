#pragma once

// The fatal report that ends standard error, read back part by part and built from its parts, so
// that a test can compare it whole with the report it expects and say which part is wrong:
//   ["Host error: " description]                       (for an error number of the platform)
//   "Fatal file error /" operation "/unit=" channel "/error code returned by host stdio - " number
//   "." or "Fatal file error " code "/" operation "/unit=" channel "/" text "." " File name = "
//   name ["    formatted, sequential access   record = " number] " In source file " file ", at line
//   number " number
// each line ending in CR LF.

#include <cstring>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <string_view>
#include <utility>

namespace test_support {

struct FatalReport {
    std::string before{};      // what standard error holds ahead of the report
    bool hostError = false;    // an error number of the platform, not one of the program's codes
    std::string description{}; // the platform's description of that error number
    int error = 0;             // the error number, or the program's own code
    std::string codeText{};    // the text of the program's own code
    std::string operation{};
    int channel = 0;
    std::string fileName{};
    std::optional<long> record{}; // none for an open that failed
    bool wellFormed = false;      // every line as above, ending in a plain source file and line

    bool operator==(const FatalReport&) const = default;
};

// The report at the end of `err`, read independently of the code that writes it. What cannot be
// read leaves `wellFormed` false and all of `err` in `before`, for the failure message.
inline FatalReport parseFatalReport(const std::string& err) {
    static const std::regex REPORT(
        R"((^|\n)(?:Host error: ([^\r\n]*)\r\nFatal file error /([^\r\n]*?)/unit=([0-9]+)/)"
        R"(error code returned by host stdio - ([0-9]+)|Fatal file error ([0-9]+)/([^\r\n]*?))"
        R"(/unit=([0-9]+)/([^\r\n]*))\.\r\n File name = ([^\r\n]*?)(?:    formatted, sequential )"
        R"(access   record = ([0-9]+))?\r\n In source file [^ /\\\r\n]+\.(?:cpp|h), at line )"
        R"(number [1-9][0-9]*\r\n$)");
    std::smatch part;
    if (!std::regex_search(err, part, REPORT)) {
        return {.before = err};
    }
    const bool host = part[2].matched;
    return {.before = err.substr(0, static_cast<std::size_t>(part.position(0) + part.length(1))),
            .hostError = host,
            .description = part[2],
            .error = std::stoi(host ? part[5] : part[6]),
            .codeText = part[9],
            .operation = host ? part[3] : part[7],
            .channel = std::stoi(host ? part[4] : part[8]),
            .fileName = part[10],
            .record = part[11].matched ? std::optional(std::stol(part[11])) : std::nullopt,
            .wellFormed = true};
}

// The report for an error number of the platform; without a record number for an open that
// failed.
inline FatalReport hostErrorReport(int error, std::string operation, int channel,
                                   std::string fileName, std::optional<long> record) {
    return {.hostError = true,
            .description = std::strerror(error),
            .error = error,
            .operation = std::move(operation),
            .channel = channel,
            .fileName = std::move(fileName),
            .record = record,
            .wellFormed = true};
}

// The report for the end of standard input.
inline FatalReport endOfInputReport(std::string operation, long record) {
    return {.error = 217,
            .codeText = "attempt to read past end of file",
            .operation = std::move(operation),
            .channel = 5,
            .fileName = "stdin ",
            .record = record,
            .wellFormed = true};
}

// The lines of the report, up to the location, which only the program knows.
inline std::string reportLines(const FatalReport& report) {
    std::string text = report.before;
    if (report.hostError) {
        text += "Host error: " + report.description + "\r\n";
    }
    text +=
        "Fatal file error " + (report.hostError ? "" : std::to_string(report.error)) + "/" +
        report.operation + "/unit=" + std::to_string(report.channel) + "/" +
        (report.hostError ? "error code returned by host stdio - " + std::to_string(report.error)
                          : report.codeText) +
        ".\r\n File name = " + report.fileName;
    if (report.record) {
        text += "    formatted, sequential access   record = " + std::to_string(*report.record);
    }
    return text + "\r\n";
}

// The whole report as the program writes it when asked from `line` of its source file `file`.
inline std::string reportAt(const FatalReport& report, std::string_view file, int line) {
    return reportLines(report) + " In source file " + std::string(file) + ", at line number " +
           std::to_string(line) + "\r\n";
}

// How a test's failure message shows a report.
inline std::ostream& operator<<(std::ostream& out, const FatalReport& report) {
    return out << reportLines(report)
               << (report.wellFormed ? " In source file ..." : "(not well formed)");
}

} // namespace test_support
