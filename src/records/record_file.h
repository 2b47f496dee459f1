#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lines/byte_order_mark.h"
#include "lines/line_source.h"
#include "lines/write_block.h"
#include "platform/files.h"
#include "records/fixed_text.h"
#include "records/layout.h"
#include "report/file_error.h"
#include "report/source_location.h"

namespace lines {
class WriteBehind;
}

namespace records {

// What becomes of the content that a file held before it was opened.
enum class OldContent {
    Untouched, // opened by openOrCreate, no record read or written yet: emptied at the close
    Kept,      // opened by openExisting, or read from: stays unless a record is written
    Cut,       // a record has been written, after the old content was discarded
};

enum class ReadOutcome { Record, End };

// One open file of line records. Every failure except a failed openExisting ends the process
// through the fatal report, naming the caller's source line. A file that goes without its close (a
// thrown exception) is closed all the same: its writer thread ends once the load it was handed is
// written, and the records that still wait in its buffer are dropped.
class RecordFile {
  public:
    using SourceLocation = report::SourceLocation;

    // Opens a file that must exist already; an absent, directory or unopenable entry gives
    // nothing, without any message.
    static std::optional<RecordFile>
    openExisting(std::string_view name, std::int32_t channel,
                 const SourceLocation& where = SourceLocation::current());

    // Opens a file, creating it empty when it is missing.
    static RecordFile openOrCreate(std::string_view name, std::int32_t channel,
                                   const SourceLocation& where = SourceLocation::current());

    RecordFile(RecordFile&& other) noexcept;
    RecordFile& operator=(RecordFile&&) = delete;
    ~RecordFile();

    // Before the first record is read: the byte-order mark that the file starts with, if any,
    // which the reads that follow then pass over. Counts as a read: the file keeps its content at
    // the close.
    lines::ByteOrderMark passByteOrderMark(const SourceLocation& where = SourceLocation::current());

    // Reads the next line into `values` (shaped by blankValues of the layout), cut by the layout's
    // plan, made once with planLayout.
    ReadOutcome readRecord(const LayoutPlan& plan, std::vector<FixedText>& values,
                           const SourceLocation& where = SourceLocation::current());

    void writeRecord(const LayoutPlan& plan, const std::vector<FixedText>& values,
                     const SourceLocation& where = SourceLocation::current());

    // Reads up to `most` lines into `lines`, as they stand in the file without their line ends,
    // each a record; they stay valid until the next read. Returns how many (0 at the end of the
    // file). For files of many records whose lines the caller looks at itself before cutting them.
    std::size_t readLines(std::string_view* lines, std::size_t most,
                          const SourceLocation& where = SourceLocation::current());

    // Room for the next record, of at most `width` bytes, at the end of the output waiting to go
    // out: the caller puts the record there and hands its length to commitRecord, which adds the
    // line end.
    char* recordRoom(std::size_t width, const SourceLocation& where = SourceLocation::current());
    void commitRecord(std::size_t length, const SourceLocation& where = SourceLocation::current());

    // The same for `count` records of exactly `width` bytes at once, each `width` + the line end's
    // size from the one before: lines read one after the other from a file that this program wrote
    // are copied in with one copy. commitRecords puts each record's line end in its place, whatever
    // the bytes there held. At most a full load's worth at once.
    char* recordsRoom(std::size_t count, std::size_t width,
                      const SourceLocation& where = SourceLocation::current());
    void commitRecords(std::size_t count, std::size_t width,
                       const SourceLocation& where = SourceLocation::current());

    // Sends what waits in the buffer and closes the file. A file that was opened by openOrCreate
    // and then neither read nor written is left empty, so that old content can never pass for new
    // output.
    void close(const SourceLocation& where = SourceLocation::current());

  private:
    RecordFile(const std::string& name, std::int32_t channel, platform::FileDescriptor file,
               OldContent oldContent);

    [[noreturn]] void fail(report::FileError error, std::string_view operation,
                           const SourceLocation& where) const;
    void sendOutput(std::size_t count, std::string_view operation, const SourceLocation& where);
    void sendLoad(std::size_t count, const SourceLocation& where);
    void cutOldContent(std::string_view operation, const SourceLocation& where);
    void startReading();

    std::string name_;
    std::int32_t channel_ = 0;
    platform::FileDescriptor file_;
    std::int32_t recordNumber_ = 0; // the records read or written so far, as the report counts
    OldContent oldContent_ = OldContent::Kept;
    std::optional<lines::LineSource> input_; // made by the first read
    // Records written but not yet sent to the file, gathered by the rule of write_block.h; each
    // full load goes out by a thread of its own while the next is filled.
    lines::WriteBlock output_;
    // Writes full loads while the next is filled; ended before the file is closed.
    std::unique_ptr<lines::WriteBehind> behind_;
};

} // namespace records
