// Input to events, the fixed grade, Esc in each mode, the hook's life, the window's life.
#include <functional>

#include "road/road_state.h"
#include "roadwnd/roadwnd_fixture.h"

namespace {

struct InputCase {
    const char* name;
    std::function<void(CRoadWnd&)> input;
    // the event expected (type -1: none)
    int type;
    double x, y;
    int shift, control, key, button;
};

}  // namespace

TEST_F(RoadWndTest, InputArrivesAtTheHookAsEvents) {
    // 400 x 200 pixels over offsets -20..20 and levels 110..90: 10 pixels a metre.
    resize(400, 200);
    const InputCase cases[] = {
        {"move", [](CRoadWnd& r) { r.OnMouseMove(250, 100, 0); }, 2, 5.0, 100.0, 0, 0, 0, 0},
        {"move to the same pixel", [](CRoadWnd& r) { r.OnMouseMove(250, 100, kMouseShift); }, -1, 0, 0, 0, 0, 0, 0},
        {"move with shift", [](CRoadWnd& r) { r.OnMouseMove(100, 20, kMouseShift); }, 2, -10.0, 108.0, 1, 0, 0, 0},
        {"left down with ctrl", [](CRoadWnd& r) { r.OnLButtonDown(300, 150, kMouseControl); }, 0, 10.0, 95.0, 0, 1, 0, 1},
        {"right down", [](CRoadWnd& r) { r.OnRButtonDown(0, 0, 0); }, 4, -20.0, 110.0, 0, 0, 0, 2},
        {"button up", [](CRoadWnd& r) { r.OnButtonUp(0, 0, 0, 2); }, 1, -20.0, 110.0, 0, 0, 0, 2},
        {"letter", [](CRoadWnd& r) { r.OnChar('a', false); }, 6, -20.0, 110.0, 0, 0, 'a', 0},
        {"ctrl+A", [](CRoadWnd& r) { r.OnChar(1, true); }, 6, -20.0, 110.0, 0, 1, 65, 0},
        {"code 12 is dropped", [](CRoadWnd& r) { r.OnChar(12, false); }, -1, 0, 0, 0, 0, 0, 0},
        {"space cancels", [](CRoadWnd& r) { r.OnChar(' ', false); }, 5, -20.0, 110.0, 0, 0, 32, 0},
        {"esc cancels", [](CRoadWnd& r) { r.OnChar(27, false); }, 5, -20.0, 110.0, 0, 0, 27, 0},
        {"left arrow", [](CRoadWnd& r) { r.OnKeyDown(kVkLeft, false); }, 6, -20.0, 110.0, 0, 0, 0x25, 0},
        {"ctrl+page down", [](CRoadWnd& r) { r.OnKeyDown(kVkPageDown, true); }, 6, -20.0, 110.0, 0, 1, 0x22 + 64, 0},
        {"escape key", [](CRoadWnd& r) { r.OnKeyDown(kVkEscape, false); }, 6, -20.0, 110.0, 0, 0, 27, 0},
        {"other key", [](CRoadWnd& r) { r.OnKeyDown(0x41, false); }, -1, 0, 0, 0, 0, 0, 0},
        {"command", [](CRoadWnd&) { dbfRoadSendKey(119); }, 6, -20.0, 110.0, 0, 0, 119, 0},
        {"tool button", [](CRoadWnd& r) { r.CommandButtonClick(3); }, 6, -20.0, 110.0, 0, 0, 3, 0},
        {"repaint", [](CRoadWnd&) { dbfRoadRefresh(); }, 7, -20.0, 110.0, 0, 0, 0, 0},
    };
    for (const InputCase& c : cases) {
        SCOPED_TRACE(c.name);
        events().clear();
        c.input(w());
        if (c.type < 0) {
            EXPECT_TRUE(events().empty());
            continue;
        }
        ASSERT_EQ(events().size(), 1u);
        EXPECT_EQ(fields(events()[0]), nums(c.type, c.x, c.y, c.shift, c.control, c.key, c.button));
    }
    EXPECT_TRUE(cad.abortFlag());   // Space and Esc set the drawing window's abort flag
    EXPECT_EQ(w().coords(), "Off: -10.000  Ele: 108.000");
}

TEST_F(RoadWndTest, FixedGradeKeepsTheCursorOnTheLine) {
    resize(400, 200);
    dbfRoadSetCursorPosSlope(0.0, 100.0, 0.02);
    EXPECT_EQ(w().snapText(), "Slp: 2.000%");
    EXPECT_DOUBLE_EQ(w().cursorY(), 100.0);
    w().OnMouseMove(300, 10, 0);   // x 10, level 109 before the grade
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(fields(events()[0]), nums(kRoadEventMove, 10.0, 100.2, 0, 0, 0, 0));
    dbfRoadSetCursorPos(-10.0, 50.0);
    EXPECT_DOUBLE_EQ(w().cursorY(), 99.8);
    dbfRoadResetSlope();
    EXPECT_FALSE(w().fixedGrade());
    EXPECT_EQ(w().snapText(), "");
}

TEST_F(RoadWndTest, EscEndsEachMode) {
    resize(400, 200);
    // Fixed grade: ended, and the host hears the cancel.
    dbfRoadSetCursorPosSlope(0.0, 100.0, 0.5);
    w().OnChar(27, false);
    EXPECT_FALSE(w().fixedGrade());
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].type, kRoadEventCancel);
    // Zoom box: the band goes, the prompt comes back, the host hears nothing.
    events().clear();
    dbfRoadDisplayPrompt("Select");
    w().OnChar('z', false);
    w().OnLButtonDown(10, 10, 0);
    w().OnMouseMove(50, 50, 0);
    w().OnChar(27, false);
    EXPECT_FALSE(w().zooming() || w().mouseCaptured());
    EXPECT_EQ(w().prompt(), "Select");
    EXPECT_TRUE(shown().empty() && events().empty());
    // No view: Esc only sets the abort flag; nothing else is handled.
    cad.SetAbortFlag(false);
    w().InitView(nullptr, 0, false);
    w().OnChar(27, false);
    w().OnChar('a', false);
    w().OnMouseMove(5, 5, 0);
    dbfRoadRefresh();
    EXPECT_TRUE(cad.abortFlag());
    EXPECT_TRUE(events().empty());
}

// A host that moves the pointer again while it handles a move: the inner move is dropped.
void reenteringHook(EVENT* e) {
    recordedEvents().push_back(*e);
    if (e->type == kRoadEventMove) dbfRoadWindow()->OnMouseMove(390, 190, 0);
}

TEST_F(RoadWndTest, AMoveDuringAMoveIsDropped) {
    resize(400, 200);
    dbfRoadInitView(&view, 0, reenteringHook, "Ratio", 0, 0);
    events().clear();
    w().OnMouseMove(100, 100, 0);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_DOUBLE_EQ(events()[0].x, -10.0);
}

void otherHook(EVENT* e) { recordedEvents().push_back(EVENT{100 + e->type, 0, 0, 0, 0, 0, 0}); }

TEST_F(RoadWndTest, ReplacedAndClosedHooksAreTold) {
    dbfRoadInitView(&view, 0, otherHook, "Ratio", 0, 0);
    ASSERT_GE(events().size(), 1u);
    EXPECT_EQ(events()[0].type, kRoadEventHookReplaced);   // to the outgoing hook
    events().clear();
    dbfRoadDisplayPrompt("Working");
    coreSetDefaultInt("Global", "RoadWindow", 1);   // keep the window
    dbfCloseRoadWindow();
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(nums(events()[0].type, dbfIsRoadWin(), w().active(), w().hook() == nullptr), nums(100 + kRoadEventClosed, 1, false, true));
    EXPECT_EQ(w().prompt(), "");

    coreSetDefaultInt("Global", "RoadWindow", 0);
    CMDIChildWnd* frameWnd = dbfState().roadFrame;
    dbfCloseRoadWindow();
    EXPECT_EQ(dbfIsRoadWin(), 0);
    EXPECT_TRUE(frameWnd->destroyed());
    // A frame that cannot be made: no window, and the initialisation says 0.
    frame.failChildCreation = true;
    EXPECT_EQ(dbfRoadInitView(&view, 0, recordEvent, "Ratio", 0, 0), 0);
    EXPECT_EQ(dbfIsRoadWin(), 0);
    frame.failChildCreation = false;
    // The next initialisation makes a new window.
    EXPECT_EQ(dbfRoadInitView(&view, 0, recordEvent, "EdgeRatio", 0, 0), 1);
    EXPECT_EQ(w().ratioKey() + " " + std::to_string(dbfIsRoadWin()), "EdgeRatio 1");
    // Closing the window itself sends 9 and forgets it.
    events().clear();
    w().OnClose();
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(nums(events()[0].type, dbfIsRoadWin()), nums(kRoadEventClosed, 0));
}

// The frame takes its title from the current road, and the status panes through the message hook.
TEST_F(RoadWndTest, FrameTitleAndStatusPanesThroughTheMessageHook) {
    coreSetDefaultInt("Global", "RoadWindow", 0);
    dbfCloseRoadWindow();   // the fixture's window goes; a new one is made
    coreSetJobDefault("Global", "RoadId", "100000");   // beyond the roads: road 1
    coreSetJobDefault("RoadList", "Road1", "Main Street");
    ASSERT_NE(createRoadWnd(0, 0), nullptr);
    CMDIChildWnd* frameWnd = dbfState().roadFrame;
    EXPECT_EQ(frameWnd->windowText(), "Main Street");
    EXPECT_EQ(coreGetJobDefaultInt("Global", "RoadId", 0), 1);
    char text[] = "pane";
    struct Case {
        UINT code;
        long result;
        int pane;   // -1: no pane changes
    } cases[] = {{11023, 11023, -1}, {11024, 0, 0}, {11027, 0, 3}, {11028, 11028, -1}, {5, 5, -1}};
    for (const Case& c : cases) {
        frameWnd->statusPanes.assign(4, "");
        EXPECT_EQ(w().MessageHook(c.code, text), c.result) << c.code;
        for (int pane = 0; pane < 4; ++pane)
            EXPECT_EQ(frameWnd->statusPanes[static_cast<std::size_t>(pane)], pane == c.pane ? "pane" : "") << c.code;
    }
    dbfRoadDisplayPrompt("Pick a point");
    EXPECT_EQ(frameWnd->statusPanes[0], "Pick a point");
}

TEST_F(RoadWndTest, OpeningARoadResetsTheView) {
    ASSERT_TRUE(w().active());
    dbfRoadInit(1, 0);
    EXPECT_FALSE(w().active());
    dbfRoadInitView(&view, 0, recordEvent, "Ratio", 0, 0);
    ui.defaultAnswer = IDNO;
    dbfRoadInit(0, 0);
    EXPECT_FALSE(w().active());
}

TEST_F(RoadWndTest, DialogsOfTheWindow) {
    resize(400, 200);
    ui.dialogs["RoadSlope"] = [](void* r) { *static_cast<double*>(r) = -0.03; return IDOK; };
    ui.dialogs["RoadGrid"] = [](void* r) {
        auto* g = static_cast<RoadGridRecord*>(r);
        g->across = 20.0;
        g->up = 10.0;
        return IDOK;
    };
    ui.dialogs["RoadScale"] = [](void* r) { *static_cast<int*>(r) = 0; return IDOK; };
    ui.dialogs["RoadCursorJump"] = [](void* r) {
        *static_cast<PNT_2D_record*>(r) = PNT_2D_record{2.0, -1.0};
        return IDOK;
    };
    dbfRoadSetCursorPos(0.0, 100.0);
    w().OnChar('k', false);
    EXPECT_EQ(w().snapText(), "Slp: -3.000%");
    dbfRoadResetSlope();
    w().GridButtonClick();
    EXPECT_TRUE(w().gridOn());
    char text[64];
    coreGetDefault("Roads", "Grids", "", text, sizeof text);
    EXPECT_STREQ(text, "20.000,10.000,1");
    w().ScaleButtonClick();
    EXPECT_EQ(nums(w().ratio(), coreGetDefaultInt("Roads", "Ratio", 9)), nums(1, 1));
    events().clear();
    w().OnChar('u', false);   // relative jump
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(fields(events()[0]), nums(kRoadEventMove, 2.0, 99.0, 0, 0, 0, 0));
    coreSetJobDefault("Roads", "CursorJump", "A");
    w().OnChar('u', false);
    EXPECT_EQ(nums(w().cursorX(), w().cursorY()), nums(2.0, -1.0));
    // Layout mode has no slope, scale or grid.
    dbfRoadLayoutInit(&view, recordEvent, 0);
    ui.shown.clear();
    w().OnChar('k', false);
    w().ScaleButtonClick();
    w().GridButtonClick();
    EXPECT_TRUE(ui.shown.empty());
}

TEST(RoadWndWithoutWindow, EveryFunctionDoesNothing) {
    dbfResetState();
    ASSERT_EQ(dbfIsRoadWin(), 0);
    _bsRECT r{1, 2, 3, 4};
    XSECTION xs{};
    LongSection ls;
    HeadlessCadWindow printer;
    int px = 7, py = 7;
    double x = 5, y = 6;
    dbfRoadGetViewLimits(r);
    dbfRoadGetRedrawLimits(r);
    dbfRoadSetDrawMode(10);
    dbfRoadPlotLine(1, 1, 0, 0, 1, 1, 0);
    dbfRoadPlotArc(1, 1, 0, 0, 1, 0, 90, 0);
    dbfRoadPlotSection(1, &xs, 0, 1, 1);
    dbfRoadPlotLongSection(1, &ls, 0, 1, 1);
    dbfRoadPlotText(1, 0, 0, "x", 0, 0, 1);
    dbfRoadDrawLine(1, 1, 0, 0, 1, 1, 0);
    dbfRoadWindowCoords(1.0, 2.0, px, py);
    for (auto show : {dbfRoadDisplaySnap, dbfRoadDisplayPrompt, dbfRoadDisplayStatus, dbfRoadDisplayCoords, dbfRoadDisplayActiveSide}) show("a");
    dbfRoadDisplayActive(1, 2);
    dbfRoadZoom(r);
    dbfRoadPan(1, 1);
    dbfRoadSetCursorPos(1, 1);
    dbfRoadGetCursorPos(x, y);
    dbfRoadSetCursorPosSlope(1, 1, 1);
    dbfRoadSendKey(1);
    dbfRoadStartPrinting(&printer, r);
    const double info[1] = {1.0};
    dbfUpdateVerInfoBar(info);
    for (auto call : {dbfRoadSetRedrawLimits, dbfRoadClearView, dbfRoadRedraw, dbfRoadRefresh, dbfRoadResetSlope, dbfRoadStopPrinting,
                      dbfCloseRoadWindow, dbfRoadSetSecLegend, dbfRoadSetVerLegend, dbfRoadSetEdgeLegend, dbfRoadSetPipeLegend,
                      dbfRoadDisableButtons, dbfRoadEnableButtons})
        call();
    EXPECT_EQ(dbfRoadGetLegendBarPtr(), nullptr);
    EXPECT_TRUE(printer.displayList().empty());
    EXPECT_EQ(nums(px, py, x, y, r.left, dbfIsRoadBusyInit(), dbfIsRoadWin()), nums(0, 0, 5.0, 6.0, 1.0, 1, 0));
    // Without a started library (no main frame) the window cannot be made.
    EXPECT_EQ(dbfRoadInitView(&r, 0, nullptr, "Ratio", 0, 0), 0);
}

TEST_F(RoadWndTest, PopupMenuCommandsOfEachKind) {
    static std::string pick;
    ui.dialogs["RoadPopupMenu"] = [](void* r) {
        auto* menu = static_cast<RoadPopupMenu*>(r);
        for (std::size_t i = 0; i < menu->items.size(); ++i)
            if (menu->items[i].text == pick) menu->chosen = static_cast<int>(i);
        return menu->chosen >= 0 ? IDOK : IDCANCEL;
    };
    const struct {
        const char* kind;
        const char* entry;
        int code;
    } cases[] = {{"VerRatio", "Measure", 119}, {"EdgeRatio", "Slave Edit", 113}, {"Pipe", "Delete MH", 2},
                 {"Ratio", "Move Point", 3}, {"Ratio", "No such entry", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        dbfRoadInitView(&view, 0, recordEvent, c.kind, 0, 0);
        pick = c.entry;
        events().clear();
        w().OnButtonUp(5, 5, 0, 2);
        ASSERT_EQ(events().size(), c.code < 0 ? 1u : 2u);
        EXPECT_EQ(events()[0].type, kRoadEventButtonUp);
        EXPECT_EQ(events().back().key, c.code < 0 ? 0 : c.code);
    }
    // The left button opens no menu.
    events().clear();
    w().OnButtonUp(5, 5, 0, 1);
    EXPECT_EQ(events().size(), 1u);
}

TEST_F(RoadWndTest, ViewLimitsAreEditedAndKeptAsSectionOffsets) {
    ui.dialogs["RoadPopupMenu"] = [](void* r) {
        auto* menu = static_cast<RoadPopupMenu*>(r);
        menu->chosen = static_cast<int>(menu->items.size()) - 1;   // "View Limits"
        return IDOK;
    };
    ui.dialogs["RoadViewLimits"] = [](void* r) {
        auto* rect = static_cast<_bsRECT*>(r);
        EXPECT_DOUBLE_EQ(rect->left, -8.0);   // from Section/Offsets, the left one given positive
        *rect = _bsRECT{-15.0, 25.0, 105.0, 95.0};
        return IDOK;
    };
    coreSetJobDefault("Section", "Offsets", "8,12");
    w().OnButtonUp(5, 5, 0, 2);
    char text[64];
    coreGetJobDefault("Section", "Offsets", "", text, sizeof text);
    EXPECT_STREQ(text, "15.000,25.000");
    ASSERT_FALSE(events().empty());
    EXPECT_EQ(nums(w().baseRect().right, events().back().key), nums(25.0, 122));

    // The user's initialisation shows the same dialog: accepted it sets the view, cancelled clears it.
    EXPECT_EQ(dbfRoadUserInit(-8.0, 12.0, 104.0, 96.0, 0, recordEvent, 0), 1);
    EXPECT_DOUBLE_EQ(w().initialLimits().left, -15.0);
    ui.dialogs["RoadViewLimits"] = [](void*) { return IDCANCEL; };
    EXPECT_EQ(dbfRoadUserInit(-8.0, 12.0, 104.0, 96.0, 0, recordEvent, 0), 1);
    EXPECT_FALSE(w().active());
}
