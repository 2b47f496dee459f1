#pragma once

#include "records/source_location.h"
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/fixed_text.h"
#include "records/layout.h"
#include "records/line_source.h"
#include "records/write_behind.h"

namespace records {

// Written records wait in a buffer until it holds more than this many bytes, and all but the last
// go out, by a thread of their own while the next buffer is filled. Large enough that handing a
// buffer over costs little beside writing it.
inline constexpr std::size_t OUTPUT_BUFFER_SIZE = std::size_t{1024} << 10;

// One open file of line records. Every failure except a failed openExisting ends the process
// through fatalFileError, naming the caller's source line.
struct RecordFile {
    std::string name;
    std::int32_t channel = 0;
    int fd = -1;
    std::int32_t recordNumber = 0;
    bool cutPending = true;              // old content is discarded by the first record written
    bool readOrWritten = false;          // a record operation has been made on the file
    bool emptyIfUnused = false;          // opened by openOrCreate: emptied when closed unused
    LineSource input;                    // used when records are read
    std::vector<char> output;            // room for records written but not yet sent to the file
    std::size_t outputUsed = 0;          // bytes of `output` that hold such records
    std::unique_ptr<WriteBehind> behind; // writes full buffers while the next is filled
};

// Opens a file that must exist already; an absent, directory or unopenable entry gives nothing,
// without any message.
std::optional<RecordFile> openExisting(std::string_view name, std::int32_t channel,
                                       const SourceLocation& where = SourceLocation::current());

// Opens a file, creating it empty when it is missing.
RecordFile openOrCreate(std::string_view name, std::int32_t channel,
                        const SourceLocation& where = SourceLocation::current());

enum class ReadOutcome { Record, End };

// Reads the next line into `values` (shaped by blankValues(layout)).
ReadOutcome readRecord(RecordFile& file, const RecordLayout& layout, std::vector<FixedText>& values,
                       const SourceLocation& where = SourceLocation::current());

void writeRecord(RecordFile& file, const RecordLayout& layout, const std::vector<FixedText>& values,
                 const SourceLocation& where = SourceLocation::current());

// The same, by a plan made once with planLayout: for files of many records.
ReadOutcome readRecord(RecordFile& file, const LayoutPlan& plan, std::vector<FixedText>& values,
                       const SourceLocation& where = SourceLocation::current());

void writeRecord(RecordFile& file, const LayoutPlan& plan, const std::vector<FixedText>& values,
                 const SourceLocation& where = SourceLocation::current());

// Reads up to `most` lines into `lines`, as they stand in the file without their line ends, each
// a record; they stay valid until the next read. Returns how many (0 at the end of the file).
// For files of many records whose lines the caller looks at itself before cutting them.
std::size_t readLines(RecordFile& file, std::string_view* lines, std::size_t most,
                      const SourceLocation& where = SourceLocation::current());

// Room for the next record, of at most `width` bytes, at the end of the output waiting to go out:
// the caller puts the record there and hands its length to commitRecord, which adds the line end.
char* recordRoom(RecordFile& file, std::size_t width,
                 const SourceLocation& where = SourceLocation::current());
void commitRecord(RecordFile& file, std::size_t length,
                  const SourceLocation& where = SourceLocation::current());

// Sends what waits in the buffer and closes the file. A file that was opened by openOrCreate and
// then neither read nor written is left empty, so that old content can never pass for new output.
void close(RecordFile& file, const SourceLocation& where = SourceLocation::current());

} // namespace records
