#include "records/fixed_text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace records {
namespace {

// Blanks and control bytes are ordinary content, never trimmed or mapped. A value assigned keeps
// its length and nothing of what it held before.
TEST(FixedText, MadeOrAssignedPadsOrCutsToItsLength) {
    using Fixed = std::tuple<std::string, std::size_t, std::string>;
    for (const auto& [text, length, expected] :
         {Fixed{"", 3, "   "}, Fixed{"Fluffy", 10, "Fluffy    "}, Fixed{"Fluffy", 6, "Fluffy"},
          Fixed{"Fluffy", 3, "Flu"}, Fixed{"ab", 0, ""},
          Fixed{"0123456789", 44, "0123456789" + std::string(34, ' ')},
          Fixed{std::string(40, 'x') + "yz", 41, std::string(40, 'x') + "y"},
          Fixed{" a\t", 4, " a\t "},
          Fixed{std::string("\0\x1a\xff", 3), 4, std::string("\0\x1a\xff ", 4)}}) {
        EXPECT_EQ(FixedText(text, length).text(), expected)
            << ::testing::PrintToString(text) << length;
        FixedText assigned(std::string(50, '#'), length);
        assigned.assign(text);
        EXPECT_EQ(assigned.text(), expected) << ::testing::PrintToString(text) << length;
    }
}

} // namespace
} // namespace records
