#include "console/console.h"

#include <string>

#include "lines/line_end.h"
#include "lines/line_source.h"
#include "platform/files.h"
#include "platform/process.h"
#include "report/fatal.h"
#include "report/under_way.h"

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
    lines::LineSource input{STDIN_FD};
    std::string line; // the output line being formed, reused
    std::string head; // the kept part of the input line being read
};

ConsoleState& state() {
    static ConsoleState console;
    return console;
}

void beginOutput(std::string_view operation, const report::SourceLocation& where) {
    report::noteUnderWay(operation, STDOUT_CHANNEL, STDOUT_NAME, counts.written + 1, where);
}

void beginInput(std::string_view operation, const report::SourceLocation& where) {
    report::noteUnderWay(operation, STDIN_CHANNEL, STDIN_NAME, counts.read + 1, where);
}

void writeLine(std::string& line, std::string_view operation, const report::SourceLocation& where) {
    line.append(lines::lineEndFor(STDOUT_FD));
    const int error = platform::writeAll(STDOUT_FD, line.data(), line.size());
    if (error != 0) {
        report::fatalFileError(report::hostError(error), operation, STDOUT_CHANNEL, STDOUT_NAME,
                               counts.written + 1, where);
    }
    ++counts.written;
    report::noteNoneUnderWay();
}

// Takes one input line, keeping its first `keep` bytes in the console's head buffer.
const std::string& readLine(std::size_t keep, std::string_view operation,
                            const report::SourceLocation& where) {
    ConsoleState& console = state();
    const lines::TakeResult taken = console.input.takeLineHead(keep, console.head);
    const std::int32_t recordNumber = counts.read + 1;
    if (taken.status != lines::LineStatus::Line) {
        report::fatalFileError(report::errorOfTake(taken), operation, STDIN_CHANNEL, STDIN_NAME,
                               recordNumber, where);
    }
    counts.read = recordNumber;
    return console.head;
}

} // namespace

void printMessage(std::string_view text, const report::SourceLocation& where) {
    beginOutput(report::OP_LIST_DIRECTED_WRITE, where);
    std::string& line = state().line;
    line.assign(1, ' ');
    line.append(text);
    writeLine(line, report::OP_LIST_DIRECTED_WRITE, where);
}

void printBlankLine(const report::SourceLocation& where) {
    beginOutput(report::OP_LIST_DIRECTED_WRITE, where);
    std::string& line = state().line;
    line.clear();
    writeLine(line, report::OP_LIST_DIRECTED_WRITE, where);
}

void printFixedLine(const records::RecordLayout& layout,
                    const std::vector<records::FixedText>& values,
                    const report::SourceLocation& where) {
    beginOutput(report::OP_FORMATTED_WRITE, where);
    std::string& line = state().line;
    records::buildLine(layout, values, line);
    writeLine(line, report::OP_FORMATTED_WRITE, where);
}

void waitForEnter(const report::SourceLocation& where) {
    beginInput(report::OP_LIST_DIRECTED_READ, where);
    (void)readLine(0, report::OP_LIST_DIRECTED_READ, where);
    report::noteNoneUnderWay();
}

records::FixedText readAnswer(std::size_t width, const report::SourceLocation& where) {
    beginInput(report::OP_FORMATTED_READ, where);
    records::FixedText answer =
        records::FixedText(readLine(width, report::OP_FORMATTED_READ, where), width);
    report::noteNoneUnderWay();
    return answer;
}

report::NotedOperation nextOutputLine(const report::SourceLocation& where) {
    return {report::OP_LIST_DIRECTED_WRITE, STDOUT_CHANNEL, STDOUT_NAME, counts.written + 1, where};
}

} // namespace console
