#pragma once

// The one definition of a line's end, for every line the program reads or writes: the console,
// the record files and the built-in sort.

#include <cstddef>
#include <string_view>

namespace records {

inline constexpr char LF = '\n';
inline constexpr char CR = '\r';

// Every line written ends so, on every host.
inline constexpr std::string_view LINE_END = "\r\n";

// The line end to hand to the stream `fd`: a text-mode stream adds the CR itself. Asked at every
// line, since the mode could have been changed between two lines.
std::string_view lineEndFor(int fd);

// On reading, a line ends at LF, and a CR directly before the LF belongs to the line end. Given
// the bytes of a line up to its LF, the length of the line itself.
inline std::size_t lengthBeforeLf(const char* line, std::size_t toLf) {
    return toLf > 0 && line[toLf - 1] == CR ? toLf - 1 : toLf;
}

} // namespace records
