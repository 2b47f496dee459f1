#include "shell/builtins/one_length_sort.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>

#include "lines/line_end.h"
#include "shell/builtins/key_sort.h"
#include "shell/builtins/parallel.h"

namespace shell::builtins {

namespace {

// The first columns of every line whose bytes are surveyed for the key. Picture names differ
// within their first two dozen columns, and a key has room for about that many digits.
constexpr std::size_t SURVEYED_COLUMNS = 64;
// Tied lines this few are put in order by insertion.
constexpr std::size_t SMALL_TIE = 32;

// The smallest and the largest byte of each surveyed column, over some lines.
struct ColumnSurvey {
    std::array<std::uint8_t, SURVEYED_COLUMNS> low;
    std::array<std::uint8_t, SURVEYED_COLUMNS> high;

    ColumnSurvey() {
        low.fill(std::numeric_limits<std::uint8_t>::max());
        high.fill(0);
    }
    void add(const ColumnSurvey& other) {
        for (std::size_t column = 0; column < SURVEYED_COLUMNS; ++column) {
            low[column] = std::min(low[column], other.low[column]);
            high[column] = std::max(high[column], other.high[column]);
        }
    }
};

// The key of a line: its keyed columns as the digits of one number, each column's digit its byte
// less the column's smallest, in a base of as many values as the column holds. Ordering the keys
// orders the lines by those columns, and equal keys mean equal columns. The key is the sum of each
// column's digit times the worth of a digit there, looked up by the byte, so that the columns of a
// line are added independently of each other rather than one after the other.
struct KeyRecipe {
    std::array<std::uint8_t, SURVEYED_COLUMNS> column{}; // the columns that vary, in order
    std::array<std::array<std::uint64_t, 256>, SURVEYED_COLUMNS> share{}; // by column, by byte
    std::size_t varying = 0;
    std::size_t keyed = 0; // all columns before this one are told by the key

    std::uint64_t keyOfLine(const char* line) const {
        std::uint64_t key = 0;
        for (std::size_t i = 0; i < varying; ++i) {
            key += share[i][static_cast<std::uint8_t>(line[column[i]])];
        }
        return key;
    }
};

// A byte outside the values that the recipe is made for counts as the nearest of them, which
// keeps the key within its room; such keys are of no use (SampleBounds tells) and are made again.
KeyRecipe recipeOf(const ColumnSurvey& survey, std::size_t surveyed) {
    KeyRecipe recipe;
    std::array<std::uint8_t, SURVEYED_COLUMNS> low{};
    std::array<std::uint64_t, SURVEYED_COLUMNS> base{};
    std::uint64_t room = std::numeric_limits<std::uint64_t>::max();
    for (; recipe.keyed < surveyed; ++recipe.keyed) {
        const std::size_t at = recipe.keyed;
        const std::uint64_t values = std::uint64_t{survey.high[at]} - survey.low[at] + 1;
        if (values == 1) {
            continue;
        }
        if (room / values == 0) {
            break;
        }
        room /= values;
        recipe.column[recipe.varying] = static_cast<std::uint8_t>(at);
        low[recipe.varying] = survey.low[at];
        base[recipe.varying] = values;
        ++recipe.varying;
    }
    std::uint64_t worth = 1; // of a digit in the column at hand: the product of the bases after it
    for (std::size_t i = recipe.varying; i-- > 0;) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            const std::uint64_t digit =
                byte < low[i] ? 0 : std::min<std::uint64_t>(byte - low[i], base[i] - 1);
            recipe.share[i][byte] = digit * worth;
        }
        worth *= base[i];
    }
    return recipe;
}

// Adds the first `columns` bytes of every line to the survey, column by column.
void surveyColumns(const OneLengthLines& shape, const char* first, const char* end,
                   std::size_t columns, ColumnSurvey& survey) {
    for (const char* line = first; line != end; line += shape.stride) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(line);
        for (std::size_t column = 0; column < columns; ++column) {
            survey.low[column] = std::min(survey.low[column], bytes[column]);
            survey.high[column] = std::max(survey.high[column], bytes[column]);
        }
    }
}

// The same for all SURVEYED_COLUMNS columns, sixteen at a time.
void surveyAllColumns(const OneLengthLines& shape, const char* first, const char* end,
                      ColumnSurvey& survey) {
    using Lane = std::uint8_t __attribute__((vector_size(16)));
    constexpr std::size_t LANES = SURVEYED_COLUMNS / sizeof(Lane);
    std::array<Lane, LANES> low;
    std::array<Lane, LANES> high;
    std::memcpy(low.data(), survey.low.data(), SURVEYED_COLUMNS);
    std::memcpy(high.data(), survey.high.data(), SURVEYED_COLUMNS);
    for (const char* line = first; line != end; line += shape.stride) {
        for (std::size_t lane = 0; lane < LANES; ++lane) {
            Lane bytes;
            std::memcpy(&bytes, line + lane * sizeof(Lane), sizeof(Lane));
            low[lane] = bytes < low[lane] ? bytes : low[lane];
            high[lane] = bytes > high[lane] ? bytes : high[lane];
        }
    }
    std::memcpy(survey.low.data(), low.data(), SURVEYED_COLUMNS);
    std::memcpy(survey.high.data(), high.data(), SURVEYED_COLUMNS);
}

// Adds the first `surveyed` columns of the lines [first, end) to the survey, all of them at once
// when they are all surveyed.
void surveyLines(const OneLengthLines& shape, const char* first, const char* end,
                 std::size_t surveyed, ColumnSurvey& survey) {
    if (surveyed == SURVEYED_COLUMNS) {
        surveyAllColumns(shape, first, end, survey);
    } else {
        surveyColumns(shape, first, end, surveyed, survey);
    }
}

// Surveys runs of lines spread evenly over the text, which is enough to find what the columns of
// a list hold. Runs of neighbouring lines are read at the speed of the memory, where lines picked
// one by one would each wait for it.
ColumnSurvey sampleSurvey(const OneLengthLines& shape, std::uint32_t count, std::size_t surveyed) {
    constexpr std::uint32_t RUNS = 64;
    constexpr std::uint32_t RUN_LINES = 128;
    ColumnSurvey survey;
    const std::uint32_t step = std::max(count / RUNS, RUN_LINES);
    for (std::uint32_t from = 0; from < count; from += step) {
        const char* const first = shape.text + std::size_t{from} * shape.stride;
        const char* const end =
            first + std::size_t{std::min(RUN_LINES, count - from)} * shape.stride;
        surveyLines(shape, first, end, surveyed, survey);
    }
    return survey;
}

// What the keys of a recipe made from a sample are exact for, as bounds to check lines against:
// every keyed column holding one of the values that the sample found there. Kept for sixteen
// columns to be checked at once: each column's smallest value and its span (the largest less the
// smallest), both less 128, so that a signed comparison orders them as the bytes; a column that
// is not keyed takes any byte.
class SampleBounds {
  public:
    // The bounds of the sample's survey, which outlives them, for its first `keyed` columns.
    SampleBounds(const ColumnSurvey& survey, std::size_t keyedColumns)
        : sample_(&survey), keyed_(keyedColumns) {
        constexpr std::uint8_t HALF = 0x80;
        std::array<std::uint8_t, SURVEYED_COLUMNS> lows{};
        std::array<std::uint8_t, SURVEYED_COLUMNS> spans{};
        for (std::size_t column = 0; column < SURVEYED_COLUMNS; ++column) {
            const bool isKeyed = column < keyed_;
            const std::uint8_t smallest = isKeyed ? survey.low[column] : 0;
            const std::uint8_t largest = isKeyed ? survey.high[column] : 0xFF;
            lows[column] = static_cast<std::uint8_t>(smallest ^ HALF);
            spans[column] = static_cast<std::uint8_t>((largest - smallest) ^ HALF);
        }
        std::memcpy(low_.data(), lows.data(), SURVEYED_COLUMNS);
        std::memcpy(span_.data(), spans.data(), SURVEYED_COLUMNS);
    }

    // Whether the keys of the lines [first, end) are exact.
    bool hold(const OneLengthLines& shape, const char* first, const char* end) const {
        if (shape.lineLength < SURVEYED_COLUMNS) {
            return holdColumnByColumn(shape, first, end);
        }
        SignedLane outside{};
        for (const char* line = first; line != end; line += shape.stride) {
            for (std::size_t lane = 0; lane < LANES; ++lane) {
                Lane bytes;
                std::memcpy(&bytes, line + lane * sizeof(Lane), sizeof(Lane));
                // The byte less the smallest, less 128 (wrapping), beyond the span less 128.
                outside |= reinterpret_cast<SignedLane>(bytes - low_[lane]) > span_[lane];
            }
        }
        std::array<std::uint64_t, 2> words{};
        std::memcpy(words.data(), &outside, sizeof outside);
        return (words[0] | words[1]) == 0;
    }

  private:
    // Bytes are taken less the smallest as unsigned lanes, which wrap round, and compared as signed
    // ones.
    using Lane = std::uint8_t __attribute__((vector_size(16)));
    using SignedLane = std::int8_t __attribute__((vector_size(16)));
    static constexpr std::size_t LANES = SURVEYED_COLUMNS / sizeof(Lane);

    std::array<Lane, LANES> low_;
    std::array<SignedLane, LANES> span_;
    const ColumnSurvey* sample_; // for lines too short for a whole lane
    std::size_t keyed_;

    bool holdColumnByColumn(const OneLengthLines& shape, const char* first, const char* end) const {
        for (const char* line = first; line != end; line += shape.stride) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(line);
            for (std::size_t column = 0; column < keyed_; ++column) {
                if (bytes[column] < sample_->low[column] || bytes[column] > sample_->high[column]) {
                    return false;
                }
            }
        }
        return true;
    }
};

// What entering some lines found: whether they all end as the shape says, with no other LF among
// them, and whether their keys are exact.
struct EnteredLines {
    bool fit = true;
    bool exact = true;
};

// Enters lines [from, to) into `into`, keyed by the recipe, and checks them. All is done a few
// hundred lines at a time, so that each pass finds the lines still in the processor's cache and
// the text is read from memory once.
EnteredLines enterLines(const OneLengthLines& shape, const KeyRecipe& recipe,
                        const SampleBounds& bounds, std::uint32_t from, std::uint32_t to,
                        std::span<NumberedLine> into) {
    constexpr std::uint32_t LINES_AT_ONCE = 512;
    const bool crBeforeLf = shape.stride - shape.lineLength == 2;
    EnteredLines entered;
    for (std::uint32_t next = from; next < to;) {
        const std::uint32_t after = to - next > LINES_AT_ONCE ? next + LINES_AT_ONCE : to;
        const char* const first = shape.text + std::size_t{next} * shape.stride;
        const char* const end = shape.text + std::size_t{after} * shape.stride;
        std::uint32_t number = next;
        bool fit = true;
        for (const char* line = first; line != end; line += shape.stride, ++number) {
            NumberedLine& entry = into[number - from];
            entry.number = number;
            setKey(entry, recipe.keyOfLine(line));
            // The byte before the LF is a CR of the line end exactly when the first line's was.
            fit &= line[shape.stride - 1] == lines::LF &&
                   (shape.lineLength == 0 || (line[shape.stride - 2] == lines::CR) == crBeforeLf);
        }
        entered.fit &= fit && lines::countLineFeeds(first, end) == after - next;
        entered.exact &= bounds.hold(shape, first, end);
        next = after;
    }
    return entered;
}

void rekeyLines(const OneLengthLines& shape, const KeyRecipe& recipe,
                std::span<NumberedLine> lines) {
    for (NumberedLine& line : lines) {
        setKey(line, recipe.keyOfLine(shape.begin(line)));
    }
}

// Puts lines of equal keys in order by their remaining columns. Insertion and heap sort never
// leave the group whatever the comparisons answer: the text may be a file of the host's cache
// that someone else could change meanwhile.
void settleTie(const OneLengthLines& shape, std::span<NumberedLine> tie) {
    const auto before = [&](const NumberedLine& a, const NumberedLine& b) {
        return lineBefore(shape, a, b, shape.keyedColumns);
    };
    if (tie.size() > SMALL_TIE) {
        std::make_heap(tie.begin(), tie.end(), before);
        std::sort_heap(tie.begin(), tie.end(), before);
        return;
    }
    for (std::size_t i = 1; i < tie.size(); ++i) {
        const NumberedLine moving = tie[i];
        std::size_t to = i;
        for (; to > 0 && before(moving, tie[to - 1]); --to) {
            tie[to] = tie[to - 1];
        }
        tie[to] = moving;
    }
}

void sortEntries(const OneLengthLines& shape, std::span<NumberedLine> lines) {
    sortByKey(lines);
    if (shape.keyedColumns == shape.lineLength) {
        return; // equal keys are equal lines
    }
    std::size_t first = 0;
    for (std::size_t i = 1; i <= lines.size(); ++i) {
        if (i == lines.size() || keyOf(lines[i]) != keyOf(lines[first])) {
            if (i - first > 1) {
                settleTie(shape, lines.subspan(first, i - first));
            }
            first = i;
        }
    }
}

// One half of the text's lines: their entries, from line `from` on, and what entering them found.
// Entries that fit and have exact keys are sorted at once.
struct HalfOfLines {
    std::span<NumberedLine> lines;
    std::uint32_t from;
    EnteredLines entered{};
};

// What the first `surveyed` columns of all the lines of a half hold.
ColumnSurvey surveyHalf(const OneLengthLines& shape, const HalfOfLines& half,
                        std::size_t surveyed) {
    ColumnSurvey seen;
    const char* const first = shape.text + std::size_t{half.from} * shape.stride;
    surveyLines(shape, first, first + half.lines.size() * shape.stride, surveyed, seen);
    return seen;
}

} // namespace

std::optional<OneLengthLines> oneLengthShapeOf(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    const lines::ScannedLine first = lines::scanLine(text, 0, 0);
    if (!first.ended || text.size() % first.next != 0 ||
        text.size() / first.next > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return OneLengthLines{text.data(), first.length, first.next, 0};
}

bool sortOneLengthHalves(OneLengthLines& shape, std::span<NumberedLine> into, std::size_t& middle) {
    const auto count = static_cast<std::uint32_t>(into.size());
    const std::uint32_t cut = count / 2;
    const std::size_t surveyed = std::min(shape.lineLength, SURVEYED_COLUMNS);
    const ColumnSurvey sample = sampleSurvey(shape, count, surveyed);
    const KeyRecipe recipe = recipeOf(sample, surveyed);
    shape.keyedColumns = recipe.keyed;
    // Each half is sorted as soon as its own keys are known to be exact, without waiting for the
    // other half to be taken.
    HalfOfLines first{into.first(cut), 0};
    HalfOfLines second{into.subspan(cut), cut};
    const SampleBounds bounds(sample, recipe.keyed);
    const auto takeAndSort = [&](HalfOfLines& half) {
        const auto to = static_cast<std::uint32_t>(half.from + half.lines.size());
        half.entered = enterLines(shape, recipe, bounds, half.from, to, half.lines);
        if (half.entered.fit && half.entered.exact) {
            sortEntries(shape, half.lines);
        }
    };
    runBoth([&] { takeAndSort(first); }, [&] { takeAndSort(second); });
    if (!first.entered.fit || !second.entered.fit) {
        return false;
    }
    middle = cut;
    if (first.entered.exact && second.entered.exact) {
        return true; // both are sorted already
    }
    // The sample missed some value: the keys of both halves are made again by what every line
    // holds, so that they compare across the halves, and both are sorted by them.
    ColumnSurvey seen;
    ColumnSurvey secondSeen;
    runBoth([&] { seen = surveyHalf(shape, first, surveyed); },
            [&] { secondSeen = surveyHalf(shape, second, surveyed); });
    seen.add(secondSeen);
    const KeyRecipe exact = recipeOf(seen, surveyed);
    shape.keyedColumns = exact.keyed;
    const auto rekeyAndSort = [&](const HalfOfLines& half) {
        rekeyLines(shape, exact, half.lines);
        sortEntries(shape, half.lines);
    };
    runBoth([&] { rekeyAndSort(first); }, [&] { rekeyAndSort(second); });
    return true;
}

} // namespace shell::builtins
