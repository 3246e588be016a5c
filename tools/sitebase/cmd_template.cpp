// Commands of road templates and kerbs, under the road command: list the project's templates,
// show one, add one to the index, apply one to a chainage or to the whole road (the designed
// section against the natural ground, and the layer works below it); list the kerb groups and
// insert a kerb into a stored section.
//
// Each command that changes the road saves it at the close without asking.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "database/frame.h"
#include "database/road.h"
#include "database/section.h"
#include "host.h"
#include "tabular.h"
#include "platform/core.h"
#include "template_apply.h"

namespace {

// Points the design settings at the chosen road without opening its road file (a query).
void chooseRoad(int id) {
    if (id == 0) return;
    requireRoadNumber(id);
    coreSetJobDefaultInt("Global", "RoadId", id);
}

// A template by its name in the index, or straight from a file.
bool loadTemplate(const std::string& name, TEMPLATE& tpl) {
    if (coreFileExist(name.c_str())) {
        std::string path = name;
        return dbfRoadGrabTemplate(path.data(), &tpl) == 1;
    }
    if (dbfGetTemplateIndex(name.c_str()) == 0) {
        std::fprintf(stderr, "No template %s in %s (see: sitebase road template list)\n", name.c_str(),
                     dbfGetDesFile()->FileName());
        return false;
    }
    return dbfRoadLoadTemplate(name.c_str(), &tpl) == 1;
}

// A template's parts, one row each (widths and grades of the lines and additions, the layer works
// with their reference points); its type and batters head the table on standard error.
void printTemplate(const TEMPLATE& t) {
    std::fprintf(stderr, "Type: %s road, type value %d; batters: cut 1:%g, fill 1:%g\n",
                 t.type == 2 ? "dual" : "single", t.typeValue, t.dims[0], t.dims[2]);
    OutputTable table;
    table.column("part").column("width", true).column("grade %", true).column("marker", true);
    table.column("batter", true).column("layer").column("from", true).column("to", true).column("thickness", true);
    auto lines = [&](const char* what, const TEMPLATE_PART& p) {
        for (std::uint32_t i = 0; i < p.count; ++i) {
            const TEMPLATE_LINE& l = t.lines[p.first + i];
            table.row({what, fixed(l.value1), fixed(l.value2, 2), std::to_string(l.value3), "", "", "", "", ""});
        }
    };
    auto additions = [&](const char* what, const TEMPLATE_PART& p) {
        for (std::uint32_t i = 0; i < p.count; ++i) {
            const TEMPLATE_ADDITION& a = t.additions[p.first + i];
            if (a.value1 == 0.0 && a.value2 == 0.0) continue;
            table.row({what, fixed(a.value1), fixed(a.value2, 2), "", a.value5 != 999.0 ? fixed(a.value5) : "", "", "",
                       "", ""});
        }
    };
    if (t.type == 2) {
        lines("left median", t.lowerMedian);
        lines("right median", t.upperMedian);
    }
    lines("left compulsory", t.leftCompulsory);
    lines("right compulsory", t.rightCompulsory);
    additions("left in cut", t.leftCutAdditions);
    additions("left in fill", t.leftFillAdditions);
    additions("right in cut", t.rightCutAdditions);
    additions("right in fill", t.rightFillAdditions);
    // A layer's width column holds how far it is widened on the left and right.
    for (const TEMPLATE_PART* p : {&t.leftLayerWorks, &t.rightLayerWorks})
        for (std::uint32_t i = 0; i < p->count; ++i) {
            const TEMPLATE_LAYER& w = t.layerWorks[p->first + i];
            table.row({p == &t.leftLayerWorks ? "left layer" : "right layer", fixed(w.leftWidth) + " " + fixed(w.rightWidth),
                       "", "", "", w.name, std::to_string(static_cast<std::int32_t>(w.leftRef)),
                       std::to_string(static_cast<std::int32_t>(w.rightRef)), fixed(w.thickness)});
        }
    printOutput(table);
}

void addTemplateCommands(CLI::App& app) {
    CLI::App* road = roadCommand(app);
    auto* templ = road->add_subcommand("template", "Road templates of the design settings file");
    templ->require_subcommand(1);

    templ->add_subcommand("list", "List the templates of the road's design settings")->callback([road] {
        commandResult() = runCommand([road] {
            if (!requireProject()) return 1;
            chooseRoad(roadOption(road));
            dbfInitTemplateList();
            char name[kTemplateNameChars + 1];
            OutputTable table;
            table.column("number", true).column("name");
            int n = 1;
            for (dbfGetTemplName(n, name); name[0]; dbfGetTemplName(++n, name)) table.row({std::to_string(n), name});
            if (n == 1) std::fprintf(stderr, "No templates in %s\n", dbfGetDesFile()->FileName());
            printOutput(table);
            dbfDestroyTemplList();
            return 0;
        });
    });

    static std::string name, path;
    auto* show = templ->add_subcommand("show", "Show a template (by its name in the index, or a template file)");
    show->add_option("NAME", name, "Template name or file")->required();
    show->callback([road] {
        commandResult() = runCommand([road] {
            if (!requireProject()) return 1;
            chooseRoad(roadOption(road));
            auto tpl = std::make_unique<TEMPLATE>();
            if (!loadTemplate(name, *tpl)) return 1;
            printTemplate(*tpl);
            return 0;
        });
    });

    auto* add = templ->add_subcommand("add", "Add a template file to the road's template index");
    add->add_option("NAME", name, "Template name (up to 20 characters)")->required();
    add->add_option("FILE", path, "Template file")->required();
    add->callback([road] {
        commandResult() = runCommand([road] {
            if (!requireProject()) return 1;
            chooseRoad(roadOption(road));
            if (name.empty() || name.size() > kTemplateNameChars || name.find_first_of(",[") != std::string::npos) {
                std::fprintf(stderr, "A template name has 1 to %d characters and no ',' or '['\n", kTemplateNameChars);
                return 2;
            }
            // The index keeps the file's absolute name, so it does not depend on where sitebase runs.
            std::error_code ec;
            const std::string file = std::filesystem::absolute(path, ec).lexically_normal().string();
            auto tpl = std::make_unique<TEMPLATE>();
            std::string buffer = file;
            if (!dbfRoadGrabTemplate(buffer.data(), tpl.get())) return 1;
            INI_LIST* des = dbfGetDesFile();
            des->AddLine("TemplateIndex", (name + "," + file + "," + name).c_str());
            if (!des->Save()) {
                std::fprintf(stderr, "%s\n", coreFileErrorText("save", des->FileName()).c_str());
                return 1;
            }
            std::printf("Template %s: %s\n", name.c_str(), file.c_str());
            return 0;
        });
    });

    static ApplySettings settings;
    static double chainage = 0.0;
    static bool all = false;
    auto* apply = templ->add_subcommand("apply", "Design sections from a template against the natural ground");
    apply->add_option("NAME", name, "Template name or file")->required();
    auto* at = apply->add_option("--chainage", chainage, "The chainage to design")->check(RealNumber);
    auto* every = apply->add_flag("--all", all, "Design every chainage of the road");
    at->excludes(every);
    apply->add_option("--natural", settings.naturalLayer, "Natural ground layer (default 2)")->check(CLI::Range(1, 128));
    apply->add_option("--design", settings.designLayer, "Design layer to store (default 1)")->check(CLI::Range(1, 128));
    apply->add_option("--works", settings.worksLayer, "First layer for the layer works (default: not stored)")
        ->check(CLI::Range(1, 128));
    apply->add_option("--lift", settings.lift, "Centre line above the natural ground (default 0.5)")->check(RealNumber);
    auto* level = apply->add_option("--start-level", settings.startLevel, "Grade line: level at the first chainage")
                      ->check(RealNumber);
    apply->add_option("--grade", settings.grade, "Grade line: grade in percent (default 0)")->check(RealNumber)->needs(level);
    apply->callback([road, at, level] {
        commandResult() = runCommand([road, at, level] {
            if (!all && at->count() == 0) {
                std::fprintf(stderr, "Give --chainage or --all\n");
                return 2;
            }
            settings.gradeLine = level->count() > 0;
            if (!requireProject() || !openRoad(roadOption(road))) return 1;
            auto tpl = std::make_unique<TEMPLATE>();
            if (!loadTemplate(name, *tpl)) {
                closeRoad(false);
                return 1;
            }
            const ApplyCounts c = applyTemplate(*tpl, settings, all, chainage, false);
            if (!closeRoad(c.designed > 0)) return 1;
            if (c.cancelled || commandFailedSoFar()) return 1;
            if (c.designed == 0) {
                std::fprintf(stderr, "No section was designed\n");
                return 1;
            }
            std::printf("%d sections designed (%d sides in cut, %d in fill, %d meeting no ground), %d skipped\n",
                        c.designed, c.cut, c.fill, c.open, c.skipped);
            return 0;
        });
    });
}

// ---------------------------------------------------------------------------------------------
// Kerbs

// The size of a kerb: its steps summed up to the first flagged one.
PNT_2D_record kerbSize(CKerbGroup& g, int n, int& steps) {
    PNT_2D_record total{0, 0}, p;
    int flag = 0;
    steps = 0;
    for (int s = 1; s < 1000 && g.GetKerbGeom(n, s, p, flag); ++s) {
        ++steps;
        total = {total.x + p.x, total.y + p.y};
        if (flag != 0) break;
    }
    return total;
}

void addKerbCommands(CLI::App& app) {
    CLI::App* road = roadCommand(app);
    auto* kerb = road->add_subcommand("kerb", "Kerb groups of the design settings file");
    kerb->require_subcommand(1);

    kerb->add_subcommand("list", "List the kerb groups and their kerbs")->callback([road] {
        commandResult() = runCommand([road] {
            if (!requireProject()) return 1;
            chooseRoad(roadOption(road));
            UI_LIST groups;
            dbfReadKerbs(&groups);
            if (groups.IsEmpty()) std::fprintf(stderr, "No kerb groups in %s (KerbFiles)\n", dbfGetDesFile()->FileName());
            OutputTable table;
            table.column("group", true).column("kerb", true).column("name").column("steps", true);
            table.column("width", true).column("height", true).column("file");
            for (UI_ELEMENT* e = groups.Head(); e; e = e->Next()) {
                auto* g = static_cast<CKerbGroup*>(e);
                for (int i = 0; i < g->GetCount(); ++i) {
                    const int n = g->GetGroupBase() + i;
                    int steps = 0;
                    const PNT_2D_record size = kerbSize(*g, n, steps);
                    table.row({std::to_string(g->GetGroupBase() / 100), std::to_string(n), std::string(g->GetKerbName(n).c_str()),
                               std::to_string(steps), fixed(size.x), fixed(size.y), std::string(g->GetGroupFileName())});
                }
            }
            printOutput(table);
            return commandFailedSoFar() ? 1 : 0;
        });
    });

    static int number = 0, ref = 100, layer = 1;
    static double chainage = 0.0, grade = 0.0;
    static bool fromStart = false;
    auto* add = kerb->add_subcommand("add", "Insert a kerb into the stored section of a chainage");
    add->add_option("KERB", number, "Kerb number (group x 100 + entry - 1)")->required();
    add->add_option("--chainage", chainage, "Chainage")->required()->check(RealNumber);
    add->add_option("--ref", ref, "Relative point number of the attachment point (default 100)");
    add->add_option("--layer", layer, "Layer of the section (default 1)")->check(CLI::Range(1, 128));
    add->add_option("--grade", grade, "Grade of the side in percent, for a setback (default 0)")->check(RealNumber);
    add->add_flag("--from-start", fromStart, "Add every step from the first, not from the first flagged one");
    add->callback([road] {
        commandResult() = runCommand([road] {
            if (!requireProject() || !openRoad(roadOption(road))) return 1;
            UI_LIST groups;
            dbfReadKerbs(&groups);
            // A group file that is missing was reported: nothing is changed after an error.
            if (commandFailedSoFar()) {
                closeRoad(false);
                return 1;
            }
            if (dbfGetKerbString(&groups, number).IsEmpty()) {
                std::fprintf(stderr, "Kerb %d is in no kerb group (see: sitebase road kerb list)\n", number);
                closeRoad(false);
                return 1;
            }
            double chg = dbfRoundChg(chainage);
            double found = chg;
            XSECTION xs{};
            if (!dbfFindChainage(found, 1) || !dblEqual(found, chg) || !dbfGrabSect(chg, static_cast<short>(layer), &xs)) {
                std::fprintf(stderr, "No section at %.3f on layer %d\n", chg, layer);
                closeRoad(false);
                return 1;
            }
            const int before = xs.count;
            const int pos = dbfAddKerb(&groups, number, ref, grade, &xs, fromStart ? 1 : 0);
            if (pos == 0 || xs.count == before) {
                std::fprintf(stderr, "Kerb %d could not be placed at point %d of the section at %.3f\n", number, ref, chg);
                closeRoad(false);
                return 1;
            }
            dbfStoreSect(chg, static_cast<short>(layer), &xs);
            if (!closeRoad(true)) return 1;
            std::printf("Kerb %d (%s) at %.3f: %d points added, its top is point %d\n", number,
                        dbfGetKerbString(&groups, number).c_str(), chg, xs.count - before, pos);
            return 0;
        });
    });
}

CommandGroup templateGroup(addTemplateCommands);
CommandGroup kerbGroup(addKerbCommands);

}  // namespace

// ---------------------------------------------------------------------------------------------
// Applying a template

namespace {

// The natural elevation under the centre line; false when the section does not reach it.
bool centreGround(XSECTION& ground, double& z) { return dbfSectElevation(0.0, &ground, z) != 0; }

// Designs one chainage (the road's cursor on it). 1 designed, 0 skipped.
int designChainage(TEMPLATE& tpl, const ApplySettings& s, double chg, double firstChg, ApplyCounts& c, bool quiet) {
    XSECTION ground{};
    double z = 0.0;
    if (!dbfGrabSect(chg, static_cast<short>(s.naturalLayer), &ground) || (!s.gradeLine && !centreGround(ground, z))) {
        if (!quiet) std::printf("%.3f: no natural ground on layer %d\n", chg, s.naturalLayer);
        ++c.skipped;
        return 0;
    }
    const double level = s.gradeLine ? s.startLevel + s.grade / 100.0 * (chg - firstChg) : z + s.lift;
    XSECTION design{};
    int sides[2] = {};
    if (!dbfRoadDesignSection(chg, level, tpl, ground, design, sides)) {
        ++c.skipped;
        return 0;
    }
    dbfStoreSect(chg, static_cast<short>(s.designLayer), &design);
    for (int side : sides) (side > 0 ? c.cut : side < 0 ? c.fill : c.open)++;
    if (s.worksLayer > 0) {
        // The layers of each side stack down from the design: each one's depth is the thickness
        // of the layers above it and its own.
        int layer = s.worksLayer;
        for (const TEMPLATE_PART* part : {&tpl.leftLayerWorks, &tpl.rightLayerWorks}) {
            double depth = 0.0;
            for (std::uint32_t i = 0; i < part->count && layer <= kRoadLayers; ++i, ++layer) {
                depth += tpl.layerWorks[part->first + i].thickness;
                XSECTION out{};
                double offsets[2], elevations[2];
                if (dbfRoadCalcLayer(chg, static_cast<int>(part->first + i), depth, design, out, tpl, offsets,
                                     elevations, 0.0, 0.0))
                    dbfStoreSect(chg, static_cast<short>(layer), &out);
            }
        }
    }
    if (!quiet)
        std::printf("%.3f: centre %.3f, left %s, right %s, %d points\n", chg, level,
                    sides[0] > 0 ? "cut" : sides[0] < 0 ? "fill" : "open", sides[1] > 0 ? "cut" : sides[1] < 0 ? "fill" : "open",
                    design.count);
    return 1;
}

}  // namespace

ApplyCounts applyTemplate(TEMPLATE& tpl, const ApplySettings& s, bool all, double chainage, bool quiet) {
    ApplyCounts c;
    double first = kChgBeforeFirst;
    if (!dbfFindChainage(first, 0)) return c;
    if (!all) {
        double chg = dbfRoundChg(chainage), found = chg;
        if (!dbfFindChainage(found, 1) || !dblEqual(found, chg)) {
            std::fprintf(stderr, "The road has no chainage %.3f\n", chg);
            ++c.skipped;
            return c;
        }
        c.designed += designChainage(tpl, s, chg, first, c, quiet);
        return c;
    }
    int total = 0;
    double chg = kChgBeforeFirst;
    for (unsigned idx = dbfFindChainage(chg, 0); idx != 0; idx = dbfNextChainage(chg, 0)) ++total;
    dbfDispStatus("Applying the template", kStatusPush);
    const int step = dbfProgressStep(total);
    int done = 0, abort = 0;
    chg = kChgBeforeFirst;
    for (unsigned idx = dbfFindChainage(chg, 0); idx != 0; idx = dbfNextChainage(chg, 0)) {
        c.designed += designChainage(tpl, s, chg, first, c, quiet);
        // Storing moved the cursor: put it back before stepping on.
        double here = chg;
        dbfFindChainage(here, 0);
        if (++done % step == 0) {
            dbfDispGraph(done, total, "Sections");
            if (dbfCheckEscape(abort, 0) || abort) {
                c.cancelled = true;
                break;
            }
        }
    }
    dbfDispGraph(0, 0, nullptr);
    dbfDispStatus(nullptr, kStatusPop);
    return c;
}
