#include "console/console.h"

#include <string>

#include "platform/files.h"
#include "platform/process.h"
#include "records/fatal.h"
#include "records/line_end.h"
#include "records/line_source.h"
#include "records/under_way.h"

namespace console {

namespace {

using platform::STDIN_FD;
using platform::STDOUT_FD;

constexpr std::string_view STDOUT_NAME = "stdout ";
constexpr std::string_view STDIN_NAME = "stdin ";

// Kept apart from the buffers, so that an operation can be noted as under way before the first
// of them is made.
struct LineCounts {
    std::int32_t written = 0;
    std::int32_t read = 0;
};
constinit LineCounts counts;

struct ConsoleState {
    records::LineSource input{STDIN_FD};
    std::string line; // the output line being formed, reused
    std::string head; // the kept part of the input line being read
};

ConsoleState& state() {
    static ConsoleState console;
    return console;
}

void beginOutput(std::string_view operation, const records::SourceLocation& where) {
    records::noteUnderWay(operation, STDOUT_CHANNEL, STDOUT_NAME, counts.written + 1, where);
}

void beginInput(std::string_view operation, const records::SourceLocation& where) {
    records::noteUnderWay(operation, STDIN_CHANNEL, STDIN_NAME, counts.read + 1, where);
}

void writeLine(std::string& line, std::string_view operation,
               const records::SourceLocation& where) {
    line.append(records::lineEndFor(STDOUT_FD));
    const int error = platform::writeAll(STDOUT_FD, line.data(), line.size());
    if (error != 0) {
        records::fatalFileError(records::hostError(error), operation, STDOUT_CHANNEL, STDOUT_NAME,
                                counts.written + 1, where);
    }
    ++counts.written;
    records::noteNoneUnderWay();
}

// Takes one input line, keeping its first `keep` bytes in the console's head buffer.
const std::string& readLine(std::size_t keep, std::string_view operation,
                            const records::SourceLocation& where) {
    ConsoleState& console = state();
    const records::TakeResult taken = records::takeLineHead(console.input, keep, console.head);
    const std::int32_t recordNumber = counts.read + 1;
    if (taken.status != records::LineStatus::Line) {
        records::fatalFileError(records::errorOfTake(taken), operation, STDIN_CHANNEL, STDIN_NAME,
                                recordNumber, where);
    }
    counts.read = recordNumber;
    return console.head;
}

} // namespace

void printMessage(std::string_view text, const records::SourceLocation& where) {
    beginOutput(records::OP_LIST_DIRECTED_WRITE, where);
    std::string& line = state().line;
    line.assign(1, ' ');
    line.append(text);
    writeLine(line, records::OP_LIST_DIRECTED_WRITE, where);
}

void printBlankLine(const records::SourceLocation& where) {
    beginOutput(records::OP_LIST_DIRECTED_WRITE, where);
    std::string& line = state().line;
    line.clear();
    writeLine(line, records::OP_LIST_DIRECTED_WRITE, where);
}

void printFixedLine(const records::RecordLayout& layout,
                    const std::vector<records::FixedText>& values,
                    const records::SourceLocation& where) {
    beginOutput(records::OP_FORMATTED_WRITE, where);
    std::string& line = state().line;
    records::buildLine(layout, values, line);
    writeLine(line, records::OP_FORMATTED_WRITE, where);
}

void waitForEnter(const records::SourceLocation& where) {
    beginInput(records::OP_LIST_DIRECTED_READ, where);
    (void)readLine(0, records::OP_LIST_DIRECTED_READ, where);
    records::noteNoneUnderWay();
}

records::FixedText readAnswer(std::size_t width, const records::SourceLocation& where) {
    beginInput(records::OP_FORMATTED_READ, where);
    records::FixedText answer =
        records::makeFixedText(readLine(width, records::OP_FORMATTED_READ, where), width);
    records::noteNoneUnderWay();
    return answer;
}

records::NotedOperation nextOutputLine(const records::SourceLocation& where) {
    return {records::OP_LIST_DIRECTED_WRITE, STDOUT_CHANNEL, STDOUT_NAME, counts.written + 1,
            where};
}

} // namespace console
