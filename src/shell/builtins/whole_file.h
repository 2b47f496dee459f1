#pragma once

// A file read whole into memory: the sort needs every line at hand at once.

#include <string>

#include "platform/large_block.h"
#include "platform/mapped_file.h"

namespace shell::builtins {

struct WholeFile {
    platform::LargeBlock<char> bytes; // the copy of the file, when it was read
    platform::MappedBytes mapped;     // the file itself, when it was mapped
    const char* data = nullptr;       // the bytes, wherever they are
    std::size_t size = 0;
    int error = 0; // 0, or why the file could not be read: a host error number (ENOMEM when it
                   // does not fit), or NOT_A_REGULAR_FILE
};

// Reads all of the regular file `name` into one block of exactly its size; only a file whose size
// was not what it said (a file still growing, or one of the host's own that says 0) makes the
// block grow.
WholeFile readWholeFile(const std::string& name);

// The same, but seen where it stands in the host's file cache where that can be done, which
// costs neither a copy nor fresh memory. Whatever is made from a mapped file must be checked with
// lostBytes before it is used.
WholeFile mapWholeFile(const std::string& name);

// Whether the file was mapped and has since been cut shorter, so that its bytes were not all
// there: whatever was made from them must be made again from a copy of the file as it is now.
bool lostBytes(const WholeFile& file);

} // namespace shell::builtins
