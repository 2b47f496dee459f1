#include "records/line_source.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>

#include "platform/files.h"
#include "records/line_end.h"

namespace records {

namespace {

// Reads more bytes after `end`, first moving the unfinished line to the front of the block and
// growing the block when that line already fills it. Returns the failure to hand on to the
// caller, or nothing when it read bytes or met the end of the stream.
std::optional<TakeResult> refill(LineSource& source) {
    if (source.begin > 0) {
        std::memmove(source.block.data(), source.block.data() + source.begin,
                     source.end - source.begin);
        source.end -= source.begin;
        source.begin = 0;
    }
    if (source.end == source.block.size()) {
        try {
            source.block.resize(source.block.size() * 2);
        } catch (const std::bad_alloc&) {
            return TakeResult{LineStatus::OutOfMemory};
        } catch (const std::length_error&) {
            return TakeResult{LineStatus::OutOfMemory};
        }
    }
    const platform::ReadResult got = platform::readSome(source.fd, source.block.data() + source.end,
                                                        source.block.size() - source.end);
    if (got.error != 0) {
        return TakeResult{LineStatus::ReadFailed, got.error};
    }
    if (got.count == 0) {
        source.atEnd = true;
    }
    source.end += got.count;
    return std::nullopt;
}

} // namespace

LineSource lineSourceFor(int fd, std::size_t blockSize) {
    LineSource source;
    source.fd = fd;
    source.block.resize(blockSize < 1 ? 1 : blockSize);
    return source;
}

TakeResult takeLine(LineSource& source, std::string_view& line) {
    std::size_t searched = source.begin; // bytes before this hold no LF
    for (;;) {
        const char* base = source.block.data();
        const auto* lf =
            static_cast<const char*>(std::memchr(base + searched, LF, source.end - searched));
        if (lf != nullptr) {
            const std::size_t toLf = static_cast<std::size_t>(lf - base) - source.begin;
            line = std::string_view(base + source.begin, lengthBeforeLf(base + source.begin, toLf));
            source.begin = static_cast<std::size_t>(lf - base) + 1;
            return {LineStatus::Line};
        }
        if (source.atEnd) {
            if (source.begin == source.end) {
                return {LineStatus::End};
            }
            line = std::string_view(base + source.begin, source.end - source.begin);
            source.begin = source.end;
            return {LineStatus::Line};
        }
        const std::size_t unsearched = source.end - source.begin;
        if (const std::optional<TakeResult> failure = refill(source)) {
            return *failure;
        }
        searched = source.begin + unsearched;
    }
}

TakeResult takeLines(LineSource& source, std::string_view* lines, std::size_t most,
                     std::size_t& count) {
    count = 0;
    const char* const base = source.block.data();
    while (count < most && source.begin < source.end) {
        const auto* lf = static_cast<const char*>(
            std::memchr(base + source.begin, LF, source.end - source.begin));
        if (lf == nullptr && !source.atEnd) {
            break; // the rest of the block is the start of a line still to be read
        }
        const std::size_t toEnd =
            (lf != nullptr ? static_cast<std::size_t>(lf - base) : source.end) - source.begin;
        lines[count++] =
            std::string_view(base + source.begin,
                             lf != nullptr ? lengthBeforeLf(base + source.begin, toEnd) : toEnd);
        source.begin += lf != nullptr ? toEnd + 1 : toEnd;
    }
    if (count > 0 || most == 0) {
        return {LineStatus::Line};
    }
    const TakeResult taken = takeLine(source, lines[0]);
    count = taken.status == LineStatus::Line ? 1 : 0;
    return taken;
}

TakeResult takeLineHead(LineSource& source, std::size_t keep, std::string& head) {
    // One byte more than `keep` is held, so that a CR there can still turn out to be part of the
    // line end once the LF is found; a longer line keeps `keep` bytes whatever ends it.
    const std::size_t held = std::max(keep, keep + 1);
    head.clear();
    bool anyByte = false;
    for (;;) {
        if (source.begin == source.end) {
            if (source.atEnd) {
                head.resize(std::min(head.size(), keep));
                return {anyByte ? LineStatus::Line : LineStatus::End};
            }
            // Nothing of the line needs to stay in the block, which therefore never grows.
            source.begin = source.end = 0;
            if (const std::optional<TakeResult> failure = refill(source)) {
                return *failure;
            }
            continue;
        }
        anyByte = true;
        const char* chunk = source.block.data() + source.begin;
        const std::size_t available = source.end - source.begin;
        const auto* lf = static_cast<const char*>(std::memchr(chunk, LF, available));
        const std::size_t length = lf != nullptr ? static_cast<std::size_t>(lf - chunk) : available;
        head.append(chunk, std::min(length, held - head.size()));
        source.begin += lf != nullptr ? length + 1 : length;
        if (lf != nullptr) {
            head.resize(std::min(lengthBeforeLf(head.data(), head.size()), keep));
            return {LineStatus::Line};
        }
    }
}

TakeResult lookAhead(LineSource& source, std::size_t count, std::string_view& ahead) {
    while (source.end - source.begin < count && !source.atEnd) {
        if (const std::optional<TakeResult> failure = refill(source)) {
            return *failure;
        }
    }
    ahead = std::string_view(source.block.data() + source.begin, source.end - source.begin);
    return {ahead.empty() ? LineStatus::End : LineStatus::Line};
}

void passOver(LineSource& source, std::size_t count) {
    source.begin += std::min(count, source.end - source.begin);
}

FileError errorOfTake(const TakeResult& taken) {
    switch (taken.status) {
    case LineStatus::ReadFailed:
        return hostError(taken.error);
    case LineStatus::OutOfMemory:
        return outOfMemory();
    case LineStatus::Line:
    case LineStatus::End:
        break;
    }
    return ownError(CODE_READ_PAST_END);
}

} // namespace records
