#include "shell/builtins/line_sort.h"

#include "shell/builtins/builtin_test_support.h"
#include "shell/builtins/key_sort.h"
#include "shell/builtins/merged_output.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>

#include "test_support/lines.h"
#include "test_support/test_support.h"

namespace shell::builtins {
namespace {

std::vector<std::string> referenceOrder(const std::string& text) {
    std::vector<std::string> lines = test_support::splitLines(text);
    // std::string compares its characters as unsigned bytes.
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The lines of the text as the sort writes them out.
template <class Offset> std::vector<std::string> mergedHalves(const std::string& text) {
    const SortedHalves<Offset> sorted = sortInHalves<Offset>(text);
    const test_support::HeldDescriptor out(test_support::tempFile(""));
    EXPECT_EQ(writeMergedHalves(text.data(), sorted, out.fd), 0);
    return test_support::splitLines(test_support::contents(out.fd));
}

// Short lines that share the start of a very long one are settled once: the long line alone goes
// on to deeper bytes. The long line comes last, so that the middle of the text falls within it and
// all the short lines are sorted in the same half.
TEST(SortInHalves, ALongLineOfNulsAmongManyShortOnesTakesLinearTime) {
    std::string text;
    for (int i = 0; i < 50'000; ++i) {
        text += std::string(static_cast<std::size_t>(i % 3), '\0') + "\n";
    }
    text += std::string(std::size_t{2} << 20, '\0') + "\n";
    ::alarm(60); // a sort that never ends fails the case instead of stalling the run
    const std::vector<std::string> sorted = mergedHalves<std::uint32_t>(text);
    ::alarm(0);
    EXPECT_TRUE(sorted == referenceOrder(text));
}

// Random texts; and lines that share long beginnings, which need many rounds of keys: a line that
// ends where another goes on with NUL bytes must still come first.
TEST(SortInHalves, MergedHalvesMatchTheReferenceOnRandomTextAndLongSharedBeginnings) {
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        const std::string text = randomText(seed, 3000);
        EXPECT_EQ(mergedHalves<std::uint32_t>(text), referenceOrder(text)) << "seed " << seed;
    }
    EXPECT_EQ(mergedHalves<std::uint64_t>(randomText(8, 500)), referenceOrder(randomText(8, 500)));
    const std::string shared(45, 'p');
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += shared + std::string(static_cast<std::size_t>(i % 7), '\0') +
                std::to_string(i % 13) + "\n";
        text += shared + std::string(static_cast<std::size_t>(i % 5), '\0') + "\n";
    }
    EXPECT_EQ(mergedHalves<std::uint32_t>(text), referenceOrder(text));
}

// Lines taken as the program takes them; lines of one length and one line end are told by their
// number; a text that only looks so by its first line and its size is sorted as lines of any
// length.
TEST(SortInHalves, TinyTextsLinesOfOneLengthAndTextsThatOnlySeemSo) {
    for (const std::string text :
         {"a\r\nb\n\r\nc\rd\n\ne\r\r\nlast", "x\n", "\r", "", "a", "\n", "b\na", "b\na\n",
          "a\r\n\r\n", "bb\r\naa\r\n", "b\na\n", "\n\n\n", "ab\r\ncd\n\n", "abc\na\nb\n",
          "ab\na\r\n", "a\r\nb\r\nc\n\n", "ab\r\n\r\n\r\n"}) {
        EXPECT_EQ(mergedHalves<std::uint32_t>(text), referenceOrder(text)) << text;
    }
    // Enough lines to be spread into buckets, most sharing their first eight bytes and more.
    std::mt19937 random(3);
    std::string text;
    for (int i = 0; i < 60'000; ++i) {
        std::string line = "2012-09-2" + std::to_string(random() % 3) + "_IMG_" +
                           std::to_string(10'000 + random() % 3000) + ".jpg";
        line.resize(40, random() % 4 == 0 ? '\0' : ' ');
        text += line + "\r\n";
    }
    EXPECT_EQ(mergedHalves<std::uint32_t>(text), referenceOrder(text));
    EXPECT_EQ(mergedHalves<std::uint64_t>(text), referenceOrder(text));
    // Values that only lines between the runs of the survey's sample hold, in both halves: the
    // sample takes 128 lines every 312 here. Short lines, and lines long enough to be checked
    // many columns at once, one of them with a value in a column that the sample saw the same.
    for (const std::size_t tail : {0, 70}) {
        std::string rare;
        for (int i = 0; i < 20'000; ++i) {
            std::string line = std::string(i == 200      ? "zb"
                                           : i == 201    ? "a~"
                                           : i == 10'201 ? "\x01"
                                                           "b"
                                                         : "ab") +
                               static_cast<char>('a' + i % 3) + std::string(tail, '-');
            if (tail > 0 && i == 15'001) {
                line[40] = '+';
            }
            rare += line + "\n";
        }
        EXPECT_EQ(mergedHalves<std::uint32_t>(rare), referenceOrder(rare)) << "tail " << tail;
    }
}

// Sets large enough to be spread into buckets, with keys that share their high bytes, keys that
// differ only in their lowest bit, and many equal keys.
TEST(SortByKey, LargeSetsComeOutInKeyOrder) {
    std::mt19937_64 random(5);
    for (const std::uint64_t sharedHigh : {std::uint64_t{0}, std::uint64_t{0x494d475f32303134}}) {
        std::vector<LineEntry<std::uint32_t>> lines(100'000);
        for (std::uint32_t i = 0; i < lines.size(); ++i) {
            const std::uint64_t low = i % 3 == 0 ? random() % 2 : random() % 50'000;
            lines[i] = {sharedHigh == 0 ? random() : (sharedHigh & ~0xffffffULL) | low, i, 0};
        }
        std::vector<LineEntry<std::uint32_t>> expected = lines;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.key < b.key; });
        sortByKey(std::span<LineEntry<std::uint32_t>>(lines));
        EXPECT_TRUE(std::equal(lines.begin(), lines.end(), expected.begin(),
                               [](const auto& a, const auto& b) { return a.key == b.key; }));
        std::sort(lines.begin(), lines.end(),
                  [](const auto& a, const auto& b) { return a.start < b.start; });
        EXPECT_TRUE(std::all_of(lines.begin(), lines.end(), [i = 0u](const auto& line) mutable {
            return line.start == i++;
        })) << "an entry was lost or doubled";
    }
}

} // namespace
} // namespace shell::builtins
