#include "lines/line_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "platform/files.h"
#include "test_support/lines.h"
#include "test_support/test_support.h"

// The largest block asked of operator new while a test watches, which shows how much memory
// taking a line holds at once. Out of line, so that the compiler does not take the C library's
// free of what this new gave for a mismatch.
namespace {
std::atomic<bool> watching{false};
std::atomic<std::size_t> largestBlock{0};
} // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    if (watching && size > largestBlock) {
        largestBlock = size;
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* block) noexcept {
    std::free(block);
}
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace lines {
namespace {

using platform::FileDescriptor;

// An unlinked file holding `bytes`, read from its start in reads as large as the reader asks.
FileDescriptor fileOf(const std::string& bytes) {
    return FileDescriptor(test_support::tempFile(bytes));
}

// A stream of `bytes` whose every read hands over `chunk` bytes at the most, as a pipe or a
// terminal may: each chunk is a message of its own, which one read takes whole.
FileDescriptor chunked(const std::string& bytes, std::size_t chunk) {
    int ends[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    const FileDescriptor writer(ends[1]);
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const std::size_t size = std::min(chunk, bytes.size() - at);
        EXPECT_EQ(::write(writer.get(), bytes.data() + at, size), static_cast<ssize_t>(size));
    }
    return FileDescriptor(ends[0]);
}

// The lines as takeLines gives them, `most` at a time, each batch copied only once it is whole, so
// that a line spoilt by the reading of the next one shows; with `most` 0, the line heads of `keep`
// bytes that takeLineHead gives.
std::vector<std::string> allLines(const FileDescriptor& stream, std::size_t most,
                                  std::size_t keep = 0) {
    LineSource source(stream.get());
    std::vector<std::string> lines;
    std::vector<std::string_view> batch(most);
    std::string head;
    for (;;) {
        std::size_t count = 0;
        const TakeResult taken = most == 0 ? source.takeLineHead(keep, head)
                                           : source.takeLines(batch.data(), most, count);
        if (taken.status != LineStatus::Line) {
            EXPECT_EQ(taken.status, LineStatus::End);
            EXPECT_EQ(count, 0u);
            return lines;
        }
        if (most == 0) {
            lines.push_back(head);
            continue;
        }
        EXPECT_GE(count, 1u);
        lines.insert(lines.end(), batch.begin(),
                     batch.begin() + static_cast<std::ptrdiff_t>(count));
    }
}

// Inputs whose CRs and LFs fall on every boundary between reads for the small chunks below.
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
        // Lines of one length, then one whose LF falls where the length puts it but that holds
        // another, one that ends a CR sooner, and one without a CR before its LF.
        "abcd\nabcd\na\nbc\nabcd\n",
        "abc\r\nabc\r\nab\r\r\nabcd\nabc\r\n",
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

class LineSourceChunks : public ::testing::TestWithParam<std::size_t> {};

// Taken `most` lines at a time, or line heads of `keep` bytes: both as many as are asked for.
TEST_P(LineSourceChunks, TakeLinesAndLineHeadsMatchTheReference) {
    for (const std::string& input : sampleInputs()) {
        SCOPED_TRACE("input: " + ::testing::PrintToString(input));
        for (const std::size_t most : {1, 3, 32}) {
            EXPECT_EQ(allLines(chunked(input, GetParam()), most), test_support::splitLines(input))
                << "at most " << most;
        }
        for (const std::size_t keep : {0, 1, 2, 1000}) {
            std::vector<std::string> expected = test_support::splitLines(input);
            for (std::string& line : expected) {
                line.resize(std::min(line.size(), keep));
            }
            EXPECT_EQ(allLines(chunked(input, GetParam()), 0, keep), expected) << "keep " << keep;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ReadSizes, LineSourceChunks, ::testing::Values(1, 2, 3, 7, 64));

// Lines that fill the block and more make it grow; a CR LF may fall on either side of its end.
TEST(LineSource, LinesLongerThanTheBlock) {
    std::string longLine(5'000'000, 'x');
    longLine[123] = '\r';
    longLine[4'999'999] = 'z';
    std::string text = longLine + "\r\nnext\n";
    for (const std::size_t length : {65'534, 65'535, 65'536, 131'071, 131'072}) {
        text += std::string(length, 'y') + "\r\n";
    }
    const std::vector<std::string> expected = test_support::splitLines(text);
    for (const std::size_t most : {1, 32}) {
        EXPECT_TRUE(allLines(fileOf(text), most) == expected) << "at most " << most;
    }
}

TEST(LineSource, HeadOfALongLineHoldsNoMoreThanOneBlock) {
    const FileDescriptor file = fileOf(std::string(5'000'000, 'x') + "\r\nab\n");
    LineSource source(file.get());
    std::string head;
    watching = true;
    ASSERT_EQ(source.takeLineHead(2, head).status, LineStatus::Line);
    watching = false;
    EXPECT_EQ(head, "xx");
    EXPECT_LT(largestBlock.load(), std::size_t{1} << 20);
    ASSERT_EQ(source.takeLineHead(2, head).status, LineStatus::Line);
    EXPECT_EQ(head, "ab");
    EXPECT_EQ(source.takeLineHead(2, head).status, LineStatus::End);
}

TEST(LineSource, ReadErrorIsReturnedWithItsNumber) {
    const FileDescriptor folder(::open("/", O_RDONLY | O_DIRECTORY));
    ASSERT_TRUE(folder.isOpen());
    LineSource source(folder.get());
    std::string_view line;
    std::size_t count = 1;
    const TakeResult taken = source.takeLines(&line, 1, count);
    EXPECT_EQ(taken.status, LineStatus::ReadFailed);
    EXPECT_EQ(taken.error, EISDIR);
    EXPECT_EQ(count, 0u);
    std::string head;
    const TakeResult headTaken = source.takeLineHead(2, head);
    EXPECT_EQ(headTaken.status, LineStatus::ReadFailed);
    EXPECT_EQ(headTaken.error, EISDIR);
}

} // namespace
} // namespace lines
