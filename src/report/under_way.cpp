#include "report/under_way.h"

#include <algorithm>
#include <cstring>

#include "report/fatal.h"

namespace report {

namespace {

// Only the thread that runs the stages notes operations; no lock is needed.
constinit NotedOperation underWay;
constinit bool anyUnderWay = false;

} // namespace

NotedOperation::NotedOperation(std::string_view operation, std::int32_t channel,
                               std::string_view fileName, std::optional<std::int32_t> recordNumber,
                               const SourceLocation& where) noexcept {
    hold(operation, channel, fileName, recordNumber, where);
}

void NotedOperation::hold(std::string_view operation, std::int32_t channel,
                          std::string_view fileName, std::optional<std::int32_t> recordNumber,
                          const SourceLocation& where) noexcept {
    operation_ = operation;
    channel_ = channel;
    nameLength_ = std::min(fileName.size(), NAME_ROOM);
    std::memcpy(name_.data(), fileName.data(), nameLength_);
    recordNumber_ = recordNumber;
    where_ = where;
}

void noteUnderWay(std::string_view operation, std::int32_t channel, std::string_view fileName,
                  std::optional<std::int32_t> recordNumber, const SourceLocation& where) noexcept {
    underWay.hold(operation, channel, fileName, recordNumber, where);
    anyUnderWay = true;
}

void noteNoneUnderWay() noexcept {
    anyUnderWay = false;
}

void NotedOperation::failForWantOfMemory() const {
    fatalFileError(outOfMemory(), operation_, channel_, std::string_view(name_.data(), nameLength_),
                   recordNumber_, where_);
}

void failForWantOfMemory(const NotedOperation& otherwise) {
    (anyUnderWay ? underWay : otherwise).failForWantOfMemory();
}

} // namespace report
