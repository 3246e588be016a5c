// Recalculating derived strings, against a plain loop that only copies the same vertices.
//
// The tree: a root string of 1,000 vertices along a gentle curve and N derived strings of 1,000
// vertices each (N = 10, 100, 1,000), string k derived from string (k - 1) / 2 at an offset of
// 0.5 to the right or left, so that the tree is ten levels deep at most and no string loops.
//
// In memory: every derived string is recalculated from its parent, parents first (the work of
// the recalculation for one child, without the file). The baseline walks the same pairs of lists
// and copies the parent's position and level into each child vertex.
//
// In the strings file (the same trees, one file for each size): dbfRecalcStrings over the whole
// tree, against reading each string's parent and the string and storing the string again
// without changing it (the same file work without the geometry), and against the copy loop in
// memory.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "database/frame.h"
#include "database/strings.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/ui.h"
#include "strings/strings_internal.h"

namespace {

constexpr int kVertices = 1000;

struct Clock {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    std::clock_t cpu = std::clock();
};

struct Results {
    std::map<std::string, double> seconds, cpuSeconds;
};

Results& results() {
    static Results r;
    return r;
}

void record(benchmark::State& state, const std::string& name, const Clock& start) {
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start.wall).count();
    const double cpu = static_cast<double>(std::clock() - start.cpu) / CLOCKS_PER_SEC;
    state.SetIterationTime(wall);
    // The fastest iteration is the figure kept.
    Results& r = results();
    if (!r.seconds.count(name) || wall < r.seconds[name]) {
        r.seconds[name] = wall;
        r.cpuSeconds[name] = cpu;
    }
}

// A vertex of the root: a curve of radius 5,000 units, a metre between vertices.
CVertexEle* rootVertex(int i) {
    auto* v = new CVertexEle;
    const double a = i / 5000.0;
    v->chainage = i;
    v->x = 1000.0 + 5000.0 * std::sin(a);
    v->y = 2000.0 + 5000.0 * (1.0 - std::cos(a));
    v->z = 100.0 + 0.01 * i;
    v->vertexRef = i;
    return v;
}

// A derived string's vertices: one per parent chainage, each at the given offset.
CVertexEle* childVertex(int i, double offset) {
    CVertexEle* v = rootVertex(i);
    v->offset = static_cast<float>(offset);
    return v;
}

int parentOf(int k) { return (k - 1) / 2; }
double offsetOf(int k) { return k % 2 ? 0.5 : -0.5; }

// The root (index 0) and n derived strings in memory.
struct Tree {
    std::vector<std::unique_ptr<UI_LIST>> lists;
    explicit Tree(int n) {
        for (int k = 0; k <= n; ++k) {
            lists.push_back(std::make_unique<UI_LIST>(dbfStringCompareFunc));
            for (int i = 0; i < kVertices; ++i) lists.back()->Append(k ? childVertex(i, offsetOf(k)) : rootVertex(i));
        }
    }
};

void MemoryRecalc(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Tree tree(n);
    std::vector<double> removed;
    for (auto _ : state) {
        Clock start;
        for (int k = 1; k <= n; ++k) strDeriveChild(*tree.lists[parentOf(k)], *tree.lists[k], removed);
        record(state, "recalc " + std::to_string(n), start);
    }
    if (!removed.empty()) state.SkipWithError("a derived string lost vertices as loops");
    state.counters["vertices"] = static_cast<double>(n) * kVertices;
}

void MemoryCopy(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Tree tree(n);
    for (auto _ : state) {
        Clock start;
        for (int k = 1; k <= n; ++k) {
            UI_ELEMENT* p = tree.lists[parentOf(k)]->Head();
            for (UI_ELEMENT* c = tree.lists[k]->Head(); c && p; c = c->Next(), p = p->Next()) {
                auto* child = static_cast<CVertexEle*>(c);
                const auto* parent = static_cast<const CVertexEle*>(p);
                child->x = parent->x;
                child->y = parent->y;
                child->z = parent->z;
            }
        }
        benchmark::DoNotOptimize(tree.lists.back()->Tail());
        record(state, "copy " + std::to_string(n), start);
    }
}

// ---------------------------------------------------------------------------------------------
// In the strings file

struct FileBench {
    std::filesystem::path folder;
    int open = -1;   // the size of the tree in the open strings file
    ScriptedUi ui;
    CMDIFrameWnd frame{&ui};
    HeadlessCadWindow cad;
};

FileBench& fileBench() {
    static FileBench b;
    return b;
}

std::string nameOf(int k) { return k ? "S" + std::to_string(k) : "ROOT"; }

void setUpFile() {
    FileBench& b = fileBench();
    b.folder = std::filesystem::temp_directory_path() / ("strings_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(b.folder);
    platformSetDefaultUi(&b.ui);
    const std::string project = (b.folder / "Bench.prj").string();
    std::FILE* f = std::fopen(project.c_str(), "w");
    if (f) std::fclose(f);
    coreSetDefaultsFile((b.folder / "program.ini").string().c_str());
    coreSetJobFile(project.c_str());
    coreSetJobDefault("Global", "Merolind", project.c_str());
    initDbfAPI(&b.frame, &b.cad, nullptr);
}

// Opens the strings file of the tree of n derived strings as the library's own, writing it the
// first time (outside the timings).
bool openTree(int n) {
    FileBench& b = fileBench();
    if (b.open == n) return true;
    dbfStringCloseFile();
    const std::string path = (b.folder / ("Bench" + std::to_string(n) + ".ROOT.str")).string();
    const bool fresh = !std::filesystem::exists(path);
    if (!dbfStringOpenFile(path.c_str())) return false;
    b.open = n;
    for (int k = 0; fresh && k <= n; ++k) {
        STR_HEADER h;
        dbfInitHeader(h);
        coreStrncpy(h.name, nameOf(k).c_str(), 32);
        if (2 * k + 1 <= n) coreStrncpy(h.firstChild, nameOf(2 * k + 1).c_str(), 32);
        if (2 * k + 2 <= n) coreStrncpy(h.secondChild, nameOf(2 * k + 2).c_str(), 32);
        const DWORD position = dbfAddStringHeader(h, nullptr, "");
        UI_LIST list;
        for (int i = 0; i < kVertices; ++i) list.Append(k ? childVertex(i, offsetOf(k)) : rootVertex(i));
        if (!position || !dbfAddStringData(position, list, kVertices, nullptr)) return false;
    }
    return true;
}

void tearDownFile() {
    FileBench& b = fileBench();
    dbfStringCloseFile();
    unInitDbfAPI();
    std::error_code ec;
    std::filesystem::remove_all(b.folder, ec);
}

void FileRecalc(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    if (!openTree(n)) {
        state.SkipWithError("the strings file could not be written");
        return;
    }
    for (auto _ : state) {
        Clock start;
        dbfRecalcStrings("ROOT", 0, nullptr, 0, 0);
        record(state, "file recalc " + std::to_string(n), start);
    }
    state.counters["vertices"] = static_cast<double>(n) * kVertices;
}

void FileCopy(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    if (!openTree(n)) {
        state.SkipWithError("the strings file could not be written");
        return;
    }
    for (auto _ : state) {
        Clock start;
        for (int k = 1; k <= n; ++k) {
            STR_HEADER h;
            const DWORD parent = dbfGetStringHeader(nameOf(parentOf(k)).c_str(), h, nullptr);
            const DWORD position = dbfGetStringHeader(nameOf(k).c_str(), h, nullptr);
            UI_LIST parentList(dbfStringCompareFunc);
            UI_LIST list(dbfStringCompareFunc);
            dbfGetStringData(parent, parentList, 0, 0, nullptr);
            dbfGetStringData(position, list, 0, 0, nullptr);
            dbfAddStringData(position, list, list.Count(), nullptr);
        }
        record(state, "file copy " + std::to_string(n), start);
    }
}

}  // namespace

BENCHMARK(MemoryRecalc)->Arg(10)->Arg(100)->Arg(1000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(MemoryCopy)->Arg(10)->Arg(100)->Arg(1000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FileRecalc)->Arg(10)->Arg(100)->Arg(1000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FileCopy)->Arg(10)->Arg(100)->Arg(1000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setUpFile();
    benchmark::RunSpecifiedBenchmarks();
    Results& r = results();
    auto ratio = [&](const std::string& label, const std::string& ours, const std::string& theirs) {
        if (!r.seconds.count(ours) || !r.seconds.count(theirs) || r.seconds[theirs] <= 0) return;
        std::printf("%-44s %8.4f s / %8.4f s = %7.1f   cpu %8.4f s / %8.4f s = %7.1f\n", label.c_str(), r.seconds[ours],
                    r.seconds[theirs], r.seconds[ours] / r.seconds[theirs], r.cpuSeconds[ours], r.cpuSeconds[theirs],
                    r.cpuSeconds[theirs] > 0 ? r.cpuSeconds[ours] / r.cpuSeconds[theirs] : 0.0);
    };
    std::printf("\nRatio (recalculation / copying the same vertices), wall time and processor time\n");
    for (int n : {10, 100, 1000}) {
        const std::string size = std::to_string(n) + " strings x 1,000";
        const std::string k = std::to_string(n);
        ratio("in memory, " + size, "recalc " + k, "copy " + k);
        ratio("file / same file work, " + size, "file recalc " + k, "file copy " + k);
        ratio("file / copy loop, " + size, "file recalc " + k, "copy " + k);
    }
    tearDownFile();
    benchmark::Shutdown();
    return 0;
}
