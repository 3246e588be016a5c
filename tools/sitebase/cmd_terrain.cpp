// Commands of the terrain database: create, info, import-points, import-lines, list, find, stats,
// export-points; the point filter (filter show / set / reset / test); queries and maintenance
// (nearest, find-name, search, limits, duplicates, copy-surface, perimeter); and the demo step that builds a terrain of a few thousand points joined by a
// triangulated grid of feature lines.
//
// The commands work on the project's terrain file ("<project>.dtm") itself: each opens it, does
// its work and closes it, which writes the cache and the header back.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/terrain.h"
#include "host.h"
#include "platform/core.h"
#include "survey.h"
#include "tabular.h"

namespace {

std::string terrainFileName() {
    char name[MAX_PATH] = {};
    dbfFileName(name, "dtm", kFileProject);
    return name;
}


// Opens the project's terrain file; false after saying why.
bool openTerrain() {
    if (!requireProject()) return false;
    const std::string name = terrainFileName();
    if (!coreFileExist(name.c_str())) {
        std::fprintf(stderr, "The project has no terrain file %s. Create one with: sitebase terrain create\n",
                     name.c_str());
        return false;
    }
    if (!dbfOpenDbase(name.c_str(), 0)) {
        std::fprintf(stderr, "Unable to open %s\n", name.c_str());
        return false;
    }
    return true;
}

// Closes the terrain file; the result, or 1 when a write of the session failed (the library has
// said so, with the file and the reason): no success is reported after it.
int closeTerrain(int rc) {
    dbfCloseDbase();
    return dbfTerrainWriteError() ? 1 : rc;
}

// Whether Ctrl-C (or SIGTERM) has pressed Escape; checked at the commands' safe points, between
// two points, where stopping leaves the file whole.
bool escapePressed() {
    int abort = 0;
    return dbfCheckEscape(abort, 0) != 0;
}


// Every point's number by name (the first of equal names), from one scan of the site.
std::map<std::string, unsigned> numbersByName() {
    std::map<std::string, unsigned> byName;
    SURVCOORD p;
    for (unsigned n = dbfStartCoord(p, nullptr); n != 0; n = dbfNextCoord(p, n)) byName.emplace(p.name, n);
    return byName;
}

int lineCount(const SURVCOORD& p, bool featureOnly) {
    int n = 0;
    for (int i = 0; i < 8; ++i)
        if (p.lines[i] && (!featureOnly || (p.feature >> i) & 1)) ++n;
    return n;
}


// The site that holds the extents with a margin: its centre and the extent dbfMakeDbase takes
// (the site is 1.2247 times as wide as the extent, so the points keep a tenth of it clear).
void fitSite(const SurveyExtents& e, double& centreY, double& centreX, double& extent) {
    centreY = (e.minY + e.maxY) / 2.0;
    centreX = (e.minX + e.maxX) / 2.0;
    extent = std::max({e.maxY - e.minY, e.maxX - e.minX, 1.0}) * 1.05;
}

// How many points lie outside the terrain's site.
long countOutside(const std::vector<SurveyPoint>& points, SurveyExtents& all) {
    RRect site;
    double blockSize = 0.0;
    dbfGetExtents(&site, blockSize);
    long outside = 0;
    for (const SurveyPoint& p : points) {
        all.add(p.y, p.x);
        if (p.y < site.minY || p.y > site.maxY || p.x < site.minX || p.x > site.maxX) ++outside;
    }
    return outside;
}

// Adds the points read from a survey file. Points outside the site stop the import before
// anything is added, unless anywhere is set. Returns the number added, -1 when the file could
// not be read or the points do not fit; stops at Escape (cancelled) or at a failed write.
int importPoints(const std::string& path, const SurveyOptions& options, bool anywhere, bool& cancelled) {
    std::vector<SurveyPoint> points;
    SkipReport skips(path);
    SurveyRead read;
    cancelled = false;
    if (!readSurvey(path, options, points, skips, read)) return -1;
    SurveyExtents extents;
    const long outside = countOutside(points, extents);
    if (outside > 0 && !anywhere) {
        skips.finish();
        double y = 0, x = 0, extent = 0;
        fitSite(extents, y, x, extent);
        std::fprintf(stderr,
                     "%s: %ld of %zu points lie outside the site; a site that holds them all: "
                     "sitebase terrain create --force --centre-y %.3f --centre-x %.3f --extent %.3f "
                     "(or --fit %s). Nothing was added; --anywhere adds them to the present site\n",
                     path.c_str(), outside, points.size(), y, x, extent, path.c_str());
        return -1;
    }
    const int savedMode = dbfSafeBucketChangeMode(0);   // one write of each block, at the close
    dbfDispStatus("Importing points", kStatusResetBusy);
    const int total = static_cast<int>(points.size());
    const int step = dbfProgressStep(total);
    int added = 0, done = 0;
    for (const SurveyPoint& s : points) {
        if (done % 256 == 0 && escapePressed()) {
            cancelled = true;
            break;
        }
        SURVCOORD p;
        dbfPackStruct(s.name.c_str(), s.y, s.x, s.z, static_cast<WORD>(s.surface), p);
        unsigned number = 0;
        if (dbfAddCoord(p, number)) ++added;
        else if (dbfTerrainWriteError()) break;   // the file takes no more points
        else skips.skip(s.line, "the terrain refused the point");
        if (++done % step == 0) dbfDispGraph(done, total, "Importing points");
    }
    dbfDispStatus(nullptr, kStatusClear);
    dbfDispGraph(0, 0, nullptr);
    dbfSafeBucketChangeMode(savedMode);
    skips.finish();
    std::string outsideText;
    if (outside > 0) outsideText = ", " + std::to_string(outside) + " of them outside the site";
    std::printf("%s: %ld lines read (%s%s), %d points added%s, %ld skipped\n", path.c_str(), read.rows,
                delimiterName(read.delimiter), read.header ? ", with a header row" : "", added, outsideText.c_str(),
                skips.count());
    return added;
}

// Imports "name a, name b[, feature]" lines (feature: anything but 0 or empty); every skipped
// line is reported with its reason. Returns the number of lines added; stops at Escape
// (cancelled), between two lines.
int importLines(const std::string& path, const TabularOptions& options, long& skipped, bool& cancelled) {
    TabularFile file;
    if (!readTabular(path, options, file)) return -1;
    const auto byName = numbersByName();
    SkipReport skips(path);
    int added = 0;
    cancelled = false;
    const int total = static_cast<int>(file.rows.size());
    const int step = dbfProgressStep(total);
    int done = 0;
    for (const TabularRow& row : file.rows) {
        if (done % 256 == 0 && escapePressed()) {
            cancelled = true;
            break;
        }
        if (++done % step == 0) dbfDispGraph(done, total, "Joining points");
        const auto& f = row.fields;
        if (!row.problem.empty() || f.size() < 2) {
            skips.skip(row.line, row.problem.empty() ? "two point names needed" : row.problem);
            continue;
        }
        std::string names[2], why;
        for (int i = 0; i < 2; ++i)
            if (!utf8ToCodePage(f[static_cast<std::size_t>(i)], names[i], why)) names[i].clear();
        auto a = byName.find(names[0]), b = byName.find(names[1]);
        const bool feature = f.size() > 2 && !f[2].empty() && f[2] != "0";
        if (a == byName.end() || b == byName.end()) {
            skips.skip(row.line, "no point named " + (a == byName.end() ? f[0] : f[1]));
            continue;
        }
        if (!dbfAddLine(a->second, b->second, feature ? 1 : 0, 0)) {
            skips.skip(row.line, "the terrain refused the line " + f[0] + " - " + f[1]);
            continue;
        }
        ++added;
    }
    dbfDispGraph(0, 0, nullptr);
    skips.finish();
    skipped = skips.count();
    return added;
}

// The points as a list: name, y, x, z, surface (names in UTF-8).
OutputTable pointTable(bool withNumber) {
    OutputTable t;
    if (withNumber) t.column("number", true);
    t.column("name").column("y", true).column("x", true).column("z", true).column("surface", true);
    if (withNumber) t.column("lines");
    return t;
}

void addPointRow(OutputTable& t, unsigned number, const SURVCOORD& p, bool withNumber) {
    std::vector<std::string> row;
    if (withNumber) row.push_back(std::to_string(number));
    for (const std::string& cell : {codePageToUtf8(p.name), fixed(p.y), fixed(p.x), fixed(p.z), std::to_string(p.surface & 0xFFu)})
        row.push_back(cell);
    if (withNumber) {
        std::string lines;
        for (int i = 0; i < 8; ++i)
            if (p.lines[i]) lines += (lines.empty() ? "" : " ") + std::string((p.feature >> i) & 1 ? "F" : "") + std::to_string(p.lines[i]);
        row.push_back(lines);
    }
    t.row(std::move(row));
}

// One point as a list of one row; what follows it (its lines, its distance) goes to standard
// output in a table and to standard error otherwise, so that CSV and JSON stay whole.
void printPoint(unsigned number, const SURVCOORD& p) {
    OutputTable t = pointTable(true);
    addPointRow(t, number, p, true);
    printOutput(t);
}

FILE* detailStream() { return outputFormat() == OutputFormat::Table ? stdout : stderr; }

// Writes every point to a CSV file with a header row (name,y,x,z,surface, which import-points
// reads back); the number written, or -1 after saying why (a failed write, or Escape, which
// leaves the file as it was).
int exportPoints(const std::string& path) {
    OutputTable t = pointTable(false);
    SURVCOORD p;
    for (unsigned n = dbfStartCoord(p, nullptr); n != 0; n = dbfNextCoord(p, n)) {
        addPointRow(t, n, p, false);
        if (t.rows.size() % 256 == 0 && escapePressed()) {
            std::fprintf(stderr, "Export cancelled: %s was not written\n", path.c_str());
            return -1;
        }
    }
    return writeCsvFile(path, t) ? static_cast<int>(t.rows.size()) : -1;
}

void printStatistics() {
    RRect site;
    double blockSize = 0;
    dbfGetExtents(&site, blockSize);
    std::map<unsigned, int> perCell;
    std::map<unsigned, int> perSurface;
    double minZ = 1e300, maxZ = -1e300;
    int lines = 0, featureLines = 0, points = 0;
    SURVCOORD p;
    for (unsigned n = dbfStartCoord(p, nullptr); n != 0; n = dbfNextCoord(p, n)) {
        ++points;
        ++perCell[dbfBlockNumber(p.y, p.x)];
        ++perSurface[p.surface & 0xFFu];
        minZ = std::fmin(minZ, p.z);
        maxZ = std::fmax(maxZ, p.z);
        lines += lineCount(p, false);
        featureLines += lineCount(p, true);
    }
    DTMHEADER s{};
    dbfGetHeader(s);
    const auto text = [](const char* format, auto... values) {
        char buffer[300];
        std::snprintf(buffer, sizeof buffer, format, values...);
        return std::string(buffer);
    };
    Report report = {
        {"Terrain file", terrainFileName()},
        {"Site", text("y %.3f .. %.3f, x %.3f .. %.3f, cell side %.3f", site.minY, site.maxY, site.minX, site.maxX,
                      blockSize)},
        {"Blocks", text("%u used, %u in the file", s.usedBlocks, s.totalBlocks)},
        {"Points", text("%d (header count %u)", points, dbfApproxPointCount())},
        {"Lines", text("%d, of which %d feature lines", lines, featureLines)},
    };
    if (points > 0) {
        int most = 0, fewest = 1 << 30;
        for (auto& [cell, count] : perCell) {
            most = std::max(most, count);
            fewest = std::min(fewest, count);
        }
        report.emplace_back("Cells with points", text("%zu of 625 (fewest %d, most %d points)", perCell.size(), fewest, most));
        report.emplace_back("Heights", text("%.3f .. %.3f", minZ, maxZ));
        for (auto& [surface, count] : perSurface)
            report.emplace_back(text("Surface %u", surface),
                                text("%d points (%s)", count, dbfSurfaceName(static_cast<WORD>(surface))));
    }
    DBASESTATS blocks{};
    if (dbfDbaseStats(blocks))
        report.emplace_back("Block chains", text("longest %u blocks; points per cell %u .. %u; %u points in %u cells",
                                                 blocks.longestChain, blocks.fewestPoints, blocks.mostPoints,
                                                 blocks.totalPoints, blocks.cellsWithPoints));
    printReport(report);
}

// The filter's summary: its sentences in a table; for scripts, one item each for names,
// surfaces, heights and positions.
void printFilter(const NAMEFILT& f) {
    const std::vector<std::string> lines = dbfFilterSummary(f);
    if (outputFormat() == OutputFormat::Table) {
        for (const std::string& line : lines) std::printf("%s\n", line.c_str());
        return;
    }
    const char* items[] = {"names", "surfaces", "heights", "positions"};
    Report report;
    for (std::size_t i = 0; i < lines.size() && i < 4; ++i) report.emplace_back(items[i], lines[i]);
    printReport(report);
}

// Traces the perimeter of the surface's network (from its lowest point) and reports its area.
int tracePerimeter(WORD surface, const std::string& png) {
    unsigned start = 0, next = 0;
    dbfPolyStart(start, next, surface, nullptr);
    if (start == 0) {
        std::fprintf(stderr, "Surface %u has no joined points\n", surface);
        return 1;
    }
    PerimeterFile network;
    const unsigned size = dbfFindLeftMost(start, surface, network);
    dbfPolyStart(start, next, surface, nullptr);
    PerimeterFile perimeter;
    unsigned count = kPerimeterMax;
    HeadlessCadWindow& cad = host().cad;
    cad.clearDisplayList();
    const unsigned status = dbfFindPolyEx(start, next, count, 1, perimeter);
    const char* statusText[] = {"closed", "dead end", "", "", "", "comes back on itself", "", "", "", "too long"};
    std::printf("Network of %u points; perimeter of %u points: %s\n", size, count,
                status <= 9 ? statusText[status] : "?");
    if (status != kWalkClosed) return 1;
    std::vector<PNT_2D_record> ring;
    for (DWORD n : perimeter) {
        SURVCOORD p;
        dbfGrabCoord(p, n);
        ring.push_back({p.x, p.y});
    }
    int sense = 0;
    const double area = dbfPolyArea(ring, sense);
    std::printf("Area %.3f (%s)\n", area, sense > 0 ? "clockwise" : "anticlockwise");
    if (!png.empty()) {
        RRect limits;
        dbfPolyLimitsEx(&limits, count, perimeter);
        cad.setZoomRect(limits.minY, limits.minX, limits.maxY, limits.maxX);
        if (!cad.render(png, 800, 800)) {
            std::fprintf(stderr, "Unable to write %s\n", png.c_str());
            return 1;
        }
        std::printf("Perimeter drawn to %s\n", png.c_str());
    }
    return 0;
}

void addFilterCommands(CLI::App* terrain) {
    auto* filter = terrain->add_subcommand("filter", "Show, set, reset or try the project's point filter");
    filter->require_subcommand(1);

    filter->add_subcommand("show", "Describe the filter")->callback([] {
        commandResult() = runCommand([] {
            if (!requireProject()) return 1;
            NAMEFILT f;
            dbfLoadNameFilter(&f);
            printFilter(f);
            return 0;
        });
    });

    filter->add_subcommand("reset", "Make the filter pass every point")->callback([] {
        commandResult() = runCommand([] {
            if (!requireProject()) return 1;
            NAMEFILT f;
            dbfResetFilter(f);
            dbfSaveNameFilter(&f);
            printFilter(f);
            return 0;
        });
    });

    static std::vector<std::string> includes, excludes;
    static int surface = -1;
    static std::vector<double> between;
    static double above = NAN, below = NAN;
    static std::string fence;
    static bool outside = false, allHeights = false, noFence = false;
    auto* set = filter->add_subcommand("set", "Change parts of the filter; the rest stays");
    set->add_option("--include", includes, "Name patterns that pass (at most 5; * ? #)")->expected(1, 5)->check(PointPattern);
    set->add_option("--exclude", excludes, "Name patterns that fail (at most 5)")->expected(1, 5)->check(PointPattern);
    set->add_option("--surface", surface, "Surface number (0: any active surface)");
    set->add_option("--above", above, "Heights from this one up pass")->check(RealNumber);
    set->add_option("--below", below, "Heights up to this one pass")->check(RealNumber);
    set->add_option("--between", between, "Heights between the two pass")->expected(2)->check(RealNumber);
    set->add_flag("--all-heights", allHeights, "Every height passes");
    set->add_option("--fence", fence, "Only points inside the fence of this name pass");
    set->add_flag("--outside", outside, "With --fence: only points outside it pass");
    set->add_flag("--no-fence", noFence, "Every position passes");
    set->callback([] {
        commandResult() = runCommand([] {
            if (!requireProject()) return 1;
            NAMEFILT f;
            dbfLoadNameFilter(&f);
            auto setPatterns = [](char (&fields)[5][17], const std::vector<std::string>& patterns, const char* first) {
                for (auto& field : fields) coreStrncpy(field, "--", 17);
                coreStrncpy(fields[0], first, 17);
                for (std::size_t i = 0; i < patterns.size() && i < 5; ++i) coreStrncpy(fields[i], patterns[i].c_str(), 17);
            };
            if (!includes.empty()) setPatterns(f.include, includes, "ALL");
            if (!excludes.empty()) setPatterns(f.exclude, excludes, "NONE");
            if (surface == 0) f.surface = kSurfaceAny;
            else if (surface > 0 && surface <= 128) f.surface = static_cast<WORD>(surface);
            else if (surface != -1) {
                std::fprintf(stderr, "Surfaces are numbered 1 to 128\n");
                return 1;
            }
            if (allHeights) f.heightMode = kHeightAll;
            if (!std::isnan(above)) {
                f.heightMode = kHeightAbove;
                f.lowerHeight = above;
            }
            if (!std::isnan(below)) {
                f.heightMode = kHeightBelow;
                f.upperHeight = below;
            }
            if (between.size() == 2) {
                f.heightMode = kHeightBetween;
                f.lowerHeight = std::fmin(between[0], between[1]);
                f.upperHeight = std::fmax(between[0], between[1]);
            }
            if (noFence) f.fenceOn = 0;
            if (!fence.empty()) {
                coreStrncpy(f.fenceName, fence.c_str(), sizeof f.fenceName);
                f.fenceOn = 1;
                f.outside = outside ? 1 : 0;
            }
            dbfSaveNameFilter(&f);
            dbfLoadNameFilter(&f);   // as the library will use it (a missing fence turns it off)
            if (!fence.empty() && !f.fenceOn) std::fprintf(stderr, "The project has no fence '%s'\n", fence.c_str());
            printFilter(f);
            return 0;
        });
    });

    static unsigned number = 0;
    auto* test = filter->add_subcommand("test", "Whether a point passes the filter");
    test->add_option("NUMBER", number, "The point's number (as terrain list shows it)")->required();
    test->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            int rc = 1;
            if (!dbfPointExists(number)) {
                std::fprintf(stderr, "No point %u\n", number);
            } else {
                NAMEFILT f;
                dbfLoadNameFilter(&f);
                SURVCOORD p;
                dbfGrabCoord(p, number);
                printPoint(number, p);
                std::printf("%s\n", dbfPassesFilter(&p, &f) ? "passes" : "fails");
                rc = 0;
            }
            return closeTerrain(rc);
        });
    });
}

void addQueryCommands(CLI::App* terrain) {
    static double y = 0, x = 0, radius = 0;
    static bool filtered = false;
    auto* nearest = terrain->add_subcommand("nearest", "The point nearest to a position");
    nearest->add_option("Y", y, "Position, y")->required()->check(RealNumber);
    nearest->add_option("X", x, "Position, x")->required()->check(RealNumber);
    nearest->add_option("--radius", radius, "Search within this distance (default: one cell)")->check(RealNumber);
    nearest->add_flag("--filter", filtered, "Only points that pass the project's filter");
    nearest->callback([] {
        commandResult() = runCommand([] {
            if (radius < 0) {
                std::fprintf(stderr, "--radius must not be negative, not %g\n", radius);
                return 1;
            }
            if (!openTerrain()) return 1;
            const double r = radius > 0 ? radius : dbfBlockSize();
            host().cad.setZoomRect(y - 6 * r, x - 6 * r, y + 6 * r, x + 6 * r);   // a twelfth of the view
            NAMEFILT f;
            dbfLoadNameFilter(&f);
            const unsigned n = dbfFindClosest(PNT_3D_record{x, y, 0.0}, &f, filtered ? 1 : 0, 0);
            int rc = 0;
            if (n == 0) {
                std::fprintf(stderr, "No point within %.3f\n", r);
                rc = 1;
            } else {
                SURVCOORD p;
                dbfGrabCoord(p, n);
                printPoint(n, p);
                std::fprintf(detailStream(), "at %.3f\n", std::hypot(p.y - y, p.x - x));
            }
            return closeTerrain(rc);
        });
    });

    static std::string name;
    auto* findName = terrain->add_subcommand("find-name", "The point of an active surface with exactly this name");
    findName->add_option("NAME", name, "The point's name")->required()->check(PointPattern);
    findName->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            char key[17];
            coreStrncpy(key, name.c_str(), sizeof key);
            unsigned n = 0;
            SURVCOORD p;
            const int found = dbfFindName(key, n, p);
            if (found) printPoint(n, p);
            else std::fprintf(stderr, "No point named '%s'\n", key);
            return closeTerrain(found ? 0 : 1);
        });
    });

    auto* search = terrain->add_subcommand("search", "Every point with exactly this name");
    search->add_option("NAME", name, "The point's name")->required()->check(PointPattern);
    search->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            char key[17];
            coreStrncpy(key, name.c_str(), sizeof key);
            unsigned n = 0;
            SURVCOORD p;
            OutputTable t = pointTable(true);
            for (int more = dbfSearchName(key, n, p, 1); more; more = dbfSearchName(key, n, p, 0)) addPointRow(t, n, p, true);
            printOutput(t);
            if (outputFormat() == OutputFormat::Table) std::printf("%zu points named '%s'\n", t.rows.size(), key);
            return closeTerrain(0);
        });
    });

    terrain->add_subcommand("limits", "The site limits: the area the points cover, widened by one cell")->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            RRect r;
            dbfBuckLimit(&r, 1);
            std::printf("y %.3f .. %.3f, x %.3f .. %.3f\n", r.minY, r.maxY, r.minX, r.maxX);
            return closeTerrain(0);
        });
    });

    static bool heights = false;
    auto* duplicates = terrain->add_subcommand("duplicates", "Mark and list the points that repeat an earlier one (to the millimetre)");
    duplicates->add_flag("--heights", heights, "Heights must be equal too");
    duplicates->add_flag("--filter", filtered, "Only points that pass the project's filter");
    duplicates->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            NAMEFILT f;
            dbfLoadNameFilter(&f);
            const int any = dbfRemoveDuplicates(heights ? 1 : 0, &f, filtered ? 1 : 0, {});
            if (dbfTerrainCancelled()) {
                std::fprintf(stderr, "Duplicate marking cancelled; the points marked so far keep their marks\n");
                return closeTerrain(1);
            }
            int count = 0;
            SURVCOORD p;
            for (unsigned n = dbfStartCoord(p, nullptr); any && n != 0; n = dbfNextCoord(p, n)) {
                if (escapePressed()) {
                    std::fprintf(stderr, "Listing cancelled after %d duplicate points\n", count);
                    return closeTerrain(1);
                }
                DWORD of = 0;
                std::memcpy(&of, p.work, sizeof of);
                if (of == 0) continue;
                SURVCOORD original;
                dbfGrabCoord(original, of);
                std::printf("%8u %-16s duplicates %8u %s\n", n, p.name, of, original.name);
                ++count;
            }
            std::printf("%d duplicate points\n", count);
            return closeTerrain(0);
        });
    });

    static int source = 1, destination = 2;
    auto* copy = terrain->add_subcommand("copy-surface", "Copy the points and lines of one surface onto another");
    copy->add_option("SOURCE", source, "Surface copied (1..128)")->required()->check(CLI::Range(1, 128));
    copy->add_option("DESTINATION", destination, "Surface written (1..128)")->required()->check(CLI::Range(1, 128));
    copy->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            const int ok = dbfDuplicateSurface(static_cast<WORD>(source), static_cast<WORD>(destination));
            std::printf(ok ? "Surface %d copied onto surface %d\n" : "Surface %d was not copied onto %d\n", source,
                        destination);
            return closeTerrain(ok ? 0 : 1);
        });
    });

    static int perimeterSurface = 1;
    static std::string png;
    auto* perimeter = terrain->add_subcommand("perimeter", "Trace the outer edge of a surface's lines and report its area");
    perimeter->add_option("--surface", perimeterSurface, "Surface number")->check(CLI::Range(1, 128))->capture_default_str();
    perimeter->add_option("--png", png, "Draw the perimeter to this picture");
    perimeter->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            const int rc = tracePerimeter(static_cast<WORD>(perimeterSurface), png);
            return closeTerrain(rc);
        });
    });
}

void addTerrainCommands(CLI::App& app) {
    auto* terrain = app.add_subcommand("terrain", "Create, fill and query the project's terrain database");
    terrain->require_subcommand(1);

    static double centreY = 5000.0, centreX = 5000.0, extent = 10000.0;
    static bool force = false;
    static std::string fitFile;
    static SurveyOptions fitOptions;
    auto* create = terrain->add_subcommand("create", "Create the project's terrain file (an empty site)");
    create->add_option("--centre-y", centreY, "Centre of the site, y")->capture_default_str()->check(RealNumber);
    create->add_option("--centre-x", centreX, "Centre of the site, x")->capture_default_str()->check(RealNumber);
    create->add_option("--extent", extent, "Extent of the survey; the site is 1.2247 times as wide")->capture_default_str()->check(RealNumber);
    auto* fit = create->add_option("--fit", fitFile, "Size and centre the site to hold this survey file's points (read as import-points reads it)");
    fit->excludes("--centre-y")->excludes("--centre-x")->excludes("--extent");
    addSurveyOptions(create, fitOptions);
    create->add_flag("--force", force, "Replace an existing terrain file");
    create->callback([] {
        commandResult() = runCommand([] {
            if (!requireProject()) return 1;
            if (!fitFile.empty()) {
                std::vector<SurveyPoint> points;
                SkipReport skips(fitFile);
                SurveyRead read;
                if (!readSurvey(fitFile, fitOptions, points, skips, read)) return 1;
                skips.finish();
                SurveyExtents e;
                for (const SurveyPoint& p : points) e.add(p.y, p.x);
                if (e.empty) {
                    std::fprintf(stderr, "%s holds no points to fit the site to\n", fitFile.c_str());
                    return 1;
                }
                fitSite(e, centreY, centreX, extent);
                std::printf("%s: %zu points, y %.3f .. %.3f, x %.3f .. %.3f\n", fitFile.c_str(), points.size(), e.minY,
                            e.maxY, e.minX, e.maxX);
            }
            if (!(extent > 0.0)) {
                std::fprintf(stderr, "--extent must be greater than 0, not %g\n", extent);
                return 1;
            }
            const std::string name = terrainFileName();
            if (coreFileExist(name.c_str()) && !force) {
                std::fprintf(stderr, "%s exists; use --force to replace it\n", name.c_str());
                return 1;
            }
            if (!dbfMakeDbase(name.c_str(), centreY, centreX, extent)) {
                std::fprintf(stderr, "Unable to create %s\n", name.c_str());
                return 1;
            }
            RRect site;
            double blockSize = 0.0;
            dbfGetExtents(&site, blockSize);
            if (closeTerrain(0) != 0) return 1;
            std::printf("Created %s: site y %.3f .. %.3f, x %.3f .. %.3f\n", name.c_str(), site.minY, site.maxY,
                        site.minX, site.maxX);
            return 0;
        });
    });

    static std::string path;
    static SurveyOptions survey;
    static bool anywhere = false;
    auto* points = terrain->add_subcommand("import-points", "Add the points of a survey file (CSV, tab- or blank-separated)");
    points->add_option("FILE", path, "The survey file: one point a line; skipped lines are reported with their numbers")->required();
    addSurveyOptions(points, survey);
    points->add_flag("--anywhere", anywhere, "Add points that lie outside the site too (they crowd its edge cells)");
    points->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            bool cancelled = false;
            const int added = importPoints(path, survey, anywhere, cancelled);
            if (closeTerrain(0) != 0 || added < 0) return 1;
            if (cancelled) {
                std::fprintf(stderr, "Import cancelled: %d points added before it stopped, the file is saved with them\n", added);
                return 1;
            }
            return 0;
        });
    });

    static TabularOptions lineOptions;
    auto* lines = terrain->add_subcommand("import-lines", "Join points from a CSV file: name, name, feature (0/1)");
    lines->add_option("FILE", path, "CSV file of name, name, feature (0 or 1)")->required();
    addTabularOptions(lines, lineOptions);
    lines->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            long skipped = 0;
            bool cancelled = false;
            const int added = importLines(path, lineOptions, skipped, cancelled);
            if (closeTerrain(0) != 0 || added < 0) return 1;
            if (cancelled) {
                std::fprintf(stderr, "Import cancelled: %d lines added before it stopped, the file is saved with them\n", added);
                return 1;
            }
            std::printf("%d lines added, %ld skipped\n", added, skipped);
            return 0;
        });
    });

    static std::vector<double> area;
    static int limit = 100;
    auto* list = terrain->add_subcommand("list", "List points: number, name, y, x, z, surface, lines (F: feature)");
    list->add_option("--area", area, "Only points in the area: MINY MINX MAXY MAXX")->expected(4)->check(RealNumber);
    list->add_option("--limit", limit, "At most this many points (0: all)")->capture_default_str()->check(CountNumber);
    list->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            RRect r{};
            RRect* scanArea = nullptr;
            if (area.size() == 4) {
                r = RRect{area[2], area[0], area[1], area[3]};
                scanArea = &r;
            }
            SURVCOORD p;
            OutputTable t = pointTable(true);
            for (unsigned n = dbfStartCoord(p, scanArea); n != 0 && (limit == 0 || static_cast<int>(t.rows.size()) < limit);
                 n = dbfNextCoord(p, n))
                addPointRow(t, n, p, true);
            printOutput(t);
            return closeTerrain(0);
        });
    });

    static unsigned number = 0;
    auto* find = terrain->add_subcommand("find", "Show a point by its number, with the points it joins");
    find->add_option("NUMBER", number, "The point's number (as terrain list shows it)")->required();
    find->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            SURVCOORD p;
            int rc = 0;
            if (!dbfPointExists(number)) {
                std::fprintf(stderr, "No point %u\n", number);
                rc = 1;
            } else {
                dbfGrabCoord(p, number);
                printPoint(number, p);
                SURVCOORD q;
                for (int i = 0; i < 8; ++i)
                    if (p.lines[i]) {
                        dbfGrabCoord(q, p.lines[i]);
                        std::fprintf(detailStream(), "  %s line to %u %s\n", (p.feature >> i) & 1 ? "feature" : "plain",
                                     p.lines[i], q.name);
                    }
                for (DWORD s : p.shadows)
                    if (s) {
                        dbfGrabCoord(q, s);
                        std::fprintf(detailStream(), "  line from %u %s\n", s, q.name);
                    }
            }
            return closeTerrain(rc);
        });
    });

    auto* stats = terrain->add_subcommand("stats", "Statistics of the terrain database");
    stats->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            printStatistics();
            return closeTerrain(0);
        });
    });

    auto* exportCmd = terrain->add_subcommand("export-points", "Write every point to a CSV file: name, y, x, z, surface");
    exportCmd->add_option("FILE", path, "The CSV file written (name,y,x,z,surface with a header row)")->required();
    exportCmd->callback([] {
        commandResult() = runCommand([] {
            if (!openTerrain()) return 1;
            const int written = exportPoints(path);
            if (closeTerrain(0) != 0 || written < 0) return 1;
            std::printf("%d points written to %s\n", written, path.c_str());
            return 0;
        });
    });

    addFilterCommands(terrain);
    addQueryCommands(terrain);
}

CommandGroup group(addTerrainCommands);

// ---------------------------------------------------------------------------------------------
// The demo: a hill on a 60 x 60 grid over the demo site (0..1000 on both axes), every square
// split into two triangles by feature lines.

double hillHeight(double y, double x) {
    const double dy = (y - 600.0) / 250.0, dx = (x - 450.0) / 300.0;
    return 100.0 + 40.0 * std::exp(-(dy * dy + dx * dx)) + 0.01 * x;
}

void buildDemoTerrain(DemoContext& ctx) {
    const std::string name = terrainFileName();
    if (!dbfMakeDbase(name.c_str(), 500.0, 500.0, 1000.0) || !dbfOpenDbase(name.c_str(), 0)) {
        std::fprintf(stderr, "Unable to create the demo terrain %s\n", name.c_str());
        return;
    }
    constexpr int kSide = 60;
    const double step = 1000.0 / (kSide - 1);
    std::vector<unsigned> numbers(kSide * kSide);
    const int savedMode = dbfSafeBucketChangeMode(0);
    char pointName[17];
    for (int row = 0; row < kSide; ++row)
        for (int col = 0; col < kSide; ++col) {
            const double y = col * step, x = row * step;
            std::snprintf(pointName, sizeof pointName, "G%02d-%02d", row, col);
            SURVCOORD p;
            dbfPackStruct(pointName, y, x, hillHeight(y, x), 1, p);
            dbfAddCoord(p, numbers[static_cast<size_t>(row * kSide + col)]);
        }
    // Triangles: right, up and the rising diagonal of every square.
    for (int row = 0; row < kSide; ++row)
        for (int col = 0; col < kSide; ++col) {
            const unsigned here = numbers[static_cast<size_t>(row * kSide + col)];
            if (col + 1 < kSide) dbfAddLine(here, numbers[static_cast<size_t>(row * kSide + col + 1)], 1, 0);
            if (row + 1 < kSide) dbfAddLine(here, numbers[static_cast<size_t>((row + 1) * kSide + col)], 1, 0);
            if (row + 1 < kSide && col + 1 < kSide)
                dbfAddLine(here, numbers[static_cast<size_t>((row + 1) * kSide + col + 1)], 1, 0);
        }
    dbfSafeBucketChangeMode(savedMode);

    // Draw the triangles, coloured by height, and the points.
    HeadlessCadWindow& cad = host().cad;
    cad.clearDisplayList();
    cad.setZoomRect(-60.0, -60.0, 1060.0, 1060.0);
    cad.gsSetLayer("Terrain", "Line");
    SURVCOORD p, q;
    int lines = 0;
    for (unsigned n = dbfStartCoord(p, nullptr); n != 0; n = dbfNextCoord(p, n))
        for (DWORD partner : p.lines)
            if (partner) {
                dbfGrabCoord(q, partner);
                const int pen = 1 + static_cast<int>((p.z + q.z) / 2.0 - 100.0) / 8;
                cad.gsDisplayLine(p.y, p.x, q.y, q.x, pen, 0, 0.0);
                ++lines;
            }
    const std::string csv = ctx.folder + "terrain_points.csv";
    const int written = exportPoints(csv);
    dbfCloseDbase();
    ctx.written.push_back(name);
    if (written > 0) ctx.written.push_back(csv);
    const std::string png = ctx.folder + "terrain_lines.png";
    if (cad.render(png, 900, 900)) ctx.written.push_back(png);
    std::fprintf(stderr, "Terrain: %d points, %d feature lines\n", written, lines);
}

DemoStep terrainStep(10, "terrain points and feature lines", buildDemoTerrain);

}  // namespace
