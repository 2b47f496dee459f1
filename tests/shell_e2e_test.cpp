// The copy, sort and delete of a run seen from outside: what stays in the folder, and the stops
// that keep the picture list safe when the backup or the sort fails.

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "test_support/expect.h"

namespace {

using namespace test_support;
namespace fs = std::filesystem;

const std::vector<MapEntry> CATS = {{"Fluffy", "Leopard"}, {"Rajah", "Tiger"}};
const Transcripts SHOWN = transcriptsFor(CATS);

// Lines out of order, a duplicate, LF and CR LF ends, and a last line without a line end.
const std::string OLD_LIST = pictureColumns("IMG_0003.jpg", "Rajah", "2013-07-01") + "\r\n" +
                             pictureColumns("IMG_0001.jpg", "Fluffy", "2013-05-01") + "\n" +
                             pictureColumns("img_0000.jpg", "Lion", "lower case sorts last") +
                             "\r\n" + pictureColumns("IMG_0003.jpg", "Rajah", "2013-07-01") +
                             "\r\n" + pictureColumns("IMG_0002.jpg", "Leopard", "");

const std::string NEW_LIST = pictureLine("IMG_0001.jpg", "Leopard", "2013-05-01") +
                             pictureLine("IMG_0002.jpg", "Leopard", "") +
                             pictureLine("IMG_0003.jpg", "Tiger", "2013-07-01") +
                             pictureLine("IMG_0003.jpg", "Tiger", "2013-07-01") +
                             pictureLine("img_0000.jpg", "Lion", "lower case sorts last");

const char* const STOPPED_AFTER_THE_SORT =
    "AllPictures.txt AllPicturesIndiv.txt AllPicturesUnsorted.txt MarrowfenlatchMap.txt";

void writeCatalogue(const TempFolder& folder) {
    test_support::writeCatalogue(folder, OLD_LIST, mapFile(CATS));
}

// A backup left from an earlier run is replaced; the list keeps its permissions.
TEST(ShellCommands, CompleteRunLeavesTheNewListAndTheOldOneOnly) {
    for (const bool earlierBackup : {false, true}) {
        SCOPED_TRACE(earlierBackup);
        const TempFolder folder;
        writeCatalogue(folder);
        fs::permissions(folder.dir / PICTURES, fs::perms(0640));
        if (earlierBackup) {
            folder.write(BACKUP, pictureLine("IMG_9999.jpg", "Stale", "from an earlier run"));
        }
        expectCompleteRun(folder, runProgram(folder.dir, "yes\n\n"), CATS, OLD_LIST, NEW_LIST);
        EXPECT_EQ(fs::status(folder.dir / PICTURES).permissions(), fs::perms(0640));
    }
}

TEST(ShellCommands, MissingPictureListStopsBeforeTheMapIsLookedAt) {
    const TempFolder folder;
    const RunResult run = runProgram(folder.dir, "\n");
    expectEnd(run, 0, SHOWN.backupMissing);
    EXPECT_EQ(run.err, "copy: cannot read AllPictures.txt: No such file or directory\r\n");
    EXPECT_EQ(folder.listing(), "");
}

// Any failure of the backup other than a missing list: the run must not go on to overwrite the
// only full picture list with one made from a stale, partial or empty backup.
TEST(ShellCommands, BackupThatFailsOtherwiseStopsBeforeTheMapIsRead) {
    struct Case {
        const char* name;
        void (*arrange)(const TempFolder&);
        const char* report;
    };
    const Case cases[] = {
        {"list is a folder", [](const TempFolder& f) { fs::create_directory(f.dir / PICTURES); },
         "copy: cannot read AllPictures.txt: Is a directory\r\n"},
        {"backup is a folder",
         [](const TempFolder& f) {
             f.write(PICTURES, OLD_LIST);
             fs::create_directory(f.dir / BACKUP);
         },
         "copy: cannot write AllPicturesIndiv.txt: Is a directory\r\n"},
        // Copied into the device, the list would be gone: the relabelling would read nothing and
        // the sort would write an empty list over the only full one.
        {"backup is a link to a device",
         [](const TempFolder& f) {
             f.write(PICTURES, OLD_LIST);
             fs::create_symlink("/dev/null", f.dir / BACKUP);
         },
         "copy: cannot write AllPicturesIndiv.txt: Not a regular file\r\n"},
    };
    for (const Case& failure : cases) {
        SCOPED_TRACE(failure.name);
        const TempFolder folder;
        failure.arrange(folder);
        const std::string listBefore = folder.read(PICTURES);
        const std::string listingBefore = folder.listing();
        const fs::file_type backupBefore = fs::symlink_status(folder.dir / BACKUP).type();
        const RunResult run = runProgram(folder.dir, "\n");
        expectEnd(run, 0, SHOWN.backupFailed);
        EXPECT_EQ(run.err, failure.report);
        EXPECT_EQ(folder.listing(), listingBefore);
        EXPECT_EQ(fs::symlink_status(folder.dir / BACKUP).type(), backupBefore);
        EXPECT_EQ(folder.read(PICTURES), listBefore);
    }
}

// A link to an endless device in place of the unsorted list: the relabelling writes into it, and
// the sort must refuse to read it rather than fill the memory.
TEST(ShellCommands, UnreadableUnsortedListStopsTheRunAfterTheSort) {
    if (!fs::exists("/dev/zero")) {
        GTEST_SKIP() << "no /dev/zero on this host";
    }
    const TempFolder folder;
    writeCatalogue(folder);
    fs::create_symlink("/dev/zero", folder.dir / UNSORTED);
    const RunResult run = runProgram(folder.dir, "yes\n\n");
    expectEnd(run, 0, SHOWN.sortFailed);
    EXPECT_EQ(run.err, "sort: cannot read AllPicturesUnsorted.txt: Not a regular file\r\n");
    EXPECT_EQ(folder.read(PICTURES), OLD_LIST);
    EXPECT_EQ(folder.read(BACKUP), OLD_LIST);
    EXPECT_EQ(folder.listing(), STOPPED_AFTER_THE_SORT);
}

// The list is a link to a file in a folder where no new file can be made, so the backup can read
// it but the sort cannot put a new list in its place.
TEST(ShellCommands, UnreplaceablePictureListStopsTheRunAndKeepsTheUnsortedList) {
    const fs::path unreplaceable = "/proc/version";
    if (!fs::exists(unreplaceable)) {
        GTEST_SKIP() << "no read-only file system with a readable file on this host";
    }
    const TempFolder folder;
    fs::create_symlink(unreplaceable, folder.dir / PICTURES);
    folder.write(MAP, mapFile(CATS));
    const RunResult run = runProgram(folder.dir, "yes\n\n");
    expectEnd(run, 0, SHOWN.sortFailed);
    EXPECT_EQ(run.err.rfind("sort: cannot write AllPictures.txt: ", 0), 0u) << run.err;
    EXPECT_EQ(folder.listing(), STOPPED_AFTER_THE_SORT);
    EXPECT_TRUE(fs::is_symlink(folder.dir / PICTURES));
    EXPECT_EQ(folder.read(BACKUP), folder.read(PICTURES));
    EXPECT_EQ(folder.read(UNSORTED).size() % PICTURE_LINE_BYTES, 0u);
    EXPECT_FALSE(folder.read(UNSORTED).empty());
}

} // namespace
