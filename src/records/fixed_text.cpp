#include "records/fixed_text.h"

#include <algorithm>
#include <cstring>

namespace records {

FixedText makeFixedText(std::string_view text, std::size_t length) {
    FixedText result{std::string(length, ' ')};
    assignFixedText(result, text);
    return result;
}

void assignFixedText(FixedText& target, std::string_view text) {
    const std::size_t length = target.bytes.size();
    const std::size_t kept = std::min(length, text.size());
    char* out = target.bytes.data();
    if (kept > 0) {
        std::memcpy(out, text.data(), kept);
    }
    std::memset(out + kept, ' ', length - kept);
}

} // namespace records
