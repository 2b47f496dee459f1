#include "records/record_file.h"

#include <cerrno>
#include <string_view>

#include "records/fatal.h"
#include "records/os_io.h"

namespace records {

namespace {

constexpr std::size_t OUTPUT_BUFFER_SIZE = std::size_t{1} << 20;
constexpr std::string_view RECORD_END = "\r\n";

RecordFile openedFile(const std::string& name, std::int32_t channel, int fd) {
    RecordFile file;
    file.name = name;
    file.channel = channel;
    file.fd = fd;
    return file;
}

[[noreturn]] void fail(const RecordFile& file, FileError error, std::string_view operation,
                       const std::source_location& where) {
    fatalFileError(error, operation, file.channel, file.name, file.recordNumber, where);
}

void sendOutput(RecordFile& file, std::string_view operation, const std::source_location& where) {
    if (file.output.empty()) {
        return;
    }
    const int error = os::writeAll(file.fd, file.output.data(), file.output.size());
    if (error != 0) {
        fail(file, hostError(error), operation, where);
    }
    file.output.clear();
}

// A file that is written has never been read, so its current position is its start.
void cutOldContent(RecordFile& file, std::string_view operation,
                   const std::source_location& where) {
    file.cutPending = false;
    if (os::fileSize(file.fd) > 0) {
        const int error = os::truncateAt(file.fd, 0);
        if (error != 0) {
            fail(file, hostError(error), operation, where);
        }
    }
}

} // namespace

std::optional<RecordFile> openExisting(const std::string& name, std::int32_t channel) {
    if (os::entryKind(name) != os::EntryKind::Other) {
        return std::nullopt;
    }
    os::OpenResult opened = os::openReadWrite(name);
    if (opened.fd < 0) {
        opened = os::openReadOnly(name);
    }
    if (opened.fd < 0) {
        return std::nullopt;
    }
    return openedFile(name, channel, opened.fd);
}

RecordFile openOrCreate(const std::string& name, std::int32_t channel,
                        const std::source_location& where) {
    os::OpenResult opened{-1, 0};
    if (os::entryKind(name) == os::EntryKind::Missing) {
        opened = os::createEmpty(name);
    } else {
        opened = os::openReadWrite(name);
        if (opened.fd < 0 && opened.error != EISDIR) {
            const os::OpenResult readOnly = os::openReadOnly(name);
            opened = readOnly.fd >= 0 ? readOnly : opened;
        }
    }
    if (opened.fd < 0) {
        fatalFileError(hostError(opened.error), OP_OPEN, channel, name, std::nullopt, where);
    }
    RecordFile file = openedFile(name, channel, opened.fd);
    file.emptyIfUnused = true;
    return file;
}

ReadOutcome readRecord(RecordFile& file, const RecordLayout& layout, std::vector<FixedText>& values,
                       const std::source_location& where) {
    if (file.input.fd < 0) {
        file.input = lineSourceFor(file.fd);
    }
    file.readOrWritten = true;
    ++file.recordNumber;
    std::string_view line;
    const TakeResult taken = takeLine(file.input, line);
    switch (taken.status) {
    case LineStatus::Line:
        cutLine(line, layout, values);
        return ReadOutcome::Record;
    case LineStatus::End:
        return ReadOutcome::End;
    case LineStatus::ReadFailed:
        fail(file, hostError(taken.error), OP_FORMATTED_READ, where);
    case LineStatus::OutOfMemory:
        break;
    }
    fail(file, ownError(CODE_OUT_OF_MEMORY), OP_FORMATTED_READ, where);
}

void writeRecord(RecordFile& file, const RecordLayout& layout, const std::vector<FixedText>& values,
                 const std::source_location& where) {
    if (file.cutPending) {
        cutOldContent(file, OP_FORMATTED_WRITE, where);
        file.output.reserve(OUTPUT_BUFFER_SIZE);
    }
    file.readOrWritten = true;
    ++file.recordNumber;
    try {
        buildLine(layout, values, file.lineScratch);
        if (file.output.size() + file.lineScratch.size() + RECORD_END.size() > OUTPUT_BUFFER_SIZE) {
            sendOutput(file, OP_FORMATTED_WRITE, where);
        }
        file.output.insert(file.output.end(), file.lineScratch.begin(), file.lineScratch.end());
        file.output.insert(file.output.end(), RECORD_END.begin(), RECORD_END.end());
    } catch (const std::bad_alloc&) {
        fail(file, ownError(CODE_OUT_OF_MEMORY), OP_FORMATTED_WRITE, where);
    }
}

void close(RecordFile& file, const std::source_location& where) {
    sendOutput(file, OP_CLOSE, where);
    if (file.emptyIfUnused && !file.readOrWritten && file.cutPending) {
        cutOldContent(file, OP_CLOSE, where);
    }
    const int error = os::closeFile(file.fd);
    file.fd = -1;
    if (error != 0) {
        fail(file, hostError(error), OP_CLOSE, where);
    }
}

} // namespace records
