// Display settings, toggles, pens, the terrain display's files and the view of a paint.
#include "display/display_fixture.h"

namespace {

std::string job(const char* section, const char* key) {
    char buffer[512] = {};
    coreGetJobDefault(section, key, "<missing>", buffer, sizeof buffer);
    return buffer;
}

using DisplaySettings = DisplayTest;

TEST_F(DisplaySettings, FlagLineRoundTripWithMissingFields) {
    struct Case {
        const char* stored;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"<unset>", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"0,1,1", {0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,1", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}},
        {",,,,,,,,,,,,,,,,,,1", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        if (std::string(c.stored) != "<unset>") coreSetJobDefault("Terrain", "DisplayControl", c.stored);
        dbfGetDisplaySettings();
        std::vector<int> got;
        for (int f = 0; f < kDisplayFlagCount; ++f) got.push_back(dbfGetDisplayFlag(f));
        EXPECT_EQ(got, c.expected) << c.stored;
        dbfSaveDisplayControl();
        dbfGetDisplaySettings();
        for (int f = 0; f < kDisplayFlagCount; ++f) EXPECT_EQ(dbfGetDisplayFlag(f), c.expected[f]) << c.stored;
    }
    EXPECT_EQ(job("Terrain", "DisplayControl"), "1,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,1");
}

TEST_F(DisplaySettings, TogglesWhileClosedReturnZeroAndSaveNothing) {
    for (auto toggle : {dbfToggleNames, dbfToggleHeights, dbfToggleLines, dbfToggleContours, dbfToggleRoads,
                        dbfToggleBlockDisplay, dbfIsShowName, dbfIsShowQuickContour})
        EXPECT_EQ(toggle(), 0);
    EXPECT_EQ(job("Terrain", "DisplayControl"), "<missing>");
}

TEST_F(DisplaySettings, TogglesSaveTheLineExceptRoadsAndBlocks) {
    openDisplay();
    EXPECT_EQ(dbfToggleNames(), 1);
    EXPECT_EQ(job("Terrain", "DisplayControl"), "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,0,0,0,0");
    EXPECT_EQ(dbfToggleRoads(), 1);
    EXPECT_EQ(dbfToggleBlockDisplay(), 1);
    EXPECT_EQ(job("Terrain", "DisplayControl"), "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,0,0,0,0");
    EXPECT_EQ(dbfToggleHeights(), 1);
    EXPECT_EQ(job("Terrain", "DisplayControl"), "1,0,0,1,0,1,1,0,1,0,1,0,0,0,0,0,0,0,0");
    EXPECT_EQ(nums(dbfIsShowName(), cad.viewDirty(), cad.suspendDepth()), nums(1, true, 0));
    EXPECT_EQ(dbfToggleContours(), 1);
    EXPECT_EQ(nums(dbfIsShowQuickContour(), dbfGetSurfaceStatus(1, 1)), nums(1, 1));
}

TEST_F(DisplaySettings, NameFilterToggleTakesTheSheetsAnswer) {
    openDisplay();
    for (int answer : {IDCANCEL, IDOK}) {
        ui.dialogs["Filter"] = [answer](void*) { return answer; };
        EXPECT_EQ(dbfToggleNameFilter(), answer == IDOK ? 1 : 0);
        EXPECT_EQ(dbfIsShowFilter(), answer == IDOK ? 1 : 0);
    }
    EXPECT_EQ(dbfToggleNameFilter(), 0);   // switching off asks nothing
    int on = 1;
    EXPECT_NE(dbfGetTerrainFilterPointer(on), nullptr);
    EXPECT_EQ(on, 0);
}

TEST_F(DisplaySettings, PensAndLineVisibility) {
    openDisplay();
    dbfTerrainSetPen(1, 42);
    dbfTerrainSetPen(300, 7);   // 300 % 256 = 44
    const std::pair<WORD, int> pens[] = {{0, 1}, {200, 1}, {257, 42}, {1, 42}, {44, 7}, {2, 17}};
    for (auto [surface, pen] : pens) EXPECT_EQ(dbfTerrainPen(surface), pen) << surface;
    EXPECT_EQ(nums(dbfShowLine(0), dbfShowLine(5)), nums(0, 1));
    dbfSetShowLine(261, 0, 0);
    EXPECT_EQ(dbfShowLine(5), 0);
}

TEST_F(DisplaySettings, OpenMakesWorkAndLockFilesCloseOffersSaveAndRemovesThem) {
    openDisplay();
    for (const char* made : {"Site.tbk", "Site.tlk", "Site.dtn"}) EXPECT_TRUE(coreFileExist(file(made).c_str())) << made;
    EXPECT_EQ(job("Terrain", "Updated"), "1,1,1,1,1,1");
    EXPECT_TRUE(cad.prePaintCallback() && cad.snapCallback());
    add("P1", 10, 10, 5);
    ui.answers.push_back(IDYES);
    dbfTerrainInit(0);
    EXPECT_TRUE(ui.showed("Save " + file("Site.dtm")));
    EXPECT_TRUE(coreFileExist(file("Site.dtm").c_str()));
    for (const char* gone : {"Site.tbk", "Site.tlk", "Site.dtn", "Site.mdx"})
        EXPECT_FALSE(coreFileExist(file(gone).c_str())) << gone;
    EXPECT_EQ(cad.prePaintCallback(), nullptr);
    EXPECT_EQ(dbfTerrainIsOpen(), 0);

    // A work file left over is offered for reuse; No copies the saved file again.
    dbtest::writeFile(file("Site.tbk"), "left over");
    ui.answers.push_back(IDNO);
    openDisplay();
    EXPECT_TRUE(ui.showed("Existing work file found."));
    SURVCOORD p{};
    unsigned n = 0;
    char name[] = "P1";
    EXPECT_EQ(dbfFindName(name, n, p), 1);
}

TEST_F(DisplaySettings, PaintViewHasTenPerCentMargin) {
    openDisplay();
    paint(0, 0, 100, 100);
    const RRect v = dbfGetPaintWindow();
    EXPECT_EQ(nums(v.minX, v.maxX, v.minY, v.maxY), nums(-10.0, 111.0, -10.0, 111.0));
    RRect zoom{};
    cad.setZoomRect(30, 80, 10, 20);
    dbfGetViewRect(&zoom);
    EXPECT_EQ(nums(zoom.maxY, zoom.minY, zoom.minX, zoom.maxX), nums(30, 10, 20, 80));
}

TEST_F(DisplaySettings, SetupDrawingMacrosInOrder) {
    coreSetJobDefault("Global", "Scale", "500");
    dbfSetupDrawing(1);
    const std::vector<std::string> expected = {
        "#SETPORTRAIT 0", "#UNITS 1 \" m\"", "#SETAREAUNITS 8 \"sq m\" 1000000", "#HEMISPHR \"Y\"",
        "#CHGCOORD \"S\" \"Y\"0.000 0.000", "#NEWSCALE 10 500.000 [0.000,0.000]", "#SETNORTHEAST 0",
        "#SETANGFORMAT 2 0 6 1", "#SETPOINTDEF 0 -2"};
    EXPECT_EQ(cad.macros(), expected);
    coreSetJobDefault("Global", "Drawing", "plan.drg");
    dbfSetupDrawing(0);
    EXPECT_EQ(cad.macros().size(), expected.size());
}

TEST_F(DisplaySettings, MissingSymbolFileSwitchesSymbolsOff) {
    coreSetJobDefault("Terrain", "DisplayControl", "1,0,0,0,0,0,0,0,0,0,1,1");
    openDisplay();
    EXPECT_TRUE(ui.showed("Symbol plotting specified but symbol file\nSurveySymbols.drg not found in user directory"));
    EXPECT_EQ(dbfGetDisplayFlag(kFlagSymbols), 0);
}

}  // namespace
