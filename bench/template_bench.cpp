// Applying a road template to the chainages of a road, against cutting the natural ground alone.
//
// The terrain: 1,000,000 points on a 1000 x 1000 grid one metre apart (TEMPLATE_BENCH_SIDE sets
// another side), every square split into two triangles by feature lines, heights from a smooth
// surface. The road: a skewed line across the site with 1,000, 3,000 and 10,000 chainages (one
// road each), the natural ground of each cut from -30 to 30 metres.
//
// Applying the template to a chainage: cut the natural ground from the feature lines
// (dbfSectionFromLines), store it, design the section against it from the template
// (dbfRoadDesignSection), work out its two layer works outlines (dbfRoadCalcLayer) and store the
// design and the layers. The baseline, in the same run, is the terrain look-up alone: the same
// cuts without anything after them. It reports chainages per second of both and the share of the
// applying time spent outside the terrain look-up.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench_frames.h"
#include "database/frame.h"
#include "database/road.h"
#include "database/section.h"
#include "database/terrain.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/ui.h"

namespace {

const char* kTemplate =
    "[TemplateType]\nVersion=6\nType=single,0,2,3\n"
    "[LeftCompulsory]\nLine1=3.5,-2,0\nLine2=1.5,-4,100\n[RightCompulsory]\nLine1=3.5,-2,0\nLine2=1.5,-4,100\n"
    "[LeftCutAdditions]\nLine1=1,-40\nLine2=1,40\n[RightCutAdditions]\nLine1=1,-40\nLine2=1,40\n"
    "[LeftFillAdditions]\nLine1=0.5,-10\n[RightFillAdditions]\nLine1=0.5,-10\n"
    "[LeftLayerWorks]\nLine1=0,-100,0,0,0.04,Surfacing\n[RightLayerWorks]\nLine1=0,0,100,0,0.04,Surfacing\n";

struct Bench {
    int side = 1000;
    std::filesystem::path folder;
    std::string dtm;
    ScriptedUi ui;
    CMDIFrameWnd frame{&ui};
    HeadlessCadWindow cad;
    std::unique_ptr<TEMPLATE> tpl = std::make_unique<TEMPLATE>();
    double buildSeconds = 0;
    int road = 0;
};

Bench& bench() {
    static Bench b;
    return b;
}

double heightAt(double y, double x) { return 100.0 + 10.0 * std::sin(y / 70.0) * std::cos(x / 90.0) + 0.01 * x; }

using Clock = std::chrono::steady_clock;
double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void sectionFrame(int k, int n, double (*f)[5], double& y0, double& x0) {
    benchSectionFrame(bench().side, k, n, f, y0, x0);
}

void buildTerrain() {
    Bench& b = bench();
    const auto start = Clock::now();
    if (!dbfMakeDbase(b.dtm.c_str(), b.side / 2.0, b.side / 2.0, b.side) || !dbfOpenDbase(b.dtm.c_str(), 0)) {
        std::fprintf(stderr, "unable to create the terrain file\n");
        std::exit(1);
    }
    dbfSafeBucketChangeMode(0);
    const int n = b.side;
    std::vector<unsigned> number(static_cast<size_t>(n) * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            SURVCOORD p;
            dbfPackStruct("G", j, i, heightAt(j, i), 1, p);
            dbfAddCoord(p, number[static_cast<size_t>(i) * n + j]);
        }
    auto at = [&](int i, int j) { return number[static_cast<size_t>(i) * n + j]; };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            if (j + 1 < n) dbfAddLine(at(i, j), at(i, j + 1), 1, 0);
            if (i + 1 < n) dbfAddLine(at(i, j), at(i + 1, j), 1, 0);
            if (i + 1 < n && j + 1 < n) dbfAddLine(at(i, j), at(i + 1, j + 1), 1, 0);
        }
    b.buildSeconds = since(start);
}

void setUp() {
    Bench& b = bench();
    if (const char* env = std::getenv("TEMPLATE_BENCH_SIDE"); env && std::atoi(env) >= 100) b.side = std::atoi(env);
    b.folder = std::filesystem::temp_directory_path() / ("template_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(b.folder);
    b.dtm = (b.folder / "Bench.dtm").string();
    coreSetDefaultsFile((b.folder / "program.ini").string().c_str());
    const std::string job = (b.folder / "Bench.prj").string();
    if (std::FILE* f = std::fopen(job.c_str(), "w")) std::fclose(f);
    coreSetJobFile(job.c_str());
    coreSetJobDefault("Global", "Merolind", job.c_str());
    platformSetDefaultUi(&b.ui);
    b.ui.defaultAnswer = IDNO;
    initDbfAPI(&b.frame, &b.cad, nullptr);
    std::string tpl = (b.folder / "bench.tpl").string();
    if (std::FILE* f = std::fopen(tpl.c_str(), "w")) {
        std::fputs(kTemplate, f);
        std::fclose(f);
    }
    if (!dbfRoadGrabTemplate(tpl.data(), b.tpl.get())) {
        std::fprintf(stderr, "unable to read the bench template\n");
        std::exit(1);
    }
    buildTerrain();
}

void tearDown() {
    dbfCloseDbase();
    unInitDbfAPI();
    std::error_code ec;
    std::filesystem::remove_all(bench().folder, ec);
}

bool cut(int k, int n, XSECTION& ground) {
    double f[5][5], y0 = 0, x0 = 0;
    sectionFrame(k, n, f, y0, x0);
    ground = XSECTION{};
    return dbfSectionFromLines(y0, x0, 5.0, -30.0, 30.0, 0, 1, 0.0, f, &ground, nullptr, 1) && ground.count > 1;
}

void ApplyTemplate(benchmark::State& state) {
    Bench& b = bench();
    const int n = static_cast<int>(state.range(0));
    coreSetJobDefaultInt("Global", "RoadId", ++b.road);
    dbfRoadInit(1, 1);
    for (auto _ : state) {
        double lookup = 0.0, rest = 0.0;
        int designed = 0;
        const auto start = Clock::now();
        for (int k = 0; k < n; ++k) {
            const double chg = k * 0.1;
            auto t0 = Clock::now();
            XSECTION ground;
            const bool ok = cut(k, n, ground);
            const auto t1 = Clock::now();
            lookup += std::chrono::duration<double>(t1 - t0).count();
            if (!ok) continue;
            dbfStoreSect(chg, 2, &ground);
            double z = 0.0;
            dbfSectElevation(0.0, &ground, z);
            XSECTION design{}, layer{};
            if (dbfRoadDesignSection(chg, z + 0.3, *b.tpl, ground, design, nullptr)) {
                dbfStoreSect(chg, 1, &design);
                for (std::uint32_t w = 0; w < 2; ++w)
                    if (dbfRoadCalcLayer(chg, static_cast<int>(w), 0.04, design, layer, *b.tpl, nullptr, nullptr, 0, 0))
                        dbfStoreSect(chg, static_cast<short>(3 + w), &layer);
                ++designed;
            }
            rest += since(t1);
        }
        const double total = since(start);
        state.SetIterationTime(total);
        state.counters["chainages/s"] = n / total;
        state.counters["outside look-up %"] = 100.0 * rest / (lookup + rest);
        state.counters["designed"] = designed;
    }
    dbfRoadInit(0, 1);
}

void TerrainLookupBaseline(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const auto start = Clock::now();
        int cuts = 0;
        for (int k = 0; k < n; ++k) {
            XSECTION ground;
            cuts += cut(k, n, ground);
        }
        const double total = since(start);
        state.SetIterationTime(total);
        state.counters["chainages/s"] = n / total;
        state.counters["cut"] = cuts;
    }
}

}  // namespace

BENCHMARK(TerrainLookupBaseline)->Arg(1000)->Arg(3000)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ApplyTemplate)->Arg(1000)->Arg(3000)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setUp();
    std::printf("terrain: %d x %d points built in %.1f s\n", bench().side, bench().side, bench().buildSeconds);
    benchmark::RunSpecifiedBenchmarks();
    tearDown();
    return 0;
}
