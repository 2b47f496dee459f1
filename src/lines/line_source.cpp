#include "lines/line_source.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "lines/line_end.h"
#include "platform/files.h"

namespace lines {

namespace {

// Small enough that a block read from the file is still in the processor's cache when its lines
// are cut: on large files, bigger blocks make every byte cost a trip to main memory. Enough for
// any answer on the console in one read.
constexpr std::size_t BLOCK_SIZE = std::size_t{64} << 10;

// Takes up to `most` lines from `begin` on that are `stride` bytes long with their line ends, as
// the lines after one of that length most often are. They are found by where their LFs must be,
// and one count of the LFs among them then shows that none ends sooner; should one, nothing is
// taken (nothing is returned). Either way what `lines` held may have changed.
std::optional<std::size_t> takeLinesOfStride(std::string_view text, std::size_t begin,
                                             std::size_t stride, std::string_view* lines,
                                             std::size_t most) {
    std::size_t count = 0;
    std::size_t at = begin;
    for (; count < most && text.size() - at >= stride && text[at + stride - 1] == LF;
         at += stride) {
        lines[count++] = {text.data() + at, lengthBeforeLf(text.data() + at, stride - 1)};
    }
    if (countLineFeeds(text.data() + begin, text.data() + at) != count) {
        return std::nullopt;
    }
    return count;
}

} // namespace

LineSource::LineSource(int fd) : fd_(fd), block_(BLOCK_SIZE) {}

std::optional<TakeResult> LineSource::refill() {
    if (begin_ > 0) {
        std::memmove(block_.data(), block_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == block_.size()) {
        try {
            block_.resize(block_.size() * 2);
        } catch (const std::bad_alloc&) {
            return TakeResult{LineStatus::OutOfMemory};
        } catch (const std::length_error&) {
            return TakeResult{LineStatus::OutOfMemory};
        }
    }
    const platform::ReadResult got =
        platform::readSome(fd_, block_.data() + end_, block_.size() - end_);
    if (got.error != 0) {
        return TakeResult{LineStatus::ReadFailed, got.error};
    }
    atEnd_ = got.count == 0;
    end_ += got.count;
    return std::nullopt;
}

TakeResult LineSource::takeLine(std::string_view& line) {
    std::size_t searched = begin_; // bytes before this hold no LF
    for (;;) {
        const ScannedLine found = scanLine(filled(), begin_, searched);
        if (found.ended || (atEnd_ && begin_ < end_)) {
            line = std::string_view(block_.data() + begin_, found.length);
            begin_ = found.next;
            return {LineStatus::Line};
        }
        if (atEnd_) {
            return {LineStatus::End};
        }
        const std::size_t unsearched = end_ - begin_;
        if (const std::optional<TakeResult> failed = refill()) {
            return *failed;
        }
        searched = begin_ + unsearched;
    }
}

TakeResult LineSource::takeLines(std::string_view* lines, std::size_t most, std::size_t& count) {
    // Held in locals, which the lines written meanwhile cannot change.
    const std::string_view text = filled();
    std::size_t begin = begin_;
    std::size_t found = 0;
    // Lines of one length are tried for until the LFs once show otherwise, so that a text that
    // defeats the guess costs a single wasted count.
    bool strideFailed = false;
    while (found < most && begin < text.size()) {
        const ScannedLine line = scanLine(text, begin, begin);
        if (!line.ended && !atEnd_) {
            break; // the rest of the block is the start of a line still to be read
        }
        lines[found++] = std::string_view(text.data() + begin, line.length);
        const std::size_t stride = line.next - begin;
        begin = line.next;
        if (!strideFailed && line.ended) {
            const std::optional<std::size_t> run =
                takeLinesOfStride(text, begin, stride, lines + found, most - found);
            strideFailed = !run;
            found += run.value_or(0);
            begin += run.value_or(0) * stride;
        }
    }
    begin_ = begin;
    count = found;
    if (count > 0 || most == 0) {
        return {LineStatus::Line};
    }
    const TakeResult taken = takeLine(lines[0]);
    count = taken.status == LineStatus::Line ? 1 : 0;
    return taken;
}

TakeResult LineSource::takeLineHead(std::size_t keep, std::string& head) {
    // One byte more than `keep` is held, so that a CR there can still turn out to be part of the
    // line end once the LF is found; a longer line keeps `keep` bytes whatever ends it.
    const std::size_t held = std::max(keep, keep + 1);
    head.clear();
    bool anyByte = false;
    for (;;) {
        if (begin_ == end_) {
            if (atEnd_) {
                head.resize(std::min(head.size(), keep));
                return {anyByte ? LineStatus::Line : LineStatus::End};
            }
            // Nothing of the line needs to stay in the block, which therefore never grows.
            begin_ = end_ = 0;
            if (const std::optional<TakeResult> failed = refill()) {
                return *failed;
            }
            continue;
        }
        anyByte = true;
        const ScannedLine found = scanLine(filled(), begin_, begin_);
        // The CR before an LF at the front of the block may be the last byte held already.
        const std::size_t toLf = (found.ended ? found.next - 1 : found.next) - begin_;
        head.append(block_.data() + begin_, std::min(toLf, held - head.size()));
        begin_ = found.next;
        if (found.ended) {
            head.resize(std::min(lengthBeforeLf(head.data(), head.size()), keep));
            return {LineStatus::Line};
        }
    }
}

TakeResult LineSource::lookAhead(std::size_t count, std::string_view& ahead) {
    while (end_ - begin_ < count && !atEnd_) {
        if (const std::optional<TakeResult> failed = refill()) {
            return *failed;
        }
    }
    ahead = filled().substr(begin_);
    return {ahead.empty() ? LineStatus::End : LineStatus::Line};
}

void LineSource::passOver(std::size_t count) {
    begin_ += std::min(count, end_ - begin_);
}

} // namespace lines
