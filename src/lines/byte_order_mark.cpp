#include "lines/byte_order_mark.h"

#include <array>

namespace lines {

LeadingMark byteOrderMarkAt(std::string_view firstBytes) {
    struct Known {
        std::string_view bytes;
        ByteOrderMark kind;
    };
    // A UTF-32 file that starts FF FE 00 00 is taken for UTF-16; it is no more single-byte text.
    static constexpr std::array<Known, 3> known = {{{"\xEF\xBB\xBF", ByteOrderMark::Utf8},
                                                    {"\xFF\xFE", ByteOrderMark::Utf16},
                                                    {"\xFE\xFF", ByteOrderMark::Utf16}}};
    for (const Known& mark : known) {
        if (firstBytes.starts_with(mark.bytes)) {
            return {mark.kind, mark.bytes.size()};
        }
    }
    return {};
}

} // namespace lines
