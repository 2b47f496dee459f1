#pragma once

// The one definition of a line's end, for every line the program reads or writes: the console,
// the record files and the built-in sort.

#include <cstddef>
#include <cstring>
#include <string_view>

namespace lines {

inline constexpr char LF = '\n';
inline constexpr char CR = '\r';

// Every line written ends so, on every host.
inline constexpr std::string_view LINE_END = "\r\n";

// The bytes that a line of `length` bytes takes once written, with its line end.
inline constexpr std::size_t writtenSize(std::size_t length) {
    return length + LINE_END.size();
}

// The line end to hand to the stream `fd`: a text-mode stream adds the CR itself. Asked at every
// line, since the mode could have been changed between two lines.
std::string_view lineEndFor(int fd);

// On reading, a line ends at LF, and a CR directly before the LF belongs to the line end. Given
// the bytes of a line up to its LF, the length of the line itself.
inline std::size_t lengthBeforeLf(const char* line, std::size_t toLf) {
    return toLf > 0 && line[toLf - 1] == CR ? toLf - 1 : toLf;
}

// A line found in a text: `length` bytes of its own before its line end, and `next`, where the line
// after it begins. A line that no LF ends within the text is not `ended` and runs to its end.
struct ScannedLine {
    std::size_t length;
    std::size_t next;
    bool ended;
};

// The line of `text` that begins at `begin`, its LF looked for from `searchFrom` on, which the
// caller knows the bytes between to hold none of; text.data() is not null, even for an empty
// text. The one scan for line ends of the record files, the console and the sort.
inline ScannedLine scanLine(std::string_view text, std::size_t begin, std::size_t searchFrom) {
    const void* lf = std::memchr(text.data() + searchFrom, LF, text.size() - searchFrom);
    if (lf == nullptr) {
        return {text.size() - begin, text.size(), false};
    }
    const auto at = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data());
    return {lengthBeforeLf(text.data() + begin, at - begin), at + 1, true};
}

// How many LFs the bytes [first, end) hold. Lines of one length are told apart by this count: as
// many LFs as lines, each at its line's end, leave no room for a line that ends sooner.
std::size_t countLineFeeds(const char* first, const char* end);

} // namespace lines
