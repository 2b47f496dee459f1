#include <algorithm>
#include <string_view>
#include <vector>

#include "shell/builtins/builtins.h"

namespace shell::builtins {

namespace {

constexpr std::string_view SEPARATORS = " \t";
// Quoting, redirection, pipes, variables, wildcards and the interpreter's other separators: a
// line with any of them means more than the built-ins know, so it goes to the shell as it is.
constexpr std::string_view SPECIAL = "\"<>|&^%*?;,=";

std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = line.find_first_not_of(SEPARATORS);
    while (at != std::string_view::npos) {
        const std::size_t end = line.find_first_of(SEPARATORS, at);
        words.push_back(line.substr(at, end == std::string_view::npos ? end : end - at));
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

std::optional<BuiltinCommand> parseBuiltin(std::string_view line) {
    const std::vector<std::string_view> words = wordsOf(line);
    if (words.empty()) {
        return std::nullopt;
    }
    const std::string_view name = words[0];
    if (sameIgnoringCase(name, "copy") && words.size() == 3 && isPlainName(words[1]) &&
        isPlainName(words[2])) {
        return BuiltinCommand{BuiltinKind::Copy, std::string(words[1]), std::string(words[2])};
    }
    if (sameIgnoringCase(name, "sort") && words.size() == 4 && words[2] == ">" &&
        isPlainName(words[1]) && isPlainName(words[3])) {
        return BuiltinCommand{BuiltinKind::Sort, std::string(words[1]), std::string(words[3])};
    }
    if (sameIgnoringCase(name, "del") && words.size() == 2 && isPlainName(words[1])) {
        return BuiltinCommand{BuiltinKind::Delete, std::string(words[1]), {}};
    }
    return std::nullopt;
}

} // namespace shell::builtins
