#include "shell/large_block.h"

namespace shell {

// This host maps large blocks as it sees fit.
void adviseLargeBlock(void*, std::size_t) {}

} // namespace shell
