// The settings files: the input is loaded as an INI file (TINIFile over INI_LIST) and as the job
// settings store. Every section, key and line is read with every reader; the file must come
// back byte for byte when saved unchanged (the lists are line-preserving), which is checked;
// then keys are set, renamed and deleted on a copy, which must stay loadable.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "platform/core.h"

namespace {

[[noreturn]] void mismatch(const char* what, std::size_t expected, std::size_t got) {
    std::fprintf(stderr, "fuzz: %s: %zu bytes in, %zu bytes back\n", what, expected, got);
    std::abort();
}

void readEverything(const TINIFile& ini) {
    std::vector<std::string> sections;
    ini.ReadSections(sections);
    for (const std::string& section : sections) {
        std::vector<std::string> keys, lines;
        ini.ReadSection(section.c_str(), keys);
        ini.ReadSectionValues(section.c_str(), lines);
        ini.SectionLast(section.c_str());
        for (const std::string& key : keys) {
            char buffer[64];
            ini.ReadString(section.c_str(), key.c_str(), "", buffer, sizeof buffer);
            ini.ReadString(section.c_str(), key.c_str(), "");
            ini.ReadInteger(section.c_str(), key.c_str(), -1);
            ini.ReadFloat(section.c_str(), key.c_str(), -1.0);
            ini.ValueExists(section.c_str(), key.c_str());
        }
    }
    for (INI_LINE* line = ini.FirstLine(); line; line = line->Next()) {
        line->IsSection();
        line->IsComment();
        line->IsBlank();
        line->SectionName();
        line->Key();
        line->Value();
    }
}

// Edits on the loaded file: every key rewritten, the first section renamed, a key added, one
// deleted, a section deleted; saved and loaded again.
void edit(TINIFile& ini) {
    std::vector<std::string> sections;
    ini.ReadSections(sections);
    for (std::size_t i = 0; i < sections.size() && i < 8; ++i) {
        std::vector<std::string> keys;
        ini.ReadSection(sections[i].c_str(), keys);
        for (std::size_t k = 0; k < keys.size() && k < 8; ++k)
            ini.WriteString(sections[i].c_str(), keys[k].c_str(), "value");
        if (!keys.empty()) ini.DeleteKey(sections[i].c_str(), keys.front().c_str());
        ini.WriteFloat(sections[i].c_str(), "Added", 0.1);
    }
    if (!sections.empty()) ini.RenameSection(sections.front().c_str(), "Renamed");
    if (sections.size() > 1) ini.EraseSection(sections.back().c_str());
    ini.WriteInteger("New Section", "Key", 42);
    ini.UpdateFile();
    TINIFile again(ini.FileName());
    readEverything(again);
}

void readStores(const std::string& path) {
    coreSetJobFile(path.c_str());
    char buffer[MAX_PATH];
    coreGetJobDefault("Global", "Merolind", "", buffer, sizeof buffer);
    coreGetJobDefaultInt("Roads", "MaxRoads", 0);
    coreGetJobDefault("TerrainStrings", "StrName1", "", buffer, sizeof buffer);
    coreSetJobFile("");
}

void makeSeeds(const std::string& out) {
    fuzz::writeSeed(out, "settings",
                    "; program settings\r\n[Main]\r\nJobPath=C:\\Jobs\\Site.prj\r\nVirtualPath = /tmp/work \r\n\r\n"
                    "[Global]\r\nDTMRam=30\r\nToolTips=1\r\n[WindowPlacement]\r\nRoad=1,10,20,800,600\r\n");
    fuzz::writeSeed(out, "job", "[Global]\nMerolind=Site.prj\n[Terrain]\nNameFilt=ALL,--,--\n"
                                "[TerrainStrings]\nStrName1=ROAD\nodd line\n[Roads]\nRoadId=1\nMaxRoads=20");
    fuzz::writeSeed(out, "sewer", fuzz::readFile(fuzz::folder() + "lib/Sewer.SED"));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startLibrary();
    fuzz::seedMode(makeSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::resetUi();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = fuzz::writeInput("input.ini", bytes);
    {
        TINIFile ini(path.c_str());
        readEverything(ini);
        const std::string back = ini.Contents();
        if (back != bytes) mismatch("the INI file read unchanged", bytes.size(), back.size());
        edit(ini);
    }
    INI_LIST list;
    list.SetContents(bytes);
    if (list.Contents() != bytes) mismatch("the INI text set unchanged", bytes.size(), list.Contents().size());
    readStores(fuzz::writeInput("input.prj", bytes));
    return 0;
}
