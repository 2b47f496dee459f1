#include "driver/run.h"
#include "records/os_io.h"

// Arguments are deliberately ignored: the tool always works on the fixed files of the current
// folder.
int main() {
    records::os::prepareProcess();
    driver::runRelabelling();
}
