#include "records/fixed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace records {
namespace {

struct FixedCase {
    std::string text;
    std::size_t length;
    std::string expected;
};

class MakeFixedText : public ::testing::TestWithParam<FixedCase> {};

TEST_P(MakeFixedText, PadsOrCutsToItsLength) {
    const FixedCase& c = GetParam();
    EXPECT_EQ(FixedText(c.text, c.length).text(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, MakeFixedText,
    ::testing::Values(FixedCase{"", 3, "   "}, FixedCase{"Fluffy", 10, "Fluffy    "},
                      FixedCase{"Fluffy", 6, "Fluffy"}, FixedCase{"Fluffy", 3, "Flu"},
                      FixedCase{"ab", 0, ""},
                      FixedCase{"0123456789", 44, "0123456789" + std::string(34, ' ')},
                      FixedCase{std::string(40, 'x') + "yz", 41, std::string(40, 'x') + "y"},
                      // Blanks and control bytes are ordinary content, never trimmed or mapped.
                      FixedCase{" a\t", 4, " a\t "},
                      FixedCase{std::string("\0\x1a\xff", 3), 4, std::string("\0\x1a\xff ", 4)}));

TEST(AssignFixedText, KeepsLengthAndClearsOldContent) {
    FixedText value = FixedText("Leopard", 8);
    value.assign("Ox");
    EXPECT_EQ(value.text(), "Ox      ");
    value.assign("Hippopotamus");
    EXPECT_EQ(value.text(), "Hippopot");
    value.assign("");
    EXPECT_EQ(value.text(), "        ");
}

} // namespace
} // namespace records
