// The strings file reader: the input is opened through a caller's handle and as the library's
// own strings file; the file-header fields are read, every slot's string is looked up by name
// and read whole (with its continuation sections), with its parent, leaves, previous string
// and family; and the string tree is listed from each string as `sitebase strings list` does.
//
// The library's own walks (leaf, family, continuation sections) must end by themselves: a hang
// there is a libFuzzer timeout.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "database/strings.h"
#include "fuzz_common.h"

namespace {

std::uint64_t g_slots = 0;   // whole or partial slot headers in the input

// The names stored in the slots, terminated (a name without its terminator is cut to 31).
std::vector<std::string> slotNames(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> names;
    for (std::size_t at = kStrFileHeaderBytes; at + kStrHeaderBytes <= size; at += kStrSlotBytes) {
        char name[kStrNameChars + 1] = {};
        std::memcpy(name, data + at, kStrNameChars);
        names.emplace_back(name);
    }
    return names;
}

// The tree below a string, as the host lists it. This walk is the harness's own: a child link
// back up the tree would make it endless (and a tree of two such links exponential), so it
// visits at most one string per slot.
void listTree(FILE* f, const char* name, std::uint64_t& met) {
    if (++met > g_slots) return;
    STR_HEADER header{};
    if (!dbfGetStringHeader(name, header, f)) return;
    UI_LIST vertices;
    dbfGetStringData(dbfGetStringHeader(name, header, f), vertices, 0, 0, f);
    const std::string first(header.firstChild, strnlen(header.firstChild, sizeof header.firstChild));
    const std::string second(header.secondChild, strnlen(header.secondChild, sizeof header.secondChild));
    if (!first.empty()) listTree(f, first.c_str(), met);
    if (!second.empty()) listTree(f, second.c_str(), met);
}

void readStrings(FILE* f, const std::vector<std::string>& names) {
    dbfIsStringClosed(f);
    dbfGetStringCrdInterval(f);
    dbfStringGetSurface(f);
    for (const std::string& name : names) {
        STR_HEADER header{};
        const DWORD position = dbfGetStringHeader(name.c_str(), header, f);
        if (!position) continue;
        {
            UI_LIST vertices;
            dbfGetStringData(position, vertices, 0, 0, f);
            UI_LIST firstSection;
            dbfGetStringData(position, firstSection, 0, 1, f);
        }
        STR_HEADER other{};
        dbfGetParentHeader(name.c_str(), other, f);
        dbfGetLeafHeader(1, name.c_str(), other, f);
        dbfGetLeafHeader(0, name.c_str(), other, f);
        dbfGetPreviousHeader(name.c_str(), other, f);
        dbfStringFamilySize(f, name.c_str());
        std::uint64_t met = 0;
        listTree(f, name.c_str(), met);
    }
}

CVertexEle* vertex(double chainage, double x, double y, double z) {
    auto* v = new CVertexEle;
    v->chainage = chainage;
    v->x = x;
    v->y = y;
    v->z = z;
    return v;
}

void addString(const char* name, const char* first, const char* second, int vertices) {
    STR_HEADER h;
    dbfInitHeader(h);
    std::strncpy(h.name, name, kStrNameChars);
    std::strncpy(h.firstChild, first, kStrNameChars);
    std::strncpy(h.secondChild, second, kStrNameChars);
    const DWORD position = dbfAddStringHeader(h, nullptr, "");
    UI_LIST list;
    for (int i = 0; i < vertices; ++i) list.Add(vertex(i * 5.0, 1000.0 + i, 2000.0 + 0.5 * i, 100.0 + 0.01 * i));
    if (position) dbfAddStringData(position, list, list.Count(), nullptr);
}

// Seeds: a new file (header only); a family of a root with two children, the root long enough
// for one continuation section, and one deleted slot.
void makeSeeds(const std::string& out) {
    const std::string path = fuzz::folder() + "Site.ROAD.str";
    std::remove(path.c_str());
    dbfStringOpenFile(path.c_str());
    dbfStringCloseFile();
    fuzz::writeSeed(out, "empty", fuzz::readFile(path));

    std::remove(path.c_str());
    dbfStringOpenFile(path.c_str());
    addString("ROAD", "ROAD-L", "ROAD-R", 60);
    addString("ROAD-L", "", "", 3);
    addString("ROAD-R", "", "", 4);
    addString("SPARE", "", "", 2);
    dbfDeleteString("SPARE", nullptr, path.c_str());
    dbfStringCloseFile();
    fuzz::writeSeed(out, "family", fuzz::readFile(path));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startLibrary();
    fuzz::seedMode(makeSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::resetUi();
    const std::string path = fuzz::writeInput("Site.ROAD.str", data, size);
    const std::vector<std::string> names = slotNames(data, size);
    g_slots = names.size();

    STR_FILEHEADER header{};
    if (FILE* f = viewStringOpenFile(path.c_str(), header)) {
        readStrings(f, names);
        coreFileClose(f);
    }
    if (dbfStringOpenFile(path.c_str())) readStrings(nullptr, names);
    dbfStringCloseFile();
    dbfStringsClose();
    return 0;
}
