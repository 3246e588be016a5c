// Commands of string geometry: recalculating derived strings, the job's selected string, hiding
// and showing ranges of derived strings, and the cross-section taken from the strings; and the
// demo step that derives kerb and edge strings from the demo's centre line and cuts a section.
//
// Each command reaches the strings file of a root string ("<project>.<root>.str") through its
// own handle and closes it again.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/road.h"
#include "database/section.h"
#include "database/strings.h"
#include "host.h"
#include "platform/core.h"
#include "tabular.h"

namespace {

std::string stringsFileOf(const std::string& root) {
    char name[MAX_PATH];
    coreStrncpy(name, root.c_str(), kStrNameChars + 1);
    char fileName[MAX_PATH];
    dbfTerrainStringsFileName(name, fileName);
    return fileName;
}

// A root's strings file opened for update, closed (and the accessor let go) at the end.
struct OpenStrings {
    std::string fileName;
    FILE* file = nullptr;

    explicit OpenStrings(const std::string& root) : fileName(stringsFileOf(root)) {
        STR_FILEHEADER header;
        const bool exists = coreFileExist(fileName.c_str()) != 0;
        // A damaged file is refused by the library with its message.
        if (exists) file = viewStringOpenFile(fileName.c_str(), header);
        if (!file) std::fprintf(stderr, exists ? "Unable to open %s\n" : "No strings file %s\n", fileName.c_str());
    }
    // False after saying why when the file could not be closed cleanly.
    bool close() {
        dbfStringsClose();
        FILE* f = file;
        file = nullptr;
        if (!f || coreFileCloseChecked(f)) return true;
        std::fprintf(stderr, "%s\n", coreFileErrorText("save", fileName.c_str()).c_str());
        return false;
    }
    ~OpenStrings() { close(); }
};

// The position of the named string; 0 after saying it is missing.
DWORD positionOf(const OpenStrings& strings, const std::string& name, STR_HEADER& header) {
    const DWORD position = dbfGetStringHeader(name.c_str(), header, strings.file);
    if (!position) std::fprintf(stderr, "No string %s in %s\n", name.c_str(), strings.fileName.c_str());
    return position;
}

struct Options {
    std::string root, name;
    double chainage = 0.0, from = 0.0, to = 0.0;
    std::vector<double> centre, further;
    int road = 1, a = 1, b = 1;   // the range's key is Range<a x b>
    bool removeLoops = false, clear = false;
};

Options& opt() {
    static Options options;
    return options;
}

int recalc() {
    if (!requireProject()) return 1;
    OpenStrings strings(opt().root);
    if (!strings.file) return 1;
    const std::string top = opt().name.empty() ? opt().root : opt().name;
    STR_HEADER header;
    if (!positionOf(strings, top, header)) return 1;
    dbfRecalcStrings(top.c_str(), 0, strings.file, 0, opt().removeLoops ? 1 : 0);
    if (!strings.close() || commandFailedSoFar()) return 1;
    std::printf("The strings below %s are recalculated\n", top.c_str());
    return 0;
}

int selectString() {
    if (!requireProject()) return 1;
    if (opt().clear) {
        dbfStringClearSelection();
        std::printf("No string is selected\n");
        return 0;
    }
    if (opt().root.empty()) {
        char name[32];
        if (!dbfGetSelectedString(name)) {
            std::printf("No string is selected\n");
            return 0;
        }
        char fileName[MAX_PATH];
        coreGetJobDefault("TerrainStrings", "Selected", "", fileName, MAX_PATH);
        std::printf("%s in %s is selected\n", name, fileName);
        return 0;
    }
    const std::string fileName = stringsFileOf(opt().root);
    const std::string name = opt().name.empty() ? opt().root : opt().name;
    if (!dbfStringMakeSelection(fileName.c_str(), name.c_str())) {
        std::fprintf(stderr, "Unable to open %s\n", fileName.c_str());
        return 1;
    }
    if (commandFailedSoFar()) return 1;
    char selected[32];
    const bool now = dbfGetSelectedString(selected) && name == selected;
    std::printf(now ? "%s is selected\n" : "%s is no longer selected\n", name.c_str());
    return 0;
}

int showRange() {
    if (!requireProject()) return 1;
    OpenStrings strings(opt().root);
    if (!strings.file) return 1;
    STR_HEADER header;
    const DWORD position = positionOf(strings, opt().name, header);
    if (!position) return 1;
    dbfShowString(position, opt().chainage, strings.file);
    if (!strings.close() || commandFailedSoFar()) return 1;
    std::printf("The hidden run at %s in the strings below %s is shown\n", fixed(opt().chainage).c_str(),
                opt().name.c_str());
    return 0;
}

int hideRange() {
    if (!requireProject()) return 1;
    if (opt().road < 1 || opt().road > 100000) throw UsageError("--road: a road number from 1");
    OpenStrings strings(opt().root);
    if (!strings.file) return 1;
    STR_HEADER header;
    const DWORD position = positionOf(strings, opt().name, header);
    if (!position) return 1;
    char roadText[16];
    std::snprintf(roadText, sizeof roadText, "%d", opt().road);
    char des[MAX_PATH] = {};
    dbfFileName(des, roadText, kFileRoadDes);
    if (!coreFileExist(des)) {
        std::fprintf(stderr, "No design file %s for road %d: nothing is hidden\n", des, opt().road);
        return 1;
    }
    dbfHideString(position, opt().from, opt().to, strings.file, opt().road, opt().a, opt().b);
    if (!strings.close() || commandFailedSoFar()) return 1;
    INI_LIST settings(des);
    const std::string key = "Range" + std::to_string(opt().a * opt().b);
    const std::string range = settings.GetString("InterGaps", key.c_str(), "");
    if (range.empty()) {
        std::fprintf(stderr, "The strings below %s have no vertex at %s: nothing is hidden\n", opt().name.c_str(),
                     fixed(opt().from).c_str());
        return 1;
    }
    std::printf("%s: InterGaps %s=%s\n", des, key.c_str(), range.c_str());
    return 0;
}

int cross() {
    if (!requireProject()) return 1;
    OpenStrings strings(opt().root);
    if (!strings.file) return 1;
    const std::vector<double>& c = opt().centre;
    const std::vector<double>& f = opt().further;
    const PNT_3D_record centre{c[0], c[1], c.size() > 2 ? c[2] : 0.0};
    const PNT_3D_record further{f[0], f[1], 0.0};
    const double length = std::hypot(further.x - centre.x, further.y - centre.y);
    if (length <= 1e-9) throw UsageError("--to: the section line needs a point away from the centre");
    const PNT_2D_record direction{(further.x - centre.x) / length, (further.y - centre.y) / length};
    XSECTION xs{};
    xs.capacity = kSectionCapacity;
    const std::string top = opt().name.empty() ? opt().root : opt().name;
    STR_HEADER header;
    if (!positionOf(strings, top, header)) return 1;
    dbfCrossFromStrings(&xs, opt().chainage, top.c_str(), centre, direction, further, strings.file, "", nullptr);
    if (!strings.close() || commandFailedSoFar()) return 1;
    OutputTable table;
    table.column("offset", true).column("elevation", true).column("code", true);
    for (int i = 0; i < xs.count; ++i)
        table.row({fixed(xs.points[i].offset), fixed(xs.points[i].elevation), fixed(xs.points[i].idNo, 0)});
    std::fprintf(stderr, "%d strings cross the section at %s\n", xs.count, fixed(xs.chainage).c_str());
    printOutput(table);
    return 0;
}

}  // namespace

// Called by the strings command group, which owns the "strings" command.
void addStringGeometryCommands(CLI::App* strings) {
    Options& o = opt();
    auto* recalcCmd = strings->add_subcommand("recalc", "Recalculate the strings derived from a string");
    recalcCmd->add_option("ROOT", o.root, "The root string (the strings file)")->required()->check(StringName);
    recalcCmd->add_option("NAME", o.name, "The string whose derived strings are recalculated (default: the root)")->check(StringName);
    recalcCmd->add_flag("--remove-loops", o.removeLoops, "Cut loops out of each derived string");
    recalcCmd->callback([] { commandResult() = runCommand(recalc); });

    auto* selectCmd = strings->add_subcommand("select", "Select a string, deselect it, or say which is selected");
    selectCmd->add_option("ROOT", o.root, "The root string (the strings file); none: say which is selected")->check(StringName);
    selectCmd->add_option("NAME", o.name, "The string (default: the root); the selected one is deselected")->check(StringName);
    selectCmd->add_flag("--clear", o.clear, "Deselect whatever string is selected");
    selectCmd->callback([] { commandResult() = runCommand(selectString); });

    auto* showCmd = strings->add_subcommand("show-range", "Show the hidden run at a chainage in the derived strings");
    showCmd->add_option("ROOT", o.root, "The root string (the strings file)")->required()->check(StringName);
    showCmd->add_option("NAME", o.name, "The string whose derived strings are shown")->required()->check(StringName);
    showCmd->add_option("CHAINAGE", o.chainage, "A chainage within the hidden run")->required()->check(RealNumber);
    showCmd->callback([] { commandResult() = runCommand(showRange); });

    auto* hideCmd = strings->add_subcommand("hide", "Record a hidden range of the derived strings in a road's design file");
    hideCmd->add_option("ROOT", o.root, "The root string (the strings file)")->required()->check(StringName);
    hideCmd->add_option("NAME", o.name, "The string whose derived strings are hidden")->required()->check(StringName);
    hideCmd->add_option("FROM", o.from, "The chainage the range starts at (a vertex)")->required()->check(RealNumber);
    hideCmd->add_option("TO", o.to, "The chainage the range ends at")->required()->check(RealNumber);
    hideCmd->add_option("--road", o.road, "The road whose design file records the range")->capture_default_str()->check(RoadNumber);
    hideCmd->add_option("--key", o.a, "The range's number (its key is Range<number>)")->capture_default_str();
    hideCmd->callback([] { commandResult() = runCommand(hideRange); });

    auto* crossCmd = strings->add_subcommand("cross", "The cross-section where the strings cross a section line");
    crossCmd->add_option("ROOT", o.root, "The root string (the strings file)")->required()->check(StringName);
    crossCmd->add_option("CHAINAGE", o.chainage, "The section's chainage")->required()->check(RealNumber);
    crossCmd->add_option("--centre", o.centre, "The centre x,y[,z] the offsets are measured from")
        ->required()->expected(2, 3)->delimiter(',')->check(RealNumber);
    crossCmd->add_option("--to", o.further, "A point x,y the section line runs to")
        ->required()->expected(2)->delimiter(',')->check(RealNumber);
    crossCmd->add_option("--from", o.name, "The string the family starts at (default: the root)")->check(StringName);
    crossCmd->callback([] { commandResult() = runCommand(cross); });
}

// ---------------------------------------------------------------------------------------------
// The demo: the edges of the centre line become strings derived from it (7.5 to each side), each
// with a kerb 0.3 further out whose face is a vertical step of 0.15; then a section is cut across
// them halfway along.

namespace {

// Gives every vertex of the string the parameters of a constant offset from its parent.
bool deriveConstant(FILE* file, const char* name, double offset, double rise) {
    STR_HEADER header;
    const DWORD position = dbfGetStringHeader(name, header, file);
    if (!position) return false;
    UI_LIST list(dbfStringCompareFunc);
    dbfGetStringData(position, list, 0, 0, file);
    for (UI_ELEMENT* e = list.Head(); e; e = e->Next()) {
        auto* v = static_cast<CVertexEle*>(e);
        v->vertexRef = v->chainage;
        v->offset = static_cast<float>(offset);
        v->rise = static_cast<float>(rise);
    }
    return dbfAddStringData(position, list, list.Count(), file) != 0;
}

// A kerb derived from the edge: at each edge vertex the top of the kerb face and, on the same
// chainage, its foot 0.15 lower.
bool addKerb(FILE* file, const std::string& fileName, const char* edge, const char* kerb, double offset) {
    STR_HEADER edgeHeader;
    const DWORD edgePosition = dbfGetStringHeader(edge, edgeHeader, file);
    if (!edgePosition) return false;
    UI_LIST edgeList(dbfStringCompareFunc);
    dbfGetStringData(edgePosition, edgeList, 0, 0, file);
    UI_LIST kerbList;
    for (UI_ELEMENT* e = edgeList.Head(); e; e = e->Next())
        for (double rise : {0.0, -0.15}) {
            auto* v = new CVertexEle(*static_cast<CVertexEle*>(e));
            v->vertexRef = v->chainage;
            v->offset = static_cast<float>(offset);
            v->rise = static_cast<float>(rise);
            kerbList.Append(v);
        }
    STR_HEADER header;
    dbfInitHeader(header);
    coreStrncpy(header.name, kerb, 32);
    const DWORD position = dbfAddStringHeader(header, file, fileName.c_str());
    if (!position || !dbfAddStringData(position, kerbList, kerbList.Count(), file)) return false;
    coreStrncpy(edgeHeader.firstChild, kerb, 32);
    return dbfAddStringHeader(edgeHeader, file, fileName.c_str()) != 0;
}

void deriveDemoStrings(DemoContext& ctx) {
    OpenStrings strings("CENTRE");
    if (!strings.file) return;
    FILE* file = strings.file;
    const bool ok = deriveConstant(file, "L_EDGE", -7.5, -0.15) && deriveConstant(file, "R_EDGE", 7.5, -0.15) &&
                    addKerb(file, strings.fileName, "L_EDGE", "L_KERB", -0.3) &&
                    addKerb(file, strings.fileName, "R_EDGE", "R_KERB", 0.3);
    if (!ok) {
        std::fprintf(stderr, "Unable to derive the demo's edge strings\n");
        return;
    }
    dbfRecalcStrings("CENTRE", 0, file, 0, 0);

    // The section halfway along, square to the centre line there.
    STR_HEADER header;
    UI_LIST centre(dbfStringCompareFunc);
    dbfGetStringData(dbfGetStringHeader("CENTRE", header, file), centre, 0, 0, file);
    const auto* mid = static_cast<const CVertexEle*>(centre.Get(centre.Count() / 2));
    const auto* next = mid ? mid->Next(false) : nullptr;
    if (!mid || !next) return;
    const double length = std::hypot(next->x - mid->x, next->y - mid->y);
    // To the right of the centre line: the direction turned a quarter clockwise on the plan.
    const PNT_2D_record along{(next->x - mid->x) / length, (next->y - mid->y) / length};
    const PNT_3D_record centrePoint{mid->x, mid->y, mid->z};
    XSECTION xs{};
    xs.capacity = kSectionCapacity;
    OutputTable table;
    table.column("offset", true).column("elevation", true).column("code", true);
    // Each half of the section is cut from the centre outwards; the left half's offsets are
    // negative.
    for (double side : {-1.0, 1.0}) {
        const PNT_3D_record further{mid->x - side * along.y * 20.0, mid->y + side * along.x * 20.0, 0.0};
        XSECTION half{};
        half.capacity = kSectionCapacity;
        dbfCrossFromStrings(&half, mid->chainage, "CENTRE", centrePoint, along, further, file, "", nullptr);
        for (int i = 0; i < half.count; ++i) {
            const double offset = side < 0 ? -half.points[i].offset : half.points[i].offset;
            if (side < 0 && offset == 0.0) continue;   // the centre line, once
            dbfAddOffsetElevation(offset, half.points[i].elevation, half.points[i].idNo, 0, &xs);
        }
    }
    xs.chainage = mid->chainage;
    for (int i = 0; i < xs.count; ++i)
        table.row({fixed(xs.points[i].offset), fixed(xs.points[i].elevation), fixed(xs.points[i].idNo, 0)});
    const std::string csv = ctx.folder + "strings_section.csv";
    if (writeCsvFile(csv, table)) ctx.written.push_back(csv);
    std::fprintf(stderr, "Strings: L_EDGE, R_EDGE and their kerbs derived from CENTRE; %d strings cross the section at %s\n",
                 xs.count, fixed(xs.chainage).c_str());
}

DemoStep deriveStep(21, "strings derived from the centre line", deriveDemoStrings);

}  // namespace
