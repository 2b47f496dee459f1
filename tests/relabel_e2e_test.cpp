// Whole runs on real files: every byte of the new picture list and of the backup, for the awkward
// lines and maps an operator's catalogue can hold, and the fatal stops of the relabelling, which
// must never touch the picture list itself.

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "test_support/expect.h"

namespace {

using namespace test_support;
namespace fs = std::filesystem;

const std::vector<MapEntry> CATS = {
    {"Fluffy", "Leopard"}, {"Buffy", "Leopard"}, {"Tiger 001", "Tiger"}};

void writeCatalogue(const TempFolder& folder, const std::string& pictures) {
    test_support::writeCatalogue(folder, pictures, mapFile(CATS));
}

// One line of the picture list as it stands before the run, line end and all, and the line that
// the run makes of it.
struct Line {
    std::string before;
    std::string after;
};

// A line in the 74-column form whose folder `from` becomes `to`.
Line moved(std::string_view lead, std::string_view from, std::string_view to, std::string_view tail,
           std::string_view end = "\r\n") {
    return {pictureColumns(lead, from, tail) + std::string(end), pictureLine(lead, to, tail)};
}

Line kept(std::string_view lead, std::string_view folder, std::string_view tail,
          std::string_view end = "\r\n") {
    return moved(lead, folder, folder, tail, end);
}

struct RelabelCase {
    const char* name;
    std::vector<Line> lines;               // AllPictures.txt, and the relabelled lines in order
    std::string map = mapFile(CATS);       // the map file's bytes
    std::vector<MapEntry> shownMap = CATS; // the table the operator is shown
    std::string staleUnsorted = "";        // an unsorted list left by an earlier run
};

std::vector<RelabelCase> relabelCases() {
    const std::string highLead = "\x80\x81\x9f\xa0\xc3\xa9\xff IMG.jpg";
    const std::string highTail = "\xe4\xf6\xfc\xdf \xfe\xff";
    std::string stale;
    for (int line = 0; line < 50; ++line) {
        stale += pictureLine("STALE_" + std::to_string(line), "Stale", "earlier run");
    }
    // Past the table's first 500 entries, around each end of it.
    std::vector<MapEntry> many;
    for (int number = 1; number <= 1200; ++number) {
        many.push_back(
            {"Individual " + std::to_string(number), "Species " + std::to_string(number % 7)});
    }
    std::vector<Line> manyLines;
    for (const int number : {1, 499, 500, 501, 502, 1199, 1200, 1201}) {
        const std::string folder = "Individual " + std::to_string(number);
        manyLines.push_back(moved("IMG_" + std::to_string(number) + ".jpg", folder,
                                  number <= 1200 ? "Species " + std::to_string(number % 7) : folder,
                                  ""));
    }
    return {
        {"mapped individuals move, everything else stays",
         {moved("IMG_0001.jpg", "Fluffy", "Leopard", "2013-05-01 Kenya"),
          kept("IMG_0002.jpg", "Leopard", "2013-05-02"),
          moved("IMG_0003.jpg", "Tiger 001", "Tiger", ""),
          kept("IMG_0004.jpg", "Rajah", "unknown cat"),
          kept("IMG_0005.jpg", "fluffy", "lower case"),
          kept("IMG_0006.jpg", " Fluffy", "leading blank"),
          moved("IMG_0007.jpg", "Buffy", "Leopard", "2013-05-07")}},
        // Columns 26 and 52 are skipped on reading and written as blanks; nothing past column 74
        // survives, however long the line.
        {"separator columns and overlong lines",
         {{padded("IMG_0010.jpg", 25) + "|" + padded("Fluffy", 25) + "|" + padded("tail", 22) +
               "EXTRA beyond column 74\n",
           pictureLine("IMG_0010.jpg", "Leopard", "tail")},
          {padded("IMG_0011.jpg", 25) + "X" + padded("Lion", 25) + "Y" + std::string(22, 't') +
               std::string(3'000'000, 'z') + "\n",
           pictureLine("IMG_0011.jpg", "Lion", std::string(22, 't'))},
          {padded("IMG_0012.jpg", 25) + " " + "Buffy" + std::string(20, ' ') + "Z" +
               padded("", 22) + "\n",
           pictureLine("IMG_0012.jpg", "Leopard", "")}}},
        {"short lines are read as if filled with blanks",
         {{"\n", pictureLine("", "", "")},
          {"IMG_0020.jpg\n", pictureLine("IMG_0020.jpg", "", "")},
          {padded("IMG_0021.jpg", 26) + "Fluffy\n", pictureLine("IMG_0021.jpg", "Leopard", "")},
          {padded("IMG_0022.jpg", 26) + "Fluf\n", pictureLine("IMG_0022.jpg", "Fluf", "")},
          {padded("IMG_0023.jpg", 26) + padded("Tiger 001", 26) + "abc\n",
           pictureLine("IMG_0023.jpg", "Tiger", "abc")}}},
        {"line ends: LF, CR LF, mixed, and a last line without one",
         {moved("IMG_0030.jpg", "Fluffy", "Leopard", "lf", "\n"),
          moved("IMG_0031.jpg", "Fluffy", "Leopard", "crlf"),
          moved("IMG_0032.jpg", "Buffy", "Leopard", "lf", "\n"),
          moved("IMG_0033.jpg", "Buffy", "Leopard", "no line end", "")}},
        // NUL, tab, lone CR and Ctrl-Z are ordinary characters: they stay where they stand, and a
        // tab is one column.
        {"control characters are ordinary bytes",
         {moved(std::string("IMG\0nul.jpg", 11), "Fluffy", "Leopard", "a\tb", "\n"),
          kept("IMG\rcr.jpg", "Fluffy\x1a", "ctrl-z in the folder", "\n"),
          kept("IMG_tab.jpg", "Fluffy\t", "tab after the name", "\n"),
          {"IMG\tshort\r\r\n", pictureLine("IMG\tshort\r", "", "")},
          {"\r\r\n", pictureLine("\r", "", "")},
          moved("IMG_0040.jpg", "Buffy", "Leopard", ""),
          {"\x1a", pictureLine("\x1a", "", "")}}},
        {"a CR as the very last byte stays in the line",
         {moved("IMG_0050.jpg", "Fluffy", "Leopard", "", "\n"),
          {"IMG_0051.jpg\r", pictureLine("IMG_0051.jpg\r", "", "")}}},
        {"bytes 128 to 255 pass through and match exactly",
         {moved(highLead, "Kr\xe4he", "Corvus \xfc", highTail),
          kept("IMG_0061.jpg", "Kr\xc3\xa4he", "utf-8 spelling"),
          moved("IMG_0062.jpg", "Tab\tName", "Stripe\tCat", ""),
          kept("IMG_0063.jpg", "Tab Name", "blank, not tab"),
          kept("IMG_0064.jpg", "Tab     Name", "tab expanded")},
         mapColumns("Kr\xe4he", "Corvus \xfc") + "\r\n" + mapColumns("Tab\tName", "Stripe\tCat") +
             "\r\n",
         {{"Kr\xe4he", "Corvus \xfc"}, {"Tab\tName", "Stripe\tCat"}}},
        {"an empty map copies every line in the 74-column form",
         {{padded("IMG_0070.jpg", 25) + "|" + padded("Fluffy", 25) + "|" + "tail" +
               std::string(30, '+') + "\n",
           pictureLine("IMG_0070.jpg", "Fluffy", "tail" + std::string(18, '+'))},
          {"IMG_0071.jpg\r\n", pictureLine("IMG_0071.jpg", "", "")}},
         "",
         {}},
        // An empty map line is an entry of blanks; being first, it wins over the later entry for
        // the blank folder, so a picture without a folder keeps a blank one.
        {"blank map lines are entries of blanks",
         {kept("IMG_0080.jpg", "", "no folder"), moved("IMG_0081.jpg", "Fluffy", "Leopard", "")},
         "\n" + mapColumns("Fluffy", "Leopard") + "\n" + mapColumns("", "Orphans") + "\n" +
             std::string(10, ' ') + "\n",
         {{"", ""}, {"Fluffy", "Leopard"}, {"", "Orphans"}, {"", ""}}},
        {"the first entry for an individual wins; equal picture lines both stay",
         {moved("IMG_0090.jpg", "Fluffy", "Leopard", "", "\n"),
          moved("IMG_0090.jpg", "Fluffy", "Leopard", "", "\n"),
          moved("IMG_0091.jpg", "Tiger", "Fluffy", "", "\n")},
         mapFile({{"Fluffy", "Leopard"}, {"Fluffy", "Tiger"}, {"Tiger", "Fluffy"}}),
         {{"Fluffy", "Leopard"}, {"Fluffy", "Tiger"}, {"Tiger", "Fluffy"}}},
        // A 26-character individual loses its last character to the separator column, which
        // pushes the rest into the species; a long species is cut at 25. The folder column of a
        // picture line is cut the same way, so the long name still finds its entry.
        {"names longer than 25 characters",
         {{padded("IMG_0100.jpg", 26) + "Sable Rosetta of the Marsh" + padded("tail", 22) + "\r\n",
           pictureLine("IMG_0100.jpg", " Leopard", "tail")},
          moved("IMG_0101.jpg", "Fluffy", "Panthera pardus orientali", "")},
         std::string("Sable Rosetta of the Marsh Leopard\r\n") +
             mapColumns("Fluffy", "Panthera pardus orientalis (Amur)") + "\r\n",
         {{"Sable Rosetta of the Mars", " Leopard"}, {"Fluffy", "Panthera pardus orientali"}}},
        {"map lines: LF ends, text past column 51, a last line without a line end",
         {moved("IMG_0110.jpg", "Buffy", "Lynx", ""),
          moved("IMG_0111.jpg", "Fluffy", "Leopard", "")},
         mapColumns("Fluffy", padded("Leopard", 25)) + "# the spotted one\n" +
             mapColumns("Buffy", "Lynx"),
         {{"Fluffy", "Leopard"}, {"Buffy", "Lynx"}}},
        {"an empty picture list", {}},
        {"a map of more than five hundred lines is shown and applied whole", manyLines,
         mapFile(many), many},
        {"a stale unsorted list from an earlier run never reaches the picture list",
         {moved("IMG_0001.jpg", "Fluffy", "Leopard", "")},
         mapFile(CATS),
         CATS,
         stale},
        {"a stale unsorted list and an empty picture list", {}, mapFile(CATS), CATS, stale},
    };
}

TEST(Relabelling, WholeRunsGiveExactlyTheExpectedBytes) {
    for (const RelabelCase& test : relabelCases()) {
        SCOPED_TRACE(test.name);
        std::string pictures;
        std::string relabelled;
        for (const Line& line : test.lines) {
            pictures += line.before;
            relabelled += line.after;
        }
        const TempFolder folder;
        test_support::writeCatalogue(folder, pictures, test.map);
        if (!test.staleUnsorted.empty()) {
            folder.write(UNSORTED, test.staleUnsorted);
        }
        expectCompleteRun(folder, runProgram(folder.dir, "Yes\n\n"), test.shownMap, pictures,
                          sortedPictureLines(relabelled));
    }
}

// --- Fatal stops in the relabelling --------------------------------------------------------

const std::string FAULT_LIST = joinLines({pictureColumns("IMG_0001.jpg", "Fluffy", ""),
                                          pictureColumns("IMG_0002.jpg", "Rajah", ""),
                                          pictureColumns("IMG_0003.jpg", "Buffy", "")});

// What every fatal stop in the relabelling must show: the run ends there with 127, and the
// picture list is exactly as it was, with the backup beside it.
void expectFatalStop(const TempFolder& folder, const RunResult& run, const std::string& pictures) {
    expectEnd(run, 127, transcriptsFor(CATS).relabelling);
    expectListKept(folder.dir, pictures);
}

TEST(RelabellingFaults, OutputNameTakenByADirectory) {
    const TempFolder folder;
    writeCatalogue(folder, FAULT_LIST);
    fs::create_directory(folder.dir / UNSORTED);
    folder.write(std::string(UNSORTED) + "/keep.txt", "not ours");
    const RunResult run = runProgram(folder.dir, "Yes\n\n");
    expectFatalStop(folder, run, FAULT_LIST);
    EXPECT_EQ(parseFatalReport(run.err),
              hostErrorReport(EISDIR, "OPEN", 2, UNSORTED, std::nullopt));
    EXPECT_EQ(folder.read(std::string(UNSORTED) + "/keep.txt"), "not ours");
}

// The report names "formatted write" when a full buffer goes out while a record is written, or
// "CLOSE" when the last one goes out at the close; either way the failing record is one of those
// written so far.
void expectWriteFailureReport(const std::string& err, int error, long linesWritten) {
    const FatalReport report = parseFatalReport(err);
    ASSERT_TRUE(report.record.has_value()) << err;
    EXPECT_GE(*report.record, 1);
    EXPECT_LE(*report.record, linesWritten);
    const char* operation = report.operation == "formatted write" ? "formatted write" : "CLOSE";
    EXPECT_EQ(report, hostErrorReport(error, operation, 2, UNSORTED, report.record));
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
        const TempFolder folder;
        const std::string pictures = lines == 3 ? FAULT_LIST : manyShortLines(lines);
        writeCatalogue(folder, pictures);
        fs::create_symlink("/dev/full", folder.dir / UNSORTED);
        const RunResult run = runProgram(folder.dir, "Yes\n\n");
        expectFatalStop(folder, run, pictures);
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
    const TempFolder folder;
    writeCatalogue(folder, pictures);
    Launch launch{.folder = folder.dir, .in = Stream::bytes("Yes\n\n"), .fileSizeLimit = LIMIT};
    const RunResult run = runProgram(launch);
    expectFatalStop(folder, run, pictures);
    expectWriteFailureReport(run.err, EFBIG, 1'000);
    // The unsorted list holds what reached the disk before the limit, and nothing else.
    const std::string partial = folder.read(UNSORTED);
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
    const TempFolder folder;
    writeCatalogue(folder, FAULT_LIST);
    fs::create_symlink(target, folder.dir / UNSORTED);
    const RunResult run = runProgram(folder.dir, "Yes\n\n");
    expectFatalStop(folder, run, FAULT_LIST);
    // The open succeeds read-only; cutting the old content away, as the first record is about
    // to go out, is what fails. The error number is the kernel's to choose.
    const FatalReport report = parseFatalReport(run.err);
    ASSERT_TRUE(report.hostError && report.record) << run.err;
    EXPECT_LE(*report.record, 1);
    EXPECT_EQ(report, hostErrorReport(report.error, "formatted write", 2, UNSORTED, report.record));
}

TEST(RelabellingFaults, MapThatFailsToReadIsFatalBeforeAnythingIsShown) {
    // Reading this process's own memory from offset 0 fails with an I/O error.
    const TempFolder folder;
    folder.write(PICTURES, FAULT_LIST);
    fs::create_symlink("/proc/self/mem", folder.dir / MAP);
    expectFatalEnd(runProgram(folder.dir, "Yes\n\n"), transcriptsFor(CATS).opening,
                   hostErrorReport(EIO, "formatted read", 1, MAP, 1));
    EXPECT_EQ(folder.read(PICTURES), FAULT_LIST);
    EXPECT_FALSE(folder.exists(UNSORTED));
}

} // namespace
