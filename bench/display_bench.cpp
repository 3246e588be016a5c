// The site redraw against drawing the same primitives straight into Cairo, the limit of any
// redraw through the drawing window: a terrain of points on a square grid, each joined to its
// right, upper and upper-right neighbour (three lines a point), with quick contours every metre
// over a rolling surface. One run:
//   - full redraw: the library's paint of the whole site (points, lines, quick contours) into
//     the drawing window's display list, then the window's rendering of it to a PNG;
//   - straight Cairo: the same primitives drawn with Cairo's own calls into an image of the same
//     size, then written to a PNG;
//   - 1 % view: the paint of a view that holds 1 % of the site, against the full paint.
// Times are the process's processor time.
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DDB_BENCH=ON -DDB_TESTS=OFF
//   cmake --build build-bench --target display_bench && build-bench/bench/display_bench
//
// DISPLAY_BENCH_POINTS lists the terrain sizes (default "10000,100000,1000000").
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <unistd.h>

#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

constexpr int kPagePixels = 2000;

void wholeView() {
    const double s = bench().side;
    bench().cad.setZoomRect(-0.5, -0.5, s - 0.5, s - 0.5);
}

// The paint of the whole site.
void FullPaint(benchmark::State& state) {
    for (auto _ : state) {
        wholeView();
        const double t = now();
        bench().cad.paint();
        state.SetIterationTime(now() - t);
        bench().seconds["full paint"] = now() - t;
        bench().counts["primitives"] = static_cast<long>(bench().cad.displayList().size());
    }
}

// The paint, then the window's rendering of its display list.
void FullRedraw(benchmark::State& state) {
    const std::string png = (bench().folder / "redraw.png").string();
    for (auto _ : state) {
        wholeView();
        const double t = now();
        bench().cad.paint();
        bench().cad.render(png, kPagePixels, kPagePixels);
        state.SetIterationTime(now() - t);
        bench().seconds["full redraw"] = now() - t;
    }
}

// The same primitives (lines and point marks) drawn with Cairo's own calls.
void StraightCairo(benchmark::State& state) {
    const std::string png = (bench().folder / "cairo.png").string();
    wholeView();
    bench().cad.paint();
    const std::vector<CadPrimitive> list = bench().cad.displayList();
    const double side = bench().side, scale = kPagePixels / side;
    for (auto _ : state) {
        const double t = now();
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kPagePixels, kPagePixels);
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        // drawn as the window draws them: one pixel wide, round caps, the pen's colour
        cairo_set_line_width(cr, 1.0);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        for (const CadPrimitive& p : list) {
            const double h = (p.points[0].y + 0.5) * scale, v = kPagePixels - (p.points[0].x + 0.5) * scale;
            const COLORREF c = cadPenColour(p.pen);
            cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
            if (p.kind == CadPrimitiveKind::Line) {
                cairo_move_to(cr, h, v);
                cairo_line_to(cr, (p.points[1].y + 0.5) * scale, kPagePixels - (p.points[1].x + 0.5) * scale);
            } else {
                cairo_move_to(cr, h - 2, v);
                cairo_line_to(cr, h + 2, v);
                cairo_move_to(cr, h, v - 2);
                cairo_line_to(cr, h, v + 2);
            }
            cairo_stroke(cr);
        }
        cairo_surface_write_to_png(surface, png.c_str());
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        state.SetIterationTime(now() - t);
        bench().seconds["straight cairo"] = now() - t;
    }
}

// The paint of a view of a tenth of the site's side about its centre (1 % of its area).
void OnePerCentPaint(benchmark::State& state) {
    const double s = bench().side, c = s / 2.0, half = s * 0.05;
    for (auto _ : state) {
        bench().cad.setZoomRect(c - half, c - half, c + half, c + half);
        const double t = now();
        bench().cad.paint();
        state.SetIterationTime(now() - t);
        bench().seconds["1 % paint"] = now() - t;
        bench().counts["1 % primitives"] = static_cast<long>(bench().cad.displayList().size());
    }
}

BENCHMARK(FullPaint)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FullRedraw)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StraightCairo)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OnePerCentPaint)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void report() {
    auto& s = bench().seconds;
    std::printf("points %ld: %ld primitives (1 %% view: %ld); full paint %.3f s, full redraw %.3f s, straight Cairo %.3f s, "
                "redraw / Cairo %.2f; 1 %% view paint / full paint %.4f\n",
                bench().points, bench().counts["primitives"], bench().counts["1 % primitives"], s["full paint"],
                s["full redraw"], s["straight cairo"], s["full redraw"] / s["straight cairo"], s["1 % paint"] / s["full paint"]);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    return runAtSizes(argc, argv, "display_bench", "DISPLAY_BENCH_POINTS", {kFlagPoints, kFlagLines, kFlagContours},
                      [] {}, report);
}
