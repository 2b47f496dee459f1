#include "records/record_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "report/fatal.h"
#include "report/under_way.h"
#include "test_support/expect.h"
#include "test_support/fatal_report.h"
#include "test_support/test_support.h"

namespace records {
namespace {

namespace fs = std::filesystem;

// A record file works with any layout; one of the shape of the program's own serves here.
const RecordLayout LINE{{TextField{5}, Skip{1}, TextField{5}}};
const LayoutPlan PLAN = planLayout(LINE);
constexpr int NOBODY = 65534;
constexpr int CHILD_COULD_NOT_DROP_ROOT = 90;

using test_support::readFile;
using test_support::RunResult;
using test_support::writeFile;

// Permission bits do not stop root, so a child that needs them to hold gives up root first.
void dropRoot() {
    if (::geteuid() == 0 && (::setgid(NOBODY) != 0 || ::setuid(NOBODY) != 0)) {
        ::_exit(CHILD_COULD_NOT_DROP_ROOT);
    }
}

// The report as the program gives it for a call at `line` of this file.
std::string reportAt(const test_support::FatalReport& report, int line) {
    return test_support::reportAt(report, "record_file_test.cpp", line);
}

std::vector<FixedText> values(const std::string& first, const std::string& second) {
    return {FixedText(first, 5), FixedText(second, 5)};
}

// Works in a temporary folder open to everyone, so that a child running without root rights can
// work in it.
class RecordFileTest : public ::testing::Test {
  protected:
    RecordFileTest() { fs::permissions(temp.dir, fs::perms::all); }
    test_support::TempFolder temp{"record_file_test"};
};

// A file that is read is never written, not even when it is closed, read to its end or unread,
// whether it was opened as existing or as one to create. A missing file or a folder quietly does
// not open.
TEST_F(RecordFileTest, ReadsEveryLineAndNeverWritesItAndOpensNoMissingFileOrFolder) {
    EXPECT_FALSE(RecordFile::openExisting(temp.path("missing.txt"), 1).has_value());
    fs::create_directory(temp.dir / "folder");
    EXPECT_FALSE(RecordFile::openExisting(temp.path("folder"), 1).has_value());
    EXPECT_FALSE(fs::exists(temp.dir / "missing.txt"));
    const std::string name = temp.path("map.txt");
    writeFile(name, "Fluff|Leopard\r\n\nlast line without end");
    std::optional<RecordFile> file = RecordFile::openExisting(name, 1);
    ASSERT_TRUE(file.has_value());
    std::vector<FixedText> read = blankValues(LINE);
    std::vector<std::string> lines;
    while (file->readRecord(PLAN, read) == ReadOutcome::Record) {
        lines.push_back(read[0].text() + read[1].text());
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"FluffLeopa", std::string(10, ' '), "last ine w"}));
    file->close();
    EXPECT_EQ(readFile(name), "Fluff|Leopard\r\n\nlast line without end");
    RecordFile::openExisting(name, 1)->close();
    RecordFile created = RecordFile::openOrCreate(name, 1);
    while (created.readRecord(PLAN, read) == ReadOutcome::Record) {
    }
    created.close();
    EXPECT_EQ(readFile(name), "Fluff|Leopard\r\n\nlast line without end");
}

// The report of exhausted memory names the read under way with its record number, which counts
// every read, the one that found the end too; and it carries the code that the README promises.
TEST_F(RecordFileTest, RecordNumbersCountTheReadThatFoundTheEnd) {
    const std::string name = temp.path("map.txt");
    writeFile(name, "a\nb\n");
    const int readLine = __LINE__ + 7;
    const RunResult child = test_support::runInChild([&] {
        std::optional<RecordFile> file = RecordFile::openExisting(name, 1);
        std::vector<FixedText> read = blankValues(LINE);
        while (file->readRecord(PLAN, read) == ReadOutcome::Record) {
        }
        // Records 1 and 2, the end as 3; this is the fourth read.
        (void)file->readRecord(PLAN, read);
        report::failForWantOfMemory(report::NotedOperation());
    });
    EXPECT_EQ(child.exitStatus, 127);
    EXPECT_EQ(child.err, reportAt({.error = 210,
                                   .codeText = "dynamic memory allocation failed",
                                   .operation = "formatted read",
                                   .channel = 1,
                                   .fileName = name,
                                   .record = 4},
                                  readLine));
}

// Without root rights, where permission bits hold: a read-only file opens and reads, an unreadable
// one does not open, and an output openable only for reading fails at its first write, untouched.
TEST_F(RecordFileTest, ReadOnlyFilesReadAndFailAtTheFirstWriteWithoutRootRights) {
    const std::string readable = temp.path("readonly.txt");
    const std::string unreadable = temp.path("secret.txt");
    const std::string output = temp.path("readonly-out.txt");
    writeFile(readable, "abc\n");
    writeFile(unreadable, "abc\n");
    writeFile(output, "old content\r\n");
    const fs::perms readOnly =
        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(readable, readOnly);
    fs::permissions(output, readOnly);
    fs::permissions(unreadable, fs::perms::none);
    const int writeLine = __LINE__ + 14;
    const RunResult child = test_support::runInChild([&] {
        dropRoot();
        std::optional<RecordFile> file = RecordFile::openExisting(readable, 1);
        std::vector<FixedText> read = blankValues(LINE);
        if (!file || file->readRecord(PLAN, read) != ReadOutcome::Record ||
            read[0].text() != "abc  ") {
            ::_exit(1);
        }
        file->close();
        if (RecordFile::openExisting(unreadable, 1).has_value()) {
            ::_exit(2);
        }
        RecordFile out = RecordFile::openOrCreate(output, 2);
        out.writeRecord(PLAN, values("a", "b"));
        ::_exit(3);
    });
    if (child.exitStatus == CHILD_COULD_NOT_DROP_ROOT) {
        GTEST_SKIP() << "cannot give up root rights here";
    }
    EXPECT_EQ(child.exitStatus, 127) << child.err;
    const std::string expectedTail = "    formatted, sequential access   record = 0\r\n"
                                     " In source file record_file_test.cpp, at line number " +
                                     std::to_string(writeLine) + "\r\n";
    EXPECT_NE(child.err.find("/formatted write/unit=2/error code returned by host stdio - "),
              std::string::npos)
        << child.err;
    EXPECT_EQ(child.err.substr(child.err.size() - std::min(child.err.size(), expectedTail.size())),
              expectedTail);
    EXPECT_EQ(readFile(output), "old content\r\n");
}

// Whatever an earlier run left in the output must never pass for this run's output: none, an
// empty one or a longer one, the output is there from the open on and holds exactly the new
// records, or nothing.
TEST_F(RecordFileTest, OutputIsCreatedAtOnceAndHoldsExactlyTheNewRecords) {
    const std::string name = temp.path("out.txt");
    for (int round = 0; round < 4; ++round) {
        if (round > 0) {
            writeFile(name,
                      round == 1 ? "" : std::string(1000, 'z') + "\r\n" + std::string(1000, 'y'));
        }
        RecordFile file = RecordFile::openOrCreate(name, 2);
        EXPECT_TRUE(fs::is_regular_file(name));
        if (round == 3) {
            file.writeRecord(PLAN, values("IMG_0001.JPG", "Fluffy"));
            file.writeRecord(PLAN, values("", "ab "));
        }
        file.close();
        EXPECT_TRUE(fs::is_regular_file(name));
        EXPECT_EQ(readFile(name), round == 3 ? "IMG_0 Fluff\r\n      ab   \r\n" : "") << round;
    }
}

// Several buffers' worth of records, handed to the writer thread buffer after buffer, then records
// longer than a whole block between runs of short ones: the block grows to hold each, the records
// before it go out, and the blocks passed to and from the writer thread, now of unlike sizes, keep
// every byte once and in order, so that a block written twice, dropped or cut at the wrong record
// shows.
TEST_F(RecordFileTest, ManyRecordsAndRecordsLongerThanABlockPassIntact) {
    const std::string name = temp.path("many.txt");
    RecordFile file = RecordFile::openOrCreate(name, 2);
    std::string expected;
    for (std::size_t i = 0; expected.size() < 5 * lines::WRITE_BLOCK_SIZE; ++i) {
        const std::vector<FixedText> record = values(std::to_string(i % 99'999), "F");
        file.writeRecord(PLAN, record);
        expected += record[0].text() + " " + record[1].text() + "\r\n";
    }
    char fill = 'a';
    const auto put = [&](std::size_t width) {
        fill = fill == 'z' ? 'a' : static_cast<char>(fill + 1);
        std::memset(file.recordRoom(width), fill, width);
        file.commitRecord(width);
        expected.append(width, fill).append("\r\n");
    };
    // Records put in a row at once, each line end in its place whatever the bytes there held,
    // some batches passing the end of a load.
    const auto putInARow = [&](std::size_t count, std::size_t width) {
        char* const room = file.recordsRoom(count, width);
        std::memset(room, 'x', count * (width + 2));
        for (std::size_t i = 0; i < count; ++i) {
            fill = fill == 'z' ? 'a' : static_cast<char>(fill + 1);
            std::memset(room + i * (width + 2), fill, width);
            expected.append(width, fill).append("\r\n");
        }
        file.commitRecords(count, width);
    };
    for (const std::size_t longWidth :
         {2 * lines::WRITE_BLOCK_SIZE, 3 * lines::WRITE_BLOCK_SIZE, std::size_t{1}}) {
        for (int i = 0; i < 1000; ++i) {
            put(1000);
            putInARow(7, 76);
        }
        put(longWidth);
    }
    file.close();
    EXPECT_TRUE(test_support::sameBytes(readFile(name), expected));
}

// A file given up without its close, as a thrown exception gives it up, holds nothing open; its
// writer thread ends with it (a thread left running would end the process).
TEST_F(RecordFileTest, GivenUpWithoutItsCloseItHoldsNothing) {
    const std::string name = temp.path("out.txt");
    writeFile(temp.path("map.txt"), "a\nb\n");
    const std::size_t before = test_support::openFiles();
    {
        RecordFile output = RecordFile::openOrCreate(name, 2);
        for (std::size_t i = 0; i < 3 * lines::WRITE_BLOCK_SIZE / 13; ++i) {
            output.writeRecord(PLAN, values("a", "b"));
        }
        std::optional<RecordFile> input = RecordFile::openExisting(temp.path("map.txt"), 1);
        std::vector<FixedText> read = blankValues(LINE);
        ASSERT_EQ(input->readRecord(PLAN, read), ReadOutcome::Record);
    }
    EXPECT_EQ(test_support::openFiles(), before);
}

// A folder in the way, and a name in a folder that is not there.
TEST_F(RecordFileTest, OpenOrCreateThatCannotOpenIsFatalOpen) {
    fs::create_directory(temp.path("AllPicturesUnsorted.txt"));
    for (const auto& [name, error] : {std::pair{temp.path("AllPicturesUnsorted.txt"), EISDIR},
                                      std::pair{temp.path("no-such-folder/out.txt"), ENOENT}}) {
        const auto open = [&name = name] { (void)RecordFile::openOrCreate(name, 2); };
        const int callLine = __LINE__ - 1;
        const RunResult child = test_support::runInChild(open);
        EXPECT_EQ(child.exitStatus, 127);
        EXPECT_EQ(child.err,
                  reportAt(test_support::hostErrorReport(error, "OPEN", 2, name, std::nullopt),
                           callLine));
    }
}

// One record goes out at the close; many go out from the write that sends a full buffer.
TEST_F(RecordFileTest, FullDeviceFailsAtCloseOrAtTheWriteThatSendsTheBuffer) {
    const std::string name = temp.path("full.txt");
    fs::create_symlink("/dev/full", name);
    for (const int records : {1, 300'000}) {
        const int closeLine = __LINE__ + 6;
        const RunResult child = test_support::runInChild([&] {
            RecordFile file = RecordFile::openOrCreate(name, 2);
            for (int i = 0; i < records; ++i) {
                file.writeRecord(PLAN, values("a", "b"));
            }
            file.close();
        });
        EXPECT_EQ(child.exitStatus, 127);
        if (records == 1) {
            EXPECT_EQ(
                child.err,
                reportAt(test_support::hostErrorReport(ENOSPC, "CLOSE", 2, name, 1), closeLine));
        } else {
            EXPECT_NE(child.err.find("Fatal file error /formatted write/unit=2/error code returned "
                                     "by host stdio - 28.\r\n File name = " +
                                     name + "    formatted, sequential access   record = "),
                      std::string::npos)
                << child.err;
        }
    }
}

} // namespace
} // namespace records
