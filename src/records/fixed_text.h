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
// The length is fixed when the text is made: nothing afterwards can change it.
class FixedText {
  public:
    // `text`, blank-filled or cut to `length` bytes.
    FixedText(std::string_view text, std::size_t length);

    // Replaces the content with `text`, keeping the length; never allocates. Inline, since every
    // field of every record read is cut by it.
    void assign(std::string_view text) {
        char* const out = bytes_.data();
        const std::size_t kept = std::min(bytes_.size(), text.size());
        copyBytes(out, text.data(), kept);
        if (kept < bytes_.size()) {
            fillBlanks(out + kept, bytes_.size() - kept);
        }
    }

    // All n bytes, trailing blanks included.
    const std::string& text() const noexcept { return bytes_; }
    std::size_t length() const noexcept { return bytes_.size(); }

    friend bool operator==(const FixedText&, const FixedText&) = default;

  private:
    std::string bytes_;
};

} // namespace records
