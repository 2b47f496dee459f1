#include "shell/shell.h"

namespace shell {

std::string_view commandLineOf(std::string_view text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

} // namespace shell
