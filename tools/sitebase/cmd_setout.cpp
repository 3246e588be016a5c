// Road set-out: the chainages of a road get their positions, from a centre-line string or from a
// CSV file of chainage, y, x, so that sections can be cut on the user's own road.
//
// Along a string, a chainage's position is interpolated between the two vertices whose
// chainages hold it. Where the string's vertex chainages do not rise from vertex to vertex (a
// string drawn without them), the running plan length from the first vertex (from its chainage)
// stands in. Chainages are the road's own running chainages; the equation chainage
// (dbfChgEquation) is listed beside each, as the names and drawings show it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/road.h"
#include "database/strings.h"
#include "host.h"
#include "platform/core.h"
#include "tabular.h"

namespace {

struct Station {
    double chainage, y, x;
};

// The vertices of a string as (chainage, y, x); false after saying why.
bool readCentreLine(const std::string& root, const std::string& name, std::vector<Station>& line) {
    char rootName[MAX_PATH], fileName[MAX_PATH];
    coreStrncpy(rootName, root.c_str(), kStrNameChars + 1);
    dbfTerrainStringsFileName(rootName, fileName);
    if (!coreFileExist(fileName)) {
        std::fprintf(stderr, "No strings file %s for the string %s\n", fileName, root.c_str());
        return false;
    }
    STR_FILEHEADER fileHeader;
    FILE* file = viewStringOpenFile(fileName, fileHeader);
    if (!file) return false;   // refused as damaged, with the library's message
    STR_HEADER header;
    const DWORD position = dbfGetStringHeader(name.c_str(), header, file);
    UI_LIST vertices;
    if (position) dbfGetStringData(position, vertices, 0, 0, file);
    coreFileClose(file);
    if (!position) {
        std::fprintf(stderr, "No string %s in %s\n", name.c_str(), fileName);
        return false;
    }
    for (UI_ELEMENT* e = vertices.Head(); e; e = e->Next()) {
        const auto* v = static_cast<const CVertexEle*>(e);
        line.push_back({v->chainage, v->y, v->x});
    }
    if (line.size() < 2) {
        std::fprintf(stderr, "The string %s has %zu vertices; a centre line needs 2 or more\n", name.c_str(), line.size());
        return false;
    }
    bool rising = true;
    for (std::size_t i = 1; i < line.size(); ++i) rising = rising && line[i].chainage > line[i - 1].chainage;
    if (!rising)
        for (std::size_t i = 1; i < line.size(); ++i)
            line[i].chainage = line[i - 1].chainage + std::hypot(line[i].y - line[i - 1].y, line[i].x - line[i - 1].x);
    return true;
}

// The position at a chainage within the line.
Station positionAt(const std::vector<Station>& line, double chainage) {
    std::size_t i = 1;
    while (i + 1 < line.size() && line[i].chainage < chainage) ++i;
    const Station& a = line[i - 1];
    const Station& b = line[i];
    // Two vertices on one spot (a string without chainages may repeat one) span no length.
    const double span = b.chainage - a.chainage;
    const double t = span > 0.0 ? (chainage - a.chainage) / span : 0.0;
    return {chainage, a.y + t * (b.y - a.y), a.x + t * (b.x - a.x)};
}

// The chainages to set out: every multiple of the interval from..to, both ends, and with
// atVertices every vertex between them.
std::vector<double> setOutChainages(const std::vector<Station>& line, double from, double to, double interval,
                                    bool atVertices) {
    std::vector<double> out = {from};
    for (double c = std::ceil(from / interval) * interval; c < to; c += interval)
        if (c > from) out.push_back(c);
    out.push_back(to);
    if (atVertices)
        for (const Station& v : line)
            if (v.chainage > from && v.chainage < to) out.push_back(v.chainage);
    for (double& c : out) c = dbfRoundChg(c);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// Stores the stations' positions in the open road; the list printed; false after a refusal.
bool storeStations(const std::vector<Station>& stations) {
    OutputTable t;
    t.column("chainage", true).column("equation chainage", true).column("name").column("y", true).column("x", true);
    for (const Station& s : stations) {
        CHGBASE rec{};
        const unsigned idx = dbfInsertChainage(s.chainage, &rec);
        rec.y = s.y;
        rec.x = s.x;
        if (idx == 0 || !dbfStoreChg(idx, &rec)) {
            std::fprintf(stderr, "Chainage %.3f was not stored\n", s.chainage);
            return false;
        }
        char name[64];
        dbfChgName(name, sizeof name, rec, 0, 3, CString("+"), 1);
        t.row({fixed(s.chainage), fixed(dbfChgEquation(s.chainage)), name, fixed(s.y), fixed(s.x)});
    }
    printOutput(t);
    return true;
}

int setOutFromString(int road, const std::string& name, const std::string& root, double interval, double from,
                     double to, bool atVertices) {
    if (!requireProject()) return 1;
    std::vector<Station> line;
    if (!readCentreLine(root.empty() ? name : root, name, line)) return 1;
    const double first = line.front().chainage, last = line.back().chainage;
    if (std::isnan(from)) from = first;
    if (std::isnan(to)) to = last;
    if (from < first - 1e-9 || to > last + 1e-9 || from > to) {
        std::fprintf(stderr, "--from %.3f and --to %.3f must lie along the string, %.3f to %.3f, in that order\n", from,
                     to, first, last);
        return 1;
    }
    // A mistyped interval must not fill the road with millions of chainages.
    constexpr double kMostChainages = 100000;
    if ((to - from) / interval > kMostChainages) {
        std::fprintf(stderr, "--interval %g would set out more than %.0f chainages from %.3f to %.3f\n", interval,
                     kMostChainages, from, to);
        return 1;
    }
    std::vector<Station> stations;
    for (double c : setOutChainages(line, from, to, interval, atVertices)) stations.push_back(positionAt(line, c));
    if (!openRoad(road)) return 1;
    const bool stored = storeStations(stations);
    if (!closeRoad(stored) || !stored) return 1;
    std::fprintf(stderr, "%zu chainages set out along %s, %.3f to %.3f\n", stations.size(), name.c_str(), from, to);
    return 0;
}

int importChainages(int road, const std::string& path, const TabularOptions& options) {
    if (!requireProject()) return 1;
    TabularFile file;
    if (!readTabular(path, options, file)) return 1;
    int columns[3] = {0, 1, 2};
    if (!file.header.empty()) {
        columns[0] = headerColumn(file.header, {"chainage", "chg", "station", "ch"});
        columns[1] = headerColumn(file.header, {"y"});
        columns[2] = headerColumn(file.header, {"x"});
        if (columns[0] < 0 || columns[1] < 0 || columns[2] < 0) {
            std::fprintf(stderr, "%s: the header row does not name the chainage, y and x columns\n", path.c_str());
            return 1;
        }
    }
    SkipReport skips(path);
    std::vector<Station> stations;
    const char* what[3] = {"chainage", "y", "x"};
    for (const TabularRow& row : file.rows) {
        double values[3] = {};
        std::string why = row.problem;
        for (int i = 0; i < 3 && why.empty(); ++i) {
            const auto column = static_cast<std::size_t>(columns[i]);
            why = column < row.fields.size() ? realProblem(row.fields[column], values[i])
                                             : std::to_string(row.fields.size()) + " fields, no " + what[i];
            if (!why.empty() && column < row.fields.size()) why = std::string(what[i]) + ": " + why;
        }
        if (why.empty()) stations.push_back({dbfRoundChg(values[0]), values[1], values[2]});
        else skips.skip(row.line, why);
    }
    skips.finish();
    if (stations.empty()) {
        std::fprintf(stderr, "%s: no chainages to store\n", path.c_str());
        return 1;
    }
    if (!openRoad(road)) return 1;
    const bool stored = storeStations(stations);
    if (!closeRoad(stored) || !stored) return 1;
    std::fprintf(stderr, "%s: %zu lines read, %zu chainages stored, %ld skipped\n", path.c_str(), file.rows.size(),
                 stations.size(), skips.count());
    return 0;
}

}  // namespace

void addSetOutCommands(CLI::App* road, int& roadId) {
    static std::string name, root, path;
    static double interval = 20.0, from = NAN, to = NAN;
    static bool atVertices = false;
    auto* setOut = road->add_subcommand("set-out", "Give the road chainages along a centre-line string, with their positions");
    setOut->add_option("STRING", name, "The centre-line string (a root string, or a child with --root)")->required()->check(StringName);
    setOut->add_option("--root", root, "The root string whose strings file holds STRING (default: STRING)")->check(StringName);
    setOut->add_option("--interval", interval, "Metres between chainages (default 20)")
        ->check(RealNumber)
        ->check(CLI::Validator([](std::string& text) { return std::stod(text) > 0 ? "" : "must be above 0, not " + text; }, ""));
    setOut->add_option("--from", from, "First chainage (default: the string's first)")->check(RealNumber);
    setOut->add_option("--to", to, "Last chainage (default: the string's last)")->check(RealNumber);
    setOut->add_flag("--at-vertices", atVertices, "A chainage at every vertex of the string too");
    setOut->callback([&roadId] {
        commandResult() = runCommand([&roadId] { return setOutFromString(roadId, name, root, interval, from, to, atVertices); });
    });

    static TabularOptions options;
    auto* import = road->add_subcommand("import-chainages", "Store chainages with their positions from a CSV file of chainage, y, x");
    import->add_option("FILE", path, "chainage, y, x a line (or columns named so in a header row); other columns, a direction among them, are not read: a chainage takes its direction from its neighbours")->required();
    addTabularOptions(import, options);
    import->callback([&roadId] { commandResult() = runCommand([&roadId] { return importChainages(roadId, path, options); }); });
}
