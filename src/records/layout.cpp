#include "records/layout.h"

#include <algorithm>

#include "records/short_copy.h"

namespace records {

std::vector<FixedText> blankValues(const RecordLayout& layout) {
    std::vector<FixedText> values;
    for (const LayoutElement& element : layout.elements) {
        if (const auto* field = std::get_if<TextField>(&element)) {
            values.push_back(FixedText({}, field->width));
        }
    }
    return values;
}

LayoutPlan planLayout(const RecordLayout& layout) {
    LayoutPlan plan;
    for (const LayoutElement& element : layout.elements) {
        if (const auto* field = std::get_if<TextField>(&element)) {
            plan.fields.push_back({plan.width, field->width});
            plan.width += field->width;
        } else {
            plan.width += std::get<Skip>(element).count;
        }
    }
    return plan;
}

void cutLine(std::string_view line, const LayoutPlan& plan, std::vector<FixedText>& values) {
    FixedText* value = values.data();
    for (const FieldColumns& field : plan.fields) {
        // Columns beyond the line read as blanks.
        const std::size_t first = std::min(field.first, line.size());
        (value++)->assign(line.substr(first, std::min(field.width, line.size() - first)));
    }
}

void buildLine(const RecordLayout& layout, const std::vector<FixedText>& values,
               std::string& line) {
    const LayoutPlan plan = planLayout(layout);
    line.resize(plan.width);
    line.resize(buildLineAt(plan, values, line.data()));
}

std::size_t buildLineAt(const LayoutPlan& plan, const std::vector<FixedText>& values, char* out) {
    std::size_t length = 0; // bytes placed so far
    const FixedText* value = values.data();
    for (const FieldColumns& field : plan.fields) {
        // Skipped columns, and what a shorter value left of its field, are blanks.
        fillBlanks(out + length, field.first - length);
        const std::string& bytes = (value++)->text();
        const std::size_t count = std::min(field.width, bytes.size());
        copyBytes(out + field.first, bytes.data(), count);
        length = field.first + count;
    }
    return length;
}

} // namespace records
