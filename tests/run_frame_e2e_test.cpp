// The frame of a run seen from outside: the exact bytes of the dialogue, what ends the process
// when standard input runs out at each place the tool waits, and what happens when standard
// output cannot be written.

#include <gtest/gtest.h>

#include <cerrno>

#include "test_support/expect.h"

namespace {

using namespace test_support;

const std::vector<MapEntry> SMALL_MAP = {{"Fluffy", "Leopard"}, {"Tiger 001", "Tiger"}};
const Transcripts SHOWN = transcriptsFor(SMALL_MAP);

const std::string SMALL_LIST = joinLines({pictureColumns("IMG_0002.jpg", "Tiger 001", "2013-06-01"),
                                          pictureColumns("IMG_0001.jpg", "Fluffy", "2013-05-01"),
                                          pictureColumns("IMG_0003.jpg", "Lion", "2013-07-01")});

const std::string SMALL_LIST_AFTER_RUN = pictureLine("IMG_0001.jpg", "Leopard", "2013-05-01") +
                                         pictureLine("IMG_0002.jpg", "Tiger", "2013-06-01") +
                                         pictureLine("IMG_0003.jpg", "Lion", "2013-07-01");

// The small catalogue laid out in a fresh folder, and how the program is started there.
struct SmallCatalogue {
    TempFolder folder;
    Launch launch;

    explicit SmallCatalogue(std::string_view input, bool withMap = true) {
        writeCatalogue(folder, SMALL_LIST, mapFile(SMALL_MAP));
        if (!withMap) {
            std::filesystem::remove(folder.dir / MAP);
        }
        launch.folder = folder.dir;
        launch.in = Stream::bytes(input);
    }

    void expectCompleteRun(const RunResult& run) const {
        test_support::expectCompleteRun(folder, run, SMALL_MAP, SMALL_LIST, SMALL_LIST_AFTER_RUN);
    }
};

TEST(RunFrame, CompleteRunPrintsEveryStageLineInOrder) {
    const SmallCatalogue catalogue("Yes\n\n");
    const RunResult run = runProgram(catalogue.launch);
    catalogue.expectCompleteRun(run);
    // The banner fills its 66 columns exactly: no trailing blank, no cut.
    EXPECT_EQ(run.out.find("\r\n"), 1 + 66u);
}

TEST(RunFrame, CommandLineArgumentsChangeNothing) {
    SmallCatalogue catalogue("Yes\n\n");
    catalogue.launch.arguments = {"--help", "-v", "No", "Other.txt", "/?"};
    catalogue.expectCompleteRun(runProgram(catalogue.launch));
}

TEST(RunFrame, LinesTypedAheadAreTakenOneAtATime) {
    // The answer takes only its own line, so the final wait still finds the second one; lines
    // beyond it are never looked at.
    for (const std::string_view input :
         {"Yes\n\n", "Yes\nNo\n", "Yes\r\n\r\nNo\r\nNo\r\n", "\n\n\n\n", "ok\nlast"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(input)));
        const SmallCatalogue catalogue(input);
        catalogue.expectCompleteRun(runProgram(catalogue.launch));
    }
}

TEST(RunFrame, EndOfInputAtEachWaitIsFatal) {
    struct Case {
        const char* name;
        std::string_view input;
        std::string outputBeforeTheEnd;
        FatalReport report;
        std::string picturesAfter;
        bool withMap = true;
    };
    const std::vector<Case> cases = {
        {"nothing at all at the question", "", SHOWN.question,
         endOfInputReport("formatted read", 1), SMALL_LIST},
        // At the final wait the job is already done.
        {"the answer line and no more", "Yes\n", SHOWN.complete,
         endOfInputReport("list-directed read", 2), SMALL_LIST_AFTER_RUN},
        {"an answer without a line end", "Yes", SHOWN.complete,
         endOfInputReport("list-directed read", 2), SMALL_LIST_AFTER_RUN},
        {"an empty answer line", "\r\n", SHOWN.complete, endOfInputReport("list-directed read", 2),
         SMALL_LIST_AFTER_RUN},
        // At the acknowledgement of a rejection, and at the wait after the guidance.
        {"a rejection and nothing after it", "No\n", SHOWN.rejected,
         endOfInputReport("list-directed read", 2), SMALL_LIST},
        {"a rejection without a line end", "no", SHOWN.rejected,
         endOfInputReport("list-directed read", 2), SMALL_LIST},
        {"no map", "", SHOWN.guidance, endOfInputReport("list-directed read", 1), SMALL_LIST,
         false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const SmallCatalogue catalogue(test.input, test.withMap);
        expectFatalEnd(runProgram(catalogue.launch), test.outputBeforeTheEnd, test.report);
        EXPECT_EQ(catalogue.folder.read(PICTURES), test.picturesAfter);
        EXPECT_EQ(catalogue.folder.read(BACKUP), SMALL_LIST);
        EXPECT_EQ(catalogue.folder.listing(),
                  test.withMap ? LISTING_AFTER_RUN : "AllPictures.txt AllPicturesIndiv.txt");
    }
}

TEST(RunFrame, UnwritableStandardOutputIsFatalAtTheBanner) {
    Pipe unread;
    unread.read.close(); // nobody will ever read what the tool writes
    struct Case {
        const char* name;
        Stream output;
        int error;
    };
    for (const Case& test :
         {Case{"a full device", Stream::file("/dev/full"), ENOSPC},
          Case{"a pipe nobody reads", Stream::descriptor(unread.write.fd), EPIPE}}) {
        SCOPED_TRACE(test.name);
        SmallCatalogue catalogue("Yes\n\n");
        catalogue.launch.out = test.output;
        const RunResult run = runProgram(catalogue.launch);
        // Exit status 127, not death by a signal: the report must reach the operator.
        EXPECT_EQ(run.exitStatus, 127);
        EXPECT_EQ(parseFatalReport(run.err),
                  hostErrorReport(test.error, "list-directed write", 6, "stdout ", 1));
        // The banner is the first thing the run does, so nothing else has happened yet.
        EXPECT_EQ(catalogue.folder.read(PICTURES), SMALL_LIST);
        EXPECT_EQ(catalogue.folder.listing(), "AllPictures.txt MarrowfenlatchMap.txt");
    }
}

} // namespace
