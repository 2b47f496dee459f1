#include "records/record_file.h"

#include <cerrno>
#include <new>
#include <string_view>

#include "platform/files.h"
#include "report/fatal.h"
#include "report/under_way.h"

namespace records {

namespace {

using State = RecordFile::State;

[[noreturn]] void fail(const State& file, report::FileError error, std::string_view operation,
                       const report::SourceLocation& where) {
    report::fatalFileError(error, operation, file.channel, file.name, file.recordNumber, where);
}

// Sends the first `count` bytes that wait in the buffer and moves the rest to its front.
void sendOutput(State& file, std::size_t count, std::string_view operation,
                const report::SourceLocation& where) {
    if (count == 0) {
        return;
    }
    const int error = platform::writeAll(file.file.get(), file.output.data(), count);
    if (error != 0) {
        fail(file, report::hostError(error), operation, where);
    }
    file.output.dropFront(count);
}

// Sends a full load, the first `count` bytes of the buffer, while the records after them go on
// being made: a file of many records is written by a thread of its own. A write error shows at the
// next load or at the close.
void sendLoad(State& file, std::size_t count, const report::SourceLocation& where) {
    if (!file.behind) {
        file.behind = std::make_unique<lines::WriteBehind>();
        if (!lines::startWriteBehind(*file.behind, file.file.get())) {
            file.behind.reset();
        }
    }
    if (!file.behind) {
        sendOutput(file, count, report::OP_FORMATTED_WRITE, where);
        return;
    }
    const lines::HandOverResult handed = lines::handOver(*file.behind, file.output, count);
    if (handed.outOfMemory) {
        fail(file, report::outOfMemory(), report::OP_FORMATTED_WRITE, where);
    }
    if (handed.writeError != 0) {
        fail(file, report::hostError(handed.writeError), report::OP_FORMATTED_WRITE, where);
    }
}

// A file that is written has never been read, so its current position is its start.
void cutOldContent(State& file, std::string_view operation, const report::SourceLocation& where) {
    file.oldContent = OldContent::Cut;
    // Only a file known to be empty is spared the cut: one whose size cannot be told may hold an
    // earlier run's lines.
    if (platform::fileSize(file.file.get()) != 0) {
        const int error = platform::truncateAt(file.file.get(), 0);
        if (error != 0) {
            fail(file, report::hostError(error), operation, where);
        }
    }
}

State openedFile(const std::string& name, std::int32_t channel, platform::FileDescriptor fd,
                 OldContent oldContent) {
    State file;
    file.name = name;
    file.channel = channel;
    file.file = std::move(fd);
    file.oldContent = oldContent;
    return file;
}

// A file that is read keeps its content, even when no record is read from it in the end.
void startReading(State& file) {
    if (!file.input) {
        file.input.emplace(file.file.get());
    }
    if (file.oldContent == OldContent::Untouched) {
        file.oldContent = OldContent::Kept;
    }
}

std::optional<State> openExistingFile(const std::string& name, std::int32_t channel) {
    const platform::EntryKind kind = platform::entryKind(name);
    if (kind == platform::EntryKind::Missing || kind == platform::EntryKind::Directory) {
        return std::nullopt;
    }
    platform::OpenResult opened = platform::openFile(name, platform::OpenMode::ReadWrite);
    if (!opened.file.isOpen()) {
        opened = platform::openFile(name, platform::OpenMode::ReadOnly);
    }
    if (!opened.file.isOpen()) {
        return std::nullopt;
    }
    return openedFile(name, channel, std::move(opened.file), OldContent::Kept);
}

} // namespace

std::optional<RecordFile> openExisting(std::string_view name, std::int32_t channel,
                                       const report::SourceLocation& where) {
    report::noteUnderWay(report::OP_OPEN, channel, name, std::nullopt, where);
    std::optional<State> file = openExistingFile(std::string(name), channel);
    if (!file) {
        report::noteNoneUnderWay(); // nothing was opened, so nothing is at work
        return std::nullopt;
    }
    return RecordFile(std::move(*file));
}

RecordFile openOrCreate(std::string_view fileName, std::int32_t channel,
                        const report::SourceLocation& where) {
    report::noteUnderWay(report::OP_OPEN, channel, fileName, std::nullopt, where);
    const std::string name(fileName);
    platform::OpenResult opened;
    if (platform::entryKind(name) == platform::EntryKind::Missing) {
        opened = platform::openFile(name, platform::OpenMode::CreateReadWrite);
    } else {
        opened = platform::openFile(name, platform::OpenMode::ReadWrite);
        if (!opened.file.isOpen() && opened.error != EISDIR) {
            platform::OpenResult readOnly = platform::openFile(name, platform::OpenMode::ReadOnly);
            if (readOnly.file.isOpen()) {
                opened = std::move(readOnly);
            }
        }
    }
    if (!opened.file.isOpen()) {
        report::fatalFileError(report::hostError(opened.error), report::OP_OPEN, channel, name,
                               std::nullopt, where);
    }
    return RecordFile(openedFile(name, channel, std::move(opened.file), OldContent::Untouched));
}

lines::ByteOrderMark passByteOrderMark(RecordFile& recordFile,
                                       const report::SourceLocation& where) {
    State& file = recordFile.state_;
    report::noteUnderWay(report::OP_FORMATTED_READ, file.channel, file.name, file.recordNumber + 1,
                         where);
    startReading(file);
    std::string_view start;
    const lines::TakeResult looked =
        lines::lookAhead(*file.input, lines::LONGEST_BYTE_ORDER_MARK, start);
    if (looked.status != lines::LineStatus::Line && looked.status != lines::LineStatus::End) {
        ++file.recordNumber; // the first record, which was to be read
        fail(file, report::errorOfTake(looked), report::OP_FORMATTED_READ, where);
    }
    const lines::LeadingMark mark = lines::byteOrderMarkAt(start);
    lines::passOver(*file.input, mark.length);
    return mark.kind;
}

ReadOutcome readRecord(RecordFile& file, const LayoutPlan& plan, std::vector<FixedText>& values,
                       const report::SourceLocation& where) {
    std::string_view line;
    if (readLines(file, &line, 1, where) == 0) {
        return ReadOutcome::End;
    }
    cutLine(line, plan, values);
    return ReadOutcome::Record;
}

std::size_t readLines(RecordFile& recordFile, std::string_view* lines, std::size_t most,
                      const report::SourceLocation& where) {
    State& file = recordFile.state_;
    report::noteUnderWay(report::OP_FORMATTED_READ, file.channel, file.name, file.recordNumber + 1,
                         where);
    startReading(file);
    // The record count is kept as one read a record at a time keeps it: an attempt that finds
    // the end counts too.
    std::size_t count = 0;
    const lines::TakeResult taken = lines::takeLines(*file.input, lines, most, count);
    if (taken.status == lines::LineStatus::Line || taken.status == lines::LineStatus::End) {
        file.recordNumber += static_cast<std::int32_t>(count == 0 ? 1 : count);
        return count;
    }
    ++file.recordNumber;
    fail(file, report::errorOfTake(taken), report::OP_FORMATTED_READ, where);
}

void writeRecord(RecordFile& file, const LayoutPlan& plan, const std::vector<FixedText>& values,
                 const report::SourceLocation& where) {
    char* const line = recordRoom(file, plan.width, where);
    commitRecord(file, buildLineAt(plan, values, line), where);
}

char* recordRoom(RecordFile& recordFile, std::size_t width, const report::SourceLocation& where) {
    State& file = recordFile.state_;
    if (file.oldContent != OldContent::Cut) {
        cutOldContent(file, report::OP_FORMATTED_WRITE, where);
    }
    // The record is built straight into the block.
    if (!lines::roomForLine(file.output, width)) {
        ++file.recordNumber;
        fail(file, report::outOfMemory(), report::OP_FORMATTED_WRITE, where);
    }
    return file.output.end();
}

void commitRecord(RecordFile& recordFile, std::size_t length, const report::SourceLocation& where) {
    State& file = recordFile.state_;
    ++file.recordNumber;
    if (const std::size_t load = lines::endLine(file.output, length);
        lines::loadIsFull(file.output)) {
        // The first full load starts the writer thread, which asks for memory.
        try {
            sendLoad(file, load, where);
        } catch (const std::bad_alloc&) {
            fail(file, report::outOfMemory(), report::OP_FORMATTED_WRITE, where);
        }
    }
}

void close(RecordFile& recordFile, const report::SourceLocation& where) {
    State& file = recordFile.state_;
    report::noteUnderWay(report::OP_CLOSE, file.channel, file.name, file.recordNumber, where);
    if (file.behind) {
        const int error = lines::finishWriteBehind(*file.behind);
        file.behind.reset();
        if (error != 0) {
            fail(file, report::hostError(error), report::OP_CLOSE, where);
        }
    }
    sendOutput(file, file.output.used(), report::OP_CLOSE, where);
    if (file.oldContent == OldContent::Untouched) {
        cutOldContent(file, report::OP_CLOSE, where);
    }
    if (const int error = platform::closeFile(file.file); error != 0) {
        fail(file, report::hostError(error), report::OP_CLOSE, where);
    }
    report::noteNoneUnderWay();
}

} // namespace records
