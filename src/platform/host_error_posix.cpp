#include "platform/host_error.h"

#include <cstring>

#include "platform/files.h"

namespace platform {

std::string_view describeHostError(int error) {
    return error == NOT_A_REGULAR_FILE ? "Not a regular file" : std::strerror(error);
}

} // namespace platform
