#include "report/report_text.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/files.h"

namespace report {

void ReportText::append(std::string_view part) {
    while (!part.empty()) {
        if (used_ == bytes_.size()) {
            send();
        }
        const std::size_t taken = std::min(part.size(), bytes_.size() - used_);
        std::memcpy(bytes_.data() + used_, part.data(), taken);
        used_ += taken;
        part.remove_prefix(taken);
    }
}

void ReportText::appendNumber(std::int64_t number) {
    std::array<char, 24> digits; // 19 digits and a sign at the most
    const std::to_chars_result end =
        std::to_chars(digits.data(), digits.data() + digits.size(), number);
    append(std::string_view(digits.data(), static_cast<std::size_t>(end.ptr - digits.data())));
}

void ReportText::send() {
    (void)platform::writeAll(fd_, bytes_.data(), used_);
    used_ = 0;
}

} // namespace report
