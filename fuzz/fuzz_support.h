#pragma once

// What the fuzz targets share: the line and column rules written out the plain way, to hold the
// program's block reader and layouts against, and a scratch folder to run the file code in.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fuzz {

// A broken invariant: report it and stop, so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// LF ends a line, a CR directly before it belongs to the line end, a last line without a line
// end is still a line; every other byte is part of the line.
inline std::vector<std::string> referenceLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t lf = bytes.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.emplace_back(bytes.substr(start));
            break;
        }
        std::size_t length = lf - start;
        if (length > 0 && bytes[lf - 1] == '\r') {
            --length;
        }
        lines.emplace_back(bytes.substr(start, length));
        start = lf + 1;
    }
    return lines;
}

// Columns from `first` (counted from 0) on, `width` of them, blanks beyond the line's end.
inline std::string columns(std::string_view line, std::size_t first, std::size_t width) {
    std::string value(width, ' ');
    for (std::size_t i = 0; i < width && first + i < line.size(); ++i) {
        value[i] = line[first + i];
    }
    return value;
}

// A fresh folder to work in, made the current folder once per fuzzing process and removed when
// the fuzzer ends its run.
inline void enterScratchFolder() {
    static std::string name;
    const char* parent = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    name = std::string(parent) + "/mts-fuzz-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr || ::chdir(name.c_str()) != 0) {
        std::perror("scratch folder");
        std::abort();
    }
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(name, ignored);
    });
}

inline void writeWholeFile(const char* name, std::string_view bytes) {
    std::FILE* file = std::fopen(name, "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    FUZZ_CHECK(std::fclose(file) == 0);
}

inline std::string readWholeFile(const char* name) {
    std::FILE* file = std::fopen(name, "rb");
    FUZZ_CHECK(file != nullptr);
    std::string bytes;
    char block[1 << 16];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        bytes.append(block, got);
    }
    std::fclose(file);
    return bytes;
}

} // namespace fuzz
