#pragma once

// The line and column rules of the tool's files, written out the plain way, for the tests to hold
// the program against. Standard C++ only: the fuzz targets and the Windows stand-ins use it too.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

enum class LineEnd {
    Lf, // LF ends a line, and a CR directly before it belongs to the line end: what the tool reads
    CrLf, // only CR LF ends a line: what the tool writes on its console and in its lists
};

// The lines of `bytes`, without their ends; a last line without a line end is still a line.
inline std::vector<std::string> splitLines(std::string_view bytes, LineEnd ends = LineEnd::Lf) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t lf = bytes.find('\n'); start < bytes.size(); lf = bytes.find('\n', lf + 1)) {
        if (lf == std::string_view::npos) {
            lines.emplace_back(bytes.substr(start));
            break;
        }
        const bool cr = lf > start && bytes[lf - 1] == '\r';
        if (ends == LineEnd::CrLf && !cr) {
            continue;
        }
        lines.emplace_back(bytes.substr(start, lf - start - (cr ? 1 : 0)));
        start = lf + 1;
    }
    return lines;
}

// Each line followed by `end`.
inline std::string joinLines(const std::vector<std::string>& lines, std::string_view end = "\r\n") {
    std::string joined;
    for (const std::string& line : lines) {
        joined.append(line).append(end);
    }
    return joined;
}

// `text` cut or blank-filled to `width` bytes.
inline std::string padded(std::string_view text, std::size_t width) {
    std::string field(text.substr(0, std::min(width, text.size())));
    field.resize(width, ' ');
    return field;
}

// `width` columns from `first` (counted from 0) on, blanks beyond the line's end.
inline std::string columns(std::string_view line, std::size_t first, std::size_t width) {
    return padded(first < line.size() ? line.substr(first) : std::string_view(), width);
}

} // namespace test_support
