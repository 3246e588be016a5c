// Kerb groups: numbering by group, editing the group files line by line, fitting and inserting
// a kerb into a cross-section.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "common/file_faults.h"
#include "common/library_fixture.h"
#include "database/section.h"
#include "terrain/values.h"

namespace {

// Kerb 1 is the example kerb: a 0.15 m step out and 0.1 up, then 0.05 up to the flagged top.
const char* kGroup =
    "; kerbs of the test project\r\n"
    "[Lookup]\r\nkerb1=Example\r\nkerb2=Long\r\nkerb3=Setback\r\nkerb4=Broken\r\n"
    "\r\n[Example]\r\ngeom0=0.000,0.000,0\r\ngeom1=0.150,0.100,0\r\ngeom2=0.000,0.050,1\r\n"
    "eq1=1,0,Concrete (m3),0.030\r\n; drawn by hand\r\nowner = drawing office\r\n"
    "[Long]\r\ngeom0=0,0,0\r\ngeom1=0.15,0.1,0\r\ngeom2=0,0.05,1\r\ngeom3=0.2,0,0\r\ngeom4=0,-0.1,1\r\n"
    "[Setback]\r\ngeom0=-0.05,0,0\r\ngeom1=0.1,0.1,1\r\n"
    "[Broken]\r\ngeom0=0,0,0\r\ngeom1=nan,0.1,1\r\n";

struct Pt {
    double offset, elevation;
    int marker;
};

XSECTION edgeSection() {
    XSECTION xs{};
    xs.capacity = kSectionCapacity;
    const Pt pts[] = {{-4, 100.92, -100}, {0, 101, 0}, {4, 100.92, 100}, {6, 100.9, 101}};
    for (const Pt& p : pts) xs.points[xs.count++] = SECTMEM{p.offset, p.elevation, 0.0, static_cast<signed char>(p.marker)};
    return xs;
}

class KerbTest : public LibraryTest {
protected:
    UI_LIST groups;
    std::string first, second;

    void SetUp() override {
        LibraryTest::SetUp();
        first = file("first.krb");
        second = file("second.krb");
        dbtest::writeFile(first, kGroup);
        dbtest::writeFile(second, "[Lookup]\nkerb1=A\nkerb6=F\n[F]\ngeom0=0,0,0\n");
        dbfSetRoadDefault("KerbFiles", "path1", "first.krb");
        dbfSetRoadDefault("KerbFiles", "path2", second.c_str());
        ASSERT_EQ(dbfReadKerbs(&groups), 1);
    }
    void TearDown() override {
        groups.Destroy();
        LibraryTest::TearDown();
    }
};

TEST_F(KerbTest, GroupsNumberTheirKerbsFromTheirBase) {
    ASSERT_EQ(groups.Count(), 2);
    EXPECT_EQ(nums(dbfGetKerbGroup(&groups, 100)->GetGroupBase(), dbfGetKerbGroup(&groups, 205)->GetGroupBase()), nums(100, 200));
    for (int kerb : {99, 300}) EXPECT_EQ(dbfGetKerbGroup(&groups, kerb), nullptr) << kerb;
    // Kerb 205 is entry 6 of the second group.
    for (const auto& [kerb, name] : {std::pair{205, "F"}, {101, "Long"}, {150, ""}})
        EXPECT_EQ(dbfGetKerbString(&groups, kerb).str(), name) << kerb;
    EXPECT_EQ(dbfGetKerbGroup(&groups, 100)->GetCount(), 4);
    EXPECT_EQ(std::string(dbfGetKerbGroup(&groups, 100)->GetGroupFileName()), first);
    EXPECT_EQ(dbfReadKerbs(nullptr), 0);

    // A missing file keeps its place, so the later groups keep their numbers.
    dbfSetRoadDefault("KerbFiles", "path1", "gone.krb");
    ASSERT_EQ(dbfReadKerbs(&groups), 1);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"Kerb group file gone.krb does not exist"});
    EXPECT_EQ(dbfGetKerbString(&groups, 205).str() + std::to_string(dbfGetKerbGroup(&groups, 100)->GetCount()), "F0");
}

TEST_F(KerbTest, StepsQuantitiesRenameAndDelete) {
    CKerbGroup* g = dbfGetKerbGroup(&groups, 100);
    PNT_2D_record p;
    int flag;
    ASSERT_EQ(g->GetKerbGeom(100, 2, p, flag), 1);
    EXPECT_EQ(nums(p.x, p.y, flag), nums(0.0, 0.05, 1));
    EXPECT_EQ(g->GetKerbGeom(100, 3, p, flag), 0) << "no such step";
    EXPECT_EQ(g->GetKerbGeom(103, 1, p, flag), 0) << "a step that is not a number";
    EXPECT_EQ(p.x, 0.0);
    CString q;
    for (int n : {100, 101}) {
        ASSERT_EQ(g->GetKerbQuantity(n, 0, q), 1);
        EXPECT_EQ(q.str(), "2,0,Total Length (m),1.000");
    }
    ASSERT_EQ(g->GetKerbQuantity(100, 1, q), 1);
    EXPECT_EQ(q.str(), "1,0,Concrete (m3),0.030");
    EXPECT_EQ(nums(g->GetKerbQuantity(101, 1, q), g->GetKerbQuantity(150, 0, q)), nums(0, 0));

    EXPECT_EQ(nums(g->RenameKerb(1, "A name of twenty-five ch."), g->RenameKerb(7, "x")), nums(1, 0));
    EXPECT_EQ(g->GetKerbName(101).str(), "A name of twenty-fi");
    EXPECT_TRUE(g->file->SectionExists("A name of twenty-fi"));

    g->DeleteKerb(101);
    EXPECT_EQ(g->GetCount(), 3);
    const char* names[] = {"Example", "Setback", "Broken", ""};
    for (int n = 0; n < 4; ++n) EXPECT_EQ(g->GetKerbName(100 + n).str(), names[n]) << n;
    EXPECT_FALSE(g->file->SectionExists("A name of twenty-fi"));
}

TEST_F(KerbTest, AddingAKerbKeepsEveryOtherLineByteForByte) {
    {
        CKerbGroup* g = dbfGetKerbGroup(&groups, 100);
        CKerbGroup copy(*g);   // shares the lines; the last of the two saves them
        copy.AddKerbToLookup(5, "Edge");
        copy.WriteKerbGeom(104, 0, PNT_2D_record{0, 0}, 0);
        copy.WriteKerbGeom(104, 1, PNT_2D_record{0.1254, -0.02}, 1);
        copy.WriteKerbQuantity(104, 1, "1,0,Area,0.010");
        g->WriteKerbGeom(100, 2, PNT_2D_record{0, 0.06}, 1);
        groups.Destroy();
        EXPECT_EQ(dbtest::readFile(first), kGroup) << "written only when the last user goes";
    }
    std::string want = kGroup;
    want.replace(want.find("kerb4=Broken\r\n") + 14, 0, "kerb5=Edge\r\n");
    want.replace(want.find("geom2=0.000,0.050,1"), 19, "geom2=0.000,0.060,1");
    want += "[Edge]\r\ngeom0=0.000,0.000,0\r\ngeom1=0.125,-0.020,1\r\neq1=1,0,Area,0.010\r\n";
    EXPECT_EQ(dbtest::readFile(first), want);
    EXPECT_TRUE(ui.texts().empty());
}

TEST_F(KerbTest, AFailedSaveIsReportedAndLeavesTheFileAsItWas) {
    dbfGetKerbGroup(&groups, 100)->AddKerbToLookup(5, "Edge");
    {
        dbtest::FileFault disk(dbtest::FileFault::fullDisk("first.krb", 10));
        groups.Destroy();
    }
    EXPECT_EQ(dbtest::readFile(first), kGroup);
    ASSERT_EQ(ui.texts().size(), 1u);
    EXPECT_EQ(ui.texts()[0], "Unable to save " + first + ": No space left on device");
}

TEST_F(KerbTest, FittingStretchesAndShearsTheSteps) {
    CKerbGroup* g = dbfGetKerbGroup(&groups, 100);
    auto sum = [&] {
        PNT_2D_record total{0, 0}, p;
        int flag;
        for (int s = 1; g->GetKerbGeom(100, s, p, flag); ++s) total = {total.x + p.x, total.y + p.y};
        return total;
    };
    struct Case { PNT_2D_record target; double shear, stretch; };
    const Case cases[] = {
        {{0.3, 0.15}, 0.0, std::numbers::pi / 3},   // twice as wide
        {{0.15, 0.3}, std::numbers::pi / 4, 0.0},   // twice as high
        {{0.15, 0.15}, 0.0, 0.0},                   // already that size
        {{0, 0}, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        g->SetTransform(c.target, 100);
        const PNT_2D_record total = c.target.x != 0 ? sum() : c.target;
        EXPECT_LT(std::max({std::fabs(g->shear - c.shear), std::fabs(g->stretch - c.stretch), std::fabs(total.x - c.target.x),
                            std::fabs(total.y - c.target.y)}), 1e-12) << c.target.x << " " << c.target.y;
    }
}

TEST_F(KerbTest, InsertingAKerbIntoASection) {
    struct Case {
        const char* what;
        int kerb, ref, fromStart;
        std::vector<Pt> added;   // the points added, in offset order
        int result;              // the position returned; -1: the count before the call
    };
    const Case cases[] = {
        {"from the start", 100, 100, 1, {{4.15, 101.02, 0}, {4.151, 101.07, 103}}, 5},
        {"from the flagged step to the next", 101, 100, 0, {{4.151, 101.07, 103}, {4.351, 101.07, 0}, {4.35, 100.97, 103}}, 4},
        {"the steps run out before the next flag", 100, 100, 0, {}, -1},
        {"a step that is not a number", 103, 100, 1, {}, -1},
        {"to the left with a setback", 102, -100, 1, {{-4.05, 101.019, -103}}, 1},
        {"from the 101 point back inward", 102, 101, 1, {{5.95, 100.999, 104}}, 4},
        {"a kerb of no group", 300, 100, 1, {}, -1},
        {"a kerb missing from its group", 150, 100, 1, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XSECTION xs = edgeSection();
        const XSECTION before = xs;
        const int result = dbfAddKerb(&groups, c.kerb, c.ref, -2.0, &xs, c.fromStart);
        EXPECT_EQ(result, c.result < 0 ? before.count : c.result);
        ASSERT_EQ(xs.count, before.count + static_cast<int>(c.added.size()));
        for (const Pt& p : c.added) {
            bool found = false;
            for (int i = 0; i < xs.count; ++i)
                found |= std::fabs(xs.points[i].offset - p.offset) < 1e-12 &&
                         std::fabs(xs.points[i].elevation - p.elevation) < 1e-12 && xs.points[i].marker == p.marker;
            EXPECT_TRUE(found) << p.offset << " " << p.elevation;
        }
    }
    // A section of 199 points has no room for a point in its middle: refused, the section stays.
    XSECTION full = edgeSection();
    while (full.count < kSectionCapacity - 1)
        full.points[full.count] = SECTMEM{10.0 + full.count, 100.0, 0.0, 0}, ++full.count;
    EXPECT_EQ(dbfAddKerb(&groups, 100, 100, 0, &full, 1), kSectionCapacity - 1);
    EXPECT_EQ(nums(full.count, full.points[3].offset), nums(kSectionCapacity - 1, 6.0));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"Section is at maximum capacity\nUnable to add new points"});

    XSECTION xs = edgeSection();
    EXPECT_EQ(dbfAddKerb(&groups, 100, 100, 0, nullptr, 1), 0);
    EXPECT_EQ(dbfAddKerb(&groups, 100, 42, 0, &xs, 1), 0) << "no point for the reference";
}

}  // namespace
