// Symbolic links under the run's names. The user's own links, and those of the folder's owner,
// are followed as ever; a link that anyone else made is a file that the run may not open: nothing
// is read or written through it, and nothing is made where it leads. Only root can give a link to
// another user, so these tests are skipped for anyone else.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "test_support/expect.h"

namespace {

using namespace test_support;
namespace fs = std::filesystem;

constexpr uid_t OTHER_USER = 65534; // nobody
constexpr const char* TARGET = "target.txt";

const std::vector<MapEntry> CATS = {{"Fluffy", "Leopard"}, {"Rajah", "Tiger"}};
const Transcripts SHOWN = transcriptsFor(CATS);
const std::string MAP_FILE = mapFile(CATS);
const std::string OLD_LIST =
    pictureLine("IMG_0002.jpg", "Rajah", "") + pictureLine("IMG_0001.jpg", "Fluffy", "");
const std::string NEW_LIST = relabelledList(MAP_FILE, OLD_LIST);
// What the links of the run's outputs lead to: a file of the user's that must come to no harm.
const std::string PRECIOUS = "the user's own file\n";
const char* const ALL_FOUR =
    "AllPictures.txt AllPicturesIndiv.txt AllPicturesUnsorted.txt MarrowfenlatchMap.txt";

enum class Owner { User, Other, FolderOwner };

// Puts in place of `file` a link to TARGET in `elsewhere`, made by `owner`. With `hop`, the link
// leads there through a link "hop" in `elsewhere` that another user made.
void link(const TempFolder& folder, const TempFolder& elsewhere, const std::string& file,
          Owner owner, bool dangling, bool hop = false) {
    fs::remove(folder.dir / file);
    if (!dangling) {
        elsewhere.write(TARGET, file == PICTURES ? OLD_LIST : file == MAP ? MAP_FILE : PRECIOUS);
    }
    fs::create_symlink(elsewhere.path(hop ? "hop" : TARGET), folder.dir / file);
    if (hop) {
        fs::create_symlink(elsewhere.path(TARGET), elsewhere.dir / "hop");
        ASSERT_EQ(::lchown(elsewhere.path("hop").c_str(), OTHER_USER, OTHER_USER), 0);
    }
    if (owner == Owner::FolderOwner) {
        ASSERT_EQ(::chown(folder.dir.c_str(), OTHER_USER, OTHER_USER), 0);
    }
    if (owner != Owner::User) {
        ASSERT_EQ(::lchown((folder.dir / file).c_str(), OTHER_USER, OTHER_USER), 0);
    }
}

void layOut(const TempFolder& folder, const TempFolder& elsewhere, const std::string& file,
            Owner owner, bool dangling, bool hop = false) {
    folder.write(PICTURES, OLD_LIST);
    folder.write(MAP, MAP_FILE);
    link(folder, elsewhere, file, owner, dangling, hop);
}

#define SKIP_UNLESS_ROOT()                                                                         \
    if (::geteuid() != 0) {                                                                        \
        GTEST_SKIP() << "only root can give a link to another user";                               \
    }

TEST(Links, AnotherUsersLinkIsAFileTheRunMayNotOpen) {
    SKIP_UNLESS_ROOT();
    struct Case {
        const char* file;
        bool dangling;
        bool hop;
        const char* input;
        std::string out;
        std::string err; // empty for the fatal report at the open of the unsorted list
        std::string listing;
    };
    const Case cases[] = {
        {PICTURES, false, false, "\n", SHOWN.backupFailed,
         "copy: cannot read AllPictures.txt: Permission denied\r\n",
         "AllPictures.txt " + std::string(MAP)},
        {BACKUP, false, false, "\n", SHOWN.backupFailed,
         "copy: cannot write AllPicturesIndiv.txt: Permission denied\r\n", LISTING_AFTER_RUN},
        {MAP, false, false, "\n", SHOWN.guidance, "", LISTING_AFTER_RUN},
        {MAP, false, true, "\n", SHOWN.guidance, "", LISTING_AFTER_RUN},
        {UNSORTED, false, false, "yes\n\n", SHOWN.relabelling, "", ALL_FOUR},
        {UNSORTED, true, false, "yes\n\n", SHOWN.relabelling, "", ALL_FOUR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.dangling ? ", dangling" : c.hop ? ", behind" : ""));
        const TempFolder folder;
        const TempFolder elsewhere;
        layOut(folder, elsewhere, c.file, c.hop ? Owner::User : Owner::Other, c.dangling, c.hop);
        const RunResult run = runProgram(folder.dir, c.input);
        EXPECT_EQ(run.out, c.out);
        if (c.err.empty() && c.file == UNSORTED) {
            EXPECT_EQ(run.exitStatus, 127);
            EXPECT_EQ(parseFatalReport(run.err),
                      hostErrorReport(EACCES, "OPEN", 2, UNSORTED, std::nullopt));
        } else {
            EXPECT_EQ(run.exitStatus, 0);
            EXPECT_EQ(run.err, c.err);
        }
        EXPECT_EQ(folder.listing(), c.listing);
        EXPECT_EQ(fs::read_symlink(folder.dir / c.file), elsewhere.path(c.hop ? "hop" : TARGET));
        EXPECT_EQ(elsewhere.listing(), c.dangling ? "" : c.hop ? "hop target.txt" : TARGET);
    }
}

// The picture list swapped for another user's link while the question waits, after the backup:
// the sort must not write the new list through it.
TEST(Links, AnotherUsersLinkAsTheSortsDestination) {
    SKIP_UNLESS_ROOT();
    const TempFolder folder;
    const TempFolder elsewhere;
    folder.write(PICTURES, OLD_LIST);
    folder.write(MAP, MAP_FILE);
    Pipe input;
    Launch launch;
    launch.folder = folder.dir;
    launch.in = Stream::descriptor(input.read);
    launch.timeLimit = std::chrono::seconds(20);
    Running running(launch);
    input.closeRead();
    for (int wait = 0; wait < 1000 && folder.read(BACKUP) != OLD_LIST; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    link(folder, elsewhere, PICTURES, Owner::Other, false);
    ASSERT_EQ(::write(input.write, "yes\n\n", 5), 5);
    input.closeWrite();
    const RunResult run = running.finish();
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, SHOWN.sortFailed);
    EXPECT_EQ(run.err, "sort: cannot write AllPictures.txt: Permission denied\r\n");
    EXPECT_EQ(folder.listing(), ALL_FOUR);
    EXPECT_EQ(folder.read(BACKUP), OLD_LIST);
    EXPECT_EQ(elsewhere.read(TARGET), OLD_LIST);
    EXPECT_EQ(elsewhere.listing(), TARGET);
}

TEST(Links, TheUsersOwnLinksAndTheFolderOwnersAreFollowed) {
    SKIP_UNLESS_ROOT();
    struct Case {
        const char* file;
        Owner owner;
        bool dangling;
        std::string target; // what the link's target holds after the run; "" for none
        bool linkStays;
    };
    const Case cases[] = {
        {PICTURES, Owner::User, false, NEW_LIST, true},
        {PICTURES, Owner::FolderOwner, false, NEW_LIST, true},
        {BACKUP, Owner::User, false, OLD_LIST, true},
        {BACKUP, Owner::User, true, "", false}, // the link to nothing is replaced by the backup
        {MAP, Owner::User, false, MAP_FILE, true},
        // Written through the link, read by the sort through it, and the link deleted.
        {UNSORTED, Owner::User, false, joinLines(relabelledLines(MAP_FILE, OLD_LIST)), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.dangling ? ", dangling" : ""));
        const TempFolder folder;
        const TempFolder elsewhere;
        layOut(folder, elsewhere, c.file, c.owner, c.dangling);
        expectCompleteRun(folder, runProgram(folder.dir, "yes\n\n"), CATS, OLD_LIST, NEW_LIST);
        EXPECT_EQ(fs::is_symlink(folder.dir / c.file), c.linkStays);
        EXPECT_EQ(elsewhere.read(TARGET), c.target);
        EXPECT_EQ(elsewhere.listing(), c.dangling ? "" : TARGET);
    }
}

} // namespace
