#pragma once

// Ordering line entries by their keys alone.

#include <span>

#include "shell/builtins/line_sort.h"

namespace shell::builtins {

// Sorts `lines` by key. Large sets are first spread into 256 buckets by the highest byte in which
// their keys differ, in place, until the buckets are small enough to sort in the processor's
// cache. Throws nothing.
template <class Entry> void sortByKey(std::span<Entry> lines);

} // namespace shell::builtins
