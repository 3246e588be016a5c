// The terrain point store against SQLite's R*Tree, the same work through both in one run:
// add 1,000,000 points, scan the whole site, 10,000 area scans of about 100 points each, 10,000
// nearest-point searches, 10,000 look-ups by name, remove 100,000 points. Then the whole-site
// scan with the blocks paged from the file through the smallest cache (250 slots), against a
// plain sequential read of the same file (the physical limit of any scan) and against the same
// blocks read into 250 slots in turn with every record copied out (the least any scan through
// such a cache does).
//
// All of it at three densities (0.01, 1 and 8 points a square unit: a sparse survey, a dense
// one, and airborne or drone survey) and in two add orders (random, and scan line by scan line
// as a survey is recorded). The survey's side follows from the density; the areas and the
// search radius are sized to hold about 100 points.
//
// Both stores keep the same 146-byte point record: the R*Tree holds it as auxiliary data of each
// entry, in a file on disk. Bulk work runs as each store is meant to run it: the point store with
// safe mode off and its write-back (the close) inside the timing, SQLite in one transaction with
// its commit inside the timing, synchronous off and a cache as large as the point store's.
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DDB_BENCH=ON -DDB_TESTS=OFF
//   cmake --build build-bench --target terrain_bench && build-bench/bench/terrain_bench
//
// TERRAIN_BENCH_POINTS changes the number of points (the other counts scale with it);
// TERRAIN_BENCH_DENSITY (0.01, 1 or 8) and TERRAIN_BENCH_ORDER (random or lines) run only the
// configurations named.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/terrain.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/os.h"
#include "platform/ui.h"

namespace {

// The survey covers 0..side on both axes, side = sqrt(points / density): 1,000,000 points at 0.01
// a square unit cover 10,000 x 10,000, and a 100 x 100 area holds about 100 of them.
struct Bench;
Bench& bench();

struct Bench {
    double density = 0.01;
    bool lines = false;                                 // added scan line by scan line
    double surveySide = 10000.0;
    double areaSide = 100.0;                            // an area of about 100 points
    long points = 1000000;
    long areaScans = 10000;
    long removals = 100000;
    std::filesystem::path folder;
    std::string dtm, sqliteFile;

    ScriptedUi ui;
    CMDIFrameWnd frame{&ui};
    HeadlessCadWindow cad;

    sqlite3* db = nullptr;
    std::vector<std::pair<double, double>> positions;   // (y, x) of point i
    std::vector<unsigned> countOf;                      // points per bucket of the store
    std::vector<DWORD> filledBuckets;
    std::vector<sqlite3_int64> ids;

    std::map<std::string, double> seconds;
    std::map<std::string, double> checks;
};

Bench& bench() {
    static Bench b;
    return b;
}

class Timer {
public:
    Timer() : start_(std::chrono::steady_clock::now()) {}
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

void sql(const char* text) {
    char* error = nullptr;
    if (sqlite3_exec(bench().db, text, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "SQLite: %s in %s\n", error ? error : "?", text);
        sqlite3_free(error);
        std::exit(1);
    }
}

sqlite3_stmt* prepare(const char* text) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(bench().db, text, -1, &statement, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "SQLite: %s\n", sqlite3_errmsg(bench().db));
        std::exit(1);
    }
    return statement;
}

SURVCOORD pointRecord(long i) {
    char name[24];
    std::snprintf(name, sizeof name, "P%07ld", i % 10000000);
    SURVCOORD p;
    dbfPackStruct(name, bench().positions[static_cast<size_t>(i)].first,
                  bench().positions[static_cast<size_t>(i)].second, static_cast<double>(i % 1000), 1, p);
    return p;
}

// A job run several times keeps its best time: the machine's other load only ever adds.
void record(benchmark::State& state, const char* name, double elapsed, double items) {
    auto [at, first] = bench().seconds.emplace(name, elapsed);
    if (!first) at->second = std::min(at->second, elapsed);
    state.SetIterationTime(elapsed);
    state.counters["items"] = items;
}

// ---------------------------------------------------------------------------------------------

void startLibrary() {
    Bench& b = bench();
    platformSetDefaultUi(&b.ui);
    initDbfAPI(&b.frame, &b.cad, nullptr);
}

void setUp(double density, bool lines) {
    Bench& b = bench();
    b.density = density;
    b.lines = lines;
    b.positions.clear();
    b.countOf.clear();
    b.filledBuckets.clear();
    b.ids.clear();
    b.seconds.clear();
    b.checks.clear();
    osSetPhysicalMemoryOverride(0);
    if (const char* env = std::getenv("TERRAIN_BENCH_POINTS"); env && std::atol(env) >= 1000) {
        b.points = std::atol(env);
        b.areaScans = b.points / 100;
        b.removals = b.points / 10;
    }
    b.surveySide = std::sqrt(static_cast<double>(b.points) / density);
    b.areaSide = std::sqrt(100.0 / density);
    b.folder = std::filesystem::temp_directory_path() / ("terrain_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(b.folder);
    b.dtm = (b.folder / "Bench.dtm").string();
    b.sqliteFile = (b.folder / "Bench.sqlite").string();
    coreSetDefaultsFile((b.folder / "program.ini").string().c_str());
    const std::string job = (b.folder / "Bench.prj").string();
    std::FILE* f = std::fopen(job.c_str(), "w");
    if (f) std::fclose(f);
    coreSetJobFile(job.c_str());
    startLibrary();

    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> along(0.0, b.surveySide);
    b.positions.resize(static_cast<size_t>(b.points));
    for (auto& p : b.positions) p = {along(rng), along(rng)};
    if (lines) {
        // Scan lines one point spacing apart, each recorded along x.
        const double spacing = 1.0 / std::sqrt(density);
        std::sort(b.positions.begin(), b.positions.end(), [spacing](const auto& a, const auto& c) {
            const double la = std::floor(a.first / spacing), lc = std::floor(c.first / spacing);
            return la != lc ? la < lc : a.second < c.second;
        });
    }

    if (sqlite3_open(b.sqliteFile.c_str(), &b.db) != SQLITE_OK) std::exit(1);
    sql("PRAGMA synchronous=OFF");
    sql("PRAGMA cache_size=-400000");
    sql("CREATE VIRTUAL TABLE pts USING rtree(id, minY, maxY, minX, maxX, +rec)");
}

void tearDown() {
    Bench& b = bench();
    dbfCloseDbase();
    unInitDbfAPI();
    sqlite3_close(b.db);
    std::error_code ec;
    std::filesystem::remove_all(b.folder, ec);
}

// ---------------------------------------------------------------------------------------------
// Add

void StoreAdd(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) {
        if (!dbfMakeDbase(b.dtm.c_str(), b.surveySide / 2, b.surveySide / 2, b.surveySide / 1.2247) ||
            !dbfOpenDbase(b.dtm.c_str(), 0)) {
            state.SkipWithError("unable to create the terrain file");
            return;
        }
        dbfSafeBucketChangeMode(0);
        Timer t;
        for (long i = 0; i < b.points; ++i) {
            SURVCOORD p = pointRecord(i);
            unsigned number = 0;
            dbfAddCoord(p, number);
            const DWORD bucket = (number - 1) / 500;
            if (b.countOf.size() <= bucket + 1) b.countOf.resize(bucket + 64, 0);
            if (b.countOf[bucket + 1]++ == 0) b.filledBuckets.push_back(bucket + 1);
        }
        dbfCloseDbase();   // the write-back of every block
        record(state, "store add", t.seconds(), static_cast<double>(b.points));
        dbfOpenDbase(b.dtm.c_str(), 0);
    }
}

void RtreeAdd(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) {
        sqlite3_stmt* insert = prepare("INSERT INTO pts VALUES (?1, ?2, ?2, ?3, ?3, ?4)");
        Timer t;
        sql("BEGIN");
        for (long i = 0; i < b.points; ++i) {
            const SURVCOORD p = pointRecord(i);
            sqlite3_bind_int64(insert, 1, i + 1);
            sqlite3_bind_double(insert, 2, p.y);
            sqlite3_bind_double(insert, 3, p.x);
            sqlite3_bind_blob(insert, 4, &p, sizeof p, SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
            b.ids.push_back(i + 1);
        }
        sql("COMMIT");
        record(state, "rtree add", t.seconds(), static_cast<double>(b.points));
        sqlite3_finalize(insert);
    }
}

// ---------------------------------------------------------------------------------------------
// Scans

double storeScan(RRect* area, long& found) {
    double sum = 0.0;
    SURVCOORD p;
    for (unsigned n = dbfStartCoord(p, area); n != 0; n = dbfNextCoord(p, n)) {
        sum += p.z;
        ++found;
    }
    return sum;
}

double rtreeScan(sqlite3_stmt* query, double minY, double maxY, double minX, double maxX, long& found) {
    double sum = 0.0;
    sqlite3_bind_double(query, 1, minY);
    sqlite3_bind_double(query, 2, maxY);
    sqlite3_bind_double(query, 3, minX);
    sqlite3_bind_double(query, 4, maxX);
    while (sqlite3_step(query) == SQLITE_ROW) {
        SURVCOORD p{};
        if (sqlite3_column_bytes(query, 0) == sizeof p) std::memcpy(&p, sqlite3_column_blob(query, 0), sizeof p);
        // The R*Tree keeps its boxes in single precision, rounded outwards: its candidates are
        // tested against the exact area, as the point store's scan test does.
        if (p.y < minY || p.y > maxY || p.x < minX || p.x > maxX) continue;
        sum += p.z;
        ++found;
    }
    sqlite3_reset(query);
    return sum;
}

constexpr const char* kAreaQuery =
    "SELECT rec FROM pts WHERE maxY >= ?1 AND minY <= ?2 AND maxX >= ?3 AND minX <= ?4";

void StoreScanAll(benchmark::State& state) {
    for (auto _ : state) {
        long found = 0;
        Timer t;
        benchmark::DoNotOptimize(storeScan(nullptr, found));
        record(state, "store scan all", t.seconds(), static_cast<double>(found));
        bench().checks["store scan all"] = static_cast<double>(found);
    }
}

void RtreeScanAll(benchmark::State& state) {
    sqlite3_stmt* query = prepare(kAreaQuery);
    for (auto _ : state) {
        long found = 0;
        Timer t;
        benchmark::DoNotOptimize(rtreeScan(query, -1e9, 1e9, -1e9, 1e9, found));
        record(state, "rtree scan all", t.seconds(), static_cast<double>(found));
        bench().checks["rtree scan all"] = static_cast<double>(found);
    }
    sqlite3_finalize(query);
}

std::vector<RRect> areas() {
    std::mt19937_64 rng(7);
    const double side = bench().areaSide;
    std::uniform_real_distribution<double> corner(0.0, bench().surveySide - side);
    std::vector<RRect> a(static_cast<size_t>(bench().areaScans));
    for (auto& r : a) {
        const double y = corner(rng), x = corner(rng);
        r = RRect{y + side, y, x, x + side};
    }
    return a;
}

void StoreAreaScans(benchmark::State& state) {
    const auto all = areas();
    for (auto _ : state) {
        long found = 0;
        Timer t;
        for (RRect r : all) benchmark::DoNotOptimize(storeScan(&r, found));
        record(state, "store area scans", t.seconds(), static_cast<double>(found));
        bench().checks["store area scans"] = static_cast<double>(found);
    }
}

void RtreeAreaScans(benchmark::State& state) {
    const auto all = areas();
    sqlite3_stmt* query = prepare(kAreaQuery);
    for (auto _ : state) {
        long found = 0;
        Timer t;
        for (const RRect& r : all) benchmark::DoNotOptimize(rtreeScan(query, r.minY, r.maxY, r.minX, r.maxX, found));
        record(state, "rtree area scans", t.seconds(), static_cast<double>(found));
        bench().checks["rtree area scans"] = static_cast<double>(found);
    }
    sqlite3_finalize(query);
}

// ---------------------------------------------------------------------------------------------
// Nearest point: 10,000 random positions, searched within the side of an area (100 units at 0.01
// a square unit; the point store's radius is a twelfth of the view, so the view is twelve times
// that wide); the R*Tree is asked for the same square and the nearest of its candidates is taken.

std::vector<std::pair<double, double>> searchPositions() {
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> along(0.0, bench().surveySide);
    std::vector<std::pair<double, double>> p(static_cast<size_t>(bench().areaScans));
    for (auto& q : p) q = {along(rng), along(rng)};
    return p;
}

void StoreNearest(benchmark::State& state) {
    Bench& b = bench();
    const auto positions = searchPositions();
    const double kNearRadius = b.areaSide;
    b.cad.setZoomRect(0.0, 0.0, 12.0 * kNearRadius, 12.0 * kNearRadius);
    for (auto _ : state) {
        double distances = 0.0;
        long found = 0;
        Timer t;
        for (const auto& [y, x] : positions) {
            const unsigned n = dbfFindClosest(PNT_3D_record{x, y, 0.0}, nullptr, 0, 0);
            if (n == 0) continue;
            SURVCOORD p;
            dbfGrabCoord(p, n);
            distances += std::hypot(p.y - y, p.x - x);
            ++found;
        }
        record(state, "store nearest", t.seconds(), static_cast<double>(positions.size()));
        b.checks["store nearest"] = static_cast<double>(found);
        b.checks["store nearest distance"] = distances;
    }
}

void RtreeNearest(benchmark::State& state) {
    Bench& b = bench();
    const auto positions = searchPositions();
    const double kNearRadius = b.areaSide;
    sqlite3_stmt* query = prepare(kAreaQuery);
    for (auto _ : state) {
        double distances = 0.0;
        long found = 0;
        Timer t;
        for (const auto& [y, x] : positions) {
            sqlite3_bind_double(query, 1, y - kNearRadius);
            sqlite3_bind_double(query, 2, y + kNearRadius);
            sqlite3_bind_double(query, 3, x - kNearRadius);
            sqlite3_bind_double(query, 4, x + kNearRadius);
            double best = 2.0 * kNearRadius * 10.0;
            bool any = false;
            while (sqlite3_step(query) == SQLITE_ROW) {
                SURVCOORD p{};
                if (sqlite3_column_bytes(query, 0) == sizeof p) std::memcpy(&p, sqlite3_column_blob(query, 0), sizeof p);
                if (std::fabs(p.y - y) > kNearRadius || std::fabs(p.x - x) > kNearRadius) continue;
                const double d = std::hypot(p.y - y, p.x - x);
                if (d < best) {
                    best = d;
                    any = true;
                }
            }
            sqlite3_reset(query);
            if (any) {
                distances += best;
                ++found;
            }
        }
        record(state, "rtree nearest", t.seconds(), static_cast<double>(positions.size()));
        b.checks["rtree nearest"] = static_cast<double>(found);
        b.checks["rtree nearest distance"] = distances;
    }
    sqlite3_finalize(query);
}

// ---------------------------------------------------------------------------------------------
// Look-ups by name: 10,000 random names of the points. The point store looks names up as it is
// (the first look-up reads the blocks, the second builds its name index); SQLite gets a table of
// the same records with an index on the name, made outside the timing.

std::vector<std::string> lookupNames() {
    std::mt19937_64 rng(17);
    std::uniform_int_distribution<long> pick(0, bench().points - 1);
    std::vector<std::string> names(static_cast<size_t>(bench().areaScans));
    for (auto& n : names) n = pointRecord(pick(rng)).name;
    return names;
}

void StoreNameLookups(benchmark::State& state) {
    Bench& b = bench();
    const auto names = lookupNames();
    for (auto _ : state) {
        long found = 0;
        double heights = 0.0;
        Timer t;
        for (const std::string& name : names) {
            char key[17];
            coreStrncpy(key, name.c_str(), sizeof key);
            unsigned number = 0;
            SURVCOORD p;
            if (dbfFindName(key, number, p)) {
                ++found;
                heights += p.z;
            }
        }
        record(state, "store name lookups", t.seconds(), static_cast<double>(names.size()));
        b.checks["store name lookups"] = static_cast<double>(found);
        b.checks["store name heights"] = heights;
    }
}

void SqliteNameLookups(benchmark::State& state) {
    Bench& b = bench();
    sql("CREATE TABLE named(name TEXT, rec BLOB)");
    sql("BEGIN");
    sqlite3_stmt* copy = prepare("INSERT INTO named SELECT ?1, rec FROM pts WHERE id = ?2");
    for (long i = 0; i < b.points; ++i) {
        const SURVCOORD p = pointRecord(i);
        sqlite3_bind_text(copy, 1, p.name, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(copy, 2, i + 1);
        sqlite3_step(copy);
        sqlite3_reset(copy);
    }
    sqlite3_finalize(copy);
    sql("COMMIT");
    sql("CREATE INDEX named_name ON named(name)");
    const auto names = lookupNames();
    sqlite3_stmt* query = prepare("SELECT rec FROM named WHERE name = ?1 LIMIT 1");
    for (auto _ : state) {
        long found = 0;
        double heights = 0.0;
        Timer t;
        for (const std::string& name : names) {
            sqlite3_bind_text(query, 1, name.c_str(), -1, SQLITE_STATIC);
            if (sqlite3_step(query) == SQLITE_ROW) {
                SURVCOORD p{};
                if (sqlite3_column_bytes(query, 0) == sizeof p) std::memcpy(&p, sqlite3_column_blob(query, 0), sizeof p);
                ++found;
                heights += p.z;
            }
            sqlite3_reset(query);
        }
        record(state, "sqlite name lookups", t.seconds(), static_cast<double>(names.size()));
        b.checks["sqlite name lookups"] = static_cast<double>(found);
        b.checks["sqlite name heights"] = heights;
    }
    sqlite3_finalize(query);
}

// ---------------------------------------------------------------------------------------------
// Remove: random points; each store's bookkeeping of what is left is inside its timing.

void StoreRemove(benchmark::State& state) {
    Bench& b = bench();
    std::mt19937_64 rng(11);
    for (auto _ : state) {
        Timer t;
        for (long i = 0; i < b.removals && !b.filledBuckets.empty(); ++i) {
            const size_t pick = std::uniform_int_distribution<size_t>(0, b.filledBuckets.size() - 1)(rng);
            const DWORD bucket = b.filledBuckets[pick];
            unsigned& count = b.countOf[bucket];
            const unsigned slot = std::uniform_int_distribution<unsigned>(1, count)(rng);
            dbfRemCoord(bucket * 500 + slot);   // the bucket's last point takes the number
            if (--count == 0) {
                b.filledBuckets[pick] = b.filledBuckets.back();
                b.filledBuckets.pop_back();
            }
        }
        dbfCloseDbase();
        record(state, "store remove", t.seconds(), static_cast<double>(b.removals));
        dbfOpenDbase(b.dtm.c_str(), 0);
    }
}

void RtreeRemove(benchmark::State& state) {
    Bench& b = bench();
    std::mt19937_64 rng(11);
    sqlite3_stmt* remove = prepare("DELETE FROM pts WHERE id = ?1");
    for (auto _ : state) {
        Timer t;
        sql("BEGIN");
        for (long i = 0; i < b.removals && !b.ids.empty(); ++i) {
            const size_t pick = std::uniform_int_distribution<size_t>(0, b.ids.size() - 1)(rng);
            sqlite3_bind_int64(remove, 1, b.ids[pick]);
            sqlite3_step(remove);
            sqlite3_reset(remove);
            b.ids[pick] = b.ids.back();
            b.ids.pop_back();
        }
        sql("COMMIT");
        record(state, "rtree remove", t.seconds(), static_cast<double>(b.removals));
    }
    sqlite3_finalize(remove);
}

// ---------------------------------------------------------------------------------------------
// The physical limit: the terrain file read from start to end, the same blocks read through 250
// slots in turn, and the whole-site scan paged through the smallest cache.

void FileRead(benchmark::State& state) {
    Bench& b = bench();
    dbfCloseDbase();
    std::vector<char> block(kDtmBlockLength);
    for (auto _ : state) {
        Timer t;
        FILE* f = coreFileOpen(b.dtm.c_str(), "rb");
        long blocks = 0;
        while (coreFileBinRead(block.data(), block.size(), f)) {
            benchmark::DoNotOptimize(block[100]);
            ++blocks;
        }
        coreFileClose(f);
        record(state, "file read", t.seconds(), static_cast<double>(blocks));
    }
}

// What any scan through a cache of 250 slots has to do at the least: each block's head and
// records read into the next of 250 slots in turn (memory well beyond the processor's caches),
// and every record copied out.
void SlotCycleRead(benchmark::State& state) {
    Bench& b = bench();
    dbfCloseDbase();
    std::vector<char> slots(250ull * kDtmPointsPerBlock * sizeof(SURVCOORD));
    for (auto _ : state) {
        Timer t;
        FILE* f = coreFileOpen(b.dtm.c_str(), "rb");
        double sum = 0.0;
        long records = 0;
        DTMBLOCKHEAD head{};
        for (std::int64_t block = 1, hand = 0; coreFileReadAt(&head, sizeof head, block * kDtmBlockLength, f);
             ++block, hand = (hand + 1) % 250) {
            const unsigned count = head.count > kDtmPointsPerBlock ? kDtmPointsPerBlock : head.count;
            char* slot = slots.data() + hand * static_cast<std::int64_t>(kDtmPointsPerBlock * sizeof(SURVCOORD));
            if (!coreFileReadAt(slot, count * sizeof(SURVCOORD), block * kDtmBlockLength + static_cast<std::int64_t>(sizeof head), f))
                break;
            for (unsigned i = 0; i < count; ++i) {
                SURVCOORD p;
                std::memcpy(&p, slot + i * sizeof p, sizeof p);
                benchmark::DoNotOptimize(p);
                sum += p.z;
                ++records;
            }
        }
        coreFileClose(f);
        benchmark::DoNotOptimize(sum);
        record(state, "slot-cycling read", t.seconds(), static_cast<double>(records));
    }
}

void StoreScanAllPaged(benchmark::State& state) {
    Bench& b = bench();
    unInitDbfAPI();
    osSetPhysicalMemoryOverride(64ull << 20);   // the 250-slot floor
    startLibrary();
    dbfOpenDbase(b.dtm.c_str(), 0);
    for (auto _ : state) {
        long found = 0;
        Timer t;
        benchmark::DoNotOptimize(storeScan(nullptr, found));
        record(state, "store scan all paged", t.seconds(), static_cast<double>(found));
    }
}

}  // namespace

BENCHMARK(StoreAdd)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RtreeAdd)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StoreScanAll)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RtreeScanAll)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StoreAreaScans)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RtreeAreaScans)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StoreNearest)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RtreeNearest)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StoreNameLookups)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SqliteNameLookups)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StoreRemove)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RtreeRemove)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FileRead)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SlotCycleRead)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StoreScanAllPaged)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

void report() {
    Bench& b = bench();
    std::printf("\nDensity %g a square unit, %s order: survey side %.1f, area side %.2f\n", b.density,
                b.lines ? "scan-line" : "random", b.surveySide, b.areaSide);
    std::printf("Points %ld, area scans %ld, removals %ld\n", b.points, b.areaScans, b.removals);
    std::printf("Found: store scan all %.0f, R*Tree %.0f; area scans store %.0f, R*Tree %.0f\n",
                b.checks["store scan all"], b.checks["rtree scan all"], b.checks["store area scans"],
                b.checks["rtree area scans"]);
    std::printf("Nearest: store found %.0f (distances %.3f), R*Tree %.0f (%.3f); names: store %.0f (heights %.0f), "
                "SQLite %.0f (%.0f)\n",
                b.checks["store nearest"], b.checks["store nearest distance"], b.checks["rtree nearest"],
                b.checks["rtree nearest distance"], b.checks["store name lookups"], b.checks["store name heights"],
                b.checks["sqlite name lookups"], b.checks["sqlite name heights"]);
    auto ratio = [&](const char* label, const char* ours, const char* theirs) {
        if (b.seconds.count(ours) && b.seconds.count(theirs) && b.seconds[theirs] > 0)
            std::printf("%-34s %10.3f s / %10.3f s = %6.3f\n", label, b.seconds[ours], b.seconds[theirs],
                        b.seconds[ours] / b.seconds[theirs]);
    };
    std::printf("\nRatio (point store / baseline; below 1 the point store is faster)\n");
    ratio("add / R*Tree", "store add", "rtree add");
    ratio("scan whole site / R*Tree", "store scan all", "rtree scan all");
    ratio("area scans / R*Tree", "store area scans", "rtree area scans");
    ratio("nearest point / R*Tree", "store nearest", "rtree nearest");
    ratio("name look-ups / SQLite index", "store name lookups", "sqlite name lookups");
    ratio("remove / R*Tree", "store remove", "rtree remove");
    ratio("paged whole scan / file read", "store scan all paged", "file read");
    ratio("slot-cycling read / file read", "slot-cycling read", "file read");
    ratio("paged whole scan / slot-cycling", "store scan all paged", "slot-cycling read");
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const char* onlyDensity = std::getenv("TERRAIN_BENCH_DENSITY");
    const char* onlyOrder = std::getenv("TERRAIN_BENCH_ORDER");
    for (double density : {0.01, 1.0, 8.0})
        for (bool lines : {false, true}) {
            if (onlyDensity && std::atof(onlyDensity) != density) continue;
            if (onlyOrder && std::string(onlyOrder) != (lines ? "lines" : "random")) continue;
            setUp(density, lines);
            // A reporter of its own for each run: the library's default one serves only one.
            benchmark::ConsoleReporter reporter;
            benchmark::RunSpecifiedBenchmarks(&reporter);
            report();
            tearDown();
        }
    benchmark::Shutdown();
    return 0;
}
