#include "shell/builtins/command_output.h"

#include "shell/builtins/builtins.h"

namespace shell::builtins {

CommandOutput::CommandOutput(std::string_view command, const std::string& destination)
    : command_(command), destination_(destination),
      start_(platform::Replacement::begin(destination)) {
    if (start_.error != 0) {
        reportFailure(command_, "cannot write", destination_, start_.error);
    }
}

std::int32_t CommandOutput::failWith(int error) const {
    reportFailure(command_, "cannot write", destination_, error);
    return status::FAILED;
}

std::int32_t CommandOutput::commit() {
    if (const int error = start_.replacement.commit(); error != 0) {
        return failWith(error);
    }
    return status::DONE;
}

} // namespace shell::builtins
