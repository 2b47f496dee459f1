#include "records/fixed_text.h"

namespace records {

FixedText makeFixedText(std::string_view text, std::size_t length) {
    FixedText result{std::string(length, ' ')};
    assignFixedText(result, text);
    return result;
}

} // namespace records
