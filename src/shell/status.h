#pragma once

// The exit statuses of the run's three commands where the program makes them itself: the built-in
// copy, sort and del, and the copy or sort into place of a host whose interpreter would write over
// the destination in place. The run reads them: a copy's SOURCE_MISSING is the missing picture
// list, any other failure of a copy or a sort stops the run.

#include <cstdint>

namespace shell::status {

inline constexpr std::int32_t DONE = 0;           // every command
inline constexpr std::int32_t SOURCE_MISSING = 1; // copy: there is no source
inline constexpr std::int32_t UNREADABLE = 1;     // sort: the source cannot be read
// copy, sort: every other failure. The destination is as it was: the new file has not taken its
// place.
inline constexpr std::int32_t FAILED = 2;
inline constexpr std::int32_t NOT_REMOVED = 1; // del: every failure

} // namespace shell::status
