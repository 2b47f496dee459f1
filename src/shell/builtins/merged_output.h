#pragma once

// The sorted list written out: the two sorted halves merged on the way to the file.

#include <span>

#include "shell/builtins/line_sort.h"

namespace shell::builtins {

// Writes the lines of the two sorted halves into `fd` in sorted order, each followed by CR LF.
// `text` is the text that they were sorted from. Two threads each merge and write one half of the
// output at its own place in the file. Returns 0 or the first error.
template <class Offset>
int writeMergedHalves(const char* text, const SortedHalves<Offset>& sorted, int fd);

} // namespace shell::builtins
