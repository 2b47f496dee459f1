#pragma once

// The one line on standard error by which a command that the program carries out itself, or sees
// into place, tells why it failed, on every host.

#include <initializer_list>
#include <string_view>

namespace shell {

// "<command>: ", the parts in turn, the line end. Made in storage of its own, like the fatal
// report, so that it can tell of a want of memory.
void reportCommandFailure(std::string_view command, std::initializer_list<std::string_view> parts);

} // namespace shell
