#include "platform/host_error.h"

#include <array>
#include <charconv>
#include <windows.h>

namespace platform {

// The system's message for the error, from the one buffer that the last call filled.
std::string_view describeHostError(int error) {
    static std::array<char, 512> text;
    DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(error), 0, text.data(), text.size(), nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) {
        --length;
    }
    if (length > 0) {
        return {text.data(), length};
    }
    constexpr std::string_view UNKNOWN = "error ";
    UNKNOWN.copy(text.data(), UNKNOWN.size());
    const std::to_chars_result end =
        std::to_chars(text.data() + UNKNOWN.size(), text.data() + text.size(), error);
    return {text.data(), static_cast<std::size_t>(end.ptr - text.data())};
}

} // namespace platform
