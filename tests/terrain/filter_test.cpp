// The point filter: each of its tests, the job settings round trip, and the filter sheet.
#include <cstring>

#include "terrain/terrain_fixture.h"

namespace {

class FilterTest : public TerrainTest {
protected:
    NAMEFILT filter{};

    void SetUp() override {
        TerrainTest::SetUp();
        dbfResetFilter(filter);
        makeAndOpen();
    }

    static SURVCOORD point(const char* name, double y, double x, double z, WORD surface = 1) {
        SURVCOORD p;
        dbfPackStruct(name, y, x, z, surface, p);
        return p;
    }
    int passes(const SURVCOORD& p) const { return dbfPassesFilter(&p, &filter); }
    static std::string saved(const char* key) {
        char text[256];
        coreGetJobDefault("Terrain", key, "", text, sizeof text);
        return text;
    }

    // A square fence 10..110 on both axes, kept in the job settings under the name.
    static void writeFence(const char* name) {
        const char* nodes[] = {"10,10", "10,110", "110,110", "110,10", "10,10"};
        for (int i = 0; i < 5; ++i) coreSetJobDefault(name, ("Node" + std::to_string(i + 1)).c_str(), nodes[i]);
    }
};

TEST_F(FilterTest, ResetFilterPassesEveryPointOfAnActiveSurface) {
    EXPECT_EQ((std::vector<std::string>{filter.include[0], filter.include[4], filter.exclude[0]}),
              (std::vector<std::string>{"ALL", "--", "NONE"}));
    EXPECT_EQ(+filter.surface, kSurfaceAny);
    EXPECT_EQ(passes(point("ANY", 1, 1, -5000.0, 7)), 1);
    dbfSetSurfaceStatus(7, 0, 0);
    EXPECT_EQ(passes(point("ANY", 1, 1, 0, 7)), 0) << "an inactive surface fails the surface test";
}

TEST_F(FilterTest, SurfaceTestComesFirstThenNames) {
    dbfSurfaceFilter(filter, 2);
    EXPECT_EQ(passes(point("A1", 1, 1, 0, 1)), 0);
    EXPECT_EQ(passes(point("A1", 1, 1, 0, 2)), 1);
    std::strcpy(filter.include[0], "NONE");
    EXPECT_EQ(passes(point("A1", 1, 1, 0, 2)), 0) << "a first include of NONE passes no point";
    filter.include[0][0] = 0;
    EXPECT_EQ(passes(point("A1", 1, 1, 0, 2)), 0) << "an empty first include passes no point";
}

TEST_F(FilterTest, NamePatternsIncludeThenExclude) {
    // Patterns ignore case and the name is trimmed before the test; unused entries ("--") are
    // patterns too.
    std::strcpy(filter.exclude[0], "B*");
    for (const auto& [name, pass] : {std::pair{"B12", 0}, {"b7", 0}, {"AB", 1}, {"  B1  ", 0}})
        EXPECT_EQ(passes(point(name, 0, 0, 0)), pass) << name;
    std::strcpy(filter.include[0], "T#");
    std::strcpy(filter.include[1], "K*");
    std::strcpy(filter.exclude[0], "NONE");
    for (const auto& [name, pass] : {std::pair{"T5", 1}, {"T55", 0}, {"KERB", 1}, {"X", 0}, {"--", 1}})
        EXPECT_EQ(passes(point(name, 0, 0, 0)), pass) << name;

    char block[170];
    std::memcpy(block, filter.include[0], sizeof block);
    char name[] = " K2 ";
    EXPECT_EQ(dbfNameFilter(name, block), 1);
    EXPECT_STREQ(name, "K2") << "the name test trims in place";
}

TEST_F(FilterTest, HeightModesIncludeTheirLimits) {
    filter.lowerHeight = 10.0;
    filter.upperHeight = 20.0;
    struct Case { int mode; double z; int pass; };
    for (const Case& c : {Case{kHeightBetween, 10.0, 1}, {kHeightBetween, 20.0, 1}, {kHeightBetween, 9.999, 0},
                          {kHeightBetween, 20.001, 0}, {kHeightAbove, 1e6, 1}, {kHeightAbove, 9.0, 0},
                          {kHeightBelow, -1e6, 1}, {kHeightBelow, 21.0, 0}, {3, 1e9, 1}}) {   // 3: unknown, passes all
        filter.heightMode = static_cast<std::int16_t>(c.mode);
        EXPECT_EQ(passes(point("P", 0, 0, c.z)), c.pass) << c.mode << " " << c.z;
    }
}

TEST_F(FilterTest, FenceInsideOrOutside) {
    writeFence("Yard");
    coreSetJobDefault("Terrain", "AddFilt", "0,0,0,1,0,Yard");
    dbfLoadNameFilter(&filter);
    ASSERT_EQ(+filter.fenceOn, 1);
    auto inAndOut = [&] { return nums(passes(point("P", 50, 50, 0)), passes(point("P", 150, 50, 0))); };
    EXPECT_EQ(inAndOut(), nums(1, 0));
    filter.outside = 1;
    EXPECT_EQ(inAndOut(), nums(0, 1));
    terrainState().fence.resize(2);
    EXPECT_EQ(inAndOut(), nums(0, 0)) << "a fence without its polygon fails every point";
}

TEST_F(FilterTest, LoadDefaultsAndMissingFence) {
    coreSetJobDefault("Terrain", "AddFilt", "4,1.5,2.5,1,1,Nowhere");
    NAMEFILT f{};
    dbfLoadNameFilter(&f);
    EXPECT_EQ((std::vector<std::string>{f.include[0], f.include[1], f.exclude[0], f.fenceName}),
              (std::vector<std::string>{"ALL", "--", "NONE", "Nowhere"}));
    // a fence name without a fence loads as fence off
    EXPECT_EQ(nums(f.surface, f.heightMode, f.lowerHeight, f.outside, f.fenceOn), nums(1, 4, 1.5, 1, 0));

    // Excludes that are all unused mean "exclude nothing".
    coreSetJobDefault("Terrain", "NameFilt", "A*,--,--,--,--,--,--,--,--,--x,5");
    dbfLoadNameFilter(&f);
    EXPECT_STREQ(f.exclude[0], "NONE");
    EXPECT_EQ(+f.surface, 5);
}

TEST_F(FilterTest, SavedFilterReloadsEqualButForCommas) {
    writeFence("Yard");
    NAMEFILT full = filter;
    std::strcpy(full.include[0], "A*");
    std::strcpy(full.include[2], "R,1?");
    std::strcpy(full.exclude[0], "AB*");
    std::strcpy(full.exclude[4], "ZZZZZZZZZZZZZZZZ");   // 16 characters, the most a pattern holds
    full.surface = 12;
    full.heightMode = kHeightBetween;
    full.lowerHeight = -3.25;
    full.upperHeight = 1234.5;
    full.fenceOn = 1;
    full.outside = 1;
    std::strcpy(full.fenceName, "Yard");
    // A blank pattern that was written comes back blank: a blank first include passes nothing.
    NAMEFILT blank = filter;
    blank.include[0][0] = '\0';
    blank.exclude[2][0] = '\0';
    struct Case {
        NAMEFILT* saved;
        const char* names;
        const char* added;
        int passes;   // the reloaded filter's name test on A1
    } cases[] = {
        {&full, "A*,--,R1?,--,--,AB*,--,--,--,ZZZZZZZZZZZZZZZZ,12", "4,-3.250,1234.500,1,1,Yard", 1},
        {&blank, ",--,--,--,--,NONE,--,,--,--,8192", "0,0.000,0.000,0,0,", 0},
    };
    for (const Case& c : cases) {
        dbfSaveNameFilter(c.saved);
        EXPECT_EQ(saved("NameFilt"), c.names);
        EXPECT_EQ(saved("AddFilt"), c.added);
        NAMEFILT loaded{};
        dbfLoadNameFilter(&loaded);
        std::strcpy(full.include[2], "R1?");
        EXPECT_EQ(std::memcmp(&loaded, c.saved, sizeof loaded), 0) << c.names;
        char block[170], name[] = "A1";
        std::memcpy(block, loaded.include[0], sizeof block);
        EXPECT_EQ(dbfNameFilter(name, block), c.passes) << c.names;
    }
}

TEST_F(FilterTest, FilterSheetShowsTheKeptPagesAndSavesOnOk) {
    coreSetJobDefault("Terrain", "NameFilt", "P*,--,--,--,--,--,--,--,--,--,3");
    coreSetJobDefault("Terrain", "AddFilt", "1,5,0,0,0,");
    unsigned pages = 0;
    ui.dialogs["Filter"] = [&](void* record) {
        auto* sheet = static_cast<FILTERSHEET*>(record);
        pages = sheet->pages;
        EXPECT_STREQ(sheet->filter.include[0], "ALL") << "the names were reset";
        EXPECT_EQ(+sheet->filter.surface, 3);
        sheet->filter.surface = 9;
        return IDOK;
    };
    NAMEFILT f{};
    EXPECT_EQ(dbfFilterDetails(&f, kFilterNames | kFilterPosition, nullptr), 1);
    EXPECT_EQ(nums(pages, f.surface, f.heightMode), nums(kFilterSurface | kFilterHeights, 9, kHeightAbove));
    EXPECT_EQ(saved("NameFilt"), "ALL,--,--,--,--,NONE,--,--,--,--,9");

    ui.dialogs["Filter"] = [](void* record) {
        static_cast<FILTERSHEET*>(record)->filter.surface = 77;
        return IDCANCEL;
    };
    EXPECT_EQ(dbfFilterDetails(&f, 0, nullptr), 0);
    EXPECT_NE(+f.surface, 77) << "the edit is on a copy";
    EXPECT_EQ(saved("NameFilt"), "ALL,--,--,--,--,NONE,--,--,--,--,9");
}

TEST_F(FilterTest, SummaryDescribesEachPart) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(Lines(dbfFilterSummary(filter)),
              (Lines{"Pass: ALL", "All selected surfaces pass.", "All heights pass.", "All positions pass."}));

    std::strcpy(filter.include[0], "A*");
    std::strcpy(filter.include[1], "B?");
    std::strcpy(filter.exclude[0], "AX*");
    filter.surface = 4;
    dbfSurfaceName(4);   // the names are loaded before one is changed
    dbfSetSurfaceName("Kerbs", 4);
    filter.heightMode = kHeightBetween;
    filter.lowerHeight = 1;
    filter.upperHeight = 2.5;
    filter.fenceOn = 1;
    filter.outside = 1;
    std::strcpy(filter.fenceName, "Yard");
    EXPECT_EQ(Lines(dbfFilterSummary(filter)), (Lines{"Pass: A*, B?; Fail: AX*", "Pass: Kerbs", "Heights between 1.000 and 2.500 pass.",
                                                      "Positions outside fence 'Yard' pass."}));
    filter.heightMode = kHeightAbove;
    EXPECT_EQ(dbfFilterSummary(filter)[2], "Heights above 1.000 pass.");
    filter.heightMode = kHeightBelow;
    EXPECT_EQ(dbfFilterSummary(filter)[2], "Heights below 2.500 pass.");
}

}  // namespace
