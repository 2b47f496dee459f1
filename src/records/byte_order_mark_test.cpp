#include "records/byte_order_mark.h"

#include <gtest/gtest.h>

#include <string>

namespace records {
namespace {

// The whole marks at the very start, and nothing that only looks like one: a file cut short
// inside a mark, a byte off, or the same bytes further on.
TEST(ByteOrderMark, OnlyAWholeMarkAtTheStartCounts) {
    struct Case {
        std::string bytes;
        ByteOrderMark kind;
        std::size_t length;
    };
    for (const Case& test : {
             Case{"\xEF\xBB\xBF"
                  "Fluffy",
                  ByteOrderMark::Utf8, 3},
             Case{"\xEF\xBB\xBF", ByteOrderMark::Utf8, 3},
             Case{std::string("\xFF\xFE"
                              "F\0",
                              4),
                  ByteOrderMark::Utf16, 2},
             Case{std::string("\xFE\xFF\0F", 4), ByteOrderMark::Utf16, 2},
             Case{"\xEF\xBB", ByteOrderMark::None, 0},
             Case{"\xEF\xBB\xBE", ByteOrderMark::None, 0},
             Case{"\xBB\xEF\xBF", ByteOrderMark::None, 0},
             Case{"\xFF", ByteOrderMark::None, 0},
             Case{"\xFF\xFF", ByteOrderMark::None, 0},
             Case{"\xFE\xFE", ByteOrderMark::None, 0},
             Case{" \xEF\xBB\xBF", ByteOrderMark::None, 0},
             Case{"", ByteOrderMark::None, 0},
         }) {
        SCOPED_TRACE(testing::PrintToString(test.bytes));
        const LeadingMark mark = byteOrderMarkAt(test.bytes);
        EXPECT_EQ(mark.kind, test.kind);
        EXPECT_EQ(mark.length, test.length);
    }
}

} // namespace
} // namespace records
