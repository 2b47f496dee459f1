#include <gtest/gtest.h>
#include <string>

#include "platform/files.h"
#include "platform/mapped_file.h"
#include "test_support/test_support.h"

namespace platform {
namespace {

using namespace test_support;

// Someone else cutting the file short while it is mapped must not end the process: what it lost
// reads as zeros, and the loss is told.
TEST(MapForReading, AFileCutShortUnderTheMappingReadsZerosAndSaysSo) {
    ScratchFolder folder;
    const std::size_t size = std::size_t{1} << 20;
    writeFile("list.txt", std::string(size, 'x'));
    OpenResult opened = openFile("list.txt", OpenMode::RegularForReading);
    ASSERT_TRUE(opened.file.isOpen());
    MapResult mapping = mapForReading(opened.file.get(), size);
    ASSERT_EQ(mapping.error, 0);
    ASSERT_EQ(opened.file.close(), 0);
    const char* bytes = mapping.bytes.get();
    EXPECT_EQ(bytes[size - 1], 'x');
    EXPECT_FALSE(mappedFileShrank());

    std::filesystem::resize_file("list.txt", 4096);
    EXPECT_EQ(bytes[0], 'x');
    EXPECT_EQ(bytes[size - 1], '\0');
    EXPECT_TRUE(mappedFileShrank());

    // One file at a time: a second mapping waits until the first is gone.
    const OpenResult again = openFile("list.txt", OpenMode::RegularForReading);
    EXPECT_NE(mapForReading(again.file.get(), 4096).error, 0);
    mapping.bytes.reset();
    EXPECT_EQ(mapForReading(again.file.get(), 4096).error, 0);
    EXPECT_FALSE(mappedFileShrank());
}

} // namespace
} // namespace platform
