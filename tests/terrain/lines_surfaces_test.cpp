// Lines and shadow references, their checks and numbering, height crossings, and surfaces.
#include <cmath>

#include "platform/core.h"
#include "terrain_fixture.h"

namespace {

int beeps() { return terrainState().beeps; }

}  // namespace

TEST_F(OpenTerrainTest, AddLineRulesForSurfacesExistingLinesAndFullPoints) {
    const unsigned a = add("A", 100.0, 100.0, 0.0, 1);
    const unsigned b = add("B", 110.0, 100.0, 0.0, 1);
    const unsigned other = add("S2", 120.0, 100.0, 0.0, 2);

    // To itself, to another surface (beeping only when asked), then plain lines already there in
    // either direction; a plain line is made a feature line where it is stored (at a), once.
    struct Step { unsigned from, to; int feature, beep, result, beeps, featureAtA; };
    for (const Step& t : {Step{a, a, 0, 1, 0, 0, 0}, {a, other, 0, 0, 0, 0, 0}, {a, other, 0, 1, 0, 1, 0}, {a, b, 0, 0, 1, 1, 0},
                          {a, b, 0, 0, 0, 1, 0}, {b, a, 0, 0, 0, 1, 0}, {b, a, 1, 0, 1, 1, 1}, {a, b, 1, 0, 0, 1, 1}}) {
        EXPECT_EQ(dbfAddLine(t.from, t.to, t.feature, t.beep), t.result) << t.from << "->" << t.to << " " << t.feature;
        SURVCOORD ra = grab(a);
        EXPECT_EQ(nums(beeps(), dbfIsFeatureLine(ra, b, a) != 0, ra.feature), nums(t.beeps, t.featureAtA, t.featureAtA));
    }

    // A point with 8 outgoing lines takes a ninth in the reverse direction.
    const std::vector<unsigned> partners = addRow("N", 8, 200.0, 100.0, 1.0, 0.0);
    const unsigned hub = add("Hub", 300.0, 100.0);
    for (unsigned p : partners) ASSERT_EQ(dbfAddLine(hub, p, 0, 0), 1);
    const unsigned ninth = add("Ninth", 301.0, 100.0);
    ASSERT_EQ(dbfAddLine(hub, ninth, 1, 0), 1);
    EXPECT_EQ(nums(grab(ninth).lines[0], grab(ninth).feature, grab(hub).shadows[0]), nums(hub, 1, ninth));
    SURVCOORD rh = grab(hub);
    EXPECT_NE(dbfIsFeatureLine(rh, ninth, hub), 0);   // found from the far end

    // No room either way.
    for (unsigned m : addRow("M", 15, 400.0, 100.0, 1.0, 0.0)) ASSERT_EQ(dbfAddLine(m, hub, 0, 0), 1);
    const int before = beeps();
    EXPECT_EQ(dbfAddLine(hub, add("Last", 500.0, 100.0), 0, 1), 0);
    EXPECT_EQ(beeps(), before + 1);
}

TEST_F(OpenTerrainTest, DeleteLineByKind) {
    const unsigned a = add("A", 100.0, 100.0);
    const unsigned b = add("B", 110.0, 100.0);
    const unsigned c = add("C", 120.0, 100.0);
    ASSERT_EQ(dbfAddLine(a, b, 1, 0), 1);
    EXPECT_EQ(dbfDelLine(a, b, 0, 0), 0);   // it is a feature line
    EXPECT_EQ(+grab(a).lines[0], b);
    EXPECT_EQ(dbfDelLine(b, a, 1, 0), 1);   // found from either end
    EXPECT_EQ(nums(grab(a).lines[0], grab(a).feature, grab(b).shadows[0]), nums(0, 0, 0));
    const int before = beeps();
    EXPECT_EQ(dbfDelLine(a, c, 0, 1), 0);
    EXPECT_EQ(beeps(), before + 1);

    // Half a line (the shadow missing) is still removed.
    SURVCOORD ra = grab(a);
    ra.lines[3] = c;
    dbfStoreCoord(ra, a, 0);
    EXPECT_EQ(dbfDelLine(a, c, 0, 1), 1);
    EXPECT_EQ(+grab(a).lines[3], 0u);
}

TEST_F(OpenTerrainTest, ShadowReferencesAreRebuiltFromANumberFile) {
    const std::vector<unsigned> n = addRow("P", 5, 100.0, 100.0, 1.0, 0.0);
    ASSERT_EQ(dbfAddLine(n[0], n[1], 0, 0), 1);
    ASSERT_EQ(dbfAddLine(n[0], n[2], 1, 0), 1);
    ASSERT_EQ(dbfAddLine(n[3], n[2], 0, 0), 1);
    // Forget the incoming references, then rebuild them.
    const auto forgetShadows = [&] {
        for (unsigned p : n) {
            SURVCOORD r = grab(p);
            std::memset(r.shadows, 0, sizeof r.shadows);
            dbfStoreCoord(r, p, 0);
        }
    };
    forgetShadows();
    const std::string numbers = file("numbers.tmp");
    FILE* f = coreFileOpen(numbers.c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    for (unsigned p : n) coreFileBinWrite(&p, 4, f);
    const DWORD none = 0;
    coreFileBinWrite(&none, 4, f);
    EXPECT_EQ(dbfCreateShadowLines(6, f, 1), 1);
    EXPECT_EQ(nums(grab(n[1]).shadows[0], grab(n[2]).shadows[0], grab(n[2]).shadows[1], cad.progress().total, cad.waitCursor()),
              nums(n[0], n[0], n[3], 0, false));

    // Escape after the first entry stops the rebuild there.
    forgetShadows();
    cad.pressEscapeNow();
    EXPECT_EQ(dbfCreateShadowLines(6, f, 1), 0);
    EXPECT_EQ(nums(grab(n[1]).shadows[0], grab(n[2]).shadows[1]), nums(n[0], 0));
    coreFileClose(f);
}

TEST_F(OpenTerrainTest, ValidationReportsAndMarksEachKindOfFault) {
    const unsigned a = add("A", 100.0, 100.0);
    const unsigned b = add("B", 110.0, 100.0);
    const unsigned c = add("ABCDEFGHIJKLMNOP", 120.0, 100.0);
    const unsigned far = add("Far", 9000.0, 9000.0);
    SURVCOORD r = grab(a);
    r.lines[0] = b;   // no shadow at b
    r.lines[1] = c;   // c also points back at a, and a also shadows c
    r.shadows[0] = c;
    dbfStoreCoord(r, a, 0);
    r = grab(c);
    r.lines[0] = a;
    r.shadows[0] = a;
    dbfStoreCoord(r, c, 0);
    r = grab(far);
    r.lines[0] = b;
    dbfStoreCoord(r, far, 0);
    cad.setZoomRect(0.0, 0.0, 1000.0, 1000.0);   // Far is out of view

    EXPECT_EQ(dbfValidateData(), 1);
    for (const auto& [format, second] : {std::pair{"Shadow line mismatch on %u and %u", b}, {"Duplicate line entry on %u and %u", c},
                                         {"Line entry duplicated as shadow entry on %u (to %u)", c},
                                         {"Duplicate shadow entry on %u and %u", c}})
        EXPECT_TRUE(ui.showed(dbfFormatText(format, a, second))) << format;
    EXPECT_FALSE(ui.showed(dbfFormatText("on %u and %u", far, b)));
    EXPECT_STREQ(grab(b).name, "B!");
    // The full name gives up characters for its marks, and never grows.
    EXPECT_EQ(std::strlen(grab(c).name), 16u);
    EXPECT_EQ(std::string(grab(c).name).substr(0, 12), "ABCDEFGHIJKL");
    EXPECT_EQ(cad.count(CadPrimitiveKind::Point), 3);
    EXPECT_EQ(cad.helpText(), "");
}

TEST_F(OpenTerrainTest, NumberingForExportSkipsTheOriginAndStopsOnEscape) {
    const unsigned a = add("A", 100.0, 100.0);
    const unsigned o = add("O", 0.0, 0.0);
    const unsigned b = add("B", 110.0, 100.0);
    ASSERT_EQ(dbfAddLine(a, b, 0, 0), 1);
    RRect site{11123.5, -1123.5, -1123.5, 11123.5};
    EXPECT_EQ(dbfNumerateCoords(&site, nullptr), 1);
    unsigned seq[8];
    dbfNumeratedLines(grab(a), seq);
    EXPECT_EQ(nums(dbfNumeratedCoordNumber(grab(a)), dbfNumeratedCoordNumber(grab(o)), dbfNumeratedCoordNumber(grab(b)), seq[0], seq[1]),
              nums(1, 0, 2, 2, 0));
    cad.pressEscapeNow();
    EXPECT_EQ(dbfNumerateCoords(nullptr, nullptr), 0);
}

TEST_F(OpenTerrainTest, ContourCrossingNearestTheStart) {
    // A path rising and falling: start segment 0-1 reaches height 5 at y = 105.
    const unsigned p0 = add("P0", 100.0, 100.0, 0.0);
    const unsigned p1 = add("P1", 110.0, 100.0, 10.0);
    const unsigned p2 = add("P2", 120.0, 100.0, 0.0);   // crossing at 115 (k = 2)
    const unsigned p3 = add("P3", 120.0, 110.0, 10.0);  // crossing at x 105 (k = 3)
    const unsigned p4 = add("P4", 106.0, 100.0, 0.0);   // crossing near the start (k = 4)
    PNT_3D_record start{}, crossing{};
    unsigned index = 99;
    dbfContourPoly({p0, p1, p2, p3, p4}, 5.0, start, crossing, index);
    EXPECT_NEAR(+start.y, 105.0, 1e-9);
    EXPECT_NEAR(+start.x, 100.0, 1e-9);
    // A height met exactly at a point is taken just above it: P1 at 10.0001 is crossed going
    // down, a hair beyond P1. None: index 0 and crossing (0, 0).
    struct Case { std::vector<unsigned> path; double height; unsigned index; double crossingY, tolerance; };
    const Case cases[] = {{{p0, p1, p2, p3, p4}, 5.0, 4, 113.0, 1e-9}, {{p0, p1, p2}, 5.0, 2, 115.0, 1e-9},
                          {{p0, p1, p2}, 10.0, 2, 110.0001, 1e-6}, {{p0, p1}, 50.0, 0, 0.0, 0.0}};
    for (const Case& c : cases) {
        dbfContourPoly(c.path, c.height, start, crossing, index);
        EXPECT_EQ(index, c.index) << c.height;
        EXPECT_NEAR(+crossing.y, c.crossingY, c.tolerance) << c.height;
        EXPECT_TRUE(c.index || crossing.x == 0.0);
    }
}

TEST_F(OpenTerrainTest, SurfaceWordsFlagsAndChecks) {
    WORD flags = 1;
    EXPECT_EQ(dbfStripSurfFlags(0x4005, &flags), 5);
    EXPECT_EQ(nums(flags, dbfStripSurfFlags(200, nullptr)), nums(0x4000, 128));
    EXPECT_EQ(nums(dbfCheckSurface(3, 3), dbfCheckSurface(3 | kSurfaceAny, 7), dbfCheckSurface(3, 7 | kSurfaceAny)), nums(1, 1, 1));
    dbfSetSurfaceStatus(3, kSurfaceShown, 0);
    // a's surface 4 is active
    EXPECT_EQ(nums(dbfCheckSurface(3, 3), dbfCheckSurface(4, 3 | kSurfaceAny), dbfCheckSurface(3, 4 | kSurfaceAny)), nums(0, 1, 0));
    dbfSetSurfaceStatus(7, 0, 0);
    EXPECT_EQ(nums(dbfCheckSurface(3 | kSurfaceAny, 7), dbfCheckSurfaceFlag(3, 3, kSurfaceShown), dbfCheckSurfaceFlag(3, 3, kSurfaceActive),
                   dbfGetSurfaceStatus(3, 3), dbfGetSurfaceStatus(0, 3)),
              nums(0, 1, 0, 2, 0));
    dbfSelectAllSurfaces();
    EXPECT_EQ(dbfActiveSurface(7), 1);
    SURVCOORD p{};
    p.surface = 0x8000 | 9;
    EXPECT_EQ(dbfPureSurface(&p), 9);
}

TEST_F(TerrainTest, SurfaceNamesAndLayersComeFromTheJobSettings) {
    coreSetJobDefault("Terrain", "Surf5", "Design Level,1,0,1,DESIGN");
    makeAndOpen();
    dbfSetSurfaceName("Replaced by the load", 2);
    char b[5][64];
    // 256 + 5: taken modulo 256
    EXPECT_EQ((std::vector<std::string>{dbfSurfaceName(b[0], 5), dbfSurfaceName(2), dbfSurfaceName(b[1], 0), dbfSurfaceName(b[2], 256 + 5)}),
              (std::vector<std::string>{"Design Level", "Surface 2", "No Surface", "Design Level"}));
    EXPECT_EQ((std::vector<std::string>{dbfSurfaceLayer(b[0], 5), dbfSurfaceLayer(b[1], 6), dbfSurfaceLayer(b[2], 129)}),
              (std::vector<std::string>{"DESIGN", "Surf{NUMBER}{TYPE}", "Undefined{NUMBER]{TYPE}"}));
    char text[32] = "  surface 2 ";
    EXPECT_EQ(dbfSurfaceNumber(text), 2);
    EXPECT_STREQ(text, "surface 2");
    char unknown[] = "Nowhere";
    EXPECT_EQ(dbfSurfaceNumber(unknown), 1);
    dbfSetSurfaceName("A name much longer than twenty-five characters", 2);
    EXPECT_EQ(std::strlen(dbfSurfaceName(2)), 25u);

    // Opening with display takes the statuses from the same settings.
    dbfCloseDbase();
    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 1), 1);
    EXPECT_EQ(nums(dbfGetSurfaceStatus(5, 3), dbfGetSurfaceStatus(6, 3)), nums(kSurfaceShown, kSurfaceShown | kSurfaceActive));
}

TEST_F(OpenTerrainTest, AnInactiveSurfaceIsOfferedForActivation) {
    int refreshed = 0;
    static int* counter = nullptr;
    counter = &refreshed;
    dbfState().hooks.refreshSurfaceLegend = [] { ++*counter; };
    EXPECT_EQ(dbfValidSurface(0), 0);
    EXPECT_TRUE(ui.showed("Invalid layer specified"));
    EXPECT_EQ(dbfValidSurface(4), 1);
    dbfSetSurfaceStatus(4, 0, 1);
    EXPECT_EQ(refreshed, 1);
    ui.answers.push_back(IDNO);
    EXPECT_EQ(dbfValidSurface(4), 0);
    EXPECT_EQ(ui.last()->text, "Surface 4 is not currently active.\nDo you want to activate it ?");
    EXPECT_EQ(ui.last()->caption, "Activate");
    ui.answers.push_back(IDYES);
    EXPECT_EQ(dbfValidSurface(4), 1);
    EXPECT_EQ(dbfGetSurfaceStatus(4, 3), 3);
    EXPECT_EQ(refreshed, 2);
    dbfState().hooks.refreshSurfaceLegend = nullptr;
}
