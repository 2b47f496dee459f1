#pragma once

// Sorting the lines of a text whose lines all have one length and one line end, as every list that
// the program writes itself. Such lines are told by their number, and their key is made from
// their first columns by what those columns hold across the whole text: a column that holds the
// same byte on every line decides nothing and takes no room, and one that holds only the digits
// takes ten values, not 256. So the key covers many more columns than eight bytes would, and
// most lines are put in order by their keys alone, the merge included.

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "shell/builtins/line_sort.h"

namespace shell::builtins {

// The shape of `text` if all its lines have the length and the line end of its first line, as far
// as that line and the size of the text tell, and there are fewer than 2^32 of them.
std::optional<OneLengthLines> oneLengthShapeOf(std::string_view text);

// Fills `into`, one entry for each line of a text of that shape, and sorts its two halves, the
// lines of the first and of the second half of the text, each on a processor of its own; sets
// `middle` to where the second begins and `shape.keyedColumns` to the columns that the keys
// tell. False, the entries of no use, when the lines do not all end as the shape says after all.
bool sortOneLengthHalves(OneLengthLines& shape, std::span<NumberedLine> into, std::size_t& middle);

} // namespace shell::builtins
