// The road file reader: the input is opened as the library's road file and as a view; every
// chainage is reached forwards and backwards (hidden ones too) and read with its extra record,
// its layer records and their cross-sections; then the file is closed.
//
// The walks stop where the library says the road ends. A walk that takes more steps than the
// file has records has been led round a loop of links: that is reported as a crash here, so
// that it gives a reproducer instead of a harness that never ends.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "database/road.h"
#include "fuzz_common.h"

namespace {

XSECTION g_section;

void readChainage(double chg, const CHGBASE& rec) {
    CHGDATA extra{};
    if (rec.extra) dbfGrabExtra(chg, &extra);
    for (short layer = 1; layer <= kRoadLayers; ++layer) {
        if (rec.layers[layer - 1] == 0) continue;
        LAYBASE lay{};
        dbfGrabLayer(chg, layer, &lay);
        g_section.count = 0;
        g_section.capacity = kSectionCapacity;
        dbfGrabSect(chg, layer, &g_section);
    }
}

[[noreturn]] void loopFound(const char* walk, std::uint64_t records) {
    std::fprintf(stderr, "fuzz: the %s walk took more steps than the file's %llu records\n", walk,
                 static_cast<unsigned long long>(records));
    std::abort();
}

void walkOpenRoad(std::uint64_t records, int withHidden) {
    double chg = kChgBeforeFirst;
    std::uint64_t steps = 0;
    for (unsigned idx = dbfFindChainage(chg, withHidden); idx != 0; idx = dbfNextChainage(chg, withHidden)) {
        if (++steps > records) loopFound("forward", records);
        CHGBASE rec{};
        if (dbfGrabChg(idx, &rec)) readChainage(chg, rec);
    }
    chg = -kChgBeforeFirst;
    steps = 0;
    for (unsigned idx = dbfFindChainage(chg, withHidden); idx != 0; idx = dbfPrevChainage(chg, withHidden))
        if (++steps > records) loopFound("backward", records);
}

void walkView(const std::string& path, std::uint64_t records) {
    SECHEAD head{};
    FILE* f = viewRoadOpenFile(path.c_str(), head);
    if (!f) return;
    double chg = kChgBeforeFirst;
    std::uint64_t steps = 0;
    for (unsigned idx = viewFindChainage(chg, 1, f, head); idx != 0; idx = viewNextChainage(chg, 1, f, head)) {
        if (++steps > records) loopFound("view", records);
        CHGBASE rec{};
        viewGrabChg(idx, &rec, f);
        for (short layer = 1; layer <= kRoadLayers; ++layer) {
            if (rec.layers[layer - 1] == 0) continue;
            g_section.count = 0;
            g_section.capacity = kSectionCapacity;
            viewGrabSect(chg, layer, &g_section, f, head);
        }
    }
    viewRoadClose(f);
}

void storeSection(double chg, short layer, int points, double level) {
    g_section = XSECTION{};
    g_section.capacity = kSectionCapacity;
    g_section.chainage = chg;
    g_section.count = static_cast<std::int16_t>(points);
    for (int i = 0; i < points; ++i) {
        g_section.points[i].offset = -10.0 + 2.5 * i;
        g_section.points[i].elevation = level + 0.1 * i;
        g_section.points[i].idNo = i + 1;
    }
    dbfStoreSect(chg, layer, &g_section);
}

// Seeds: a road of three chainages with sections on two layers (one of more than one section
// record), an extra record and a hidden chainage; an empty road (the header alone).
void makeSeeds(const std::string& out) {
    const std::string path = fuzz::folder() + "seed.sec";
    std::remove(path.c_str());
    dbfRoadOpenFile(path.c_str());
    dbfRoadClose();
    fuzz::writeSeed(out, "empty", fuzz::readFile(path));

    std::remove(path.c_str());
    dbfRoadOpenFile(path.c_str());
    CHGBASE rec{};
    for (double chg : {0.0, 50.0, 100.0}) dbfInsertChainage(chg, &rec);
    storeSection(0.0, 1, 4, 100.0);
    storeSection(50.0, 1, 9, 101.0);
    storeSection(50.0, 2, 3, 99.0);
    storeSection(100.0, 1, 2, 102.0);
    CHGDATA extra{};
    extra.data[0] = 7;
    dbfStoreExtra(50.0, &extra);
    const unsigned hidden = dbfInsertChainage(75.0, &rec);
    rec.hidden = 1;
    dbfStoreChg(hidden, &rec);
    dbfRoadClose();
    fuzz::writeSeed(out, "three_chainages", fuzz::readFile(path));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startLibrary();
    fuzz::seedMode(makeSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::resetUi();
    const std::string path = fuzz::writeInput("input.sec", data, size);
    const std::uint64_t records = size / kRoadRecordBytes;
    walkView(path, records);
    if (dbfRoadOpenFile(path.c_str())) {
        walkOpenRoad(records, 1);
        walkOpenRoad(records, 0);
    }
    dbfRoadClose();
    return 0;
}
