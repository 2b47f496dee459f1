#include "records/layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace records {
namespace {

// Layouts of the shapes that the program uses, a skipped column between fields, and of others;
// the program's own layouts are checked where they are defined, through the files they read.
const RecordLayout TWO_FIELDS{{TextField{5}, Skip{1}, TextField{5}}};
const RecordLayout SKIPS_AT_BOTH_ENDS{{Skip{2}, TextField{3}, Skip{4}}};

// The values of `line`, cut into values that a full line of other bytes filled first, so that a
// value the cut does not rewrite shows.
std::vector<std::string> cut(std::string_view line, const RecordLayout& layout) {
    std::vector<FixedText> values = blankValues(layout);
    const LayoutPlan plan = planLayout(layout);
    cutLine(std::string(plan.width, 'x'), plan, values);
    cutLine(line, plan, values);
    std::vector<std::string> result;
    for (const FixedText& value : values) {
        result.push_back(value.text());
    }
    return result;
}

std::string build(const RecordLayout& layout, const std::vector<std::string>& texts) {
    std::vector<FixedText> values = blankValues(layout);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        values[i].assign(texts[i]);
    }
    std::string line = "stale content that must not survive";
    buildLine(layout, values, line);
    return line;
}

// A sixth character lands on the skipped column and is lost; columns past the layout are ignored;
// control bytes are columns like any other.
TEST(CutLine, TwoFieldsAndFieldsSideBySide) {
    using Cut = std::pair<std::string, std::vector<std::string>>;
    for (const auto& [line, expected] :
         {Cut{"", {"     ", "     "}}, Cut{"ab", {"ab   ", "     "}},
          Cut{"abcde|12", {"abcde", "12   "}}, Cut{"abcde|", {"abcde", "     "}},
          Cut{"abcdef ox", {"abcde", " ox  "}}, Cut{"abcde|12345EXTRA", {"abcde", "12345"}},
          Cut{std::string("\t\r\0\x1a\xff|\n", 7), {std::string("\t\r\0\x1a\xff", 5), "\n    "}}}) {
        EXPECT_EQ(cut(line, TWO_FIELDS), expected) << ::testing::PrintToString(line);
    }
    // Text fields side by side; the plan spans every element.
    const RecordLayout adjacent{{TextField{4}, Skip{1}, TextField{2}, TextField{3}}};
    EXPECT_EQ(blankValues(adjacent), (std::vector<FixedText>{{"", 4}, {"", 2}, {"", 3}}));
    EXPECT_EQ(cut("abcd|efghiEXTRA", adjacent), (std::vector<std::string>{"abcd", "ef", "ghi"}));
    EXPECT_EQ(planLayout(adjacent).width, 10u);
}

TEST(BuildLine, SkippedColumnsAreBlankAndTrailingOnesDoNotLengthenTheLine) {
    EXPECT_EQ(build(TWO_FIELDS, {"ab", "cd"}), "ab    cd   ");
    EXPECT_EQ(build(SKIPS_AT_BOTH_ENDS, {"ab"}), "  ab ");
    // A field of its word's width ends the line right after the word.
    EXPECT_EQ(build(RecordLayout{{TextField{2}, Skip{3}, TextField{2}}}, {"ab", "cd"}), "ab   cd");
    // Value bytes go out unchanged.
    const std::string odd("\0\r\t\x1a\xfe", 5);
    EXPECT_EQ(build(TWO_FIELDS, {odd, odd}), odd + " " + odd);
}

} // namespace
} // namespace records
