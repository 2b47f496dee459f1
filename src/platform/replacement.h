#pragma once

// A file that is replaced whole or not at all. The new contents go into a new file in the same
// folder, which takes the place of the old one by a rename only once it is complete and on disk:
// a crash, a full disk or a file size limit at any moment leaves the destination either as it was
// or complete, never empty or partial. Where the file system allows, the new file has no name
// while it is written, and is named only just before that rename, so that a process killed while
// writing it leaves nothing behind.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"

namespace platform {

struct ReplacementStart;

// One replacement under way. However it ends without its commit, a thrown exception included, its
// new file goes with it and the destination stays as it was. Moved, never copied.
class Replacement {
  public:
    // Prepares to replace `destination`. A symbolic link is followed as the link rule allows
    // (link_rule.h), so that the file it names is replaced and the link stays; a link to nothing is
    // replaced by the new file. A destination that exists and is not a regular file is refused:
    // EISDIR for a folder, NOT_A_REGULAR_FILE for a device, a pipe or a socket.
    static ReplacementStart begin(const std::string& destination);

    Replacement(Replacement&& other) noexcept;
    Replacement& operator=(Replacement&&) = delete;
    // Removes the new file unless it has been committed; the destination stays as it was.
    ~Replacement();

    // Where the new contents are written.
    int fd() const noexcept { return file_.get(); }

    // Writes all of `data`, retrying interrupted and short writes. Returns 0 or the error.
    int write(const char* data, std::size_t size) const;

    // Puts the new file in the destination's place and syncs it. Returns 0 once the new file has
    // taken the destination's name: nothing after that rename can undo it or report a failure.
    // Otherwise returns the error after removing the new file, the destination untouched.
    int commit();

  private:
    // What the new file takes over from the file it replaces.
    struct Inherited {
        std::uint32_t permissions = 0; // the permission bits, as the host counts them
        bool keepOwner = false;        // the old file's owner and group go over to the new one
        std::uint32_t owner = 0;
        std::uint32_t group = 0;
    };

    Replacement() = default;

    int openNewFile();
    int settleNewFile() const;
    int nameNewFile();
    int readyForRename();
    void finishAfterRename() noexcept;
    // Removes the new file; does nothing after a commit.
    void abandon() noexcept;

    FileDescriptor file_;                // where the new contents are written
    std::string tempPath_;               // the new file's name in `folder_`, while it has one
    bool unnamed_ = false;               // the new file has no name yet
    std::string target_;                 // the name in `folder_` of the file to replace
    FileDescriptor folder_;              // the target's folder (none: the current one)
    std::optional<Inherited> inherited_; // none for a destination that is new
};

struct ReplacementStart {
    Replacement replacement;
    int error = 0; // 0, or why the destination cannot be written
};

} // namespace platform
