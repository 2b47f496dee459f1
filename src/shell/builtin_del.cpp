#include <cerrno>
#include <unistd.h>

#include "shell/builtin.h"

namespace shell {

std::int32_t deleteFile(const std::string& name) {
    if (::unlink(name.c_str()) != 0) {
        reportFailure("del", "cannot remove", name, errno);
        return 1;
    }
    return 0;
}

} // namespace shell
