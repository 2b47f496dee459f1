// A test-only stand-in for the Windows `sort` command, for hosts such as Wine that lack one. It
// does what the tool relies on the command to do with its default options: `sort FILE` (or `sort`
// reading standard input) writes every line in ascending order, case-insensitively, each ending in
// CR LF, on standard output. The shell carries out any `>` redirection.
//
// MTS_SORT_STANDIN_FAULT makes it fail the ways a real sort can, for the tests of what the tool
// leaves then: "fails-half-way" writes the first half of the lines and fails; "drops-half" writes
// the first half of the lines and reports success; "stalls-half-way" writes the first half of the
// lines and waits a minute, to be killed meanwhile, before it fails.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <windows.h>

#include "test_support/lines.h"

namespace {

unsigned char folded(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    return value >= 'A' && value <= 'Z' ? static_cast<unsigned char>(value - 'A' + 'a') : value;
}

// Letters compare without regard to case; every other byte by its unsigned value.
bool caseInsensitiveLess(const std::string& left, const std::string& right) {
    return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                        [](char a, char b) { return folded(a) < folded(b); });
}

bool readAll(std::FILE* stream, std::string& bytes) {
    char block[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, stream)) > 0) {
        bytes.append(block, got);
    }
    return std::ferror(stream) == 0;
}

int fail(std::string_view what, int error) {
    std::cerr << "sort: " << what << ": " << std::strerror(error) << '\n';
    return 1;
}

std::string_view faultAsked() {
    const char* fault = std::getenv("MTS_SORT_STANDIN_FAULT");
    return fault == nullptr ? std::string_view() : std::string_view(fault);
}

// The lines that go out, and the status after them.
int writeLines(std::vector<std::string> lines) {
    const std::string_view fault = faultAsked();
    if (!fault.empty()) {
        lines.resize(lines.size() / 2);
    }
    const std::string sorted = test_support::joinLines(lines);
    if (std::fwrite(sorted.data(), 1, sorted.size(), stdout) != sorted.size() ||
        std::fflush(stdout) != 0) {
        return fail("standard output", errno);
    }
    if (fault == "stalls-half-way") {
        ::Sleep(60000);
    }
    if (!fault.empty() && fault != "drops-half") {
        std::cerr << "sort: stopped half way (test fault)\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::cerr << "sort: only one input file is taken\n";
        return 1;
    }
    ::_setmode(_fileno(stdin), _O_BINARY);
    ::_setmode(_fileno(stdout), _O_BINARY);
    std::FILE* input = argc == 2 ? std::fopen(argv[1], "rb") : stdin;
    if (input == nullptr) {
        return fail(argv[1], errno);
    }
    std::string bytes;
    if (!readAll(input, bytes)) {
        return fail(argc == 2 ? argv[1] : "standard input", errno);
    }
    // The lines as the tool reads them.
    std::vector<std::string> lines = test_support::splitLines(bytes);
    std::stable_sort(lines.begin(), lines.end(), caseInsensitiveLess);
    return writeLines(std::move(lines));
}
