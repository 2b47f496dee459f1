#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lines {

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

// Lines taken from a byte stream that is read in large blocks. A line ends at LF; a CR directly
// before the LF belongs to the line end, every other byte (a lone CR, NUL, Ctrl-Z) is an
// ordinary character; a last line without a line end is still a line.
class LineSource {
  public:
    // Lines of the open stream `fd`, which the caller keeps open while it takes them.
    explicit LineSource(int fd);

    // Takes up to `most` lines into `lines`, all valid until the next call on this source: every
    // line that stands complete in the block already, or, when none does, the next line however
    // long. `count` is how many were taken (0 at the end of the stream).
    TakeResult takeLines(std::string_view* lines, std::size_t most, std::size_t& count);

    // Takes the next line, but keeps only its first `keep` bytes in `head`, so that a line of any
    // length can be passed over in constant memory.
    TakeResult takeLineHead(std::size_t keep, std::string& head);

    // Shows the next bytes without taking them: at least `count` of them, or all that are left
    // when the stream ends sooner. `ahead` stays valid until the next call on this source. The
    // status is End when no byte is left.
    TakeResult lookAhead(std::size_t count, std::string_view& ahead);

    // Passes over the first `count` bytes that lookAhead has shown, as if the stream began after
    // them.
    void passOver(std::size_t count);

  private:
    int fd_;
    std::vector<char> block_; // grows to hold the longest line met so far
    std::size_t begin_ = 0;   // first byte not yet taken
    std::size_t end_ = 0;     // one past the last byte read
    bool atEnd_ = false;      // the stream has reported its end

    // The bytes read and not yet dropped: the block up to end_.
    std::string_view filled() const { return {block_.data(), end_}; }
    // Reads more bytes after end_, first moving the unfinished line to the front of the block and
    // growing the block when that line already fills it. Nothing when it read bytes or met the
    // end of the stream; otherwise the failure to hand on.
    std::optional<TakeResult> refill();
    // Takes the next line, reading as much as it needs.
    TakeResult takeLine(std::string_view& line);
};

} // namespace lines
