// The terrain file reader: the input is written as a terrain file, opened, every point of the
// scan is read with its lines (partners, feature flags) and incoming references, and the file is
// closed. A damaged block list raises the library's user exception by design; it is caught here.
// A hang in the open or the scan shows up as a libFuzzer timeout.
#include <cstdint>
#include <cstring>
#include <string>

#include "database/terrain.h"
#include "fuzz_common.h"
#include "platform/ui.h"

namespace {

void readEveryPoint() {
    SURVCOORD p{};
    for (unsigned n = dbfStartCoord(p, nullptr); n != 0; n = dbfNextCoord(p, n)) {
        for (int i = 0; i < 8; ++i) {
            if (p.lines[i] == 0) continue;
            SURVCOORD partner{};
            dbfGrabCoord(partner, p.lines[i]);
            dbfIsFeatureLine(p, p.lines[i], n);
        }
        for (DWORD from : p.shadows) {
            SURVCOORD source{};
            if (from != 0) dbfCoordExists(source, from);
        }
        SURVCOORD again{};
        dbfGrabCoord(again, n);
    }
}

unsigned addPoint(const char* name, double y, double x, double z, WORD surface) {
    SURVCOORD p{};
    dbfPackStruct(name, y, x, z, surface, p);
    unsigned number = 0;
    return dbfAddCoord(p, number) ? number : 0;
}

// Seeds: an empty site; a few points joined by lines (one a feature line) in one cell; points
// spread over three cells and two surfaces.
void makeSeeds(const std::string& out) {
    const std::string path = fuzz::folder() + "seed.dtm";
    dbfMakeDbase(path.c_str(), 5000.0, 5000.0, 10000.0);
    dbfCloseDbase();
    fuzz::writeSeed(out, "empty", fuzz::readFile(path));

    dbfMakeDbase(path.c_str(), 5000.0, 5000.0, 10000.0);
    dbfOpenDbase(path.c_str(), 0);
    const unsigned p1 = addPoint("P1", 5000.0, 5000.0, 10.0, 1);
    const unsigned p2 = addPoint("P2", 5010.0, 5000.0, 11.0, 1);
    const unsigned p3 = addPoint("P3", 5010.0, 5010.0, 12.0, 1);
    const unsigned p4 = addPoint("P4", 5000.0, 5010.0, 13.0, 1);
    dbfAddLine(p1, p2, 1, 0);
    dbfAddLine(p2, p3, 0, 0);
    dbfAddLine(p3, p4, 1, 0);
    dbfCloseDbase();
    fuzz::writeSeed(out, "lines", fuzz::readFile(path));

    dbfMakeDbase(path.c_str(), 5000.0, 5000.0, 10000.0);
    dbfOpenDbase(path.c_str(), 0);
    const unsigned a1 = addPoint("A1", 100.0, 100.0, 1.0, 1);
    const unsigned a2 = addPoint("A2", 110.0, 100.0, 2.0, 1);
    const unsigned b1 = addPoint("B1", 9000.0, 9000.0, 3.0, 2);
    const unsigned b2 = addPoint("B2", 9000.0, 9010.0, 4.0, 2);
    addPoint("C1", 5000.0, 100.0, 5.0, 1);
    dbfAddLine(a1, a2, 1, 0);
    dbfAddLine(b1, b2, 1, 0);
    dbfCloseDbase();
    fuzz::writeSeed(out, "three_cells", fuzz::readFile(path));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startLibrary();
    fuzz::seedMode(makeSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::resetUi();
    const std::string path = fuzz::writeInput("input.dtm", data, size);
    try {
        if (dbfOpenDbase(path.c_str(), 0)) readEveryPoint();
    } catch (const CUserException&) {
        // A bucket-list error: the message was shown; the close below still runs.
    }
    try {
        dbfCloseDbase();
    } catch (const CUserException&) {
    }
    return 0;
}
