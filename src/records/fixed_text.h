#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "records/short_copy.h"

namespace records {

// Width of individual, species and folder names, and of the first column of the picture list.
inline constexpr std::size_t NAME_WIDTH = 25;
// Width of the last column of the picture list.
inline constexpr std::size_t TAIL_WIDTH = 22;

// A text of exactly n single-byte characters: shorter content is filled with blanks on the right,
// longer content keeps its first n characters. Equality compares all n bytes, blanks included.
struct FixedText {
    std::string bytes;

    friend bool operator==(const FixedText&, const FixedText&) = default;
};

FixedText makeFixedText(std::string_view text, std::size_t length);

// Replaces the content of `target` with `text`, keeping its length; never allocates. Inline, since
// every field of every record read is cut by it.
inline void assignFixedText(FixedText& target, std::string_view text) {
    char* const out = target.bytes.data();
    const std::size_t length = target.bytes.size();
    const std::size_t kept = std::min(length, text.size());
    copyBytes(out, text.data(), kept);
    if (kept < length) {
        fillBlanks(out + kept, length - kept);
    }
}

} // namespace records
