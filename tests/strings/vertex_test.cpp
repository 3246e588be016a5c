// Vertices: CVertexEle's values and copies, walking past inactive vertices, the order of
// vertex lists and the spike test as reading applies it.
#include "database/terrain.h"
#include "strings/strings_fixture.h"

TEST_F(StringsTest, VertexDefaultsCopiesAndWalks) {
    CVertexEle fresh;
    EXPECT_EQ(+fresh.spareValue, 9999.0f);
    EXPECT_EQ(+fresh.vertexRef, -999999.999);
    EXPECT_EQ(+fresh.vertexKind, 0);
    EXPECT_EQ(+fresh.active, 1);
    EXPECT_EQ(+fresh.sectionBreak, 0);

    UI_LIST list(dbfStringCompareFunc);
    list.Add(vertex(30, 1, 1));
    list.Add(vertex(10, 1, 1));
    list.Add(vertex(20, 1, 1));
    list.Add(vertex(20 + 1e-13, 1, 1));   // equal within the tolerance: after its equal
    auto* first = static_cast<CVertexEle*>(list.Head());
    EXPECT_EQ(first->chainage, 10);
    auto* second = first->Next(true);
    second->active = 0;
    EXPECT_EQ(first->Next(false)->chainage, 20 + 1e-13);
    EXPECT_EQ(static_cast<CVertexEle*>(list.Tail())->Previous()->chainage, 20 + 1e-13);
    EXPECT_EQ(first->Previous(), nullptr);

    CVertexEle copy(*second);
    EXPECT_EQ(+copy.active, 0);
    EXPECT_EQ(copy.List(), nullptr);
    copy.ResetVertexRef();
    EXPECT_EQ(+copy.vertexRef, -999999.999);
    copy.pointRef = 5;
    EXPECT_EQ(copy.InsertEditDTM(1), 0u);
    EXPECT_EQ(+copy.pointRef, 0u);
    *first = copy;
    EXPECT_EQ(first->chainage, 20);
    EXPECT_EQ(first->List(), &list);
}

TEST_F(StringsTest, SpikesComeBackInactive) {
    openOwn();
    UI_LIST list(dbfStringCompareFunc);
    list.Add(vertex(1, 100, 100));
    list.Add(vertex(2, 110, 100));
    list.Add(vertex(3, 120, 100));
    list.Add(vertex(4, 111, 101));   // turns back by more than 135 degrees at 3
    list.Add(vertex(5, 111, 111));   // a right angle at 4 is no spike
    list.Add(vertex(6, 111, 121));
    auto* sameRef = vertex(7, 111, 111);   // turns back, but shares 6's vertex reference
    sameRef->vertexRef = 6;
    list.Add(sameRef);
    list.Add(vertex(8, 111, 91));
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
    EXPECT_EQ(v.PointRef(3), number);
    EXPECT_EQ(v.PointRef(4), 0u);   // another surface
    v.x += 0.01;
    EXPECT_EQ(v.PointRef(3), 0u);   // beyond the 0.001 square
    dbfCloseDbase();
}
