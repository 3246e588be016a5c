// The memory a large dense survey needs: 10,000,000 points at 8 a square unit (a drone survey of
// about 1.1 x 1.1 km) added in random order, the file closed and opened again (the point index
// built from the blocks), scanned whole, 10,000 area scans of about 100 points and 1,000
// cross-sections from the points. Prints the point index's bytes a point and the time of each
// step; the peak memory of the process comes from the system:
//
//   /usr/bin/time -v nice build-bench/bin/terrain_memory
//
// The block cache is sized for a machine of 1 GB (256 MB of blocks), so that the figure shows
// what grows with the points. TERRAIN_MEMORY_POINTS sets another number of points.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "database/frame.h"
#include "database/section.h"
#include "database/terrain.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/os.h"
#include "platform/ui.h"
#include "terrain/terrain_state.h"

namespace {

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    long points = 10000000;
    if (const char* env = std::getenv("TERRAIN_MEMORY_POINTS"); env && std::atol(env) >= 1000) points = std::atol(env);
    const double density = 8.0;
    const double side = std::sqrt(points / density);
    const auto folder = std::filesystem::temp_directory_path() / ("terrain_memory_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string dtm = (folder / "Survey.dtm").string();
    coreSetDefaultsFile((folder / "program.ini").string().c_str());
    const std::string job = (folder / "Survey.prj").string();
    if (std::FILE* f = std::fopen(job.c_str(), "w")) std::fclose(f);
    coreSetJobFile(job.c_str());
    ScriptedUi ui;
    CMDIFrameWnd frame{&ui};
    HeadlessCadWindow cad;
    platformSetDefaultUi(&ui);
    osSetPhysicalMemoryOverride(1ull << 30);
    initDbfAPI(&frame, &cad, nullptr);

    auto start = std::chrono::steady_clock::now();
    if (!dbfMakeDbase(dtm.c_str(), side / 2, side / 2, side / 1.2247) || !dbfOpenDbase(dtm.c_str(), 0)) {
        std::fprintf(stderr, "unable to create %s\n", dtm.c_str());
        return 1;
    }
    dbfSafeBucketChangeMode(0);
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> along(0.0, side);
    for (long i = 0; i < points; ++i) {
        SURVCOORD p;
        dbfPackStruct("S", along(rng), along(rng), static_cast<double>(i % 1000) * 0.01, 1, p);
        unsigned number = 0;
        if (!dbfAddCoord(p, number)) {
            std::fprintf(stderr, "add %ld failed\n", i);
            return 1;
        }
    }
    const double indexAfterAdds = static_cast<double>(pointIndexBytes()) / points;
    dbfCloseDbase();
    std::printf("%ld points at %g a square unit over %.1f x %.1f: added in %.1f s (index %.2f bytes a point)\n", points,
                density, side, side, since(start), indexAfterAdds);

    start = std::chrono::steady_clock::now();
    if (!dbfOpenDbase(dtm.c_str(), 0)) return 1;
    std::printf("Opened in %.1f s: point index %.1f MB, %.2f bytes a point\n", since(start), pointIndexBytes() / 1e6,
                static_cast<double>(pointIndexBytes()) / points);

    start = std::chrono::steady_clock::now();
    SURVCOORD p;
    long found = 0;
    for (unsigned n = dbfStartCoord(p, nullptr); n != 0; n = dbfNextCoord(p, n)) ++found;
    std::printf("Whole scan: %ld points in %.1f s\n", found, since(start));

    start = std::chrono::steady_clock::now();
    const double areaSide = std::sqrt(100.0 / density);
    std::uniform_real_distribution<double> corner(0.0, side - areaSide);
    found = 0;
    for (int k = 0; k < 10000; ++k) {
        const double y = corner(rng), x = corner(rng);
        RRect area{y + areaSide, y, x, x + areaSide};
        for (unsigned n = dbfStartCoord(p, &area); n != 0; n = dbfNextCoord(p, n)) ++found;
    }
    std::printf("10000 area scans: %ld points in %.2f s\n", found, since(start));

    start = std::chrono::steady_clock::now();
    std::uniform_real_distribution<double> centre(40.0, side - 40.0), turn(0.0, 3.14159);
    long kept = 0;
    for (int k = 0; k < 1000; ++k) {
        const double cy = centre(rng), cx = centre(rng), angle = turn(rng);
        double f[5][5] = {};
        f[0][2] = cy - 10 * std::cos(angle), f[0][3] = cx - 10 * std::sin(angle);
        f[1][2] = cy, f[1][3] = cx;
        f[2][2] = cy + 10 * std::cos(angle), f[2][3] = cx + 10 * std::sin(angle);
        dbfFrameFromTriplet(f);
        XSECTION xs{};
        dbfSectionFromCoords(cy, cx, 5.0, -30.0, 30.0, 0.2, 1, 1, 0.5, f, &xs);
        kept += xs.count;
    }
    std::printf("1000 cross-sections of +-30 from the points within 0.2: %ld points kept in %.2f s\n", kept,
                since(start));

    dbfCloseDbase();
    unInitDbfAPI();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
