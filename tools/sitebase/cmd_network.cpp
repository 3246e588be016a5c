// Commands: network open / list / seek / set / links, and the demo's sewer and storm networks.
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
    void (*setFieldInt)(char*, int);
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
     dbfSewerGetFieldString, dbfSewerGetFieldInfo, dbfSewerSetField, dbfSewerSetFieldInt, dbfSewerGetRecord,
     "NODE,NEXT_NODE,L_TYPE,SIZE,INLEVEL,OUTLEVEL,SOFFIT"},
    {"storm", "stw", dbfStormOpenFile, dbfStormCloseFile, saveStorm, dbfStormGetFirstRecord,
     dbfStormGetNextRecord, dbfStormGetRecordCount, dbfStormGetRecordNo, dbfStormGetRecordNode,
     dbfStormGetFieldString, dbfStormGetFieldInfo, dbfStormSetField, dbfStormSetFieldInt, dbfStormGetRecord,
     "NODE,NEXT_NODE,L_TYPE,SIZE,INLEVEL,OUTLEVEL,GRADE"},
    // The erf-connection table is named after the sewer table.
    {"erf", "sew", dbfErfConOpenFile, dbfErfConCloseFile, saveErf, dbfErfConGetFirstRecord,
     dbfErfConGetNextRecord, dbfErfConGetRecordCount, dbfErfConGetRecordNo, dbfErfConGetRecordNode,
     dbfErfConGetFieldString, dbfErfConGetFieldInfo, dbfErfConSetField, dbfErfConSetFieldInt, nullptr,
     "ERF_NO,NODE,CON_DIA,IL_CON"},
};

const Kind* findKind(const std::string& name) {
    for (const Kind& k : kKinds)
        if (name == k.name) return &k;
    std::fprintf(stderr, "Unknown network kind %s: use sewer, storm or erf\n", name.c_str());
    return nullptr;
}

// Opens the project's table of the kind (created when missing): its handle, or none.
DATA4St* openKind(const Kind& kind) {
    if (host().projectFile().empty()) {
        std::fprintf(stderr, "No project is open. Create one with: sitebase project new DIR NAME\n");
        return nullptr;
    }
    char path[MAX_PATH] = {};
    dbfFileName(path, kind.extension, kFileProject);
    return kind.open(path);
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

// Table texts are in the tables' code page; the terminal gets UTF-8, padded by characters.
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
        const std::string cell = codePageToUtf8(text);
        const std::size_t length = utf8Length(cell);
        const std::string pad(length < static_cast<std::size_t>(width) ? static_cast<std::size_t>(width) - length : 0, ' ');
        line += (type == 'N' ? pad + cell : cell + pad) + " ";
    }
    std::printf("%s\n", line.c_str());
}

// A node name as the NODE field holds it: in the table's code page and not longer than the
// field (a longer name would be cut and name another node, or none). False after a message.
bool nodeKey(DATA4St* data, const std::string& node, std::string& key) {
    FIELD4* field = d4field(data, "NODE");
    std::string why, stored;
    const char* problem = utf8ToCodePage(node, key, why) ? f4valueProblem('C', f4len(field), 0, key.c_str(), stored)
                                                         : why.c_str();
    if (!problem) return true;
    std::fprintf(stderr, "%s\n", f4refusal(field, node, problem).c_str());
    return false;
}

// Stands on the record of the node; false after a message when there is none.
bool seekNode(const Kind& kind, DATA4St* data, const std::string& node) {
    std::string key;
    if (!nodeKey(data, node, key)) return false;
    // Padded to the field's width, so that "MH1" never finds "MH10".
    key.resize(static_cast<std::size_t>(f4len(d4field(data, "NODE"))), ' ');
    if (kind.seekNode(key.data()) == 0) return true;
    std::fprintf(stderr, "No %s node %s\n", kind.name, node.c_str());
    return false;
}

// One FIELD=VALUE of `network set`, checked against the field's definition before anything is
// written: the value in the form the field stores it.
struct Assignment {
    std::string field;
    std::string stored;
    bool numbered = false;   // SUBNET, BRANCH, LINKNO: whole numbers written with leading zeros
    int number = 0;
};

bool isNumberedField(const std::string& name) { return name == "SUBNET" || name == "BRANCH" || name == "LINKNO"; }

// False after a message naming the field and its definition.
bool checkAssignment(const Kind& kind, DATA4St* data, const std::string& text, Assignment& out) {
    const std::size_t eq = text.find('=');   // there is one: the command line was checked
    const std::string value = text.substr(eq + 1);
    FIELD4* field = d4field(data, text.substr(0, eq).c_str());
    if (!field) {
        std::fprintf(stderr, "The %s table has no field %s\n", kind.name, text.substr(0, eq).c_str());
        return false;
    }
    out.field = f4name(field);
    std::string bytes, why;
    out.numbered = isNumberedField(out.field);
    const char* problem = !utf8ToCodePage(value, bytes, why) ? why.c_str()
                          : out.numbered ? f4valueProblem('N', f4len(field), 0, bytes.c_str(), out.stored)
                                         : f4valueProblem(f4type(field), f4len(field), f4decimals(field), bytes.c_str(),
                                                          out.stored);
    if (!problem && out.numbered) {
        out.number = std::atoi(out.stored.c_str());
        if (out.stored.empty() || out.number < 0) problem = "is not a whole number from 0";
    }
    if (problem) {
        std::fprintf(stderr, "%s\n", f4refusal(field, value, problem).c_str());
        return false;
    }
    // A text keeps its leading blanks, as the field stores them.
    if (f4type(field) == 'C' && !out.numbered) out.stored = bytes;
    return true;
}

int setFields(const Kind& kind, const std::string& node, const std::vector<std::string>& texts) {
    DATA4St* data = openKind(kind);
    if (!data) return 1;
    std::vector<Assignment> checked(texts.size());
    bool ok = seekNode(kind, data, node);
    for (std::size_t i = 0; ok && i < texts.size(); ++i) ok = checkAssignment(kind, data, texts[i], checked[i]);
    if (!ok) {
        kind.close(false);
        return 1;
    }
    for (Assignment& a : checked) {
        if (a.numbered)
            kind.setFieldInt(a.field.data(), a.number);
        else
            kind.setField(a.field.data(), a.stored.data());
    }
    if (commandFailedSoFar()) {
        kind.close(false);
        return 1;
    }
    // A failed save has said why and kept the work files for recovery.
    const bool saved = kind.save();
    kind.close(false);
    if (!saved || commandFailedSoFar()) return 1;
    std::printf("Saved %zu field(s) of %s\n", checked.size(), node.c_str());
    return 0;
}

// A text of a link record in UTF-8, padded to 16 characters.
std::string column(const char* text) {
    std::string cell = codePageToUtf8(text);
    const std::size_t length = utf8Length(cell);
    if (length < 16) cell.append(16 - length, ' ');
    return cell;
}

void addNetworkCommands(CLI::App& app) {
    // The SWMM and inflow commands (cmd_swmm.cpp) share the group; whichever comes first makes it.
    CLI::App* network = nullptr;
    try {
        network = app.get_subcommand("network");
    } catch (const CLI::OptionNotFound&) {
        network = app.add_subcommand("network", "Sewer, storm and erf-connection tables of the project");
    }
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
            DATA4St* data = kind ? openKind(*kind) : nullptr;
            if (!data) return 1;
            const bool found = seekNode(*kind, data, node);
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
    set->add_option("FIELD=VALUE", assignments, "Fields to set")->required()->check(CLI::Validator(
        [](std::string& text) {
            const std::size_t eq = text.find('=');
            return eq == std::string::npos || eq == 0 ? "expected FIELD=VALUE, not " + text : std::string();
        },
        "", "FIELD=VALUE"));
    set->callback([] {
        commandResult() = runCommand([] {
            const Kind* kind = findKind(kindName);
            return kind ? setFields(*kind, node, assignments) : 1;
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
                std::printf("%s %s %s %6d %6d %10.3f %10.6f %9.3f %9.3f\n", column(rec.upNode).c_str(),
                            column(rec.downNode).c_str(), column(rec.linkType).c_str(), rec.size1, rec.size2,
                            rec.length, rec.slope, rec.upGrade, rec.downGrade);
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
