// Commands: network open / list / seek / set / add / import / delete / links, and the demo's sewer and storm networks.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/network.h"
#include "host.h"
#include "platform/core.h"
#include "tabular.h"

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
    void (*removeDeleted)(bool&);
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
     "NODE,NEXT_NODE,L_TYPE,SIZE,INLEVEL,OUTLEVEL,SOFFIT", dbfSewerRemDelRec},
    {"storm", "stw", dbfStormOpenFile, dbfStormCloseFile, saveStorm, dbfStormGetFirstRecord,
     dbfStormGetNextRecord, dbfStormGetRecordCount, dbfStormGetRecordNo, dbfStormGetRecordNode,
     dbfStormGetFieldString, dbfStormGetFieldInfo, dbfStormSetField, dbfStormSetFieldInt, dbfStormGetRecord,
     "NODE,NEXT_NODE,L_TYPE,SIZE,INLEVEL,OUTLEVEL,GRADE", dbfStormRemDelRec},
    // The erf-connection table is named after the sewer table.
    {"erf", "sew", dbfErfConOpenFile, dbfErfConCloseFile, saveErf, dbfErfConGetFirstRecord,
     dbfErfConGetNextRecord, dbfErfConGetRecordCount, dbfErfConGetRecordNo, dbfErfConGetRecordNode,
     dbfErfConGetFieldString, dbfErfConGetFieldInfo, dbfErfConSetField, dbfErfConSetFieldInt, nullptr,
     "ERF_NO,NODE,CON_DIA,IL_CON", dbfErfConRemDelRec},
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

// The list of the chosen fields: one column a field (numeric for N fields), the texts turned
// from the tables' code page into UTF-8.
OutputTable fieldTable(const Kind& kind, const std::vector<std::string>& fields) {
    OutputTable t;
    for (const std::string& f : fields) {
        std::vector<char> name(f.begin(), f.end());
        name.push_back(0);
        int width = 0, type = 'C';
        kind.info(name.data(), width, type);
        t.column(f, type == 'N');
    }
    return t;
}

void addRecordRow(const Kind& kind, OutputTable& t) {
    std::vector<std::string> row;
    for (const auto& column : t.columns) {
        std::vector<char> name(column.name.begin(), column.name.end());
        name.push_back(0);
        char text[512] = {};
        kind.display(name.data(), text);
        std::string cell = codePageToUtf8(text);
        const std::size_t a = cell.find_first_not_of(' ');
        cell = a == std::string::npos ? "" : cell.substr(a, cell.find_last_not_of(' ') - a + 1);
        row.push_back(cell);
    }
    t.row(std::move(row));
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

// Why FIELD=VALUE cannot be written (naming the field and its definition), or "" with the value
// in the form the field stores it.
std::string assignmentProblem(const Kind& kind, DATA4St* data, const std::string& name, const std::string& value,
                              Assignment& out) {
    FIELD4* field = d4field(data, name.c_str());
    if (!field) return "The " + std::string(kind.name) + " table has no field " + name;
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
    if (problem) return f4refusal(field, value, problem);
    // A text keeps its leading blanks, as the field stores them.
    if (f4type(field) == 'C' && !out.numbered) out.stored = bytes;
    return "";
}

// False after a message naming the field and its definition.
bool checkAssignment(const Kind& kind, DATA4St* data, const std::string& text, Assignment& out) {
    const std::size_t eq = text.find('=');   // there is one: the command line was checked
    const std::string problem = assignmentProblem(kind, data, text.substr(0, eq), text.substr(eq + 1), out);
    if (problem.empty()) return true;
    std::fprintf(stderr, "%s\n", problem.c_str());
    return false;
}

void applyAssignments(const Kind& kind, std::vector<Assignment>& checked) {
    for (Assignment& a : checked) {
        if (a.numbered)
            kind.setFieldInt(a.field.data(), a.number);
        else
            kind.setField(a.field.data(), a.stored.data());
    }
}

// Saves and closes the table; false when the save failed (the library said why and kept the
// work files for recovery) or anything before it showed an error.
bool saveAndClose(const Kind& kind) {
    if (commandFailedSoFar()) {
        kind.close(false);
        return false;
    }
    const bool saved = kind.save();
    kind.close(false);
    return saved && !commandFailedSoFar();
}

// Whether the table has a record of the node (a quiet look-up: the node name was checked).
bool hasNode(const Kind& kind, DATA4St* data, const std::string& key) {
    std::string padded = key;
    padded.resize(static_cast<std::size_t>(f4len(d4field(data, "NODE"))), ' ');
    return kind.seekNode(padded.data()) == 0;
}

// One new record: its node and the other fields checked, all before anything is written.
struct NewRecord {
    long line = 0;
    std::string node;
    std::vector<Assignment> fields;
};

// Appends the records and saves the table; false after saying why (nothing is then saved).
bool appendRecords(const Kind& kind, DATA4St* data, std::vector<NewRecord>& records) {
    for (NewRecord& r : records) {
        if (d4appendBlank(data) != 0) {
            std::fprintf(stderr, "Unable to add the record of %s to the %s table\n", r.node.c_str(), kind.name);
            kind.close(false);
            return false;
        }
        applyAssignments(kind, r.fields);
    }
    return saveAndClose(kind);
}

// Checks a new record's fields (NODE among them); "" when it may be added.
std::string newRecordProblem(const Kind& kind, DATA4St* data, const std::vector<std::pair<std::string, std::string>>& values,
                             std::set<std::string>& nodes, NewRecord& record) {
    for (const auto& [name, value] : values) {
        Assignment a;
        const std::string problem = assignmentProblem(kind, data, name, value, a);
        if (!problem.empty()) return problem;
        if (a.field == "NODE") record.node = a.stored;
        record.fields.push_back(std::move(a));
    }
    std::string node = record.node;
    node.erase(node.find_last_not_of(' ') + 1);
    if (node.empty()) return "The record has no NODE";
    if (!nodes.insert(node).second) return "The node " + codePageToUtf8(node) + " is given twice";
    if (hasNode(kind, data, node)) return "The " + std::string(kind.name) + " table has a node " + codePageToUtf8(node) + " already";
    return "";
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
    applyAssignments(kind, checked);
    if (!saveAndClose(kind)) return 1;
    std::printf("Saved %zu field(s) of %s\n", checked.size(), node.c_str());
    return 0;
}

int addNode(const Kind& kind, const std::string& node, const std::vector<std::string>& texts) {
    DATA4St* data = openKind(kind);
    if (!data) return 1;
    std::vector<std::pair<std::string, std::string>> values = {{"NODE", node}};
    for (const std::string& text : texts) values.emplace_back(text.substr(0, text.find('=')), text.substr(text.find('=') + 1));
    std::set<std::string> nodes;
    std::vector<NewRecord> records(1);
    const std::string problem = newRecordProblem(kind, data, values, nodes, records[0]);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        kind.close(false);
        return 1;
    }
    if (!appendRecords(kind, data, records)) return 1;
    std::printf("Added %s to the %s table\n", node.c_str(), kind.name);
    return 0;
}

// Imports records from a file whose header row names the fields; every line is checked before
// anything is written, and one bad line adds nothing.
int importNodes(const Kind& kind, const std::string& path, const TabularOptions& options) {
    TabularOptions withHeader = options;
    withHeader.header = HeaderRule::Yes;
    TabularFile file;
    if (!readTabular(path, withHeader, file)) return 1;
    if (headerColumn(file.header, {"node"}) < 0) {
        std::fprintf(stderr, "%s: the header row must name the fields, NODE among them\n", path.c_str());
        return 1;
    }
    DATA4St* data = openKind(kind);
    if (!data) return 1;
    SkipReport bad(path);
    std::set<std::string> nodes;
    std::vector<NewRecord> records;
    for (const TabularRow& row : file.rows) {
        std::vector<std::pair<std::string, std::string>> values;
        for (std::size_t i = 0; i < file.header.size() && i < row.fields.size(); ++i)
            if (!row.fields[i].empty() || file.header[i] == "NODE") values.emplace_back(file.header[i], row.fields[i]);
        NewRecord record;
        record.line = row.line;
        std::string problem = row.problem;
        if (problem.empty() && row.fields.size() > file.header.size())
            problem = std::to_string(row.fields.size()) + " fields, the header names " + std::to_string(file.header.size());
        if (problem.empty()) problem = newRecordProblem(kind, data, values, nodes, record);
        if (problem.empty()) records.push_back(std::move(record));
        else bad.skip(row.line, problem);
    }
    bad.finish();
    if (bad.count() > 0 || records.empty()) {
        std::fprintf(stderr, "%s: %s; nothing was added\n", path.c_str(),
                     records.empty() && bad.count() == 0 ? "no records" : (std::to_string(bad.count()) + " bad lines").c_str());
        kind.close(false);
        return 1;
    }
    if (!appendRecords(kind, data, records)) return 1;
    std::printf("%s: %zu lines read, %zu records added to the %s table\n", path.c_str(), file.rows.size(), records.size(),
                kind.name);
    return 0;
}

// Marks the node's record deleted and removes it from the table (the library's own removal,
// which the storm table's model file follows), then saves.
int deleteNode(const Kind& kind, const std::string& node) {
    DATA4St* data = openKind(kind);
    if (!data) return 1;
    if (!seekNode(kind, data, node)) {
        kind.close(false);
        return 1;
    }
    d4delete(data);
    const ConsoleUi::Preset kept = host().ui.preset;
    host().ui.preset = ConsoleUi::Preset::Yes;   // the removal's question: the command asked for it
    bool removed = false;
    kind.removeDeleted(removed);
    host().ui.preset = kept;
    if (!removed || !saveAndClose(kind)) {
        if (!removed) {
            std::fprintf(stderr, "The record of %s was not removed\n", node.c_str());
            kind.close(false);
        }
        return 1;
    }
    std::printf("Deleted %s from the %s table\n", node.c_str(), kind.name);
    return 0;
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
            OutputTable t = fieldTable(*kind, splitFields(fieldList.empty() ? kind->defaultFields : fieldList));
            for (int rc = kind->first(); rc == 0 && kind->recordNo() <= kind->count(); rc = kind->next())
                addRecordRow(*kind, t);
            kind->close(false);
            printOutput(t);
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
                OutputTable t = fieldTable(*kind, splitFields(fieldList.empty() ? kind->defaultFields : fieldList));
                addRecordRow(*kind, t);
                if (outputFormat() == OutputFormat::Table) std::printf("Record %d\n", kind->recordNo());
                printOutput(t);
            }
            kind->close(false);
            return found ? 0 : 1;
        });
    });

    static const CLI::Validator assignment(
        [](std::string& text) {
            const std::size_t eq = text.find('=');
            return eq == std::string::npos || eq == 0 ? "expected FIELD=VALUE, not " + text : std::string();
        },
        "", "FIELD=VALUE");
    auto* set = network->add_subcommand("set", "Set fields of a node's record and save the table");
    set->add_option("KIND", kindName, "sewer, storm or erf")->required();
    set->add_option("NODE", node, "Node name")->required();
    set->add_option("FIELD=VALUE", assignments, "Fields to set")->required()->check(assignment);
    set->callback([] {
        commandResult() = runCommand([] {
            const Kind* kind = findKind(kindName);
            return kind ? setFields(*kind, node, assignments) : 1;
        });
    });

    auto* add = network->add_subcommand("add", "Add a node's record with its fields and save the table");
    add->add_option("KIND", kindName, "sewer, storm or erf")->required();
    add->add_option("NODE", node, "The new node's name (no record may have it yet)")->required();
    add->add_option("FIELD=VALUE", assignments, "Other fields of the record (NEXT_NODE=MH2 SIZE1=160 ...)")->check(assignment);
    add->callback([] {
        commandResult() = runCommand([] {
            const Kind* kind = findKind(kindName);
            return kind ? addNode(*kind, node, assignments) : 1;
        });
    });

    static std::string path;
    static TabularOptions options;
    auto* import = network->add_subcommand("import", "Add records from a file whose header row names the fields");
    import->add_option("KIND", kindName, "sewer, storm or erf")->required();
    import->add_option("FILE", path, "CSV (or tab-separated) file, one record a line; every line is checked first, and one bad line adds nothing")
        ->required();
    addTabularOptions(import, options);
    import->callback([] {
        commandResult() = runCommand([] {
            const Kind* kind = findKind(kindName);
            return kind ? importNodes(*kind, path, options) : 1;
        });
    });

    auto* remove = network->add_subcommand("delete", "Delete a node's record and save the table");
    remove->add_option("KIND", kindName, "sewer, storm or erf")->required();
    remove->add_option("NODE", node, "Node name")->required();
    remove->callback([] {
        commandResult() = runCommand([] {
            const Kind* kind = findKind(kindName);
            return kind ? deleteNode(*kind, node) : 1;
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
            OutputTable t;
            t.column("from").column("to").column("type").column("size1", true).column("size2", true)
                .column("length", true).column("slope", true).column("up grade", true).column("down grade", true);
            for (bool first = true; kind->links(nullptr, rec, first, reinterpret_cast<char*>(&cache), nullptr);
                 first = false)
                t.row({codePageToUtf8(rec.upNode), codePageToUtf8(rec.downNode), codePageToUtf8(rec.linkType),
                       std::to_string(rec.size1), std::to_string(rec.size2), fixed(rec.length), fixed(rec.slope, 6),
                       fixed(rec.upGrade), fixed(rec.downGrade)});
            printOutput(t);
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
