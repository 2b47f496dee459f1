#include "records/write_behind.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "platform/files.h"
#include "test_support/expect.h"
#include "test_support/test_support.h"

namespace records {
namespace {

using namespace test_support;

std::vector<char> numberedBytes(std::size_t size, char first) {
    std::vector<char> bytes(size);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

// Each block handed over comes back the size it went, however large the one before it was, with
// the bytes after the handed-over part at its front; the file gets the handed-over parts in turn.
TEST(WriteBehind, HandsBackABlockOfTheSizeItWasGiven) {
    ScratchFolder folder;
    platform::OpenResult opened =
        platform::openFile("out.txt", platform::OpenMode::CreateReadWrite);
    ASSERT_TRUE(opened.file.isOpen());
    WriteBehind behind;
    ASSERT_TRUE(startWriteBehind(behind, opened.file.get()));
    std::string written;
    for (const std::size_t size : {std::size_t{3} << 20, std::size_t{1} << 20, std::size_t{4096}}) {
        std::vector<char> output = numberedBytes(size, static_cast<char>(size >> 10));
        const std::size_t count = size - 10;
        const std::vector<char> kept(output.begin() + static_cast<std::ptrdiff_t>(count),
                                     output.end());
        written.append(output.data(), count);
        ASSERT_EQ(handOver(behind, output, count, kept.size()), 0);
        ASSERT_EQ(output.size(), size);
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), output.begin()));
    }
    EXPECT_EQ(finishWriteBehind(behind), 0);
    EXPECT_TRUE(sameBytes(readFile("out.txt"), written));
}

} // namespace
} // namespace records
