// Line taking and cutting: any bytes, handed over in reads of any size, must give exactly the
// lines of the plain splitter, and each line must cut into the columns that the program's layouts
// promise.
//
// Input: byte 0 picks the most bytes a read hands over, byte 1 how much of each line takeLineHead
// keeps, byte 2 whether lines are taken whole (and how many at a time) or by their head; the rest
// is the stream.

#include <algorithm>
#include <cstdint>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "fuzz_support.h"
#include "lines/line_source.h"
#include "picture_list/relabel.h"
#include "species_map/species_map.h"

namespace {

// A stream of `bytes` whose every read hands over `chunk` bytes at the most: each chunk is a
// message of its own, which one read takes whole. The socket holds a hundred messages or more;
// more are written by a thread of its own, which the caller joins.
int streamOf(std::string_view bytes, std::size_t chunk, std::thread& writer) {
    int ends[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends) == 0);
    const auto write = [bytes, chunk, fd = ends[1]] {
        for (std::size_t done = 0; done < bytes.size(); done += chunk) {
            const std::size_t size = std::min(chunk, bytes.size() - done);
            FUZZ_CHECK(::write(fd, bytes.data() + done, size) == static_cast<ssize_t>(size));
        }
        ::close(fd);
    };
    if (bytes.size() / chunk < 100) {
        write();
    } else {
        writer = std::thread(write);
    }
    return ends[0];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::size_t chunk = 1 + data[0];
    const std::size_t keep = data[1] % 100;
    const bool wholeLines = (data[2] & 1) == 0;
    const std::size_t most = 1 + (data[2] >> 1) % 8; // lines a take of whole lines asks for
    const std::string_view stream(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::vector<std::string> expected = fuzz::splitLines(stream);

    std::thread writer;
    const int fd = streamOf(stream, chunk, writer);
    lines::LineSource source(fd);
    std::vector<std::string_view> batch(most);
    std::string head;
    std::size_t taken = 0;
    for (;;) {
        std::size_t count = 1;
        const lines::TakeResult result = wholeLines ? source.takeLines(batch.data(), most, count)
                                                    : source.takeLineHead(keep, head);
        FUZZ_CHECK(result.status == lines::LineStatus::Line ||
                   result.status == lines::LineStatus::End);
        if (result.status == lines::LineStatus::End) {
            break;
        }
        // Every line of a batch must still stand as it was when the batch is complete.
        for (std::size_t i = 0; i < count; ++i, ++taken) {
            FUZZ_CHECK(taken < expected.size());
            const std::string& line = expected[taken];
            FUZZ_CHECK(wholeLines ? batch[i] == line : head == line.substr(0, keep));
            // Each line cuts into the columns of the program's own layouts.
            fuzz::checkLayout(picture_list::pictureLineLayout(), {{0, 25}, {26, 25}, {52, 22}},
                              line);
            fuzz::checkLayout(species_map::mapLineLayout(), {{0, 25}, {26, 25}}, line);
        }
    }
    FUZZ_CHECK(taken == expected.size());
    // The end stays the end.
    std::string_view after;
    std::size_t count = 0;
    FUZZ_CHECK(source.takeLines(&after, 1, count).status == lines::LineStatus::End);
    if (writer.joinable()) {
        writer.join();
    }
    ::close(fd);
    return 0;
}
