// Layouts of any shape: cutting by a layout's plan, and building by the layout itself and by its
// plan, must give the values and lines that the column rules give, worked out the plain way.
//
// Input: byte 0 gives the number of elements (1 to 8), each of the next bytes one element (high
// bit set: a skip, else a text field; the low five bits plus one: its width); the rest is a line.

#include <cstdint>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t count = 1 + data[0] % 8;
    if (size < 1 + count) {
        return 0;
    }
    records::RecordLayout layout;
    std::vector<fuzz::Field> fields;
    std::size_t column = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t width = 1 + (data[1 + i] & 31);
        if ((data[1 + i] & 128) != 0) {
            layout.elements.emplace_back(records::Skip{width});
        } else {
            layout.elements.emplace_back(records::TextField{width});
            fields.push_back({column, width});
        }
        column += width;
    }
    fuzz::checkLayout(
        layout, fields,
        std::string_view(reinterpret_cast<const char*>(data + 1 + count), size - 1 - count));
    return 0;
}
