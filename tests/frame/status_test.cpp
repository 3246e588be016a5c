// The status-line stack in every mode, the wait cursor, the progress bar, the message pump and
// the sticky Escape check.
#include "common/library_fixture.h"

class StatusTest : public LibraryTest {
protected:
    // The stack's depth, the line shown, and whether the prompt is held and the wait cursor on.
    std::string status() const {
        return std::to_string(dbfState().statusDepth) + " [" + cad.helpText() + "]" + (cad.promptHeld() ? " held" : "") +
               (cad.waitCursor() ? " busy" : "");
    }
};

TEST_F(StatusTest, StackShowsItsTopAndHoldsAtFiveEntries) {
    for (const char* text : {"one", "two", "three", "four", "five", "six"}) dbfDispStatus(text, kStatusPush);
    EXPECT_EQ(status(), "5 [five] held");   // the sixth was not pushed
    dbfDispStatus(nullptr, kStatusPop);
    EXPECT_EQ(status(), "4 [four] held");
    for (int i = 0; i < 6; ++i) dbfDispStatus("ignored", kStatusPop);
    EXPECT_EQ(status(), "0 []");   // popping an empty stack leaves it empty
    dbfDispStatus("back", kStatusPush);
    EXPECT_EQ(cad.helpText(), "back");
    dbfDispStatus(std::string(120, 'x').c_str(), kStatusPush);   // entries are cut to 80 characters
    EXPECT_EQ(cad.helpText(), std::string(80, 'x'));
}

TEST_F(StatusTest, ResetAndBusyModesReplaceTheStack) {
    dbfDispStatus("a", kStatusPush);
    dbfDispStatus("b", kStatusPush);
    dbfDispStatus("only", kStatusReset);
    EXPECT_EQ(status(), "1 [only] held");
    dbfDispStatus(nullptr, kStatusReset);   // a null text clears the line
    EXPECT_EQ(status(), "0 []");

    dbfDispStatus("Working", kStatusResetBusy);
    EXPECT_EQ(status(), "1 [Working] held busy");
    dbfDispStatus("step", kStatusPush);   // still busy
    EXPECT_TRUE(cad.waitCursor());
    dbfDispStatus(nullptr, kStatusPop);
    dbfDispStatus("still", kStatusReset);   // mode 3 keeps the busy flag
    EXPECT_TRUE(cad.waitCursor());
    dbfDispStatus(nullptr, kStatusClear);
    EXPECT_EQ(status(), "0 []");
    EXPECT_FALSE(dbfState().busy);
}

TEST_F(StatusTest, UnknownModeOnlyRefreshesAndNegativeDepthCountsAsEmpty) {
    dbfDispStatus("kept", kStatusPush);
    cad.gsSetHelpText("overwritten by someone");
    dbfDispStatus("ignored", 9);
    EXPECT_EQ(cad.helpText(), "kept");
    dbfState().statusDepth = -3;
    dbfDispStatus("first", kStatusPush);
    EXPECT_EQ(status(), "1 [first] held");
}

TEST_F(StatusTest, StatusPumpsWaitingMessagesAndTheProgressBarShowsAndClears) {
    ui.messagesToPump = 3;
    dbfDispStatus("pumping", kStatusPush);
    EXPECT_EQ(ui.messagesToPump, 0);
    const auto progress = [this] { return std::tuple(cad.progress().position, cad.progress().total, cad.progress().text); };
    dbfDispGraph(5, 10, "Loading");
    EXPECT_EQ(progress(), std::tuple(5, 10, "Loading"));
    dbfDispGraph(7, 0, "done");   // a total below 1 clears
    EXPECT_EQ(std::get<0>(progress()) + std::get<1>(progress()), 0);
    EXPECT_EQ(std::tuple(dbfProgressStep(0), dbfProgressStep(199), dbfProgressStep(250)), std::tuple(1, 1, 2));
}

TEST_F(StatusTest, EscapeFlagIsStickyOnceSetAndAQuittingApplicationSetsIt) {
    int abort = 0;
    EXPECT_EQ(dbfCheckEscape(abort, 0), 0);
    cad.pressEscapeNow();
    EXPECT_EQ(dbfCheckEscape(abort, 7), 1);
    EXPECT_EQ(cad.lastEscapeOption(), 7);
    EXPECT_EQ(dbfCheckEscape(abort, 0), 1);   // the key press is gone, the flag is not
    EXPECT_EQ(abort, 1);
    int preset = 5;   // any non-zero flag counts as set
    EXPECT_EQ(dbfCheckEscape(preset, 0), 1);
    EXPECT_EQ(preset, 1);

    ui.messagesToPump = 1;
    ui.quitting = true;
    abort = 0;
    EXPECT_EQ(dbfCheckEscape(abort, 0), 1);
    EXPECT_FALSE(dbfPumpMessages());   // the queue is empty now
}

TEST_F(StatusTest, NothingBreaksWithoutTheHost) {
    unInitDbfAPI();
    dbfDispStatus("no window", kStatusResetBusy);
    dbfDispGraph(1, 2, "no window");
    int abort = 0;
    EXPECT_EQ(dbfCheckEscape(abort, 0), 0);
    EXPECT_EQ(cad.helpText(), "");
}
