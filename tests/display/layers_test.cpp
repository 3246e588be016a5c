// The plot layers on a small hand-made site, read from the display list.
#include <cmath>
#include <cstring>
#include <set>

#include "database/strings.h"
#include "display/display_fixture.h"

namespace {

class DisplayLayers : public DisplayTest {
protected:
    unsigned a = 0, b = 0, c = 0, d = 0;

    void SetUp() override {
        DisplayTest::SetUp();
        openDisplay();
    }

    // The triangle A B C (A-C a feature line, the others break lines), D beside it on its own.
    void triangle() {
        a = add("A", 0, 0, 10.2);
        b = add("B", 100, 0, 12.7);
        c = add("C", 100, 100, 11.5);
        ASSERT_EQ(dbfAddLine(a, b, 0, 0), 1);
        ASSERT_EQ(dbfAddLine(b, c, 0, 0), 1);
        ASSERT_EQ(dbfAddLine(a, c, 1, 0), 1);
    }

    // The distinct segments of one layer type, endpoints rounded to 0.01 and ordered.
    std::set<std::vector<long>> segments(const std::string& type) const {
        std::set<std::vector<long>> out;
        for (const CadPrimitive& p : onLayerType(type)) {
            if (p.kind != CadPrimitiveKind::Line) continue;
            std::vector<long> e;
            for (const GsPoint& g : p.points) {
                e.push_back(std::lround(g.y * 100));
                e.push_back(std::lround(g.x * 100));
            }
            if (std::make_pair(e[2], e[3]) < std::make_pair(e[0], e[1])) e = {e[2], e[3], e[0], e[1]};
            out.insert(e);
        }
        return out;
    }
};

TEST_F(DisplayLayers, ContourLevelsOfOneLine) {
    struct Case {
        double zmin, zmax, base, interval;
        std::vector<double> levels;
    };
    const Case cases[] = {
        {10.2, 12.7, 0, 1, {11, 12}},
        {10.0, 11.0, 0, 1, {11}},
        {10.0, 10.0, 0, 1, {}},
        {-1.5, 0.5, 0, 1, {-1, 0}},
        {10.2, 12.7, 0.5, 1, {10.5, 11.5, 12.5}},
        {3, 20, 0, 5, {5, 10, 15, 20}},
        {3, 20, 0, 0, {}},
    };
    for (const Case& k : cases)
        EXPECT_EQ(dbfContourLevels(k.zmin, k.zmax, k.base, k.interval), k.levels) << k.zmin << ".." << k.zmax;
}

TEST_F(DisplayLayers, QuickContoursCrossTheTriangleAtEachLevel) {
    triangle();
    struct Case {
        const char* contour;
        const char* minMax;
        std::set<std::vector<long>> expected;
        std::set<int> pens;
    };
    const std::vector<long> eleven{3200, 0, 6154, 6154}, twelve{7200, 0, 10000, 5833};
    const Case cases[] = {
        {"", "0.00,0.00", {eleven, twelve}, {9}},
        {"1,1,1,9,0,1.0,9,1,12.0,2,1", "0.00,0.00", {eleven, twelve}, {9, 2}},
        {"", "0.00,11.50", {eleven}, {9}},
        {"", "11.50,0.00", {twelve}, {9}},
    };
    for (const Case& k : cases) {
        coreSetJobDefault("Plan", "Contour", k.contour);
        coreSetJobDefault("Terrain", "MinMaxContour", k.minMax);
        coreSetJobDefault("Terrain", "DisplayControl", "0,0,1");
        dbfGetDisplaySettings();
        paint();
        EXPECT_EQ(segments("QuickCont"), k.expected) << k.contour << " " << k.minMax;
        std::set<int> pens;
        for (const CadPrimitive& p : onLayerType("QuickCont")) pens.insert(p.pen);
        EXPECT_EQ(pens, k.pens) << k.contour;
        // each segment comes once from each edge it crosses, from the triangle's side only
        EXPECT_EQ(onLayerType("QuickCont").size(), 2 * k.expected.size()) << k.contour;
    }
}

TEST_F(DisplayLayers, PointsWithNamesHeightsAndOnlyTheViewVisited) {
    add("A12!X", 10, 20, 101.456);
    add("FAR", 240, 240, 5);
    add("ZERO", 50, 50, 0.0);
    showOnly({kFlagPoints, kFlagNames, kFlagHeights});
    paint();
    EXPECT_EQ(texts("Name"), (std::vector<std::string>{"A12", "ZERO"}));
    EXPECT_EQ(texts("Height"), (std::vector<std::string>{"101.46"}));
    ASSERT_EQ(onLayerType("Point").size(), 2u);
    const CadPrimitive mark = onLayerType("Point")[0], name = onLayerType("Name")[0];
    EXPECT_EQ(nums(mark.points[0].y, mark.points[0].x, mark.size, name.justification), nums(10, 20, -2, 6));
    EXPECT_EQ(mark.layer + " " + name.layer, "Surf1Point Surf1Name");
    EXPECT_FLOAT_EQ(static_cast<float>(name.height), -35.27777778f);

    coreSetDefault("Terrain", "DispSuffix", "1");
    paint();
    EXPECT_EQ(texts("Name"), (std::vector<std::string>{"A12!X", "ZERO"}));
    cad.setPlotting(true);
    paint();
    EXPECT_EQ(texts("Name"), (std::vector<std::string>{"A12", "ZERO"}));
    EXPECT_GT(onLayerType("Name")[0].height, 0.0);
}

TEST_F(DisplayLayers, FeatureAndBreakLinesTakeTheirStyles) {
    triangle();
    add("OUT", 240, 240, 1);
    showOnly({kFlagLines});
    coreSetJobDefault("Terrain", "LineTypes", "21,3");
    dbfGetDisplaySettings();
    showOnly({kFlagLines});
    paint();
    std::vector<int> styles;
    for (const char* type : {"Feature", "Break"})
        for (const CadPrimitive& p : onLayerType(type)) styles.push_back(p.style);
    EXPECT_EQ(styles, (std::vector<int>{3, 21, 21}));
    // the line from outside the view is drawn once, from its end inside
    paint(50, 50, 150, 150);
    EXPECT_EQ(onLayerType("Feature").size() + onLayerType("Break").size(), 2u);
}

TEST_F(DisplayLayers, EscapeSkipsTheLaterLayersOfThePass) {
    triangle();
    showOnly({kFlagPoints, kFlagLines, kFlagContours, kFlagBlocks});
    struct Case {
        int escapeAt;
        std::vector<std::string> present, absent;
    };
    const Case cases[] = {
        {1, {"Point", "BlockLimits"}, {"Feature", "Break", "QuickCont"}},
        {4, {"Point", "Break", "BlockLimits"}, {"QuickCont"}},
        {0, {"Point", "Break", "Feature", "QuickCont", "BlockLimits"}, {}},
    };
    for (const Case& k : cases) {
        if (k.escapeAt) cad.pressEscapeAtCheck(k.escapeAt);
        paint();
        for (const std::string& t : k.present) EXPECT_FALSE(onLayerType(t).empty()) << k.escapeAt << " " << t;
        for (const std::string& t : k.absent) EXPECT_TRUE(onLayerType(t).empty()) << k.escapeAt << " " << t;
        EXPECT_EQ(cad.progress().total, 0);
        EXPECT_EQ(cad.helpText(), "");
    }
}

TEST_F(DisplayLayers, NamesTableFollowsTheTerrain) {
    const unsigned p1 = add("P1", 10, 10, 1);
    add("P2", 20, 20, 1);
    add("123", 30, 30, 1);
    add("[X]", 40, 40, 1);
    showOnly({kFlagPoints});
    auto names = [&] {
        std::set<std::string> out;
        DATA4* t = dbfNamesDbPtr();
        for (int rc = d4top(t); rc == 0 && !d4eof(t); rc = d4skip(t, 1)) {
            std::string n = f4str(d4field(t, "NAME"));
            out.insert(n.substr(0, n.find(' ')));
        }
        return out;
    };
    paint();
    EXPECT_EQ(names(), (std::set<std::string>{"P1", "P2"}));
    dbfRemCoord(p1);
    EXPECT_EQ(dbfIsNamesOld(), 1);
    add("P9", 50, 50, 1);
    coreSetDefault("Survey", "NamesListNum", "1");
    paint();
    EXPECT_EQ(names(), (std::set<std::string>{"P2", "P9", "123"}));
    EXPECT_EQ(dbfIsNamesOld(), 0);
    coreSetDefault("Survey", "NamesListMax", "1");
    paint();
    EXPECT_EQ(names().size(), 1u);
}

TEST_F(DisplayLayers, StringsHiddenAndIsolatedVertices) {
    char name[40] = "EDGE", fileName[MAX_PATH] = {};
    ASSERT_EQ(dbfTerrainStringsFile(name, fileName), 1);
    EXPECT_EQ(dbfGetDisplayFlag(kFlagStrings), 1);
    STR_FILEHEADER fh{};
    FILE* f = viewStringOpenFile(fileName, fh);
    ASSERT_NE(f, nullptr);
    STR_HEADER h{};
    dbfInitHeader(h);
    std::strcpy(h.name, "EDGE");
    const DWORD at = dbfAddStringHeader(h, f, fileName);
    UI_LIST list(dbfStringCompareFunc);
    struct V {
        double y, x;
        char kind;
        BYTE isolated;
    };
    const V vs[] = {{0, 5, ' ', 0}, {10, 5, ' ', 0}, {20, 5, 'x', 0}, {30, 5, ' ', 0}, {40, 5, ' ', 0},
                    {50, 5, ' ', 1}, {60, 5, ' ', 1}, {70, 5, ' ', 1}};
    for (std::size_t i = 0; i < std::size(vs); ++i) {
        auto* v = new CVertexEle;
        v->chainage = static_cast<double>(i);
        v->y = vs[i].y;
        v->x = vs[i].x;
        v->vertexKind = vs[i].kind;
        v->isolated = vs[i].isolated;
        list.Add(v);
    }
    ASSERT_EQ(dbfAddStringData(at, list, 0, f), 1);
    dbfStringsClose();
    coreFileClose(f);
    coreSetJobDefault("StrLines_EDGE", "EDGE", "1,0,6,2,0.5");
    showOnly({kFlagStrings});
    paint();
    std::vector<std::vector<double>> lines;
    for (const CadPrimitive& p : cad.displayList()) {
        ASSERT_EQ(p.layer, "STR_EDGE");
        lines.push_back({p.points[0].y, std::round((p.points[1].y - p.points[0].y) * 1e6) / 1e6, double(p.pen), double(p.style), p.width});
    }
    // 0-10 drawn; nothing into or out of the hidden vertex; 30-40 drawn; 40 to the isolated 50
    // not; the run of isolated vertices as dots
    EXPECT_EQ(lines, (std::vector<std::vector<double>>{{0, 10, 6, 2, 0.5}, {30, 10, 6, 2, 0.5}, {50, 0.001, 6, 2, 0.5},
                                                       {60, 0.001, 6, 2, 0.5}, {70, 0.001, 6, 2, 0.5}}));
}

// A string marked out of date has its derived strings recalculated before they are drawn, once.
TEST_F(DisplayLayers, DerivedStringsAreRecalculatedBeforeTheyAreDrawn) {
    char name[40] = "ROAD", fileName[MAX_PATH] = {};
    ASSERT_EQ(dbfTerrainStringsFile(name, fileName), 1);
    STR_FILEHEADER fh{};
    FILE* f = viewStringOpenFile(fileName, fh);
    ASSERT_NE(f, nullptr);
    // ROAD along y at x = 0; EDGE derived from it at offset 2 but stored 50 away.
    auto store = [&](const char* n, const char* child, double x, float offset, BYTE stale) {
        STR_HEADER h{};
        dbfInitHeader(h);
        std::strcpy(h.name, n);
        std::strcpy(h.firstChild, child);
        h.needsRecalc = stale;
        const DWORD at = dbfAddStringHeader(h, f, fileName);
        UI_LIST list(dbfStringCompareFunc);
        for (double c : {0.0, 10.0, 20.0}) {
            auto* v = new CVertexEle;
            v->chainage = v->vertexRef = c;
            v->y = 1000 + c;
            v->x = x;
            v->offset = offset;
            list.Append(v);
        }
        ASSERT_EQ(dbfAddStringData(at, list, 0, f), 1);
    };
    store("ROAD", "EDGE", 0, 0, 1);
    store("EDGE", "", 50, 2, 0);
    dbfStringsClose();
    coreFileClose(f);
    showOnly({kFlagStrings});
    for (int pass = 0; pass < 2; ++pass) {
        paint(900, -100, 1100, 100);
        std::vector<double> edgeX;
        for (const CadPrimitive& p : cad.displayList())
            if (p.layer == "STR_EDGE") edgeX.push_back(p.points[0].x);
        EXPECT_EQ(edgeX, (std::vector<double>{-2, -2})) << pass;
    }
    f = viewStringOpenFile(fileName, fh);
    STR_HEADER road{};
    ASSERT_NE(dbfGetStringHeader("ROAD", road, f), 0u);
    EXPECT_EQ(road.needsRecalc, 0);
    dbfStringsClose();
    coreFileClose(f);
}

TEST_F(DisplayLayers, ShadingClassSharesGoToTheLegend) {
    // two triangles of a square: slope 10 % (class 2) and 5 % (class 1), equal areas
    const unsigned p = add("P", 0, 0, 0), q = add("Q", 100, 0, 0), r = add("R", 100, 100, 10), s = add("S", 0, 100, 5);
    for (auto [u, v] : {std::pair{p, q}, {q, r}, {r, s}, {s, p}, {p, r}}) ASSERT_EQ(dbfAddLine(u, v, 1, 0), 1);
    showOnly({kFlagSlopeShading, kFlagHeightShading});
    paint();
    const auto fills = onLayerType("Shade");
    ASSERT_EQ(fills.size(), 2u);
    const auto legend = dbfShadeLegend(0);
    EXPECT_EQ(legend[0].share + " " + legend[1].share + " " + legend[2].share + " " + dbfShadeLegend(1)[0].share, "50.0 50.0 0.0 100.0");
    EXPECT_EQ(fills[0].fill & kGsRgbColourFlag, kGsRgbColourFlag);
    EXPECT_EQ(onLayerType("ShadeHeight").size(), 2u);
}

TEST_F(DisplayLayers, ShadingWithoutPerimeterSaysWhy) {
    add("LONE", 10, 10, 1);
    showOnly({kFlagSlopeShading});
    paint();
    EXPECT_TRUE(ui.showed("Slope shading: No perimeter could be found\nConnecting line not found"));
    EXPECT_TRUE(onLayerType("Shade").empty());
}

TEST_F(DisplayLayers, TrackingCrossIsDrawnErasedAndRepainted) {
    showOnly({});
    cad.setZoomRect(0, 0, 200, 200);
    dbfStartTrack(PNT_2D_record{50, 60});
    dbfShowTrack(PNT_2D_record{70, 80});
    auto visible = cad.visiblePrimitives();
    ASSERT_EQ(visible.size(), 2u);
    EXPECT_EQ(nums(visible[0].points[0].y, visible[0].points[1].y, visible[0].points[0].x), nums(70, 90, 70));
    cad.paint();
    ASSERT_EQ(cad.displayList().size(), 4u);   // the error hook's cross, then the repaint's
    EXPECT_EQ(nums(cad.displayList()[0].drawMode, cad.displayList()[3].drawMode), nums(kGsDrawNormal, kGsDrawTracking));
    cad.clearDisplayList();
    dbfEndTrack();
    EXPECT_EQ(cad.visiblePrimitives().size(), 2u);   // the toggled erase of a cross not shown
    cad.paint();
    EXPECT_TRUE(cad.displayList().empty());
}

}  // namespace

namespace {

TEST_F(DisplayLayers, SymbolsNameLayersAndSplitHeights) {
    add("PEG7", 10, 20, 101.456);
    add("TREE1", 30, 40, 99.5);
    coreSetJobDefault("Symbols", "Symbol1", "PEG,SURVPEG,1,0,2.5");
    coreSetJobDefault("Symbols", "Symbol2", "TREE,,1,1,1.0");   // no symbol name: not kept
    coreSetJobDefault("NameLayers", "Name1", "TREE,TREES,1,0,1");
    coreSetJobDefault("Terrain", "DisplayControl", "1,0,0,0,0,1,1,0,0,0,1,1,0,0,0,1");
    cad.setSymbolFile("/data/SurveySymbols.drg", 40);
    dbfGetDisplaySettings();
    paint();
    ASSERT_EQ(cad.count(CadPrimitiveKind::Symbol), 1);
    const CadPrimitive symbol = onLayerType("Symbol")[0];
    EXPECT_EQ(symbol.text + " " + symbol.layer, "SURVPEG Surf1Symbol");
    EXPECT_DOUBLE_EQ(symbol.size, 2.5);
    // the peg's rule: names yes, heights no; the tree's name layer takes its point and name
    EXPECT_EQ(texts("Height"), (std::vector<std::string>{"99.50"}));
    EXPECT_EQ(texts("Name"), (std::vector<std::string>{"PEG7", "TREE1"}));
    for (const CadPrimitive& p : cad.displayList()) {
        const bool tree = p.points[0].y == 30.0;
        if (tree && p.layerType != "Height") {
            EXPECT_EQ(p.layer, "TREES") << p.layerType;
        }
    }
    EXPECT_EQ(onLayerType("Height")[0].layer, "Surf1Height");

    // plotting splits the height at its full stop
    showOnly({kFlagHeights});
    coreSetDefault("Plot", "SplitHgtDecimal", "1");
    cad.setPlotting(true);
    paint();
    std::vector<std::pair<std::string, int>> parts;
    for (const CadPrimitive& p : onLayerType("Height")) parts.push_back({p.text, p.justification});
    EXPECT_EQ(parts, (std::vector<std::pair<std::string, int>>{{"101", 7}, {"46", 1}, {"99", 7}, {"50", 1}}));
}

TEST_F(DisplayLayers, OnePointAndItsLinesDrawnAndErased) {
    triangle();
    showOnly({kFlagPoints, kFlagLines});
    SURVCOORD p{};
    dbfGrabCoord(p, b);
    cad.clearDisplayList();
    dbfPlotPoint(b, p, 1);
    EXPECT_EQ(cad.visiblePrimitives().size(), 3u);   // the mark and the two lines of B
    dbfPlotPoint(b, p, 0);
    EXPECT_TRUE(cad.visiblePrimitives().empty());   // the mark and the lines toggled away
    EXPECT_EQ(cad.drawMode(), kGsDrawNormal);
}

TEST_F(DisplayLayers, SectionLineMarker) {
    cad.setZoomRect(0, 0, 100, 100);
    dbfStartSection(PNT_2D_record{10, 20}, PNT_2D_record{30, 40});
    EXPECT_TRUE(cad.visiblePrimitives().empty());   // drawn, then drawn again in the toggle mode
    dbfShowSection(PNT_2D_record{10, 20}, PNT_2D_record{50, 60});
    ASSERT_EQ(cad.visiblePrimitives().size(), 2u);
    dbfEndSection();
    cad.paint();
    EXPECT_TRUE(cad.displayList().empty());
}

}  // namespace
