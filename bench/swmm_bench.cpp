// The SWMM input file written from the storm table against writing the same lines with plain
// formatted output.
//
// Ours: dbfSwmmUpdateFileFromDB(false) on a storm table of SWMM_BENCH_NODES nodes (default
// 20,000) in lines of 100 pipes of the link table, each line ending in an outfall: it walks the
// table in NODE order, derives link types, offsets, roughness and shapes, stores what it derived
// back into the records, rewrites the junction, outfall, conduit, cross-section and coordinate
// sections of the file in memory and saves the whole file. The first run stores every derived
// value; the runs after it find the values in place. SWMM_BENCH_SUBCATCH=1 gives every node a
// subcatchment (the baseline still writes the network lines only).
// The baseline: the same lines (from records read beforehand into memory, in node order) written
// to a file with fprintf. The ratio says what the table walk, the derivation and the file held as
// lines cost over formatting alone.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "database/frame.h"
#include "database/network.h"
#include "frame/state.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/ui.h"

namespace {

struct Node {
    std::string node, next, link;
    double invert, outlevel, length, size1, x, y;
};

struct Bench {
    int nodes = 20000;
    bool subcatchments = false;   // SWMM_BENCH_SUBCATCH=1: a subcatchment at every node
    std::filesystem::path folder;
    std::string table;
    ScriptedUi ui;
    CMDIFrameWnd frame{&ui};
    HeadlessCadWindow cad;
    std::vector<Node> records;   // in node order, for the baseline
    std::map<std::string, double> seconds;
    std::int64_t ourBytes = 0, baselineBytes = 0;
};

Bench& bench() {
    static Bench b;
    return b;
}

std::string nodeName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "N%06d", i);
    return name;
}

void buildTable() {
    Bench& b = bench();
    DATA4St* data = dbfStormOpenFile(b.table.data());
    if (!data) std::abort();
    const int sizes[] = {375, 450, 525, 600, 675};
    for (int i = 0; i < b.nodes; ++i) {
        d4appendBlank(data);
        const bool last = i % 100 == 99 || i == b.nodes - 1;
        const double invert = 1000.0 - (i % 100) * 0.25;
        f4assign(d4field(data, "NODE"), nodeName(i).c_str());
        f4assign(d4field(data, "NEXT_NODE"), last ? "" : nodeName(i + 1).c_str());
        f4assignDouble(d4field(data, "INLEVEL"), invert);
        f4assignDouble(d4field(data, "MH_DEPTH"), 1.5);
        f4assignDouble(d4field(data, "X_COORD"), 10000.0 + (i % 100) * 40.0);
        f4assignDouble(d4field(data, "Y_COORD"), 20000.0 + (i / 100) * 40.0);
        if (b.subcatchments) {
            f4assign(d4field(data, "SUBCATCH"), ("S" + nodeName(i)).c_str());
            f4assignDouble(d4field(data, "AREA"), 0.5);
            f4assignDouble(d4field(data, "SWMM_LEN"), 100.0);
        }
        if (last) continue;
        f4assign(d4field(data, "L_TYPE"), "Concrete Pipe");
        f4assignInt(d4field(data, "SIZE1"), sizes[i % 5]);
        f4assignInt(d4field(data, "NO"), 1);
        f4assignDouble(d4field(data, "LENGTH"), 40.0);
        f4assignDouble(d4field(data, "OUTLEVEL"), invert - 0.2);
    }
    d4flush(data);
}

// The records the baseline writes, read once as the update reads them.
void readRecords() {
    Bench& b = bench();
    char tag[] = "NODE";
    dbfStormSetIndex(tag);
    for (int rc = dbfStormGetFirstRecord(); rc == 0 && dbfStormGetRecordNo() <= dbfStormGetRecordCount();
         rc = dbfStormGetNextRecord()) {
        char text[64];
        Node n;
        char f1[] = "NODE", f2[] = "NEXT_NODE", f3[] = "LINK_NAME", f4[] = "INLEVEL", f5[] = "OUTLEVEL", f6[] = "LENGTH",
             f7[] = "FIX_SIZE1", f8[] = "X_COORD", f9[] = "Y_COORD";
        dbfStormGetField(f1, text, true);
        n.node = text;
        dbfStormGetField(f2, text, true);
        n.next = text;
        dbfStormGetField(f3, text, true);
        n.link = text;
        n.invert = dbfStormGetFieldDouble(f4);
        n.outlevel = dbfStormGetFieldDouble(f5);
        n.length = dbfStormGetFieldDouble(f6);
        n.size1 = dbfStormGetFieldDouble(f7);
        n.x = dbfStormGetFieldDouble(f8);
        n.y = dbfStormGetFieldDouble(f9);
        b.records.push_back(n);
    }
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void FirstUpdate(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (dbfSwmmUpdateFileFromDB(false) != 1) state.SkipWithError("the update failed");
        bench().seconds["first"] = since(start);
        state.SetIterationTime(bench().seconds["first"]);
    }
}

void Update(benchmark::State& state) {
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (dbfSwmmUpdateFileFromDB(false) != 1) state.SkipWithError("the update failed");
        const double t = since(start);
        total += t;
        state.SetIterationTime(t);
    }
    bench().seconds["ours"] = total / static_cast<double>(state.iterations());
    bench().ourBytes = static_cast<std::int64_t>(std::filesystem::file_size(dbfStormGetSwmmFile()->FileName()));
    state.counters["nodes"] = bench().nodes;
}

void FormattedBaseline(benchmark::State& state) {
    Bench& b = bench();
    if (b.records.empty()) readRecords();
    const std::string path = (b.folder / "baseline.inp").string();
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::FILE* f = std::fopen(path.c_str(), "w");
        std::fprintf(f, "[JUNCTIONS]\n");
        for (const Node& n : b.records)
            if (!n.next.empty())
                std::fprintf(f, "  %-16s %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f \n", n.node.c_str(), n.invert, 1.5, 0.0,
                             0.0, 0.0);
        std::fprintf(f, "\n[OUTFALLS]\n");
        for (const Node& n : b.records)
            if (n.next.empty()) std::fprintf(f, "  %-16s %-10.3f %-10s %-16s %-4s\n", n.node.c_str(), n.invert, "FREE", "", "NO");
        std::fprintf(f, "\n[CONDUITS]\n");
        for (const Node& n : b.records)
            if (!n.next.empty())
                std::fprintf(f, "  %-16s %-16s %-16s %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f %-10.3f\n", n.link.c_str(),
                             n.node.c_str(), n.next.c_str(), n.length, 0.013, 0.0, n.outlevel - n.invert + 0.2, 0.0, 0.0);
        std::fprintf(f, "\n[XSECTIONS]\n");
        for (const Node& n : b.records)
            if (!n.next.empty())
                std::fprintf(f, "  %-16s %-12s %-10.3f %-10.3f %-10.3f %-10.3f %-10d\n", n.link.c_str(), "CIRCULAR",
                             n.size1 / 1000.0, 0.0, 0.0, 0.0, 1);
        std::fprintf(f, "\n[COORDINATES]\n");
        for (const Node& n : b.records) std::fprintf(f, "  %-16s %-16.3f %-16.3f\n", n.node.c_str(), n.x, n.y);
        std::fclose(f);
        const double t = since(start);
        total += t;
        state.SetIterationTime(t);
    }
    b.seconds["baseline"] = total / static_cast<double>(state.iterations());
    b.baselineBytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
}

void setUp() {
    Bench& b = bench();
    if (const char* env = std::getenv("SWMM_BENCH_NODES"); env && std::atoi(env) >= 100) b.nodes = std::atoi(env);
    if (const char* env = std::getenv("SWMM_BENCH_SUBCATCH"); env && *env == '1') b.subcatchments = true;
    b.folder = std::filesystem::temp_directory_path() / ("swmm_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(b.folder);
    b.table = (b.folder / "Bench.stw").string();
    coreSetDefaultsFile((b.folder / "program.ini").string().c_str());
    const std::string job = (b.folder / "Bench.prj").string();
    if (std::FILE* f = std::fopen(job.c_str(), "w")) std::fclose(f);
    coreSetJobFile(job.c_str());
    coreSetJobDefault("Global", "Hemisphere", "1");
    // The default settings and SWMM input come from the source tree's data folder.
    coreStrncpy(dbfState().moduleFolderOverride, DB_SOURCE_DIR "/data/", MAX_PATH);
    platformSetDefaultUi(&b.ui);
    initDbfAPI(&b.frame, &b.cad, nullptr);
    buildTable();
}

void tearDown() {
    dbfStormCloseFile(false);
    unInitDbfAPI();
    std::error_code ec;
    std::filesystem::remove_all(bench().folder, ec);
}

}  // namespace

BENCHMARK(FirstUpdate)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Update)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FormattedBaseline)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setUp();
    benchmark::RunSpecifiedBenchmarks();
    Bench& b = bench();
    std::printf("\nStorm table: %d nodes%s; SWMM file %lld bytes, baseline file %lld bytes\n", b.nodes,
                b.subcatchments ? " with a subcatchment each" : "",
                static_cast<long long>(b.ourBytes), static_cast<long long>(b.baselineBytes));
    std::printf("Seconds: first update %.3f, update %.3f, formatted output %.3f\n", b.seconds["first"], b.seconds["ours"],
                b.seconds["baseline"]);
    if (b.seconds["baseline"] > 0)
        std::printf("Ratio (update / formatted output): %.1f\n", b.seconds["ours"] / b.seconds["baseline"]);
    if (!b.ui.shown.empty()) std::printf("Messages shown: %zu, the first: %s\n", b.ui.shown.size(), b.ui.texts()[0].c_str());
    tearDown();
    benchmark::Shutdown();
    return 0;
}
