#pragma once

namespace driver {

// One whole run, from the banner to the last wait for Enter. Every path ends the process.
[[noreturn]] void runRelabelling();

} // namespace driver
