#include "platform/files.h"
#include "shell/builtins/builtins.h"

namespace shell::builtins {

std::int32_t deleteFile(const std::string& name) {
    if (const int error = platform::removeFile(name); error != 0) {
        reportFailure("del", "cannot remove", name, error);
        return status::NOT_REMOVED;
    }
    return status::DONE;
}

} // namespace shell::builtins
