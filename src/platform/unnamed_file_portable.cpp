#include <cerrno>

#include "platform/unnamed_file.h"

namespace platform {

// This host has no unnamed files: the replacement writes into a named temporary file.
int openUnnamedFile(const std::string&) {
    return -1;
}

int nameUnnamedFile(int, const std::string&) {
    return ENOTSUP;
}

} // namespace platform
