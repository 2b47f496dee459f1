#pragma once

// The operator's files, all in the current folder under names of their own, and the command lines
// that the run hands to the shell for them. Every message and command line that names a file is
// joined from these names when the program is compiled, so each name is written here only.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace records {

inline constexpr char PICTURE_LIST_NAME[] = "AllPictures.txt";
inline constexpr char BACKUP_FILE_NAME[] = "AllPicturesIndiv.txt";
inline constexpr char UNSORTED_FILE_NAME[] = "AllPicturesUnsorted.txt";
inline constexpr char MAP_FILE_NAME[] = "MarrowfenlatchMap.txt";

// A text joined from literal parts at compile time.
template <std::size_t Length> class JoinedText {
  public:
    template <std::size_t... Sizes> consteval explicit JoinedText(const char (&... parts)[Sizes]) {
        std::size_t at = 0;
        ((std::copy_n(parts, Sizes - 1, chars_.begin() + at), at += Sizes - 1), ...);
    }

    constexpr std::string_view text() const noexcept { return {chars_.data(), Length}; }
    constexpr operator std::string_view() const noexcept { return text(); }

  private:
    std::array<char, Length> chars_{};
};

template <std::size_t... Sizes>
JoinedText(const char (&... parts)[Sizes]) -> JoinedText<(0 + ... + (Sizes - 1))>;

// The backup of the picture list, its sort from the unsorted list, and the removal of that list.
inline constexpr JoinedText BACKUP_COMMAND("Copy ", PICTURE_LIST_NAME, " ", BACKUP_FILE_NAME);
inline constexpr JoinedText SORT_COMMAND("sort ", UNSORTED_FILE_NAME, " > ", PICTURE_LIST_NAME);
inline constexpr JoinedText DELETE_COMMAND("del ", UNSORTED_FILE_NAME);

} // namespace records
