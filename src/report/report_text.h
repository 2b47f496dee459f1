#pragma once

// Text put together in storage of its own and written to a stream. The reports that must still
// go out when memory has run out (the fatal report, a built-in command's failure line) are made
// with it, so that making them never asks for memory.

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace report {

class ReportText {
  public:
    explicit ReportText(int fd) : fd_(fd) {}

    void append(std::string_view part);

    // The number in decimal, with a minus sign when it is negative.
    void appendNumber(std::int64_t number);

    // Appends each part in turn: texts as they are, whole numbers in decimal.
    template <class... Parts> void appendAll(const Parts&... parts) {
        const auto one = [this](const auto& part) {
            if constexpr (std::integral<std::remove_cvref_t<decltype(part)>>) {
                appendNumber(static_cast<std::int64_t>(part));
            } else {
                append(std::string_view(part));
            }
        };
        (one(parts), ...);
    }

    // Writes what is still waiting. A failure is not told: a report has nowhere left to tell it.
    void send();

  private:
    // Room for every report of the program in one write; a longer one goes out in pieces, which
    // gives the same bytes.
    static constexpr std::size_t ROOM = 512;

    int fd_;
    std::array<char, ROOM> bytes_;
    std::size_t used_ = 0;
};

} // namespace report
