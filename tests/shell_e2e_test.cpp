// The copy, sort and delete of a run seen from outside: what stays in the folder, and the stops
// that keep the picture list safe when the backup or the sort fails.

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "e2e_scenarios.h"
#include "e2e_support.h"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

const std::vector<MapEntry> CATS = {{"Fluffy", "Leopard"}, {"Rajah", "Tiger"}};

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

const std::string FAILURE_WAIT = "Type Enter to TERMINATE WITH FAILURE";

TEST(ShellCommands, CompleteRunLeavesTheNewListAndTheOldOneOnly) {
    Scratch scratch;
    scratch.write(PICTURES, OLD_LIST);
    scratch.write(MAP, mapFile(CATS));
    fs::permissions(scratch.dir / PICTURES, fs::perms(0640));
    const RunResult run = runProgram(scratch, "yes\n\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, completeRunOutput(mapTable(CATS)));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(scratch.read(PICTURES), NEW_LIST);
    EXPECT_EQ(scratch.read(BACKUP), OLD_LIST);
    EXPECT_EQ(scratch.listing(), LISTING_AFTER_RUN);
    EXPECT_EQ(fs::status(scratch.dir / PICTURES).permissions(), fs::perms(0640));
}

TEST(ShellCommands, BackupLeftFromAnEarlierRunIsReplaced) {
    Scratch scratch;
    scratch.write(PICTURES, OLD_LIST);
    scratch.write(BACKUP, pictureLine("IMG_9999.jpg", "Stale", "from an earlier run"));
    scratch.write(MAP, mapFile(CATS));
    EXPECT_EQ(runProgram(scratch, "yes\n\n").exitStatus, 0);
    EXPECT_EQ(scratch.read(BACKUP), OLD_LIST);
    EXPECT_EQ(scratch.read(PICTURES), NEW_LIST);
    EXPECT_EQ(scratch.listing(), LISTING_AFTER_RUN);
}

TEST(ShellCommands, MissingPictureListStopsBeforeTheMapIsLookedAt) {
    Scratch scratch;
    const RunResult run = runProgram(scratch, "\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, openingLines() + message("AllPictures.txt is not present ... TERMINATING") +
                           message(FAILURE_WAIT));
    EXPECT_EQ(run.err, "copy: cannot read AllPictures.txt: No such file or directory\r\n");
    EXPECT_EQ(scratch.listing(), "");
}

// Any failure of the backup other than a missing list: the run must not go on to overwrite the
// only full picture list with one made from a stale, partial or empty backup.
TEST(ShellCommands, BackupThatFailsOtherwiseStopsBeforeTheMapIsRead) {
    struct Case {
        const char* name;
        void (*arrange)(const Scratch&);
        const char* report;
    };
    const Case cases[] = {
        {"list is a folder", [](const Scratch& s) { fs::create_directory(s.dir / PICTURES); },
         "copy: cannot read AllPictures.txt: Is a directory\r\n"},
        {"backup is a folder",
         [](const Scratch& s) {
             s.write(PICTURES, OLD_LIST);
             fs::create_directory(s.dir / BACKUP);
         },
         "copy: cannot write AllPicturesIndiv.txt: Is a directory\r\n"},
        // Copied into the device, the list would be gone: the relabelling would read nothing and
        // the sort would write an empty list over the only full one.
        {"backup is a link to a device",
         [](const Scratch& s) {
             s.write(PICTURES, OLD_LIST);
             fs::create_symlink("/dev/null", s.dir / BACKUP);
         },
         "copy: cannot write AllPicturesIndiv.txt: Not a regular file\r\n"},
    };
    for (const Case& failure : cases) {
        SCOPED_TRACE(failure.name);
        Scratch scratch;
        failure.arrange(scratch);
        const std::string listBefore = scratch.read(PICTURES);
        const std::string listingBefore = scratch.listing();
        const RunResult run = runProgram(scratch, "\n");
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, openingLines() +
                               message("Backup of AllPictures.txt failed ... TERMINATING") +
                               message(FAILURE_WAIT));
        EXPECT_EQ(run.err, failure.report);
        EXPECT_EQ(scratch.listing(), listingBefore);
        EXPECT_EQ(scratch.read(PICTURES), listBefore);
    }
}

const std::string FAILED_SORT_LINES =
    message(RELABEL_MESSAGE) + message(SORT_MESSAGE) +
    message("Sort of AllPicturesUnsorted.txt failed ... TERMINATING") +
    message("AllPicturesIndiv.txt holds the picture list as it was before this run") +
    message(FAILURE_WAIT);

// A link to an endless device in place of the unsorted list: the relabelling writes into it, and
// the sort must refuse to read it rather than fill the memory.
TEST(ShellCommands, UnreadableUnsortedListStopsTheRunAfterTheSort) {
    if (!fs::exists("/dev/zero")) {
        GTEST_SKIP() << "no /dev/zero on this host";
    }
    Scratch scratch;
    scratch.write(PICTURES, OLD_LIST);
    scratch.write(MAP, mapFile(CATS));
    fs::create_symlink("/dev/zero", scratch.dir / UNSORTED);
    const RunResult run = runProgram(scratch, "yes\n\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, openingLines() + mapTable(CATS) + FAILED_SORT_LINES);
    EXPECT_EQ(run.err, "sort: cannot read AllPicturesUnsorted.txt: Not a regular file\r\n");
    EXPECT_EQ(scratch.read(PICTURES), OLD_LIST);
    EXPECT_EQ(scratch.read(BACKUP), OLD_LIST);
    EXPECT_EQ(scratch.listing(),
              "AllPictures.txt AllPicturesIndiv.txt AllPicturesUnsorted.txt MarrowfenlatchMap.txt");
}

// The list is a link to a file in a folder where no new file can be made, so the backup can read
// it but the sort cannot put a new list in its place.
TEST(ShellCommands, UnreplaceablePictureListStopsTheRunAndKeepsTheUnsortedList) {
    const fs::path unreplaceable = "/proc/version";
    if (!fs::exists(unreplaceable)) {
        GTEST_SKIP() << "no read-only file system with a readable file on this host";
    }
    Scratch scratch;
    fs::create_symlink(unreplaceable, scratch.dir / PICTURES);
    scratch.write(MAP, mapFile(CATS));
    const RunResult run = runProgram(scratch, "yes\n\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, openingLines() + mapTable(CATS) + FAILED_SORT_LINES);
    EXPECT_EQ(run.err.rfind("sort: cannot write AllPictures.txt: ", 0), 0u) << run.err;
    EXPECT_EQ(scratch.listing(),
              "AllPictures.txt AllPicturesIndiv.txt AllPicturesUnsorted.txt MarrowfenlatchMap.txt");
    EXPECT_TRUE(fs::is_symlink(scratch.dir / PICTURES));
    EXPECT_EQ(scratch.read(BACKUP), scratch.read(PICTURES));
    EXPECT_EQ(scratch.read(UNSORTED).size() % PICTURE_LINE_BYTES, 0u);
    EXPECT_FALSE(scratch.read(UNSORTED).empty());
}

} // namespace
