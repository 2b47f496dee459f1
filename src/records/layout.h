#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "records/fixed_text.h"

namespace records {

// The next `width` columns hold one text value.
struct TextField {
    std::size_t width;
};

// The next `count` columns are ignored on reading and left blank on writing.
struct Skip {
    std::size_t count;
};

using LayoutElement = std::variant<TextField, Skip>;

// Fixed columns from column 1 on, in element order.
struct RecordLayout {
    std::vector<LayoutElement> elements;
};

// One blank-filled value per text field, each as wide as its field: the shape that cutLine fills
// and buildLine reads.
std::vector<FixedText> blankValues(const RecordLayout& layout);

// Builds the line for `values` into `line`. The line ends with the last column of the last text
// field: skipped columns lie between fields and never lengthen it by themselves.
void buildLine(const RecordLayout& layout, const std::vector<FixedText>& values, std::string& line);

// Where one text field lies: its first column, counted from 0, and its width.
struct FieldColumns {
    std::size_t first;
    std::size_t width;
};

// A layout reduced to what cutting and building a line need, so that a file of millions of
// records does not walk the layout's elements again for every line: its text fields in layout
// order, and the number of columns it covers (no line built by it is longer).
struct LayoutPlan {
    std::vector<FieldColumns> fields;
    std::size_t width = 0;
};

LayoutPlan planLayout(const RecordLayout& layout);

// Cuts `line` into `values` (shaped by blankValues). Columns beyond the line read as blanks and
// characters beyond the layout are ignored, so cutting never fails.
void cutLine(std::string_view line, const LayoutPlan& plan, std::vector<FixedText>& values);

// Builds the line at `out`, which has room for plan.width bytes, and returns its length. Lets a
// caller build lines straight into a buffer of its own.
std::size_t buildLineAt(const LayoutPlan& plan, const std::vector<FixedText>& values, char* out);

} // namespace records
