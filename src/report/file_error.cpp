#include "report/file_error.h"

#include "lines/line_source.h"

namespace report {

FileError errorOfTake(const lines::TakeResult& taken) {
    switch (taken.status) {
    case lines::LineStatus::ReadFailed:
        return hostError(taken.error);
    case lines::LineStatus::OutOfMemory:
        return outOfMemory();
    case lines::LineStatus::Line:
    case lines::LineStatus::End:
        break;
    }
    return ownError(CODE_READ_PAST_END);
}

} // namespace report
