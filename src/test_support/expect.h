#pragma once

// Checks that the end-to-end tests share: whole files compared byte for byte, and what a complete
// run must show and leave behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support/catalogue.h"
#include "test_support/fatal_report.h"
#include "test_support/launch.h"
#include "test_support/test_support.h"
#include "test_support/transcript.h"

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

// A complete run of a map that shows `shown`: the whole dialogue, `newList` in place of
// `oldList`, the old list as the backup, and nothing else left behind.
inline void expectCompleteRun(const TempFolder& folder, const RunResult& run,
                              const std::vector<MapEntry>& shown, const std::string& oldList,
                              const std::string& newList) {
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, transcriptsFor(shown).complete);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(sameBytes(folder.read(PICTURES), newList)) << "the new picture list";
    EXPECT_TRUE(sameBytes(folder.read(BACKUP), oldList)) << "the backup";
    EXPECT_EQ(folder.listing(), LISTING_AFTER_RUN);
}

} // namespace test_support
