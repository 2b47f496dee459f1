// Whole runs on real files: every byte of the new picture list and of the backup, for the awkward
// lines and maps an operator's catalogue can hold, and the fatal stops of the relabelling, which
// must never touch the picture list itself.

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e_scenarios.h"
#include "e2e_support.h"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

const std::vector<MapEntry> CATS = {
    {"Fluffy", "Leopard"}, {"Buffy", "Leopard"}, {"Tiger 001", "Tiger"}};

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) {
        all += line;
    }
    return all;
}

struct RelabelCase {
    const char* name;
    std::string map;                   // the map file's bytes
    std::vector<MapEntry> shownMap;    // the table the operator is shown
    std::string pictures;              // AllPictures.txt before the run
    std::vector<std::string> expected; // the relabelled lines, in input order
};

std::vector<RelabelCase> relabelCases() {
    const std::string cats = mapFile(CATS);
    std::vector<RelabelCase> cases;

    cases.push_back({"mapped individuals move, everything else stays",
                     cats,
                     CATS,
                     pictureColumns("IMG_0001.jpg", "Fluffy", "2013-05-01 Kenya") + "\r\n" +
                         pictureColumns("IMG_0002.jpg", "Leopard", "2013-05-02") + "\r\n" +
                         pictureColumns("IMG_0003.jpg", "Tiger 001", "") + "\r\n" +
                         pictureColumns("IMG_0004.jpg", "Rajah", "unknown cat") + "\r\n" +
                         pictureColumns("IMG_0005.jpg", "fluffy", "lower case") + "\r\n" +
                         pictureColumns("IMG_0006.jpg", " Fluffy", "leading blank") + "\r\n" +
                         pictureColumns("IMG_0007.jpg", "Buffy", "2013-05-07") + "\r\n",
                     {pictureLine("IMG_0001.jpg", "Leopard", "2013-05-01 Kenya"),
                      pictureLine("IMG_0002.jpg", "Leopard", "2013-05-02"),
                      pictureLine("IMG_0003.jpg", "Tiger", ""),
                      pictureLine("IMG_0004.jpg", "Rajah", "unknown cat"),
                      pictureLine("IMG_0005.jpg", "fluffy", "lower case"),
                      pictureLine("IMG_0006.jpg", " Fluffy", "leading blank"),
                      pictureLine("IMG_0007.jpg", "Leopard", "2013-05-07")}});

    // Columns 26 and 52 are skipped on reading and written as blanks; nothing past column 74
    // survives, however long the line.
    cases.push_back({"separator columns and overlong lines",
                     cats,
                     CATS,
                     padded("IMG_0010.jpg", 25) + "|" + padded("Fluffy", 25) + "|" +
                         padded("tail", 22) + "EXTRA beyond column 74\n" +
                         padded("IMG_0011.jpg", 25) + "X" + padded("Lion", 25) + "Y" +
                         std::string(22, 't') + std::string(3'000'000, 'z') + "\n" +
                         padded("IMG_0012.jpg", 25) + " " + "Buffy" + std::string(20, ' ') + "Z" +
                         padded("", 22) + "\n",
                     {pictureLine("IMG_0010.jpg", "Leopard", "tail"),
                      pictureLine("IMG_0011.jpg", "Lion", std::string(22, 't')),
                      pictureLine("IMG_0012.jpg", "Leopard", "")}});

    cases.push_back(
        {"short lines are read as if filled with blanks",
         cats,
         CATS,
         std::string("\n") + "IMG_0020.jpg\n" + padded("IMG_0021.jpg", 26) + "Fluffy\n" +
             padded("IMG_0022.jpg", 26) + "Fluf\n" + padded("IMG_0023.jpg", 26) +
             padded("Tiger 001", 26) + "abc\n",
         {pictureLine("", "", ""), pictureLine("IMG_0020.jpg", "", ""),
          pictureLine("IMG_0021.jpg", "Leopard", ""), pictureLine("IMG_0022.jpg", "Fluf", ""),
          pictureLine("IMG_0023.jpg", "Tiger", "abc")}});

    cases.push_back({"line ends: LF, CR LF, mixed, and a last line without one",
                     cats,
                     CATS,
                     pictureColumns("IMG_0030.jpg", "Fluffy", "lf") + "\n" +
                         pictureColumns("IMG_0031.jpg", "Fluffy", "crlf") + "\r\n" +
                         pictureColumns("IMG_0032.jpg", "Buffy", "lf") + "\n" +
                         pictureColumns("IMG_0033.jpg", "Buffy", "no line end"),
                     {pictureLine("IMG_0030.jpg", "Leopard", "lf"),
                      pictureLine("IMG_0031.jpg", "Leopard", "crlf"),
                      pictureLine("IMG_0032.jpg", "Leopard", "lf"),
                      pictureLine("IMG_0033.jpg", "Leopard", "no line end")}});

    // NUL, tab, lone CR and Ctrl-Z are ordinary characters: they stay where they stand, and a tab
    // is one column.
    cases.push_back({"control characters are ordinary bytes",
                     cats,
                     CATS,
                     pictureColumns(std::string("IMG\0nul.jpg", 11), "Fluffy", "a\tb") + "\n" +
                         pictureColumns("IMG\rcr.jpg", "Fluffy\x1a", "ctrl-z in the folder") +
                         "\n" + pictureColumns("IMG_tab.jpg", "Fluffy\t", "tab after the name") +
                         "\n" + std::string("IMG\tshort\r\r\n") + "\r\r\n" +
                         pictureColumns("IMG_0040.jpg", "Buffy", "") + "\r\n\x1a",
                     {pictureLine(std::string("IMG\0nul.jpg", 11), "Leopard", "a\tb"),
                      pictureLine("IMG\rcr.jpg", "Fluffy\x1a", "ctrl-z in the folder"),
                      pictureLine("IMG_tab.jpg", "Fluffy\t", "tab after the name"),
                      pictureLine("IMG\tshort\r", "", ""), pictureLine("\r", "", ""),
                      pictureLine("IMG_0040.jpg", "Leopard", ""), pictureLine("\x1a", "", "")}});

    cases.push_back(
        {"a CR as the very last byte stays in the line",
         cats,
         CATS,
         pictureColumns("IMG_0050.jpg", "Fluffy", "") + "\n" + "IMG_0051.jpg\r",
         {pictureLine("IMG_0050.jpg", "Leopard", ""), pictureLine("IMG_0051.jpg\r", "", "")}});

    const std::string highLead = "\x80\x81\x9f\xa0\xc3\xa9\xff IMG.jpg";
    const std::string highTail = "\xe4\xf6\xfc\xdf \xfe\xff";
    cases.push_back({"bytes 128 to 255 pass through and match exactly",
                     mapColumns("Kr\xe4he", "Corvus \xfc") + "\r\n" +
                         mapColumns("Tab\tName", "Stripe\tCat") + "\r\n",
                     {{"Kr\xe4he", "Corvus \xfc"}, {"Tab\tName", "Stripe\tCat"}},
                     pictureColumns(highLead, "Kr\xe4he", highTail) + "\r\n" +
                         pictureColumns("IMG_0061.jpg", "Kr\xc3\xa4he", "utf-8 spelling") + "\r\n" +
                         pictureColumns("IMG_0062.jpg", "Tab\tName", "") + "\r\n" +
                         pictureColumns("IMG_0063.jpg", "Tab Name", "blank, not tab") + "\r\n" +
                         pictureColumns("IMG_0064.jpg", "Tab     Name", "tab expanded") + "\r\n",
                     {pictureLine(highLead, "Corvus \xfc", highTail),
                      pictureLine("IMG_0061.jpg", "Kr\xc3\xa4he", "utf-8 spelling"),
                      pictureLine("IMG_0062.jpg", "Stripe\tCat", ""),
                      pictureLine("IMG_0063.jpg", "Tab Name", "blank, not tab"),
                      pictureLine("IMG_0064.jpg", "Tab     Name", "tab expanded")}});

    cases.push_back({"an empty map copies every line in the 74-column form",
                     "",
                     {},
                     padded("IMG_0070.jpg", 25) + "|" + padded("Fluffy", 25) + "|" + "tail" +
                         std::string(30, '+') + "\n" + "IMG_0071.jpg\r\n",
                     {pictureLine("IMG_0070.jpg", "Fluffy", "tail" + std::string(18, '+')),
                      pictureLine("IMG_0071.jpg", "", "")}});

    // An empty map line is an entry of blanks; being first, it wins over the later entry for the
    // blank folder, so a picture without a folder keeps a blank one.
    cases.push_back({"blank map lines are entries of blanks",
                     "\n" + mapColumns("Fluffy", "Leopard") + "\n" + mapColumns("", "Orphans") +
                         "\n" + std::string(10, ' ') + "\n",
                     {{"", ""}, {"Fluffy", "Leopard"}, {"", "Orphans"}, {"", ""}},
                     pictureColumns("IMG_0080.jpg", "", "no folder") + "\r\n" +
                         pictureColumns("IMG_0081.jpg", "Fluffy", "") + "\r\n",
                     {pictureLine("IMG_0080.jpg", "", "no folder"),
                      pictureLine("IMG_0081.jpg", "Leopard", "")}});

    cases.push_back(
        {"the first entry for an individual wins; equal picture lines both stay",
         mapFile({{"Fluffy", "Leopard"}, {"Fluffy", "Tiger"}, {"Tiger", "Fluffy"}}),
         {{"Fluffy", "Leopard"}, {"Fluffy", "Tiger"}, {"Tiger", "Fluffy"}},
         pictureColumns("IMG_0090.jpg", "Fluffy", "") + "\n" +
             pictureColumns("IMG_0090.jpg", "Fluffy", "") + "\n" +
             pictureColumns("IMG_0091.jpg", "Tiger", "") + "\n",
         {pictureLine("IMG_0090.jpg", "Leopard", ""), pictureLine("IMG_0090.jpg", "Leopard", ""),
          pictureLine("IMG_0091.jpg", "Fluffy", "")}});

    // A 26-character individual loses its last character to the separator column, which pushes
    // the rest into the species; a long species is cut at 25. The folder column of a picture line
    // is cut the same way, so the long name still finds its entry.
    cases.push_back(
        {"names longer than 25 characters",
         std::string("Sable Rosetta of the Marsh Leopard\r\n") +
             mapColumns("Fluffy", "Panthera pardus orientalis (Amur)") + "\r\n",
         {{"Sable Rosetta of the Mars", " Leopard"}, {"Fluffy", "Panthera pardus orientali"}},
         padded("IMG_0100.jpg", 26) + "Sable Rosetta of the Marsh" + padded("tail", 22) + "\r\n" +
             pictureColumns("IMG_0101.jpg", "Fluffy", "") + "\r\n",
         {pictureLine("IMG_0100.jpg", " Leopard", "tail"),
          pictureLine("IMG_0101.jpg", "Panthera pardus orientali", "")}});

    cases.push_back(
        {"map lines: LF ends, text past column 51, a last line without a line end",
         mapColumns("Fluffy", padded("Leopard", 25)) + "# the spotted one\n" +
             mapColumns("Buffy", "Lynx"),
         {{"Fluffy", "Leopard"}, {"Buffy", "Lynx"}},
         pictureColumns("IMG_0110.jpg", "Buffy", "") + "\r\n" +
             pictureColumns("IMG_0111.jpg", "Fluffy", "") + "\r\n",
         {pictureLine("IMG_0110.jpg", "Lynx", ""), pictureLine("IMG_0111.jpg", "Leopard", "")}});

    cases.push_back({"an empty picture list", cats, CATS, "", {}});
    return cases;
}

void expectCompleteRun(const Scratch& scratch, const RunResult& run,
                       const std::vector<MapEntry>& shownMap, const std::string& pictures,
                       const std::string& relabelled) {
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, completeRunOutput(mapTable(shownMap)));
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(scratch.read(PICTURES) == sortedPictureLines(relabelled))
        << "new picture list:\n"
        << testing::PrintToString(scratch.read(PICTURES)) << "\nexpected:\n"
        << testing::PrintToString(sortedPictureLines(relabelled));
    EXPECT_TRUE(scratch.read(BACKUP) == pictures) << "the backup is not the old picture list";
    EXPECT_EQ(scratch.listing(), LISTING_AFTER_RUN);
}

TEST(Relabelling, WholeRunsGiveExactlyTheExpectedBytes) {
    for (const RelabelCase& test : relabelCases()) {
        SCOPED_TRACE(test.name);
        const Scratch scratch;
        scratch.write(PICTURES, test.pictures);
        scratch.write(MAP, test.map);
        const RunResult run = runProgram(scratch, "Yes\n\n");
        expectCompleteRun(scratch, run, test.shownMap, test.pictures, joined(test.expected));
    }
}

TEST(Relabelling, StaleUnsortedListFromAnEarlierRunNeverReachesThePictureList) {
    for (const std::string& pictures :
         {pictureColumns("IMG_0001.jpg", "Fluffy", "") + "\r\n", std::string()}) {
        SCOPED_TRACE(pictures.empty() ? "empty picture list" : "one picture");
        const Scratch scratch;
        scratch.write(PICTURES, pictures);
        scratch.write(MAP, mapFile(CATS));
        std::string stale;
        for (int line = 0; line < 50; ++line) {
            stale += pictureLine("STALE_" + std::to_string(line), "Stale", "earlier run");
        }
        scratch.write(UNSORTED, stale);
        const RunResult run = runProgram(scratch, "Yes\n\n");
        expectCompleteRun(scratch, run, CATS, pictures,
                          pictures.empty() ? "" : pictureLine("IMG_0001.jpg", "Leopard", ""));
    }
}

TEST(Relabelling, MapOfMoreThanFiveHundredLinesIsShownAndAppliedWhole) {
    std::vector<MapEntry> entries;
    for (int number = 1; number <= 1200; ++number) {
        entries.push_back(
            {"Individual " + std::to_string(number), "Species " + std::to_string(number % 7)});
    }
    std::string pictures;
    std::string relabelled;
    for (const int number : {1, 499, 500, 501, 502, 1199, 1200, 1201}) {
        const std::string folder = "Individual " + std::to_string(number);
        const std::string lead = "IMG_" + std::to_string(number) + ".jpg";
        pictures += pictureColumns(lead, folder, "") + "\r\n";
        relabelled += pictureLine(
            lead, number <= 1200 ? "Species " + std::to_string(number % 7) : folder, "");
    }
    const Scratch scratch;
    scratch.write(PICTURES, pictures);
    scratch.write(MAP, mapFile(entries));
    const RunResult run = runProgram(scratch, "Yes\n\n");
    expectCompleteRun(scratch, run, entries, pictures, relabelled);
}

// --- Fatal stops in the relabelling --------------------------------------------------------

const std::string FAULT_LIST = pictureColumns("IMG_0001.jpg", "Fluffy", "") + "\r\n" +
                               pictureColumns("IMG_0002.jpg", "Rajah", "") + "\r\n" +
                               pictureColumns("IMG_0003.jpg", "Buffy", "") + "\r\n";

std::string outputUpToTheRelabelling() {
    return openingLines() + mapTable(CATS) + message(RELABEL_MESSAGE);
}

// What every fatal stop in the relabelling must show: the run ends there with 127, and the
// picture list is exactly as it was, with the backup beside it.
void expectFatalStop(const Scratch& scratch, const RunResult& run, const std::string& pictures) {
    EXPECT_EQ(run.exitStatus, 127);
    EXPECT_EQ(run.out, outputUpToTheRelabelling());
    EXPECT_TRUE(scratch.read(PICTURES) == pictures) << "the picture list was touched";
    EXPECT_TRUE(scratch.read(BACKUP) == pictures) << "the backup is not the old picture list";
}

void writeCatalogue(const Scratch& scratch, const std::string& pictures) {
    scratch.write(PICTURES, pictures);
    scratch.write(MAP, mapFile(CATS));
}

TEST(RelabellingFaults, OutputNameTakenByADirectory) {
    const Scratch scratch;
    writeCatalogue(scratch, FAULT_LIST);
    fs::create_directory(scratch.dir / UNSORTED);
    scratch.write(std::string(UNSORTED) + "/keep.txt", "not ours");
    const RunResult run = runProgram(scratch, "Yes\n\n");
    expectFatalStop(scratch, run, FAULT_LIST);
    EXPECT_TRUE(isFatalReport(run.err, hostErrorReport(EISDIR, "OPEN", 2, UNSORTED, std::nullopt)));
    EXPECT_EQ(scratch.read(std::string(UNSORTED) + "/keep.txt"), "not ours");
}

// The report names "formatted write" when a full buffer goes out while a record is written, or
// "CLOSE" when the last one goes out at the close; either way the failing record is one of those
// written so far.
void expectWriteFailureReport(const std::string& err, int error, int linesWritten) {
    const std::optional<int> record = numberAfter(err, "record = ");
    ASSERT_TRUE(record.has_value()) << err;
    EXPECT_GE(*record, 1);
    EXPECT_LE(*record, linesWritten);
    const char* operation =
        err.find("/formatted write/") != std::string::npos ? "formatted write" : "CLOSE";
    EXPECT_TRUE(isFatalReport(err, hostErrorReport(error, operation, 2, UNSORTED, record)));
}

std::string manyShortLines(int count) {
    std::string lines;
    for (int line = 0; line < count; ++line) {
        lines += "IMG_" + std::to_string(line) + "\n";
    }
    return lines;
}

TEST(RelabellingFaults, OutputOnAFullDevice) {
    // A few lines fit any buffer; 20,000 lines of 76 bytes do not.
    for (const int lines : {3, 20'000}) {
        SCOPED_TRACE(lines);
        const Scratch scratch;
        const std::string pictures = lines == 3 ? FAULT_LIST : manyShortLines(lines);
        writeCatalogue(scratch, pictures);
        fs::create_symlink("/dev/full", scratch.dir / UNSORTED);
        const RunResult run = runProgram(scratch, "Yes\n\n");
        expectFatalStop(scratch, run, pictures);
        expectWriteFailureReport(run.err, ENOSPC, lines);
    }
}

TEST(RelabellingFaults, FileSizeLimitReachedWhileWriting) {
    // Short input lines grow to 76 bytes each, so the backup fits under the limit and the
    // relabelled list does not.
    constexpr rlim_t LIMIT = 10'000;
    const std::string pictures = manyShortLines(1'000);
    ASSERT_LT(pictures.size(), LIMIT);
    std::string relabelled;
    for (int line = 0; line < 1'000; ++line) {
        relabelled += pictureLine("IMG_" + std::to_string(line), "", "");
    }
    const Scratch scratch;
    writeCatalogue(scratch, pictures);
    Launch how;
    how.fileSizeLimit = LIMIT;
    const RunResult run = launchProgram(scratch, "Yes\n\n", how);
    expectFatalStop(scratch, run, pictures);
    expectWriteFailureReport(run.err, EFBIG, 1'000);
    // The unsorted list holds what reached the disk before the limit, and nothing else.
    const std::string partial = scratch.read(UNSORTED);
    EXPECT_LE(partial.size(), LIMIT);
    EXPECT_TRUE(relabelled.compare(0, partial.size(), partial) == 0);
}

// A file that even root can open only for reading, with content to be cut: a read-only
// attribute of the kernel. Empty when this machine has none.
std::string readOnlyFileWithContent() {
    for (const char* candidate : {"/sys/kernel/uevent_seqnum", "/sys/kernel/kexec_loaded",
                                  "/sys/kernel/fscaps", "/proc/sys/kernel/ostype"}) {
        struct stat info {};
        if (::stat(candidate, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
            continue;
        }
        const int readWrite = ::open(candidate, O_RDWR);
        if (readWrite >= 0) {
            ::close(readWrite);
            continue;
        }
        const int readOnly = ::open(candidate, O_RDONLY);
        if (readOnly >= 0) {
            ::close(readOnly);
            return candidate;
        }
    }
    return {};
}

TEST(RelabellingFaults, OutputThatCanOnlyBeReadFailsAtTheFirstRecord) {
    const std::string target = readOnlyFileWithContent();
    if (target.empty()) {
        GTEST_SKIP() << "no file here that root can open only for reading";
    }
    const Scratch scratch;
    writeCatalogue(scratch, FAULT_LIST);
    fs::create_symlink(target, scratch.dir / UNSORTED);
    const RunResult run = runProgram(scratch, "Yes\n\n");
    expectFatalStop(scratch, run, FAULT_LIST);
    // The open succeeds read-only; cutting the old content away, as the first record is about
    // to go out, is what fails. The error number is the kernel's to choose.
    const std::optional<int> error = numberAfter(run.err, "error code returned by host stdio - ");
    const std::optional<int> record = numberAfter(run.err, "record = ");
    ASSERT_TRUE(error && record) << run.err;
    EXPECT_LE(*record, 1);
    EXPECT_TRUE(
        isFatalReport(run.err, hostErrorReport(*error, "formatted write", 2, UNSORTED, record)));
}

TEST(RelabellingFaults, BackupNameLinkedToADeviceNeverCostsThePictureList) {
    // Whatever the run decides, the operator's pictures must still be listed somewhere: either
    // the run stops with the list untouched, or the list is the relabelled one.
    const Scratch scratch;
    writeCatalogue(scratch, FAULT_LIST);
    fs::create_symlink("/dev/null", scratch.dir / BACKUP);
    (void)runProgram(scratch, "Yes\n\n");
    const std::string after = scratch.read(PICTURES);
    const std::string relabelled = sortedPictureLines(pictureLine("IMG_0001.jpg", "Leopard", "") +
                                                      pictureLine("IMG_0002.jpg", "Rajah", "") +
                                                      pictureLine("IMG_0003.jpg", "Leopard", ""));
    EXPECT_TRUE(after == FAULT_LIST || after == relabelled) << "picture list after the run:\n"
                                                            << testing::PrintToString(after);
}

TEST(RelabellingFaults, MapThatFailsToReadIsFatalBeforeAnythingIsShown) {
    // Reading this process's own memory from offset 0 fails with an I/O error.
    const Scratch scratch;
    scratch.write(PICTURES, FAULT_LIST);
    fs::create_symlink("/proc/self/mem", scratch.dir / MAP);
    const RunResult run = runProgram(scratch, "Yes\n\n");
    EXPECT_EQ(run.exitStatus, 127);
    EXPECT_EQ(run.out, openingLines());
    EXPECT_TRUE(isFatalReport(run.err, hostErrorReport(EIO, "formatted read", 1, MAP, 1)));
    EXPECT_EQ(scratch.read(PICTURES), FAULT_LIST);
    EXPECT_FALSE(scratch.exists(UNSORTED));
}

} // namespace
