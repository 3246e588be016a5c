// The headless drawing window: display list, status state, Escape, paint cycle, view, macros.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
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
    const std::vector<std::string> strings{list[0].layer, list[0].layerType, list[1].text, list[1].font, list[1].layerType, list[2].layer};
    EXPECT_EQ(strings, (std::vector<std::string>{"S1 Point", "Point", "12.50", "Arial", "Height", ""}));
    // (y, x) order is kept as given
    const std::vector<double> values{double(list[1].justification), list[2].points[0].x, list[2].points[1].y,
                                     double(list[2].style), list[2].width, double(list[2].drawMode), double(list[5].fill)};
    EXPECT_EQ(values, (std::vector<double>{6, 1.0, 2.0, 21, 2.5, kGsDrawToggle, kGsRgbColourFlag | 0x0000FF}));
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
    EXPECT_TRUE(w.promptHeld() && w.waitCursor());
    EXPECT_EQ(std::tuple(w.progress().position, w.progress().total, w.progress().text), std::tuple(0, 0, ""));
    ASSERT_EQ(w.progressHistory().size(), 3u);
    EXPECT_EQ(std::tuple(w.progressHistory()[1].position, w.progressHistory()[1].text), std::tuple(5, "Determining site limits"));
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
    std::vector<bool> seen{w.CheckEscapePressed(0)};
    w.pressEscapeAtCheck(3);
    for (int option : {1, 1, 7}) seen.push_back(w.CheckEscapePressed(option));
    EXPECT_EQ(w.lastEscapeOption(), 7);
    seen.push_back(w.CheckEscapePressed(0));   // a key press is seen once
    w.pressEscapeNow();
    seen.push_back(w.CheckEscapePressed(0));
    w.pressEscapeAtCheck(0);   // taken as the next check
    seen.push_back(w.CheckEscapePressed(0));
    EXPECT_EQ(seen, (std::vector<bool>{false, false, false, true, false, true, true}));
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
    EXPECT_EQ((std::vector<double>{gPaintRect.left, gPaintRect.right, gPaintRect.top, gPaintRect.bottom}),
              (std::vector<double>{100.0, 300.0, 250.0, -50.0}));
    ASSERT_EQ(w.displayList().size(), 1u);
    EXPECT_EQ(w.displayList()[0].layer, "Grid");
    EXPECT_FALSE(w.isPainting());

    // refresh repaints only a dirty view; redraw always
    std::vector<int> paints{w.paintCount()};
    w.gsRefresh();
    paints.push_back(w.paintCount());
    w.gsSetViewDirty(true);
    w.gsRefresh();
    paints.push_back(w.paintCount());
    EXPECT_FALSE(w.viewDirty());
    w.gsRedraw();
    paints.push_back(w.paintCount());
    EXPECT_EQ(paints, (std::vector<int>{1, 1, 2, 3}));

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
    auto zoom = [&] {
        double a, b, c, d;
        w.gsGetZoomRect(a, b, c, d);
        return std::vector<double>{a, b, c, d};
    };
    w.gsMagnify();
    EXPECT_EQ(zoom(), (std::vector<double>{25.0, 50.0, 75.0, 150.0}));
    w.gsDemagnify();
    w.gsDemagnify();
    w.gsSetCurrCoord(1000.0, 2000.0);
    w.gsPan();
    const std::vector<double> panned = zoom();
    EXPECT_DOUBLE_EQ((panned[0] + panned[2]) / 2.0, 1000.0);
    EXPECT_DOUBLE_EQ((panned[1] + panned[3]) / 2.0, 2000.0);
    EXPECT_TRUE(w.viewDirty());

    // zoom all without limits keeps the view; with them shows the limits
    w.gsZoomAll();
    EXPECT_EQ(zoom(), panned);
    w.gsSetZoomAllMyLimits(500.0, -20.0, 100.0, 80.0);   // max y, min x, min y, max x
    w.gsZoomAll();
    EXPECT_EQ(zoom(), (std::vector<double>{100.0, -20.0, 500.0, 80.0}));

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
    double cy, cx;
    w.gsGetCurrCoord(cy, cx);
    EXPECT_EQ((std::vector<double>{y, x, cy}), (std::vector<double>{100.0, 300.0, 100.0}));
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
    // red, green, blue, white, grey, white
    for (const auto& [pen, colour] : {std::pair{1, 0x000000FFu}, {3, 0x0000FF00u}, {5, 0x00FF0000u}, {7, 0x00FFFFFFu},
                                      {8, 0x00808080u}, {255, 0x00FFFFFFu}})
        EXPECT_EQ(w.gsGetPenColor(pen), colour) << pen;
    EXPECT_EQ(w.gsGetPenColor(256), w.gsGetPenColor(0));   // modulo 256
    EXPECT_EQ(w.gsGetPenColor(-1), w.gsGetPenColor(255));
}

}  // namespace
