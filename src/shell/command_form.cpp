#include <algorithm>
#include <array>
#include <string_view>

#include "shell/command_form.h"

namespace shell {

namespace {

constexpr std::string_view SEPARATORS = " \t";
// Quoting, redirection, pipes, variables, wildcards, grouping and the interpreter's other
// separators: a line with any of them means more than these forms, so it goes to the shell as it
// is.
constexpr std::string_view SPECIAL = "\"<>|&^%*?;,=()!";

// No built-in takes more than four words; a fifth already says that the line is for the shell.
constexpr std::size_t MOST_WORDS = 5;

// The words of the line, as views into it: a line is looked at without asking for memory, so that
// a want of memory shows first inside the command, as the command's own failure.
struct Words {
    std::array<std::string_view, MOST_WORDS> word;
    std::size_t count = 0; // at most MOST_WORDS, however many the line holds
};

Words wordsOf(std::string_view line) {
    Words words;
    std::size_t at = line.find_first_not_of(SEPARATORS);
    while (at != std::string_view::npos && words.count < MOST_WORDS) {
        const std::size_t end = line.find_first_of(SEPARATORS, at);
        words.word[words.count++] = line.substr(at, end == std::string_view::npos ? end : end - at);
        at = line.find_first_not_of(SEPARATORS, end);
    }
    return words;
}

bool isPlainName(std::string_view word) {
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || SPECIAL.find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view word, std::string_view lowerName) {
    return std::ranges::equal(word, lowerName, {}, asciiLower);
}

} // namespace

std::optional<CommandForm> parseCommandForm(std::string_view line) {
    const Words words = wordsOf(line);
    if (words.count == 0) {
        return std::nullopt;
    }
    const auto& word = words.word;
    const std::string_view name = word[0];
    if (sameIgnoringCase(name, "copy") && words.count == 3 && isPlainName(word[1]) &&
        isPlainName(word[2])) {
        return CommandForm{CommandKind::Copy, word[1], word[2], {}};
    }
    if (sameIgnoringCase(name, "sort") && words.count == 4 && word[2] == ">" &&
        isPlainName(word[1]) && isPlainName(word[3])) {
        return CommandForm{CommandKind::Sort, word[1], word[3], {}};
    }
    if (sameIgnoringCase(name, "del") && words.count == 2 && isPlainName(word[1])) {
        return CommandForm{CommandKind::Delete, {}, {}, word[1]};
    }
    return std::nullopt;
}

} // namespace shell
