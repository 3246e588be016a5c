#include "survey.h"

#include <algorithm>
#include <map>

#include "host.h"

const char* const kSurveyOrderHelp =
    "Column order: auto (from the header row's names, else name,y,x,z,surface), yxz (name,y,x,z[,surface]), "
    "pnezd, penzd or nez (point, northing, easting, elevation, description). The northing goes to x and the "
    "easting to y as they are; the project's hemisphere names the axes (hemisphere 0: x southing, y westing; "
    "otherwise x northing, y easting)";

namespace {

struct Columns {
    int name = -1, y = -1, x = -1, z = -1, surface = -1;
};

// The columns of an order, or of the header's names; false after saying why.
bool findColumns(const std::string& path, PointOrder order, const std::vector<std::string>& header, Columns& c) {
    switch (order) {
    case PointOrder::Yxz: c = {0, 1, 2, 3, 4}; return true;
    case PointOrder::Pnezd: c = {0, 2, 1, 3, -1}; return true;
    case PointOrder::Penzd: c = {0, 1, 2, 3, -1}; return true;
    case PointOrder::Nez: c = {-1, 1, 0, 2, -1}; return true;
    case PointOrder::Auto: break;
    }
    if (header.empty()) {
        c = {0, 1, 2, 3, 4};
        return true;
    }
    c.name = headerColumn(header, {"name", "point", "p", "pt", "id", "pointname"});
    c.y = headerColumn(header, {"y", "e", "easting", "east"});
    c.x = headerColumn(header, {"x", "n", "northing", "north"});
    c.z = headerColumn(header, {"z", "elevation", "elev", "height", "h", "level"});
    c.surface = headerColumn(header, {"surface", "surf"});
    if (c.y >= 0 && c.x >= 0 && c.z >= 0) return true;
    std::string names;
    for (const std::string& h : header) names += (names.empty() ? "" : ", ") + h;
    std::fprintf(stderr,
                 "%s: the header row (%s) does not name the y (or E), x (or N) and z columns; give the order "
                 "with --order\n",
                 path.c_str(), names.c_str());
    return false;
}

// The point of one row, or the reason it gives none.
std::string pointOf(const TabularRow& row, const Columns& c, int defaultSurface, SurveyPoint& p) {
    if (!row.problem.empty()) return row.problem;
    const int needed = std::max({c.name, c.y, c.x, c.z}) + 1;
    if (static_cast<int>(row.fields.size()) < needed)
        return std::to_string(row.fields.size()) + " fields, " + std::to_string(needed) + " needed";
    const auto real = [&](int column, const char* what, double& value) -> std::string {
        const std::string problem = realProblem(row.fields[static_cast<std::size_t>(column)], value);
        return problem.empty() ? "" : std::string(what) + " (column " + std::to_string(column + 1) + "): " + problem;
    };
    std::string why = real(c.y, "y", p.y);
    if (why.empty()) why = real(c.x, "x", p.x);
    if (why.empty()) why = real(c.z, "z", p.z);
    if (!why.empty()) return why;
    p.surface = defaultSurface;
    if (c.surface >= 0 && static_cast<std::size_t>(c.surface) < row.fields.size() &&
        !row.fields[static_cast<std::size_t>(c.surface)].empty()) {
        double surface = 0.0;
        const std::string& text = row.fields[static_cast<std::size_t>(c.surface)];
        if (!realProblem(text, surface).empty() || surface != static_cast<int>(surface) || surface < 1 || surface > 128)
            return "surface " + text + " is not a surface number (1 to 128)";
        p.surface = static_cast<int>(surface);
    }
    const std::string name = c.name >= 0 ? row.fields[static_cast<std::size_t>(c.name)] : "P" + std::to_string(row.line);
    if (name.empty()) return "the point has no name";
    std::string reason;
    if (!utf8ToCodePage(name, p.name, reason)) return "the name " + name + " " + reason;
    if (p.name.size() > 16) return "the name " + name + " is longer than 16 characters";
    p.line = row.line;
    return "";
}

}  // namespace

void SurveyExtents::add(double y, double x) {
    if (empty) {
        minY = maxY = y;
        minX = maxX = x;
        empty = false;
        return;
    }
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
}

void addSurveyOptions(CLI::App* command, SurveyOptions& options) {
    static const std::map<std::string, PointOrder> orders = {{"auto", PointOrder::Auto},   {"yxz", PointOrder::Yxz},
                                                             {"pnezd", PointOrder::Pnezd}, {"penzd", PointOrder::Penzd},
                                                             {"nez", PointOrder::Nez}};
    command->add_option("--order", options.order, kSurveyOrderHelp)->transform(CLI::CheckedTransformer(orders, CLI::ignore_case));
    command->add_option("--surface", options.surface, "Surface of points whose line names none (default 1)")->check(CLI::Range(1, 128));
    addTabularOptions(command, options.table);
}

bool readSurvey(const std::string& path, const SurveyOptions& options, std::vector<SurveyPoint>& points,
                SkipReport& skips, SurveyRead& read) {
    TabularFile file;
    if (!readTabular(path, options.table, file)) return false;
    read.bytes = file.bytes;
    read.delimiter = file.delimiter;
    read.header = !file.header.empty();
    Columns columns;
    if (!findColumns(path, options.order, file.header, columns)) return false;
    read.rows = static_cast<long>(file.rows.size());
    points.clear();
    points.reserve(file.rows.size());
    for (const TabularRow& row : file.rows) {
        SurveyPoint p;
        const std::string why = pointOf(row, columns, options.surface, p);
        if (why.empty()) points.push_back(std::move(p));
        else skips.skip(row.line, why);
    }
    return true;
}
