#pragma once

// The host's own words for its errors, as the line of a command that failed tells them.

#include <string_view>

namespace platform {

// The host's words for `error`, one of its error numbers or one of the failures of files.h that no
// error number of the host names, without a line end. Asks for no memory, so that it can tell of
// the want of it; the text stays valid until the next call.
std::string_view describeHostError(int error);

} // namespace platform
