#include "report/report_text.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/files.h"

namespace report {

void append(ReportText& text, std::string_view part) {
    while (!part.empty()) {
        if (text.used_ == text.bytes_.size()) {
            send(text);
        }
        const std::size_t taken = std::min(part.size(), text.bytes_.size() - text.used_);
        std::memcpy(text.bytes_.data() + text.used_, part.data(), taken);
        text.used_ += taken;
        part.remove_prefix(taken);
    }
}

void appendNumber(ReportText& text, std::int64_t number) {
    std::array<char, 24> digits; // 19 digits and a sign at the most
    const std::to_chars_result end =
        std::to_chars(digits.data(), digits.data() + digits.size(), number);
    append(text,
           std::string_view(digits.data(), static_cast<std::size_t>(end.ptr - digits.data())));
}

void send(ReportText& text) {
    (void)platform::writeAll(text.fd_, text.bytes_.data(), text.used_);
    text.used_ = 0;
}

} // namespace report
