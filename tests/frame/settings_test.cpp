// The road design settings file, new projects, fences, the grid and contour records and the
// file boxes.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <tuple>

#include "common/library_fixture.h"

using DesignSettingsTest = LibraryTest;

TEST_F(DesignSettingsTest, ValuesGoToTheCurrentRoadsFile) {
    coreSetJobDefaultInt("Global", "RoadId", 2);
    dbfSetRoadDefault("Layers", "Name", "Asphalt");
    dbfSetRoadDefaultInt("Layers", "Count", 4);
    dbfSetRoadDefaultDouble("Layers", "Width", 3.14159);
    // Saved at once, to "<project>.<road>.des".
    const std::string written = dbtest::readFile(file("Site.2.des"));
    EXPECT_NE(written.find("Name=Asphalt"), std::string::npos);
    EXPECT_NE(written.find("Width=3.142"), std::string::npos);

    char buffer[64];
    dbfGetRoadDefault("Layers", "Name", "none", buffer, sizeof buffer);
    EXPECT_EQ(std::tuple(std::string(buffer), dbfGetRoadDefaultInt("Layers", "Count", 0), dbfGetRoadDefaultDouble("Layers", "Width", 0.0)),
              std::tuple("Asphalt", 4, 3.142));

    // Another road has its own file.
    coreSetJobDefaultInt("Global", "RoadId", 3);
    EXPECT_EQ(dbfGetRoadDefaultInt("Layers", "Count", -1), -1);
    EXPECT_STREQ(dbfGetDesFile()->FileName(), file("Site.3.des").c_str());
}

TEST_F(DesignSettingsTest, DefaultsComeBackToThreeDecimalsAndIncompleteWritesAreIgnored) {
    EXPECT_EQ(std::tuple(dbfGetRoadDefaultDouble("Global", "Version", 0.12345), dbfGetRoadDefaultDouble("Global", "Version", -2.0),
                         dbfGetRoadDefaultInt("Global", "Missing", -17)),
              std::tuple(0.123, -2.0, -17));

    dbfSetRoadDefault("Keep", "A", "1");
    dbfSetRoadDefault("Gone", "B", "2");
    dbfSetRoadDefault(nullptr, "C", "3");
    dbfSetRoadDefault("Keep", nullptr, "3");
    dbfSetRoadDefault("Keep", "D", nullptr);
    dbfDeleteRoadSection("Gone");
    const std::string written = dbtest::readFile(file("Site.1.des"));
    EXPECT_NE(written.find("A=1"), std::string::npos);
    EXPECT_TRUE(written.find("[Gone]") == std::string::npos && written.find("D=") == std::string::npos) << written;
}

// ---------------------------------------------------------------------------------------------

using FenceTest = LibraryTest;

TEST_F(FenceTest, OnlyClosedFencesOfThreeOrMoreNodesBeforeAZeroNodeLoad) {
    // Each row: a fence's nodes ("y,x") and the points loaded (0: none, and an empty polygon).
    const struct {
        const char* name;
        std::vector<const char*> nodes;
        int points;
    } rows[] = {
        {"Yard", {"10,100", "20,100", "20,200", "10,100"}, 4},
        {"Open", {"0,1", "5,5", "9,9"}, 0},  // the last node differs from the first in both coordinates
        {"Shut", {"0,1", "5,5", "0,9"}, 3},  // differing in one coordinate only still counts as closed
        {"Short", {"1,1", "1,1"}, 0},
        {"Cut", {"1,1", "2,1", "2,2", "1,1", "0,0", "7,7"}, 4},  // a zero node ends the list
        {"Cut2", {"1,1", "0,0", "2,2", "1,1", "0,0", "7,7"}, 0},  // only one node before the end
        {"Nowhere", {}, 0},
    };
    for (const auto& r : rows) {
        for (size_t n = 0; n < r.nodes.size(); ++n) coreSetJobDefault(r.name, ("Node" + std::to_string(n + 1)).c_str(), r.nodes[n]);
        std::vector<PNT_2D_record> polygon{{1, 1}};
        EXPECT_EQ(dbfGrabFence(r.name, polygon), r.points) << r.name;
        EXPECT_EQ(polygon.size(), size_t(r.points)) << r.name;
        if (std::string(r.name) == "Yard") { EXPECT_EQ(std::pair(polygon[1].y, polygon[1].x), std::pair(20.0, 100.0)); }   // y, x
    }
    std::vector<PNT_2D_record> polygon;
    EXPECT_EQ(dbfGrabFence(nullptr, polygon), 0);
}

TEST_F(FenceTest, ComboListsFenceNamesUpToTheFirstMissing) {
    int item = 0;
    for (const char* name : {"Yard", "Pond", "null", "Late"}) coreSetJobDefault("Fence Names", ("Item" + std::to_string(++item)).c_str(), name);
    CComboBox combo;
    EXPECT_EQ(dbfFenceCombo(&combo), 2u);
    ASSERT_EQ(combo.GetCount(), 2);
    CString text;
    combo.GetLBText(1, text);
    EXPECT_EQ(text, "Pond");
    EXPECT_EQ(dbfFenceCombo(nullptr), 2u);
}

// ---------------------------------------------------------------------------------------------

using GridTest = LibraryTest;

TEST_F(GridTest, MissingGridFileAsksForTheGridVolumes) {
    unsigned char header[kGridHeaderBytes];
    EXPECT_EQ(dbfReadGridHeader(header), 0);
    ASSERT_NE(ui.last(), nullptr);
    EXPECT_EQ(ui.last()->caption + ": " + ui.last()->text, "GRD file not found: This function requires that you first perform the DTM "
                                                           "Grid Volumes function\nso as to create a project .GRD file.");
}

TEST_F(GridTest, RecordsAreReadAtTheirOffsets) {
    std::string bytes(kGridHeaderBytes, 'H');
    for (int record = 1; record <= 2; ++record) {
        RRect limits{100.0 * record, -1.0, -2.0, 3.0};
        bytes.append(reinterpret_cast<const char*>(&limits), sizeof limits);
        for (int i = 0; i < kGridSide * kGridSide; ++i) {
            const std::int32_t value = record * 100000 + i;
            bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
        }
    }
    dbtest::writeFile(file("Site.grd"), bytes);

    unsigned char header[kGridHeaderBytes];
    EXPECT_EQ(dbfReadGridHeader(header), 1);
    EXPECT_EQ(header[kGridHeaderBytes - 1], 'H');
    // Each read returns 1 once the file is open; what lies past the end of the file reads as 0.
    struct Read {
        unsigned record;
        int result;
        double maxY;
        std::int32_t first;
    };
    const Read reads[] = {{2, 1, 200.0, 200000}, {1, 1, 100.0, 100000}, {3, 1, 0.0, 0}, {0, 0, -1.0, -1}};
    for (const Read& r : reads) {
        std::int32_t grid[kGridSide * kGridSide];
        std::fill(std::begin(grid), std::end(grid), -1);
        RRect limits{-1.0, -1.0, -1.0, -1.0};
        const int result = dbfReadGrid(r.record, grid, &limits);
        EXPECT_EQ(std::tuple(result, limits.maxY, grid[0]), std::tuple(r.result, r.maxY, r.first)) << r.record;
        if (r.first > 0) { EXPECT_EQ(grid[kGridSide * kGridSide - 1], r.first + kGridSide * kGridSide - 1); }
    }
    EXPECT_EQ(dbtest::readFile(file("Site.grd")), bytes) << "reading changes nothing";

    // Without a grid file the read opens one for appending, which creates it empty.
    std::filesystem::remove(file("Site.grd"));
    std::int32_t grid[kGridSide * kGridSide];
    RRect limits;
    EXPECT_EQ(dbfReadGrid(1, grid, &limits), 1);
    EXPECT_EQ(grid[0], 0);
    EXPECT_TRUE(std::filesystem::exists(file("Site.grd")) && std::filesystem::file_size(file("Site.grd")) == 0);
    // A grid file that cannot be opened (a folder of that name) gives 0.
    std::filesystem::remove(file("Site.grd"));
    std::filesystem::create_directory(file("Site.grd"));
    EXPECT_EQ(dbfReadGrid(1, grid, &limits), 0);
}

TEST_F(GridTest, ContourRecordsRoundTripAndStopAtTheEnd) {
    FILE* out = coreFileOpen(file("Site.1.cnt").c_str(), "w+b");
    ASSERT_NE(out, nullptr);
    unsigned char header[kContourHeaderBytes];
    std::memset(header, 7, sizeof header);
    EXPECT_EQ(dbfStoreContourHeader(header, out), 1);
    unsigned char line[kContourLineBytes] = {2};
    const std::uint16_t count = 3;
    std::memcpy(line + 1, &count, sizeof count);
    const std::vector<PNT_2D_record> polygon{{1, 2}, {3, 4}, {5, 6}};
    EXPECT_EQ(dbfStoreContour(line, polygon, out), 1);
    out = coreFileClose(out);

    FILE* in = coreFileOpen(file("Site.1.cnt").c_str(), "rb");
    unsigned char readHeader[kContourHeaderBytes];
    EXPECT_EQ(dbfReadContourHeader(readHeader, in), 1);
    EXPECT_EQ(std::memcmp(header, readHeader, sizeof header), 0);
    unsigned char readLine[kContourLineBytes];
    std::vector<PNT_2D_record> readPolygon;
    ASSERT_EQ(dbfReadContour(readLine, readPolygon, in), 1);
    ASSERT_EQ(readPolygon.size(), 3u);
    EXPECT_DOUBLE_EQ(readPolygon[2].y, 6.0);
    EXPECT_EQ(dbfReadContour(readLine, readPolygon, in), 0);   // end of file
    in = coreFileClose(in);

    // A line record that promises more points than the file holds fails cleanly.
    const std::string whole = dbtest::readFile(file("Site.1.cnt"));
    dbtest::writeFile(file("Site.2.cnt"), whole.substr(0, whole.size() - 8));
    in = coreFileOpen(file("Site.2.cnt").c_str(), "rb");
    dbfReadContourHeader(readHeader, in);
    EXPECT_EQ(dbfReadContour(readLine, readPolygon, in), 0);
    EXPECT_TRUE(readPolygon.empty());
    coreFileClose(in);
}

// ---------------------------------------------------------------------------------------------

class FileBoxTest : public LibraryTest {
protected:
    static std::string jobSetting(const char* section, const char* key) {
        char value[MAX_PATH];
        coreGetJobDefault(section, key, "", value, sizeof value);
        return value;
    }
};

TEST_F(FileBoxTest, OpenBoxForcesTheExtensionAndRemembersTheFolder) {
    char buffer[MAX_PATH] = "/start/here";
    ui.files = {"/data/in/points.txt"};
    EXPECT_EQ(dbfSelectOpenFile(buffer, sizeof buffer, "Open", "Terrain", "dtm", 1), 1);
    EXPECT_STREQ(buffer, "/data/in/points.dtm");
    EXPECT_EQ(ui.last()->text, "Terrain File (*.dtm)|*.dtm|All Files (*.*)|*.*||");
    EXPECT_EQ(jobSetting("File Paths", "dtm"), "/data/in/");

    ui.files = {"/data/in/Other.DTM"};   // the same extension in capitals is kept
    EXPECT_EQ(dbfSelectOpenFile(buffer, sizeof buffer, "Open", "Terrain", "dtm", 1), 1);
    EXPECT_STREQ(buffer, "/data/in/Other.DTM");

    ui.files = {""};   // cancelled
    EXPECT_EQ(dbfSelectOpenFile(buffer, sizeof buffer, "Open", "Terrain", "dtm", 1), 0);
    EXPECT_STREQ(buffer, "/data/in/Other.DTM");

    char small[8] = "";
    ui.files = {"/a/long/name.dtm"};
    EXPECT_EQ(dbfSelectOpenFile(small, sizeof small, "Open", "Terrain", "dtm", 0), 1);
    EXPECT_STREQ(small, "/a/long");
}

TEST_F(FileBoxTest, TwoTypeBoxPrefersTheTypeUsedLast) {
    char buffer[MAX_PATH] = "";
    ui.files = {"/survey/day1.csv"};
    EXPECT_EQ(dbfSelectOpenFile(buffer, sizeof buffer, "Import", "Survey", "dat", "Comma", "csv"), 1);
    EXPECT_STREQ(buffer, "/survey/day1.csv");
    char preferred[16];
    coreGetDefault("SurveyImport", "PreferExt", "", preferred, sizeof preferred);
    EXPECT_EQ(preferred + std::string("|") + jobSetting("File Paths", "csv"), "csv|/survey/");
}

TEST_F(FileBoxTest, SaveBoxProposesTheBufferAndForcesTheExtension) {
    char buffer[MAX_PATH] = "Site.dxf";
    ui.files = {"/out/plan"};
    EXPECT_EQ(dbfSelectSaveFile(buffer, "Export", "Drawing", "dxf", 1), 1);
    EXPECT_STREQ(buffer, "/out/plan.dxf");
    EXPECT_EQ(ui.last()->style, 1u);   // a save box
}
