// Commands of the road design database: open (and create) a road of the project, insert and
// delete chainages, list them with their names, store a cross-section from a CSV file and show
// it, name layers and set chainage equations; and the demo step that builds a road.
//
// Each command opens the road (its work copies), does its work and closes it; a command that
// changes the road saves it at the close without asking.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/road.h"
#include "host.h"
#include "platform/core.h"
#include "tabular.h"

// Road set-out and chainage import (cmd_setout.cpp).
void addSetOutCommands(CLI::App* road, int& roadId);

namespace {

bool parseNumber(const std::string& text, double& value) { return parseReal(text, value); }

std::string chainageName(CHGBASE& chg) {
    char text[64];
    dbfChgName(text, sizeof text, chg, 0, 3, CString("+"), 1);
    return text;
}

// The road's chainages as a list; their number.
int listChainages() {
    double chg = kChgBeforeFirst;
    OutputTable t;
    t.column("record", true).column("chainage", true).column("name").column("kind", true).column("hidden", true)
        .column("layers", true).column("y", true).column("x", true);
    for (unsigned idx = dbfFindChainage(chg, 1); idx != 0; idx = dbfNextChainage(chg, 1)) {
        CHGBASE rec;
        if (!dbfGrabChg(idx, &rec)) break;
        int layers = 0;
        for (int slot = 0; slot < kRoadLayers; ++slot) layers += rec.layers[slot] != 0;
        t.row({std::to_string(idx), fixed(chg), chainageName(rec), std::to_string(rec.kind), std::to_string(rec.hidden),
               std::to_string(layers), fixed(rec.y), fixed(rec.x)});
    }
    printOutput(t);
    return static_cast<int>(t.rows.size());
}

// Reads "offset, elevation[, id, marker]" lines into a cross-section. A line whose offset is not
// a number is a heading and skipped; a bad elevation, id or marker refuses the file, naming the
// line and the field.
bool readSectionCsv(const std::string& path, XSECTION& xs) {
    TabularFile file;
    if (!readTabular(path, TabularOptions{}, file)) return false;
    xs = XSECTION{};
    xs.capacity = kSectionCapacity;
    for (const TabularRow& row : file.rows) {
        double number = 0.0;
        if (!row.problem.empty() || row.fields.empty() || !parseNumber(row.fields[0], number)) continue;   // a heading
        if (xs.count >= kSectionCapacity) {
            std::fprintf(stderr, "More than %d points: the rest is ignored\n", kSectionCapacity);
            break;
        }
        // The elevation must be a number; the id and the marker may be left out (0).
        double values[3] = {0.0, 0.0, 0.0};
        for (std::size_t i = 0; i < 3; ++i) {
            const std::string text = i + 1 < row.fields.size() ? row.fields[i + 1] : "";
            if ((i == 0 || !text.empty()) && !parseNumber(text, values[i])) {
                std::fprintf(stderr, "%s:%ld: field %zu (%s) is not a number\n", path.c_str(), row.line, i + 2, text.c_str());
                return false;
            }
        }
        SECTMEM& p = xs.points[xs.count++];
        p.offset = number;
        p.elevation = values[0];
        p.idNo = values[1];
        p.marker = static_cast<signed char>(values[2]);
    }
    return true;
}

void addRoadCommands(CLI::App& app) {
    // The template and kerb commands add to this group too; whichever group comes first makes it.
    CLI::App* road = roadCommand(app);
    road->require_subcommand(1);
    static int roadId = 0;
    road->add_option("--road", roadId, "Road number (default: the current road, Global/RoadId)")->check(RoadNumber);
    addSetOutCommands(road, roadId);

    auto* open = road->add_subcommand("open", "Open (creating when missing) the road and show its chainages");
    open->callback([] {
        commandResult() = runCommand([] {
            if (!openRoad(roadId)) return 1;
            char saved[MAX_PATH];
            dbfFileName(saved, "sec", kFileRoad, 0);
            const int count = listChainages();
            if (!closeRoad(true)) return 1;
            std::printf("%s: %d chainages\n", saved, count);
            return 0;
        });
    });

    static std::vector<double> values;
    auto* insert = road->add_subcommand("insert", "Insert chainages");
    insert->add_option("CHAINAGE", values, "Chainages, in metres along the road")->required()->check(RealNumber);
    insert->callback([] {
        commandResult() = runCommand([] {
            if (!openRoad(roadId)) return 1;
            std::vector<unsigned> records;
            for (double chg : values) {
                CHGBASE rec;
                records.push_back(dbfInsertChainage(chg, &rec));
                if (records.back() == 0) {
                    std::fprintf(stderr, "Chainage %.3f was not inserted\n", dbfRoundChg(chg));
                    closeRoad(false);
                    return 1;
                }
            }
            if (!closeRoad(true)) return 1;
            for (std::size_t i = 0; i < values.size(); ++i)
                std::printf("%.3f -> record %u\n", dbfRoundChg(values[i]), records[i]);
            return 0;
        });
    });

    auto* del = road->add_subcommand("delete", "Delete chainages with their layers, sections and extra data");
    del->add_option("CHAINAGE", values, "Chainages, in metres along the road")->required()->check(RealNumber);
    del->callback([] {
        commandResult() = runCommand([] {
            if (!openRoad(roadId)) return 1;
            int missing = 0;
            std::vector<double> deleted;
            for (double chg : values) {
                if (dbfDelChainage(chg)) {
                    deleted.push_back(chg);
                } else {
                    std::fprintf(stderr, "No chainage %.3f\n", dbfRoundChg(chg));
                    ++missing;
                }
            }
            if (!closeRoad(true)) return 1;
            for (double chg : deleted) std::printf("Deleted %.3f\n", dbfRoundChg(chg));
            return missing ? 1 : 0;
        });
    });

    auto* list = road->add_subcommand("list", "List the chainages with their names");
    list->callback([] {
        commandResult() = runCommand([] {
            if (!openRoad(roadId)) return 1;
            listChainages();
            return closeRoad(false) ? 0 : 1;
        });
    });

    static double chainage = 0.0;
    static int layer = 1;
    static std::string csv;
    auto* store = road->add_subcommand("store-section", "Store a cross-section from CSV: offset, elevation[, id, marker]");
    store->add_option("CHAINAGE", chainage, "The chainage, in metres along the road")->required()->check(RealNumber);
    store->add_option("LAYER", layer, "Layer 1..128")->required()->check(CLI::Range(1, 128));
    store->add_option("FILE", csv, "CSV file of offset, elevation[, id, marker]")->required();
    store->callback([] {
        commandResult() = runCommand([] {
            XSECTION xs;
            if (!readSectionCsv(csv, xs)) return 1;
            if (!openRoad(roadId)) return 1;
            const int ok = dbfStoreSect(chainage, static_cast<short>(layer), &xs);
            if (!closeRoad(ok != 0) || !ok) {
                std::fprintf(stderr, "Unable to store the section\n");
                return 1;
            }
            std::printf("Stored %d points at %.3f, layer %d\n", xs.count, xs.chainage, layer);
            return 0;
        });
    });

    auto* show = road->add_subcommand("show-section", "Show the cross-section of a layer at a chainage");
    show->add_option("CHAINAGE", chainage, "The chainage, in metres along the road")->required()->check(RealNumber);
    show->add_option("LAYER", layer, "Layer 1..128")->required()->check(CLI::Range(1, 128));
    show->callback([] {
        commandResult() = runCommand([] {
            if (!openRoad(roadId)) return 1;
            double chg = chainage;
            XSECTION xs{};
            int ok = 0;
            if (dbfFindChainage(chg, 1) != 0 && dbfRoundChg(chainage) == chg)
                ok = dbfGrabSect(chg, static_cast<short>(layer), &xs);
            char name[32];
            dbfRoadLayerName(name, static_cast<short>(layer), 0);
            if (!closeRoad(false) || !ok) {
                std::fprintf(stderr, "No section at %.3f on layer %d\n", dbfRoundChg(chainage), layer);
                return 1;
            }
            std::fprintf(stderr, "Chainage %.3f, layer %d (%s): %d points\n", xs.chainage, layer, name, xs.count);
            OutputTable t;
            t.column("offset", true).column("elevation", true).column("id", true).column("marker", true);
            for (int i = 0; i < xs.count; ++i)
                t.row({fixed(xs.points[i].offset), fixed(xs.points[i].elevation), fixed(xs.points[i].idNo, 0),
                       std::to_string(xs.points[i].marker)});
            printOutput(t);
            return 0;
        });
    });

    static std::string layerName;
    auto* names = road->add_subcommand("layer-name", "Name a layer of the road");
    names->add_option("LAYER", layer, "Layer 1..128")->required()->check(CLI::Range(1, 128));
    names->add_option("NAME", layerName, "The layer's name")->required();
    names->callback([] {
        commandResult() = runCommand([] {
            if (layer < 1 || layer > kRoadLayers) {
                std::fprintf(stderr, "Layers are numbered 1 to %d\n", kRoadLayers);
                return 1;
            }
            if (!openRoad(roadId)) return 1;
            INI_LIST* des = dbfGetDesFile();
            // One line per layer: an earlier line of the same layer goes.
            std::vector<std::string> kept;
            for (const std::string& line : des->SectionLines("RoadLayerNames"))
                if (coreGetFieldInt(line.c_str(), 0, 1, ',') != layer) kept.push_back(line);
            kept.push_back(std::to_string(layer) + "," + layerName);
            des->DeleteSection("RoadLayerNames");
            for (const std::string& line : kept) des->AddLine("RoadLayerNames", line.c_str());
            des->Save();
            dbfRoadInit(1, 1);   // reloads the names
            char name[32];
            std::printf("Layer %d: %s\n", layer, dbfRoadLayerName(name, static_cast<short>(layer), 0));
            closeRoad(false);
            return 0;
        });
    });

    static double from = 0.0, to = 0.0, adjustment = 0.0;
    static bool clear = false;
    auto* equation = road->add_subcommand("equation", "Add a chainage equation (from, to, adjustment), at most 5");
    equation->add_option("FROM", from, "Chainage where the equation starts")->check(RealNumber);
    equation->add_option("TO", to, "Chainage where it ends (not above FROM: no equation is added)")->check(RealNumber);
    equation->add_option("ADJUSTMENT", adjustment, "Metres added to the chainages from FROM on")->check(RealNumber);
    equation->add_flag("--clear", clear, "Remove every equation first");
    equation->callback([] {
        commandResult() = runCommand([] {
            if (!openRoad(roadId)) return 1;
            INI_LIST* des = dbfGetDesFile();
            if (clear) des->DeleteSection("LongShort");
            if (to > from) {
                char line[128];
                std::snprintf(line, sizeof line, "%.3f,%.3f,%.3f", from, to, adjustment);
                des->AddLine("LongShort", line);
            }
            des->Save();
            dbfRoadInit(1, 1);   // reloads the equations
            for (double c : {from, (from + to) / 2.0, to})
                std::printf("%.3f -> %.3f\n", c, dbfChgEquation(c));
            closeRoad(false);
            return 0;
        });
    });
}

CommandGroup group(addRoadCommands);

// The demo road: chainages every 20 m along a straight line across the demo site, a design
// cross-section (carriageway with crossfall, shoulders and side slopes) on layer 1 and a natural
// ground line on layer 2, a few curve points and named layers.
void buildDemoRoad(DemoContext& ctx) {
    coreSetJobDefaultInt("Global", "RoadId", 1);
    coreSetJobDefault("RoadList", "Road1", "Demo Road");
    dbfRoadInit(1, 1);
    char work[MAX_PATH];
    dbfWorkFileName(work, kWorkRoad);
    if (!coreFileExist(work)) {
        std::fprintf(stderr, "Unable to open the demo road\n");
        return;
    }
    INI_LIST* des = dbfGetDesFile();
    des->DeleteSection("RoadLayerNames");
    des->AddLine("RoadLayerNames", "1,Design");
    des->AddLine("RoadLayerNames", "2,Natural ground");
    des->DeleteSection("LongShort");
    des->AddLine("LongShort", "500,1000,25");
    des->Save();

    int sections = 0;
    for (int i = 0; i <= 50; ++i) {
        const double chg = i * 20.0;
        CHGBASE rec;
        const unsigned idx = dbfInsertChainage(chg, &rec);
        rec.x = 100.0 + chg * 0.8;   // the centre line runs across the site
        rec.y = 100.0 + chg * 0.6;
        if (i == 10 || i == 30) {
            rec.kind = kChgCurveStart;
            rec.number = static_cast<WORD>(i / 10);
        } else if (i == 20 || i == 40) {
            rec.kind = kChgCurveEnd;
            rec.number = static_cast<WORD>(i / 10 - 1);
        }
        dbfStoreChg(idx, &rec);

        const double centre = 100.0 + 0.02 * chg + 3.0 * std::sin(chg / 150.0);
        XSECTION design{};
        const double offsets[] = {-14.0, -8.5, -7.5, -3.5, 0.0, 3.5, 7.5, 8.5, 14.0};
        const double drops[] = {-2.8, -0.2, -0.15, -0.07, 0.0, -0.07, -0.15, -0.2, -2.8};
        for (int p = 0; p < 9; ++p) {
            design.points[p] = SECTMEM{offsets[p], centre + drops[p], static_cast<double>(p + 1),
                                       static_cast<signed char>(p == 4 ? 0 : (p < 4 ? -100 : 100))};
            ++design.count;
        }
        XSECTION ground{};
        for (int p = 0; p <= 30; ++p) {
            const double offset = -30.0 + p * 2.0;
            ground.points[ground.count++] =
                SECTMEM{offset, centre - 0.5 + 0.8 * std::sin((chg + offset * 7.0) / 60.0), 0.0, 0};
        }
        sections += dbfStoreSect(chg, 1, &design) + dbfStoreSect(chg, 2, &ground);
    }

    closeRoad(true);
    char saved[MAX_PATH];
    dbfFileName(saved, "sec", kFileRoad, 0);
    ctx.written.push_back(saved);
    std::fprintf(stderr, "Road: 51 chainages, %d cross-sections\n", sections);
}

DemoStep roadStep(30, "a road with cross-sections", buildDemoRoad);

// The demo road's chainage list, written once every step that designs the road has stored its
// sections, so that its counts are those of the road file the demo leaves.
void writeDemoChainageList(DemoContext& ctx) {
    if (!openRoad(1)) return;
    const std::string csv = ctx.folder + "road_chainages.csv";
    FILE* f = coreFileOpen(csv.c_str(), "wt");
    if (f) {
        coreFileTxtWrite("chainage,name,equation chainage,design points,ground points", f);
        double chg = kChgBeforeFirst;
        for (unsigned idx = dbfFindChainage(chg, 1); idx != 0; idx = dbfNextChainage(chg, 1)) {
            CHGBASE rec;
            dbfGrabChg(idx, &rec);
            XSECTION a{}, b{};
            dbfGrabSect(chg, 1, &a);
            dbfGrabSect(chg, 2, &b);
            char line[256];
            std::snprintf(line, sizeof line, "%.3f,%s,%.3f,%d,%d", chg, chainageName(rec).c_str(), dbfChgEquation(chg),
                          a.count, b.count);
            coreFileTxtWrite(line, f);
        }
        coreFileClose(f);
        ctx.written.push_back(csv);
    }
    closeRoad(false);
}

DemoStep chainageListStep(50, "the road's chainage list", writeDemoChainageList);

}  // namespace
