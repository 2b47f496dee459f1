#pragma once

// A file read whole into memory: the sort needs every line at hand at once.

#include <string>

#include "platform/large_block.h"

namespace shell::builtins {

struct WholeFile {
    platform::LargeBlock<char> bytes;
    std::size_t size = 0;
    int error = 0; // 0, or why the file could not be read: a host error number (ENOMEM when it
                   // does not fit), or NOT_A_REGULAR_FILE
};

// Reads all of the regular file `name` into one block of exactly its size; only a file whose size
// was not what it said (a file still growing, or one of the host's own that says 0) makes the
// block grow.
WholeFile readWholeFile(const std::string& name);

} // namespace shell::builtins
