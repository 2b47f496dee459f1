#include "console/console.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/process.h"
#include "test_support/fatal_report.h"
#include "test_support/test_support.h"

namespace console {
namespace {

using records::FixedText;

using test_support::RunResult;

// The console keeps its line counts for the whole process, so every case runs in a fresh child
// with `input` as standard input. When `output` is given it becomes standard output.
RunResult runConsole(const std::string& input, const std::function<void()>& body, int output = -1) {
    return test_support::runInChild(body, input, output);
}

// A fixed-layout line of any layout; the map table's own are checked through the whole run.
const records::RecordLayout ROW{{records::Skip{2}, records::TextField{5}, records::TextField{3}}};

// Each line is on the device when the call returns.
TEST(ConsoleOutput, LinesHaveExactBytesAndAreOnTheDeviceWhenTheCallReturns) {
    const std::string guidance(86, 'g');
    const std::string odd("\t\0\xff", 3);
    const RunResult child = runConsole("", [&] {
        const auto expectSize = [](off_t size, int failure) {
            struct stat info {};
            if (::fstat(STDOUT_FILENO, &info) != 0 || info.st_size != size) {
                ::_exit(failure);
            }
        };
        printMessage("Sort AllPicturesUnsorted.txt");
        expectSize(31, 1);
        printMessage("");
        printMessage("trailing  ");
        printMessage(guidance);
        printMessage(odd);
        printBlankLine();
        expectSize(144, 2);
        printFixedLine(ROW, {FixedText("ab", 5), FixedText("c\td", 3)});
        expectSize(156, 3);
    });
    EXPECT_EQ(child.exitStatus, 0) << child.err;
    const std::string expected = " Sort AllPicturesUnsorted.txt\r\n"
                                 " \r\n"
                                 " trailing  \r\n"
                                 " " +
                                 guidance + "\r\n " + odd + "\r\n\r\n  ab   c\td\r\n";
    EXPECT_EQ(child.out, expected);
    EXPECT_EQ(child.err, "");
}

// Each answer is echoed between brackets; then waiting for Enter takes one line with text and an
// empty one, and a second answer shows where those lines ended. A lone CR is an ordinary byte.
TEST(ConsoleInput, ReadAnswerTakesTheFirstTwoBytesOfOneLineAndWaitForEnterOneWholeLine) {
    const auto bracketed = [](const records::FixedText& answer) {
        return std::string("[").append(answer.text()).append("]");
    };
    using Answer = std::pair<std::string, std::string>;
    for (const auto& [input, answer] :
         {Answer{"\n", "  "}, Answer{"\r\n", "  "}, Answer{"N\n", "N "}, Answer{"No\n", "No"},
          Answer{"No\r\n", "No"}, Answer{"Nope\n", "No"}, Answer{" no\n", " n"},
          Answer{"Yes\r\n", "Ye"}, Answer{"N\r\r\n", "N\r"}, Answer{"No\r\r\n", "No"},
          Answer{std::string(300'000, 'x') + "\r\n", "xx"}}) {
        SCOPED_TRACE(::testing::PrintToString(input.substr(0, 10)));
        const RunResult child = runConsole(input + "first line\r\n\nYe\n", [&bracketed] {
            printMessage(bracketed(readAnswer(2)));
            waitForEnter();
            waitForEnter();
            printMessage(bracketed(readAnswer(2)));
        });
        EXPECT_EQ(child.exitStatus, 0) << child.err;
        EXPECT_EQ(child.out, " [" + answer + "]\r\n [Ye]\r\n");
    }
}

// A fatal end after `out`, with `report` as the program gives it for a call at `line` of this file.
void expectFatalEnd(const RunResult& child, const std::string& out,
                    const test_support::FatalReport& report, int line) {
    EXPECT_EQ(child.exitStatus, 127);
    EXPECT_EQ(child.out, out);
    EXPECT_EQ(child.err, test_support::reportAt(report, "console_test.cpp", line));
}

// At the end of the input, after a last line without its end or at the very first read, and on a
// read error, a read gives the fatal report.
TEST(ConsoleInput, EndOfInputOrAReadErrorGivesTheFatalReport) {
    using test_support::endOfInputReport;
    int line = __LINE__ + 3;
    RunResult child = runConsole("No", [] {
        printMessage(readAnswer(2).text());
        waitForEnter();
        printMessage("never printed");
    });
    expectFatalEnd(child, " No\r\n", endOfInputReport("list-directed read", 2), line);
    line = __LINE__ + 1;
    child = runConsole("", [] { waitForEnter(); });
    expectFatalEnd(child, "", endOfInputReport("list-directed read", 1), line);
    line = __LINE__ + 1;
    child = runConsole("", [] { (void)readAnswer(2); });
    expectFatalEnd(child, "", endOfInputReport("formatted read", 1), line);
    line = __LINE__ + 5;
    child = runConsole("", [] {
        if (::dup2(::open("/", O_RDONLY | O_DIRECTORY), STDIN_FILENO) < 0) {
            ::_exit(4);
        }
        (void)readAnswer(2);
    });
    expectFatalEnd(child, "",
                   test_support::hostErrorReport(EISDIR, "formatted read", 5, "stdin ", 1), line);
}

// A reader that goes away must give the report, not a silent death by signal.
TEST(ConsoleOutputFailure, ClosedPipeOrFullDeviceGivesTheFatalReport) {
    using test_support::hostErrorReport;
    int line = __LINE__ + 9;
    RunResult child = runConsole("", [] {
        platform::prepareProcess();
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0 || ::dup2(pipeEnds[1], STDOUT_FILENO) < 0) {
            ::_exit(4);
        }
        printMessage("fits in the pipe");
        ::close(pipeEnds[0]); // the reader goes away
        printFixedLine(ROW, {FixedText("a", 5), FixedText("b", 3)});
        ::_exit(3);
    });
    expectFatalEnd(child, "", hostErrorReport(EPIPE, "formatted write", 6, "stdout ", 2), line);

    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const auto blank = [] { printBlankLine(); };
    line = __LINE__ - 1;
    child = runConsole("", blank, full);
    ::close(full);
    expectFatalEnd(child, "", hostErrorReport(ENOSPC, "list-directed write", 6, "stdout ", 1),
                   line);
}

} // namespace
} // namespace console
