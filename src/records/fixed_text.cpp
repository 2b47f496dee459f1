#include "records/fixed_text.h"

namespace records {

FixedText::FixedText(std::string_view text, std::size_t length) : bytes_(length, ' ') {
    assign(text);
}

} // namespace records
