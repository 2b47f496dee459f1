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
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "test_support/lines.h"

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
    std::optional<long> record; // none for an open that failed
    bool wellFormed = false;    // every line as above, ending in a plain source file and line

    bool operator==(const FatalReport&) const = default;
};

namespace fatal_report_detail {

inline constexpr std::string_view MARKER = "Fatal file error ";
inline constexpr std::string_view HOST_LABEL = "Host error: ";
inline constexpr std::string_view HOST_TEXT = "error code returned by host stdio - ";
inline constexpr std::string_view FILE_HEAD = " File name = ";
inline constexpr std::string_view RECORD_PART = "    formatted, sequential access   record = ";

inline bool allDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Takes `head` off the front of `text`, if it is there.
inline bool take(std::string_view& text, std::string_view head) {
    if (text.substr(0, head.size()) != head) {
        return false;
    }
    text.remove_prefix(head.size());
    return true;
}

// Takes the text up to `stop` off the front of `text`, and `stop` with it.
inline bool takeUntil(std::string_view& text, std::string_view stop, std::string& taken) {
    const std::size_t at = text.find(stop);
    if (at == std::string_view::npos) {
        return false;
    }
    taken = std::string(text.substr(0, at));
    text.remove_prefix(at + stop.size());
    return true;
}

// The report's line "Fatal file error " code "/" operation "/unit=" channel "/" text ".": the
// code (empty for an error number of the platform) into `code`, the operation and the channel into
// `report`, and the text left in `line`.
inline bool takeMarkerLine(std::string_view& line, std::string& code, FatalReport& report) {
    std::string channel;
    if (!take(line, MARKER) || !takeUntil(line, "/", code) ||
        !takeUntil(line, "/unit=", report.operation) || !takeUntil(line, "/", channel) ||
        !allDigits(channel) || !line.ends_with('.')) {
        return false;
    }
    report.channel = std::stoi(channel);
    line.remove_suffix(1);
    return true;
}

// The error that `code` and `text` of the marker line name: without a code, an error number of the
// platform, whose description stands on the line before (`hostLine`); else the program's own code
// with its text.
inline bool takeError(const std::string& code, std::string_view text, std::string_view hostLine,
                      FatalReport& report) {
    if (!code.empty()) {
        if (!allDigits(code)) {
            return false;
        }
        report.error = std::stoi(code);
        report.codeText = text;
        return true;
    }
    report.hostError = true;
    if (!take(text, HOST_TEXT) || !allDigits(text) || !take(hostLine, HOST_LABEL)) {
        return false;
    }
    report.error = std::stoi(std::string(text));
    report.description = hostLine;
    return true;
}

// The report's line FILE_HEAD name, followed by RECORD_PART number where there is a record.
inline bool takeFileLine(std::string_view line, FatalReport& report) {
    if (!take(line, FILE_HEAD)) {
        return false;
    }
    if (!takeUntil(line, RECORD_PART, report.fileName)) {
        report.fileName = line;
        return true;
    }
    if (!allDigits(line)) {
        return false;
    }
    report.record = std::stol(std::string(line));
    return true;
}

} // namespace fatal_report_detail

// A line naming one of the tool's source files, without a folder, and a line in it.
inline bool isLocationLine(std::string_view line) {
    using namespace fatal_report_detail;
    std::string file;
    if (!take(line, " In source file ") || !takeUntil(line, ", at line number ", file)) {
        return false;
    }
    const bool plainName = !file.empty() && file.find_first_of(" /\\") == std::string::npos;
    const bool source = file.ends_with(".cpp") || file.ends_with(".h");
    return plainName && source && allDigits(line) && line[0] != '0';
}

// The report at the end of `err`; what cannot be read leaves `wellFormed` false.
inline FatalReport parseFatalReport(std::string_view err) {
    using namespace fatal_report_detail;
    FatalReport report;
    const std::vector<std::string> lines = splitLines(err, LineEnd::CrLf);
    if (!err.ends_with("\r\n") || lines.size() < 3) {
        return report;
    }
    std::string_view marker = lines[lines.size() - 3];
    const std::string_view hostLine =
        lines.size() > 3 ? std::string_view(lines[lines.size() - 4]) : std::string_view();
    std::string code;
    if (!takeMarkerLine(marker, code, report) || !takeError(code, marker, hostLine, report) ||
        !takeFileLine(lines[lines.size() - 2], report)) {
        return report;
    }
    std::size_t reportSize = 0;
    for (std::size_t i = lines.size() - (report.hostError ? 4 : 3); i < lines.size(); ++i) {
        reportSize += lines[i].size() + 2;
    }
    report.before = err.substr(0, err.size() - reportSize);
    report.wellFormed = isLocationLine(lines.back());
    return report;
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
    using namespace fatal_report_detail;
    std::string text = report.before;
    if (report.hostError) {
        text.append(HOST_LABEL).append(report.description).append("\r\n");
    }
    text.append(MARKER).append(report.hostError ? "" : std::to_string(report.error));
    text.append("/").append(report.operation).append("/unit=");
    text.append(std::to_string(report.channel)).append("/");
    text.append(report.hostError ? std::string(HOST_TEXT) + std::to_string(report.error)
                                 : report.codeText);
    text.append(".\r\n").append(FILE_HEAD).append(report.fileName);
    if (report.record) {
        text.append(RECORD_PART).append(std::to_string(*report.record));
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
