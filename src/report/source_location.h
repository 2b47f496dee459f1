#pragma once

// The place in the program's source that asked for an operation, as the fatal report names it.
// Compilers whose builtins the standard library's own std::source_location does not recognise
// (clang before 15 with libstdc++) get a type of the same shape built on the builtins they have.

#include <version>

#if defined(__cpp_lib_source_location)
#include <source_location>
#endif

namespace report {

#if defined(__cpp_lib_source_location)
using SourceLocation = std::source_location;
#else
struct SourceLocation {
    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                            unsigned line = __builtin_LINE()) noexcept {
        SourceLocation here;
        here.file_ = file;
        here.line_ = line;
        return here;
    }
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr unsigned line() const noexcept { return line_; }

  private:
    const char* file_ = "";
    unsigned line_ = 0;
};
#endif

} // namespace report
