#pragma once

// A regular file's bytes seen in memory where they stand in the host's file cache: no copy of
// them, and no fresh memory for the host to clear first.

#include <cstddef>
#include <memory>

namespace platform {

struct Unmap {
    std::size_t size = 0;
    void operator()(const char* bytes) const;
};

using MappedBytes = std::unique_ptr<const char, Unmap>;

struct MapResult {
    MappedBytes bytes;
    int error = 0; // 0, or why the file is not mapped (ENOTSUP where the host cannot map it so)
};

// Maps the first `size` (> 0) bytes of the open regular file `fd` for reading; the mapping stays
// when the file is closed. Should the file be cut shorter by someone else while it is mapped, the
// bytes it lost read as zeros instead of ending the process, and mappedFileShrank tells. One file
// at a time is mapped so.
MapResult mapForReading(int fd, std::size_t size);

// Whether the file mapped by the last mapForReading has lost bytes since, so that whatever was
// made from its mapping must be made again from the file as it is now.
bool mappedFileShrank();

} // namespace platform
