// Commands of the section geometry: cut the natural-ground cross-section of a road chainage from
// the terrain (from the points near the section line or from the crossings of the feature lines)
// and store it under a layer, cut every chainage of the road, show a stored section, and extract
// a long section between two positions; and the demo step that cuts the demo road's
// natural-ground sections from the demo terrain.
//
// Each command opens the terrain file and the road, does its work and closes both; a command
// that stores sections saves the road at the close without asking. Ctrl-C presses Escape.
#include <cstdio>
#include <string>

#include "database/frame.h"
#include "database/road.h"
#include "database/section.h"
#include "database/terrain.h"
#include "host.h"
#include "platform/core.h"
#include "tabular.h"

namespace {

struct CutSettings {
    int layer = 2;
    double left = -30.0;
    double right = 30.0;
    double radius = 5.0;
    double band = 1.0;
    double spacing = 0.0;
    int surface = 1;
    bool fromPoints = false;
    bool withEnds = false;
};

bool openTerrain() {
    char name[MAX_PATH];
    dbfFileName(name, "dtm", kFileProject);
    if (!coreFileExist(name)) {
        std::fprintf(stderr, "The project has no terrain file %s. Create one with: sitebase terrain create\n", name);
        return false;
    }
    if (!dbfOpenDbase(name, 0)) {
        std::fprintf(stderr, "Unable to open %s\n", name);
        return false;
    }
    return true;
}

bool validSettings(const CutSettings& s) {
    if (s.layer < 1 || s.layer > kRoadLayers) {
        std::fprintf(stderr, "Layers are numbered 1 to %d\n", kRoadLayers);
        return false;
    }
    if (s.surface < 1 || s.surface > 128) {
        std::fprintf(stderr, "Surfaces are numbered 1 to 128\n");
        return false;
    }
    if (!(s.left < s.right)) {
        std::fprintf(stderr, "The left offset must be less than the right one\n");
        return false;
    }
    return true;
}

// Cuts and stores the section of one chainage record. -1 on Escape, 0 when the chainage has no
// neighbours to square the section to, else 1.
int cutChainage(unsigned idx, const CutSettings& s, XSECTION& xs) {
    CHGBASE chg{};
    if (!dbfGrabChg(idx, &chg)) return 0;
    double frame[5][5];
    if (!dbfTriplet(chg, frame)) return 0;
    dbfFrameFromTriplet(frame);
    const auto surface = static_cast<unsigned short>(s.surface);
    int done = 0;
    if (s.fromPoints)
        done = dbfSectionFromCoords(chg.y, chg.x, s.radius, s.left, s.right, s.band, s.withEnds, surface, s.spacing,
                                    frame, &xs);
    else
        done = dbfSectionFromLines(chg.y, chg.x, s.radius, s.left, s.right, s.withEnds, surface, s.spacing, frame,
                                   &xs, nullptr, 1);
    if (!done && xs.count < kSectionCapacity) return -1;
    dbfStoreSect(chg.chainage, static_cast<short>(s.layer), &xs);
    return 1;
}

void printSection(const XSECTION& xs) {
    OutputTable t;
    t.column("offset", true).column("elevation", true).column("id", true).column("marker", true);
    for (int i = 0; i < xs.count; ++i)
        t.row({fixed(xs.points[i].offset), fixed(xs.points[i].elevation), fixed(xs.points[i].idNo, 0),
               std::to_string(xs.points[i].marker)});
    printOutput(t);
}

// Cuts every chainage of the road; the number of sections stored, or -1 after Escape.
int cutAll(const CutSettings& s) {
    int total = 0;
    double chg = kChgBeforeFirst;
    for (unsigned idx = dbfFindChainage(chg, 0); idx != 0; idx = dbfNextChainage(chg, 0)) ++total;
    dbfDispStatus("Cutting natural ground sections", kStatusPush);
    const int step = dbfProgressStep(total);
    int done = 0, stored = 0;
    chg = kChgBeforeFirst;
    for (unsigned idx = dbfFindChainage(chg, 0); idx != 0; idx = dbfNextChainage(chg, 0)) {
        XSECTION xs{};
        const int result = cutChainage(idx, s, xs);
        // The cut moved the road's cursor through the triplet and the store: put it back.
        double here = chg;
        dbfFindChainage(here, 0);
        if (result < 0) {
            stored = -1;
            break;
        }
        stored += result;
        if (++done % step == 0) dbfDispGraph(done, total, "Sections");
    }
    dbfDispGraph(0, 0, nullptr);
    dbfDispStatus(nullptr, kStatusPop);
    return stored;
}

void addOptions(CLI::App* cmd, CutSettings& s) {
    cmd->add_option("--layer", s.layer, "Layer to store under (default 2)")->check(CLI::Range(1, 128));
    cmd->add_option("--left", s.left, "Left end of the window (default -30)")->check(RealNumber);
    cmd->add_option("--right", s.right, "Right end of the window (default 30)")->check(RealNumber);
    cmd->add_option("--radius", s.radius, "Least half-size of the search rectangle (default 5)")->check(RealNumber);
    cmd->add_option("--band", s.band, "With --points: greatest distance from the section line (default 1)")->check(RealNumber);
    cmd->add_option("--spacing", s.spacing, "Least spacing between points kept (default 0: all)")->check(RealNumber);
    cmd->add_option("--surface", s.surface, "Surface 1..128 (default 1)")->check(CLI::Range(1, 128));
    cmd->add_flag("--points", s.fromPoints, "Cut from the points near the line instead of the feature lines");
    cmd->add_flag("--ends", s.withEnds, "Add the nearest point beyond each end of the window");
}

void addSectionCommands(CLI::App& app) {
    auto* section = app.add_subcommand("section", "Cut natural-ground sections from the terrain");
    section->require_subcommand(1);
    static CutSettings settings;
    static double chainage = 0.0;

    auto* cut = section->add_subcommand("cut", "Cut the natural-ground cross-section at a chainage and store it");
    cut->add_option("CHAINAGE", chainage, "The chainage, in metres along the road")->required()->check(RealNumber);
    addOptions(cut, settings);
    cut->callback([] {
        commandResult() = runCommand([] {
            if (!validSettings(settings) || !requireProject() || !openTerrain()) return 1;
            if (!openRoad()) {
                dbfCloseDbase();
                return 1;
            }
            double chg = chainage;
            const unsigned idx = dbfFindChainage(chg, 1);
            int result = 0;
            XSECTION xs{};
            if (idx == 0 || chg != dbfRoundChg(chainage))
                std::fprintf(stderr, "No chainage %.3f\n", dbfRoundChg(chainage));
            else
                result = cutChainage(idx, settings, xs);
            const bool saved = closeRoad(result > 0);
            dbfCloseDbase();
            if (result < 0) std::fprintf(stderr, "Cancelled\n");
            if (result <= 0 || !saved) return 1;
            std::fprintf(stderr, "Chainage %.3f: %d points stored on layer %d\n", chg, xs.count, settings.layer);
            printSection(xs);
            return 0;
        });
    });

    auto* all = section->add_subcommand("cut-all", "Cut and store the natural-ground sections of every chainage");
    addOptions(all, settings);
    all->callback([] {
        commandResult() = runCommand([] {
            if (!validSettings(settings) || !requireProject() || !openTerrain()) return 1;
            if (!openRoad()) {
                dbfCloseDbase();
                return 1;
            }
            const int stored = cutAll(settings);
            const bool saved = closeRoad(stored > 0);
            dbfCloseDbase();
            if (!saved) return 1;
            if (stored < 0) {
                std::fprintf(stderr, "Cancelled: nothing saved\n");
                return 1;
            }
            if (stored == 0) {
                std::fprintf(stderr,
                             "No section was stored: the road has no chainages with positions to cut at. Give them "
                             "positions with: sitebase road set-out STRING, or road import-chainages FILE\n");
                return 1;
            }
            std::printf("%d sections stored on layer %d\n", stored, settings.layer);
            return 0;
        });
    });

    auto* show = section->add_subcommand("show", "Show a stored cross-section with its limits");
    show->add_option("CHAINAGE", chainage, "The chainage, in metres along the road")->required()->check(RealNumber);
    show->add_option("--layer", settings.layer, "Layer (default 2)")->check(CLI::Range(1, 128));
    show->callback([] {
        commandResult() = runCommand([] {
            if (!requireProject() || !openRoad()) return 1;
            double chg = chainage;
            XSECTION xs{};
            int ok = 0;
            if (dbfFindChainage(chg, 1) != 0 && chg == dbfRoundChg(chainage))
                ok = dbfGrabSect(chg, static_cast<short>(settings.layer), &xs);
            closeRoad(false);
            if (!ok) {
                std::fprintf(stderr, "No section at %.3f on layer %d\n", dbfRoundChg(chainage), settings.layer);
                return 1;
            }
            _bsRECT box{};
            dbfSectLimits(box, xs);
            std::fprintf(stderr, "Chainage %.3f, layer %d: %d points, offsets %.3f to %.3f, elevations %.3f to %.3f\n",
                        xs.chainage, settings.layer, xs.count, box.left, box.right, box.bottom, box.top);
            printSection(xs);
            return 0;
        });
    });

    static double y1 = 0, x1 = 0, y2 = 0, x2 = 0, radius = 10.0;
    static std::string csv;
    auto* longCmd = section->add_subcommand("long", "Extract the long section between two positions (y x y x)");
    longCmd->add_option("Y1", y1, "Start, y")->required()->check(RealNumber);
    longCmd->add_option("X1", x1, "Start, x")->required()->check(RealNumber);
    longCmd->add_option("Y2", y2, "End, y")->required()->check(RealNumber);
    longCmd->add_option("X2", x2, "End, x")->required()->check(RealNumber);
    longCmd->add_option("--surface", settings.surface, "Surface 1..128 (default 1)")->check(CLI::Range(1, 128));
    longCmd->add_option("--radius", radius, "Search half-size for the end heights (default 10)")->check(RealNumber);
    longCmd->add_option("--csv", csv, "Write the profile to this CSV file");
    longCmd->callback([] {
        commandResult() = runCommand([] {
            if (!requireProject() || !openTerrain()) return 1;
            PNT_3D_record a{x1, y1, 0.0}, b{x2, y2, 0.0};
            LongSection ls;
            dbfLongExtract(a, b, static_cast<unsigned short>(settings.surface), radius, &ls);
            dbfCloseDbase();
            std::printf("From (%.3f, %.3f) at %.3f to (%.3f, %.3f) at %.3f: %d points\n", a.y, a.x, a.z, b.y, b.x,
                        b.z, ls.Count());
            FILE* out = stdout;
            if (!csv.empty() && !(out = coreFileOpen(csv.c_str(), "wt"))) {
                std::fprintf(stderr, "Unable to write %s\n", csv.c_str());
                return 1;
            }
            std::fprintf(out, "distance,elevation\n");
            for (int i = 0; i < ls.Count(); ++i) std::fprintf(out, "%.3f,%.3f\n", ls.Get(i)->offset, ls.Get(i)->elevation);
            if (out != stdout) coreFileClose(out);
            return 0;
        });
    });
}

CommandGroup group(addSectionCommands);

// The demo: the natural-ground sections of the demo road cut from the demo terrain's feature
// lines, stored on layer 2 (named "Natural ground" by the road step) over the drawn ground line.
void cutDemoSections(DemoContext& ctx) {
    if (!openTerrain()) return;
    coreSetJobDefaultInt("Global", "RoadId", 1);
    if (!openRoad()) {
        dbfCloseDbase();
        return;
    }
    CutSettings s;
    s.spacing = 0.5;
    s.withEnds = true;
    const int stored = cutAll(s);
    const std::string csv = ctx.folder + "natural_ground_100.csv";
    double chg = 100.0;
    XSECTION xs{};
    if (dbfFindChainage(chg, 1) && dbfGrabSect(chg, 2, &xs)) {
        if (FILE* f = coreFileOpen(csv.c_str(), "wt")) {
            coreFileTxtWrite("offset,elevation", f);
            for (int i = 0; i < xs.count; ++i) {
                char line[64];
                std::snprintf(line, sizeof line, "%.3f,%.3f", xs.points[i].offset, xs.points[i].elevation);
                coreFileTxtWrite(line, f);
            }
            coreFileClose(f);
            ctx.written.push_back(csv);
        }
    }
    closeRoad(stored > 0);
    dbfCloseDbase();
    std::fprintf(stderr, "Sections: %d natural-ground cross-sections cut from the terrain\n", stored);
}

DemoStep sectionStep(40, "natural-ground sections from the terrain", cutDemoSections);

}  // namespace
