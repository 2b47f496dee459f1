#include "records/layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace records {
namespace {

const RecordLayout MAP_LINE{{TextField{25}, Skip{1}, TextField{25}}};
const RecordLayout PICTURE_LINE{{TextField{25}, Skip{1}, TextField{25}, Skip{1}, TextField{22}}};
const RecordLayout MAP_HEADER{{TextField{10}, Skip{15}, Skip{1}, TextField{7}}};

std::vector<std::string> cut(std::string_view line, const RecordLayout& layout) {
    std::vector<FixedText> values = blankValues(layout);
    cutLine(line, planLayout(layout), values);
    std::vector<std::string> result;
    for (const FixedText& value : values) {
        result.push_back(value.bytes);
    }
    return result;
}

std::string build(const RecordLayout& layout, const std::vector<std::string>& texts) {
    std::vector<FixedText> values = blankValues(layout);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        assignFixedText(values[i], texts[i]);
    }
    std::string line = "stale content that must not survive";
    buildLine(layout, values, line);
    return line;
}

std::string blanks(std::size_t n) {
    return std::string(n, ' ');
}

TEST(BlankValues, OneBlankValuePerTextFieldInOrder) {
    const std::vector<FixedText> values = blankValues(PICTURE_LINE);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].bytes, blanks(25));
    EXPECT_EQ(values[1].bytes, blanks(25));
    EXPECT_EQ(values[2].bytes, blanks(22));
}

struct CutCase {
    std::string name;
    std::string line;
    std::vector<std::string> expected;
};

class CutLine : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutLine, MapLayout) {
    EXPECT_EQ(cut(GetParam().line, MAP_LINE), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CutLine,
    ::testing::Values(CutCase{"Empty", "", {blanks(25), blanks(25)}},
                      CutCase{"ShortFirstField", "Fluffy", {"Fluffy" + blanks(19), blanks(25)}},
                      // Characters 27 to 30 of a 30-character line start the second value.
                      CutCase{"ThirtyChars",
                              "abcdefghijklmnopqrstuvwxy|1234",
                              {"abcdefghijklmnopqrstuvwxy", "1234" + blanks(21)}},
                      CutCase{"EndsOnSkippedColumn",
                              std::string(25, 'a') + "|",
                              {std::string(25, 'a'), blanks(25)}},
                      CutCase{"TooLongIgnoresTheRest",
                              std::string(25, 'a') + "|" + std::string(25, 'b') + "EXTRA",
                              {std::string(25, 'a'), std::string(25, 'b')}},
                      // A 26th character lands on the skipped column and is lost.
                      CutCase{"LongNameSpills",
                              "Abcdefghijklmnopqrstuvwxyz Leo",
                              {"Abcdefghijklmnopqrstuvwxy", " Leo" + blanks(21)}},
                      CutCase{"ControlBytesAreColumns",
                              std::string("\t\r\0\x1a\xff", 5),
                              {std::string("\t\r\0\x1a\xff", 5) + blanks(20), blanks(25)}}),
    [](const auto& info) { return info.param.name; });

TEST(CutLineOverwrite, EveryValueIsRewrittenOnEachCut) {
    std::vector<FixedText> values = blankValues(MAP_LINE);
    const LayoutPlan plan = planLayout(MAP_LINE);
    cutLine(std::string(51, 'x'), plan, values);
    cutLine("ab", plan, values);
    EXPECT_EQ(values[0].bytes, "ab" + blanks(23));
    EXPECT_EQ(values[1].bytes, blanks(25));
}

TEST(CutLinePicture, SkippedColumnsAndColumnsPast74AreIgnored) {
    const std::string line =
        std::string(25, 'L') + "#" + std::string(25, 'F') + "#" + std::string(22, 'T') + "beyond";
    EXPECT_EQ(cut(line, PICTURE_LINE),
              (std::vector<std::string>{std::string(25, 'L'), std::string(25, 'F'),
                                        std::string(22, 'T')}));
}

TEST(BuildLine, PictureLineIs74CharactersWithBlankSkips) {
    const std::string tail = "2014-02-01 IMG_0001   "; // 22 characters, trailing blanks kept
    ASSERT_EQ(tail.size(), 22u);
    const std::string line = build(PICTURE_LINE, {"Fluffy", "Leopard", tail});
    EXPECT_EQ(line, "Fluffy" + blanks(19) + " " + "Leopard" + blanks(18) + " " + tail);
    EXPECT_EQ(line.size(), 74u);
}

TEST(BuildLine, MapHeaderIs33Characters) {
    EXPECT_EQ(build(MAP_HEADER, {"Individual", "Species"}), "Individual" + blanks(16) + "Species");
}

TEST(BuildLine, TrailingSkipDoesNotLengthenTheLine) {
    const RecordLayout layout{{Skip{2}, TextField{3}, Skip{4}}};
    EXPECT_EQ(build(layout, {"ab"}), "  ab ");
}

TEST(BuildLine, ValueBytesGoOutUnchanged) {
    const std::string odd("\0\r\t\x1a\xfe", 5);
    EXPECT_EQ(build(MAP_LINE, {odd, odd}), odd + blanks(20) + " " + odd + blanks(20));
}

} // namespace
} // namespace records
