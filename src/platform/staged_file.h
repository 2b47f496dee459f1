#pragma once

// A new version of a file that someone else writes (a host command's copy, or its redirected
// output) into a file of its own beside the old one. The new file takes the old one's place in one
// step, and only once it is complete and on disk; otherwise it is removed. A failed or stopped
// writer, a crash or a power cut at any moment leaves the old file as it was. Built on the hosts
// whose command interpreter would otherwise write over the old file in place.

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace platform {

class StagedFile {
  public:
    // Makes a new, empty file beside `target`, under a name of the tool's own: the target's name
    // and ".move-to-species.tmp". The name is the same on every run, so that one run takes over
    // what a killed run left there rather than adding to it. error() tells whether that failed.
    explicit StagedFile(std::string target);
    // Removes the new file unless it has taken the target's place.
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // The new file's name; empty when none could be made.
    const std::string& name() const { return name_; }
    // 0, or the host's error number for the new file that could not be made.
    int error() const { return error_; }

    // Puts the new file in the target's place, once it holds exactly `expectedSize` bytes and has
    // gone to disk; a target that another program holds open is waited for a short while.
    // Returns 0, or the error (SIZE_DIFFERS, or HELD_BY_ANOTHER_PROGRAM when that program kept
    // it): the target is then as it was, and the new file is removed with this object.
    int commit(std::int64_t expectedSize);

  private:
    std::string target_;
    std::string name_;
    int error_ = 0;
    bool committed_ = false;
};

} // namespace platform
