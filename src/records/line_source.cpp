#include "records/line_source.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/files.h"
#include "records/line_end.h"

namespace records {

namespace {

// Reads more bytes after `end`, first moving the unfinished line to the front of the block and
// growing the block when that line already fills it.
TakeResult refill(LineSource& source) {
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
            return {LineStatus::OutOfMemory};
        } catch (const std::length_error&) {
            return {LineStatus::OutOfMemory};
        }
    }
    const platform::ReadResult got = platform::readSome(source.fd, source.block.data() + source.end,
                                                        source.block.size() - source.end);
    if (got.error != 0) {
        return {LineStatus::ReadFailed, got.error};
    }
    if (got.count == 0) {
        source.atEnd = true;
    }
    source.end += got.count;
    return {LineStatus::Line};
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
        const TakeResult got = refill(source);
        if (got.status != LineStatus::Line) {
            return got;
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
    head.clear();
    bool anyByte = false;
    bool heldCr = false; // a CR ended the last chunk; it is line end only if LF comes next
    const auto emit = [&](const char* bytes, std::size_t count) {
        if (head.size() < keep) {
            head.append(bytes, std::min(count, keep - head.size()));
        }
    };
    for (;;) {
        if (source.begin == source.end) {
            if (source.atEnd) {
                if (!anyByte) {
                    return {LineStatus::End};
                }
                if (heldCr) {
                    emit(&CR, 1);
                }
                return {LineStatus::Line};
            }
            source.begin = source.end = 0;
            const TakeResult got = refill(source);
            if (got.status != LineStatus::Line) {
                return got;
            }
            continue;
        }
        anyByte = true;
        const char* chunk = source.block.data() + source.begin;
        const std::size_t available = source.end - source.begin;
        const auto* lf = static_cast<const char*>(std::memchr(chunk, LF, available));
        std::size_t length = lf != nullptr ? static_cast<std::size_t>(lf - chunk) : available;
        if (heldCr && !(lf != nullptr && length == 0)) {
            emit(&CR, 1);
        }
        heldCr = false;
        source.begin += lf != nullptr ? length + 1 : length;
        if (length > 0 && chunk[length - 1] == CR) {
            --length;
            heldCr = lf == nullptr;
        }
        emit(chunk, length);
        if (lf != nullptr) {
            return {LineStatus::Line};
        }
    }
}

} // namespace records
