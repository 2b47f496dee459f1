#pragma once

#include "report/source_location.h"
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "records/fixed_text.h"
#include "records/layout.h"
#include "report/under_way.h"

// The operator's dialogue: lines on standard output, each out on the device before the call
// returns, and lines read from standard input. Any failure ends the process through the fatal
// report; nothing is passed back to the caller.
namespace console {

inline constexpr std::int32_t STDIN_CHANNEL = 5;
inline constexpr std::int32_t STDOUT_CHANNEL = 6;

// One blank, the text with all its bytes, the line end.
void printMessage(std::string_view text,
                  const report::SourceLocation& where = report::SourceLocation::current());

// The line end alone.
void printBlankLine(const report::SourceLocation& where = report::SourceLocation::current());

// A line built by `layout` from `values`, starting in column 1.
void printFixedLine(const records::RecordLayout& layout,
                    const std::vector<records::FixedText>& values,
                    const report::SourceLocation& where = report::SourceLocation::current());

// Reads one line and forgets it.
void waitForEnter(const report::SourceLocation& where = report::SourceLocation::current());

// Reads one line and returns its first `width` bytes, blank-filled.
records::FixedText
readAnswer(std::size_t width,
           const report::SourceLocation& where = report::SourceLocation::current());

// The next line of standard output, as a list-directed write asked for at `where`: the stream that
// the run is at between its stages, when no file or stream operation is under way.
report::NotedOperation
nextOutputLine(const report::SourceLocation& where = report::SourceLocation::current());

} // namespace console
