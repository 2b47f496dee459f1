#include "records/line_source.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "test_support/lines.h"

namespace records {
namespace {

// The line rules written out the plain way, to check the block reader against.
std::vector<std::string> referenceLines(const std::string& bytes) {
    return test_support::splitLines(bytes);
}

// An unlinked temporary file holding `bytes`, positioned at its start.
struct TempStream {
    int fd = -1;
    explicit TempStream(const std::string& bytes) {
        char name[] = "/tmp/line_source_testXXXXXX";
        fd = ::mkstemp(name);
        EXPECT_GE(fd, 0);
        ::unlink(name);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::lseek(fd, 0, SEEK_SET);
    }
    ~TempStream() { ::close(fd); }
    TempStream(const TempStream&) = delete;
    TempStream& operator=(const TempStream&) = delete;
};

std::vector<std::string> allLines(const std::string& bytes, std::size_t blockSize) {
    TempStream stream(bytes);
    LineSource source = lineSourceFor(stream.fd, blockSize);
    std::vector<std::string> lines;
    std::string_view line;
    for (;;) {
        const TakeResult taken = takeLine(source, line);
        if (taken.status != LineStatus::Line) {
            EXPECT_EQ(taken.status, LineStatus::End);
            return lines;
        }
        lines.emplace_back(line);
    }
}

// The lines as takeLines gives them, `most` at a time; each batch is copied only once it is whole,
// so that a line spoilt by the reading of the next one shows.
std::vector<std::string> allLinesInBatches(const std::string& bytes, std::size_t blockSize,
                                           std::size_t most) {
    TempStream stream(bytes);
    LineSource source = lineSourceFor(stream.fd, blockSize);
    std::vector<std::string> lines;
    std::vector<std::string_view> batch(most);
    for (;;) {
        std::size_t count = 0;
        const TakeResult taken = takeLines(source, batch.data(), most, count);
        if (taken.status != LineStatus::Line) {
            EXPECT_EQ(taken.status, LineStatus::End);
            EXPECT_EQ(count, 0u);
            return lines;
        }
        EXPECT_GE(count, 1u);
        lines.insert(lines.end(), batch.begin(),
                     batch.begin() + static_cast<std::ptrdiff_t>(count));
    }
}

std::vector<std::string> allHeads(const std::string& bytes, std::size_t blockSize,
                                  std::size_t keep) {
    TempStream stream(bytes);
    LineSource source = lineSourceFor(stream.fd, blockSize);
    std::vector<std::string> heads;
    std::string head;
    for (;;) {
        const TakeResult taken = takeLineHead(source, keep, head);
        if (taken.status != LineStatus::Line) {
            EXPECT_EQ(taken.status, LineStatus::End);
            return heads;
        }
        heads.push_back(head);
    }
}

// Inputs whose CRs and LFs fall on every block boundary for the small block sizes below.
std::vector<std::string> sampleInputs() {
    std::vector<std::string> inputs = {
        "",
        "a\nb\n",
        "a\r\nb\r\n",
        "a\rb\n",
        "abc\r",
        "abc",
        "\r\n",
        "\n\n",
        "\r",
        "\r\r\n",
        "x\r\r\r\n\r",
        "line\n\x1a",
        "a\nb\r\nc\rd\r\n\r\ne",
        std::string("a\0b\x1a\t\x80\xff\r\n\0", 10),
    };
    // Deterministic mixtures, dense in CR and LF.
    unsigned state = 12345;
    for (int n = 0; n < 12; ++n) {
        std::string bytes;
        for (int i = 0; i < 40 + n; ++i) {
            state = state * 1103515245u + 12345u;
            bytes.push_back("ab\r\n\r\n\t"[(state >> 16) % 7]);
        }
        inputs.push_back(bytes);
    }
    return inputs;
}

class LineSourceBlocks : public ::testing::TestWithParam<std::size_t> {};

TEST_P(LineSourceBlocks, TakeLineMatchesReference) {
    for (const std::string& input : sampleInputs()) {
        EXPECT_EQ(allLines(input, GetParam()), referenceLines(input))
            << "input: " << ::testing::PrintToString(input);
    }
}

TEST_P(LineSourceBlocks, TakeLinesMatchesReference) {
    for (const std::size_t most : {1, 3, 32}) {
        for (const std::string& input : sampleInputs()) {
            EXPECT_EQ(allLinesInBatches(input, GetParam(), most), referenceLines(input))
                << "at most " << most << ", input: " << ::testing::PrintToString(input);
        }
    }
}

TEST_P(LineSourceBlocks, TakeLineHeadMatchesReference) {
    for (const std::size_t keep :
         {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{1000}}) {
        for (const std::string& input : sampleInputs()) {
            std::vector<std::string> expected = referenceLines(input);
            for (std::string& line : expected) {
                line.resize(std::min(line.size(), keep));
            }
            EXPECT_EQ(allHeads(input, GetParam(), keep), expected)
                << "keep " << keep << ", input: " << ::testing::PrintToString(input);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, LineSourceBlocks,
                         ::testing::Values(1, 2, 3, 7, 64, FILE_BLOCK_SIZE));

TEST(LineSource, LineFarLongerThanTheBlock) {
    std::string longLine(5'000'000, 'x');
    longLine[123] = '\r';
    longLine[4'999'999] = 'z';
    const std::vector<std::string> lines = allLines(longLine + "\r\nnext", 64);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0] == longLine);
    EXPECT_EQ(lines[1], "next");
}

TEST(LineSource, HeadOfLongLineKeepsOnlyTheHeadAndConstantBuffer) {
    TempStream stream(std::string(5'000'000, 'x') + "\r\nab\n");
    LineSource source = lineSourceFor(stream.fd, 64);
    std::string head;
    ASSERT_EQ(takeLineHead(source, 2, head).status, LineStatus::Line);
    EXPECT_EQ(head, "xx");
    EXPECT_EQ(source.block.size(), 64u);
    ASSERT_EQ(takeLineHead(source, 2, head).status, LineStatus::Line);
    EXPECT_EQ(head, "ab");
    EXPECT_EQ(takeLineHead(source, 2, head).status, LineStatus::End);
}

TEST(LineSource, ReadErrorIsReturnedWithItsNumber) {
    const int fd = ::open("/", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    LineSource source = lineSourceFor(fd, 64);
    std::string_view line;
    const TakeResult taken = takeLine(source, line);
    EXPECT_EQ(taken.status, LineStatus::ReadFailed);
    EXPECT_EQ(taken.error, EISDIR);
    std::string head;
    const TakeResult headTaken = takeLineHead(source, 2, head);
    EXPECT_EQ(headTaken.status, LineStatus::ReadFailed);
    EXPECT_EQ(headTaken.error, EISDIR);
    ::close(fd);
}

} // namespace
} // namespace records
