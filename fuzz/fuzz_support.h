#pragma once

// What the fuzz targets share: a check that stops the fuzzer on a broken invariant, a scratch
// folder to run the file code in, and the check of a line against a layout's columns. The line and
// column rules they hold the program against, and the file helpers, are the tests' own
// (test_support).

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/layout.h"
#include "species_map/species_map.h"
#include "test_support/catalogue.h"
#include "test_support/lines.h"
#include "test_support/test_support.h"

namespace fuzz {

using test_support::columns;
using test_support::splitLines;

// A broken invariant: report it and stop, so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// The map that `bytes` load as, written to the map file first; none for a map that starts with a
// UTF-16 byte-order mark, which must be refused as such. The files go to a fresh folder in memory,
// made the current folder once per fuzzing process and removed when the fuzzer ends its run.
inline std::optional<species_map::SpeciesMap> loadMapOf(std::string_view bytes) {
    static const test_support::ScratchFolder folder("mts-fuzz",
                                                    test_support::TempFolder::Storage::Memory);
    test_support::writeFile(species_map::MAP_FILE_NAME, bytes);
    species_map::LoadResult loaded = species_map::loadSpeciesMap();
    if (test_support::startsWithUtf16Mark(bytes)) {
        FUZZ_CHECK(loaded.outcome == species_map::LoadOutcome::MapInUtf16);
        return std::nullopt;
    }
    FUZZ_CHECK(loaded.outcome == species_map::LoadOutcome::Loaded);
    return std::move(loaded.map);
}

// Where a text field of a layout lies: its first column (counted from 0) and its width.
struct Field {
    std::size_t first;
    std::size_t width;
};

// `line` cut by `layout`, whose text fields are `fields`, must give the columns of those fields;
// built again, by the layout and by its plan, it must give the line up to its last text field:
// skips never lengthen a line by themselves.
inline void checkLayout(const records::RecordLayout& layout, const std::vector<Field>& fields,
                        std::string_view line) {
    std::vector<records::FixedText> values = records::blankValues(layout);
    FUZZ_CHECK(values.size() == fields.size());
    const records::LayoutPlan plan = records::planLayout(layout);
    records::cutLine(line, plan, values);
    std::string expectedLine;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string expected = columns(line, fields[i].first, fields[i].width);
        FUZZ_CHECK(values[i].text() == expected);
        expectedLine.resize(fields[i].first, ' ');
        expectedLine += expected;
    }
    std::string built;
    records::buildLine(layout, values, built);
    FUZZ_CHECK(built == expectedLine);
    std::string room(plan.width + 1, '#');
    const std::size_t length = records::buildLineAt(plan, values, room.data());
    FUZZ_CHECK(length <= plan.width);
    FUZZ_CHECK(room.compare(0, length, expectedLine) == 0 && length == expectedLine.size());
    FUZZ_CHECK(room.back() == '#');
}

} // namespace fuzz
