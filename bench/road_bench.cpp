// The road file against plain sequential file I/O of the same bytes.
//
// Ours: 10,000 chainages, each with a 200-point cross-section (one chainage record, one layer
// record and 34 section records), stored in random chainage order (dbfStoreSect finds or inserts
// the chainage and writes the chain), grabbed again in another random order (find, then
// dbfGrabSect), and read back in chainage order (dbfNextChainage and dbfGrabSect from the first).
// The limit: writing the file's bytes in one sequential pass of 568-byte records, and reading
// them back the same way. The ratio says what the linked records, the random order and the
// seek per record cost over raw I/O.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "database/road.h"
#include "platform/core.h"

namespace {

// ROAD_BENCH_CHAINAGES runs the same jobs on fewer (or more) chainages.
const int kChainages = [] {
    const char* env = std::getenv("ROAD_BENCH_CHAINAGES");
    const int n = env ? std::atoi(env) : 0;
    return n > 0 ? n : 10000;
}();
constexpr int kPoints = 200;

struct Bench {
    std::string folder;
    std::string roadFile;
    std::string rawFile;
    std::vector<double> storeOrder;
    std::vector<double> grabOrder;
    std::int64_t roadBytes = 0;
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpuSeconds;
    std::map<std::string, double> checks;
};

Bench& bench() {
    static Bench b;
    return b;
}

// The clock of a job: wall time, and the processor time of this process (user and system), which
// a machine shared with other work does not inflate.
struct Clock {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    std::clock_t cpu = std::clock();
};

double cpuSince(const Clock& start) { return static_cast<double>(std::clock() - start.cpu) / CLOCKS_PER_SEC; }

double elapsedSince(const Clock& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start.wall).count();
}

void record(benchmark::State& state, const char* name, const Clock& start, double items) {
    const double elapsed = elapsedSince(start);
    bench().seconds[name] = elapsed;
    bench().cpuSeconds[name] = cpuSince(start);
    state.SetIterationTime(elapsed);
    state.counters["items"] = items;
}

XSECTION sectionFor(double chg) {
    XSECTION xs{};
    xs.capacity = kSectionCapacity;
    xs.count = kPoints;
    for (int i = 0; i < kPoints; ++i)
        xs.points[i] = SECTMEM{-50.0 + i * 0.5, 100.0 + chg * 0.001 + i * 0.01, static_cast<double>(i), 0};
    return xs;
}

void setUp() {
    Bench& b = bench();
    b.folder = (std::filesystem::temp_directory_path() / "road_bench").string();
    std::filesystem::create_directories(b.folder);
    b.roadFile = b.folder + "/bench.sec";
    b.rawFile = b.folder + "/bench.raw";
    for (int i = 0; i < kChainages; ++i) b.storeOrder.push_back(i * 10.0);
    std::mt19937 rng(7);
    std::shuffle(b.storeOrder.begin(), b.storeOrder.end(), rng);
    b.grabOrder = b.storeOrder;
    std::shuffle(b.grabOrder.begin(), b.grabOrder.end(), rng);
}

void tearDown() {
    std::error_code ec;
    std::filesystem::remove_all(bench().folder, ec);
}

void RoadStoreRandom(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) {
        coreFileDelete(b.roadFile.c_str());
        const Clock start;
        dbfRoadOpenFile(b.roadFile.c_str());
        for (double chg : b.storeOrder) {
            XSECTION xs = sectionFor(chg);
            dbfStoreSect(chg, 1, &xs);
        }
        dbfRoadClose();
        record(state, "road store", start, kChainages);
    }
    b.roadBytes = std::filesystem::file_size(b.roadFile);
}

void RoadGrabRandom(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) {
        const Clock start;
        dbfRoadOpenFile(b.roadFile.c_str());
        double points = 0;
        for (double wanted : b.grabOrder) {
            double chg = wanted;
            XSECTION xs;
            if (dbfFindChainage(chg, 1) && dbfGrabSect(chg, 1, &xs)) points += xs.count;
        }
        dbfRoadClose();
        record(state, "road grab random", start, kChainages);
        b.checks["road grab random"] = points;
    }
}

// Opening alone: the one pass over the file that checks every record and builds the chainage
// index, which the grab and the in-order read include.
void RoadOpen(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) {
        const Clock start;
        dbfRoadOpenFile(b.roadFile.c_str());
        dbfRoadClose();
        record(state, "road open", start, kChainages);
    }
}

void RoadReadInOrder(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) {
        const Clock start;
        dbfRoadOpenFile(b.roadFile.c_str());
        double points = 0;
        double chg = kChgBeforeFirst;
        XSECTION xs;
        for (unsigned idx = dbfFindChainage(chg, 1); idx != 0; idx = dbfNextChainage(chg, 1))
            if (dbfGrabSect(chg, 1, &xs)) points += xs.count;
        dbfRoadClose();
        record(state, "road read in order", start, kChainages);
        b.checks["road read in order"] = points;
    }
}

// The limit: the same number of bytes, written and read as one sequential run of records.
void RawWrite(benchmark::State& state) {
    Bench& b = bench();
    const std::int64_t records = b.roadBytes / kRoadRecordBytes;
    char bytes[kRoadRecordBytes] = {};
    for (auto _ : state) {
        coreFileDelete(b.rawFile.c_str());
        const Clock start;
        FILE* f = coreFileOpen(b.rawFile.c_str(), "w+b");
        for (std::int64_t i = 0; i < records; ++i) {
            bytes[0] = static_cast<char>(i);
            coreFileBinWrite(bytes, sizeof bytes, f);
        }
        coreFileClose(f);
        record(state, "raw write", start, static_cast<double>(records));
    }
}

void RawRead(benchmark::State& state) {
    Bench& b = bench();
    char bytes[kRoadRecordBytes];
    for (auto _ : state) {
        const Clock start;
        FILE* f = coreFileOpen(b.rawFile.c_str(), "rb");
        std::int64_t records = 0;
        while (coreFileBinRead(bytes, sizeof bytes, f)) ++records;
        coreFileClose(f);
        record(state, "raw read", start, static_cast<double>(records));
    }
}

}  // namespace

BENCHMARK(RoadStoreRandom)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RoadGrabRandom)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RoadOpen)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RoadReadInOrder)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RawWrite)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RawRead)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setUp();
    benchmark::RunSpecifiedBenchmarks();
    Bench& b = bench();
    std::printf("\nChainages %d of %d points; road file %.1f MB; points read random %.0f, in order %.0f\n",
                kChainages, kPoints, static_cast<double>(b.roadBytes) / 1e6, b.checks["road grab random"],
                b.checks["road read in order"]);
    auto ratio = [&](const char* label, const char* ours, const char* theirs) {
        if (!b.seconds.count(ours) || !b.seconds.count(theirs) || b.seconds[theirs] <= 0) return;
        std::printf("%-31s %7.3f s / %7.3f s = %6.2f   cpu %7.3f s / %7.3f s = %6.2f\n", label, b.seconds[ours],
                    b.seconds[theirs], b.seconds[ours] / b.seconds[theirs], b.cpuSeconds[ours], b.cpuSeconds[theirs],
                    b.cpuSeconds[theirs] > 0 ? b.cpuSeconds[ours] / b.cpuSeconds[theirs] : 0.0);
    };
    std::printf("\nRatio (road file / sequential I/O of the same bytes; 1 would be the raw limit), wall time"
                " and processor time\n");
    ratio("store in random order / write", "road store", "raw write");
    ratio("grab in random order / read", "road grab random", "raw read");
    ratio("read in chainage order / read", "road read in order", "raw read");
    ratio("open alone / read", "road open", "raw read");
    tearDown();
    benchmark::Shutdown();
    return 0;
}
