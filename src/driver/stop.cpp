#include "driver/stop.h"

#include "platform/process.h"

namespace driver {

void stopRun() {
    platform::exitNow(0);
}

} // namespace driver
