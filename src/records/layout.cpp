#include "records/layout.h"

#include <cstring>

namespace records {

std::vector<FixedText> blankValues(const RecordLayout& layout) {
    std::vector<FixedText> values;
    for (const LayoutElement& element : layout.elements) {
        if (const auto* field = std::get_if<TextField>(&element)) {
            values.push_back(FixedText{std::string(field->width, ' ')});
        }
    }
    return values;
}

void cutLine(std::string_view line, const RecordLayout& layout, std::vector<FixedText>& values) {
    std::size_t column = 0; // 0-based column of the next element
    std::size_t value = 0;
    for (const LayoutElement& element : layout.elements) {
        if (const auto* field = std::get_if<TextField>(&element)) {
            const std::string_view covered =
                column < line.size() ? line.substr(column, field->width) : std::string_view{};
            assignFixedText(values[value++], covered);
            column += field->width;
        } else {
            column += std::get<Skip>(element).count;
        }
    }
}

void buildLine(const RecordLayout& layout, const std::vector<FixedText>& values,
               std::string& line) {
    line.clear();
    std::size_t column = 0;
    std::size_t value = 0;
    for (const LayoutElement& element : layout.elements) {
        if (const auto* field = std::get_if<TextField>(&element)) {
            line.resize(column, ' ');
            line.append(values[value++].bytes, 0, field->width);
            column += field->width;
        } else {
            column += std::get<Skip>(element).count;
        }
    }
}

} // namespace records
