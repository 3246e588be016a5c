// The headless drawing window: display list, status state, Escape, paint cycle, view, macros.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cad.h"

namespace {

TEST(HeadlessWindow, DisplayListKeepsEachPrimitiveWithItsPenLayerModeAndFont)
{
    HeadlessCadWindow w;
    w.gsSetFont("Arial", 100.0, 0, 0, 2, 1.0);
    w.gsSetLayer("S1 Point", "Point");
    w.gsDisplayPoint(10.0, 20.0, 5, 0, -2.0f);
    w.gsSetLayer("S1 Height", "Height");
    w.gsDisplayText("12.50", 10.0, 20.0, 5, 6, 1, -35.27f, 900.0f);
    w.gsSetLayer(nullptr, nullptr);
    w.gsSetDrawMode(kGsDrawToggle);
    w.gsDisplayLine(0.0, 1.0, 2.0, 3.0, 7, 21, 2.5);
    w.gsDisplayCircle(5.0, 6.0, 3.0, 2, 1);
    w.gsDisplayRect(0.0, 0.0, 4.0, 5.0, 3, 2);
    const GsPoint tri[] = {{0, 0}, {10, 0}, {0, 10}};
    w.gsDisplayFilledPolygon(tri, 3, kGsRgbColourFlag | 0x0000FF, kGsRgbColourFlag | 0x0000FF);
    w.gsDisplaySymbol("MH", 1.0, 2.0, 1.5);

    const auto& list = w.displayList();
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[0].layer, "S1 Point");
    EXPECT_EQ(list[0].layerType, "Point");
    EXPECT_EQ(list[1].text, "12.50");
    EXPECT_EQ(list[1].justification, 6);
    EXPECT_EQ(list[1].font, "Arial");
    EXPECT_EQ(list[1].layerType, "Height");
    // (y, x) order is kept as given
    EXPECT_DOUBLE_EQ(list[2].points[0].x, 1.0);
    EXPECT_DOUBLE_EQ(list[2].points[1].y, 2.0);
    EXPECT_EQ(list[2].style, 21);
    EXPECT_DOUBLE_EQ(list[2].width, 2.5);
    EXPECT_EQ(list[2].layer, "");
    EXPECT_EQ(list[2].drawMode, kGsDrawToggle);
    EXPECT_EQ(list[5].fill, kGsRgbColourFlag | 0x0000FF);
    EXPECT_EQ(w.count(CadPrimitiveKind::Line), 1);
    EXPECT_EQ(w.count(CadPrimitiveKind::Point, "S1 Point"), 1);
    EXPECT_EQ(w.count(CadPrimitiveKind::Point, "Other"), 0);
}

TEST(HeadlessWindow, DegeneratePolygonsDrawNothing)
{
    HeadlessCadWindow w;
    const GsPoint two[] = {{0, 0}, {1, 1}};
    w.gsDisplayFilledPolygon(two, 2, 1, 1);
    w.gsDisplayFilledPolygon(nullptr, 5, 1, 1);
    w.gsDisplayFilledPolygon(two, -3, 1, 1);
    EXPECT_TRUE(w.displayList().empty());
}

TEST(HeadlessWindow, ToggleModeDrawingTheSameLineAgainRemovesIt)
{
    HeadlessCadWindow w;
    w.gsSetDrawMode(kGsDrawNormal);
    w.gsDisplayLine(0, 0, 10, 10, 1, 1, 0);   // tracking cross drawn
    w.gsDisplayLine(5, 5, 6, 6, 2, 1, 0);     // unrelated line
    w.gsSetDrawMode(kGsDrawToggle);
    w.gsDisplayLine(0, 0, 10, 10, 1, 1, 0);   // erased
    w.gsDisplayLine(1, 1, 2, 2, 1, 1, 0);     // nothing to erase: shown
    EXPECT_EQ(w.displayList().size(), 4u);
    const auto shown = w.visiblePrimitives();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_DOUBLE_EQ(shown[0].points[0].y, 5.0);
    EXPECT_DOUBLE_EQ(shown[1].points[0].y, 1.0);
    // a different pen is a different drawing
    w.gsDisplayLine(5, 5, 6, 6, 3, 1, 0);
    EXPECT_EQ(w.visiblePrimitives().size(), 3u);
}

TEST(HeadlessWindow, StatusPromptCursorAndProgressAreKeptAndReported)
{
    HeadlessCadWindow w;
    std::vector<std::string> console;
    w.setConsoleHook([&](const HeadlessCadWindow& win) {
        console.push_back(win.helpText() + "|" + std::to_string(win.progress().position) + "/" +
                          std::to_string(win.progress().total));
    });
    w.gsSetHelpText("Plotting points (Esc to cancel)");
    w.gsSetHoldStdPrompt(true);
    w.gsCursorWait(true);
    w.gsSetProgress(0, 0, "Determining site limits");
    w.gsSetProgress(5, 10, "Determining site limits");
    w.gsSetProgress(7, -1, nullptr);   // a total below 1 clears the bar
    EXPECT_EQ(w.helpText(), "Plotting points (Esc to cancel)");
    EXPECT_TRUE(w.promptHeld());
    EXPECT_TRUE(w.waitCursor());
    EXPECT_EQ(w.progress().position, 0);
    EXPECT_EQ(w.progress().total, 0);
    EXPECT_EQ(w.progress().text, "");
    ASSERT_EQ(w.progressHistory().size(), 3u);
    EXPECT_EQ(w.progressHistory()[1].position, 5);
    EXPECT_EQ(w.progressHistory()[1].text, "Determining site limits");
    EXPECT_EQ(console, (std::vector<std::string>{"Plotting points (Esc to cancel)|0/0",
                                                 "Plotting points (Esc to cancel)|0/0",
                                                 "Plotting points (Esc to cancel)|5/10",
                                                 "Plotting points (Esc to cancel)|0/0"}));
    w.gsSetHelpText(nullptr);
    EXPECT_EQ(w.helpText(), "");
    EXPECT_EQ(w.helpTextHistory().size(), 2u);
}

TEST(HeadlessWindow, EscapeIsSeenOnceAtTheScriptedCheck)
{
    HeadlessCadWindow w;
    EXPECT_FALSE(w.CheckEscapePressed(0));
    w.pressEscapeAtCheck(3);
    EXPECT_FALSE(w.CheckEscapePressed(1));
    EXPECT_FALSE(w.CheckEscapePressed(1));
    EXPECT_TRUE(w.CheckEscapePressed(7));
    EXPECT_EQ(w.lastEscapeOption(), 7);
    EXPECT_FALSE(w.CheckEscapePressed(0));   // a key press is seen once
    w.pressEscapeNow();
    EXPECT_TRUE(w.CheckEscapePressed(0));
    w.pressEscapeAtCheck(0);   // taken as the next check
    EXPECT_TRUE(w.CheckEscapePressed(0));
    EXPECT_EQ(w.escapeChecks(), 7);
}

// The paint callbacks of these tests record into one place, as the library's would.
std::vector<std::string> gPaintCalls;
_bsRECT gPaintRect{};
HeadlessCadWindow* gWindow = nullptr;

void prePaint(_bsRECT* rect)
{
    gPaintCalls.push_back("pre");
    gPaintRect = *rect;
    gWindow->gsSetLayer("Grid", "");
    gWindow->gsDisplayLine(rect->left, rect->bottom, rect->right, rect->top, 1, 1, 0);
    gWindow->gsRedraw();   // a nested repaint request is covered by the running paint
}

void postPaint(_bsRECT*)
{
    gPaintCalls.push_back(gWindow->isPainting() ? "post (painting)" : "post");
}

int snapToGrid(double& y, double& x)
{
    y = 100.0 * static_cast<int>(y / 100.0 + 0.5);
    x = 100.0 * static_cast<int>(x / 100.0 + 0.5);
    return 1;
}

TEST(HeadlessWindow, PaintCallsPreThenPostWithTheViewAndStartsFromAnEmptyList)
{
    HeadlessCadWindow w;
    gWindow = &w;
    gPaintCalls.clear();
    w.setZoomRect(300.0, -50.0, 100.0, 250.0);
    w.gsDisplayLine(0, 0, 1, 1, 1, 1, 0);   // drawn before the paint: wiped by it
    w.TerrainPrePaintHook(prePaint);
    w.TerrainPostPaintHook(postPaint);
    w.paint();
    EXPECT_EQ(gPaintCalls, (std::vector<std::string>{"pre", "post (painting)"}));
    EXPECT_DOUBLE_EQ(gPaintRect.left, 100.0);
    EXPECT_DOUBLE_EQ(gPaintRect.right, 300.0);
    EXPECT_DOUBLE_EQ(gPaintRect.top, 250.0);
    EXPECT_DOUBLE_EQ(gPaintRect.bottom, -50.0);
    ASSERT_EQ(w.displayList().size(), 1u);
    EXPECT_EQ(w.displayList()[0].layer, "Grid");
    EXPECT_EQ(w.paintCount(), 1);
    EXPECT_FALSE(w.isPainting());

    // refresh repaints only a dirty view; redraw always
    w.gsRefresh();
    EXPECT_EQ(w.paintCount(), 1);
    w.gsSetViewDirty(true);
    w.gsRefresh();
    EXPECT_EQ(w.paintCount(), 2);
    EXPECT_FALSE(w.viewDirty());
    w.gsRedraw();
    EXPECT_EQ(w.paintCount(), 3);

    // removed callbacks are not called; the window has nothing of its own to draw
    w.TerrainPrePaintHook(nullptr);
    w.TerrainPostPaintHook(nullptr);
    gPaintCalls.clear();
    w.paint();
    EXPECT_TRUE(gPaintCalls.empty());
    EXPECT_TRUE(w.displayList().empty());
    gWindow = nullptr;
}

TEST(HeadlessWindow, ViewCommandsMoveTheZoomRectangle)
{
    HeadlessCadWindow w;
    w.setZoomRect(0.0, 0.0, 100.0, 200.0);
    double a, b, c, d;
    w.gsMagnify();
    w.gsGetZoomRect(a, b, c, d);
    EXPECT_DOUBLE_EQ(a, 25.0);
    EXPECT_DOUBLE_EQ(b, 50.0);
    EXPECT_DOUBLE_EQ(c, 75.0);
    EXPECT_DOUBLE_EQ(d, 150.0);
    w.gsDemagnify();
    w.gsDemagnify();
    w.gsSetCurrCoord(1000.0, 2000.0);
    w.gsPan();
    w.gsGetZoomRect(a, b, c, d);
    EXPECT_DOUBLE_EQ((a + c) / 2.0, 1000.0);
    EXPECT_DOUBLE_EQ((b + d) / 2.0, 2000.0);
    EXPECT_TRUE(w.viewDirty());

    // zoom all without limits keeps the view; with them shows the limits
    w.gsZoomAll();
    w.gsGetZoomRect(a, b, c, d);
    EXPECT_DOUBLE_EQ((a + c) / 2.0, 1000.0);
    w.gsSetZoomAllMyLimits(500.0, -20.0, 100.0, 80.0);   // max y, min x, min y, max x
    w.gsZoomAll();
    w.gsGetZoomRect(a, b, c, d);
    EXPECT_DOUBLE_EQ(a, 100.0);
    EXPECT_DOUBLE_EQ(b, -20.0);
    EXPECT_DOUBLE_EQ(c, 500.0);
    EXPECT_DOUBLE_EQ(d, 80.0);

    EXPECT_EQ(w.gsSetSnapMode(3), 0);
    EXPECT_EQ(w.gsSetSnapMode(1), 3);
    EXPECT_EQ(w.snapMode(), 1);
}

TEST(HeadlessWindow, PicksComeFromTheQueueAndSnapWhenSnapIsOn)
{
    HeadlessCadWindow w;
    w.TerrainSnapHook(snapToGrid);
    w.queuePick(149.0, 251.0);
    w.queueCancelledPick();
    w.queuePick(149.0, 251.0);
    double y = -1.0, x = -1.0;
    ASSERT_EQ(w.gsGetPointFromUser("Pick a point", y, x), 1);
    EXPECT_DOUBLE_EQ(y, 149.0);   // snap mode 0: taken as picked
    EXPECT_EQ(w.gsGetPointFromUser("Again", y, x), 0);
    w.gsSetSnapMode(1);
    ASSERT_EQ(w.gsGetPointFromUser("Snap", y, x), 1);
    EXPECT_DOUBLE_EQ(y, 100.0);
    EXPECT_DOUBLE_EQ(x, 300.0);
    double cy, cx;
    w.gsGetCurrCoord(cy, cx);
    EXPECT_DOUBLE_EQ(cy, 100.0);
    EXPECT_EQ(w.gsGetPointFromUser("Empty queue", y, x), 0);
    EXPECT_EQ(w.pickPrompts().size(), 4u);
    EXPECT_EQ(w.pickPrompts()[0], "Pick a point");
}

TEST(HeadlessWindow, MacrosAreRecordedAndTheSymbolFileFollowsNewSymFile)
{
    HeadlessCadWindow w;
    CString name;
    long count = -1;
    EXPECT_EQ(w.gsGetSymbolFileInfo(name, count), 0);
    EXPECT_EQ(name, "");
    EXPECT_EQ(w.gsExecuteMacro("#SETPORTRAIT 0"), 1);
    EXPECT_EQ(w.gsExecuteMacro("#NEWSYMFL \"SurveySymbols\" \"N\" \"N\""), 1);
    EXPECT_EQ(w.gsGetSymbolFileInfo(name, count), 1);
    EXPECT_EQ(name, "SurveySymbols");
    EXPECT_EQ(w.gsExecuteMacro(""), 0);
    EXPECT_EQ(w.gsExecuteMacro(nullptr), 0);
    w.refuseMacros("#UNITS");
    EXPECT_EQ(w.gsExecuteMacro("#UNITS 1 \" m\""), 0);
    EXPECT_EQ(w.macros(), (std::vector<std::string>{"#SETPORTRAIT 0",
                                                    "#NEWSYMFL \"SurveySymbols\" \"N\" \"N\"",
                                                    "#UNITS 1 \" m\""}));
    w.setSymbolFile("c:/x/surveysymbols.drg", 40);
    EXPECT_EQ(w.gsGetSymbolFileInfo(name, count), 1);
    EXPECT_EQ(count, 40);
}

TEST(HeadlessWindow, PenColoursFollowTheColourIndexAsColourRefs)
{
    HeadlessCadWindow w;
    EXPECT_EQ(w.gsGetPenColor(1), 0x000000FFu);    // red
    EXPECT_EQ(w.gsGetPenColor(3), 0x0000FF00u);    // green
    EXPECT_EQ(w.gsGetPenColor(5), 0x00FF0000u);    // blue
    EXPECT_EQ(w.gsGetPenColor(7), 0x00FFFFFFu);
    EXPECT_EQ(w.gsGetPenColor(8), 0x00808080u);
    EXPECT_EQ(w.gsGetPenColor(255), 0x00FFFFFFu);
    EXPECT_EQ(w.gsGetPenColor(256), w.gsGetPenColor(0));   // modulo 256
    EXPECT_EQ(w.gsGetPenColor(-1), w.gsGetPenColor(255));
}

}  // namespace
