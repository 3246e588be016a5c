// StringsTest: the library fixture with helpers for strings files: lists of vertices, raw
// bytes of the file, and a strings file opened through the caller's own handle.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "common/library_fixture.h"
#include "database/strings.h"

class StringsTest : public LibraryTest {
protected:
    // A vertex at chainage c on a straight line along x (x = c, y = 2c), with its own vertex
    // reference so that the spike test can see it.
    static CVertexEle* vertex(double chainage, double x, double y, double z = 100.0) {
        auto* v = new CVertexEle;
        v->chainage = chainage;
        v->x = x;
        v->y = y;
        v->z = z;
        v->vertexRef = chainage;
        return v;
    }

    // A straight string of n vertices, chainage 1..n.
    static void straight(UI_LIST& list, int n) {
        for (int i = 1; i <= n; ++i) list.Add(vertex(i, 1000.0 + i, 2000.0 + 0.5 * i));
    }

    // A header ready to add.
    static STR_HEADER header(const char* name, const char* first = "", const char* second = "") {
        STR_HEADER h;
        dbfInitHeader(h);
        std::strncpy(h.name, name, 31);
        std::strncpy(h.firstChild, first, 31);
        std::strncpy(h.secondChild, second, 31);
        return h;
    }

    // Adds a header (with the vertices of the list, if any) to the given file; its position.
    static DWORD addHeader(const char* name, const char* first = "", const char* second = "", FILE* f = nullptr) {
        STR_HEADER h = header(name, first, second);
        return dbfAddStringHeader(h, f, "");
    }
    static DWORD addString(const char* name, UI_LIST& list, const char* first = "", const char* second = "") {
        const DWORD position = addHeader(name, first, second);
        if (position) dbfAddStringData(position, list, list.Count(), nullptr);
        return position;
    }

    // How many vertices reading the string at position (only the given section, when not 0) gives.
    static int vertexCount(DWORD position, int section = 0, FILE* f = nullptr) {
        UI_LIST list;
        dbfGetStringData(position, list, 0, section, f);
        return list.Count();
    }

    // A job setting as text.
    static std::string job(const char* section, const char* key, const char* fallback = "") {
        char value[MAX_PATH];
        coreGetJobDefault(section, key, fallback, value, MAX_PATH);
        return value;
    }

    // The library's own strings file in the project folder.
    std::string openOwn(const std::string& name = "Site.ROAD.str") {
        const std::string path = file(name);
        EXPECT_EQ(dbfStringOpenFile(path.c_str()), 1);
        return path;
    }

    std::string bytes(const std::string& path) {
        coreFileSetPointer(0, 0, dbfStringFile());   // flushes pending writes
        std::fflush(dbfStringFile());
        return dbtest::readFile(path);
    }

    template <typename T>
    static T at(const std::string& data, std::size_t offset) {
        T value{};
        if (offset + sizeof(T) <= data.size()) std::memcpy(&value, data.data() + offset, sizeof(T));
        return value;
    }

    static std::int64_t slot(int k) { return 12 + static_cast<std::int64_t>(k) * 3922; }

    void TearDown() override {
        dbfStringCloseFile();
        LibraryTest::TearDown();
    }
};
