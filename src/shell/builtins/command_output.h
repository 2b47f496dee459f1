#pragma once

// The output of a built-in copy or sort. It is written into a new file that takes the
// destination's place only by commit(); given up any other way, a failure or a thrown exception,
// the new file goes with its owner and the destination stays as it was.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/replacement.h"

namespace shell::builtins {

class CommandOutput {
  public:
    // Prepares to replace `destination` for `command` ("copy", "sort"), which outlive this owner.
    // When that cannot be done, says why on standard error, and ready() is false.
    CommandOutput(std::string_view command, const std::string& destination);

    bool ready() const noexcept { return start_.error == 0; }
    // Where the output goes.
    int fd() const noexcept { return start_.replacement.fd(); }
    // Writes all of `data`. Returns 0 or the error.
    int write(const char* data, std::size_t size) const {
        return start_.replacement.write(data, size);
    }

    // Says on standard error that the destination could not be written for `error`, and returns
    // the command's FAILED; the new file goes with this owner.
    std::int32_t failWith(int error) const;

    // Puts the output in the destination's place: DONE, or FAILED once it has said why.
    std::int32_t commit();

  private:
    std::string_view command_;
    const std::string& destination_;
    platform::ReplacementStart start_;
};

} // namespace shell::builtins
