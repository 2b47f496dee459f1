#include "driver/run.h"
#include "platform/process.h"

// Arguments are deliberately ignored: the tool always works on the fixed files of the current
// folder.
int main() {
    platform::prepareProcess();
    driver::runRelabelling();
}
