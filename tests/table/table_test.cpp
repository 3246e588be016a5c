// The table library: structure, field values, tag orders, seeks, changes and damaged files.
#include "common/file_faults.h"
#include "common/fixture.h"
#include "platform/table.h"
#include "platform/ui.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

const FIELD4INFO kLinkFields[] = {
    {"NODE", 'C', 10, 0, 0},   {"NEXT_NODE", 'C', 10, 0, 0}, {"SUBNET", 'C', 4, 0, 0},
    {"BRANCH", 'C', 4, 0, 0},  {"LINKNO", 'C', 4, 0, 0},     {"L_TYPE", 'C', 8, 0, 0},
    {"SIZE1", 'N', 5, 0, 0},   {"SIZE2", 'N', 5, 0, 0},      {"INLEVEL", 'N', 9, 3, 0},
    {"SELECTED", 'L', 1, 0, 0}, {nullptr, 0, 0, 0, 0}};

const TAG4INFO kLinkTags[] = {{"NODE", "NODE", nullptr, 0, 0},
                              {"LINKORDER", "SUBNET+BRANCH+LINKNO", nullptr, 0, 0},
                              {"CULVERT", "L_TYPE+STR(SIZE1,4,0)+STR(SIZE2,4,0)", "SELECTED", 0, 0},
                              {"SIZEDOWN", "STR(SIZE1,4,0)", nullptr, 0, r4descending},
                              {"ONENODE", "NODE", nullptr, r4uniqueContinue, 0},
                              {nullptr, nullptr, nullptr, 0, 0}};

struct Link {
    const char* node;
    const char* next;
    int subnet, branch, linkno;
    const char* type;
    int size1, size2;
    bool selected;
};

class TableTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(code4initLow(&code, nullptr, 6401, 1300), 0); }
    void TearDown() override { code4initUndo(&code); }

    void put(DATA4* data, const char* field, const char* text) { f4assign(d4field(data, field), text); }
    void putZeros(DATA4* data, const char* field, int value) {
        FIELD4* f = d4field(data, field);
        char text[16];
        std::snprintf(text, sizeof text, "%0*d", f4len(f), value);
        f4assign(f, text);
    }
    std::string text(DATA4* data, const char* field) {
        std::string s = f4str(d4field(data, field));
        return s.substr(0, s.find_last_not_of(' ') + 1);
    }

    DATA4* makeLinks(const std::string& path, const std::vector<Link>& links) {
        DATA4* data = d4create(&code, path.c_str(), kLinkFields, kLinkTags);
        EXPECT_NE(data, nullptr) << code.errorCode;
        for (const Link& l : links) {
            EXPECT_EQ(d4appendBlank(data), 0);
            put(data, "NODE", l.node);
            put(data, "NEXT_NODE", l.next);
            putZeros(data, "SUBNET", l.subnet);
            putZeros(data, "BRANCH", l.branch);
            putZeros(data, "LINKNO", l.linkno);
            put(data, "L_TYPE", l.type);
            f4assignInt(d4field(data, "SIZE1"), l.size1);
            f4assignInt(d4field(data, "SIZE2"), l.size2);
            f4assignChar(d4field(data, "SELECTED"), l.selected ? 'T' : 'F');
        }
        return data;
    }

    // A move's result and the record it leaves the table on.
    static std::pair<int, long> landed(DATA4* data, int rc) { return {rc, d4recNo(data)}; }

    // The record numbers of a whole walk in the current order, forwards or backwards.
    std::vector<long> walk(DATA4* data, bool forwards = true) {
        std::vector<long> seen;
        for (int rc = forwards ? d4top(data) : d4bottom(data); rc == 0; rc = d4skip(data, forwards ? 1 : -1))
            seen.push_back(d4recNo(data));
        return seen;
    }

    CODE4 code{};
    dbtest::TempDir dir;
};

const std::vector<Link> kLinks = {
    {"MH3", "MH4", 1, 2, 1, "PIPE", 300, 0, true},   {"MH1", "MH2", 1, 1, 1, "PIPE", 225, 0, false},
    {"MH2", "MH3", 1, 1, 2, "BOX", 600, 450, true},  {"MH1", "MH9", 2, 1, 1, "PIPE", 300, 0, true},
    {"MH10", "MH1", 1, 1, 10, "PIPE", 150, 0, true},
};

TEST_F(TableTest, StructureReadsBackThroughFieldInfoAndOutlivesTheTable) {
    DATA4* data = d4create(&code, dir.file("links.SET").c_str(), kLinkFields, nullptr);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::tuple(d4numFields(data), d4eof(data), dfile4recCount(data, -2L)), std::tuple(10, 1, 0L));
    FIELD4INFO* info = d4fieldInfo(data);
    d4close(data);
    ASSERT_NE(info, nullptr);
    int n = 0;
    for (; info[n].name; ++n)
        EXPECT_EQ(std::tuple(std::string(info[n].name), info[n].type, info[n].len, info[n].dec),
                  std::tuple(std::string(kLinkFields[n].name), kLinkFields[n].type, kLinkFields[n].len, kLinkFields[n].dec));
    EXPECT_EQ(n, 10);
    u4freeDefault(info);

    data = d4open(&code, dir.file("links.SET").c_str());
    ASSERT_NE(data, nullptr);
    FIELD4* level = d4field(data, "inlevel");  // names are found whatever their case
    EXPECT_EQ(std::tuple(f4type(level), f4len(level), f4decimals(level)), std::tuple(int('N'), 9, 3));
    EXPECT_EQ(d4field(data, "NOSUCH"), nullptr);
    EXPECT_EQ(d4fieldJ(data, 10), d4field(data, "SELECTED"));
    EXPECT_EQ(d4fieldJ(data, 11), nullptr);
}

TEST_F(TableTest, BadFieldListsCreateNothing) {
    const struct {
        FIELD4INFO fields[3];
        int error;   // 0: not checked
    } cases[] = {{{{"A", 'C', 4, 0, 0}, {"a", 'N', 4, 0, 0}, {}}, e4fieldName},   // the same name twice
                 {{{"A", 'X', 4, 0, 0}, {}}, e4fieldType},
                 {{{"ELEVENCHARS", 'C', 4, 0, 0}, {}}, 0},
                 {{{"A", 'N', 4, 4, 0}, {}}, 0}};   // as many decimals as the width
    for (const auto& c : cases) {
        EXPECT_EQ(d4create(&code, dir.file("a.dbf").c_str(), c.fields, nullptr), nullptr) << c.fields[0].name;
        if (c.error) {
            EXPECT_EQ(code.errorCode, c.error);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.dbf")));
    const TAG4INFO badTag[] = {{"T", "NOFIELD+A", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    const FIELD4INFO good[] = {{"A", 'C', 4, 0, 0}, {nullptr, 0, 0, 0, 0}};
    EXPECT_EQ(d4create(&code, dir.file("b.dbf").c_str(), good, badTag), nullptr);
    EXPECT_EQ(code.errorCode, e4expr);
}

TEST_F(TableTest, NumbersAreWrittenAtTheFieldsWidthAndDecimals) {
    const FIELD4INFO fields[] = {{"LEVEL", 'N', 9, 3, 0}, {"COUNT", 'N', 4, 0, 0}, {"CODE", 'C', 6, 0, 0},
                                 {"FLAG", 'L', 1, 0, 0},  {"RATIO", 'F', 8, 2, 0}, {nullptr, 0, 0, 0, 0}};
    DATA4* data = d4create(&code, dir.file("n.dbf").c_str(), fields, nullptr);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(d4appendBlank(data), 0);
    FIELD4* level = d4field(data, "LEVEL");
    FIELD4* count = d4field(data, "COUNT");
    FIELD4* codeField = d4field(data, "CODE");
    struct {
        double value;
        const char* stored;
        double readBack;
    } cases[] = {
        {12.3456, "   12.346", 12.346},   {-4.5, "   -4.500", -4.5},     {-0.0001, "    0.000", 0.0},
        {12345.678, "12345.678", 12345.678}, {123456.789, "123456.79", 123456.79},  // loses decimals to fit
        {12345678.9, " 12345679", 12345679},  {1234567890.0, "*********", 0.0},      // whole part too wide
    };
    for (const auto& c : cases) {
        f4assignDouble(level, c.value);
        EXPECT_STREQ(f4str(level), c.stored) << c.value;
        EXPECT_DOUBLE_EQ(f4double(level), c.readBack) << c.value;
    }
    // Text into a numeric field stays right-aligned, and so does a number in a text field.
    const struct {
        FIELD4* field;
        std::function<void(FIELD4*)> assign;
        const char* stored;
        long number;   // f4int and f4long afterwards
    } assigned[] = {
        {count, [](FIELD4* f) { f4assignLong(f, 42); }, "  42", 42},
        {count, [](FIELD4* f) { f4assignInt(f, 123456); }, "****", 0},
        {count, [](FIELD4* f) { f4assign(f, "7"); }, "   7", 7},
        {d4field(data, "RATIO"), [](FIELD4* f) { f4assignDouble(f, 0.125); }, "    0.13", 0},
        {codeField, [](FIELD4* f) { f4assignInt(f, 7); }, "     7", 7},
        {codeField, [](FIELD4* f) { f4assign(f, "0012"); }, "0012  ", 12},
        {codeField, [](FIELD4* f) { f4assign(f, "ABCDEFGHI"); }, "ABCDEF", 0},
    };
    for (const auto& a : assigned) {
        a.assign(a.field);
        EXPECT_EQ(std::tuple(std::string(f4str(a.field)), f4int(a.field), f4long(a.field)), std::tuple(a.stored, a.number, a.number))
            << a.stored;
    }

    FIELD4* flag = d4field(data, "FLAG");
    f4assignInt(flag, 1);
    EXPECT_EQ(std::tuple(f4char(flag), f4true(flag)), std::tuple('T', 1));
    f4assignChar(flag, 'F');
    EXPECT_FALSE(f4true(flag));

    // Written values survive closing and opening again, and the file ends as dBASE files end.
    f4assignDouble(level, 101.25);
    d4close(data);
    EXPECT_EQ(dbtest::readFile(dir.file("n.dbf")).back(), '\x1a');
    data = d4open(&code, dir.file("n.dbf").c_str());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::tuple(f4double(d4field(data, "LEVEL")), f4char(d4field(data, "FLAG"))), std::tuple(101.25, 'F'));

    char buffer[8] = "AB  ", cut[] = "ABCD  ";
    EXPECT_EQ(std::string(c4trimN(buffer, sizeof buffer)) + "|" + c4trimN(cut, 3), "AB|AB");
}

TEST_F(TableTest, ValuesCopyBetweenFieldsByTheirMeaning) {
    const FIELD4INFO oldFields[] = {{"LEVEL", 'N', 9, 3, 0}, {"NAME", 'C', 4, 0, 0}, {"SUBNET", 'C', 4, 0, 0},
                                    {"EMPTY", 'N', 6, 2, 0}, {nullptr, 0, 0, 0, 0}};
    const FIELD4INFO newFields[] = {{"LEVEL", 'N', 12, 6, 0}, {"NAME", 'C', 8, 0, 0}, {"SUBNET", 'N', 4, 0, 0},
                                    {"EMPTY", 'N', 8, 2, 0}, {nullptr, 0, 0, 0, 0}};
    DATA4* from = d4create(&code, dir.file("old.dbf").c_str(), oldFields, nullptr);
    DATA4* to = d4create(&code, dir.file("new.dbf").c_str(), newFields, nullptr);
    ASSERT_TRUE(from && to);
    d4appendBlank(from);
    f4assignDouble(d4field(from, "LEVEL"), 12.5);
    f4assign(d4field(from, "NAME"), " AB");
    f4assign(d4field(from, "SUBNET"), "0007");
    d4appendBlank(to);
    for (int j = 1; j <= d4numFields(from); ++j)
        f4assignField(d4field(to, f4name(d4fieldJ(from, j))), d4fieldJ(from, j));
    std::string copied;   // a blank number stays blank
    for (const char* name : {"LEVEL", "NAME", "SUBNET", "EMPTY"}) copied += std::string(f4str(d4field(to, name))) + "|";
    EXPECT_EQ(copied, "   12.500000| AB     |   7|        |");
}

TEST_F(TableTest, EveryKindOfTagWalksInItsOrder) {
    DATA4* data = makeLinks(dir.file("links.SET"), kLinks);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(walk(data), (std::vector<long>{1, 2, 3, 4, 5}));  // record-number order

    // NODE: one text field, equal keys by record number; LINKORDER: concatenated fields;
    // CULVERT: STR() parts and a filter (record 2 is not selected); SIZEDOWN: descending;
    // ONENODE: unique, the second MH1 stays out, silently.
    const std::pair<const char*, std::vector<long>> orders[] = {
        {"NODE", {2, 4, 5, 3, 1}},     {"LINKORDER", {2, 3, 5, 1, 4}}, {"CULVERT", {3, 5, 1, 4}},
        {"SIZEDOWN", {3, 1, 4, 2, 5}}, {"ONENODE", {2, 5, 3, 1}}};
    for (const auto& [tag, order] : orders) {
        d4tagSelect(data, d4tag(data, tag));
        EXPECT_EQ(walk(data), order) << tag;
        if (std::string(tag) == "NODE") {
            EXPECT_EQ(walk(data, false), (std::vector<long>{1, 3, 5, 4, 2}));
        }
    }
    EXPECT_EQ(code.errorCode, 0);

    EXPECT_EQ(d4tagSelected(data), d4tag(data, "ONENODE"));
    d4tagSelect(data, nullptr);
    EXPECT_TRUE(d4tagSelected(data) == nullptr && d4tagDefault(data) == d4tag(data, "NODE"));
    EXPECT_EQ(std::pair(std::string(t4alias(d4tag(data, "culvert"))), t4keyLen(d4tag(data, "CULVERT"))), std::pair(std::string("CULVERT"), 16));

    // Skipping past either end.
    d4tagSelect(data, d4tag(data, "NODE"));
    ASSERT_EQ(d4bottom(data), 0);
    EXPECT_EQ(landed(data, d4skip(data, 1)), std::pair(int(r4eof), 6L));
    EXPECT_TRUE(d4eof(data));
    EXPECT_EQ(landed(data, d4skip(data, -1)), std::pair(0, 1L));  // back from eof to the last
    ASSERT_EQ(d4top(data), 0);
    EXPECT_EQ(landed(data, d4skip(data, -1)), std::pair(int(r4bof), 2L));
    EXPECT_TRUE(d4bof(data));
    EXPECT_EQ(landed(data, d4skip(data, 3)), std::pair(0, 3L));
    for (int rc : {d4go(data, 0), d4go(data, 6)}) EXPECT_EQ(rc, r4entry);
}

TEST_F(TableTest, SeeksFindTheFirstEqualKeyAndWalkDuplicates) {
    DATA4* data = makeLinks(dir.file("links.SET"), kLinks);
    d4tagSelect(data, d4tag(data, "NODE"));
    // a short key matches "MH1" and "MH10" on its length
    EXPECT_EQ(landed(data, d4seek(data, "MH1")), std::pair(0, 2L));
    EXPECT_EQ(landed(data, d4seekNext(data, "MH1")), std::pair(0, 4L));
    EXPECT_EQ(landed(data, d4seekNext(data, "MH1")), std::pair(0, 5L));
    EXPECT_EQ(landed(data, d4seekNext(data, "MH1")), std::pair(r4after, 3L));  // MH2 follows

    EXPECT_EQ(d4seek(data, "MH1       "), 0);  // the full key stops at the exact name
    EXPECT_EQ(landed(data, d4seekNext(data, "MH1       ")), std::pair(0, 4L));
    EXPECT_EQ(landed(data, d4seekNext(data, "MH1       ")), std::pair(r4after, 5L));

    EXPECT_EQ(landed(data, d4seek(data, "MH25")), std::pair(r4after, 1L));
    EXPECT_EQ(d4seek(data, "ZZ"), r4eof);
    EXPECT_TRUE(d4eof(data));
    // a longer key is cut to the tag's length
    EXPECT_EQ(landed(data, d4seek(data, "MH2XXXXXXXXXXXXXX")), std::pair(r4after, 1L));

    d4tagSelect(data, d4tag(data, "LINKORDER"));
    EXPECT_EQ(landed(data, d4seek(data, "0001")), std::pair(0, 2L));
    EXPECT_EQ(landed(data, d4seek(data, "000100010010")), std::pair(0, 5L));

    d4tagSelect(data, d4tag(data, "SIZEDOWN"));  // descending: "after" is the next smaller key
    EXPECT_EQ(landed(data, d4seekDouble(data, 300)), std::pair(0, 1L));
    EXPECT_EQ(landed(data, d4seekNext(data, " 300")), std::pair(0, 4L));
    EXPECT_EQ(landed(data, d4seekDouble(data, 250)), std::pair(r4after, 2L));

    d4tagSelect(data, d4tag(data, "CULVERT"));
    EXPECT_EQ(landed(data, d4seek(data, "BOX      600 450")), std::pair(0, 3L));
    EXPECT_EQ(d4seek(data, "PIPE     225"), r4after);  // record 2 is filtered out

    const FIELD4INFO plain[] = {{"A", 'C', 4, 0, 0}, {nullptr, 0, 0, 0, 0}};
    DATA4* untagged = d4create(&code, dir.file("plain.dbf").c_str(), plain, nullptr);
    EXPECT_EQ(d4seek(untagged, "A"), r4noTag);
}

TEST_F(TableTest, KeysFollowAssignmentsAppendsAndDeletionMarks) {
    DATA4* data = makeLinks(dir.file("links.SET"), kLinks);
    d4tagSelect(data, d4tag(data, "NODE"));
    ASSERT_EQ(d4seek(data, "MH3"), 0);
    put(data, "NODE", "AA1");  // the change takes effect in the order without a reindex
    EXPECT_EQ(d4seek(data, "MH3"), r4eof);
    EXPECT_EQ(landed(data, d4seek(data, "AA1")), std::pair(0, 1L));
    EXPECT_EQ(walk(data), (std::vector<long>{1, 2, 4, 5, 3}));

    // Changing the key of the current record and skipping moves on from its new place.
    ASSERT_EQ(d4seek(data, "MH2"), 0);
    put(data, "NODE", "MH0");
    ASSERT_EQ(d4skip(data, 1), 0);
    EXPECT_EQ(d4recNo(data), 2);

    // Clearing the filter field takes a record out of the filtered tag; setting it brings it back.
    d4tagSelect(data, d4tag(data, "CULVERT"));
    d4go(data, 3);
    f4assignChar(d4field(data, "SELECTED"), 'F');
    d4go(data, 2);
    f4assignChar(d4field(data, "SELECTED"), 'T');
    EXPECT_EQ(walk(data), (std::vector<long>{5, 2, 1, 4}));

    // A unique tag: a new record whose key is held stays out; a new key goes in.
    d4tagSelect(data, d4tag(data, "ONENODE"));
    d4appendBlank(data);
    put(data, "NODE", "MH10");
    d4appendBlank(data);
    put(data, "NODE", "MH11");
    EXPECT_EQ(walk(data), (std::vector<long>{1, 3, 2, 5, 7}));

    // Appending through d4appendStart copies the current record.
    d4tagSelect(data, d4tag(data, "NODE"));
    ASSERT_EQ(d4seek(data, "MH11"), 0);
    ASSERT_EQ(d4appendStart(data, 0), 0);
    put(data, "NEXT_NODE", "OUT");
    ASSERT_EQ(d4append(data), 0);
    EXPECT_EQ(d4recNo(data), 8);
    EXPECT_EQ(text(data, "NODE"), "MH11");
    EXPECT_EQ(d4seek(data, "MH11"), 0);
    EXPECT_EQ(landed(data, d4seekNext(data, "MH11")), std::pair(0, 8L));

    // A tag on the deletion mark follows d4delete and d4recall.
    INDEX4* extra = i4create(data, dir.file("extra.idx").c_str(), nullptr);
    ASSERT_NE(extra, nullptr);
    const TAG4INFO live[] = {{"LIVE", "NODE", ".NOT. DELETED()", 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    ASSERT_EQ(i4tagAdd(extra, live), 0);
    d4tagSelect(data, d4tag(data, "LIVE"));
    EXPECT_EQ(walk(data).size(), 8u);
    d4go(data, 4);
    d4delete(data);
    EXPECT_TRUE(d4deleted(data));
    EXPECT_EQ(walk(data).size(), 7u);
    d4go(data, 4);
    d4recall(data);
    EXPECT_EQ(walk(data).size(), 8u);
}

TEST_F(TableTest, DeletedRecordsAreVisitedUntilPackAndZapEmpties) {
    DATA4* data = makeLinks(dir.file("links.SET"), kLinks);
    d4go(data, 2);
    d4delete(data);
    d4go(data, 4);
    d4delete(data);
    std::vector<int> marks;
    for (int rc = d4top(data); rc == 0; rc = d4skip(data, 1)) marks.push_back(d4deleted(data));
    EXPECT_EQ(marks, (std::vector<int>{0, 1, 0, 1, 0}));
    d4close(data);

    data = d4open(&code, dir.file("links.SET").c_str());  // the marks are in the file
    ASSERT_NE(data, nullptr);
    d4go(data, 4);
    EXPECT_TRUE(d4deleted(data));
    ASSERT_EQ(d4pack(data), 0);
    EXPECT_EQ(std::pair(d4recCount(data), d4recNo(data)), std::pair(3L, 1L));
    d4tagSelect(data, d4tag(data, "NODE"));  // the index beside the table was opened with it
    EXPECT_EQ(walk(data), (std::vector<long>{3, 2, 1}));
    EXPECT_EQ(landed(data, d4seek(data, "MH10")), std::pair(0, 3L));
    EXPECT_EQ(d4seek(data, "MH1       "), r4after);

    ASSERT_EQ(d4zap(data, 2, 2), 0);
    EXPECT_EQ(walk(data), (std::vector<long>{2, 1}));
    ASSERT_EQ(d4zap(data, 1, 1000000000L), 0);
    EXPECT_EQ(d4recCount(data), 0);
    for (int rc : {d4top(data), d4seek(data, "MH")}) EXPECT_EQ(rc, r4eof);
    d4close(data);
    data = d4open(&code, dir.file("links.SET").c_str());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::pair(d4recCount(data), d4eof(data)), std::pair(0L, 1));
    EXPECT_EQ(d4appendBlank(data), 0);  // an emptied table takes records again
    EXPECT_EQ(d4recCount(data), 1);
}

TEST_F(TableTest, ContextKeepsSeveralTablesAndSwitchesDecideWhatIsAnError) {
    DATA4* first = makeLinks(dir.file("a.SET"), kLinks);
    DATA4* second = makeLinks(dir.file("b.SET"), {kLinks[0]});
    ASSERT_TRUE(first && second);
    ASSERT_EQ(code4initLow(&code, nullptr, 6401, 1300), 0);  // again, with tables open
    d4tagSelect(first, d4tag(first, "NODE"));
    EXPECT_EQ(d4seek(first, "MH2"), 0);
    EXPECT_EQ(d4recCount(second), 1);

    // A missing table is none; with the switches cleared it is not even an error.
    code.autoOpen = code.errOpen = code.errTagName = code.safety = 0;
    EXPECT_EQ(d4open(&code, dir.file("missing.SET").c_str()), nullptr);
    EXPECT_EQ(d4tag(first, "NOSUCH"), nullptr);
    EXPECT_EQ(code.errorCode, 0);
    code.errOpen = code.errTagName = 1;
    EXPECT_EQ(d4open(&code, dir.file("missing.SET").c_str()), nullptr);
    EXPECT_EQ(code.errorCode, e4open);
    EXPECT_EQ(d4tag(first, "NOSUCH"), nullptr);
    EXPECT_EQ(code.errorCode, e4tagName);

    // Without autoOpen the table opens without its tags; i4open opens them.
    d4close(second);
    DATA4* again = d4open(&code, dir.file("b.SET").c_str());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(d4tagDefault(again), nullptr);
    INDEX4* index = i4open(again, nullptr);
    ASSERT_NE(index, nullptr);
    EXPECT_NE(d4tag(again, "LINKORDER"), nullptr);
    EXPECT_EQ(d4index(again, nullptr), index);
    // code4initUndo in TearDown closes what is still open.
}

TEST_F(TableTest, IndexFilesListAddAndRebuildTags) {
    DATA4* data = makeLinks(dir.file("links.SET"), kLinks);
    INDEX4* index = i4create(data, dir.file("links.SEX").c_str(), kLinkTags + 3);  // two tags
    ASSERT_NE(index, nullptr);
    const TAG4INFO more[] = {{"SIZEDOWN", "STR(SIZE1,4,0)", nullptr, 0, r4descending},
                             {"NEXT_NODE", "NEXT_NODE", nullptr, 0, 0},
                             {nullptr, nullptr, nullptr, 0, 0}};
    ASSERT_EQ(i4tagAdd(index, more), 0);  // only the missing tag is added
    d4close(data);

    code.autoOpen = 0;
    data = d4open(&code, dir.file("links.SET").c_str());
    index = i4open(data, dir.file("links.SEX").c_str());
    ASSERT_NE(index, nullptr);
    TAG4INFO* tags = i4tagInfo(index);
    ASSERT_NE(tags, nullptr);
    std::vector<std::string> names;
    for (int i = 0; tags[i].name; ++i) names.push_back(tags[i].name);
    EXPECT_EQ(names, (std::vector<std::string>{"SIZEDOWN", "ONENODE", "NEXT_NODE"}));
    EXPECT_TRUE(tags[0].descending != 0 && tags[1].unique != 0);
    EXPECT_STREQ(tags[0].expression, "STR(SIZE1,4,0)");
    u4freeDefault(tags);

    d4tagSelect(data, d4tag(data, "NEXT_NODE"));
    EXPECT_EQ(walk(data), (std::vector<long>{5, 2, 3, 1, 4}));
    EXPECT_EQ(d4reindex(data), 0);
    EXPECT_EQ(walk(data), (std::vector<long>{5, 2, 3, 1, 4}));
}

TEST_F(TableTest, CreatingOverAnExistingTableReplacesItAndItsTags) {
    DATA4* data = makeLinks(dir.file("links.SET"), kLinks);
    d4close(data);
    const FIELD4INFO fields[] = {{"NAME", 'C', 17, 0, 0}, {nullptr, 0, 0, 0, 0}};
    data = d4create(&code, dir.file("links.SET").c_str(), fields, nullptr);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::pair(d4recCount(data), d4numFields(data)), std::pair(0L, 1));
    d4close(data);
    data = d4open(&code, dir.file("links.SET").c_str());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(d4tagDefault(data), nullptr);  // the old index went with the old table
}

// ---- Damaged files -----------------------------------------------------------------------------

class DamagedTableTest : public TableTest {
protected:
    std::string made() {
        DATA4* data = makeLinks(dir.file("links.SET"), kLinks);
        d4close(data);
        return dbtest::readFile(dir.file("links.SET"));
    }
    static void putU32(std::string& bytes, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
    }
    static void putU16(std::string& bytes, size_t at, unsigned v) {
        bytes[at] = char(v & 0xFF);
        bytes[at + 1] = char((v >> 8) & 0xFF);
    }
    DATA4* reopen(const std::string& bytes) {
        dbtest::writeFile(dir.file("links.SET"), bytes);
        return d4open(&code, dir.file("links.SET").c_str());
    }
};

// A header that does not match the file is refused, and the file is left exactly as it was (no
// header rewritten to the shorter count); one that counts more records than the file holds says
// so with both counts.
TEST_F(DamagedTableTest, HeadersThatDoNotMatchTheFileAreRefusedAndLeftAlone) {
    std::string good = made();
    size_t headerLength = size_t(static_cast<unsigned char>(good[8])) | size_t(static_cast<unsigned char>(good[9])) << 8;
    size_t recordLength = size_t(static_cast<unsigned char>(good[10])) | size_t(static_cast<unsigned char>(good[11])) << 8;
    std::string oneMore = good, huge = good, pastEnd = good, badRecord = good, shortHeader = good, noWidth = good;
    putU32(oneMore, 4, 6);
    putU32(huge, 4, 0x7FFFFFFF);
    putU16(pastEnd, 8, 0xFFF0);     // header length past the end of the file
    putU16(badRecord, 10, 7);       // record length that does not add up to the fields
    putU16(shortHeader, 8, 40);     // header length shorter than the field descriptors
    noWidth[32 + 16] = 0;           // a field of no width
    std::string noise(4096, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 13);
    const struct {
        std::string bytes;
        const char* counts;   // nullptr: the message is not checked
    } cases[] = {
        {pastEnd, nullptr}, {badRecord, nullptr}, {shortHeader, nullptr}, {noWidth, nullptr},
        {good.substr(0, 20), nullptr}, {"", nullptr}, {noise, nullptr},
        {good.substr(0, headerLength + 3 * recordLength + recordLength / 2), "counts 5 records, but the file holds 3."},
        {oneMore, "counts 6 records, but the file holds 5."},
        {huge, "counts 2147483647 records, but the file holds 5."},
    };
    ScriptedUi ui;
    platformSetDefaultUi(&ui);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.counts ? c.counts : std::to_string(&c - cases));
        ui.clear();
        code.errorCode = 0;
        EXPECT_EQ(reopen(c.bytes), nullptr);
        EXPECT_EQ(code.errorCode, e4data);
        if (c.counts) {
            ASSERT_EQ(ui.texts().size(), 1u);
            EXPECT_EQ(ui.texts()[0], "The table " + dir.file("links.SET") + " is damaged: its header " + c.counts);
        }
        EXPECT_TRUE(dbtest::readFile(dir.file("links.SET")) == c.bytes);
    }
    platformSetDefaultUi(nullptr);
}

// A write that fails (full disk, read-only file, failing device) is reported by the call that
// meets it, by every later write and by the close, and the file keeps its old bytes.
TEST_F(DamagedTableTest, AFailedWriteIsReportedAndTheFileKeepsItsBytes) {
    made();
    const std::string path = dir.file("links.SET");
    const std::uint64_t before = dbtest::fileHash(path);
    const struct {
        const char* what;
        std::function<int(DATA4*)> change;
    } cases[] = {
        {"changed field", [this](DATA4* d) { put(d, "NODE", "MH99"); return d4flush(d); }},
        {"appended record", [this](DATA4* d) { d4appendBlank(d); put(d, "NODE", "NEW"); return d4flush(d); }},
        {"pack", [](DATA4* d) { d4go(d, 2); d4delete(d); return d4pack(d); }},
    };
    for (const auto& plan : {dbtest::FileFault::fullDisk("links.SET", 0), dbtest::FileFault::readOnly("links.SET")})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (plan.refuseOpen ? ", read-only file" : ", full disk"));
            code.errorCode = 0;
            DATA4* data = nullptr;
            {
                dbtest::FileFault fault(plan);
                data = d4open(&code, path.c_str());
                ASSERT_NE(data, nullptr);
                ASSERT_EQ(d4go(data, 1), 0);
                EXPECT_EQ(c.change(data), e4write);
                EXPECT_EQ(code.errorCode, e4write);
                EXPECT_NE(coreFileLastError(), 0);
            }
            put(data, "NODE", "LATER");   // the table stays failed once a write was lost
            EXPECT_EQ(d4close(data), e4write);
            EXPECT_EQ(dbtest::fileHash(path), before);
            EXPECT_FALSE(std::filesystem::exists(path + ".tmp~"));
        }
}

// Whatever the damage, a table opens as none or opens and reads to its end.
TEST_F(DamagedTableTest, MangledHeadersAndCutsNeverReadPastTheFile) {
    std::string good = made();
    auto exercise = [](DATA4* data) {
        if (!data) return;
        for (int rc = d4top(data); rc == 0; rc = d4skip(data, 1))
            for (int j = 1; j <= d4numFields(data); ++j) {
                f4str(d4fieldJ(data, j));
                f4double(d4fieldJ(data, j));
            }
        d4seek(data, "MH1");
        d4close(data);
    };
    for (size_t cut = 0; cut < good.size(); cut += 7) exercise(reopen(good.substr(0, cut)));
    uint32_t state = 12345;
    auto next = [&state] { return state = state * 1103515245u + 12345u; };
    for (int round = 0; round < 300; ++round) {
        std::string bytes = good;
        for (int k = 0; k < 3; ++k) bytes[(next() >> 8) % 400] = char(next() >> 16);
        exercise(reopen(bytes));
    }
}

TEST_F(DamagedTableTest, AGarbageIndexLeavesTheTableOpenWithoutTags) {
    made();
    std::string index = dbtest::readFile(dir.file("links.mdx"));
    ASSERT_FALSE(index.empty());
    for (std::string bad : {std::string("not an index at all"), index.substr(0, index.size() - 3),
                            std::string(index).replace(20, 3, "XYZ"), std::string()}) {
        dbtest::writeFile(dir.file("links.mdx"), bad);
        code.errorCode = 0;
        DATA4* data = d4open(&code, dir.file("links.SET").c_str());
        ASSERT_NE(data, nullptr);
        EXPECT_TRUE(d4tagDefault(data) == nullptr && code.errorCode == e4index);
        EXPECT_EQ(i4open(data, nullptr), nullptr);
        // Creating the index again brings the tags back.
        ASSERT_NE(i4create(data, nullptr, kLinkTags), nullptr);
        d4tagSelect(data, d4tag(data, "NODE"));
        EXPECT_EQ(walk(data), (std::vector<long>{2, 4, 5, 3, 1}));
        d4close(data);
    }
    // An index whose tags name fields the table lacks is as good as damaged.
    const FIELD4INFO other[] = {{"NAME", 'C', 8, 0, 0}, {nullptr, 0, 0, 0, 0}};
    code.autoOpen = 0;
    DATA4* data = d4create(&code, dir.file("other.dbf").c_str(), other, nullptr);
    EXPECT_EQ(i4open(data, dir.file("links.mdx").c_str()), nullptr);
    EXPECT_EQ(code.errorCode, e4index);
}

}  // namespace
