#pragma once

// A file read whole into memory: the sort needs every line at hand at once.

#include <string>
#include <string_view>

#include "platform/large_block.h"
#include "platform/mapped_file.h"

namespace shell::builtins {

enum class FileAccess {
    Copy,             // the bytes are read into a block of their own
    MapWherePossible, // seen where they stand in the host's file cache where that can be done,
                      // which costs neither a copy nor fresh memory
};

// The bytes of a whole file, in a copy of their own or in a mapping of the file. Moved, never
// copied.
class WholeFile {
  public:
    // Reads all of the regular file `name`. A copy is one block of exactly the file's size; only a
    // file whose size was not what it said (a file still growing, or one of the host's own that
    // says 0) makes the block grow. A mapped file must be checked with shrankWhileMapped before
    // whatever is made from it is used.
    static WholeFile read(const std::string& name, FileAccess access);

    // The bytes, valid as long as this owner.
    std::string_view bytes() const noexcept {
        return {mapped_ ? mapped_.get() : copy_.get(), size_};
    }
    // 0, or why the file could not be read: a host error number (ENOMEM when it does not fit), or
    // NOT_A_REGULAR_FILE.
    int error() const noexcept { return error_; }

    // Whether the file was mapped and has since been cut shorter, so that its bytes were not all
    // there: whatever was made from them must be made again from a copy of the file as it is now.
    bool shrankWhileMapped() const;

  private:
    platform::LargeBlock<char> copy_; // the copy of the file, when it was read
    platform::MappedBytes mapped_;    // the file itself, when it was mapped
    std::size_t size_ = 0;
    int error_ = 0;
};

} // namespace shell::builtins
