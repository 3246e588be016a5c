// Link records, the link table and its cache.
#include "network/network_test_util.h"

namespace {

LinkRecord blankRecord() {
    LinkRecord rec;
    std::memset(&rec, 0x5A, sizeof rec);
    return rec;
}

}  // namespace

class LinksTest : public NetworkTest {
protected:
    void SetUp() override {
        NetworkTest::SetUp();
        ASSERT_NE(openStorm(), nullptr);
        data = dbfState().stormTable;
        // Concrete Pipe (Set1=375,375,457 in the default storm settings), Box Culvert
        // (Set1=600,450,150,600) and Portal Culvert come from the shipped file.
        TINIFile* ini = dbfStormGetIniFile();
        ASSERT_NE(ini, nullptr);
        ini->SetString("Link Type 1", "Set2", "450,441,545");
        ini->SetString("Link Type 2", "Set2", "600,600,150,610");
    }

    void add(const char* node, const char* next, const char* type, int size1, int size2, double y, double x) {
        append(data, [&](DATA4* d) {
            nettest::set(d, "NODE", node);
            nettest::set(d, "NEXT_NODE", next);
            nettest::set(d, "L_TYPE", type);
            const std::pair<const char*, double> values[] = {
                {"SIZE1", size1}, {"SIZE2", size2}, {"Y_COORD", y},        {"X_COORD", x},  {"INLEVEL", 100.0},
                {"OUTLEVEL", 99.0}, {"VELOCITY", 1.98}, {"FLOWDEPTH", 50.0}, {"NO", 1.0}, {"LENGTH", 50.0}};
            for (const auto& [name, value] : values) nettest::set(d, name, value);
        });
    }

    DATA4* data = nullptr;
};

TEST_F(LinksTest, WalkGivesEveryLinkWithItsDownstreamEndAndStopsOnTheLast) {
    add("N1", "N10", "Concrete Pipe", 450, 0, 100, 200);
    add("N10", "N99", "Mystery", 300, 0, 150, 250);   // no record is named N99
    add("N1X", "N1", "Box Culvert", 600, 450, 10, 20);

    LinkRecord rec = blankRecord();
    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, true, nullptr, nullptr));
    EXPECT_STREQ(rec.name, "");
    EXPECT_STREQ(rec.upNode, "N1");
    EXPECT_STREQ(rec.downNode, "N10");
    EXPECT_DOUBLE_EQ(rec.upY, 100);
    EXPECT_DOUBLE_EQ(rec.downY, 150) << "the downstream end is N10's position, not N1X's";
    EXPECT_DOUBLE_EQ(rec.downX, 250);
    EXPECT_DOUBLE_EQ(rec.upInvert, 100);
    EXPECT_DOUBLE_EQ(rec.downInvert, 99);
    EXPECT_EQ(rec.size1, 450);
    EXPECT_EQ(rec.size3, 450);
    EXPECT_EQ(rec.size2, 441) << "a pipe's internal size from the link table";
    EXPECT_EQ(rec.size4, 545);
    EXPECT_STREQ(rec.linkType, "Concrete Pipe");
    EXPECT_EQ(rec.barrels, 1);
    EXPECT_DOUBLE_EQ(rec.length, 50);
    // 1.98^2/19.62 + 0.45 x 50 / 100
    EXPECT_NEAR(rec.upGrade, 100 + 0.199817 + 0.225, 1e-6);
    EXPECT_NEAR(rec.downGrade, 99 + 0.199817 + 0.225, 1e-6);
    EXPECT_EQ(rec.flag, 0);
    EXPECT_EQ(std::string(rec.hostText, 5), std::string(5, '\x5A')) << "room the readers leave alone";

    rec = blankRecord();
    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, false, nullptr, nullptr));
    EXPECT_STREQ(rec.upNode, "N10");
    EXPECT_DOUBLE_EQ(rec.downY, rec.upY) << "a missing downstream node ends the link where it starts";
    EXPECT_DOUBLE_EQ(rec.downX, rec.upX);
    EXPECT_EQ(rec.size2, 0) << "an unknown link type keeps its sizes";
    EXPECT_EQ(dbfStormGetRecordNo(), 2) << "the reader comes back to its own record";

    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, false, nullptr, nullptr));
    EXPECT_EQ(rec.size2, 600) << "a box takes the fourth value as both sizes";
    EXPECT_EQ(rec.size4, 600);
    EXPECT_FALSE(dbfStormGetRecord(nullptr, rec, false, nullptr, nullptr));
    EXPECT_EQ(dbfStormGetRecordNo(), 3) << "the last link: the table stays on the last record";
    EXPECT_FALSE(dbfStormGetRecord(nullptr, rec, false, nullptr, nullptr));
    EXPECT_EQ(dbfStormGetRecordNo(), 3);

    // The sewer reader with no sewer table open.
    EXPECT_FALSE(dbfSewerGetRecord(nullptr, rec, true, nullptr, nullptr));
}

TEST_F(LinksTest, SecondReadOfTheSameSizeIsServedFromTheCache) {
    add("A", "", "Concrete Pipe", 450, 0, 0, 0);
    add("B", "", "Concrete Pipe", 450, 0, 0, 0);
    add("C", "", "Concrete Pipe", 375, 0, 0, 0);
    add("D", "", "Box Culvert", 600, 600, 0, 0);
    UI_LIST cache;
    char* handle = reinterpret_cast<char*>(&cache);
    LinkRecord rec = blankRecord();
    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, true, handle, nullptr));
    ASSERT_EQ(cache.Count(), 1);
    auto* ele = dynamic_cast<StormDiaEle*>(cache.Head());
    ASSERT_NE(ele, nullptr);
    EXPECT_STREQ(ele->linkType, "Concrete Pipe");
    EXPECT_STREQ(ele->kind, "Pipe");
    EXPECT_EQ(ele->nominal1, 450);
    EXPECT_EQ(ele->resolved2, 441);
    EXPECT_EQ(ele->resolved4, 545);

    // The link table changes behind the cache: the cached size still serves the next 450.
    dbfStormGetIniFile()->SetString("Link Type 1", "Set2", "450,400,500");
    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, false, handle, nullptr));
    EXPECT_EQ(rec.size2, 441);
    EXPECT_EQ(rec.size4, 545);
    EXPECT_EQ(cache.Count(), 1);

    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, false, handle, nullptr));
    EXPECT_EQ(rec.size2, 375);
    EXPECT_EQ(cache.Count(), 2);
    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, false, handle, nullptr));
    EXPECT_EQ(rec.size2, 610) << "the box set of both sizes, after the first set of size 1";
    EXPECT_EQ(cache.Count(), 3);
}

TEST_F(LinksTest, LinkTableDataForAPipeElement) {
    PipeEle pipe;
    std::strcpy(pipe.linkType, "Concrete Pipe");
    pipe.nominal1 = 450;
    dbfStormGetLinkTableData(&pipe);
    EXPECT_STREQ(pipe.kind, "Pipe");
    EXPECT_DOUBLE_EQ(pipe.dimension1, 441);
    EXPECT_DOUBLE_EQ(pipe.dimension2, 545);

    PipeEle box;
    std::strcpy(box.linkType, "Box Culvert");
    box.nominal1 = 600;
    box.nominal2 = 600;
    dbfStormGetLinkTableData(&box);
    EXPECT_STREQ(box.kind, "Box");
    EXPECT_DOUBLE_EQ(box.dimension1, 600);
    EXPECT_DOUBLE_EQ(box.dimension2, 610);

    PipeEle drain;
    std::strcpy(drain.linkType, "Lined Channel");
    std::strcpy(drain.drainName, "V1");
    dbfStormGetLinkTableData(&drain);
    EXPECT_STREQ(drain.kind, "Open Drain");
    EXPECT_DOUBLE_EQ(drain.dimension2, 300);

    // The sewer variant knows no open drains; a missing element is no fault.
    PipeEle sewerDrain = drain;
    sewerDrain.dimension2 = 0;
    dbfSewerGetLinkTableData(&sewerDrain);
    EXPECT_DOUBLE_EQ(sewerDrain.dimension2, 0);
    dbfStormGetLinkTableData(nullptr);
}

namespace {

int hookCalls = 0;
bool hostReader(void* first, LinkRecord& rec, bool, char*, char*) {
    ++hookCalls;
    std::strcpy(rec.name, first ? "not none" : "host");
    return true;
}

}  // namespace

TEST_F(LinksTest, SecondProductReaderIsCalledThroughTheHook) {
    LinkRecord rec = blankRecord();
    EXPECT_FALSE(dbfRillmarGetRecord(nullptr, rec, true, nullptr, nullptr));
    dbfRillmarSetDataHook(hostReader);
    int dummy = 0;
    EXPECT_TRUE(dbfRillmarGetRecord(&dummy, rec, true, nullptr, nullptr));
    EXPECT_STREQ(rec.name, "host");
    EXPECT_EQ(hookCalls, 1);
    dbfRillmarSetDataHook(nullptr);
}
