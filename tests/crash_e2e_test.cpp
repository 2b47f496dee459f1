// Runs of a large catalogue killed outright at many moments: whatever the moment, the folder passes
// the check of every disturbed run (test_support/verdict.h): the picture list and its backup are
// each either as they were or complete, never empty or partial, and no file but the run's is left.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include "test_support/catalogue.h"
#include "test_support/launch.h"
#include "test_support/verdict.h"

namespace {

using namespace test_support;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int CATALOGUE_LINES = 300'000;
constexpr int MOST_KILLS = 60;
constexpr auto TIME_BUDGET = std::chrono::seconds(45);
const std::string ANSWERS = "yes\n\n";

const std::vector<MapEntry> MAP_ENTRIES = {
    {"Fluffy", "Leopard"}, {"Rajah", "Tiger"}, {"Shere", "Tiger"}, {"Bagheera", "Panther"}};

// A fixed catalogue in no particular order, most of whose folders the map renames.
std::string catalogue() {
    const std::vector<std::string> folders = {"Fluffy", "Rajah", "Shere", "Bagheera", "Lion"};
    std::mt19937 random(2014);
    std::string list;
    list.reserve(static_cast<std::size_t>(CATALOGUE_LINES) * PICTURE_LINE_BYTES);
    for (int i = 0; i < CATALOGUE_LINES; ++i) {
        const std::string lead = "IMG_" + std::to_string(random() % 1'000'000) + ".jpg";
        const std::string& folder = folders[random() % folders.size()];
        list += pictureColumns(lead, folder, "shot " + std::to_string(i)) + "\r\n";
    }
    return list;
}

const std::string STALE_BACKUP = pictureLine("IMG_1.jpg", "Stale", "an earlier run");

void prepare(const TempFolder& folder, const std::string& oldList) {
    for (const auto& entry : fs::directory_iterator(folder.dir)) {
        fs::remove_all(entry.path());
    }
    folder.write(PICTURES, oldList);
    folder.write(BACKUP, STALE_BACKUP);
    folder.write(MAP, mapFile(MAP_ENTRIES));
}

TEST(CrashSafety, KilledAtAnyMomentTheListsAreOldOrComplete) {
    const std::string oldList = catalogue();
    const TempFolder folder;
    prepare(folder, oldList);
    const auto undisturbedStart = Clock::now();
    const RunResult undisturbed = runProgram(folder.dir, ANSWERS);
    const auto runTime = Clock::now() - undisturbedStart;
    ASSERT_EQ(undisturbed.exitStatus, 0) << undisturbed.err;
    const std::string newList = folder.read(PICTURES);
    ASSERT_EQ(newList.size(), oldList.size());
    ASSERT_NE(newList, oldList);
    ASSERT_EQ(folder.read(BACKUP), oldList);

    // The answers on standard input, the program's own output discarded.
    const Launch launch{.folder = folder.dir,
                        .in = Stream::bytes(ANSWERS),
                        .out = Stream::file("/dev/null"),
                        .err = Stream::file("/dev/null")};
    const RunExpectation expected{.map = mapFile(MAP_ENTRIES),
                                  .oldList = oldList,
                                  .newList = newList,
                                  .oldBackup = STALE_BACKUP};

    std::mt19937 random(74);
    const auto delayLimit =
        std::chrono::duration_cast<std::chrono::microseconds>(runTime * 11 / 10);
    const auto testEnd = Clock::now() + TIME_BUDGET;
    int killedWithNewList = 0;
    int kills = 0;
    for (; kills < MOST_KILLS && Clock::now() < testEnd; ++kills) {
        prepare(folder, oldList);
        const auto delay = std::chrono::microseconds(random() % (delayLimit.count() + 1));
        Running running(launch);
        std::this_thread::sleep_for(delay);
        running.signal(SIGKILL);
        running.finish();

        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us");
        const Leftovers files = leftoversIn(folder.dir);
        EXPECT_EQ(checkFolder(expected, folder.dir, files).problem, "");
        killedWithNewList += files.pictures == newList ? 1 : 0;
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    RecordProperty("kills", kills);
    RecordProperty("killed_with_new_list", killedWithNewList);
    // A loaded machine makes each run slower, so the budget may allow only a few kills.
    EXPECT_GE(kills, 5);
}

} // namespace
