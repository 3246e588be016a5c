// The site the display and DXF benchmarks share: a project in a temporary folder with a gridded
// terrain and the terrain display open over it, and the process's processor time.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "database/display.h"
#include "database/frame.h"
#include "database/terrain.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/ui.h"

namespace benchsite {

struct Bench {
    long points = 0;
    int side = 0;
    std::filesystem::path folder;
    ScriptedUi ui;
    CMDIFrameWnd frame{&ui};
    HeadlessCadWindow cad;
    std::map<std::string, double> seconds;
    std::map<std::string, long> counts;
};

inline Bench& bench() {
    static Bench b;
    return b;
}

// The process's processor time: the machine is shared, and the work is one thread, so this is
// the wall time of an idle machine without the other processes' share.
inline double now() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

inline double height(int row, int col) { return 100.0 + 10.0 * std::sin(col / 50.0) * std::cos(row / 70.0) + 0.01 * row; }

// The project and its terrain (a grid of `points` points 1 apart, each joined to its right, upper
// and upper-right neighbours, over a rolling surface): the grid added with the safe mode off, then
// the terrain display opened over it with only the given layers shown.
inline void setUp(const std::string& prefix, long points, std::initializer_list<int> flags) {
    Bench& b = bench();
    b.points = points;
    b.side = static_cast<int>(std::lround(std::sqrt(static_cast<double>(points))));
    b.folder = std::filesystem::temp_directory_path() / (prefix + "_" + std::to_string(getpid()));
    std::filesystem::create_directories(b.folder);
    platformSetDefaultUi(&b.ui);
    coreSetDefaultsFile((b.folder / "program.ini").c_str());
    const std::string job = (b.folder / "Bench.prj").string();
    FILE* f = coreFileOpen(job.c_str(), "w");
    coreFileClose(f);
    coreSetJobFile(job.c_str());
    coreSetJobDefault("Global", "Merolind", job.c_str());
    coreSetDefault("Global", "DTMRam", "50");
    initDbfAPI(&b.frame, &b.cad, nullptr);

    const std::string dtm = (b.folder / "Bench.dtm").string();
    const double mid = b.side / 2.0;
    dbfMakeDbase(dtm.c_str(), mid, mid, b.side * 1.05);
    dbfOpenDbase(dtm.c_str(), 0);
    const int saved = dbfSafeBucketChangeMode(0);
    std::vector<unsigned> numbers(static_cast<size_t>(b.side) * b.side);
    char name[17];
    for (int row = 0; row < b.side; ++row)
        for (int col = 0; col < b.side; ++col) {
            SURVCOORD p;
            std::snprintf(name, sizeof name, "P%d", row * b.side + col);
            dbfPackStruct(name, col, row, height(row, col), 1, p);
            dbfAddCoord(p, numbers[static_cast<size_t>(row) * b.side + col]);
        }
    auto at = [&](int row, int col) { return numbers[static_cast<size_t>(row) * b.side + col]; };
    for (int row = 0; row < b.side; ++row)
        for (int col = 0; col < b.side; ++col) {
            if (col + 1 < b.side) dbfAddLine(at(row, col), at(row, col + 1), 1, 0);
            if (row + 1 < b.side) dbfAddLine(at(row, col), at(row + 1, col), 1, 0);
            if (row + 1 < b.side && col + 1 < b.side) dbfAddLine(at(row, col), at(row + 1, col + 1), 1, 0);
        }
    dbfSafeBucketChangeMode(saved);
    dbfCloseDbase();
    dbfTerrainInit(1);
    for (int flag = 0; flag < kDisplayFlagCount; ++flag) dbfSetDisplayFlag(flag, 0);
    for (int flag : flags) dbfSetDisplayFlag(flag, 1);
}

inline void tearDown() {
    Bench& b = bench();
    b.ui.defaultAnswer = IDNO;
    dbfTerrainInit(0);
    unInitDbfAPI();
    std::filesystem::remove_all(b.folder);
    b.seconds.clear();
    b.counts.clear();
}

// Runs the registered benchmarks once for each number of points in the comma list of the
// environment variable (default 10,000, 100,000 and 1,000,000), each on a new site with the
// display flags given; prepare() runs after the set-up, report() after the benchmarks.
template <typename Prepare, typename Report>
int runAtSizes(int argc, char** argv, const char* prefix, const char* variable, std::initializer_list<int> flags,
               Prepare prepare, Report report) {
    benchmark::Initialize(&argc, argv);
    const char* sizes = std::getenv(variable);
    std::stringstream list(sizes ? sizes : "10000,100000,1000000");
    std::string size;
    while (std::getline(list, size, ',')) {
        setUp(prefix, std::atol(size.c_str()), flags);
        prepare();
        // A reporter of its own for each run: the library's default one serves only one.
        benchmark::ConsoleReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        report();
        tearDown();
    }
    benchmark::Shutdown();
    return 0;
}

}  // namespace benchsite
