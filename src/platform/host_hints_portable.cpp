#include "platform/host_hints.h"

namespace platform {

// This host maps memory and writes files back as it sees fit.
void adviseLargeBlock(void*, std::size_t) {}

void startWriteback(int, std::uint64_t, std::uint64_t) {}

} // namespace platform
