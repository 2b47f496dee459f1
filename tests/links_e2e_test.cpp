// Symbolic links under the run's names. The user's own links, and those of the folder's owner,
// are followed as ever; a link that anyone else made is a file that the run may not open: nothing
// is read or written through it, and nothing is made where it leads. Only root can give a link to
// another user, so the test is skipped for anyone else.

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "test_support/expect.h"

namespace {

using namespace test_support;
namespace fs = std::filesystem;

const std::vector<MapEntry> CATS = {{"Fluffy", "Leopard"}, {"Rajah", "Tiger"}};
const Transcripts SHOWN = transcriptsFor(CATS);
const std::string MAP_FILE = mapFile(CATS);
const std::string OLD_LIST =
    pictureLine("IMG_0002.jpg", "Rajah", "") + pictureLine("IMG_0001.jpg", "Fluffy", "");
const std::string NEW_LIST = relabelledList(MAP_FILE, OLD_LIST);

// Who made the link; OwnToOthers: the user's own link, to a link that another user made.
enum class Link { Own, FolderOwners, Others, OwnToOthers };

struct Case {
    const char* file;
    Link link;
    const std::string& out;
    std::string err; // the fatal report's lines, up to its source location, after a fatal end
    std::string listing;
    std::string target; // what the link's target holds after the run; "" for a link to nothing
};

// Puts in the place of the case's file a link to "target.txt" in `elsewhere`, which the file
// becomes; an output's link leads to a file of the user's that must come to no harm.
void link(const TempFolder& folder, const TempFolder& elsewhere, const Case& c) {
    const fs::path target = elsewhere.dir / "target.txt";
    const fs::path name = folder.dir / c.file;
    const fs::path last = c.link == Link::OwnToOthers ? elsewhere.dir / "hop" : name; // to target
    if (folder.exists(c.file)) {
        fs::rename(name, target);
    } else if (!c.target.empty()) {
        writeFile(target, "precious");
    }
    fs::create_symlink(target, last);
    if (last != name) {
        fs::create_symlink(last, name);
    }
    for (const fs::path& entry : {last, folder.dir}) {
        const bool given = c.link == Link::FolderOwners || (c.link != Link::Own && entry == last);
        EXPECT_TRUE(!given || ::lchown(entry.c_str(), 65534, 65534) == 0); // to nobody
    }
}

TEST(Links, OnlyTheUsersOwnAndTheFolderOwnersAreFollowed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a link to another user";
    }
    const std::string all =
        "AllPictures.txt AllPicturesIndiv.txt AllPicturesUnsorted.txt MarrowfenlatchMap.txt";
    const std::string denied = ": Permission denied\r\n";
    const std::string refused = reportLines(hostErrorReport(EACCES, "OPEN", 2, UNSORTED, {}));
    const Case cases[] = {
        {PICTURES, Link::Others, SHOWN.backupFailed, "copy: cannot read AllPictures.txt" + denied,
         "AllPictures.txt MarrowfenlatchMap.txt", OLD_LIST},
        {BACKUP, Link::Others, SHOWN.backupFailed,
         "copy: cannot write AllPicturesIndiv.txt" + denied, LISTING_AFTER_RUN, "precious"},
        {MAP, Link::Others, SHOWN.guidance, "", LISTING_AFTER_RUN, MAP_FILE},
        {MAP, Link::OwnToOthers, SHOWN.guidance, "", LISTING_AFTER_RUN, MAP_FILE},
        {UNSORTED, Link::Others, SHOWN.relabelling, refused, all, "precious"},
        {UNSORTED, Link::Others, SHOWN.relabelling, refused, all, ""},
        {PICTURES, Link::Own, SHOWN.complete, "", LISTING_AFTER_RUN, NEW_LIST},
        {PICTURES, Link::FolderOwners, SHOWN.complete, "", LISTING_AFTER_RUN, NEW_LIST},
        {BACKUP, Link::Own, SHOWN.complete, "", LISTING_AFTER_RUN, OLD_LIST},
        // A link to nothing is replaced by the backup.
        {BACKUP, Link::Own, SHOWN.complete, "", LISTING_AFTER_RUN, ""},
        {MAP, Link::Own, SHOWN.complete, "", LISTING_AFTER_RUN, MAP_FILE},
        // Written and sorted through the link, which is deleted at the end.
        {UNSORTED, Link::Own, SHOWN.complete, "", LISTING_AFTER_RUN,
         joinLines(relabelledLines(MAP_FILE, OLD_LIST))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        const TempFolder folder, elsewhere;
        writeCatalogue(folder, OLD_LIST, MAP_FILE);
        link(folder, elsewhere, c);
        const RunResult run = runProgram(folder.dir, "yes\n\n");
        const FatalReport report = parseFatalReport(run.err);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.exitStatus, report.wellFormed ? 127 : 0);
        EXPECT_EQ(report.wellFormed ? reportLines(report) : run.err, c.err);
        EXPECT_EQ(folder.listing(), c.listing);
        EXPECT_EQ(folder.read(PICTURES), &c.out == &SHOWN.complete ? NEW_LIST : OLD_LIST);
        EXPECT_TRUE(&c.out != &SHOWN.complete || folder.read(BACKUP) == OLD_LIST);
        EXPECT_EQ(elsewhere.read("target.txt"), c.target);
        const std::string hop = c.link == Link::OwnToOthers ? "hop " : "";
        EXPECT_EQ(elsewhere.listing(), c.target.empty() ? "" : hop + "target.txt");
    }
}

} // namespace
