// The fatal reports that README.md quotes, source file and line number included, are what this
// build prints in the runs that the README describes: moving the code that asks for the failing
// operation fails here until the quote follows it.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support/launch.h"

namespace {

using namespace test_support;
namespace fs = std::filesystem;

// The fenced blocks of the README, each as its lines joined with LF.
std::vector<std::string> fencedBlocks(const std::string& markdown) {
    std::vector<std::string> blocks;
    std::istringstream lines(markdown);
    std::string line;
    std::string block;
    bool inBlock = false;
    while (std::getline(lines, line)) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos && line.compare(start, 3, "```") == 0) {
            if (inBlock) {
                blocks.push_back(block);
            }
            block.clear();
            inBlock = !inBlock;
        } else if (inBlock) {
            block += line + "\n";
        }
    }
    return blocks;
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
    Launch launch;
    launch.folder = folder.dir;
    launch.in = Stream::bytes(input);
    launch.builtProgram = true; // the README quotes the Linux build
    std::string err = runProgram(launch).err;
    std::erase(err, '\r');
    return err;
}

TEST(ReadmeQuotes, EveryQuotedFatalReportIsWhatTheProgramPrints) {
    struct Quote {
        std::string reportLine; // how the quoted block's report line begins
        std::string printed;
    };
    const std::vector<Quote> quotes = {
        {"Fatal file error /CLOSE/unit=2/", reportOnTheExample("Yes\n\n", "/dev/full")},
        {"Fatal file error 217/list-directed read/unit=5/", reportOnTheExample("Yes\n")},
    };
    int quoted = 0;
    for (const std::string& block : fencedBlocks(readFile(MTS_README_PATH))) {
        if (block.find(" In source file ") == std::string::npos) {
            continue;
        }
        ++quoted;
        bool known = false;
        for (const Quote& quote : quotes) {
            if (block.find(quote.reportLine) != std::string::npos) {
                known = true;
                EXPECT_EQ(block, quote.printed)
                    << "README.md quotes a report that the program no longer prints as quoted";
            }
        }
        EXPECT_TRUE(known) << "README.md quotes a report that no run here makes:\n" << block;
    }
    EXPECT_EQ(quoted, static_cast<int>(quotes.size())) << "a quoted report has gone from README.md";
}

} // namespace
