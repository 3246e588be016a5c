// The DXF export: entity records of each export layer, read back from the stream.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "database/road.h"
#include "display/display_fixture.h"
#include "platform/proj.h"

namespace {

class DxfExport : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        openDisplay();
        cad.setZoomRect(-50, -50, 250, 250);
        projSetParameters(1, -1, 0, 0);
    }

    std::string exported(int format = 0) {
        FILE* f = std::tmpfile();
        dbfSiteExport(format, f);
        std::string text;
        std::rewind(f);
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
        std::fclose(f);
        return text;
    }

    // One triangle A (0, 0), B (100, 0), C (100, 100) at the heights given, joined by its three
    // lines, with two height classes (0 to 5, 5 to 15) and the export's axes as stored.
    void triangle(double za, double zb, double zc) {
        const unsigned a = add("A", 0, 0, za), b = add("B", 100, 0, zb), c = add("C", 100, 100, zc);
        ASSERT_EQ(dbfAddLine(a, b, 0, 0), 1);
        ASSERT_EQ(dbfAddLine(b, c, 0, 0), 1);
        ASSERT_EQ(dbfAddLine(a, c, 0, 0), 1);
        coreSetJobDefault("HeightShade", "Category0", "0.00,5.00");
        coreSetJobDefault("HeightShade", "Category1", "5.00,15.00");
        coreSetJobDefault("DXF Export", "AutoCADCompatible", "0");
    }

    static int countOf(const std::string& text, const std::string& what) {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }

    static std::string valueAfter(const std::string& text, const std::string& group) {
        const std::size_t at = text.find(group);
        if (at == std::string::npos) return "";
        const std::size_t start = at + group.size();
        return text.substr(start, text.find('\n', start) - start);
    }

    static std::string pen1() { return std::to_string(dbfTerrainPen(1)); }

    // A 3DFACE of the layer SHADE in the colour, its third corner repeated as the fourth.
    using Corner = std::array<const char*, 3>;   // DXF X, Y, Z
    static std::string face(int colour, const std::array<Corner, 3>& corners) {
        std::string f = "  0\n3DFACE\n  8\nSHADE\n  6\nCONTINUOUS\n 62\n" + std::to_string(colour) + "\n";
        for (int k = 0; k < 4; ++k) {
            const Corner& c = corners[static_cast<std::size_t>(k < 3 ? k : 2)];
            const std::string n = std::to_string(k);
            f += " 1" + n + "\n" + c[0] + "\n 2" + n + "\n" + c[1] + "\n 3" + n + "\n" + c[2] + "\n";
        }
        return f;
    }
};

TEST_F(DxfExport, PointPositionFollowsTheHemisphereRule) {
    add("P", 200, 100, 5);
    showOnly({kFlagPoints});
    coreSetJobDefault("DXF Export", "Points", "SURVEY_POINTS");
    struct Case {
        const char* acad;
        int hemisphere;
        const char* y;
        const char* x;
    };
    const Case cases[] = {{"1", 0, "-200.000", "-100.000"}, {"0", 0, "200.000", "100.000"}, {"1", 1, "200.000", "100.000"}};
    for (const Case& k : cases) {
        coreSetJobDefault("DXF Export", "AutoCADCompatible", k.acad);
        projSetParameters(k.hemisphere, -1, 0, 0);
        EXPECT_EQ(exported(), "  0\nPOINT\n  8\nSURVEY_POINTS\n 62\n" + pen1() + "\n 10\n" + k.y + "\n 20\n" + k.x +
                                  "\n 30\n5.000\n")
            << k.acad << " " << k.hemisphere;
    }
}

TEST_F(DxfExport, LineTypesByStyleModuloSeven) {
    const std::pair<int, const char*> cases[] = {{7, "CENTERDD"}, {14, "CENTERDD"}, {8, "CONTINUOUS"}, {1, "CONTINUOUS"},
                                                 {2, "DASHED"},   {3, "DASHEDMID"}, {4, "DASHEDSMAL"}, {5, "DOTTED"},
                                                 {6, "CENTER"},   {21, "CENTERDD"}};
    for (const auto& [style, type] : cases) EXPECT_STREQ(dbfDxfLineType(style), type) << style;
}

TEST_F(DxfExport, NamesAndHeightsTextsWholeAndSplit) {
    add(" A1 ", 10, 20, 101.456);
    showOnly({kFlagPoints, kFlagNames, kFlagHeights});
    coreSetJobDefault("Terrain", "LabelDecimals", "2");
    dbfGetDisplaySettings();
    showOnly({kFlagPoints, kFlagNames, kFlagHeights});
    coreSetJobDefault("DXF Export", "Heights", "HGT");
    coreSetJobDefault("DXF Export", "Names", "NAM");
    coreSetJobDefault("DXF Export", "AutoCADCompatible", "0");
    const std::string p = pen1();
    auto text = [&](const char* layer, const char* y, const char* value, const char* h, const char* v, const char* ay) {
        return "  0\nTEXT\n  8\n" + std::string(layer) + "\n 62\n" + p + "\n 10\n" + y + "\n 20\n20.000\n 30\n101.456\n 40\n3.527\n  1\n" +
               value + "\n 72\n" + h + "\n 73\n" + v + "\n 11\n" + ay + "\n 21\n20.000\n 31\n101.456\n";
    };
    const std::string name = text("NAM", "10.000", "A1", "1", "3", "10.000");
    EXPECT_EQ(exported(), text("HGT", "10.000", "101.46", "1", "1", "10.000") + name);

    coreSetJobDefault("Plot", "SplitHgtDecimal", "1");
    EXPECT_EQ(exported(), text("HGT", "10.000", "101", "2", "1", "8.000") + text("HGT", "12.000", "46", "0", "1", "12.000") +
                              "  0\nPOINT\n  8\nHGT\n 62\n" + p + "\n 10\n10.000\n 20\n20.000\n 30\n101.456\n" + name);
}

TEST_F(DxfExport, FeatureLinesWithTheirTypesAndAnEmptyLayerName) {
    const unsigned a = add("A", 0, 0, 10), b = add("B", 100, 0, 12), c = add("C", 100, 100, 11);
    ASSERT_EQ(dbfAddLine(a, b, 0, 0), 1);
    ASSERT_EQ(dbfAddLine(a, c, 1, 0), 1);
    coreSetJobDefault("Terrain", "LineTypes", "3,6");
    dbfGetDisplaySettings();
    showOnly({kFlagLines});
    coreSetJobDefault("DXF Export", "AutoCADCompatible", "0");
    const std::string text = exported();
    EXPECT_EQ(nums(countOf(text, "  0\nLINE\n"), countOf(text, "  0\nLINE\n  8\n\n  6\nDASHEDMID\n"),
                   countOf(text, "  0\nLINE\n  8\n\n  6\nCENTER\n"), countOf(text, "\n100.000\n 21\n100.000\n 31\n11.000\n")),
              nums(2, 1, 1, 1)) << text;
    // a name longer than 32 characters is cut
    coreSetJobDefault("DXF Export", "Lines", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    EXPECT_EQ(countOf(exported(), "  8\nABCDEFGHIJKLMNOPQRSTUVWXYZ012345\n"), 2);
}

TEST_F(DxfExport, EscapeDuringTheLinesKeepsThePointsAndSkipsTheRest) {
    const unsigned a = add("A", 0, 0, 10), b = add("B", 100, 0, 12), c = add("C", 100, 100, 11);
    ASSERT_EQ(dbfAddLine(a, b, 0, 0), 1);
    ASSERT_EQ(dbfAddLine(b, c, 0, 0), 1);
    ASSERT_EQ(dbfAddLine(a, c, 0, 0), 1);
    showOnly({kFlagPoints, kFlagLines, kFlagContours});
    for (const char* key : {"Points", "Lines", "Contours"}) coreSetJobDefault("DXF Export", key, key);
    const std::string all = exported();
    EXPECT_EQ(countOf(all, "  8\nPoints\n"), 3);
    EXPECT_TRUE(countOf(all, "  8\nLines\n") > 0 && countOf(all, "  8\nContours\n") > 0);
    // computed contours: solid lines at their level, each level traced from both sides
    std::vector<std::string> levels;
    for (std::size_t at = all.find("LINE\n  8\nContours\n  6\nCONTINUOUS\n"); at != std::string::npos;
         at = all.find("LINE\n  8\nContours\n  6\nCONTINUOUS\n", at + 1)) {
        const std::string record = all.substr(at, all.find("  0\n", at) - at);
        EXPECT_EQ(valueAfter(record, " 30\n"), valueAfter(record, " 31\n")) << record;
        levels.push_back(valueAfter(record, " 30\n"));
    }
    std::sort(levels.begin(), levels.end());
    EXPECT_EQ(levels, (std::vector<std::string>{"11.000", "11.000", "12.000", "12.000"})) << all;
    cad.pressEscapeAtCheck(4);   // three checks by the points, the fourth in the lines
    const std::string cut = exported();
    EXPECT_EQ(nums(countOf(cut, "  8\nPoints\n"), countOf(cut, "  8\nContours\n"), cad.progress().total), nums(3, 0, 0));
}

TEST_F(DxfExport, NothingForOtherFormatsAClosedTerrainOrNoPerimeter) {
    add("LONE", 10, 10, 1);
    showOnly({kFlagPoints, kFlagSlopeShading});
    EXPECT_EQ(exported(1), "");
    EXPECT_EQ(countOf(exported(), "3DFACE"), 0);
    EXPECT_TRUE(ui.showed("No perimeter could be found\nConnecting line not found"));
    EXPECT_FALSE(ui.showed("Slope shading"));
    dbfTerrainInit(0);
    EXPECT_EQ(exported(), "");
}

TEST_F(DxfExport, ShadingFacesCarryTheirClassNumber) {
    triangle(10, 10, 10);
    dbfGetDisplaySettings();
    showOnly({kFlagHeightShading});
    coreSetJobDefault("DXF Export", "HeightShade", "SHADE");
    // one face in class 2 (5 to 15)
    EXPECT_EQ(exported(), face(2, {Corner{"0.000", "0.000", "10.000"}, Corner{"100.000", "100.000", "10.000"},
                                   Corner{"100.000", "0.000", "10.000"}}));
}

}  // namespace

namespace {


class DxfPaths : public DxfExport {
protected:
    void SetUp() override {
        DxfExport::SetUp();
        add("A", 0, 0, 10);
        coreSetJobDefault("DXF Export", "AutoCADCompatible", "0");
        coreSetJobDefault("DXF Export", "Contours", "CNT");
        coreSetJobDefault("DXF Export", "Roads", "RD");
        // no smoothing, no labels, interval 1, minor pen 9 style 3, label pen 2, spacing 10
        coreSetJobDefault("Plan", "Contour", "0,0,0,9,0,1.0,9,3,5.0,2,1,1.0,2,15,3,1,4,1,5,1,0,10");
        dbfGetDisplaySettings();
        showOnly({kFlagContours, kFlagSavedContours});
    }

    void writeContours(std::int16_t kind, double level, const std::vector<PNT_2D_record>& points) {
        writeContourFile(kind, 1, {{2, level, points}});
    }

    static std::string polyline(const char* layer, const char* type, int pen) {
        return "  0\nPOLYLINE\n  8\n" + std::string(layer) + "\n  6\n" + type + "\n 62\n" + std::to_string(pen) +
               "\n 66\n1\n 10\n0.000\n 20\n0.000\n 30\n0.000\n 70\n8\n";
    }
    static std::string vertex(const char* layer, const char* type, int pen, const char* y, const char* x, const char* z) {
        return "  0\nVERTEX\n  8\n" + std::string(layer) + "\n  6\n" + type + "\n 62\n" + std::to_string(pen) + "\n 10\n" +
               y + "\n 20\n" + x + "\n 30\n" + z + "\n 70\n32\n";
    }
};

TEST_F(DxfPaths, SavedContourIsOnePolylineAtItsLevelClippedToTheView) {
    struct Case {
        const char* what;
        std::vector<PNT_2D_record> points;   // x, y
        std::vector<std::pair<const char*, const char*>> vertices;   // DXF X (y), DXF Y (x)
    };
    const Case cases[] = {
        {"inside", {{0, 0}, {0, 30}, {20, 30}}, {{"0.000", "0.000"}, {"30.000", "0.000"}, {"30.000", "20.000"}}},
        // the segment between the two far points has no end inside: its end is left out
        {"partly outside", {{0, 0}, {0, 1000}, {0, 2000}, {0, 40}}, {{"0.000", "0.000"}, {"1000.000", "0.000"}, {"40.000", "0.000"}}},
        {"wholly outside", {{1000, 1000}, {1000, 2000}}, {}},
    };
    for (const Case& c : cases) {
        writeContours(0, 12.0, c.points);
        std::string expected = polyline("CNT", "DASHEDMID", 9);
        for (const auto& [y, x] : c.vertices) expected += vertex("CNT", "DASHEDMID", 9, y, x, "12.000");
        EXPECT_EQ(exported(), expected + "  0\nSEQEND\n") << c.what;
    }
    // Escape while the line is handed over: its vertices stay, its SEQEND is left out
    writeContours(0, 12.0, cases[0].points);
    cad.pressEscapeAtCheck(1);
    EXPECT_EQ(exported(), polyline("CNT", "DASHEDMID", 9) + vertex("CNT", "DASHEDMID", 9, "0.000", "0.000", "12.000") +
                              vertex("CNT", "DASHEDMID", 9, "30.000", "0.000", "12.000") +
                              vertex("CNT", "DASHEDMID", 9, "30.000", "20.000", "12.000"));
    // outside the contour range nothing is written
    coreSetJobDefault("Terrain", "MinMaxContour", "13,20");
    dbfGetDisplaySettings();
    showOnly({kFlagContours, kFlagSavedContours});
    EXPECT_EQ(exported(), "") << "MinMaxContour";
}

TEST_F(DxfPaths, SavedContourLabelsFollowTheLineAtTheLevel) {
    coreSetJobDefault("Plan", "Contour", "0,0,1,9,0,1.0,9,3,5.0,2,1,1.0,2,15,3,1,4,1,5,1,0,10");
    dbfGetDisplaySettings();
    showOnly({kFlagContours, kFlagSavedContours});
    const std::vector<PNT_2D_record> diagonal = {{0, 0}, {30, 30}};   // 42.4 long: labels at 10, 20, 30, 40
    const std::pair<std::int16_t, double> cases[] = {{0, 12.0}, {1, 1002.0}, {1, 1000.0}};
    const char* texts[] = {"12", "+2", "0"};
    for (std::size_t k = 0; k < 3; ++k) {
        writeContours(cases[k].first, cases[k].second, diagonal);
        const std::string text = exported();
        EXPECT_EQ(countOf(text, "  0\nTEXT\n  8\nCNT\n 62\n2\n"), 4) << text;
        EXPECT_EQ(countOf(text, "\n  1\n" + std::string(texts[k]) + "\n 50\n45.000\n 72\n1\n 73\n2\n"), 4) << text;
        char level[32];
        std::snprintf(level, sizeof level, " 30\n%.3f\n 40\n", cases[k].second);
        EXPECT_EQ(countOf(text, level), 4) << text;
        // the first label, 10 along the line
        EXPECT_NE(text.find(" 10\n7.071\n 20\n7.071\n"), std::string::npos) << text;
    }
}

// Road 1 along x through the chainages (the open road's work file), sections at offsets -5, 0
// and 5, level 10 + chainage / 20; its first road line follows the last section point.
class DxfRoad : public DxfPaths {
protected:
    void TearDown() override {
        if (dbfRoadIsOpen()) dbfRoadInit(0, 1);
        DxfPaths::TearDown();
    }
    std::string exportRoad(const std::vector<double>& chainages) {
        dbfRoadInit(1, 1);
        EXPECT_EQ(dbfRoadIsOpen(), 1);
        for (double chg : chainages) {
            CHGBASE rec{};
            const unsigned idx = dbfInsertChainage(chg, &rec);
            rec.x = chg;
            EXPECT_EQ(dbfStoreChg(idx, &rec), 1);
            XSECTION xs{};
            for (double offset : {-5.0, 0.0, 5.0}) xs.points[xs.count++] = SECTMEM{offset, 10.0 + chg / 20.0, 0.0, 0};
            EXPECT_EQ(dbfStoreSect(chg, 1, &xs), 1);
        }
        coreSetJobDefault("RoadLines", "Line1", "1,99,4,0.5,2");
        coreSetJobDefault("Plan", "RoadText", "40");
        dbfGetDisplaySettings();
        showOnly({kFlagRoads});
        return exported();
    }
};

TEST_F(DxfRoad, RoadLineIsAPolylineRunAtTheSectionLevels) {
    const std::string text = exportRoad({0.0, 20.0, 40.0});
    std::string line = polyline("RD", "DASHED", 4);
    for (const auto& [x, z] : {std::pair{"0.000", "10.000"}, {"20.000", "11.000"}, {"40.000", "12.000"}})
        line += vertex("RD", "DASHED", 4, "5.000", x, z);
    const std::size_t at = text.find(line + "  0\nSEQEND\n");
    ASSERT_NE(at, std::string::npos) << text;
    // the centre line, its chainage points (0 and 40) and labels come first
    EXPECT_EQ(nums(text.rfind("  0\nLINE\n  8\nRD\n", 0), countOf(text.substr(0, at), "  0\nPOINT\n  8\nRD\n"),
                   countOf(text.substr(0, at), "  0\nTEXT\n  8\nRD\n"), countOf(text, "POLYLINE")),
              nums(0, 2, 2, 1)) << text;
    // one step for the centre line, one for each of the 50 road lines, one for the rest
    std::vector<int> steps;
    for (const CadProgress& p : cad.progressHistory())
        if (p.total == 52 && p.text == "Plotting road 1 (Esc to cancel)") steps.push_back(p.position);
    ASSERT_EQ(steps.size(), 53u);
    EXPECT_EQ(nums(steps.back(), cad.progress().total), nums(52, 0));
}

TEST_F(DxfRoad, RunsHoldAtMostAThousandPositions) {
    std::vector<double> chainages;
    for (int i = 0; i <= 1000; ++i) chainages.push_back(i * 0.2);   // 1001 positions, all in view
    const std::string text = exportRoad(chainages);
    // the second run starts at the first run's last position
    EXPECT_EQ(nums(countOf(text, "  0\nPOLYLINE\n"), countOf(text, "  0\nVERTEX\n"), countOf(text, "  0\nSEQEND\n")), nums(2, 1002, 2));
    const std::string join = vertex("RD", "DASHED", 4, "5.000", "199.800", "19.990");
    EXPECT_EQ(countOf(text, join), 2) << "position 1000 ends one run and starts the next";
}

// The alignment details of the road's design file follow the banks: the road has no banks and
// no curve points, so they end the export. Centre line pen 1, text size 10 x 0.3527.
TEST_F(DxfRoad, AlignmentDetailsOfTheDesignFileAreLinesAndTexts) {
    coreSetJobDefault("DXF Export", "AutoCADCompatible", "1");
    projSetParameters(0, -1, 0, 0);   // positions negated
    const std::string base = exportRoad({0.0, 20.0, 40.0});
    // no design file: the centre line's two segments and two ticks
    EXPECT_EQ(nums(countOf(base, "  0\nLINE\n"), countOf(base, "  0\nTEXT\n"), dbfDxfAlignmentEntities()), nums(4, 2, 0));

    auto line = [](const char* y1, const char* x1, const char* y2, const char* x2) {
        return "  0\nLINE\n  8\nRD\n  6\nCONTINUOUS\n 62\n1\n 10\n" + std::string(y1) + "\n 20\n" + x1 + "\n 30\n0.000\n 11\n" +
               y2 + "\n 21\n" + x2 + "\n 31\n0.000\n";
    };
    auto text = [](const char* y, const char* x, const char* value, const char* angle) {
        const std::string rotation = angle[0] ? " 50\n" + std::string(angle) + "\n" : "";
        return "  0\nTEXT\n  8\nRD\n 62\n1\n 10\n" + std::string(y) + "\n 20\n" + x + "\n 30\n0.000\n 40\n3.527\n  1\n" + value +
               "\n" + rotation + " 72\n1\n 73\n1\n 11\n" + y + "\n 21\n" + x + "\n 31\n0.000\n";
    };
    struct Case {
        const char* what;
        const char* design;
        std::string records;
        int entities;
    };
    const Case cases[] = {
        // the first chord runs to -y in the drawing and is turned upright; the second runs to +y
        {"two points, two elements",
         "[HorizontalAlignment]\nCount=2\nPI1=0,0\nPI2=30,40\n[HorizontalElements]\nCount=2\n"
         "Element1=Tangent,0,0,30,40,50\nElement2=Curve R=100, 30, 40, 0, 80, 52.36\n",
         line("0.000", "0.000", "-30.000", "-40.000") + line("0.000", "0.000", "-30.000", "-40.000") +
             text("-15.000", "-20.000", "Tangent (50.0m)", "53.130") + line("-30.000", "-40.000", "0.000", "-80.000") +
             text("-15.000", "-60.000", "Curve R=100 (52.4m)", "-53.130"),
         5},
        // PI2 has one field: the tangents on either side of it are left out; a huge count is
        // capped; elements of too few or too many fields, a word, NaN, infinity or a negative
        // length are left out
        {"damaged entries",
         "[HorizontalAlignment]\nCount=4\nPI1=0,0\nPI2=10\nPI3=20,0\nPI4=30,0\n[HorizontalElements]\nCount=2000000000\n"
         "Element1=Short,0,0,10\nElement2=Word,0,0,x,0,10\nElement3=NaN,0,0,nan,0,10\nElement4=Inf,0,0,1e999,0,10\n"
         "Element5=Negative,0,0,10,0,-1\nElement6=Good,0,0,10,0,10\nElement7=Extra,0,0,10,0,10,5\n",
         line("-20.000", "0.000", "-30.000", "0.000") + line("0.000", "0.000", "-10.000", "0.000") +
             text("-5.000", "0.000", "Good (10.0m)", ""),
         3},
        {"sections without entries", "[HorizontalAlignment]\nCount=0\n[HorizontalElements]\nPI1=0,0\n", "", 0},
    };
    for (const Case& c : cases) {
        dbtest::writeFile(file("Site.1.des"), c.design);
        EXPECT_EQ(exported(), base + c.records) << c.what;
        EXPECT_EQ(dbfDxfAlignmentEntities(), c.entities) << c.what;
    }
    // the display does not draw them
    dbtest::writeFile(file("Site.1.des"), cases[0].design);
    cad.setZoomRect(-50, -50, 250, 250);
    cad.paint();
    EXPECT_EQ(std::count_if(cad.displayList().begin(), cad.displayList().end(),
                            [](const CadPrimitive& p) { return p.text.find("(50.0m)") != std::string::npos; }),
              0);
}

TEST_F(DxfExport, HeightShadedTriangleIsCutAtTheClassBound) {
    triangle(0, 10, 10);
    dbfGetDisplaySettings();
    showOnly({kFlagHeightShading});
    coreSetJobDefault("DXF Export", "HeightShade", "SHADE");
    // cut at 5 along A-B and A-C: the part below in class 1, the quadrilateral above split into
    // two triangles in class 2; the cut corners lie at height 5
    const Corner cA{"0.000", "0.000", "0.000"}, cB{"100.000", "0.000", "10.000"}, cC{"100.000", "100.000", "10.000"};
    const Corner onAB{"50.000", "0.000", "5.000"}, onAC{"50.000", "50.000", "5.000"};
    EXPECT_EQ(exported(), face(1, {cA, onAC, onAB}) + face(2, {onAC, cC, cB}) + face(2, {onAC, cB, onAB}));
    // the count the display comparison uses agrees
    const PNT_3D_record corners[3] = {{0, 0, 0}, {0, 100, 10}, {100, 100, 10}}, level[3] = {{0, 0, 7}, {0, 100, 7}, {100, 100, 7}};
    EXPECT_EQ(nums(dbfDxfHeightPieces(corners), dbfDxfHeightPieces(level)), nums(3, 1));
}

TEST_F(DxfExport, SlopeFaceIsFollowedByItsArrowInItsClass) {
    triangle(0, 10, 10);
    coreSetJobDefault("Terrain", "SlopeArrows", "1");
    dbfGetDisplaySettings();
    showOnly({kFlagSlopeShading});
    coreSetJobDefault("DXF Export", "Slopes", "SLP");
    // slope 10 % (class 2, 10 to 20); the arrow's shaft runs from the centroid's uphill side
    // down the slope (-y), a quarter of the mean side (113.807) long, with head strokes of 5 %,
    // its ends on the face's plane (z = y / 10)
    auto line = [](const char* y1, const char* x1, const char* z1, const char* y2, const char* x2, const char* z2) {
        return "  0\nLINE\n  8\nSLP\n  6\nCONTINUOUS\n 62\n2\n 10\n" + std::string(y1) + "\n 20\n" + x1 + "\n 30\n" + z1 +
               "\n 11\n" + y2 + "\n 21\n" + x2 + "\n 31\n" + z2 + "\n";
    };
    const std::string text = exported();
    const std::string arrow = line("80.893", "33.333", "8.089", "52.441", "33.333", "5.244") +
                              line("52.441", "33.333", "5.244", "58.131", "36.179", "5.813") +
                              line("52.441", "33.333", "5.244", "58.131", "30.488", "5.813");
    ASSERT_EQ(text.find("  0\n3DFACE\n  8\nSLP\n  6\nCONTINUOUS\n 62\n2\n"), 0u) << text;
    EXPECT_EQ(text.substr(text.find("  0\nLINE")), arrow);
}

}  // namespace
