// The DXF export of a site against writing the same entity lines with plain formatted output:
// a terrain of points on a square grid, each joined to its right, upper and upper-right
// neighbour (three lines a point), exported with its points and feature lines. One run:
//   - export: dbfSiteExport of the whole site into a file (the layers walked, each group
//     written through the file wrappers);
//   - plain fprintf: the same POINT and LINE records, taken from a paint's display list, each
//     entity written with one fprintf into a file;
// and the ratio. Times are the process's processor time.
//
//   cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDB_BENCH=ON
//   cmake --build build --target dxf_bench && build/bin/dxf_bench
//
// DXF_BENCH_POINTS lists the terrain sizes (default "10000,100000,1000000").
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "database/display.h"
#include "database/frame.h"
#include "database/terrain.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/os.h"
#include "platform/ui.h"

#include "bench_site.h"

namespace {

using namespace benchsite;

void wholeView() {
    const double s = bench().side;
    bench().cad.setZoomRect(-0.5, -0.5, s - 0.5, s - 0.5);
}

void Export(benchmark::State& state) {
    const std::string path = (bench().folder / "site.dxf").string();
    for (auto _ : state) {
        wholeView();
        const double t = now();
        FILE* f = coreFileOpen(path.c_str(), "wb");
        dbfSiteExport(0, f);
        coreFileCloseChecked(f);
        state.SetIterationTime(now() - t);
        bench().seconds["export"] = now() - t;
        bench().counts["bytes"] = static_cast<long>(std::filesystem::file_size(path));
    }
}

// The same records from the display list (point heights as the export writes them), one
// fprintf per entity.
void PlainFprintf(benchmark::State& state) {
    const std::string path = (bench().folder / "plain.dxf").string();
    wholeView();
    bench().cad.paint();
    const std::vector<CadPrimitive> list = bench().cad.displayList();
    const int pen = dbfTerrainPen(1);
    for (auto _ : state) {
        const double t = now();
        FILE* f = std::fopen(path.c_str(), "wb");
        long entities = 0;
        for (const CadPrimitive& p : list) {
            const GsPoint& a = p.points[0];
            if (p.kind == CadPrimitiveKind::Line) {
                const GsPoint& b = p.points[1];
                std::fprintf(f, "  0\nLINE\n  8\n\n  6\n%s\n 62\n%d\n 10\n%.3lf\n 20\n%.3lf\n 30\n%.3lf\n 11\n%.3lf\n 21\n%.3lf\n 31\n%.3lf\n",
                             dbfDxfLineType(p.style), p.pen, a.y, a.x, height(static_cast<int>(a.x), static_cast<int>(a.y)), b.y, b.x,
                             height(static_cast<int>(b.x), static_cast<int>(b.y)));
            } else {
                std::fprintf(f, "  0\nPOINT\n  8\n\n 62\n%d\n 10\n%.3lf\n 20\n%.3lf\n 30\n%.3lf\n", pen, a.y, a.x,
                             height(static_cast<int>(a.x), static_cast<int>(a.y)));
            }
            ++entities;
        }
        std::fclose(f);
        state.SetIterationTime(now() - t);
        bench().seconds["plain"] = now() - t;
        bench().counts["entities"] = entities;
        bench().counts["plain bytes"] = static_cast<long>(std::filesystem::file_size(path));
    }
}

BENCHMARK(Export)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PlainFprintf)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void report() {
    auto& s = bench().seconds;
    auto& c = bench().counts;
    std::printf("points %ld: %ld entities, export %ld bytes (plain %ld); export %.3f s, plain fprintf %.3f s, export / plain %.2f\n",
                bench().points, c["entities"], c["bytes"], c["plain bytes"], s["export"], s["plain"], s["export"] / s["plain"]);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    return runAtSizes(
        argc, argv, "dxf_bench", "DXF_BENCH_POINTS", {kFlagPoints, kFlagLines},
        [] { coreSetJobDefault("DXF Export", "AutoCADCompatible", "0"); },   // no signs, as the plain output
        report);
}
