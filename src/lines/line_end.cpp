#include "lines/line_end.h"

#include "platform/process.h"

namespace lines {

std::string_view lineEndFor(int fd) {
    return platform::translatesLineEnds(fd) ? LINE_END.substr(1) : LINE_END;
}

} // namespace lines
