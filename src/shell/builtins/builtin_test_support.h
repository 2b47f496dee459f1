#pragma once

// Random texts for the tests of the sort: lines dense in the bytes that decide an order (NUL,
// CR, a high byte, a blank), many sharing a beginning longer than one key, with either line end.

#include <cstdint>
#include <random>
#include <string>

namespace shell::builtins {

// An odd seed leaves the last line without its end.
inline std::string randomText(std::uint32_t seed, int lineCount) {
    std::mt19937 random(seed);
    const std::string alphabet("ab\0\r\xff ", 6);
    std::string text;
    for (int i = 0; i < lineCount; ++i) {
        const std::size_t length = random() % 4 == 0 ? random() % 40 : random() % 4;
        text += std::string(random() % 3 == 0 ? 16 : 0, 'k');
        for (std::size_t j = 0; j < length; ++j) {
            text += alphabet[random() % alphabet.size()];
        }
        text += random() % 2 == 0 ? "\r\n" : "\n";
    }
    return seed % 2 == 1 ? text + "no line end" : text;
}

} // namespace shell::builtins
