// Commands: network swmm update / rename / delete / restore / check, and network inflow add /
// remove / hydrograph. The SWMM commands work on the project's storm table and its SWMM input
// file; the inflow commands on the project's sewer table and on hydrograph tables.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/network.h"
#include "host.h"
#include "tabular.h"
#include "platform/core.h"

namespace {

enum class Table { Sewer, Storm };

struct Opened {
    Table table;
    explicit Opened(Table t) : table(t) {}
    bool close(bool save) {
        bool saved = true;
        if (save) saved = (table == Table::Storm ? dbfStormSaveFile() : dbfSewerSaveFile()) != nullptr;
        if (table == Table::Storm) dbfStormCloseFile(false);
        else dbfSewerCloseFile(false);
        return saved && !commandFailedSoFar();
    }
};

// Opens the project's sewer or storm table (created when missing); none after a message.
DATA4St* openTable(Table table) {
    if (!requireProject()) return nullptr;
    char path[MAX_PATH] = {};
    dbfFileName(path, table == Table::Storm ? "stw" : "sew", kFileProject);
    return table == Table::Storm ? dbfStormOpenFile(path) : dbfSewerOpenFile(path);
}

// A node name in the table's code page, padded to the NODE field's width (so that "MH1" never
// finds "MH10"); false after a message when it cannot be a node name.
bool nodeKey(DATA4St* data, const std::string& node, std::string& key) {
    FIELD4* field = d4field(data, "NODE");
    std::string why, stored;
    const char* problem = utf8ToCodePage(node, key, why) ? f4valueProblem('C', f4len(field), 0, key.c_str(), stored)
                                                         : why.c_str();
    if (problem) {
        std::fprintf(stderr, "%s\n", f4refusal(field, node, problem).c_str());
        return false;
    }
    key.resize(static_cast<std::size_t>(f4len(field)), ' ');
    return true;
}

// Text arguments of the library, in the tables' code page; false after a message.
bool codePage(const std::string& utf8, std::string& bytes) {
    std::string why;
    if (utf8ToCodePage(utf8, bytes, why)) return true;
    std::fprintf(stderr, "%s: %s\n", utf8.c_str(), why.c_str());
    return false;
}

// The storm table's SWMM input file after a change, written by the storm save.
int finishStorm(Opened& storm, const char* done) {
    char saved[MAX_PATH];
    coreStrncpy(saved, dbfStormGetDataFileName(), MAX_PATH);
    coreChangeFileExt(saved, ".inp");
    if (!storm.close(true)) return 1;
    std::printf("%s: %s\n", done, codePageToUtf8(saved).c_str());
    return 0;
}

// Runs fn(SWMM input) on the open storm table; 1 when the table or its SWMM input is missing.
template <typename Fn>
int withSwmm(Fn fn, const char* done) {
    if (!openTable(Table::Storm)) return 1;
    Opened storm(Table::Storm);
    SWMM_LIST* swmm = dbfStormGetSwmmFile();
    if (!swmm) {
        std::fprintf(stderr, "The storm table has no SWMM input file\n");
        storm.close(false);
        return 1;
    }
    if (!fn(swmm)) {
        storm.close(false);
        return 1;
    }
    return finishStorm(storm, done);
}

std::string section, nodeType, name, newName, method, path;
bool preserve = false;
int units = 0;
std::vector<std::string> entries;

int update() {
    return withSwmm([](SWMM_LIST*) { return dbfSwmmUpdateFileFromDB(preserve) == 1; }, "SWMM input file written");
}

int renameNode() {
    std::string s, from, to;
    if (!codePage(section, s) || !codePage(name, from) || !codePage(newName, to)) return 1;
    return withSwmm(
        [&](SWMM_LIST* swmm) {
            const std::string before = swmm->Contents();
            dbfSwmmRenameNode(s.c_str(), from.c_str(), to.c_str());
            if (swmm->Contents() != before) return true;
            std::fprintf(stderr, "No line of %s in section %s\n", name.c_str(), section.c_str());
            return false;
        },
        "Node renamed in");
}

int moveNode(bool restore) {
    std::string n;
    if (!codePage(name, n)) return 1;
    return withSwmm(
        [&](SWMM_LIST* swmm) {
            const std::string before = swmm->Contents();
            if (restore) dbfSwmmRestoreNode(nodeType.c_str(), n.c_str());
            else dbfSwmmDeleteNode(nodeType.c_str(), n.c_str());
            if (swmm->Contents() != before) return true;
            std::fprintf(stderr, "No %sline of %s %s to %s\n", restore ? "held " : "", nodeType.c_str(), name.c_str(),
                         restore ? "restore" : "delete");
            return false;
        },
        restore ? "Node line restored in" : "Node line deleted from");
}

// Converts older outlet lines and lists the overflow nodes with their base nodes.
int check() {
    return withSwmm(
        [](SWMM_LIST*) {
            dbfSwmmCheckOutletType();
            OutputTable table;
            table.column("overflow node").column("base node");
            char tag[] = "NODE";
            dbfStormSetIndex(tag);
            for (int rc = dbfStormGetFirstRecord(); rc == 0 && dbfStormGetRecordNo() <= dbfStormGetRecordCount();
                 rc = dbfStormGetNextRecord()) {
                char field[] = "NODE", node[64] = {}, base[26] = {};
                dbfStormGetField(field, node, true);
                if (dbfSwmmCheckOverflowNode(node, dbfStormGetRecordNo(), base))
                    table.row({codePageToUtf8(node), codePageToUtf8(base)});
            }
            printOutput(table);
            std::fprintf(stderr, "%zu overflow node(s)\n", table.rows.size());
            return true;
        },
        "Outlet lines checked in");
}

int changeInflow(bool add) {
    std::string n, m, key;
    if (!codePage(name, n) || !codePage(method, m)) return 1;
    DATA4St* data = openTable(Table::Sewer);
    if (!data) return 1;
    Opened sewer(Table::Sewer);
    char tag[] = "NODE";
    if (!nodeKey(data, newName, key)) {
        sewer.close(false);
        return 1;
    }
    if (dbfSewerSeekRecord(key.data(), tag) != 0) {
        std::fprintf(stderr, "No sewer node %s\n", newName.c_str());
        sewer.close(false);
        return 1;
    }
    if (add) sewerAddInflowUnits(m.data(), n.data(), units);
    else sewerRemoveInflowUnits(m.data(), n.data(), units);
    if (!sewer.close(true)) return 1;
    std::printf("%s %d %s unit(s) %s node %s\n", add ? "Added" : "Removed", units, name.c_str(), add ? "to" : "from",
                newName.c_str());
    return 0;
}

// Shows the entries in use of a hydrograph table, or with --entry TIME,FLOW writes those.
int hydrograph() {
    std::string file;
    if (!codePage(path, file)) return 1;
    std::vector<int> times(kHydrographEntries, 0);
    std::vector<double> flows(kHydrographEntries, 0.0);
    if (entries.empty()) {
        if (dbfOpenInflowHydrograph(file.data(), times.data(), flows.data()) != 0) return 1;
        OutputTable table;
        table.column("time", true).column("inflow", true);
        for (int i = 0; i < kHydrographEntries; ++i)
            if (times[i] != 0 || flows[i] != 0.0) table.row({std::to_string(times[i]), fixed(flows[i], 5)});
        printOutput(table);
        std::fprintf(stderr, "%zu entr%s in use\n", table.rows.size(), table.rows.size() == 1 ? "y" : "ies");
        return 0;
    }
    if (static_cast<int>(entries.size()) > kHydrographEntries - 2)
        throw UsageError("At most " + std::to_string(kHydrographEntries - 2) + " entries");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t comma = entries[i].find(',');
        double time = 0;
        if (comma == std::string::npos || !parseReal(entries[i].substr(0, comma), time) ||
            !parseReal(entries[i].substr(comma + 1), flows[i]) || time != static_cast<int>(time))
            throw UsageError("An entry is TIME,FLOW with a whole time: " + entries[i]);
        times[i] = static_cast<int>(time);
    }
    if (dbfSaveInflowHydrograph(file.data(), times.data(), flows.data()) != 0) return 1;
    std::printf("Hydrograph written: %s\n", path.c_str());
    return 0;
}

void addSwmmCommands(CLI::App& app) {
    // The network group is shared with the table commands; whichever group comes first makes it.
    CLI::App* network = nullptr;
    try {
        network = app.get_subcommand("network");
    } catch (const CLI::OptionNotFound&) {
        network = app.add_subcommand("network", "Sewer, storm and erf-connection tables of the project");
    }

    auto* swmm = network->add_subcommand("swmm", "The storm table's SWMM 5 input file");
    swmm->require_subcommand(1);
    auto* up = swmm->add_subcommand("update", "Write the network sections from the storm table");
    up->add_flag("--preserve", preserve, "Keep the SWMM values already in the table where present");
    up->callback([] { commandResult() = runCommand(update); });

    auto* rename = swmm->add_subcommand("rename", "Give a node's line in a section a new name");
    rename->add_option("SECTION", section, "The section, e.g. OUTFALLS")->required();
    rename->add_option("OLD", name, "The node's name")->required();
    rename->add_option("NEW", newName, "Its new name")->required();
    rename->callback([] { commandResult() = runCommand(renameNode); });

    for (bool restore : {false, true}) {
        auto* cmd = swmm->add_subcommand(restore ? "restore" : "delete",
                                         restore ? "Move a node's held line back to its section"
                                                 : "Remove a node's line (kept in the holding section but for junctions)");
        cmd->add_option("TYPE", nodeType, "Junction, Outfall, Divider or Storage")
            ->required()
            ->check(CLI::IsMember({"Junction", "Outfall", "Divider", "Storage"}));
        cmd->add_option("NAME", name, "The node's name")->required();
        cmd->callback([restore] { commandResult() = runCommand([restore] { return moveNode(restore); }); });
    }

    auto* chk = swmm->add_subcommand("check", "Convert older outlet lines and list the overflow nodes");
    chk->callback([] { commandResult() = runCommand(check); });

    auto* inflow = network->add_subcommand("inflow", "Inflow units at sewer nodes and hydrograph tables");
    inflow->require_subcommand(1);
    for (bool add : {true, false}) {
        auto* cmd = inflow->add_subcommand(add ? "add" : "remove", add ? "Add units to a node" : "Take units off a node");
        cmd->add_option("NODE", newName, "The sewer node")->required();
        cmd->add_option("METHOD", method, "Unit Flow, Harmon or Hydrograph")
            ->required()
            ->check(CLI::IsMember({"Unit Flow", "Harmon", "Hydrograph"}));
        cmd->add_option("NAME", name, "The inflow class or hydrograph (any text for Harmon)")->required();
        cmd->add_option("UNITS", units, "How many units")->required()->check(CLI::Range(0, 9999));
        cmd->callback([add] { commandResult() = runCommand([add] { return changeInflow(add); }); });
    }
    auto* hyd = inflow->add_subcommand("hydrograph", "Show a hydrograph table (created when missing) or write entries");
    hyd->add_option("FILE", path, "The hydrograph table")->required();
    hyd->add_option("--entry", entries, "TIME,FLOW, in order; replaces the table's entries");
    hyd->callback([] { commandResult() = runCommand(hydrograph); });
}

CommandGroup group(addSwmmCommands);

}  // namespace
