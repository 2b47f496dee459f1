#pragma once

// The file or stream operation that the run has under way, kept where the end of the run can
// still find it once memory has run out. Exhausted memory is caught at the top of the run, after
// the stack has unwound and the stage's files have been let go, so what the report is to name is
// noted here as each operation begins, in storage of its own: neither noting nor reporting asks
// for memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "report/source_location.h"

namespace report {

// One file or stream operation, held in storage of its own.
class NotedOperation {
  public:
    NotedOperation() = default;
    // `operation` is one of the operation names of fatal.h, which last as long as the program.
    NotedOperation(std::string_view operation, std::int32_t channel, std::string_view fileName,
                   std::optional<std::int32_t> recordNumber, const SourceLocation& where) noexcept;

    // Holds the operation given, in place of the one before.
    void hold(std::string_view operation, std::int32_t channel, std::string_view fileName,
              std::optional<std::int32_t> recordNumber, const SourceLocation& where) noexcept;

    // Ends the process with the fatal report of exhausted memory for this operation.
    [[noreturn]] void failForWantOfMemory() const;

  private:
    // The host's longest path; a longer name is kept cut to this.
    static constexpr std::size_t NAME_ROOM = 4096;

    std::string_view operation_;
    std::int32_t channel_ = 0;
    std::array<char, NAME_ROOM> name_{};
    std::size_t nameLength_ = 0;
    std::optional<std::int32_t> recordNumber_; // none for an open
    SourceLocation where_;
};

// Notes the operation that begins, in place of the one before.
void noteUnderWay(std::string_view operation, std::int32_t channel, std::string_view fileName,
                  std::optional<std::int32_t> recordNumber, const SourceLocation& where) noexcept;

// No file or stream operation is under way any longer.
void noteNoneUnderWay() noexcept;

// Ends the process with the fatal report of exhausted memory for the operation under way, or for
// `otherwise` when none is.
[[noreturn]] void failForWantOfMemory(const NotedOperation& otherwise);

} // namespace report
