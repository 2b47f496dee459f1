#include "records/layout.h"

#include <algorithm>
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

namespace {

// Fields are a few dozen bytes, and every record read or written copies each of them once. A pair
// of overlapping fixed-size moves does such a copy without the cost of a library call.
inline void copyBytes(char* to, const char* from, std::size_t count) {
    if (count > 32) {
        std::memcpy(to, from, count);
    } else if (count >= 16) {
        std::memcpy(to, from, 16);
        std::memcpy(to + count - 16, from + count - 16, 16);
    } else if (count >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + count - 8, from + count - 8, 8);
    } else if (count >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + count - 4, from + count - 4, 4);
    } else if (count > 0) {
        to[0] = from[0];
        to[count / 2] = from[count / 2];
        to[count - 1] = from[count - 1];
    }
}

constexpr char BLANKS[33] = "                                ";

inline void fillBlanks(char* to, std::size_t count) {
    if (count > 32) {
        std::memset(to, ' ', count);
    } else {
        copyBytes(to, BLANKS, count);
    }
}

} // namespace

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
        // Same result as assignFixedText(value, covered), inlined here because every record read
        // goes through it: a whole field is one copy; only a line that ends early needs blanks.
        char* out = value->bytes.data();
        const std::size_t length = (value++)->bytes.size();
        const std::size_t available = field.first < line.size() ? line.size() - field.first : 0;
        const std::size_t kept = std::min({length, field.width, available});
        copyBytes(out, line.data() + std::min(field.first, line.size()), kept);
        if (kept < length) {
            fillBlanks(out + kept, length - kept);
        }
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
        const std::string& bytes = (value++)->bytes;
        const std::size_t count = std::min(field.width, bytes.size());
        copyBytes(out + field.first, bytes.data(), count);
        length = field.first + count;
    }
    return length;
}

} // namespace records
