#pragma once

// Reading the fatal report that ends standard error, part by part, so that a test can check each
// part and say which one is wrong.

#include <string>
#include <string_view>
#include <vector>

namespace fault {

struct FatalReport {
    bool wellFormed = false;
    bool hostError = false;  // an error number of the platform, not one of the program's codes
    std::string description; // the platform's description of that error number
    int error = 0;           // the error number, or the program's own code
    std::string codeText;    // the text of the program's own code
    std::string operation;
    int channel = 0;
    std::string fileName;
    long record = -1; // none for an open that failed
};

// Lines ended by CR LF; a rest without a line end is a last line of its own.
inline std::vector<std::string> crlfLinesOf(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

inline bool allDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The report at the end of `err`:
//   [label ": " description]                      (for an error number of the platform)
//   marker "/" operation "/unit=" channel "/error code returned by host stdio - " number "."
//   or marker code "/" operation "/unit=" channel "/" text "."
//   " File name = " name ["    formatted, sequential access   record = " number]
//   " In source file " file ", at line number " number
inline FatalReport parseFatalReport(std::string_view err) {
    FatalReport report;
    if (err.size() < 2 || err.substr(err.size() - 2) != "\r\n") {
        return report;
    }
    const std::vector<std::string> lines = crlfLinesOf(err);
    if (lines.size() < 3) {
        return report;
    }
    const std::string_view line = lines[lines.size() - 3];
    const std::string_view fileLine = lines[lines.size() - 2];
    const std::string_view whereLine = lines[lines.size() - 1];

    const std::size_t unit = line.find("/unit=");
    if (unit == std::string_view::npos || unit == 0 || line.back() != '.') {
        return report;
    }
    const std::size_t opStart = line.rfind('/', unit - 1);
    const std::size_t channelEnd = line.find('/', unit + 6);
    if (opStart == std::string_view::npos || opStart == 0 || channelEnd == std::string_view::npos) {
        return report;
    }
    const std::string_view channel = line.substr(unit + 6, channelEnd - unit - 6);
    if (!allDigits(channel)) {
        return report;
    }
    report.operation = std::string(line.substr(opStart + 1, unit - opStart - 1));
    report.channel = std::stoi(std::string(channel));

    const std::string_view hostText = "/error code returned by host stdio - ";
    if (line.substr(channelEnd, hostText.size()) == hostText) {
        report.hostError = true;
        const std::string_view number = line.substr(channelEnd + hostText.size(),
                                                    line.size() - 1 - channelEnd - hostText.size());
        if (!allDigits(number) || lines.size() < 4) {
            return report;
        }
        report.error = std::stoi(std::string(number));
        const std::string& description = lines[lines.size() - 4];
        const std::size_t colon = description.find(": ");
        if (colon == std::string::npos || colon == 0) {
            return report;
        }
        report.description = description.substr(colon + 2);
    } else {
        std::size_t codeStart = opStart;
        while (codeStart > 0 && line[codeStart - 1] >= '0' && line[codeStart - 1] <= '9') {
            --codeStart;
        }
        if (codeStart == opStart || codeStart == 0) {
            return report;
        }
        report.error = std::stoi(std::string(line.substr(codeStart, opStart - codeStart)));
        report.codeText = std::string(line.substr(channelEnd + 1, line.size() - channelEnd - 2));
    }

    const std::string_view fileHead = " File name = ";
    const std::string_view recordPart = "    formatted, sequential access   record = ";
    if (fileLine.substr(0, fileHead.size()) != fileHead) {
        return report;
    }
    const std::string_view file = fileLine.substr(fileHead.size());
    const std::size_t recordAt = file.find(recordPart);
    report.fileName = std::string(file.substr(0, recordAt));
    if (recordAt != std::string_view::npos) {
        const std::string_view record = file.substr(recordAt + recordPart.size());
        if (!allDigits(record)) {
            return report;
        }
        report.record = std::stol(std::string(record));
    }

    const std::string_view whereHead = " In source file ";
    const std::string_view atLine = ", at line number ";
    const std::size_t at = whereLine.find(atLine);
    report.wellFormed = whereLine.substr(0, whereHead.size()) == whereHead &&
                        at != std::string_view::npos && at > whereHead.size() &&
                        allDigits(whereLine.substr(at + atLine.size()));
    return report;
}

} // namespace fault
