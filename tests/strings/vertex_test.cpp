// Vertices: CVertexEle's values and copies, walking past inactive vertices, the order of
// vertex lists and the spike test as reading applies it.
#include "database/terrain.h"
#include "strings/strings_fixture.h"

#include <tuple>

TEST_F(StringsTest, VertexDefaultsCopiesAndWalks) {
    CVertexEle fresh;
    EXPECT_EQ(std::tuple(+fresh.spareValue, +fresh.vertexRef, +fresh.vertexKind, +fresh.active, +fresh.sectionBreak),
              std::tuple(9999.0f, -999999.999, 0, 1, 0));

    UI_LIST list(dbfStringCompareFunc);
    for (double chainage : {30.0, 10.0, 20.0, 20 + 1e-13}) list.Add(vertex(chainage, 1, 1));   // the last after its equal
    auto* first = static_cast<CVertexEle*>(list.Head());
    EXPECT_EQ(first->chainage, 10);
    auto* second = first->Next(true);
    second->active = 0;
    EXPECT_EQ(first->Next(false)->chainage, 20 + 1e-13);
    EXPECT_EQ(static_cast<CVertexEle*>(list.Tail())->Previous()->chainage, 20 + 1e-13);
    EXPECT_EQ(first->Previous(), nullptr);

    CVertexEle copy(*second);
    EXPECT_TRUE(copy.active == 0 && copy.List() == nullptr);
    copy.ResetVertexRef();
    EXPECT_EQ(+copy.vertexRef, -999999.999);
    copy.pointRef = 5;
    EXPECT_EQ(copy.InsertEditDTM(1), 0u);
    EXPECT_EQ(+copy.pointRef, 0u);
    *first = copy;
    EXPECT_TRUE(first->chainage == 20 && first->List() == &list);
}

TEST_F(StringsTest, SpikesComeBackInactive) {
    openOwn();
    UI_LIST list(dbfStringCompareFunc);
    // At 3 the string turns back by more than 135 degrees; a right angle at 4 is no spike; 7
    // turns back, but shares 6's vertex reference.
    const double xy[][2] = {{100, 100}, {110, 100}, {120, 100}, {111, 101}, {111, 111}, {111, 121}, {111, 111}, {111, 91}};
    for (int i = 0; i < 8; ++i) list.Add(vertex(i + 1, xy[i][0], xy[i][1]));
    static_cast<CVertexEle*>(list.Get(6))->vertexRef = 6;
    const DWORD position = addString("S", list);
    UI_LIST back;
    dbfGetStringData(position, back, 0, 0, nullptr);
    ASSERT_EQ(back.Count(), 8);
    std::string flags;
    for (UI_ELEMENT* e = back.Head(); e; e = e->Next()) flags += static_cast<CVertexEle*>(e)->active ? '1' : '0';
    EXPECT_EQ(flags, "11011111");
}

// Vertices as terrain points, and the strings surface when the terrain has free surfaces.
TEST_F(StringsTest, VerticesBecomeTerrainPoints) {
    const std::string dtm = file("Site.dtm");
    ASSERT_EQ(dbfMakeDbase(dtm.c_str(), 5000.0, 5000.0, 10000.0), 1);
    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    CVertexEle v;
    v.x = 4000.0;
    v.y = 4500.0;
    v.z = 12.0;
    EXPECT_EQ(v.MakeDTMPoint("SV1", 300), 0u);   // not a surface
    const unsigned number = v.MakeDTMPoint("SV1", 3);
    ASSERT_NE(number, 0u);
    EXPECT_EQ(std::pair(v.PointRef(3), v.PointRef(4)), std::pair(number, 0u));   // 4: another surface
    v.x += 0.01;
    EXPECT_EQ(v.PointRef(3), 0u);   // beyond the 0.001 square
    dbfCloseDbase();
}
