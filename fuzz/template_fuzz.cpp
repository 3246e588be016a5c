// Template and kerb group files: the input is read as a template file (dbfRoadGrabTemplate) and,
// when it reads, a section is designed from it against a fixed natural ground and every layer
// works line is worked out below the design; then the input is read as a kerb group file and
// every kerb is listed, fitted and inserted into a section. Nothing may read past the arrays or
// the section, whatever the counts and references of the file say.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "database/section.h"
#include "fuzz_common.h"
#include "platform/core.h"

namespace {

XSECTION ground() {
    XSECTION xs{};
    xs.capacity = kSectionCapacity;
    for (int i = 0; i <= 12; ++i) xs.points[xs.count++] = SECTMEM{-30.0 + 5.0 * i, 100.0 + 0.3 * (i % 4), 0.0, 0};
    return xs;
}

void useTemplate(const std::string& path) {
    auto tpl = std::make_unique<TEMPLATE>();
    std::string buffer = path;
    if (!dbfRoadGrabTemplate(buffer.data(), tpl.get())) return;
    XSECTION natural = ground(), design{};
    int sides[2];
    if (!dbfRoadDesignSection(10.0, 100.5, *tpl, natural, design, sides)) return;
    const std::uint32_t works = tpl->leftLayerWorks.count + tpl->rightLayerWorks.count;
    for (std::uint32_t w = 0; w < works && w < 64; ++w) {
        XSECTION out{};
        double offsets[2], elevations[2];
        dbfRoadCalcLayer(10.0, static_cast<int>(w), 0.1, design, out, *tpl, offsets, elevations, 0.0, 0.0);
        dbfRoadCalcLayer(10.0, static_cast<int>(w), 0.1, design, out, *tpl, offsets, elevations, -8.0, 8.0);
    }
}

void useKerbs(const std::string& path) {
    CKerbGroup group(path.c_str(), 100);
    UI_LIST groups;
    auto* shared = new CKerbGroup(group);
    groups.Append(shared);
    const int count = group.GetCount();
    for (int n = 100; n < 100 + count && n < 200; ++n) {
        PNT_2D_record p;
        int flag;
        for (int step = 0; step < 8; ++step) group.GetKerbGeom(n, step, p, flag);
        CString text;
        group.GetKerbQuantity(n, 0, text);
        group.GetKerbQuantity(n, 1, text);
        shared->SetTransform(PNT_2D_record{0.3, 0.2}, n);
        for (int ref : {100, -100, 101, 0}) {
            XSECTION xs = ground();
            xs.points[2].marker = -100;
            xs.points[10].marker = 100;
            xs.points[11].marker = 101;
            dbfAddKerb(&groups, n, ref, -2.0, &xs, ref != 0);
        }
        shared->SetTransform(PNT_2D_record{0, 0}, n);
    }
}

void makeSeeds(const std::string& out) {
    fuzz::writeSeed(out, "single.tpl",
                    "; a rural road\n[TemplateType]\nVersion=6\nType=single,0,2,3,0,0,0,1,0,0\n"
                    "[LeftCompulsory]\nLine1=3.5,-2,0\nLine2=1.5,-4,100\n[RightCompulsory]\nLine1=3.5,-2,0\n"
                    "[LeftCutAdditions]\nLine1=1.0,-40,0,0,999,0,0,0\nLine2=1.0,40,0,0,1.5,0,104,0\n"
                    "[RightFillAdditions]\nLine1=0.5,-10\n"
                    "[LeftLayerWorks]\nLine1=0,-103,0,0,0.04,Surfacing\nPaveNr=1\nPaveFile=rural.drg\n"
                    "[RightLayerWorks]\nLine1=0.3,0,104,0.2,0.15,Base\n");
    fuzz::writeSeed(out, "dual.tpl",
                    "[TemplateType]\r\nVersion=7\r\nType=DUAL,0,0,0,1.5,2,0,0,0,0,0,2,0,0,0,0\r\n"
                    "[LowerMedian]\r\nLine1=2.0,0,0\r\n[UpperMedian]\r\nLine1=2.0,0,0\r\n"
                    "[LeftCompulsory]\r\nLine1=7.0,-2.5,100\r\n[RightCompulsory]\r\nLine1=7.0,-2.5,100\r\n"
                    "[LeftLayerWorks]\r\nLine1=0,-100,-99,0,0.05,Asphalt\r\n");
    fuzz::writeSeed(out, "kerbs.krb",
                    "; kerbs\n[Lookup]\nkerb1=Barrier\nkerb2=Mountable\n"
                    "[Barrier]\ngeom0=-0.05,0.000,0\ngeom1=0.150,0.000,0\ngeom2=0.000,0.150,1\ngeom3=0.150,0.000,1\n"
                    "eq1=1,0,Concrete (m3),0.045\n[Mountable]\ngeom0=0,0,0\ngeom1=0.1,0,0\ngeom2=0.1,0.1,1\n");
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
    useTemplate(fuzz::writeInput("input.tpl", bytes));
    // The kerb file is only read here: the groups never change it, so nothing is written.
    useKerbs(fuzz::writeInput("input.krb", bytes));
    return 0;
}
