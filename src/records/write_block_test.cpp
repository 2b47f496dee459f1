#include "records/write_block.h"

#include <gtest/gtest.h>

#include <string>

namespace records {
namespace {

std::string usedBytes(const WriteBlock& block) {
    return {block.data(), block.used()};
}

// Growing keeps the bytes gathered so far; asking for less than there is changes nothing; the
// front dropped leaves the rest at the start.
TEST(WriteBlock, KeepsItsBytesAsItGrowsAndSends) {
    WriteBlock block;
    ASSERT_TRUE(block.reserve(8));
    block.append("abcdef", 6);
    ASSERT_TRUE(block.reserve(WRITE_BLOCK_SIZE));
    EXPECT_EQ(block.capacity(), WRITE_BLOCK_SIZE);
    EXPECT_EQ(usedBytes(block), "abcdef");
    const char* const bytes = block.data();
    ASSERT_TRUE(block.reserve(16));
    EXPECT_EQ(block.data(), bytes);
    block.dropFront(4);
    EXPECT_EQ(usedBytes(block), "ef");
    block.end()[0] = 'g';
    block.commit(1);
    EXPECT_EQ(usedBytes(block), "efg");
}

} // namespace
} // namespace records
