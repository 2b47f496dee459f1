#include <cerrno>

#include "lines/write_block.h"
#include "platform/files.h"
#include "platform/kernel_copy.h"
#include "shell/builtins/builtins.h"
#include "shell/builtins/command_output.h"

namespace shell::builtins {

namespace {

struct CopyFailure {
    int error = 0;
    bool onRead = false;
};

CopyFailure copyByHand(int in, const CommandOutput& out) {
    lines::WriteBlock block;
    if (!block.reserve(lines::WRITE_BLOCK_SIZE)) {
        return {ENOMEM, false};
    }
    for (;;) {
        const platform::ReadResult got = platform::readSome(in, block.data(), block.capacity());
        if (got.error != 0) {
            return {got.error, true};
        }
        if (got.count == 0) {
            return {};
        }
        if (const int error = out.write(block.data(), got.count); error != 0) {
            return {error, false};
        }
    }
}

CopyFailure copyContents(int in, const CommandOutput& out) {
    const platform::KernelCopy copy = platform::copyInKernel(in, out.fd());
    if (copy.error != 0) {
        return {copy.error, false};
    }
    return copy.done ? CopyFailure{} : copyByHand(in, out);
}

std::int32_t copyOpenFile(int in, const std::string& source, const std::string& destination) {
    CommandOutput output("copy", destination);
    if (!output.ready()) {
        return status::FAILED;
    }
    const CopyFailure failure = copyContents(in, output);
    if (failure.error == 0) {
        return output.commit();
    }
    if (!failure.onRead) {
        return output.failWith(failure.error);
    }
    reportFailure("copy", "cannot read", source, failure.error);
    return status::FAILED;
}

} // namespace

std::int32_t copyFile(const std::string& source, const std::string& destination) {
    const platform::OpenResult in =
        platform::openFile(source, platform::OpenMode::RegularForReading);
    if (in.error != 0) {
        reportFailure("copy", "cannot read", source, in.error);
        return platform::meansMissing(in.error) ? status::SOURCE_MISSING : status::FAILED;
    }
    return copyOpenFile(in.file.get(), source, destination);
}

} // namespace shell::builtins
