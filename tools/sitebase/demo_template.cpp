// The demo step that designs the demo road from a template: the rural template and a kerb group
// written into the project, the design layer of every chainage made against the natural ground
// cut from the terrain (a grade line from the first to the last chainage, so the road runs in
// cut and in fill), the layer works below it, a barrier kerb at both edges, and a picture of a
// few designed cross-sections.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/road.h"
#include "database/section.h"
#include "host.h"
#include "platform/core.h"
#include "template_apply.h"

namespace {

const char* kDemoTemplate =
    "; Two 3.5 m lanes falling 2 % from the crown, 1.5 m shoulders at 4 %. In cut a side drain,\n"
    "; batters 1:2; in fill a rounding, batters 1:3.\n"
    "[TemplateType]\nVersion=6\nType=single,0,2,3,0,0,0,1,0,0\n"
    "[LeftCompulsory]\nLine1=3.5,-2,0\nLine2=1.5,-4,100\n"
    "[RightCompulsory]\nLine1=3.5,-2,0\nLine2=1.5,-4,100\n"
    "[LeftCutAdditions]\nLine1=1.0,-40,0,0,999,0,0,0\nLine2=1.0,40,0,0,999,0,0,0\n"
    "[LeftFillAdditions]\nLine1=0.5,-10,0,0,999,0,0,0\n"
    "[RightCutAdditions]\nLine1=1.0,-40,0,0,999,0,0,0\nLine2=1.0,40,0,0,999,0,0,0\n"
    "[RightFillAdditions]\nLine1=0.5,-10,0,0,999,0,0,0\n"
    "[LeftLayerWorks]\nLine1=0,-100,0,0,0.04,Surfacing\nLine2=0.3,-100,0,0,0.15,Base course\n"
    "[RightLayerWorks]\nLine1=0,0,100,0,0.04,Surfacing\nLine2=0,0,100,0.3,0.15,Base course\n";

const char* kDemoKerbs =
    "; Kerbs of the demo project\n"
    "[Lookup]\nkerb1=Barrier\nkerb2=Mountable\n"
    "[Barrier]\ngeom0=0.000,0.000,0\ngeom1=0.150,0.000,0\ngeom2=0.000,0.150,0\ngeom3=0.150,0.000,1\n"
    "eq1=1,0,Concrete (m3),0.045\n"
    "[Mountable]\ngeom0=0.000,0.000,0\ngeom1=0.100,0.000,0\ngeom2=0.100,0.100,1\n";

bool writeText(const std::string& path, const char* text) {
    FILE* f = coreFileOpen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = coreFileBinWrite(text, std::strlen(text), f) == 1;
    return coreFileCloseChecked(f) == 1 && ok;
}

double groundAtCentre(double chg) {
    double here = chg, z = 0.0;
    XSECTION xs{};
    if (!dbfFindChainage(here, 0) || !dbfGrabSect(here, 2, &xs)) return NAN;
    return dbfSectElevation(0.0, &xs, z) ? z : NAN;
}

// One panel's grid: offsets every 5 m from -30 to 30 along the bottom, levels every 2 m up the
// left side, labelled with the level they stand for; the centre line drawn darker.
void drawPanelGrid(HeadlessCadWindow& cad, double top, double datum) {
    constexpr double kLow = -12.0, kHigh = 10.0;
    constexpr int kGridPen = 9, kAxisPen = 8, kTextPen = 7;
    char text[32];
    for (int offset = -30; offset <= 30; offset += 5) {
        cad.gsDisplayLine(offset, top + kLow, offset, top + kHigh, offset == 0 ? kAxisPen : kGridPen, 0, 0.3);
        std::snprintf(text, sizeof text, "%d", offset);
        cad.gsDisplayText(text, offset, top + kLow - 0.5, kTextPen, 8, 0, 1.1f, 0.0f);
    }
    // Levels on even metres, so the labels read as round numbers.
    const double first = std::ceil((datum + kLow) / 2.0) * 2.0;
    for (double level = first; level <= datum + kHigh; level += 2.0) {
        cad.gsDisplayLine(-30.0, top + level - datum, 30.0, top + level - datum, kGridPen, 0, 0.3);
        std::snprintf(text, sizeof text, "%.0f", level);
        cad.gsDisplayText(text, -30.8, top + level - datum, kTextPen, 6, 0, 1.1f, 0.0f);
    }
}

// The sections of a few chainages, one panel above the other: natural ground, design with its
// kerbs, and the layer works, heights and offsets at one scale (metres, no exaggeration), each
// panel on a grid of offsets and levels, with a legend at the top.
void drawSections(DemoContext& ctx, const std::vector<double>& chainages) {
    HeadlessCadWindow& cad = host().cad;
    cad.clearDisplayList();
    constexpr int kGroundPen = 92, kDesignPen = 1, kWorksPen = 8, kTextPen = 7;
    const double panel = 35.0;
    const double rows = static_cast<double>(chainages.size());
    cad.setZoomRect(-36.0, -panel * (rows - 0.5), 34.0, panel / 2.0 + 3.0);
    cad.gsSetLayer("Sections", "Sections");
    // The legend: a short line of each pen and what it draws.
    const struct {
        int pen;
        const char* what;
    } legend[] = {{kGroundPen, "natural ground"}, {kDesignPen, "design with kerbs"}, {kWorksPen, "layer works"}};
    double at = -30.0;
    for (const auto& item : legend) {
        cad.gsDisplayLine(at, panel / 2.0 + 1.0, at + 3.0, panel / 2.0 + 1.0, item.pen, 0, 2.0);
        cad.gsDisplayText(item.what, at + 4.0, panel / 2.0 + 1.0, kTextPen, 4, 0, 1.4f, 0.0f);
        at += 20.0;
    }
    double top = 0.0;
    for (double chg : chainages) {
        double here = chg;
        dbfFindChainage(here, 0);
        XSECTION design{};
        dbfGrabSect(here, 1, &design);
        const double datum = design.count ? design.points[design.count / 2].elevation : 0.0;
        drawPanelGrid(cad, top, datum);
        auto plot = [&](short layer, int pen, double width) {
            XSECTION xs{};
            if (!dbfGrabSect(here, layer, &xs)) return;
            for (int i = 1; i < xs.count; ++i)
                cad.gsDisplayLine(xs.points[i - 1].offset, top + xs.points[i - 1].elevation - datum, xs.points[i].offset,
                                  top + xs.points[i].elevation - datum, pen, 0, width);
        };
        plot(2, kGroundPen, 1.5);
        for (short layer = 3; layer <= 6; ++layer) plot(layer, kWorksPen, 0.5);
        plot(1, kDesignPen, 2.0);
        char label[96];
        std::snprintf(label, sizeof label, "Chainage %.3f   centre level %.3f", here, datum);
        cad.gsDisplayText(label, -30.0, top + 13.5, kTextPen, 7, 0, 1.8f, 0.0f);
        top -= panel;
    }
    for (const char* ext : {"png", "svg"}) {
        const std::string file = ctx.folder + "designed_sections." + ext;
        if (cad.render(file, 900, static_cast<int>(900.0 * (rows * panel + 3.0) / 70.0))) ctx.written.push_back(file);
        else std::fprintf(stderr, "Unable to write %s\n", file.c_str());
    }
}

void designDemoRoad(DemoContext& ctx) {
    char folder[MAX_PATH];
    coreExtractFilePath(ctx.projectFile.c_str(), folder);
    const std::string templateFile = std::string(folder) + "demo_rural.tpl";
    const std::string kerbFile = std::string(folder) + "demo_kerbs.krb";
    if (!writeText(templateFile, kDemoTemplate) || !writeText(kerbFile, kDemoKerbs)) {
        std::fprintf(stderr, "Unable to write the demo template and kerbs in %s\n", folder);
        return;
    }
    coreSetJobDefaultInt("Global", "RoadId", 1);
    if (!openRoad()) return;
    INI_LIST* des = dbfGetDesFile();
    des->DeleteSection("TemplateIndex");
    des->AddLine("TemplateIndex", "Rural,demo_rural.tpl,Rural");
    des->DeleteSection("KerbFiles");
    des->SetString("KerbFiles", "path1", "demo_kerbs.krb");
    for (const char* name : {"3,Left surfacing", "4,Left base course", "5,Right surfacing", "6,Right base course"})
        des->AddLine("RoadLayerNames", name);
    des->Save();

    auto tpl = std::make_unique<TEMPLATE>();
    if (!dbfRoadLoadTemplate("Rural", tpl.get())) {
        closeRoad(false);
        return;
    }
    // A grade line from the ground at the first chainage to the ground at the last, so that the
    // road runs in cut over the rises and in fill across the hollows.
    double first = kChgBeforeFirst, last = kChgNotFound;
    dbfFindChainage(first, 0);
    dbfFindChainage(last, 0);
    ApplySettings s;
    s.worksLayer = 3;
    s.gradeLine = true;
    s.startLevel = groundAtCentre(first);
    const double endLevel = groundAtCentre(last);
    if (!std::isfinite(s.startLevel) || !std::isfinite(endLevel) || !(last > first)) {
        std::fprintf(stderr, "The demo road has no natural ground at its ends\n");
        closeRoad(false);
        return;
    }
    s.grade = (endLevel - s.startLevel) / (last - first) * 100.0;
    // Raised or lowered to the mean of the ground along it, so that cut and fill balance.
    double sum = 0.0;
    int n = 0;
    double chg = kChgBeforeFirst;
    for (unsigned idx = dbfFindChainage(chg, 0); idx != 0; idx = dbfNextChainage(chg, 0)) {
        const double here = chg, z = groundAtCentre(chg);
        chg = here;
        dbfFindChainage(chg, 0);
        if (!std::isfinite(z)) continue;
        sum += z - (s.startLevel + s.grade / 100.0 * (here - first));
        ++n;
    }
    if (n > 0) s.startLevel += sum / n;
    const ApplyCounts counts = applyTemplate(*tpl, s, true, 0.0, true);

    // A barrier kerb at both edges of every designed section.
    UI_LIST groups;
    dbfReadKerbs(&groups);
    int kerbs = 0;
    std::vector<double> designed;
    chg = kChgBeforeFirst;
    for (unsigned idx = dbfFindChainage(chg, 0); idx != 0; idx = dbfNextChainage(chg, 0)) {
        XSECTION xs{};
        if (!dbfGrabSect(chg, 1, &xs)) continue;
        designed.push_back(chg);
        for (int ref : {100, -100}) kerbs += dbfAddKerb(&groups, 100, ref, -4.0, &xs, 1) > 0;
        dbfStoreSect(chg, 1, &xs);
        double here = chg;
        dbfFindChainage(here, 0);
    }
    groups.Destroy();
    if (designed.size() >= 4)
        drawSections(ctx, {designed[designed.size() / 4], designed[designed.size() / 2], designed[3 * designed.size() / 4]});
    closeRoad(true);
    ctx.written.push_back(templateFile);
    ctx.written.push_back(kerbFile);
    std::fprintf(stderr, "Design: %d sections from template Rural (%d sides in cut, %d in fill), %d kerbs\n",
                 counts.designed, counts.cut, counts.fill, kerbs);
}

DemoStep templateStep(45, "the road designed from a template", designDemoRoad);

}  // namespace
