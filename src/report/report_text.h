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

struct ReportText {
    explicit ReportText(int fd) : fd_(fd) {}

  private:
    // Room for every report of the program in one write; a longer one goes out in pieces, which
    // gives the same bytes.
    static constexpr std::size_t ROOM = 512;

    int fd_;
    std::array<char, ROOM> bytes_;
    std::size_t used_ = 0;

    friend void append(ReportText& text, std::string_view part);
    friend void appendNumber(ReportText& text, std::int64_t number);
    friend void send(ReportText& text);
};

void append(ReportText& text, std::string_view part);

// The number in decimal, with a minus sign when it is negative.
void appendNumber(ReportText& text, std::int64_t number);

// Writes what is still waiting. A failure is not told: a report has nowhere left to tell it.
void send(ReportText& text);

// Appends each part in turn: texts as they are, whole numbers in decimal.
template <class... Parts> void appendAll(ReportText& text, const Parts&... parts) {
    const auto one = [&text](const auto& part) {
        if constexpr (std::integral<std::remove_cvref_t<decltype(part)>>) {
            appendNumber(text, static_cast<std::int64_t>(part));
        } else {
            append(text, std::string_view(part));
        }
    };
    (one(parts), ...);
}

} // namespace report
