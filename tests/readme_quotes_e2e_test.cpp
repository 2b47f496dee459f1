// The fatal reports that README.md quotes, source file and line number included, are what this
// build prints in the runs that the README describes: moving the code that asks for the failing
// operation fails here until the quote follows it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support/launch.h"

namespace {

using namespace test_support;
namespace fs = std::filesystem;

// The README's fenced blocks at the start of a line that quote a fatal report, each as its lines
// joined with LF. Blocks fenced inside a list item are indented and never quote one.
std::vector<std::string> quotedReports() {
    std::istringstream lines(readFile(MTS_README_PATH));
    std::vector<std::string> reports;
    std::string line;
    std::string block;
    bool inBlock = false;
    while (std::getline(lines, line)) {
        if (!line.starts_with("```")) {
            block += inBlock ? line + "\n" : "";
            continue;
        }
        if (inBlock && block.find(" In source file ") != std::string::npos) {
            reports.push_back(block);
        }
        block.clear();
        inBlock = !inBlock;
    }
    return reports;
}

// Standard error of the built program on the example catalogue, with `input` as the answers and a
// link to `unsortedTarget` in place of the unsorted list when one is given; CR LF read as LF.
std::string reportOnTheExample(const std::string& input, const std::string& unsortedTarget = "") {
    const TempFolder folder("mts-readme");
    for (const auto& entry : fs::directory_iterator(MTS_EXAMPLES_DIR)) {
        fs::copy_file(entry.path(), folder.dir / entry.path().filename());
    }
    if (!unsortedTarget.empty()) {
        fs::create_symlink(unsortedTarget, folder.dir / "AllPicturesUnsorted.txt");
    }
    // The README quotes the Linux build.
    std::string err =
        runProgram({.folder = folder.dir, .in = Stream::bytes(input), .builtProgram = true}).err;
    std::erase(err, '\r');
    return err;
}

TEST(ReadmeQuotes, EveryQuotedFatalReportIsWhatTheProgramPrints) {
    // What each run prints, under the beginning of its report line.
    const std::map<std::string, std::string> printed = {
        {"Fatal file error /CLOSE/unit=2/", reportOnTheExample("Yes\n\n", "/dev/full")},
        {"Fatal file error 217/list-directed read/unit=5/", reportOnTheExample("Yes\n")},
    };
    const std::vector<std::string> quoted = quotedReports();
    EXPECT_EQ(quoted.size(), printed.size())
        << "README.md quotes other reports than those run here";
    for (const std::string& quote : quoted) {
        const auto run = std::find_if(printed.begin(), printed.end(), [&](const auto& entry) {
            return quote.find(entry.first) != std::string::npos;
        });
        ASSERT_NE(run, printed.end()) << "no run here makes this report of README.md:\n" << quote;
        EXPECT_EQ(quote, run->second)
            << "README.md quotes a report that the program prints otherwise";
    }
}

} // namespace
