// String geometry: the search by chainage, the offset point, the helpers, and child strings
// recalculated from their parents in a strings file.
#include <cmath>
#include <cstdio>
#include <numbers>
#include <tuple>
#include <vector>

#include "database/road.h"
#include "strings/strings_fixture.h"
#include "strings/strings_internal.h"

namespace {

struct Pt {
    double chainage, x, y, z;
};

// A list of vertices (each its own vertex reference); offsets, when given, per vertex.
void fill(UI_LIST& list, const std::vector<Pt>& points, const std::vector<float>& offsets = {}) {
    list.SetCompare(dbfStringCompareFunc);
    for (std::size_t i = 0; i < points.size(); ++i) {
        auto* v = new CVertexEle;
        v->chainage = points[i].chainage;
        v->x = points[i].x;
        v->y = points[i].y;
        v->z = points[i].z;
        v->vertexRef = points[i].chainage;
        if (i < offsets.size()) v->offset = offsets[i];
        list.Append(v);
    }
}

// A parent running along +y at x = 0 from y = 1000 (a vertex at the origin would read as a
// blank record), level 100, with vertices at the chainages.
std::vector<Pt> along(std::initializer_list<double> chainages, double x = 0.0) {
    std::vector<Pt> points;
    for (double c : chainages) points.push_back({c, x, 1000 + c, 100.0});
    return points;
}

CVertexEle& nth(UI_LIST& list, int i) { return *static_cast<CVertexEle*>(list.Get(i)); }

// "x,z" of every vertex, to the micrometre, joined by spaces.
std::string xz(const std::vector<CVertexEle>& vertices) {
    std::string out;
    char one[64];
    for (const CVertexEle& v : vertices) {
        std::snprintf(one, sizeof one, "%s%.6f,%.6f", out.empty() ? "" : " ", v.x + 0.0, v.z + 0.0);
        out += one;
    }
    return out;
}

}  // namespace

TEST(StringSearch, FindsByChainageAtMillimetres) {
    UI_LIST list;
    fill(list, along({0, 10, 20, 30}));
    struct Case {
        double key;
        int index, found;
    } cases[] = {{10.0004, 1, 1}, {10.0015, 2, 0}, {-5, 0, 0},  {0, 0, 1},  {35, 3, 0},
                 {30, 3, 1},      {25, 3, 0},      {20, 2, 1},  {12, 2, 0}, {29.9999, 3, 0}};
    int found = -1;
    const auto search = [&found](UI_LIST* in, double key) {
        const int index = dbfBinarySearch(in, key, found);
        return std::pair(index, found);
    };
    for (const Case& c : cases) EXPECT_EQ(search(&list, c.key), std::pair(c.index, c.found)) << c.key;
    // An inactive vertex is not found; the search gives the next active one.
    nth(list, 2).active = 0;
    EXPECT_EQ(search(&list, 20), std::pair(3, 0));
    EXPECT_EQ(dbfBinarySearch(nullptr, 1, found), -1);
    EXPECT_EQ(dbfBinarySearch(&list, std::nan(""), found), -1);
    UI_LIST one;
    fill(one, along({5}));
    EXPECT_EQ(search(&one, 5), std::pair(-1, 0));
}

TEST(StringGeometry, OffsetPointAtCornersEndsAndSkew) {
    // Along +y, then a right angle towards +x.
    UI_LIST corner;
    fill(corner, {{0, 0, 0, 0}, {10, 0, 10, 0}, {20, 10, 10, 0}});
    const double r2 = std::sqrt(2.0);
    struct Case {
        int vertex;
        double offset;
        bool noMitre;
        double skew;
        double x, y;
    } cases[] = {
        {0, 2, false, 0, -2, 0},                       // square to the first leg, to the right
        {1, 1, false, 0, -1, 11},                      // on the bisector, 1 / sin 45 from the corner
        {1, 1, true, 0, -1 / r2, 10 + 1 / r2},         // without the mitre: 1 from the corner
        {2, 1, false, 0, 10, 11},                      // the last vertex: square to the last leg
        {0, 2, false, std::numbers::pi / 2, 0, 2},     // turned a quarter
    };
    for (const Case& c : cases) {
        const CVertexEle& v = nth(corner, c.vertex);
        const PNT_2D_record p = dbfOffsetCoord(v, v.chainage, c.offset, v.chainage, c.offset, ' ', c.skew, c.noMitre);
        EXPECT_NEAR(p.x, c.x, 1e-9) << c.vertex << " " << c.offset;
        EXPECT_NEAR(p.y, c.y, 1e-9) << c.vertex << " " << c.offset;
    }
    // Interpolated offsets do not mitre: at chainage 10 between offsets 0 (at 0) and 4 (at 20).
    const PNT_2D_record p = dbfOffsetCoord(nth(corner, 1), 0, 0, 20, 4, ' ', 0, false);
    EXPECT_NEAR(std::hypot(p.x, p.y - 10), 2.0, 1e-9);
}

TEST(StringGeometry, DistanceSideAndCrossing) {
    PNT_2D_record foot;
    double side = 0, t = 0;
    EXPECT_NEAR(dbfDistToLine({0, 0}, {0, 10}, {-3, 4}, foot, side, t), 3.0, 1e-12);
    EXPECT_NEAR(t, 0.4, 1e-12);
    EXPECT_NEAR(foot.y, 4.0, 1e-12);
    EXPECT_LT(side, 0.0);   // negative: P lies to the right
    EXPECT_NEAR(dbfDistToLine({1, 1}, {1, 1}, {4, 5}, foot, side, t), 5.0, 1e-12);
    EXPECT_EQ(side, 0.0);

    UI_LIST line;
    fill(line, {{0, 0, 0, 0}, {10, 0, 10, 0}, {20, 0, 20, 0}});
    struct Case {
        PNT_2D_record p;
        int closed, side;
    } cases[] = {{{-1, 5}, 0, 1}, {{1, 5}, 0, -1}, {{0, 15}, 0, 0}, {{-1, 30}, 0, 0}, {{5, 10}, 1, -1}};
    for (const Case& c : cases) EXPECT_EQ(dbfPntRHSofString(&line, c.p, c.closed), c.side) << c.p.x << "," << c.p.y;

    UI_LIST across;
    fill(across, {{0, -5, 12, 0}, {1, 5, 12, 0}, {2, 5, 30, 0}});
    int found = -1, index1 = -1, index2 = -1;
    PNT_2D_record x = dbfStringHIntersect(&line, &across, found, 0, 3, index2, index1);
    EXPECT_EQ(std::tuple(found, index1, index2), std::tuple(1, 2, 0));
    EXPECT_NEAR(x.y, 12.0, 1e-12);
    // The segment ending at the to index is not searched.
    dbfStringHIntersect(&line, &across, found, 0, 2, index2, index1);
    EXPECT_EQ(std::tuple(found, index1, index2), std::tuple(0, 0, 0));
}

TEST(StringGeometry, ChildListFollowsTheParentsChainages) {
    UI_LIST parent, child;
    fill(parent, along({0, 10, 20, 30}));
    fill(child, along({0, 15, 25, 30}, -2), {2, 2, 2, 2});
    nth(child, 1).vertexKind = 'i';   // kept although the parent has no 15
    dbfUpdateChildList(&parent, &child);
    std::vector<double> chainages;
    for (UI_ELEMENT* e = child.Head(); e; e = e->Next()) chainages.push_back(static_cast<CVertexEle*>(e)->chainage);
    // 20 is added (unset offset); 10 is not, as the vertex after it is kept ('i'); 25 is
    // dropped and 15 kept.
    EXPECT_EQ(chainages, (std::vector<double>{0, 15, 20, 30}));
    EXPECT_TRUE(dbfOffsetNotSet(nth(child, 2).offset));
    EXPECT_DOUBLE_EQ(nth(child, 2).vertexRef, 20.0);
}

TEST(StringGeometry, LoopsAreCutOut) {
    UI_LIST list;
    // A path that doubles back across itself between its second and fifth vertices.
    fill(list, {{0, 0, 0, 0}, {1, 0, 10, 0}, {2, 5, 15, 0}, {3, 5, 5, 0}, {4, -5, 5, 0}, {5, -5, 20, 0}});
    strRemoveLoops(list);
    std::vector<int> active;
    for (UI_ELEMENT* e = list.Head(); e; e = e->Next()) active.push_back(static_cast<CVertexEle*>(e)->active);
    EXPECT_EQ(active, (std::vector<int>{1, 1, 0, 0, 1, 1}));
}

// ---------------------------------------------------------------------------------------------
// Recalculation in a strings file

class StringRecalcTest : public StringsTest {
protected:
    void SetUp() override {
        StringsTest::SetUp();
        path = openOwn();
    }

    DWORD store(const char* name, const std::vector<Pt>& points, const std::vector<float>& offsets = {},
                const char* first = "", const char* second = "") {
        UI_LIST list;
        fill(list, points, offsets);
        return addString(name, list, first, second);
    }

    // The vertices of a string as read back (active ones).
    std::vector<CVertexEle> read(const char* name) {
        STR_HEADER h;
        const DWORD position = dbfGetStringHeader(name, h, nullptr);
        UI_LIST list;
        dbfGetStringData(position, list, 0, 0, nullptr);
        std::vector<CVertexEle> out;
        for (UI_ELEMENT* e = list.Head(); e; e = e->Next())
            if (static_cast<CVertexEle*>(e)->active) out.emplace_back(*static_cast<CVertexEle*>(e));
        return out;
    }

    void recalc(const char* name) { dbfRecalcStrings(name, 0, nullptr, 0, 0); }

    std::string path;
};

TEST_F(StringRecalcTest, ConstantOffsetOfAStraightParent) {
    const DWORD road = store("ROAD", along({0, 10, 20, 30, 40}), {}, "EDGE");
    store("EDGE", along({0, 10, 20, 30, 40}, 50), {2, 2, 2, 2, 2});
    STR_HEADER parent;
    dbfGetStringHeader("ROAD", parent, nullptr);
    dbfStringFromParent(parent, road, "EDGE");
    const std::vector<CVertexEle> edge = read("EDGE");
    ASSERT_EQ(edge.size(), 5u);
    for (const CVertexEle& v : edge) EXPECT_NEAR(v.y, 1000 + v.chainage, 1e-9);
    EXPECT_EQ(xz(edge), "-2.000000,100.000000 -2.000000,100.000000 -2.000000,100.000000 -2.000000,100.000000 -2.000000,100.000000");
    STR_HEADER h;
    dbfGetStringHeader("EDGE", h, nullptr);
    EXPECT_EQ(h.needsRecalc, 0);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(StringRecalcTest, OffsetOfACircularArcMatchesTheMitredOffsetCurve) {
    // A quarter circle of radius 100 about the origin, in 10 chords of angle delta.
    const double radius = 100.0, delta = std::numbers::pi / 20.0, d = 3.0;
    std::vector<Pt> arc;
    for (int i = 0; i <= 10; ++i) arc.push_back({radius * delta * i, radius * std::cos(delta * i), radius * std::sin(delta * i), 50});
    store("ARC", arc, {}, "KERB");
    store("KERB", arc, std::vector<float>(11, static_cast<float>(d)));
    recalc("ARC");
    const std::vector<CVertexEle> kerb = read("KERB");
    ASSERT_EQ(kerb.size(), 11u);
    // The arc turns clockwise on the plan, so its right-hand side is the centre's side: each
    // inner vertex lies on its radius, d / cos(delta / 2) inside the arc.
    for (int i = 1; i < 10; ++i) {
        const CVertexEle& v = kerb[static_cast<std::size_t>(i)];
        EXPECT_NEAR(std::hypot(v.x, v.y), radius - d / std::cos(delta / 2), 1e-9) << i;
        EXPECT_NEAR(std::atan2(v.y, v.x), delta * i, 1e-12) << i;
        // The offset curve of the true circle is within the chord sagitta of it.
        EXPECT_NEAR(std::hypot(v.x, v.y), radius - d, d * (1 / std::cos(delta / 2) - 1) + 1e-9);
    }
}

TEST_F(StringRecalcTest, UnsetOffsetsSlopesAndRises) {
    store("ROAD", along({0, 5, 20, 30, 40}), {}, "SIDE");
    // 9999 at 5 between offsets 2 (at 0) and 4 (at 20); then slope 50 with rise 1, and slope 50
    // with rise 0 and offset 4.
    store("SIDE", along({0, 5, 20, 30, 40}, 9), {2, 9999, 4, 0, 4});
    STR_HEADER h;
    const DWORD position = dbfGetStringHeader("SIDE", h, nullptr);
    UI_LIST list;
    dbfGetStringData(position, list, 0, 0, nullptr);
    nth(list, 3).slope = 50;
    nth(list, 3).rise = 1;
    nth(list, 4).slope = 50;
    dbfAddStringData(position, list, 5, nullptr);
    recalc("ROAD");
    const std::vector<CVertexEle> side = read("SIDE");
    ASSERT_EQ(side.size(), 5u);
    EXPECT_FLOAT_EQ(side[1].offset, 2.5f);
    // At 30 rise x 100 / slope from the parent; at 40 offset x slope / 100 higher.
    EXPECT_EQ(xz(side), "-2.000000,100.000000 -2.500000,100.000000 -4.000000,100.000000 -2.000000,101.000000 -4.000000,102.000000");
}

TEST_F(StringRecalcTest, UnsetOffsetsWithoutSetNeighboursLeaveTheVertex) {
    store("ROAD", along({0, 10}), {}, "SIDE");
    store("SIDE", along({0, 10}, 7), {9999, 9999});
    recalc("ROAD");
    EXPECT_EQ(xz(read("SIDE")), "7.000000,100.000000 7.000000,100.000000");
}

TEST_F(StringRecalcTest, AVerticalStepKeepsBothVerticesOnOneChainage) {
    store("ROAD", along({0, 10, 20}), {}, "KERB");
    store("KERB", {{0, 9, 0, 0}, {10, 9, 10, 0}, {10, 9, 10, 0}, {20, 9, 20, 0}}, {2, 2, 2, 2});
    STR_HEADER h;
    const DWORD position = dbfGetStringHeader("KERB", h, nullptr);
    UI_LIST list;
    dbfGetStringData(position, list, 0, 0, nullptr);
    nth(list, 2).rise = -0.15f;
    nth(list, 3).rise = -0.15f;
    dbfAddStringData(position, list, 4, nullptr);
    recalc("ROAD");
    EXPECT_EQ(xz(read("KERB")), "-2.000000,100.000000 -2.000000,100.000000 -2.000000,99.850000 -2.000000,99.850000");
}

TEST_F(StringRecalcTest, AThreeLevelTreeFollowsItsMovedRoot) {
    store("ROAD", along({0, 10, 20}), {}, "A");
    store("A", along({0, 10, 20}), {2, 2, 2}, "B");
    store("B", along({0, 10, 20}), {3, 3, 3}, "C", "D");
    store("C", along({0, 10, 20}), {1, 1, 1});
    store("D", along({0, 10, 20}), {-1, -1, -1});
    recalc("ROAD");
    EXPECT_NEAR(read("C")[1].x, -6.0, 1e-9);
    PNT_3D_record shift{5, 0, 1};
    dbfStringCloseFile();
    dbfRescaleString("ROAD", path.c_str(), shift, 1);
    ASSERT_EQ(dbfStringOpenFile(path.c_str()), 1);
    EXPECT_NEAR(read("ROAD")[0].x, 5.0, 1e-12);
    recalc("ROAD");
    for (const auto& [name, x] : {std::pair{"A", "3.000000"}, {"B", "0.000000"}, {"C", "-1.000000"}, {"D", "1.000000"}}) {
        const std::string vertex = std::string(x) + ",101.000000";
        EXPECT_EQ(xz(read(name)), vertex + " " + vertex + " " + vertex) << name;
    }
}

TEST_F(StringRecalcTest, VerticesThatLoopAreDroppedAndTheirDropPassedDown) {
    // A right-angle turn to the right, and a child 12 to the right of it: longer than the leg
    // after the turn, so its vertices at the corner and after it fold back across the string.
    store("ROAD", {{0, 0, 1000, 100}, {10, 0, 1010, 100}, {20, -10, 1010, 100}}, {}, "INSIDE");
    store("INSIDE", along({0, 10, 20}, 5), {12, 12, 12}, "BELOW");
    store("BELOW", along({0, 10, 20}, 6), {1, 1, 1});
    recalc("ROAD");
    EXPECT_EQ(xz(read("INSIDE")), "-12.000000,100.000000");
    // The search by chainage finds nothing in a list of one vertex: BELOW's one vertex stays.
    EXPECT_EQ(xz(read("BELOW")), "6.000000,100.000000");
}

TEST_F(StringRecalcTest, RescalingMultipliesAndRefusesFactorsThatAreNoNumbers) {
    store("ROAD", along({0, 10}, 3));
    dbfStringCloseFile();
    dbfRescaleString("ROAD", path.c_str(), {2, 0.5, 1}, 0);
    const std::string before = dbtest::readFile(path);
    dbfRescaleString("ROAD", path.c_str(), {std::nan(""), 1, 1}, 1);
    EXPECT_TRUE(ui.showed("String ROAD of " + path + " is not rescaled"));
    EXPECT_EQ(dbtest::readFile(path), before);
    ASSERT_EQ(dbfStringOpenFile(path.c_str()), 1);
    const std::vector<CVertexEle> road = read("ROAD");
    ASSERT_EQ(road.size(), 2u);
    EXPECT_EQ(std::pair(road[1].x, road[1].y), std::pair(6.0, 505.0));
    STR_HEADER h;
    dbfGetStringHeader("ROAD", h, nullptr);
    EXPECT_EQ(std::pair(int{h.boxMinY}, int{h.boxMaxY}), std::pair(500, 505));   // the box follows the vertices
}

TEST_F(StringRecalcTest, ALoopInTheChildLinksIsReportedAndEnds) {
    store("ROAD", along({0, 10}), {}, "A");
    store("A", along({0, 10}), {2, 2}, "B");
    store("B", along({0, 10}), {2, 2}, "A");   // damaged: B names its own ancestor
    recalc("ROAD");
    EXPECT_TRUE(ui.showed("links its strings in a loop: B names A") && ui.showed(path));
    EXPECT_EQ(xz(read("A")) + " " + xz(read("B")), "-2.000000,100.000000 -2.000000,100.000000 -4.000000,100.000000 -4.000000,100.000000");
}

TEST_F(StringRecalcTest, HooksFireOnceAndTheTopStringFollowsItsChild) {
    static int applied, battered, features;
    applied = battered = features = 0;
    store("ROAD", along({0, 10}), {}, "L_SHOULDER");
    store("L_SHOULDER", along({0, 10, 20}), {2, 2, 2}, "BANK");
    store("BANK", along({0, 10, 20}), {3, 3, 3});
    STR_HEADER h;
    const DWORD position = dbfGetStringHeader("BANK", h, nullptr);
    UI_LIST list;
    dbfGetStringData(position, list, 0, 0, nullptr);
    nth(list, 1).isolated = 1;
    dbfAddStringData(position, list, 3, nullptr);
    dbfSetApplyTemHook([](FILE*) { ++applied; });
    dbfSetBatterHook([](FILE*) { ++battered; }, "L_SHOULDER");
    dbfSetFeaturesHook([](FILE*) { ++features; });
    EXPECT_STREQ(dbfTopStringName(), "L_SHOULDER");
    dbfRecalcStrings("ROAD", 0, nullptr, 1, 0);
    dbfRecalcStrings("ROAD", 0, nullptr, 1, 0);
    EXPECT_EQ(std::tuple(applied, battered, features, std::string(dbfTopStringName())), std::tuple(1, 1, 1, ""));
    EXPECT_EQ(std::pair(int(read("L_SHOULDER")[0].isolated), int(read("L_SHOULDER")[1].isolated)), std::pair(0, 1));
}

TEST_F(StringRecalcTest, RemovingARangeAndShowingAHiddenRun) {
    store("ROAD", along({0, 10, 20, 30, 40}), {}, "A");
    store("A", along({0, 10, 20, 30, 40}), {}, "B");
    store("B", along({0, 10, 20, 30, 40}));
    char name[32] = "ROAD";
    EXPECT_EQ(dbfRemoveRangeVertices(name, nullptr, path.c_str(), 10, 30), 1);
    EXPECT_STREQ(name, "A");
    EXPECT_EQ(read("ROAD").size(), 4u);   // only 20 lay strictly between
    EXPECT_EQ(dbfRemoveRangeVertices(name, nullptr, path.c_str(), 100, 200), 0);
    EXPECT_STREQ(name, "B");

    // A hidden run reaching the first vertex, in A and its child B.
    for (const char* s : {"A", "B"}) {
        STR_HEADER h;
        const DWORD position = dbfGetStringHeader(s, h, nullptr);
        UI_LIST list;
        dbfGetStringData(position, list, 0, 0, nullptr);
        for (int i = 0; i < 5; ++i) nth(list, i).vertexKind = i == 3 ? ' ' : 'x';
        dbfAddStringData(position, list, 5, nullptr);
    }
    STR_HEADER road;
    dbfShowString(dbfGetStringHeader("ROAD", road, nullptr), 10, nullptr);
    for (const char* s : {"A", "B"}) {
        std::string kinds;
        for (const CVertexEle& v : read(s)) kinds += v.vertexKind;
        EXPECT_EQ(kinds, "    x") << s;
    }
}

TEST_F(StringRecalcTest, HidingARangeWritesTheRoadsDesignFile) {
    store("LEFT", along({0, 10, 20, 30}), {}, "A");
    store("A", along({0, 10, 20, 30}));
    char des[MAX_PATH];
    dbfFileName(des, "1", kFileRoadDes);
    STR_HEADER h;
    const DWORD position = dbfGetStringHeader("LEFT", h, nullptr);
    dbfHideString(position, 10, 25, nullptr, 1, 2, 3);
    EXPECT_FALSE(coreFileExist(des)) << "a road without its design file is left alone";
    dbtest::writeFile(des, "[Other]\nKey=1\n");
    dbfHideString(position, 30, 10, nullptr, 1, 2, 3);   // from beyond to: nothing
    dbfHideString(position, 10, 25, nullptr, 1, 2, 3);
    EXPECT_EQ(dbtest::readFile(des), "[Other]\nKey=1\n[InterGaps]\nRange6=10.000,30.000,-1\n");
}

TEST_F(StringRecalcTest, CrossSectionFromTheStringsThatCrossTheSectionLine) {
    auto line = [](double x, double z0) {
        std::vector<Pt> points;
        for (double c : {0.0, 5.0, 15.0, 20.0}) points.push_back({c, x, 1000 + c, z0 + c * 0.1});
        return points;
    };
    store("ROAD", line(0, 100), {}, "L_SHOULDER", "R_SHOULDER");
    // Behind the centre the section line (a segment from the centre) crosses nothing: a string
    // there counts only through an isolated vertex within 0.1 of the line.
    {
        UI_LIST list;
        fill(list, {{0, 3, 1000, 100}, {5, 3, 1005, 100}, {10, 3, 1010, 101}, {15, 3, 1015, 100}, {20, 3, 1020, 100}});
        nth(list, 2).isolated = 1;
        addString("L_SHOULDER", list, "M_STRING");
    }
    store("M_STRING", line(1, 90));
    store("R_SHOULDER", line(-4, 99), {}, "BANK");
    store("BANK", line(-8, 98));
    UI_LIST edited;
    fill(edited, line(-5, 97));
    XSECTION xs{};
    xs.capacity = kSectionCapacity;
    dbfCrossFromStrings(&xs, 10, "ROAD", {0, 1010, 101}, {0, 1}, {-20, 1010, 0}, nullptr, "R_SHOULDER", &edited);
    EXPECT_DOUBLE_EQ(xs.chainage, 10.0);
    struct Member {
        double offset, elevation, code;
    } expected[] = {{-3, 101, -100}, {0, 101, 32}, {5, 98, 116}, {8, 99, 32}};
    ASSERT_EQ(xs.count, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(xs.points[i].offset, expected[i].offset, 1e-9) << i;
        EXPECT_NEAR(xs.points[i].elevation, expected[i].elevation, 1e-9) << i;
        EXPECT_EQ(xs.points[i].idNo, expected[i].code) << i;
    }
}
