// Link records, the link table and its cache.
#include <cstdio>
#include <tuple>

#include "network/network_test_util.h"

namespace {

LinkRecord blankRecord() {
    LinkRecord rec;
    std::memset(&rec, 0x5A, sizeof rec);
    return rec;
}

std::string summary(const LinkRecord& r) {
    char out[512];
    std::snprintf(out, sizeof out, "[%s] %s>%s (%g,%g)>(%g,%g) %.3f>%.3f %d,%d,%d,%d [%s] x%d %.3f %.6f>%.6f flag %d", r.name,
                  r.upNode, r.downNode, r.upX, r.upY, r.downX, r.downY, r.upInvert, r.downInvert, r.size1, r.size2, r.size3,
                  r.size4, r.linkType, r.barrels, r.length, r.upGrade, r.downGrade, r.flag);
    return out;
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

    // The downstream end is N10's position, not N1X's; a pipe's second and fourth sizes come
    // from the link table; grades: invert + 1.98^2/19.62 + 0.45 x 50 / 100.
    LinkRecord rec = blankRecord();
    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, true, nullptr, nullptr));
    EXPECT_EQ(summary(rec), "[] N1>N10 (200,100)>(250,150) 100.000>99.000 450,441,450,545 [Concrete Pipe] x1 50.000 "
                            "100.424817>99.424817 flag 0");
    EXPECT_EQ(std::string(rec.hostText, 5), std::string(5, '\x5A')) << "room the readers leave alone";

    // A missing downstream node ends the link where it starts; an unknown type keeps its sizes
    // (and its flow depth is half of its own 300).
    rec = blankRecord();
    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, false, nullptr, nullptr));
    EXPECT_EQ(summary(rec), "[] N10>N99 (250,150)>(250,150) 100.000>99.000 300,0,300,0 [Mystery] x1 50.000 "
                            "100.349817>99.349817 flag 0");
    EXPECT_EQ(dbfStormGetRecordNo(), 2) << "the reader comes back to its own record";

    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, false, nullptr, nullptr));
    EXPECT_EQ(std::pair(rec.size2, rec.size4), std::pair(600, 600)) << "a box takes the fourth value as both sizes";
    for (int again = 0; again < 2; ++again) {   // the last link: the table stays on the last record
        EXPECT_FALSE(dbfStormGetRecord(nullptr, rec, false, nullptr, nullptr));
        EXPECT_EQ(dbfStormGetRecordNo(), 3);
    }
    EXPECT_FALSE(dbfSewerGetRecord(nullptr, rec, true, nullptr, nullptr)) << "no sewer table open";
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
    EXPECT_EQ(std::tuple(std::string(ele->linkType), std::string(ele->kind), ele->nominal1, ele->resolved2, ele->resolved4),
              std::tuple("Concrete Pipe", "Pipe", 450, 441, 545));

    // The link table changes behind the cache: the cached size still serves the next 450.
    dbfStormGetIniFile()->SetString("Link Type 1", "Set2", "450,400,500");
    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, false, handle, nullptr));
    EXPECT_EQ(std::tuple(rec.size2, rec.size4, cache.Count()), std::tuple(441, 545, 1));

    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, false, handle, nullptr));
    EXPECT_EQ(std::pair(rec.size2, cache.Count()), std::pair(375, 2));
    ASSERT_TRUE(dbfStormGetRecord(nullptr, rec, false, handle, nullptr));
    EXPECT_EQ(std::pair(rec.size2, cache.Count()), std::pair(610, 3)) << "the box set of both sizes, after the first set of size 1";
}

TEST_F(LinksTest, LinkTableDataForAPipeElement) {
    const struct {
        const char* type;
        double nominal1, nominal2;
        const char* drain;
        const char* kind;
        double dimension1, dimension2;
    } cases[] = {{"Concrete Pipe", 450, 0, "", "Pipe", 441, 545},
                 {"Box Culvert", 600, 600, "", "Box", 600, 610},
                 {"Lined Channel", 0, 0, "V1", "Open Drain", 0, 300}};
    PipeEle drain;
    for (const auto& c : cases) {
        PipeEle pipe;
        std::strcpy(pipe.linkType, c.type);
        std::strcpy(pipe.drainName, c.drain);
        pipe.nominal1 = c.nominal1;
        pipe.nominal2 = c.nominal2;
        dbfStormGetLinkTableData(&pipe);
        EXPECT_EQ(std::tuple(std::string(pipe.kind), pipe.dimension1, pipe.dimension2), std::tuple(c.kind, c.dimension1, c.dimension2))
            << c.type;
        if (*c.drain) drain = pipe;
    }
    // The sewer variant knows no open drains; a missing element is no fault.
    drain.dimension2 = 0;
    dbfSewerGetLinkTableData(&drain);
    EXPECT_DOUBLE_EQ(drain.dimension2, 0);
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
