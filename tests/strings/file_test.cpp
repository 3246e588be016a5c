// The strings file on disk: layouts, slots, continuation sections, deletion and reuse, and
// damaged files.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <tuple>

#include "strings/strings_fixture.h"
#include "strings/strings_internal.h"

namespace {

std::string nameAt(const std::string& data, std::int64_t offset) {
    if (offset + 32 > static_cast<std::int64_t>(data.size())) return "<outside>";
    return std::string(data.c_str() + offset);
}

// The names at the offsets, joined by "|".
std::string namesAt(const std::string& data, std::initializer_list<std::int64_t> offsets) {
    std::string out;
    for (std::int64_t offset : offsets) out += nameAt(data, offset) + "|";
    return out;
}

// A value of each kind at its offset, printed: d double, f float, i int32, s int16, c a byte.
template <typename T>
T valueAt(const std::string& data, std::size_t offset) {
    T value{};
    if (offset + sizeof(T) <= data.size()) std::memcpy(&value, data.data() + offset, sizeof(T));
    return value;
}

std::string valuesAt(const std::string& data, std::int64_t base, std::initializer_list<std::pair<std::int64_t, char>> fields) {
    std::ostringstream out;
    out.precision(17);   // every digit: the values are compared exactly
    for (const auto& [offset, kind] : fields) {
        const std::size_t at = static_cast<std::size_t>(base + offset);
        switch (kind) {
            case 'd': out << valueAt<double>(data, at); break;
            case 'f': out << valueAt<float>(data, at); break;
            case 'i': out << valueAt<std::int32_t>(data, at); break;
            case 's': out << valueAt<std::int16_t>(data, at); break;
            default: out << (at < data.size() ? int(data[at]) : -999);
        }
        out << ' ';
    }
    return out.str();
}

}  // namespace

TEST_F(StringsTest, NewFileIsTwelveBytesOfDefaults) {
    const std::string path = openOwn();
    const std::string data = bytes(path);
    ASSERT_EQ(data.size(), 12u);
    EXPECT_EQ(data, std::string("\0\x40\0\0\0\0\0\0\0\0\0\0", 12));
    // Opening it again keeps it as it is.
    ASSERT_EQ(dbfStringOpenFile(path.c_str()), 1);
    EXPECT_EQ(bytes(path).size(), 12u);
    EXPECT_EQ(dbfStringOpenFile(file("missing/none.str").c_str()), 0);
}

TEST_F(StringsTest, HeaderAndVertexLayoutsAreByteExact) {
    const std::string path = openOwn();
    UI_LIST list(dbfStringCompareFunc);
    auto* v = vertex(12.5, 1000.25, 2000.75, 55.5);
    v->offset = 3.5f;
    v->rise = -1.0f;
    v->slope = 2.0f;
    v->vertexKind = 'i';
    v->isolated = 1;
    v->pointRef = 77;
    v->skew = 0.25f;
    list.Add(v);
    list.Add(vertex(20.0, 1010.0, 1990.0));
    STR_HEADER h = header("ROAD", "LEFT");
    std::strcpy(h.note, "a note");
    const DWORD position = dbfAddStringHeader(h, nullptr, "");
    ASSERT_EQ(position, 12u);
    ASSERT_EQ(dbfAddStringData(position, list, 2, nullptr), 1);

    const std::string data = bytes(path);
    ASSERT_EQ(data.size(), static_cast<std::size_t>(12 + 3922));
    // The file header: closed mark, version, count, surface (no terrain open: every surface
    // is free).
    EXPECT_EQ(valuesAt(data, 0, {{0, 'c'}, {1, 's'}, {3, 's'}, {5, 's'}}), "49 64 1 1 ");

    // The slot's header: name, note, kind, vertex count, flag, child, and the box: the floor of
    // the smallest and the ceiling of the largest x and y.
    const std::int64_t s = slot(0);
    EXPECT_EQ(namesAt(data, {s, s + 32, s + 64, s + 77}), "ROAD|a note|LINE|LEFT|");
    EXPECT_EQ(valuesAt(data, s, {{72, 's'}, {76, 'c'}, {205, 'i'}, {209, 'i'}, {213, 'i'}, {217, 'i'}, {221, 'c'}}),
              "2 1 1000 1990 1010 2001 0 ");
    // The first vertex record, field by field (kind 'i' is 105; the reference 77 is unsigned);
    // unused records of the slot are blank: numbers 0, kind ' ' (32).
    const std::int64_t r = s + 222;
    EXPECT_EQ(valuesAt(data, r, {{0, 'd'}, {8, 'd'}, {16, 'd'}, {24, 'd'}, {32, 'f'}, {36, 'f'}, {40, 'f'}, {44, 'f'}, {56, 'c'},
                                 {57, 'c'}, {58, 'i'}, {62, 'd'}, {70, 'f'}, {2 * 74 + 8, 'd'}, {2 * 74 + 56, 'c'}}),
              "12.5 1000.25 2000.75 55.5 3.5 -1 2 9999 105 1 77 12.5 0.25 0 32 ");

    // A header with an empty box when nothing is stored, and a second slot at 12 + 3922.
    ASSERT_EQ(addHeader("EMPTY"), static_cast<DWORD>(slot(1)));
    const std::string after = bytes(path);
    EXPECT_EQ(at<std::int32_t>(after, slot(1) + 205), 0x7FFFFFFF);
    EXPECT_EQ(at<std::int32_t>(after, slot(1) + 213), -0x7FFFFFFF);
    EXPECT_EQ(at<std::int16_t>(after, 3), 2);
}

TEST_F(StringsTest, LongStringsSpanContinuationSections) {
    const std::string path = openOwn();
    UI_LIST list(dbfStringCompareFunc);
    straight(list, 120);
    const DWORD position = addString("ROAD", list);
    ASSERT_EQ(position, 12u);

    const std::string data = bytes(path);
    ASSERT_EQ(data.size(), static_cast<std::size_t>(12 + 3 * 3922));
    EXPECT_EQ(at<std::int16_t>(data, 3), 3);
    // Each slot: its name, previous and next section, and vertex count.
    for (const auto& [k, names, count] : {std::tuple{0, "ROAD||ROAD-1|", 50}, {1, "ROAD-1|ROAD|ROAD-2|", 50}, {2, "ROAD-2|ROAD-1||", 20}}) {
        EXPECT_EQ(namesAt(data, {slot(k), slot(k) + 141, slot(k) + 173}), names);
        EXPECT_EQ(at<std::int16_t>(data, slot(k) + 72), count) << k;
    }
    // Each section's box covers its own vertices only.
    EXPECT_EQ(valuesAt(data, slot(1), {{205, 'i'}, {213, 'i'}}), "1051 1100 ");

    UI_LIST all(dbfStringCompareFunc);
    ASSERT_EQ(dbfGetStringData(position, all, 0, 0, nullptr), 1);
    ASSERT_EQ(all.Count(), 120);
    int expected = 1;
    for (UI_ELEMENT* e = all.Head(); e; e = e->Next(), ++expected)
        EXPECT_EQ(static_cast<CVertexEle*>(e)->chainage, expected);

    UI_LIST second;
    ASSERT_EQ(dbfGetStringData(position, second, 0, 2, nullptr), 1);
    ASSERT_EQ(second.Count(), 50);
    EXPECT_EQ(std::pair(static_cast<CVertexEle*>(second.Head())->chainage, static_cast<CVertexEle*>(second.Tail())->chainage),
              std::pair(51.0, 100.0));
    UI_LIST none;
    EXPECT_EQ(dbfGetStringData(position, none, 0, 4, nullptr), 0);
    EXPECT_EQ(dbfGetStringData(11, none, 0, 0, nullptr), 0);

    // A section holding a single vertex is joined to the section read before it.
    list.Destroy();
    straight(list, 101);
    addString("ROAD", list);
    UI_LIST joined;
    dbfGetStringData(position, joined, 0, 2, nullptr);
    ASSERT_EQ(joined.Count(), 51);
    EXPECT_EQ(static_cast<CVertexEle*>(joined.Tail())->chainage, 101);
}

TEST_F(StringsTest, FewerVerticesFreeSectionsAndFreedSlotsAreReused) {
    const std::string path = openOwn();
    UI_LIST list(dbfStringCompareFunc);
    straight(list, 120);
    const DWORD position = addString("ROAD", list);
    list.Destroy();
    straight(list, 30);
    ASSERT_EQ(dbfAddStringData(position, list, 30, nullptr), 1);

    std::string data = bytes(path);
    EXPECT_EQ(valuesAt(data, 0, {{3, 's'}, {slot(0) + 72, 's'}}), "1 30 ");
    EXPECT_EQ(namesAt(data, {slot(0) + 173, slot(1), slot(2)}), "|_deleteme|_deleteme|");
    EXPECT_EQ(vertexCount(position), 30);

    // The next header lands in the first freed slot; the file does not grow.
    const std::size_t length = data.size();
    EXPECT_EQ(addHeader("KERB"), static_cast<DWORD>(slot(1)));
    data = bytes(path);
    EXPECT_EQ(std::pair(data.size(), at<std::int16_t>(data, 3)), std::pair(length, std::int16_t{2}));

    // A header whose name is present overwrites its slot and keeps the count.
    STR_HEADER again = header("KERB");
    std::strcpy(again.note, "second");
    EXPECT_EQ(dbfAddStringHeader(again, nullptr, ""), static_cast<DWORD>(slot(1)));
    STR_HEADER read;
    EXPECT_EQ(dbfGetStringHeader("KERB", read, nullptr), static_cast<DWORD>(slot(1)));
    EXPECT_STREQ(read.note, "second");
    EXPECT_EQ(at<std::int16_t>(bytes(path), 3), 2);

    // A header naming itself as its child is refused.
    EXPECT_EQ(addHeader("SELF", "SELF"), 0u);
    EXPECT_TRUE(ui.showed("Data inconsistency in string SELF\nParent and child have same name"));
}

TEST_F(StringsTest, SectionBreaksStartNewSections) {
    openOwn();
    UI_LIST list(dbfStringCompareFunc);
    straight(list, 10);
    static_cast<CVertexEle*>(list.Get(4))->sectionBreak = 1;
    static_cast<CVertexEle*>(list.Get(7))->active = 0;   // skipped when stored
    const DWORD position = addString("ROAD", list);
    STR_HEADER h;
    ASSERT_NE(dbfGetStringHeader("ROAD-1", h, nullptr), 0u);
    EXPECT_STREQ(h.previousSection, "ROAD");
    EXPECT_EQ(static_cast<CVertexEle*>(list.Get(4))->sectionBreak, 0);
    EXPECT_EQ(vertexCount(position, 1), 4);
    EXPECT_EQ(vertexCount(position), 9);
}

TEST_F(StringsTest, DeletionMarksChainsAndClearsLinks) {
    const std::string path = openOwn();
    UI_LIST list(dbfStringCompareFunc);
    straight(list, 60);
    addString("ROAD", list, "LEFT", "RIGHT");
    addHeader("LEFT", "LEFT_2");
    addHeader("RIGHT");
    addHeader("LEFT_2");
    EXPECT_EQ(at<std::int16_t>(bytes(path), 3), 5);

    STR_HEADER root;
    dbfGetStringHeader("ROAD", root, nullptr);
    dbfDeleteChildren(root, nullptr, "");
    STR_HEADER h;
    for (const char* name : {"LEFT", "LEFT_2", "RIGHT"}) EXPECT_EQ(dbfGetStringHeader(name, h, nullptr), 0u) << name;
    dbfGetStringHeader("ROAD", root, nullptr);
    EXPECT_EQ(std::string(root.firstChild) + "|" + root.secondChild, "|");
    EXPECT_EQ(at<std::int16_t>(bytes(path), 3), 2);

    dbfDeleteSections("ROAD", nullptr);
    EXPECT_EQ(dbfGetStringHeader("ROAD-1", h, nullptr), 0u);
    EXPECT_EQ(dbfDeleteString("ROAD", nullptr, ""), 0);
    EXPECT_EQ(at<std::int16_t>(bytes(path), 3), 0);
    // With nothing left to count, deleting does nothing.
    EXPECT_EQ(dbfDeleteString("ROAD", nullptr, ""), 0);
    EXPECT_EQ(at<std::int16_t>(bytes(path), 3), 0);
}

TEST_F(StringsTest, TreeQueriesFollowLinks) {
    openOwn();
    for (auto [name, first, second] : {std::tuple{"CL", "L_SHOULDER", "R_SHOULDER"}, std::tuple{"L_SHOULDER", "L_EDGE", ""},
                                       std::tuple{"L_EDGE", "L_TOE", ""}, std::tuple{"L_TOE", "", ""},
                                       std::tuple{"R_SHOULDER", "", "R_EDGE"}, std::tuple{"R_EDGE", "", ""}})
        ASSERT_NE(addHeader(name, first, second), 0u);
    STR_HEADER h;
    EXPECT_EQ(dbfGetParentHeader("L_EDGE", h, nullptr), static_cast<DWORD>(slot(1)));
    EXPECT_EQ(dbfGetLeafHeader(1, "CL", h, nullptr), static_cast<DWORD>(slot(3)));
    EXPECT_STREQ(h.name, "L_TOE");
    EXPECT_EQ(dbfGetLeafHeader(0, "CL", h, nullptr), static_cast<DWORD>(slot(5)));
    // A paired side string follows the other side to its leaf along the links of its own side:
    // L_SHOULDER has no second child and R_SHOULDER no first child.
    for (const auto& [name, previous] : {std::pair{"R_SHOULDER", 1}, {"L_SHOULDER", 4}, {"L_EDGE", 1}})
        EXPECT_EQ(dbfGetPreviousHeader(name, h, nullptr), static_cast<DWORD>(slot(previous))) << name;
    EXPECT_EQ(dbfGetPreviousHeader("CL", h, nullptr), 0u);
    EXPECT_STREQ(h.kind, "LINE");   // reset when not found
    EXPECT_EQ(dbfStringFamilySize(dbfStringFile(), "CL"), 4);
    EXPECT_EQ(dbfStringFamilySize(nullptr, "CL"), 0);

    // A link to a missing string ends the walk with nothing.
    addHeader("L_TOE", "GONE");
    EXPECT_EQ(dbfGetLeafHeader(1, "CL", h, nullptr), 0u);
}

TEST_F(StringsTest, FileHeaderFieldsAndSurface) {
    const std::string path = openOwn();
    FILE* own = dbfStringFile();
    dbfSetStringClosed(own, true);
    dbfSetStringCrdInterval(nullptr, 2.5);
    EXPECT_EQ(std::pair(dbfIsStringClosed(nullptr), dbfGetStringCrdInterval(own)), std::pair(1, 2.5f));
    EXPECT_EQ(valuesAt(bytes(path), 0, {{11, 'c'}, {7, 'f'}}), "1 2.5 ");

    // The surface: 0 and anything above 128 read as 1.
    EXPECT_EQ(dbfStringGetSurface(nullptr), 1);
    STR_FILEHEADER fh;
    coreFileSetPointer(0, 0, own);
    coreFileBinRead(&fh, 12, own);
    fh.surface = 200;
    coreFileSetPointer(0, 0, own);
    coreFileBinWrite(&fh, 12, own);
    EXPECT_EQ(dbfStringGetSurface(nullptr), 1);
    fh.surface = 9;
    coreFileSetPointer(0, 0, own);
    coreFileBinWrite(&fh, 12, own);
    EXPECT_EQ(dbfStringGetSurface(nullptr), 9);
}

TEST_F(StringsTest, SurfaceComesFromTheFilesSettings) {
    coreSetJobDefaultInt("StrLines_MAIN", "Surf", 7);
    coreSetJobDefaultInt("StrLines_Road3", "Surf", 12);
    // Without a setting (NEWONE), a free terrain surface gives surface 1, saved with the file's settings.
    for (auto [fileName, root, surface] : {std::tuple{"Site.MAIN.str", "MAIN", 7}, std::tuple{"Site.3.str", "CL", 12},
                                           std::tuple{"Site.NEWONE.str", "NEWONE", 1}}) {
        const std::string path = openOwn(fileName);
        addHeader(root);
        EXPECT_EQ(at<std::uint16_t>(bytes(path), 5), surface) << fileName;
    }
    EXPECT_EQ(coreGetJobDefaultInt("StrLines_NEWONE", "Surf", 0), 1);
}

TEST_F(StringsTest, CallerHandlesAndTheAccessor) {
    const std::string ownPath = openOwn();
    UI_LIST list(dbfStringCompareFunc);
    straight(list, 5);
    addString("OWN", list);

    // A second file reached through the caller's handle; the library's own file is untouched.
    const std::string other = file("Site.OTHER.str");
    char name[32] = "OTHER";
    char fileName[MAX_PATH];
    ASSERT_EQ(dbfTerrainStringsFile(name, fileName), 1);
    EXPECT_EQ(std::string(fileName), other);
    STR_FILEHEADER fh;
    FILE* handle = viewStringOpenFile(fileName, fh);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(+fh.version, 64);
    STR_HEADER h = header("OTHER");
    const DWORD position = dbfAddStringHeader(h, handle, fileName);
    ASSERT_EQ(position, 12u);
    list.Destroy();
    straight(list, 70);
    ASSERT_EQ(dbfAddStringData(position, list, 0, handle), 1);
    EXPECT_EQ(vertexCount(position, 0, handle), 70);
    const auto accessed = [](FILE* f) {
        return std::to_string(dbfStringAccessor(f, "")->header.count) + " " + dbfStringAccessor(f, "")->FileName();
    };
    EXPECT_EQ(accessed(handle), "2 " + std::string(fileName));
    coreFileClose(handle);
    EXPECT_EQ(accessed(nullptr), "1 " + ownPath);   // re-attached to the own file, the cached header is that file's
    EXPECT_EQ(dbfStringsClose(), 1);
    EXPECT_EQ(viewStringOpenFile(file("nothing.str").c_str(), fh), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Damaged files

class DamagedStringsTest : public StringsTest {
protected:
    std::string path;
    DWORD position = 0;

    void SetUp() override {
        StringsTest::SetUp();
        path = openOwn();
        UI_LIST list(dbfStringCompareFunc);
        straight(list, 120);
        position = addString("ROAD", list);
        dbfStringCloseFile();
    }

    void patch(std::int64_t offset, const std::string& bytes) {
        std::string data = dbtest::readFile(path);
        data.replace(static_cast<std::size_t>(offset), bytes.size(), bytes);
        dbtest::writeFile(path, data);
    }
    template <typename T>
    void patchValue(std::int64_t offset, T value) {
        patch(offset, std::string(reinterpret_cast<const char*>(&value), sizeof value));
    }
    int readAll() {
        EXPECT_EQ(dbfStringOpenFile(path.c_str()), 1);
        return vertexCount(position);
    }
};

TEST_F(DamagedStringsTest, LoopingChainsEnd) {
    // ROAD-2 leads back to ROAD-1.
    patch(slot(2) + 173, std::string("ROAD-1\0", 7));
    EXPECT_EQ(readAll(), 120);
    STR_HEADER h;
    ASSERT_NE(dbfGetStringHeader("ROAD", h, nullptr), 0u);
    dbfDeleteString("ROAD", nullptr, "");
    EXPECT_EQ(dbfGetStringHeader("ROAD-1", h, nullptr), 0u);
    EXPECT_EQ(dbfGetStringHeader("ROAD-2", h, nullptr), 0u);

    // Child links that loop end the walks too.
    addHeader("A", "B");
    addHeader("B", "A");
    STR_HEADER a = header("A", "B");
    EXPECT_EQ(dbfGetLeafHeader(1, "A", h, nullptr), 0u);
    EXPECT_GT(dbfStringFamilySize(dbfStringFile(), "A"), 0);
    dbfDeleteChildren(a, nullptr, "");
}

TEST_F(DamagedStringsTest, RefusedWhenOpenedAndLeftAsTheyWere) {
    // The file: header, ROAD (50 vertices), ROAD-1 (50), ROAD-2 (20): three whole slots.
    const std::string good = dbtest::readFile(path);
    ASSERT_EQ(good.size(), static_cast<std::size_t>(slot(3)));
    auto value = [](auto v) { return std::string(reinterpret_cast<const char*>(&v), sizeof v); };
    std::mt19937 gen(11);
    std::string noise(good.size(), '\0');
    for (char& c : noise) c = static_cast<char>(gen() & 0xFF);
    struct Case {
        const char* what;
        std::size_t length;   // the file is cut to this length first
        std::int64_t at;      // then these bytes go here
        std::string bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", 0, 0, "", "The file is shorter than its 12-byte header"},
        {"cut inside the file header", 7, 0, "", "The file is shorter than its 12-byte header"},
        {"cut inside a slot header", static_cast<std::size_t>(slot(1) + 100), 0, "",
         "The last slot ends 100 bytes into its 222-byte header"},
        {"cut inside a slot's vertices", static_cast<std::size_t>(slot(1) + 222 + 10 * 74 + 30), 0, "",
         "The file header counts 3 strings in 2 slots"},
        {"a slot's vertices beyond the end", static_cast<std::size_t>(slot(2) + 222 + 10 * 74), 0, "",
         "The vertices of slot 3 run past the end of the file"},
        {"random bytes", good.size(), 0, noise, "The file header gives version"},
        {"random bytes after the file header", good.size(), 12, noise.substr(12),
         "A name in slot 1 is not terminated"},
        {"negative count", good.size(), 3, value(std::int16_t{-17511}),
         "The file header counts -17511 strings in 3 slots"},
        {"count beyond the slots", good.size(), 3, value(std::int16_t{4}), "The file header counts 4 strings in 3 slots"},
        {"unknown version", good.size(), 1, value(std::int16_t{0}), "The file header gives version 0"},
        {"vertex count beyond a slot", good.size(), slot(0) + 72, value(std::int16_t{30000}),
         "Slot 1 claims 30000 vertices (a slot holds 50)"},
        {"negative vertex count", good.size(), slot(2) + 72, value(std::int16_t{-5}), "Slot 3 claims -5 vertices"},
        {"unterminated name", good.size(), slot(0), std::string(32, 'N'), "A name in slot 1 is not terminated"},
        {"unterminated next section", good.size(), slot(1) + 173, std::string(32, 'Q'),
         "A name in slot 2 is not terminated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good.substr(0, c.length);
        bytes.replace(static_cast<std::size_t>(c.at), c.bytes.size(), c.bytes);
        dbtest::writeFile(path, bytes);
        ui.clear();
        EXPECT_EQ(dbfStringOpenFile(path.c_str()), 0);
        EXPECT_EQ(dbfStringFile(), nullptr);
        EXPECT_TRUE(ui.showed("Corruption detected in the strings file " + path + "\n" + c.reason))
            << (ui.last() ? ui.last()->text : "");
        STR_FILEHEADER header;
        EXPECT_EQ(viewStringOpenFile(path.c_str(), header), nullptr);
        char newName[32] = "OTHER";
        EXPECT_EQ(dbfRenameString("ROAD", newName, path.c_str()), 0);
        EXPECT_EQ(dbtest::readFile(path), bytes);
    }
}

TEST_F(StringsTest, FailedWritesAreSaidAndReturnZero) {
    const std::string path = openOwn();
    UI_LIST list(dbfStringCompareFunc);
    straight(list, 70);
    const DWORD position = addString("ROAD", list);
    ASSERT_NE(position, 0u);
    const std::string before = bytes(path);
    struct Case {
        const char* what;
        const char* device;
        int error;
    };
    const Case cases[] = {{"read-only handle", nullptr, EBADF}, {"full disk", "/dev/full", ENOSPC}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.device && !std::filesystem::exists(c.device)) continue;
        FILE* own = stringsState().ownFile;
        stringsState().ownFile = c.device ? std::fopen(c.device, "r+b") : coreFileOpen(path.c_str(), "rb");
        ASSERT_NE(stringsState().ownFile, nullptr);
        const std::string expected = "Unable to write to the strings file " + path + "\n" + std::strerror(c.error);
        ui.clear();
        dbfSetStringClosed(nullptr, true);
        EXPECT_TRUE(ui.showed(expected)) << (ui.last() ? ui.last()->text : "");
        if (!c.device) {
            ui.clear();
            EXPECT_EQ(addHeader("NEW"), 0u);
            EXPECT_TRUE(ui.showed(expected));
            // The reads still work on the read-only handle: storing and deleting get that far.
            ui.clear();
            EXPECT_EQ(dbfAddStringData(position, list, 0, nullptr), 0);
            EXPECT_TRUE(ui.showed(expected));
            ui.clear();
            dbfDeleteString("ROAD", nullptr, "");
            EXPECT_TRUE(ui.showed(expected));
            EXPECT_EQ(ui.shown.size(), 1u);   // one message, not one per slot
        }
        std::fclose(stringsState().ownFile);
        stringsState().ownFile = own;
        EXPECT_EQ(bytes(path), before);
    }
}

TEST_F(StringsTest, VerticesThatAreNoNumbersAreNotStored) {
    const std::string path = openOwn();
    UI_LIST good(dbfStringCompareFunc);
    straight(good, 10);
    const DWORD position = addString("ROAD", good);
    const std::string before = bytes(path);
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        std::function<void(CVertexEle&)> spoil;
        const char* message;
    };
    const Case cases[] = {
        {"x nan", [&](CVertexEle& v) { v.x = nan; }, "Vertex 4 of string ROAD: nan is not a finite number"},
        {"z inf", [&](CVertexEle& v) { v.z = inf; }, "Vertex 4 of string ROAD: inf is not a finite number"},
        {"chainage -inf", [&](CVertexEle& v) { v.chainage = -inf; }, "-inf is not a finite number"},
        {"offset nan", [&](CVertexEle& v) { v.offset = static_cast<float>(nan); }, "nan is not a finite number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UI_LIST list;
        straight(list, 10);
        c.spoil(*static_cast<CVertexEle*>(list.Head()->Next()->Next()->Next()));
        ui.clear();
        EXPECT_EQ(dbfAddStringData(position, list, 0, nullptr), 0);
        EXPECT_TRUE(ui.showed(c.message)) << (ui.last() ? ui.last()->text : "");
        EXPECT_EQ(bytes(path), before);
    }
    ui.clear();
    dbfSetStringCrdInterval(nullptr, nan);
    EXPECT_TRUE(ui.showed("The coordinate interval nan is not a number the strings file can hold"));
    EXPECT_EQ(bytes(path), before);
}
