#include "records/record_file.h"

#include <cerrno>
#include <new>
#include <string_view>

#include "lines/write_behind.h"
#include "platform/files.h"
#include "report/fatal.h"
#include "report/under_way.h"

namespace records {

RecordFile::RecordFile(const std::string& name, std::int32_t channel, platform::FileDescriptor file,
                       OldContent oldContent)
    : name_(name), channel_(channel), file_(std::move(file)), oldContent_(oldContent) {}

RecordFile::RecordFile(RecordFile&&) noexcept = default;

RecordFile::~RecordFile() = default;

void RecordFile::fail(report::FileError error, std::string_view operation,
                      const SourceLocation& where) const {
    report::fatalFileError(error, operation, channel_, name_, recordNumber_, where);
}

// Sends the first `count` bytes that wait in the buffer and moves the rest to its front.
void RecordFile::sendOutput(std::size_t count, std::string_view operation,
                            const SourceLocation& where) {
    if (count == 0) {
        return;
    }
    const int error = platform::writeAll(file_.get(), output_.data(), count);
    if (error != 0) {
        fail(report::hostError(error), operation, where);
    }
    output_.dropFront(count);
}

// Sends a full load, the first `count` bytes of the buffer, while the records after them go on
// being made: a file of many records is written by a thread of its own. A write error shows at the
// next load or at the close.
void RecordFile::sendLoad(std::size_t count, const SourceLocation& where) {
    if (!behind_) {
        behind_ = std::make_unique<lines::WriteBehind>();
        if (!behind_->start(file_.get())) {
            behind_.reset();
        }
    }
    if (!behind_) {
        sendOutput(count, report::OP_FORMATTED_WRITE, where);
        return;
    }
    const lines::HandOverResult handed = behind_->handOver(output_, count);
    if (handed.outOfMemory) {
        fail(report::outOfMemory(), report::OP_FORMATTED_WRITE, where);
    }
    if (handed.writeError != 0) {
        fail(report::hostError(handed.writeError), report::OP_FORMATTED_WRITE, where);
    }
}

// A file that is written has never been read, so its current position is its start.
void RecordFile::cutOldContent(std::string_view operation, const SourceLocation& where) {
    oldContent_ = OldContent::Cut;
    // Only a file known to be empty is spared the cut: one whose size cannot be told may hold an
    // earlier run's lines.
    if (platform::fileSize(file_.get()) != 0) {
        const int error = platform::truncateAt(file_.get(), 0);
        if (error != 0) {
            fail(report::hostError(error), operation, where);
        }
    }
}

// A file that is read keeps its content, even when no record is read from it in the end.
void RecordFile::startReading() {
    if (!input_) {
        input_.emplace(file_.get());
    }
    if (oldContent_ == OldContent::Untouched) {
        oldContent_ = OldContent::Kept;
    }
}

std::optional<RecordFile> RecordFile::openExisting(std::string_view fileName, std::int32_t channel,
                                                   const SourceLocation& where) {
    report::noteUnderWay(report::OP_OPEN, channel, fileName, std::nullopt, where);
    const std::string name(fileName);
    const platform::EntryKind kind = platform::entryKind(name);
    platform::OpenResult opened;
    if (kind != platform::EntryKind::Missing && kind != platform::EntryKind::Directory) {
        opened = platform::openFile(name, platform::OpenMode::ReadWrite);
        if (!opened.file.isOpen()) {
            opened = platform::openFile(name, platform::OpenMode::ReadOnly);
        }
    }
    if (!opened.file.isOpen()) {
        report::noteNoneUnderWay(); // nothing was opened, so nothing is at work
        return std::nullopt;
    }
    return RecordFile(name, channel, std::move(opened.file), OldContent::Kept);
}

RecordFile RecordFile::openOrCreate(std::string_view fileName, std::int32_t channel,
                                    const SourceLocation& where) {
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
    return RecordFile(name, channel, std::move(opened.file), OldContent::Untouched);
}

lines::ByteOrderMark RecordFile::passByteOrderMark(const SourceLocation& where) {
    report::noteUnderWay(report::OP_FORMATTED_READ, channel_, name_, recordNumber_ + 1, where);
    startReading();
    std::string_view start;
    const lines::TakeResult looked = input_->lookAhead(lines::LONGEST_BYTE_ORDER_MARK, start);
    if (looked.status != lines::LineStatus::Line && looked.status != lines::LineStatus::End) {
        ++recordNumber_; // the first record, which was to be read
        fail(report::errorOfTake(looked), report::OP_FORMATTED_READ, where);
    }
    const lines::LeadingMark mark = lines::byteOrderMarkAt(start);
    input_->passOver(mark.length);
    return mark.kind;
}

ReadOutcome RecordFile::readRecord(const LayoutPlan& plan, std::vector<FixedText>& values,
                                   const SourceLocation& where) {
    std::string_view line;
    if (readLines(&line, 1, where) == 0) {
        return ReadOutcome::End;
    }
    cutLine(line, plan, values);
    return ReadOutcome::Record;
}

std::size_t RecordFile::readLines(std::string_view* lines, std::size_t most,
                                  const SourceLocation& where) {
    report::noteUnderWay(report::OP_FORMATTED_READ, channel_, name_, recordNumber_ + 1, where);
    startReading();
    // The record count is kept as one read a record at a time keeps it: an attempt that finds
    // the end counts too.
    std::size_t count = 0;
    const lines::TakeResult taken = input_->takeLines(lines, most, count);
    if (taken.status == lines::LineStatus::Line || taken.status == lines::LineStatus::End) {
        recordNumber_ += static_cast<std::int32_t>(count == 0 ? 1 : count);
        return count;
    }
    ++recordNumber_;
    fail(report::errorOfTake(taken), report::OP_FORMATTED_READ, where);
}

void RecordFile::writeRecord(const LayoutPlan& plan, const std::vector<FixedText>& values,
                             const SourceLocation& where) {
    char* const line = recordRoom(plan.width, where);
    commitRecord(buildLineAt(plan, values, line), where);
}

char* RecordFile::recordRoom(std::size_t width, const SourceLocation& where) {
    return recordsRoom(1, width, where);
}

void RecordFile::commitRecord(std::size_t length, const SourceLocation& where) {
    commitRecords(1, length, where);
}

char* RecordFile::recordsRoom(std::size_t count, std::size_t width, const SourceLocation& where) {
    if (oldContent_ != OldContent::Cut) {
        cutOldContent(report::OP_FORMATTED_WRITE, where);
    }
    // The records are built straight into the block.
    if (!lines::roomForLines(output_, count, width)) {
        ++recordNumber_;
        fail(report::outOfMemory(), report::OP_FORMATTED_WRITE, where);
    }
    return output_.end();
}

void RecordFile::commitRecords(std::size_t count, std::size_t width, const SourceLocation& where) {
    const std::size_t before = output_.used();
    const std::size_t load = lines::endLines(output_, count, width);
    if (!lines::loadIsFull(output_)) {
        recordNumber_ += static_cast<std::int32_t>(count);
        return;
    }
    // Counted as records written one by one are: a failure to send the load names the record that
    // filled it.
    const std::size_t upToFilling = (load - before) / lines::writtenSize(width) + 1;
    recordNumber_ += static_cast<std::int32_t>(upToFilling);
    // The first full load starts the writer thread, which asks for memory.
    try {
        sendLoad(load, where);
    } catch (const std::bad_alloc&) {
        fail(report::outOfMemory(), report::OP_FORMATTED_WRITE, where);
    }
    recordNumber_ += static_cast<std::int32_t>(count - upToFilling);
}

void RecordFile::close(const SourceLocation& where) {
    report::noteUnderWay(report::OP_CLOSE, channel_, name_, recordNumber_, where);
    if (behind_) {
        const int error = behind_->finish();
        behind_.reset();
        if (error != 0) {
            fail(report::hostError(error), report::OP_CLOSE, where);
        }
    }
    sendOutput(output_.used(), report::OP_CLOSE, where);
    if (oldContent_ == OldContent::Untouched) {
        cutOldContent(report::OP_CLOSE, where);
    }
    if (const int error = file_.close(); error != 0) {
        fail(report::hostError(error), report::OP_CLOSE, where);
    }
    report::noteNoneUnderWay();
}

} // namespace records
