// Natural-ground cross-sections cut from feature lines, against testing every line of the terrain.
//
// The terrain: 1,000,000 points on a 1000 x 1000 grid at 8 points a square metre, as an airborne
// or drone survey gives them, 0.354 m apart (SECTION_BENCH_SIDE sets another number of points a
// side, SECTION_BENCH_DENSITY another density), every square split into two triangles by feature
// lines (about 3,000,000 lines), heights from a smooth surface. The sections: square to a skewed
// road across the site, each from -30 to 30 metres.
//
// Ours: dbfSectionFromLines, and dbfLongSectionFromLines (the same cut without the cross-section's
// 200-point limit), which read only the points near the section line and one partner point per
// line. The baseline: the same crossing test
// over every line of the terrain for each section, with the points and lines held in memory
// (what a program without a spatial index does). Both count their crossings as a check; the
// ratio is sections per second of ours over the baseline's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench_frames.h"
#include "database/frame.h"
#include "database/section.h"
#include "database/terrain.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/ui.h"

namespace {

struct Node {
    double y, x, z;
};

struct Bench {
    int side = 1000;                                  // points a side of the grid
    double density = 8.0;                             // points a square metre
    double spacing = 1.0 / std::sqrt(8.0);            // metres between the grid's points
    double extent = 999.0 / std::sqrt(8.0);           // the grid's side in metres
    int ourSections = 500;
    int baselineSections = 10;
    std::filesystem::path folder;
    std::string dtm;
    ScriptedUi ui;
    CMDIFrameWnd frame{&ui};
    HeadlessCadWindow cad;
    std::vector<Node> nodes;                          // the baseline's copy of the points
    std::vector<std::pair<unsigned, unsigned>> lines; // and of the lines, as node indexes
    std::map<std::string, double> seconds;
    std::map<std::string, double> perSecond;
    std::map<std::string, double> crossings;
    double buildSeconds = 0;
};

Bench& bench() {
    static Bench b;
    return b;
}

double heightAt(double y, double x) { return 100.0 + 10.0 * std::sin(y / 70.0) * std::cos(x / 90.0) + 0.01 * x; }

struct Timer {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

void sectionFrame(int k, int n, double (*f)[5], double& y0, double& x0) {
    benchSectionFrame(bench().extent, k, n, f, y0, x0);
}

void buildTerrain() {
    Bench& b = bench();
    Timer t;
    const double side = b.extent;
    if (!dbfMakeDbase(b.dtm.c_str(), side / 2, side / 2, side) || !dbfOpenDbase(b.dtm.c_str(), 0)) {
        std::fprintf(stderr, "unable to create the terrain file\n");
        std::exit(1);
    }
    dbfSafeBucketChangeMode(0);
    const int n = b.side;
    std::vector<unsigned> number(static_cast<size_t>(n) * n);
    b.nodes.reserve(number.size());
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double y = j * b.spacing, x = i * b.spacing;
            SURVCOORD p;
            dbfPackStruct("G", y, x, heightAt(y, x), 1, p);
            dbfAddCoord(p, number[static_cast<size_t>(i) * n + j]);
            b.nodes.push_back(Node{y, x, p.z});
        }
    auto index = [n](int i, int j) { return static_cast<unsigned>(i * n + j); };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            auto join = [&](unsigned a, unsigned c) {
                if (dbfAddLine(number[a], number[c], 1, 0)) b.lines.emplace_back(a, c);
            };
            if (j + 1 < n) join(index(i, j), index(i, j + 1));
            if (i + 1 < n) join(index(i, j), index(i + 1, j));
            if (i + 1 < n && j + 1 < n) join(index(i, j), index(i + 1, j + 1));
        }
    b.buildSeconds = t.seconds();
}

void setUp() {
    Bench& b = bench();
    if (const char* env = std::getenv("SECTION_BENCH_SIDE"); env && std::atoi(env) >= 100) b.side = std::atoi(env);
    if (const char* env = std::getenv("SECTION_BENCH_DENSITY"); env && std::atof(env) > 0.0) b.density = std::atof(env);
    b.spacing = 1.0 / std::sqrt(b.density);
    b.extent = (b.side - 1) * b.spacing;
    b.folder = std::filesystem::temp_directory_path() / ("section_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(b.folder);
    b.dtm = (b.folder / "Bench.dtm").string();
    coreSetDefaultsFile((b.folder / "program.ini").string().c_str());
    const std::string job = (b.folder / "Bench.prj").string();
    if (std::FILE* f = std::fopen(job.c_str(), "w")) std::fclose(f);
    coreSetJobFile(job.c_str());
    platformSetDefaultUi(&b.ui);
    initDbfAPI(&b.frame, &b.cad, nullptr);
    buildTerrain();
}

void tearDown() {
    dbfCloseDbase();
    unInitDbfAPI();
    std::error_code ec;
    std::filesystem::remove_all(bench().folder, ec);
}

void record(benchmark::State& state, const char* name, double elapsed, int sections, double crossings) {
    Bench& b = bench();
    b.seconds[name] = elapsed;
    b.perSecond[name] = sections / elapsed;
    b.crossings[name] = crossings;
    state.SetIterationTime(elapsed);
    state.counters["sections/s"] = sections / elapsed;
}

// Cross-sections: a cross-section holds 200 points, and at 8 points a square metre a cut of
// +-30 m crosses about 465 lines, so each cut ends when its section is full (as documented).
void SectionsFromLines(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) {
        double crossings = 0;
        Timer t;
        for (int k = 0; k < b.ourSections; ++k) {
            double f[5][5], y0 = 0, x0 = 0;
            sectionFrame(k, b.ourSections, f, y0, x0);
            XSECTION xs{};
            dbfSectionFromLines(y0, x0, 5.0, -30.0, 30.0, 0, 1, 0.0, f, &xs, nullptr, 1);
            if (k < b.baselineSections) crossings += xs.count;
        }
        record(state, "ours", t.seconds(), b.ourSections, crossings);
    }
}

// Long sections from the lines: the same cut without the 200-point limit, so that every crossing
// is found and counted (the cut gathers its points and puts them into the list in offset order at once).
void LongSectionsFromLines(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) {
        double crossings = 0;
        Timer t;
        for (int k = 0; k < b.ourSections; ++k) {
            double f[5][5], y0 = 0, x0 = 0;
            sectionFrame(k, b.ourSections, f, y0, x0);
            LongSection ls;
            dbfLongSectionFromLines(y0, x0, 5.0, -30.0, 30.0, 0, 1, 0.0, f, &ls);
            if (k < b.baselineSections) crossings += ls.Count();
            ls.Destroy();
        }
        record(state, "ours long", t.seconds(), b.ourSections, crossings);
    }
}

// Every line of the terrain for each section, with the same crossing rule and window.
void EveryLineBaseline(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) {
        double crossings = 0;
        Timer t;
        for (int k = 0; k < b.baselineSections; ++k) {
            double f[5][5], y0 = 0, x0 = 0;
            sectionFrame(k, b.ourSections, f, y0, x0);
            int found = 0;
            for (const auto& [ia, ib] : b.lines) {
                const Node& a = b.nodes[ia];
                const Node& c = b.nodes[ib];
                double oA, dA, oB, dB;
                dbfFrameMap(f, a.y, a.x, oA, dA);
                dbfFrameMap(f, c.y, c.x, oB, dB);
                if ((dA < -1e-12 && dB < -1e-12) || (dA > 1e-12 && dB > 1e-12)) continue;
                const double s = dB / (dB - dA + 1e-21);
                const double offset = oB - (oB - oA) * s;
                if (dblGreaterEqual(offset, -30.0) && dblLessEqual(offset, 30.0)) ++found;
            }
            benchmark::DoNotOptimize(found);
            crossings += found;
        }
        record(state, "every line", t.seconds(), b.baselineSections, crossings);
    }
}

}  // namespace

BENCHMARK(SectionsFromLines)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(LongSectionsFromLines)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(EveryLineBaseline)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setUp();
    benchmark::RunSpecifiedBenchmarks();
    Bench& b = bench();
    std::printf("\nTerrain: %zu points at %g a square metre over %.1f x %.1f m, %zu feature lines (built in %.1f s)\n",
                b.nodes.size(), b.density, b.extent, b.extent, b.lines.size(), b.buildSeconds);
    std::printf("Crossings in the first %d sections: cross-sections %.0f (full at 200 points), long sections %.0f, "
                "every line %.0f\n",
                b.baselineSections, b.crossings["ours"], b.crossings["ours long"], b.crossings["every line"]);
    std::printf("Sections per second: cross-sections %.1f, long sections %.1f (%d sections each), every line %.2f (%d "
                "sections)\n",
                b.perSecond["ours"], b.perSecond["ours long"], b.ourSections, b.perSecond["every line"],
                b.baselineSections);
    if (b.perSecond["every line"] > 0)
        std::printf("Ratio (ours / every line): cross-sections %.1f, long sections %.1f\n",
                    b.perSecond["ours"] / b.perSecond["every line"], b.perSecond["ours long"] / b.perSecond["every line"]);
    tearDown();
    benchmark::Shutdown();
    return 0;
}
