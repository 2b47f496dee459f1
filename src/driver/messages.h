#pragma once

// The run's messages that name the operator's files, joined from their names.

#include "records/operator_files.h"

namespace driver::messages {

using records::BACKUP_FILE_NAME;
using records::JoinedText;
using records::PICTURE_LIST_NAME;
using records::UNSORTED_FILE_NAME;

inline constexpr JoinedText SAVING("Save ", PICTURE_LIST_NAME, " with individuals as ",
                                   BACKUP_FILE_NAME);
inline constexpr JoinedText NO_LIST(PICTURE_LIST_NAME, " is not present ... TERMINATING");
inline constexpr JoinedText NO_BACKUP("Backup of ", PICTURE_LIST_NAME, " failed ... TERMINATING");
inline constexpr JoinedText RELABELLING("Map individuals into species, create ",
                                        UNSORTED_FILE_NAME);
inline constexpr JoinedText SORTING("Sort ", UNSORTED_FILE_NAME);
inline constexpr JoinedText NOT_SORTED("Sort of ", UNSORTED_FILE_NAME, " failed ... TERMINATING");
inline constexpr JoinedText OLD_LIST_KEPT(BACKUP_FILE_NAME,
                                          " holds the picture list as it was before this run");
inline constexpr JoinedText DELETING("Delete ", UNSORTED_FILE_NAME);
inline constexpr JoinedText ALL_MOVED("All individuals moved to species, ", PICTURE_LIST_NAME,
                                      " created");

} // namespace driver::messages
