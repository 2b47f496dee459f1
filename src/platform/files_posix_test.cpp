#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>

#include "platform/files.h"
#include "platform/replacement.h"
#include "test_support/test_support.h"

namespace platform {
namespace {

using namespace test_support;

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(FileDescriptor, ItsOwnerClosesItOnceWhereverItWasMoved) {
    ScratchFolder folder;
    writeFile("list.txt", "x");
    int fd = -1;
    {
        OpenResult opened = openFile("list.txt", OpenMode::ReadOnly);
        ASSERT_TRUE(opened.file.isOpen());
        fd = opened.file.get();
        FileDescriptor owner = std::move(opened.file);
        EXPECT_FALSE(opened.file.isOpen());
        EXPECT_EQ(owner.get(), fd);
        EXPECT_TRUE(isOpen(fd));
    }
    EXPECT_FALSE(isOpen(fd));

    // Closed early, an owner closes nothing later: the number may already be another file's.
    OpenResult first = openFile("list.txt", OpenMode::ReadOnly);
    EXPECT_EQ(first.file.close(), 0);
    EXPECT_FALSE(first.file.isOpen());
    const OpenResult second = openFile("list.txt", OpenMode::ReadOnly);
    { const FileDescriptor gone = std::move(first.file); }
    EXPECT_TRUE(isOpen(second.file.get()));
}

// Given up uncommitted, as a thrown exception gives it up, a replacement takes its new file with
// it; committed, it is the destination with the old one's permissions. Neither holds anything open.
TEST(Replacement, GivenUpUncommittedItTakesItsNewFileWithItCommittedItIsTheDestination) {
    ScratchFolder folder;
    writeFile("old.txt", "old");
    ::chmod("old.txt", 0640);
    const std::size_t before = openFiles();
    for (const char* destination : {"old.txt", "new.txt"}) {
        const std::string previous = readFile(destination);
        {
            ReplacementStart start = Replacement::begin(destination);
            ASSERT_EQ(start.error, 0);
            ASSERT_EQ(start.replacement.write("new", 3), 0);
        }
        EXPECT_THROW(
            {
                ReplacementStart start = Replacement::begin(destination);
                (void)start.replacement.write("new", 3);
                throw std::runtime_error("the work stops half-way");
            },
            std::runtime_error);
        EXPECT_EQ(readFile(destination), previous);
        EXPECT_EQ(folder.listing(), "old.txt");
        {
            ReplacementStart start = Replacement::begin(destination);
            ASSERT_EQ(start.error, 0);
            ASSERT_EQ(start.replacement.write("new", 3), 0);
            EXPECT_EQ(start.replacement.commit(), 0);
        } // given up after its commit: too late, nothing to undo
        EXPECT_EQ(readFile(destination), "new");
    }
    EXPECT_EQ(permissionsOf("old.txt"), 0640u);
    EXPECT_EQ(folder.listing(), "new.txt old.txt");
    EXPECT_EQ(openFiles(), before);
}

} // namespace
} // namespace platform
