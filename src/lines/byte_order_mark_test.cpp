#include "lines/byte_order_mark.h"

#include <gtest/gtest.h>

#include <string>

namespace lines {
namespace {

// The whole marks at the very start, and nothing that only looks like one: a file cut short
// inside a mark, a byte off, or the same bytes further on.
TEST(ByteOrderMark, OnlyAWholeMarkAtTheStartCounts) {
    EXPECT_EQ(byteOrderMarkAt("\xEF\xBB\xBF").kind, ByteOrderMark::Utf8);
    EXPECT_EQ(byteOrderMarkAt("\xEF\xBB\xBFIMG").length, 3u);
    for (const std::string& utf16 :
         {std::string("\xFF\xFEI\0", 4), std::string("\xFE\xFF\0I", 4)}) {
        EXPECT_EQ(byteOrderMarkAt(utf16).kind, ByteOrderMark::Utf16);
        EXPECT_EQ(byteOrderMarkAt(utf16).length, 2u);
    }
    for (const char* unmarked : {"", "\xEF\xBB", "\xEF\xBB\xBE", "\xBB\xEF\xBF", "\xFF", "\xFF\xFF",
                                 "\xFE\xFE", " \xEF\xBB\xBF"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(unmarked)));
        EXPECT_EQ(byteOrderMarkAt(unmarked).kind, ByteOrderMark::None);
        EXPECT_EQ(byteOrderMarkAt(unmarked).length, 0u);
    }
}

} // namespace
} // namespace lines
