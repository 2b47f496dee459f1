#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// Replaces the content of `target` with `text`, keeping its length; never allocates.
void assignFixedText(FixedText& target, std::string_view text);

} // namespace records
