#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "records/fatal.h"

namespace records {

// Lines taken from a byte stream that is read in large blocks. A line ends at LF; a CR directly
// before the LF belongs to the line end, every other byte (a lone CR, NUL, Ctrl-Z) is an
// ordinary character; a last line without a line end is still a line.
struct LineSource {
    int fd = -1;
    std::vector<char> block; // grows to hold the longest line met so far
    std::size_t begin = 0;   // first byte not yet taken
    std::size_t end = 0;     // one past the last byte read
    bool atEnd = false;      // the stream has reported its end
};

// Small enough that a block read from the file is still in the processor's cache when its lines
// are cut: on large files, bigger blocks make every byte cost a trip to main memory.
inline constexpr std::size_t FILE_BLOCK_SIZE = std::size_t{64} << 10;

LineSource lineSourceFor(int fd, std::size_t blockSize = FILE_BLOCK_SIZE);

enum class LineStatus {
    Line,        // a line was taken
    End,         // the stream holds no further byte
    ReadFailed,  // the platform reported an error; see `error`
    OutOfMemory, // the line does not fit in memory
};

struct TakeResult {
    LineStatus status;
    int error = 0;
};

// What the fatal report tells of a take that gave no line: the end of a stream where a line was
// needed, the platform's error, or the want of memory.
FileError errorOfTake(const TakeResult& taken);

// Takes the next line. `line` stays valid until the next call on the same source.
TakeResult takeLine(LineSource& source, std::string_view& line);

// Takes up to `most` lines into `lines`, all valid until the next call on the same source: every
// line that stands complete in the block already, or, when none does, the next line as takeLine
// takes it. `count` is how many were taken (0 at the end of the stream).
TakeResult takeLines(LineSource& source, std::string_view* lines, std::size_t most,
                     std::size_t& count);

// Takes the next line like takeLine, but keeps only its first `keep` bytes in `head`, so that a
// line of any length can be passed over in constant memory.
TakeResult takeLineHead(LineSource& source, std::size_t keep, std::string& head);

// Shows the next bytes without taking them: at least `count` of them, or all that are left when
// the stream ends sooner. `ahead` stays valid until the next call on the same source. The status
// is End when no byte is left.
TakeResult lookAhead(LineSource& source, std::size_t count, std::string_view& ahead);

// Passes over the first `count` bytes that lookAhead has shown, as if the stream began after them.
void passOver(LineSource& source, std::size_t count);

} // namespace records
