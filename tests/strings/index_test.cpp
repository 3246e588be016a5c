// The index of the slots by name against a plain scan of the file's bytes, and a store whose
// run of vertex records fails part way.
#include <cerrno>
#include <cstddef>
#include <functional>

#include "common/file_faults.h"
#include "strings/strings_fixture.h"
#include "strings/strings_internal.h"

namespace {

// A plain scan of the bytes: the first slot whose name (or either child link) is the name.
DWORD plainFind(const std::string& data, const std::string& name, bool asChild) {
    for (std::int64_t p = 12; p + 222 <= static_cast<std::int64_t>(data.size()); p += 3922) {
        auto field = [&](std::size_t offset) {
            const char* text = data.c_str() + p + offset;
            return std::string(text, strnlen(text, 31));
        };
        if (asChild ? field(offsetof(STR_HEADER, firstChild)) == name || field(offsetof(STR_HEADER, secondChild)) == name
                    : field(0) == name)
            return static_cast<DWORD>(p);
    }
    return 0;
}

int plainSlots(const std::string& data) {
    const std::int64_t body = static_cast<std::int64_t>(data.size()) - 12;
    return body < 222 ? 0 : static_cast<int>(body / 3922 + (body % 3922 >= 222 ? 1 : 0));
}

}  // namespace

TEST_F(StringsTest, IndexAgreesWithAPlainScanAfterEveryChange) {
    const std::string path = openOwn();
    auto store = [&](const char* name, int vertices) {
        UI_LIST list(dbfStringCompareFunc);
        straight(list, vertices);
        STR_HEADER h;
        const DWORD position = dbfGetStringHeader(name, h, nullptr);
        ASSERT_NE(position, 0u) << name;
        EXPECT_EQ(dbfAddStringData(position, list, vertices, nullptr), 1);
    };
    struct Step {
        const char* what;
        std::function<void()> run;
    };
    const Step steps[] = {
        {"a tree with a long root",
         [&] {
             UI_LIST list(dbfStringCompareFunc);
             straight(list, 120);
             addString("ROAD", list, "KERB", "EDGE");
             addHeader("KERB", "VERGE");
             addHeader("EDGE");
             addHeader("VERGE");
             addHeader("DITCH");
         }},
        // In place, in the middle of the file, through a stream of its own: the file keeps its
        // length, its file header and its first and last slots.
        {"a grandchild renamed",
         [&] {
             char newName[32] = "BERM";
             EXPECT_EQ(dbfRenameString("VERGE", newName, path.c_str()), 0);   // the root's header is unchanged
         }},
        {"a string deleted", [&] { dbfDeleteString("KERB", nullptr, ""); }},
        {"a new string in the freed slot",
         [&] {
             const DWORD expected = plainFind(bytes(path), kStrDeletedName, false);
             EXPECT_EQ(addHeader("DRAIN", "BERM"), expected);
         }},
        {"a shorter root frees its sections", [&] { store("ROAD", 30); }},
        {"a longer string takes freed slots and the end", [&] { store("EDGE", 160); }},
        {"a string added through a second stream on the file",
         [&] {
             STR_FILEHEADER fh;
             FILE* handle = viewStringOpenFile(path.c_str(), fh);
             ASSERT_NE(handle, nullptr);
             EXPECT_NE(addHeader("SIDE", "", "EDGE", handle), 0u);
             coreFileClose(handle);
         }},
        {"the sections of a string deleted", [&] { dbfDeleteSections("EDGE", nullptr); }},
        {"closed and opened again",
         [&] {
             dbfStringCloseFile();
             EXPECT_EQ(dbfStringOpenFile(path.c_str()), 1);
         }},
        {"a string added after the reopening", [&] { addHeader("TOE", "BERM"); }},
    };
    // A renamed string's new name comes before its old one: an index that missed the rename
    // would not find the new name at all, while the old one is checked when found.
    const std::string names[] = {"ROAD", "ROAD-1", "ROAD-2", "KERB", "EDGE", "EDGE-1", "EDGE-2", "EDGE-3",
                                 "BERM", "VERGE", "DITCH", "DRAIN", "SIDE", "TOE", kStrDeletedName, "", "NONE",
                                 std::string(40, 'X')};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.run();
        const std::string data = bytes(path);
        EXPECT_EQ(strIndexSlots(dbfStringFile()), plainSlots(data));
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            STR_HEADER h;
            EXPECT_EQ(dbfGetStringHeader(name.c_str(), h, nullptr), plainFind(data, name, false));
            EXPECT_EQ(dbfGetParentHeader(name.c_str(), h, nullptr), plainFind(data, name, true));
        }
    }
    // The renamed string kept its place and its parent's link followed it.
    const std::string data = bytes(path);
    EXPECT_EQ(plainFind(data, "VERGE", false), 0u);
    EXPECT_NE(plainFind(data, "BERM", true), 0u);
}

TEST_F(StringsTest, AFailedRunOfRecordsLeavesWhatTheFileTook) {
    const std::string path = openOwn();
    UI_LIST old(dbfStringCompareFunc);
    straight(old, 70);
    const DWORD position = addString("ROAD", old);   // ROAD (50 vertices) and ROAD-1 (20)
    ASSERT_EQ(position, 12u);
    const std::string before = bytes(path);

    UI_LIST fresh(dbfStringCompareFunc);
    for (int i = 1; i <= 70; ++i) fresh.Add(vertex(i, 1000.0 + i, 2000.0 + 0.5 * i, 150.0));
    std::string records;
    for (UI_ELEMENT* e = fresh.Head(); e; e = e->Next())
        records.append(reinterpret_cast<const char*>(&static_cast<CVertexEle*>(e)->Record()), 74);
    const std::string blankArea = before.substr(slot(1) + 222 + 20 * 74, 74);   // a blank record

    // Before the first run: the slot's blank records (3700), its header (222), ROAD-1 marked
    // deleted (222) and the file header's count (12).
    constexpr std::int64_t kBeforeRun = 3700 + 222 + 222 + 12;
    struct Case {
        const char* what;
        std::int64_t budget;   // bytes the disk takes
        int records;           // whole new records that reached the slot
        int partial;           // bytes of the next one
        int readBack;          // vertices the string then reads back
    };
    const Case cases[] = {
        {"nothing fits", 0, 0, 0, 70},
        {"the run stops after three records", kBeforeRun + 3 * 74, 3, 0, 3},
        {"the run stops inside a record", kBeforeRun + 3 * 74 + 10, 3, 10, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dbtest::writeFile(path, before);
        ASSERT_EQ(dbfStringOpenFile(path.c_str()), 1);
        ui.clear();
        {
            dbtest::FileFault full(dbtest::FileFault::fullDisk("Site.ROAD.str", c.budget));
            EXPECT_EQ(dbfAddStringData(position, fresh, 70, nullptr), 0);
        }
        EXPECT_TRUE(ui.showed("Unable to write to the strings file " + path + "\n" + std::strerror(ENOSPC)));
        EXPECT_EQ(ui.shown.size(), 1u);
        const std::string data = bytes(path);
        ASSERT_EQ(data.size(), before.size());   // nothing appended
        if (c.budget == 0) {
            EXPECT_EQ(data, before);
        } else {
            std::string area = records.substr(0, static_cast<std::size_t>(c.records * 74 + c.partial));
            area += blankArea.substr(static_cast<std::size_t>(c.partial));
            while (area.size() < 3700) area += blankArea;
            EXPECT_EQ(data.substr(slot(0) + 222, 3700), area);
            EXPECT_EQ(plainFind(data, kStrDeletedName, false), static_cast<DWORD>(slot(1)));
            EXPECT_EQ(at<std::int16_t>(data, 3), 1);   // the count without ROAD-1
        }
        EXPECT_EQ(vertexCount(position), c.readBack);
        STR_HEADER h;
        EXPECT_EQ(dbfGetStringHeader("ROAD-1", h, nullptr), plainFind(data, "ROAD-1", false));
        dbfStringCloseFile();
    }
}
