#pragma once

// The bytes that an editor may put before the first line of a text file to name its encoding.
// The tool's files are single-byte text cut into columns by bytes, so a file must be told apart
// when it starts so.

#include <cstddef>
#include <string_view>

namespace lines {

enum class ByteOrderMark {
    None,
    Utf8,  // EF BB BF: what follows may well be single-byte text, names in plain letters
    Utf16, // FF FE or FE FF: every character takes two bytes or more
};

// The longest mark that byteOrderMarkAt knows, in bytes.
inline constexpr std::size_t LONGEST_BYTE_ORDER_MARK = 3;

struct LeadingMark {
    ByteOrderMark kind = ByteOrderMark::None;
    std::size_t length = 0; // its bytes, which come before the first line
};

// The mark that a file starts with, shown its first bytes: at least LONGEST_BYTE_ORDER_MARK of
// them, or the whole file when it is shorter.
LeadingMark byteOrderMarkAt(std::string_view firstBytes);

} // namespace lines
