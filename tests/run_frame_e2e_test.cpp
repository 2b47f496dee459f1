// The frame of a run seen from outside: the exact bytes of the dialogue, what ends the process
// when standard input runs out at each place the tool waits, and what happens when standard
// output cannot be written.

#include <gtest/gtest.h>

#include <cerrno>

#include "e2e_scenarios.h"
#include "e2e_support.h"

namespace {

using namespace e2e;

const std::vector<MapEntry> SMALL_MAP = {{"Fluffy", "Leopard"}, {"Tiger 001", "Tiger"}};

const std::string SMALL_LIST = pictureColumns("IMG_0002.jpg", "Tiger 001", "2013-06-01") + "\r\n" +
                               pictureColumns("IMG_0001.jpg", "Fluffy", "2013-05-01") + "\r\n" +
                               pictureColumns("IMG_0003.jpg", "Lion", "2013-07-01") + "\r\n";

const std::string SMALL_LIST_AFTER_RUN = pictureLine("IMG_0001.jpg", "Leopard", "2013-05-01") +
                                         pictureLine("IMG_0002.jpg", "Tiger", "2013-06-01") +
                                         pictureLine("IMG_0003.jpg", "Lion", "2013-07-01");

void writeSmallCatalogue(const Scratch& scratch) {
    scratch.write(PICTURES, SMALL_LIST);
    scratch.write(MAP, mapFile(SMALL_MAP));
}

void expectCompleteRun(const Scratch& scratch, const RunResult& run) {
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, completeRunOutput(mapTable(SMALL_MAP)));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(scratch.read(PICTURES), SMALL_LIST_AFTER_RUN);
    EXPECT_EQ(scratch.read(BACKUP), SMALL_LIST);
    EXPECT_EQ(scratch.listing(), LISTING_AFTER_RUN);
}

TEST(RunFrame, CompleteRunPrintsEveryStageLineInOrder) {
    const Scratch scratch;
    writeSmallCatalogue(scratch);
    const RunResult run = runProgram(scratch, "Yes\n\n");
    expectCompleteRun(scratch, run);
    // The banner fills its 66 columns exactly: no trailing blank, no cut.
    EXPECT_EQ(run.out.find("\r\n"), 1 + 66u);
}

TEST(RunFrame, CommandLineArgumentsChangeNothing) {
    const Scratch scratch;
    writeSmallCatalogue(scratch);
    Launch how;
    how.extraArguments = {"--help", "-v", "No", "Other.txt", "/?"};
    const RunResult run = launchProgram(scratch, "Yes\n\n", how);
    expectCompleteRun(scratch, run);
}

TEST(RunFrame, LinesTypedAheadAreTakenOneAtATime) {
    // The answer takes only its own line, so the final wait still finds the second one; lines
    // beyond it are never looked at.
    for (const std::string_view input :
         {"Yes\n\n", "Yes\nNo\n", "Yes\r\n\r\nNo\r\nNo\r\n", "\n\n\n\n", "ok\nlast"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(input)));
        const Scratch scratch;
        writeSmallCatalogue(scratch);
        expectCompleteRun(scratch, runProgram(scratch, input));
    }
}

struct EndOfInputCase {
    const char* name;
    std::string_view input;
    std::string outputBeforeTheEnd;
    std::string report;
    std::string picturesAfter;
    const char* listingAfter;
};

TEST(RunFrame, EndOfInputAtEachWaitIsFatal) {
    const std::string table = mapTable(SMALL_MAP);
    const std::string throughTheJob = openingLines() + table + message(RELABEL_MESSAGE) +
                                      message(SORT_MESSAGE) + message(DELETE_MESSAGE) +
                                      message(DONE_MESSAGE) + message(NORMAL_END_MESSAGE);
    const char* backedUp = "AllPictures.txt AllPicturesIndiv.txt MarrowfenlatchMap.txt";
    const std::vector<EndOfInputCase> cases = {
        {"nothing at all at the question", "", openingLines() + table,
         endOfInputReport("formatted read", 1), SMALL_LIST, backedUp},
        // At the final wait the job is already done.
        {"the answer line and no more", "Yes\n", throughTheJob,
         endOfInputReport("list-directed read", 2), SMALL_LIST_AFTER_RUN, LISTING_AFTER_RUN},
        {"an answer without a line end", "Yes", throughTheJob,
         endOfInputReport("list-directed read", 2), SMALL_LIST_AFTER_RUN, LISTING_AFTER_RUN},
        {"an empty answer line", "\r\n", throughTheJob, endOfInputReport("list-directed read", 2),
         SMALL_LIST_AFTER_RUN, LISTING_AFTER_RUN},
    };
    for (const EndOfInputCase& test : cases) {
        SCOPED_TRACE(test.name);
        const Scratch scratch;
        writeSmallCatalogue(scratch);
        const RunResult run = runProgram(scratch, test.input);
        EXPECT_EQ(run.exitStatus, 127);
        EXPECT_EQ(run.out, test.outputBeforeTheEnd);
        EXPECT_TRUE(isFatalReport(run.err, test.report));
        EXPECT_EQ(scratch.read(PICTURES), test.picturesAfter);
        EXPECT_EQ(scratch.read(BACKUP), SMALL_LIST);
        EXPECT_EQ(scratch.listing(), test.listingAfter);
    }
}

TEST(RunFrame, UnwritableStandardOutputIsFatalAtTheBanner) {
    struct Case {
        const char* name;
        Launch::Output output;
        int error;
    };
    for (const Case& test : {Case{"a full device", Launch::Output::FullDevice, ENOSPC},
                             Case{"a pipe nobody reads", Launch::Output::ClosedPipe, EPIPE}}) {
        SCOPED_TRACE(test.name);
        const Scratch scratch;
        writeSmallCatalogue(scratch);
        Launch how;
        how.output = test.output;
        const RunResult run = launchProgram(scratch, "Yes\n\n", how);
        // Exit status 127, not death by a signal: the report must reach the operator.
        EXPECT_EQ(run.exitStatus, 127);
        EXPECT_TRUE(isFatalReport(
            run.err, hostErrorReport(test.error, "list-directed write", 6, "stdout ", 1)));
        // The banner is the first thing the run does, so nothing else has happened yet.
        EXPECT_EQ(scratch.read(PICTURES), SMALL_LIST);
        EXPECT_EQ(scratch.listing(), "AllPictures.txt MarrowfenlatchMap.txt");
    }
}

} // namespace
