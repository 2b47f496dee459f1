#include <cerrno>

#include "lines/write_block.h"
#include "platform/files.h"
#include "platform/kernel_copy.h"
#include "platform/replacement.h"
#include "shell/builtins/builtins.h"

namespace shell::builtins {

namespace {

struct CopyFailure {
    int error = 0;
    bool onRead = false;
};

CopyFailure copyByHand(int in, const platform::Replacement& out) {
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
        if (const int error = platform::writeReplacement(out, block.data(), got.count);
            error != 0) {
            return {error, false};
        }
    }
}

CopyFailure copyContents(int in, const platform::Replacement& out) {
    const platform::KernelCopy copy = platform::copyInKernel(in, out.fd());
    if (copy.error != 0) {
        return {copy.error, false};
    }
    return copy.done ? CopyFailure{} : copyByHand(in, out);
}

std::int32_t copyOpenFile(int in, const std::string& source, const std::string& destination) {
    platform::ReplacementStart start = platform::beginReplacement(destination);
    if (start.error != 0) {
        reportFailure("copy", "cannot write", destination, start.error);
        return status::FAILED;
    }
    const CopyFailure failure = copyContents(in, start.replacement);
    if (failure.error != 0) {
        platform::abandonReplacement(start.replacement);
        reportFailure("copy", failure.onRead ? "cannot read" : "cannot write",
                      failure.onRead ? source : destination, failure.error);
        return status::FAILED;
    }
    if (const int error = platform::commitReplacement(start.replacement); error != 0) {
        reportFailure("copy", "cannot write", destination, error);
        return status::FAILED;
    }
    return status::DONE;
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
