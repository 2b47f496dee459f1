#include <cerrno>

#include "platform/mapped_file.h"

namespace platform {

// This host's files are read into memory instead: what a mapping would do when a file shrinks
// under it is not known here.
void Unmap::operator()(const char*) const {}

MapResult mapForReading(int, std::size_t) {
    return {MappedBytes(nullptr, Unmap{}), ENOTSUP};
}

bool mappedFileShrank() {
    return false;
}

} // namespace platform
