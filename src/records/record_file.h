#pragma once

#include "report/source_location.h"
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lines/byte_order_mark.h"
#include "lines/line_source.h"
#include "lines/write_behind.h"
#include "lines/write_block.h"
#include "platform/files.h"
#include "records/fixed_text.h"
#include "records/layout.h"

namespace records {

// What becomes of the content that a file held before it was opened.
enum class OldContent {
    Untouched, // opened by openOrCreate, no record read or written yet: emptied at the close
    Kept,      // opened by openExisting, or read from: stays unless a record is written
    Cut,       // a record has been written, after the old content was discarded
};

// One open file of line records. Every failure except a failed openExisting ends the process
// through fatalFileError, naming the caller's source line. A file that goes without its close (a
// thrown exception) is closed all the same: its writer thread ends once the load it was handed is
// written, and the records that still wait in its buffer are dropped.
class RecordFile {
  public:
    // What a file holds; only the operations below reach a file's own.
    struct State {
        std::string name;
        std::int32_t channel = 0;
        platform::FileDescriptor file;
        std::int32_t recordNumber = 0; // the records read or written so far, as the report counts
        OldContent oldContent = OldContent::Kept;
        std::optional<lines::LineSource> input; // made by the first read
        // Records written but not yet sent to the file, gathered by the rule of write_block.h;
        // each full load goes out by a thread of its own while the next is filled.
        lines::WriteBlock output;
        // Writes full loads while the next is filled; ended before the file is closed.
        std::unique_ptr<lines::WriteBehind> behind;
    };

  private:
    explicit RecordFile(State state) : state_(std::move(state)) {}
    State state_;

    friend std::optional<RecordFile> openExisting(std::string_view name, std::int32_t channel,
                                                  const report::SourceLocation& where);
    friend RecordFile openOrCreate(std::string_view name, std::int32_t channel,
                                   const report::SourceLocation& where);
    friend lines::ByteOrderMark passByteOrderMark(RecordFile& file,
                                                  const report::SourceLocation& where);
    friend std::size_t readLines(RecordFile& file, std::string_view* lines, std::size_t most,
                                 const report::SourceLocation& where);
    friend char* recordRoom(RecordFile& file, std::size_t width,
                            const report::SourceLocation& where);
    friend void commitRecord(RecordFile& file, std::size_t length,
                             const report::SourceLocation& where);
    friend void close(RecordFile& file, const report::SourceLocation& where);
};

// Opens a file that must exist already; an absent, directory or unopenable entry gives nothing,
// without any message.
std::optional<RecordFile>
openExisting(std::string_view name, std::int32_t channel,
             const report::SourceLocation& where = report::SourceLocation::current());

// Opens a file, creating it empty when it is missing.
RecordFile openOrCreate(std::string_view name, std::int32_t channel,
                        const report::SourceLocation& where = report::SourceLocation::current());

// Before the first record is read: the byte-order mark that the file starts with, if any, which
// the reads that follow then pass over. Counts as a read: the file keeps its content at the close.
lines::ByteOrderMark
passByteOrderMark(RecordFile& file,
                  const report::SourceLocation& where = report::SourceLocation::current());

enum class ReadOutcome { Record, End };

// Reads the next line into `values` (shaped by blankValues of the layout), cut by the layout's
// plan, made once with planLayout.
ReadOutcome readRecord(RecordFile& file, const LayoutPlan& plan, std::vector<FixedText>& values,
                       const report::SourceLocation& where = report::SourceLocation::current());

void writeRecord(RecordFile& file, const LayoutPlan& plan, const std::vector<FixedText>& values,
                 const report::SourceLocation& where = report::SourceLocation::current());

// Reads up to `most` lines into `lines`, as they stand in the file without their line ends, each
// a record; they stay valid until the next read. Returns how many (0 at the end of the file).
// For files of many records whose lines the caller looks at itself before cutting them.
std::size_t readLines(RecordFile& file, std::string_view* lines, std::size_t most,
                      const report::SourceLocation& where = report::SourceLocation::current());

// Room for the next record, of at most `width` bytes, at the end of the output waiting to go out:
// the caller puts the record there and hands its length to commitRecord, which adds the line end.
char* recordRoom(RecordFile& file, std::size_t width,
                 const report::SourceLocation& where = report::SourceLocation::current());
void commitRecord(RecordFile& file, std::size_t length,
                  const report::SourceLocation& where = report::SourceLocation::current());

// Sends what waits in the buffer and closes the file. A file that was opened by openOrCreate and
// then neither read nor written is left empty, so that old content can never pass for new output.
void close(RecordFile& file,
           const report::SourceLocation& where = report::SourceLocation::current());

} // namespace records
