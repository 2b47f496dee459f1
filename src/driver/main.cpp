#include <new>

#include "console/console.h"
#include "driver/run.h"
#include "platform/process.h"
#include "report/under_way.h"

// Arguments are deliberately ignored: the tool always works on the fixed files of the current
// folder.
int main() {
    platform::prepareProcess();
    try {
        driver::runRelabelling();
    } catch (const std::bad_alloc&) {
        // Memory ran out somewhere in the run. The stages have let go of what they held on the way
        // here; the report names the file or stream operation that was under way, or, between
        // two operations, the console's next line.
        report::failForWantOfMemory(console::nextOutputLine());
    }
}
