// The status-line stack in every mode, the wait cursor, the progress bar, the message pump and
// the sticky Escape check.
#include "common/library_fixture.h"

using StatusTest = LibraryTest;

TEST_F(StatusTest, StackShowsItsTopAndHoldsAtFiveEntries) {
    const char* texts[] = {"one", "two", "three", "four", "five", "six"};
    for (const char* text : texts) dbfDispStatus(text, kStatusPush);
    EXPECT_EQ(dbfState().statusDepth, 5);
    EXPECT_EQ(cad.helpText(), "five");   // the sixth was not pushed
    EXPECT_TRUE(cad.promptHeld());

    dbfDispStatus(nullptr, kStatusPop);
    EXPECT_EQ(cad.helpText(), "four");
    for (int i = 0; i < 6; ++i) dbfDispStatus("ignored", kStatusPop);
    EXPECT_EQ(dbfState().statusDepth, 0);   // popping an empty stack leaves it empty
    EXPECT_EQ(cad.helpText(), "");
    EXPECT_FALSE(cad.promptHeld());

    dbfDispStatus("back", kStatusPush);
    EXPECT_EQ(cad.helpText(), "back");
    dbfDispStatus(std::string(120, 'x').c_str(), kStatusPush);   // entries are cut to 80 characters
    EXPECT_EQ(cad.helpText(), std::string(80, 'x'));
}

TEST_F(StatusTest, ResetModesReplaceTheStack) {
    dbfDispStatus("a", kStatusPush);
    dbfDispStatus("b", kStatusPush);
    dbfDispStatus("only", kStatusReset);
    EXPECT_EQ(dbfState().statusDepth, 1);
    EXPECT_EQ(cad.helpText(), "only");
    EXPECT_FALSE(cad.waitCursor());

    dbfDispStatus(nullptr, kStatusReset);   // a null text clears the line
    EXPECT_EQ(dbfState().statusDepth, 0);
    EXPECT_EQ(cad.helpText(), "");
    EXPECT_FALSE(cad.promptHeld());
}

TEST_F(StatusTest, BusyModeShowsTheWaitCursorUntilCleared) {
    dbfDispStatus("Working", kStatusResetBusy);
    EXPECT_TRUE(cad.waitCursor());
    EXPECT_EQ(cad.helpText(), "Working");
    dbfDispStatus("step", kStatusPush);   // still busy
    EXPECT_TRUE(cad.waitCursor());
    dbfDispStatus(nullptr, kStatusPop);
    dbfDispStatus("still", kStatusReset);   // mode 3 keeps the busy flag
    EXPECT_TRUE(cad.waitCursor());

    dbfDispStatus(nullptr, kStatusClear);
    EXPECT_FALSE(cad.waitCursor());
    EXPECT_EQ(cad.helpText(), "");
    EXPECT_FALSE(cad.promptHeld());
    EXPECT_FALSE(dbfState().busy);
}

TEST_F(StatusTest, UnknownModeOnlyRefreshesAndNegativeDepthCountsAsEmpty) {
    dbfDispStatus("kept", kStatusPush);
    cad.gsSetHelpText("overwritten by someone");
    dbfDispStatus("ignored", 9);
    EXPECT_EQ(cad.helpText(), "kept");

    dbfState().statusDepth = -3;
    dbfDispStatus("first", kStatusPush);
    EXPECT_EQ(dbfState().statusDepth, 1);
    EXPECT_EQ(cad.helpText(), "first");
}

TEST_F(StatusTest, StatusPumpsWaitingMessagesAndTheProgressBarShowsAndClears) {
    ui.messagesToPump = 3;
    dbfDispStatus("pumping", kStatusPush);
    EXPECT_EQ(ui.messagesToPump, 0);
    dbfDispGraph(5, 10, "Loading");
    EXPECT_EQ(cad.progress().position, 5);
    EXPECT_EQ(cad.progress().total, 10);
    EXPECT_EQ(cad.progress().text, "Loading");
    dbfDispGraph(7, 0, "done");   // a total below 1 clears
    EXPECT_EQ(cad.progress().position, 0);
    EXPECT_EQ(cad.progress().total, 0);
    EXPECT_EQ(dbfProgressStep(0), 1);
    EXPECT_EQ(dbfProgressStep(199), 1);
    EXPECT_EQ(dbfProgressStep(250), 2);
}

TEST_F(StatusTest, EscapeFlagIsStickyOnceSet) {
    int abort = 0;
    EXPECT_EQ(dbfCheckEscape(abort, 0), 0);
    cad.pressEscapeNow();
    EXPECT_EQ(dbfCheckEscape(abort, 7), 1);
    EXPECT_EQ(cad.lastEscapeOption(), 7);
    // The key press is gone, the flag is not.
    EXPECT_EQ(dbfCheckEscape(abort, 0), 1);
    EXPECT_EQ(abort, 1);

    int preset = 5;   // any non-zero flag counts as set
    EXPECT_EQ(dbfCheckEscape(preset, 0), 1);
    EXPECT_EQ(preset, 1);
}

TEST_F(StatusTest, QuittingApplicationSetsTheEscapeFlag) {
    ui.messagesToPump = 1;
    ui.quitting = true;
    int abort = 0;
    EXPECT_EQ(dbfCheckEscape(abort, 0), 1);
    EXPECT_TRUE(dbfPumpMessages() == false);   // the queue is empty now
}

TEST_F(StatusTest, NothingBreaksWithoutTheHost) {
    unInitDbfAPI();
    dbfDispStatus("no window", kStatusResetBusy);
    dbfDispGraph(1, 2, "no window");
    int abort = 0;
    EXPECT_EQ(dbfCheckEscape(abort, 0), 0);
    EXPECT_EQ(cad.helpText(), "");
}
