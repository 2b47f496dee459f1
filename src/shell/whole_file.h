#pragma once

// A file read whole into memory: the sort needs every line at hand at once.

#include <string>

#include "shell/large_block.h"

namespace shell {

struct WholeFile {
    LargeBlock<char> bytes;
    std::size_t size = 0;
    int error = 0; // 0, or why the file could not be read (ENOMEM when it does not fit)
};

// Reads all of `name` into one block of exactly its size; only a file that does not tell its
// size in advance (a pipe, a device, a file still growing) makes the block grow.
WholeFile readWholeFile(const std::string& name);

} // namespace shell
