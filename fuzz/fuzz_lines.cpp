// Line taking and cutting: any bytes, read through blocks of any size, must give exactly the
// lines of the plain splitter, and each line must cut into the columns the layouts name.
//
// Input: byte 0 picks the reader's block size, byte 1 how much of each line takeLineHead keeps,
// byte 2 whether lines are taken whole or by their head; the rest is the stream.

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

#include "fuzz_support.h"
#include "records/layout.h"
#include "records/line_source.h"

namespace {

using records::Skip;
using records::TextField;

const records::RecordLayout PICTURE_LAYOUT{
    {TextField{25}, Skip{1}, TextField{25}, Skip{1}, TextField{22}}};
const records::RecordLayout MAP_LAYOUT{{TextField{25}, Skip{1}, TextField{25}}};

// A stream that holds `bytes`, read from its start.
int streamOf(const std::uint8_t* bytes, std::size_t size) {
    const int fd = ::memfd_create("fuzz-lines", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    for (std::size_t done = 0; done < size;) {
        const ssize_t put = ::write(fd, bytes + done, size - done);
        FUZZ_CHECK(put > 0);
        done += static_cast<std::size_t>(put);
    }
    FUZZ_CHECK(::lseek(fd, 0, SEEK_SET) == 0);
    return fd;
}

void checkCuts(const std::string& line) {
    std::vector<records::FixedText> picture = records::blankValues(PICTURE_LAYOUT);
    records::cutLine(line, records::planLayout(PICTURE_LAYOUT), picture);
    FUZZ_CHECK(picture.size() == 3);
    FUZZ_CHECK(picture[0].bytes == fuzz::columns(line, 0, 25));
    FUZZ_CHECK(picture[1].bytes == fuzz::columns(line, 26, 25));
    FUZZ_CHECK(picture[2].bytes == fuzz::columns(line, 52, 22));

    std::string built;
    records::buildLine(PICTURE_LAYOUT, picture, built);
    FUZZ_CHECK(built == picture[0].bytes + " " + picture[1].bytes + " " + picture[2].bytes);

    std::vector<records::FixedText> map = records::blankValues(MAP_LAYOUT);
    records::cutLine(line, records::planLayout(MAP_LAYOUT), map);
    FUZZ_CHECK(map.size() == 2);
    FUZZ_CHECK(map[0].bytes == fuzz::columns(line, 0, 25));
    FUZZ_CHECK(map[1].bytes == fuzz::columns(line, 26, 25));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::size_t blockSize = 1 + data[0];
    const std::size_t keep = data[1] % 100;
    const bool wholeLines = (data[2] & 1) == 0;
    const std::string_view stream(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::vector<std::string> expected = fuzz::splitLines(stream);

    const int fd = streamOf(data + 3, size - 3);
    records::LineSource source = records::lineSourceFor(fd, blockSize);
    std::size_t taken = 0;
    for (;;) {
        records::TakeResult result{};
        std::string got;
        if (wholeLines) {
            std::string_view line;
            result = records::takeLine(source, line);
            got = line;
        } else {
            result = records::takeLineHead(source, keep, got);
        }
        FUZZ_CHECK(result.status == records::LineStatus::Line ||
                   result.status == records::LineStatus::End);
        if (result.status == records::LineStatus::End) {
            break;
        }
        FUZZ_CHECK(taken < expected.size());
        const std::string& line = expected[taken];
        FUZZ_CHECK(got == (wholeLines ? line : line.substr(0, keep)));
        checkCuts(line);
        ++taken;
    }
    FUZZ_CHECK(taken == expected.size());
    // The end stays the end.
    std::string_view after;
    FUZZ_CHECK(records::takeLine(source, after).status == records::LineStatus::End);
    ::close(fd);
    return 0;
}
