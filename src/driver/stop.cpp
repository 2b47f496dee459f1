#include "driver/stop.h"

#include "records/os_io.h"

namespace driver {

void stopRun() {
    records::os::exitNow(0);
}

} // namespace driver
