// The SWMM input lists: the input is loaded as a SWMM input file (SWMM_LIST). Every line is
// parsed into its key and fields, every section is looked up with every finder; the file must
// come back byte for byte when saved unchanged (the lists are line-preserving), which is checked;
// then sections and lines are added, replaced and removed as the storm table's upkeep does, and
// the result must load again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "platform/core.h"

namespace {

[[noreturn]] void mismatch(std::size_t expected, std::size_t got) {
    std::fprintf(stderr, "fuzz: the SWMM input read unchanged: %zu bytes in, %zu bytes back\n", expected, got);
    std::abort();
}

std::vector<std::string> readEverything(const SWMM_LIST& list) {
    std::vector<std::string> sections;
    for (SWMM_LINE* line = list.FirstLine(); line; line = line->Next()) {
        line->IsComment();
        line->IsBlank();
        line->Key();
        const int fields = line->FieldCount();
        for (int i = 1; i <= fields + 1 && i <= 64; ++i) {
            char buffer[32];
            line->GetField(i, buffer, sizeof buffer);
            line->Field(i);
        }
        if (line->IsHeader()) sections.push_back(line->SectionName());
    }
    for (const std::string& section : sections) {
        int first = 0, last = 0;
        list.GetSectionLimits(section.c_str(), first, last);
        list.FindSection(section.c_str());
        list.SectionLast(section.c_str());
        for (SWMM_LINE* line : list.SectionLines(section.c_str())) {
            list.FindLine(section.c_str(), line->Key().c_str());
            char buffer[64];
            list.GetString(section.c_str(), line->Key().c_str(), "", buffer, sizeof buffer);
        }
    }
    return sections;
}

void edit(SWMM_LIST& list, const std::vector<std::string>& sections) {
    for (std::size_t i = 0; i < sections.size() && i < 8; ++i) {
        const char* section = sections[i].c_str();
        list.SetString(section, "FLOW_UNITS", "LPS");
        list.Append(section, "J1", "100.0 2.0");
        list.AppendNoKey(section, "  ;added");
        if (SWMM_LINE* line = list.FindLine(section, "J1")) {
            line->DataSet("  99.5 1.0");
            list.InsertLine(line, "J2  98.0");
        }
        std::vector<SWMM_LINE*> lines = list.SectionLines(section);
        if (!lines.empty()) list.RemoveLine(lines.front());
    }
    list.AppendNewSection("JUNCTIONS");
    if (sections.size() > 1) list.DeleteSection(sections.back().c_str());
    list.Save();
    SWMM_LIST again(list.FileName(), "  ");
    readEverything(again);
}

void makeSeeds(const std::string& out) {
    fuzz::writeSeed(out, "storm", fuzz::readFile(fuzz::folder() + "lib/Storm.INP"));
    fuzz::writeSeed(out, "small",
                    "[TITLE]\r\nSite\r\n\r\n[OPTIONS]\r\nFLOW_UNITS  CMS\r\n;comment\r\n[JUNCTIONS]\r\n"
                    ";;Name Elev\r\n  MH1   100.5   2.0\r\n\tMH2\t99.8\r\n[CONDUITS]\r\nC1 MH1 MH2 50");
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
    const std::string path = fuzz::writeInput("input.inp", bytes);
    SWMM_LIST list(path.c_str(), "  ");
    const std::vector<std::string> sections = readEverything(list);
    const std::string back = list.Contents();
    if (back != bytes) mismatch(bytes.size(), back.size());
    edit(list, sections);
    return 0;
}
