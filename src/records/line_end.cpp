#include "records/line_end.h"

#include "platform/process.h"

namespace records {

std::string_view lineEndFor(int fd) {
    return platform::translatesLineEnds(fd) ? LINE_END.substr(1) : LINE_END;
}

} // namespace records
