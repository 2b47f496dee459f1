#include "lines/write_behind.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "platform/files.h"
#include "test_support/expect.h"
#include "test_support/test_support.h"

namespace lines {
namespace {

using namespace test_support;

// Each block handed over comes back at least the size it went, however large or small the one
// before it was, with the bytes after the handed-over part at its front; the file gets the
// handed-over parts in turn.
TEST(WriteBehind, HandsBackABlockAtLeastAsLargeAsTheOneGiven) {
    ScratchFolder folder;
    platform::OpenResult opened =
        platform::openFile("out.txt", platform::OpenMode::CreateReadWrite);
    ASSERT_TRUE(opened.file.isOpen());
    WriteBehind behind;
    ASSERT_TRUE(behind.start(opened.file.get()));
    std::string written;
    for (const std::size_t size : {std::size_t{3} << 20, std::size_t{1} << 20, std::size_t{4096}}) {
        std::vector<char> bytes(size);
        std::iota(bytes.begin(), bytes.end(), static_cast<char>(size >> 10));
        WriteBlock output;
        ASSERT_TRUE(output.reserve(size));
        output.append(bytes.data(), size);
        const std::size_t count = size - 10;
        const std::string kept(output.data() + count, output.used() - count);
        written.append(output.data(), count);
        const HandOverResult handed = behind.handOver(output, count);
        ASSERT_EQ(handed.writeError, 0);
        ASSERT_FALSE(handed.outOfMemory);
        ASSERT_GE(output.capacity(), size);
        EXPECT_EQ(std::string(output.data(), output.used()), kept);
    }
    EXPECT_EQ(behind.finish(), 0);
    EXPECT_TRUE(sameBytes(readFile("out.txt"), written));
}

} // namespace
} // namespace lines
