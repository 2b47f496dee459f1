#include <cerrno>

#include "platform/unnamed_file.h"

namespace platform {

// This host has no unnamed files: the replacement writes into a named temporary file.
FileDescriptor openUnnamedFile(int, std::uint32_t) {
    return FileDescriptor();
}

int nameUnnamedFile(int, int, const std::string&) {
    return ENOTSUP;
}

} // namespace platform
