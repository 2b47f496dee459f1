#pragma once

// Checks that the end-to-end tests share: whole files compared byte for byte, and what a complete
// run must show and leave behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "test_support/catalogue.h"
#include "test_support/fatal_report.h"
#include "test_support/launch.h"
#include "test_support/test_support.h"

namespace test_support {

// `got` is `expected` byte for byte; else where they part, with a little of each from there:
// gtest's own difference of strings of megabytes would take hours.
inline ::testing::AssertionResult sameBytes(const std::string& got, const std::string& expected) {
    if (got == expected) {
        return ::testing::AssertionSuccess();
    }
    const auto parting = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    const std::size_t at = static_cast<std::size_t>(parting.first - got.begin());
    return ::testing::AssertionFailure()
           << got.size() << " bytes instead of " << expected.size() << ", parting at byte " << at
           << ": " << ::testing::PrintToString(got.substr(at, 120)) << " instead of "
           << ::testing::PrintToString(expected.substr(at, 120));
}

// The picture list and the map file of a catalogue, laid out in `folder`.
inline void writeCatalogue(const TempFolder& folder, std::string_view pictures,
                           std::string_view map) {
    folder.write(PICTURES, pictures);
    folder.write(MAP, map);
}

// A run that ended by itself with `status`, having shown `out`.
inline void expectEnd(const RunResult& run, int status, const std::string& out) {
    EXPECT_EQ(run.exitStatus, status) << run.err;
    EXPECT_EQ(run.out, out);
}

// A fatal end after `out`, with `report` on standard error.
inline void expectFatalEnd(const RunResult& run, const std::string& out,
                           const FatalReport& report) {
    expectEnd(run, 127, out);
    EXPECT_EQ(parseFatalReport(run.err), report);
}

// The picture list in `dir` as it was, `list`, and the backup of it beside it.
inline void expectListKept(const std::filesystem::path& dir, const std::string& list) {
    EXPECT_TRUE(sameBytes(readFile(dir / PICTURES), list)) << "the picture list was touched";
    EXPECT_TRUE(sameBytes(readFile(dir / BACKUP), list)) << "the backup";
}

// A complete run of a map that shows `shown`: the whole dialogue, `newList` in place of
// `oldList`, the old list as the backup, and nothing else left behind.
inline void expectCompleteRun(const TempFolder& folder, const RunResult& run,
                              const std::vector<MapEntry>& shown, const std::string& oldList,
                              const std::string& newList) {
    expectEnd(run, 0, transcriptsFor(shown).complete);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(sameBytes(folder.read(PICTURES), newList)) << "the new picture list";
    EXPECT_TRUE(sameBytes(folder.read(BACKUP), oldList)) << "the backup";
    EXPECT_EQ(folder.listing(), LISTING_AFTER_RUN);
}

} // namespace test_support
