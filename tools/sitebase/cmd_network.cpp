// Commands: network open / list / seek / set / links, and the demo's sewer and storm networks.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/network.h"
#include "host.h"
#include "platform/core.h"

namespace {

// One network kind as the commands drive it.
struct Kind {
    const char* name;
    const char* extension;                 // of the project's saved table
    DATA4St* (*open)(char*);
    void (*close)(bool);
    bool (*save)();   // false when the save failed (the library said why)
    int (*first)();
    int (*next)();
    int (*count)();
    int (*recordNo)();
    int (*seekNode)(char*);
    void (*display)(char*, char*);
    void (*info)(char*, int&, int&);
    void (*setField)(char*, char*);
    bool (*links)(void*, LinkRecord&, bool, char*, char*);
    const char* defaultFields;
};

bool saveSewer() { return dbfSewerSaveFile() != nullptr; }
bool saveStorm() { return dbfStormSaveFile() != nullptr; }
// A failed save leaves the erf-connection table closed, its work files kept for recovery.
bool saveErf() {
    dbfErfConSaveFile();
    return dbfErfConIsOpen();
}

const Kind kKinds[] = {
    {"sewer", "sew", dbfSewerOpenFile, dbfSewerCloseFile, saveSewer, dbfSewerGetFirstRecord,
     dbfSewerGetNextRecord, dbfSewerGetRecordCount, dbfSewerGetRecordNo, dbfSewerGetRecordNode,
     dbfSewerGetFieldString, dbfSewerGetFieldInfo, dbfSewerSetField, dbfSewerGetRecord,
     "NODE,NEXT_NODE,L_TYPE,SIZE,INLEVEL,OUTLEVEL,SOFFIT"},
    {"storm", "stw", dbfStormOpenFile, dbfStormCloseFile, saveStorm, dbfStormGetFirstRecord,
     dbfStormGetNextRecord, dbfStormGetRecordCount, dbfStormGetRecordNo, dbfStormGetRecordNode,
     dbfStormGetFieldString, dbfStormGetFieldInfo, dbfStormSetField, dbfStormGetRecord,
     "NODE,NEXT_NODE,L_TYPE,SIZE,INLEVEL,OUTLEVEL,GRADE"},
    // The erf-connection table is named after the sewer table.
    {"erf", "sew", dbfErfConOpenFile, dbfErfConCloseFile, saveErf, dbfErfConGetFirstRecord,
     dbfErfConGetNextRecord, dbfErfConGetRecordCount, dbfErfConGetRecordNo, dbfErfConGetRecordNode,
     dbfErfConGetFieldString, dbfErfConGetFieldInfo, dbfErfConSetField, nullptr,
     "ERF_NO,NODE,CON_DIA,IL_CON"},
};

const Kind* findKind(const std::string& name) {
    for (const Kind& k : kKinds)
        if (name == k.name) return &k;
    std::fprintf(stderr, "Unknown network kind %s: use sewer, storm or erf\n", name.c_str());
    return nullptr;
}

// Opens the project's table of the kind (created when missing).
bool openKind(const Kind& kind) {
    if (host().projectFile().empty()) {
        std::fprintf(stderr, "No project is open. Create one with: sitebase project new DIR NAME\n");
        return false;
    }
    char path[MAX_PATH] = {};
    dbfFileName(path, kind.extension, kFileProject);
    if (!kind.open(path)) return false;
    return true;
}

std::vector<std::string> splitFields(const std::string& list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty()) out.push_back(item);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

void printRow(const Kind& kind, const std::vector<std::string>& fields, bool header) {
    std::string line;
    for (const std::string& f : fields) {
        std::vector<char> name(f.begin(), f.end());
        name.push_back(0);
        int width = static_cast<int>(f.size()), type = 'C';
        kind.info(name.data(), width, type);
        if (width < static_cast<int>(f.size())) width = static_cast<int>(f.size());
        char text[512] = {};
        if (header)
            std::snprintf(text, sizeof text, "%s", f.c_str());
        else
            kind.display(name.data(), text);
        char cell[600];
        std::snprintf(cell, sizeof cell, type == 'N' ? "%*s " : "%-*s ", width, text);
        line += cell;
    }
    std::printf("%s\n", line.c_str());
}

// Stands on the record of the node; false after a message when there is none.
bool seekNode(const Kind& kind, const std::string& node) {
    std::vector<char> key(node.begin(), node.end());
    key.resize(26, ' ');   // the NODE field's width, so that "MH1" never finds "MH10"
    key[25] = 0;
    if (kind.seekNode(key.data()) == 0) return true;
    std::fprintf(stderr, "No %s node %s\n", kind.name, node.c_str());
    return false;
}

void addNetworkCommands(CLI::App& app) {
    auto* network = app.add_subcommand("network", "Sewer, storm and erf-connection tables of the project");
    network->require_subcommand(1);
    static std::string kindName, node, fieldList;
    static std::vector<std::string> assignments;

    auto* open = network->add_subcommand("open", "Open (creating when missing) and check a table, then close it");
    open->add_option("KIND", kindName, "sewer, storm or erf")->required();
    open->callback([] {
        commandResult() = runCommand([] {
            const Kind* kind = findKind(kindName);
            if (!kind || !openKind(*kind)) return 1;
            std::printf("%s table open and checked: %d records\n", kind->name, kind->count());
            kind->close(false);
            return 0;
        });
    });

    auto* list = network->add_subcommand("list", "List the records with chosen fields and computed columns");
    list->add_option("KIND", kindName, "sewer, storm or erf")->required();
    list->add_option("--fields", fieldList, "Comma list of fields and columns (SIZE, GRADE, SOFFIT ...)");
    list->callback([] {
        commandResult() = runCommand([] {
            const Kind* kind = findKind(kindName);
            if (!kind || !openKind(*kind)) return 1;
            const auto fields = splitFields(fieldList.empty() ? kind->defaultFields : fieldList);
            printRow(*kind, fields, true);
            for (int rc = kind->first(); rc == 0 && kind->recordNo() <= kind->count(); rc = kind->next())
                printRow(*kind, fields, false);
            kind->close(false);
            return 0;
        });
    });

    auto* seek = network->add_subcommand("seek", "Show the record of a node");
    seek->add_option("KIND", kindName, "sewer, storm or erf")->required();
    seek->add_option("NODE", node, "Node name")->required();
    seek->add_option("--fields", fieldList, "Comma list of fields and columns");
    seek->callback([] {
        commandResult() = runCommand([] {
            const Kind* kind = findKind(kindName);
            if (!kind || !openKind(*kind)) return 1;
            const bool found = seekNode(*kind, node);
            if (found) {
                std::printf("Record %d\n", kind->recordNo());
                const auto fields = splitFields(fieldList.empty() ? kind->defaultFields : fieldList);
                printRow(*kind, fields, true);
                printRow(*kind, fields, false);
            }
            kind->close(false);
            return found ? 0 : 1;
        });
    });

    auto* set = network->add_subcommand("set", "Set fields of a node's record and save the table");
    set->add_option("KIND", kindName, "sewer, storm or erf")->required();
    set->add_option("NODE", node, "Node name")->required();
    set->add_option("FIELD=VALUE", assignments, "Fields to set")->required();
    set->callback([] {
        commandResult() = runCommand([] {
            const Kind* kind = findKind(kindName);
            if (!kind || !openKind(*kind)) return 1;
            if (!seekNode(*kind, node)) {
                kind->close(false);
                return 1;
            }
            for (const std::string& a : assignments) {
                const std::size_t eq = a.find('=');
                if (eq == std::string::npos) {
                    std::fprintf(stderr, "Expected FIELD=VALUE, not %s\n", a.c_str());
                    kind->close(false);
                    return 1;
                }
                std::string field = a.substr(0, eq), value = a.substr(eq + 1);
                kind->setField(field.data(), value.data());
            }
            const bool saved = kind->save();
            kind->close(false);
            if (!saved) return 1;
            std::printf("Saved %zu field(s) of %s\n", assignments.size(), node.c_str());
            return 0;
        });
    });

    auto* links = network->add_subcommand("links", "Walk the links of a sewer or storm network");
    links->add_option("KIND", kindName, "sewer or storm")->required();
    links->callback([] {
        commandResult() = runCommand([] {
            const Kind* kind = findKind(kindName);
            if (!kind) return 1;
            if (!kind->links) {
                std::fprintf(stderr, "Erf connections have no links\n");
                return 1;
            }
            if (!openKind(*kind)) return 1;
            UI_LIST cache;
            LinkRecord rec{};
            std::printf("%-16s %-16s %-16s %6s %6s %10s %10s %9s %9s\n", "From", "To", "Type", "Size1",
                        "Size2", "Length", "Slope", "UpGrade", "DownGrade");
            for (bool first = true; kind->links(nullptr, rec, first, reinterpret_cast<char*>(&cache), nullptr);
                 first = false)
                std::printf("%-16s %-16s %-16s %6d %6d %10.3f %10.6f %9.3f %9.3f\n", rec.upNode, rec.downNode,
                            rec.linkType, rec.size1, rec.size2, rec.length, rec.slope, rec.upGrade, rec.downGrade);
            kind->close(false);
            return 0;
        });
    });
}

CommandGroup group(addNetworkCommands);

// ---------------------------------------------------------------------------------------------
// The demo: a sewer line of four manholes and a storm line of three inlets.

struct DemoNode {
    const char* node;
    const char* next;
    double y, x, ground, invert;
};

void fillNetwork(DATA4St* data, const std::vector<DemoNode>& nodes, const char* linkType, int size) {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const DemoNode& n = nodes[i];
        if (d4appendBlank(data) != 0) return;
        f4assign(d4field(data, "NODE"), n.node);
        f4assign(d4field(data, "NEXT_NODE"), n.next);
        f4assignDouble(d4field(data, "Y_COORD"), n.y);
        f4assignDouble(d4field(data, "X_COORD"), n.x);
        f4assignDouble(d4field(data, "Z_COORD"), n.ground);
        f4assign(d4field(data, "SUBNET"), "0001");
        f4assign(d4field(data, "BRANCH"), "0001");
        char linkNo[24];
        std::snprintf(linkNo, sizeof linkNo, "%04zu", i + 1);
        f4assign(d4field(data, "LINKNO"), linkNo);
        if (!*n.next) continue;
        const DemoNode& down = nodes[i + 1];
        const double length = std::hypot(down.y - n.y, down.x - n.x);
        f4assign(d4field(data, "L_TYPE"), linkType);
        f4assignInt(d4field(data, "SIZE1"), size);
        f4assignInt(d4field(data, "NO"), 1);
        f4assignDouble(d4field(data, "LENGTH"), length);
        f4assignDouble(d4field(data, "INLEVEL"), n.invert);
        f4assignDouble(d4field(data, "OUTLEVEL"), down.invert + 0.02);
        f4assignDouble(d4field(data, "SLOPE"), (n.invert - down.invert - 0.02) / length * 100.0);
        f4assignDouble(d4field(data, "VELOCITY"), 1.2);
        f4assignDouble(d4field(data, "FLOWDEPTH"), 45.0);
    }
    d4flush(data);
}

void networkDemo(DemoContext& ctx) {
    char sewer[MAX_PATH] = {}, storm[MAX_PATH] = {};
    dbfFileName(sewer, "sew", kFileProject);
    dbfFileName(storm, "stw", kFileProject);
    if (DATA4St* data = dbfSewerOpenFile(sewer)) {
        fillNetwork(data, {{"MH1", "MH2", 200, 200, 105.0, 103.5},
                           {"MH2", "MH3", 300, 260, 104.2, 102.6},
                           {"MH3", "MH4", 420, 300, 103.1, 101.4},
                           {"MH4", "", 520, 380, 102.0, 100.2}},
                    "uPVC Class 34", 160);
        dbfSewerSaveFile();
        dbfSewerCloseFile(false);
    }
    if (DATA4St* data = dbfStormOpenFile(storm)) {
        fillNetwork(data, {{"IN1", "IN2", 600, 150, 104.0, 102.8},
                           {"IN2", "OUT", 700, 250, 103.0, 101.6},
                           {"OUT", "", 760, 400, 101.5, 100.3}},
                    "Concrete Pipe", 450);
        dbfStormSaveFile();
        dbfStormCloseFile(false);
    }
    // The sewer and storm tables of one project share their saved index name.
    char index[MAX_PATH];
    coreStrncpy(index, sewer, MAX_PATH);
    coreChangeFileExt(index, ".mdx");
    for (const char* f : {static_cast<const char*>(sewer), static_cast<const char*>(storm),
                          static_cast<const char*>(index)})
        if (coreFileExist(f)) ctx.written.push_back(f);
}

DemoStep step(60, "sewer and storm networks", networkDemo);

}  // namespace
