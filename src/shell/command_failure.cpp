#include "shell/command_failure.h"

#include "lines/line_end.h"
#include "platform/process.h"
#include "report/report_text.h"

namespace shell {

void reportCommandFailure(std::string_view command, std::initializer_list<std::string_view> parts) {
    report::ReportText line(platform::STDERR_FD);
    line.appendAll(command, ": ");
    for (const std::string_view part : parts) {
        line.append(part);
    }
    line.append(lines::lineEndFor(platform::STDERR_FD));
    line.send();
}

} // namespace shell
