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

    EXPECT_EQ(dbfAddLine(a, a, 0, 1), 0);
    EXPECT_EQ(dbfAddLine(a, other, 0, 0), 0);
    EXPECT_EQ(beeps(), 0);
    EXPECT_EQ(dbfAddLine(a, other, 0, 1), 0);
    EXPECT_EQ(beeps(), 1);

    EXPECT_EQ(dbfAddLine(a, b, 0, 0), 1);
    EXPECT_EQ(dbfAddLine(a, b, 0, 0), 0);   // already there as plain
    EXPECT_EQ(dbfAddLine(b, a, 0, 0), 0);   // either direction
    SURVCOORD ra = grab(a);
    EXPECT_EQ(dbfIsFeatureLine(ra, b, a), 0);
    EXPECT_EQ(dbfAddLine(b, a, 1, 0), 1);   // made a feature line where it is stored (at a)
    ra = grab(a);
    EXPECT_NE(dbfIsFeatureLine(ra, b, a), 0);
    EXPECT_EQ(+ra.feature, 1);
    EXPECT_EQ(dbfAddLine(a, b, 1, 0), 0);

    // A point with 8 outgoing lines takes a ninth in the reverse direction.
    const std::vector<unsigned> partners = addRow("N", 8, 200.0, 100.0, 1.0, 0.0);
    const unsigned hub = add("Hub", 300.0, 100.0);
    for (unsigned p : partners) ASSERT_EQ(dbfAddLine(hub, p, 0, 0), 1);
    const unsigned ninth = add("Ninth", 301.0, 100.0);
    ASSERT_EQ(dbfAddLine(hub, ninth, 1, 0), 1);
    EXPECT_EQ(+grab(ninth).lines[0], hub);
    EXPECT_EQ(+grab(ninth).feature, 1);
    EXPECT_EQ(+grab(hub).shadows[0], ninth);
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
    EXPECT_EQ(+grab(a).lines[0], 0u);
    EXPECT_EQ(+grab(a).feature, 0);
    EXPECT_EQ(+grab(b).shadows[0], 0u);
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
    EXPECT_EQ(+grab(n[1]).shadows[0], n[0]);
    EXPECT_EQ(+grab(n[2]).shadows[0], n[0]);
    EXPECT_EQ(+grab(n[2]).shadows[1], n[3]);
    EXPECT_EQ(cad.progress().total, 0);
    EXPECT_FALSE(cad.waitCursor());

    // Escape after the first entry stops the rebuild there.
    forgetShadows();
    cad.pressEscapeNow();
    EXPECT_EQ(dbfCreateShadowLines(6, f, 1), 0);
    EXPECT_EQ(+grab(n[1]).shadows[0], n[0]);
    EXPECT_EQ(+grab(n[2]).shadows[1], 0u);
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
    EXPECT_TRUE(ui.showed(dbfFormatText("Shadow line mismatch on %u and %u", a, b)));
    EXPECT_TRUE(ui.showed(dbfFormatText("Duplicate line entry on %u and %u", a, c)));
    EXPECT_TRUE(ui.showed(dbfFormatText("Line entry duplicated as shadow entry on %u (to %u)", a, c)));
    EXPECT_TRUE(ui.showed(dbfFormatText("Duplicate shadow entry on %u and %u", a, c)));
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
    EXPECT_EQ(dbfNumeratedCoordNumber(grab(a)), 1u);
    EXPECT_EQ(dbfNumeratedCoordNumber(grab(o)), 0u);
    EXPECT_EQ(dbfNumeratedCoordNumber(grab(b)), 2u);
    unsigned seq[8];
    dbfNumeratedLines(grab(a), seq);
    EXPECT_EQ(seq[0], 2u);
    EXPECT_EQ(seq[1], 0u);
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
    EXPECT_EQ(index, 4u);
    EXPECT_NEAR(+crossing.y, 113.0, 1e-9);

    dbfContourPoly({p0, p1, p2}, 5.0, start, crossing, index);
    EXPECT_EQ(index, 2u);
    EXPECT_NEAR(+crossing.y, 115.0, 1e-9);
    // A height met exactly at a point is taken just above it: P1 at 10.0001 is crossed going
    // down, a hair beyond P1.
    dbfContourPoly({p0, p1, p2}, 10.0, start, crossing, index);
    EXPECT_EQ(index, 2u);
    EXPECT_NEAR(+crossing.y, 110.0001, 1e-6);
    dbfContourPoly({p0, p1}, 50.0, start, crossing, index);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(+crossing.x, 0.0);
}

TEST_F(OpenTerrainTest, SurfaceWordsFlagsAndChecks) {
    WORD flags = 1;
    EXPECT_EQ(dbfStripSurfFlags(0x4005, &flags), 5);
    EXPECT_EQ(flags, 0x4000);
    EXPECT_EQ(dbfStripSurfFlags(200, nullptr), 128);
    EXPECT_EQ(dbfCheckSurface(3, 3), 1);
    EXPECT_EQ(dbfCheckSurface(3 | kSurfaceAny, 7), 1);
    EXPECT_EQ(dbfCheckSurface(3, 7 | kSurfaceAny), 1);
    dbfSetSurfaceStatus(3, kSurfaceShown, 0);
    EXPECT_EQ(dbfCheckSurface(3, 3), 0);
    EXPECT_EQ(dbfCheckSurface(4, 3 | kSurfaceAny), 1);   // a's surface 4 is active
    EXPECT_EQ(dbfCheckSurface(3, 4 | kSurfaceAny), 0);
    dbfSetSurfaceStatus(7, 0, 0);
    EXPECT_EQ(dbfCheckSurface(3 | kSurfaceAny, 7), 0);
    EXPECT_EQ(dbfCheckSurfaceFlag(3, 3, kSurfaceShown), 1);
    EXPECT_EQ(dbfCheckSurfaceFlag(3, 3, kSurfaceActive), 0);
    EXPECT_EQ(dbfGetSurfaceStatus(3, 3), 2);
    EXPECT_EQ(dbfGetSurfaceStatus(0, 3), 0);
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
    char buffer[64];
    EXPECT_STREQ(dbfSurfaceName(buffer, 5), "Design Level");
    EXPECT_STREQ(dbfSurfaceName(2), "Surface 2");
    EXPECT_STREQ(dbfSurfaceName(buffer, 0), "No Surface");
    EXPECT_STREQ(dbfSurfaceName(buffer, 256 + 5), "Design Level");   // taken modulo 256
    EXPECT_STREQ(dbfSurfaceLayer(buffer, 5), "DESIGN");
    EXPECT_STREQ(dbfSurfaceLayer(buffer, 6), "Surf{NUMBER}{TYPE}");
    EXPECT_STREQ(dbfSurfaceLayer(buffer, 129), "Undefined{NUMBER]{TYPE}");
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
    EXPECT_EQ(dbfGetSurfaceStatus(5, 3), kSurfaceShown);
    EXPECT_EQ(dbfGetSurfaceStatus(6, 3), kSurfaceShown | kSurfaceActive);
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
