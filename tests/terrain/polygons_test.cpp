// Perimeter tracing (every walk status), the start of a walk, the lowest point of a network,
// polygon area, point in polygon, bounding rectangles and the error marker.
#include "terrain/terrain_fixture.h"

namespace {

class PolygonTest : public OpenTerrainTest {
protected:
    void join(unsigned a, unsigned b) { ASSERT_EQ(dbfAddLine(a, b, 1, 0), 1); }
    // Joins each point to the next.
    void path(std::initializer_list<unsigned> points) {
        for (auto it = points.begin(); it + 1 != points.end(); ++it) join(*it, *(it + 1));
    }

    std::vector<unsigned> perimeter;
    unsigned status = 99;
};

TEST_F(PolygonTest, TriangleClosesFromItsLowestPoint) {
    const unsigned a = add("A", 100, 100), b = add("B", 200, 100), c = add("C", 150, 200);
    path({a, b, c, a});
    add("LONE", 50, 50);   // no lines: never a start
    unsigned start = 0, next = 0;
    dbfPolyStart(start, next, 1, nullptr);
    EXPECT_EQ(start, a);
    ASSERT_NE(next, 0u);
    dbfFindPoly(start, next, perimeter, status, 1, 1);
    EXPECT_EQ(status, kWalkClosed);
    ASSERT_EQ(perimeter.size(), 4u);
    EXPECT_EQ(nums(perimeter.front(), perimeter.back()), nums(a, a));
    EXPECT_EQ(cad.count(CadPrimitiveKind::Line), 3) << "each step is drawn in the perimeter pen";
    EXPECT_EQ(cad.displayList().front().pen, dbfState().perimeterPen);
    EXPECT_EQ(dbfState().errorRedrawHook, nullptr);

    // Without a first step the walk finds its own way round.
    dbfFindPoly(a, 0, perimeter, status, 0, 0);
    EXPECT_EQ(status, kWalkClosed);
    EXPECT_EQ(perimeter.size(), 4u);

    int sense = 0;
    std::vector<PNT_2D_record> ring;
    for (unsigned n : perimeter) ring.push_back({grab(n).x, grab(n).y});
    EXPECT_NEAR(dbfPolyArea(ring, sense), 0.5 * 100 * 100, 1e-6);
}

TEST_F(PolygonTest, SingleLineIsADeadEndWithTheMarkerAtItsFarPoint) {
    const unsigned a = add("A", 100, 100), b = add("B", 200, 300);
    join(a, b);
    dbfFindPoly(a, b, perimeter, status, 0, 1);
    EXPECT_EQ(status, kWalkDeadEnd);
    EXPECT_EQ(perimeter, (std::vector<unsigned>{a, b}));

    // The error marker at B, drawn through the error redraw hook.
    ASSERT_NE(dbfState().errorRedrawHook, nullptr);
    cad.clearDisplayList();
    _bsRECT rect{};
    dbfState().errorRedrawHook(&rect);
    ASSERT_EQ(cad.count(CadPrimitiveKind::Line), 1);
    ASSERT_EQ(cad.count(CadPrimitiveKind::Text), 1);
    const CadPrimitive& stroke = cad.displayList()[0];
    EXPECT_EQ(nums(stroke.points[0].y, stroke.points[0].x, stroke.points[1].y, stroke.points[1].x, stroke.pen),
              nums(200.0, 300.0, 200.0 - 1.4142, 300.0 - 1.4142, dbfState().defaultPen));
    EXPECT_EQ(cad.displayList()[1].text, "ERROR");

    // A walk that closes takes the marker away.
    const unsigned c = add("C", 300, 100);
    path({b, c, a});
    dbfFindPoly(a, b, perimeter, status, 0, 1);
    EXPECT_EQ(status, kWalkClosed);
    EXPECT_EQ(dbfState().errorRedrawHook, nullptr);
    dbfSetErrorHook();
    EXPECT_EQ(dbfState().errorRedrawHook, nullptr);

    dbfFindPoly(0, 0, perimeter, status, 0, 1);
    EXPECT_EQ(status, kWalkDeadEnd) << "no start";
}

TEST_F(PolygonTest, LoopHangingOffThePathStopsWhereItReenters) {
    // A tail S-P leading into a triangle P-Q-R: the walk from S never comes back to S.
    const unsigned s = add("S", 0, 0), p = add("P", 100, 0), q = add("Q", 200, -50), r = add("R", 200, 50);
    path({s, p, q, r, p});
    dbfFindPoly(s, p, perimeter, status, 0, 1);
    EXPECT_EQ(nums(status, perimeter.size(), perimeter.back()), nums(kWalkLoop, 5, p));
    EXPECT_TRUE(terrainErrorMarkerShown());
    EXPECT_DOUBLE_EQ(terrainState().errorMarker.y, 100.0) << "the marker is where the walk re-entered";
}

TEST_F(PolygonTest, MemoryFileWalkStopsAtItsLengthLimit) {
    std::vector<unsigned> ring;
    for (int i = 0; i < 12; ++i) {
        const double angle = i * 2 * 3.14159265358979 / 12;
        ring.push_back(add(("R" + std::to_string(i)).c_str(), 500 + 100 * std::cos(angle), 500 + 100 * std::sin(angle)));
    }
    for (int i = 0; i < 12; ++i) join(ring[i], ring[(i + 1) % 12]);
    unsigned start = 0, next = 0;
    dbfPolyStart(start, next, 1, nullptr);
    PerimeterFile file;
    unsigned count = 5;
    EXPECT_EQ(dbfFindPolyEx(start, next, count, 0, file), kWalkTooLong);
    EXPECT_EQ(nums(count, terrainErrorMarkerShown()), nums(5, true));
    count = 100;
    EXPECT_EQ(dbfFindPolyEx(start, next, count, 0, file), kWalkClosed);
    EXPECT_EQ(nums(count, terrainErrorMarkerShown()), nums(13, false));

    RRect limits;
    dbfPolyLimitsEx(&limits, count, file);
    EXPECT_NEAR(limits.minY, 400 - 10, 1e-9);
    EXPECT_NEAR(limits.maxY, 600 + 10, 1e-9);
    EXPECT_NEAR(limits.maxX, 600 + 10, 1e-2);
}

TEST_F(PolygonTest, LowestPointOfANetworkAndEscape) {
    const unsigned a = add("A", 300, 300), b = add("B", 100, 500), c = add("C", 100, 200, 0), d = add("D", 400, 100);
    add("OTHER", 0, 0);   // not joined
    path({a, b, c});
    join(a, d);
    PerimeterFile file;
    unsigned start = a;
    EXPECT_EQ(dbfFindLeftMost(start, 1, file), 4u);
    EXPECT_EQ(start, c) << "smallest y, then smallest x";
    EXPECT_EQ(file.front(), a);

    start = d;
    cad.pressEscapeNow();
    EXPECT_EQ(dbfFindLeftMost(start, 1, file), 0u);
    EXPECT_EQ(start, d);
}

TEST_F(PolygonTest, PolygonArithmetic) {
    const std::vector<PNT_2D_record> square{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
    int sense = 0;
    const std::vector<PNT_2D_record> reversed(square.rbegin(), square.rend());
    for (const auto& [polygon, want] : {std::pair{square, -1}, {reversed, 1}, {{{0, 0}, {1, 1}}, 0}}) {
        EXPECT_DOUBLE_EQ(dbfPolyArea(polygon, sense), want ? 1.0 : 0.0);
        EXPECT_EQ(sense, want);
    }
    // (-0.5, 0.5): both side edges crossed
    for (const auto& [x, y, inside] : {std::tuple{0.5, 0.5, 1}, {1.5, 0.5, 0}, {0.5, -0.5, 0}, {-0.5, 0.5, 0}})
        EXPECT_EQ(dbfPointInPoly(PNT_2D_record{x, y}, square), inside) << x << " " << y;
    EXPECT_EQ(dbfPointInPoly(PNT_2D_record{-0.5, 0.5}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}), 1)
        << "an unclosed list has no closing edge";
    SURVCOORD p;
    dbfPackStruct("P", 0.25, 0.75, 0, 1, p);
    EXPECT_EQ(dbfPointInPoly(p, square), 1);

    RRect r;
    dbfPolyToRect(square, &r);
    EXPECT_EQ(nums(r.maxY, r.minY, r.minX, r.maxX), nums(11.0, -10.0, -10.0, 11.0));
}

}  // namespace
