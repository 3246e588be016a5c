// Commands of the strings files: list, show, import, delete, rename; and the demo step that
// adds a small family of strings (a centre line and its two edges) to the sample project.
//
// Each command reaches the strings file of a root string (named by the job's "TerrainStrings"
// list, file "<project>.<root>.str") through its own handle and closes it again.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/strings.h"
#include "host.h"
#include "platform/core.h"
#include "tabular.h"

// The geometry commands of strings (cmd_strings_geometry.cpp).
void addStringGeometryCommands(CLI::App* strings);

namespace {

std::vector<std::string> jobRoots() {
    std::vector<std::string> roots;
    for (int i = 1; i <= kStrMaxFiles; ++i) {
        char value[MAX_PATH];
        coreGetJobDefault("TerrainStrings", ("StrName" + std::to_string(i)).c_str(), "", value, MAX_PATH);
        if (!*value) break;
        roots.emplace_back(value);
    }
    return roots;
}

std::string rootFileName(const std::string& root) {
    char name[MAX_PATH];
    coreStrncpy(name, root.c_str(), kStrNameChars + 1);
    char fileName[MAX_PATH];
    dbfTerrainStringsFileName(name, fileName);
    return fileName;
}

// Opens the strings file of a root string; null after saying why.
FILE* openRoot(const std::string& root) {
    if (!requireProject()) return nullptr;
    const std::string fileName = rootFileName(root);
    STR_FILEHEADER header;
    // A damaged file is refused by the library with its message.
    const bool exists = coreFileExist(fileName.c_str()) != 0;
    FILE* file = exists ? viewStringOpenFile(fileName.c_str(), header) : nullptr;
    if (!file) std::fprintf(stderr, exists ? "Unable to open %s\n" : "No strings file %s\n", fileName.c_str());
    return file;
}

void listTree(FILE* file, const std::string& root, const char* name, const std::string& parent, int depth,
              std::set<std::string>& listed, OutputTable& table) {
    STR_HEADER header;
    // Each string is listed once: a damaged file that names a string twice in the tree (or a
    // string as its own child) ends the walk within the file's strings.
    if (depth > 64 || !listed.insert(name).second || !dbfGetStringHeader(name, header, file)) return;
    UI_LIST list;
    dbfGetStringData(dbfGetStringHeader(name, header, file), list, 0, 0, file);
    // In a table the tree shows by indenting each string under its parent.
    const bool indent = outputFormat() == OutputFormat::Table;
    table.row({root, (indent ? std::string(2 * depth, ' ') : "") + header.name, parent, std::to_string(list.Count())});
    const std::string first = header.firstChild, second = header.secondChild;
    if (!first.empty()) listTree(file, root, first.c_str(), header.name, depth + 1, listed, table);
    if (!second.empty()) listTree(file, root, second.c_str(), header.name, depth + 1, listed, table);
}

// Reads "chainage,x,y,z" lines into the list, each skipped line reported with its reason; the
// number of vertices read, -1 when the file cannot be read.
int readCsv(const std::string& path, UI_LIST& list) {
    TabularFile file;
    if (!readTabular(path, TabularOptions{}, file)) return -1;
    SkipReport skips(path);
    const char* what[4] = {"chainage", "x", "y", "z"};
    for (const TabularRow& row : file.rows) {
        double values[4] = {};
        std::string why = row.problem;
        if (why.empty() && row.fields.size() < 4) why = std::to_string(row.fields.size()) + " fields, 4 needed";
        for (int i = 0; i < 4 && why.empty(); ++i)
            if (const std::string problem = realProblem(row.fields[static_cast<size_t>(i)], values[i]); !problem.empty())
                why = std::string(what[i]) + ": " + problem;
        // The strings file ends a string at the first blank vertex record (chainage, position,
        // offset, rise and slope all zero): stored, such a vertex would hide every vertex after it.
        if (why.empty() && std::fabs(values[0]) <= 1e-12 && std::fabs(values[1]) <= 1e-12 &&
            std::fabs(values[2]) <= 1e-12)
            why = "a vertex at chainage 0 and position (0, 0) reads back as the end of the string";
        if (!why.empty()) {
            skips.skip(row.line, why);
            continue;
        }
        auto* v = new CVertexEle;
        v->chainage = values[0];
        v->x = values[1];
        v->y = values[2];
        v->z = values[3];
        list.Add(v);
    }
    skips.finish();
    return list.Count();
}

// Makes sure the root's strings file exists and is in the job list (registered once).
std::string ensureRoot(const std::string& root) {
    char name[MAX_PATH];
    coreStrncpy(name, root.c_str(), kStrNameChars + 1);
    char fileName[MAX_PATH];
    dbfTerrainStringsFileName(name, fileName);
    for (const std::string& known : jobRoots())
        if (known == name) return coreFileExist(fileName) ? fileName : "";
    return dbfTerrainStringsFile(name, fileName) ? fileName : "";
}

// Adds (or replaces) a string with its vertices; a child is linked to its parent's side.
int storeString(FILE* file, const std::string& fileName, const std::string& name, UI_LIST& list,
                const std::string& parent, bool firstSide) {
    STR_HEADER header;
    if (!dbfGetStringHeader(name.c_str(), header, file)) {
        dbfInitHeader(header);
        coreStrncpy(header.name, name.c_str(), 32);
    }
    const DWORD position = dbfAddStringHeader(header, file, fileName.c_str());
    if (!position || !dbfAddStringData(position, list, list.Count(), file)) return 0;
    if (!parent.empty()) {
        STR_HEADER parentHeader;
        if (!dbfGetStringHeader(parent.c_str(), parentHeader, file)) return 0;
        coreStrncpy(firstSide ? parentHeader.firstChild : parentHeader.secondChild, name.c_str(), 32);
        if (!dbfAddStringHeader(parentHeader, file, fileName.c_str())) return 0;
    }
    // Every string of the file gets its plot settings in the root's section.
    char root[MAX_PATH];
    if (dbfGetStringNameFromFileName(fileName.c_str(), root)) {
        const std::vector<std::string> roots = jobRoots();
        for (size_t i = 0; i < roots.size(); ++i)
            if (roots[i] == root && name != root) dbfAddTerrainStringCdp(name.c_str(), static_cast<int>(i) + 1);
    }
    return 1;
}

void addStringsCommands(CLI::App& app) {
    auto* strings = app.add_subcommand("strings", "Strings files: list, show, import, delete, rename, and geometry");
    strings->require_subcommand(1);
    addStringGeometryCommands(strings);

    auto* list = strings->add_subcommand("list", "List the job's strings files and their string trees");
    list->callback([] {
        commandResult() = runCommand([] {
            if (!requireProject()) return 1;
            const std::vector<std::string> roots = jobRoots();
            if (roots.empty()) std::fprintf(stderr, "The job has no strings files\n");
            OutputTable table;
            table.column("root").column("string").column("parent").column("vertices", true);
            int rc = 0;
            for (const std::string& root : roots) {
                const std::string fileName = rootFileName(root);
                if (!coreFileExist(fileName.c_str())) {
                    std::fprintf(stderr, "%s: missing file %s\n", root.c_str(), fileName.c_str());
                    continue;
                }
                STR_FILEHEADER header;
                FILE* file = viewStringOpenFile(fileName.c_str(), header);
                if (!file) {
                    // Refused (damaged): the library has said why.
                    std::fprintf(stderr, "%s: unable to list %s\n", root.c_str(), fileName.c_str());
                    rc = 1;
                    continue;
                }
                std::fprintf(stderr, "%s: %s, %d strings, surface %u\n", root.c_str(), fileName.c_str(), header.count,
                             header.surface);
                std::set<std::string> listed;
                listTree(file, root, root.c_str(), "", 0, listed, table);
                coreFileClose(file);
            }
            printOutput(table);
            return rc;
        });
    });

    static std::string root, name, newName, path, parent;
    static bool secondSide = false;
    auto* show = strings->add_subcommand("show", "Show the vertices of a string");
    show->add_option("ROOT", root, "The root string (the strings file)")->required()->check(StringName);
    show->add_option("NAME", name, "The string (default: the root)")->check(StringName);
    show->callback([] {
        commandResult() = runCommand([] {
            FILE* file = openRoot(root);
            if (!file) return 1;
            const std::string wanted = name.empty() ? root : name;
            STR_HEADER header;
            const DWORD position = dbfGetStringHeader(wanted.c_str(), header, file);
            int rc = 0;
            if (!position) {
                std::fprintf(stderr, "No string %s in %s\n", wanted.c_str(), root.c_str());
                rc = 1;
            } else {
                UI_LIST vertices;
                dbfGetStringData(position, vertices, 0, 0, file);
                std::fprintf(outputFormat() == OutputFormat::Table ? stdout : stderr,
                             "%s: %d vertices, children '%s' '%s'\n", header.name, vertices.Count(), header.firstChild,
                             header.secondChild);
                OutputTable t;
                t.column("chainage", true).column("x", true).column("y", true).column("z", true).column("active", true);
                for (UI_ELEMENT* e = vertices.Head(); e; e = e->Next()) {
                    const auto* v = static_cast<const CVertexEle*>(e);
                    t.row({fixed(v->chainage), fixed(v->x), fixed(v->y), fixed(v->z), std::to_string(v->active)});
                }
                printOutput(t);
            }
            coreFileClose(file);
            return rc;
        });
    });

    auto* import = strings->add_subcommand("import", "Store a string from a CSV file of chainage,x,y,z");
    import->add_option("ROOT", root, "The root string (the strings file, made when missing)")->required()->check(StringName);
    import->add_option("NAME", name, "The string")->required()->check(StringName);
    import->add_option("CSV", path, "CSV file of chainage, x, y, z")->required()->check(CLI::ExistingFile);
    import->add_option("--parent", parent, "Link the string as a child of this string")->check(StringName);
    import->add_flag("--second", secondSide, "Link it as the parent's second child");
    import->callback([] {
        commandResult() = runCommand([] {
            if (!requireProject()) return 1;
            UI_LIST vertices(dbfStringCompareFunc);
            if (readCsv(path, vertices) <= 0) {
                std::fprintf(stderr, "No vertices in %s\n", path.c_str());
                return 1;
            }
            const std::string fileName = ensureRoot(root);
            STR_FILEHEADER header;
            FILE* file = fileName.empty() ? nullptr : viewStringOpenFile(fileName.c_str(), header);
            if (!file) {
                std::fprintf(stderr, "Unable to open the strings file of %s\n", root.c_str());
                return 1;
            }
            const int ok = storeString(file, fileName, name, vertices, parent, !secondSide);
            dbfStringsClose();
            if (!coreFileCloseChecked(file)) {
                std::fprintf(stderr, "%s\n", coreFileErrorText("save", fileName.c_str()).c_str());
                return 1;
            }
            if (!ok) {
                std::fprintf(stderr, "Unable to store %s\n", name.c_str());
                return 1;
            }
            std::printf("%s: %d vertices stored in %s\n", name.c_str(), vertices.Count(), fileName.c_str());
            return 0;
        });
    });

    auto* remove = strings->add_subcommand("delete", "Delete a string and the strings derived from it");
    remove->add_option("ROOT", root, "The root string (the strings file)")->required()->check(StringName);
    remove->add_option("NAME", name, "The string")->required()->check(StringName);
    remove->callback([] {
        commandResult() = runCommand([] {
            FILE* file = openRoot(root);
            if (!file) return 1;
            const std::string fileName = rootFileName(root);
            STR_HEADER header;
            int rc = 0;
            if (!dbfGetStringHeader(name.c_str(), header, file)) {
                std::fprintf(stderr, "No string %s in %s\n", name.c_str(), root.c_str());
                rc = 1;
            } else {
                dbfDeleteChildren(header, file, fileName.c_str());
                dbfDeleteString(name.c_str(), file, fileName.c_str());
                // A failed write has been reported by the library; the string is then still there.
                if (dbfGetStringHeader(name.c_str(), header, file)) {
                    std::fprintf(stderr, "%s was not deleted\n", name.c_str());
                    rc = 1;
                }
            }
            dbfStringsClose();
            if (!coreFileCloseChecked(file)) {
                std::fprintf(stderr, "%s\n", coreFileErrorText("save", fileName.c_str()).c_str());
                return 1;
            }
            if (rc == 0) std::printf("%s deleted\n", name.c_str());
            return rc;
        });
    });

    auto* rename = strings->add_subcommand("rename", "Rename a string (renaming the root renames the file)");
    rename->add_option("ROOT", root, "The root string (the strings file)")->required()->check(StringName);
    rename->add_option("OLD", name, "The string's name")->required()->check(StringName);
    rename->add_option("NEW", newName, "Its new name")->required()->check(StringName);
    rename->callback([] {
        commandResult() = runCommand([] {
            if (!requireProject()) return 1;
            char wanted[MAX_PATH];
            coreStrncpy(wanted, newName.c_str(), kStrNameChars + 1);
            if (!dbfRenameString(name.c_str(), wanted, rootFileName(root).c_str())) {
                std::fprintf(stderr, "%s was not renamed\n", name.c_str());
                return 1;
            }
            std::printf("%s renamed to %s\n", name.c_str(), wanted);
            return 0;
        });
    });
}

CommandGroup group(addStringsCommands);

// ---------------------------------------------------------------------------------------------
// The demo: a winding centre line across the demo site with a left and a right edge 7.5 units
// to each side, long enough to need continuation sections.

void buildDemoStrings(DemoContext& ctx) {
    const std::string fileName = ensureRoot("CENTRE");
    STR_FILEHEADER header;
    FILE* file = fileName.empty() ? nullptr : viewStringOpenFile(fileName.c_str(), header);
    if (!file) {
        std::fprintf(stderr, "Unable to create the demo strings file\n");
        return;
    }
    constexpr int kVertices = 120;
    UI_LIST lines[3] = {UI_LIST(dbfStringCompareFunc), UI_LIST(dbfStringCompareFunc),
                        UI_LIST(dbfStringCompareFunc)};
    const double offsets[3] = {0.0, -7.5, 7.5};
    double chainage = 0.0, lastX = 0.0, lastY = 0.0;
    for (int i = 0; i < kVertices; ++i) {
        const double t = static_cast<double>(i) / (kVertices - 1);
        const double x = 100.0 + 800.0 * t;
        const double y = 500.0 + 180.0 * std::sin(t * 2.0 * 3.141592653589793);
        // Unit normal of the centre line, for the edges.
        const double dydx = 180.0 * 2.0 * 3.141592653589793 / 800.0 * std::cos(t * 2.0 * 3.141592653589793);
        const double norm = std::sqrt(1.0 + dydx * dydx);
        if (i > 0) chainage += std::hypot(x - lastX, y - lastY);
        lastX = x;
        lastY = y;
        for (int s = 0; s < 3; ++s) {
            auto* v = new CVertexEle;
            v->chainage = chainage;
            v->x = x - offsets[s] * dydx / norm;
            v->y = y + offsets[s] / norm;
            v->z = 100.0 + 0.02 * x - 0.1 * std::fabs(offsets[s]);
            if (s > 0) v->offset = static_cast<float>(offsets[s]);
            lines[s].Add(v);
        }
    }
    const int ok = storeString(file, fileName, "CENTRE", lines[0], "", true) &&
                   storeString(file, fileName, "L_EDGE", lines[1], "CENTRE", true) &&
                   storeString(file, fileName, "R_EDGE", lines[2], "CENTRE", false);
    dbfStringsClose();
    coreFileClose(file);
    if (!ok) {
        std::fprintf(stderr, "Unable to store the demo strings\n");
        return;
    }
    ctx.written.push_back(fileName);

    HeadlessCadWindow& cad = host().cad;
    cad.clearDisplayList();
    cad.setZoomRect(-60.0, -60.0, 1060.0, 1060.0);
    cad.gsSetLayer("Strings", "Line");
    const int pens[3] = {1, 3, 5};
    for (int s = 0; s < 3; ++s)
        for (UI_ELEMENT* e = lines[s].Head(); e && e->Next(); e = e->Next()) {
            const auto* a = static_cast<const CVertexEle*>(e);
            const auto* b = static_cast<const CVertexEle*>(e->Next());
            cad.gsDisplayLine(a->y, a->x, b->y, b->x, pens[s], 0, 0.0);
        }
    // The names at the strings' start, the edges to their own side, and a title.
    const char* names[3] = {"CENTRE", "L_EDGE", "R_EDGE"};
    const int sides[3] = {8, 6, 4};
    for (int s = 0; s < 3; ++s) {
        const auto* first = static_cast<const CVertexEle*>(lines[s].Head());
        const double below = s == 0 ? -12.0 : 0.0, aside = s == 1 ? -12.0 : (s == 2 ? 12.0 : 0.0);
        if (first) cad.gsDisplayText(names[s], first->y + aside, first->x + below, pens[s], sides[s], 0, 14.0f, 0.0f);
    }
    cad.gsDisplayText("Demo strings: centre line with edges derived 7.5 m either side", 500.0, 1040.0, 7, 8, 0, 20.0f, 0.0f);
    const std::string png = ctx.folder + "strings.png";
    if (cad.render(png, 900, 900)) ctx.written.push_back(png);
    std::fprintf(stderr, "Strings: CENTRE with L_EDGE and R_EDGE, %d vertices each\n", kVertices);
}

DemoStep stringsStep(20, "a family of strings", buildDemoStrings);

}  // namespace
