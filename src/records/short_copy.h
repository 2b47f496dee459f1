#pragma once

// The copies and blank fills of fields: a few dozen bytes, made for every field of every record
// read or written. A pair of overlapping fixed-size moves makes such a copy without the cost of a
// library call.

#include <cstddef>
#include <cstring>

namespace records {

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

// The one blank fill: `count` blanks from `to` on.
inline void fillBlanks(char* to, std::size_t count) {
    static constexpr char BLANKS[33] = "                                ";
    if (count > 32) {
        std::memset(to, ' ', count);
    } else {
        copyBytes(to, BLANKS, count);
    }
}

} // namespace records
