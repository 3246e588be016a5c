// The table library against SQLite on the same work: creating a 100,000-record sewer-like
// table, rebuilding its eight tags (SQLite: the same keys as indexes, REINDEX), and 100,000
// seeks by node name that read a field of the record found. Prints the ratios at the end.
#include "platform/table.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRecords = 100000;
constexpr int kSeeks = 100000;

const FIELD4INFO kFields[] = {
    {"NODE", 'C', 25, 0, 0},     {"NEXT_NODE", 'C', 25, 0, 0}, {"OVER_NODE", 'C', 25, 0, 0},
    {"Z_COORD", 'N', 9, 3, 0},   {"Y_COORD", 'N', 14, 3, 0},   {"X_COORD", 'N', 14, 3, 0},
    {"SUBNET", 'C', 4, 0, 0},    {"BRANCH", 'C', 4, 0, 0},     {"LINKNO", 'C', 4, 0, 0},
    {"L_TYPE", 'C', 15, 0, 0},   {"BEDDING", 'C', 8, 0, 0},    {"SIZE1", 'N', 5, 0, 0},
    {"SIZE2", 'N', 5, 0, 0},     {"INLEVEL", 'N', 12, 6, 0},   {"OUTLEVEL", 'N', 12, 6, 0},
    {"LENGTH", 'N', 8, 3, 0},    {"SELECTED", 'L', 1, 0, 0},   {"GEOCODE", 'C', 8, 0, 0},
    {nullptr, 0, 0, 0, 0}};

const TAG4INFO kTags[] = {{"NODE", "NODE", nullptr, 0, 0},
                          {"NEXT_NODE", "NEXT_NODE", nullptr, 0, 0},
                          {"OVER_NODE", "OVER_NODE", nullptr, 0, 0},
                          {"LINKORDER", "SUBNET+BRANCH+LINKNO", nullptr, 0, 0},
                          {"CULVERT", "L_TYPE+STR(SIZE1,4,0)+STR(SIZE2,4,0)", "SELECTED", 0, 0},
                          {"BEDDING", "BEDDING", "SELECTED", 0, 0},
                          {"GEOCODE", "GEOCODE", nullptr, 0, 0},
                          {"SIZE", "STR(SIZE1,4,0)", nullptr, 0, 0},
                          {nullptr, nullptr, nullptr, 0, 0}};

const char* kSqlTable =
    "CREATE TABLE sewer (node TEXT, next_node TEXT, over_node TEXT, z_coord REAL, y_coord REAL, x_coord REAL,"
    " subnet TEXT, branch TEXT, linkno TEXT, l_type TEXT, bedding TEXT, size1 INTEGER, size2 INTEGER,"
    " inlevel REAL, outlevel REAL, length REAL, selected INTEGER, geocode TEXT)";
const char* kSqlIndexes[] = {
    "CREATE INDEX IF NOT EXISTS i_node ON sewer(node)",
    "CREATE INDEX IF NOT EXISTS i_next ON sewer(next_node)",
    "CREATE INDEX IF NOT EXISTS i_over ON sewer(over_node)",
    "CREATE INDEX IF NOT EXISTS i_link ON sewer(subnet, branch, linkno)",
    "CREATE INDEX IF NOT EXISTS i_culvert ON sewer(l_type, size1, size2) WHERE selected",
    "CREATE INDEX IF NOT EXISTS i_bedding ON sewer(bedding) WHERE selected",
    "CREATE INDEX IF NOT EXISTS i_geocode ON sewer(geocode)",
    "CREATE INDEX IF NOT EXISTS i_size ON sewer(size1)",
};

const char* kTypes[] = {"PIPE", "BOX", "PORTAL", "RISING MAIN"};
const char* kBeddings[] = {"A", "B", "C", "D"};

struct Link {
    std::string node, next, over, subnet, branch, linkno, type, bedding, geocode;
    double x, y, z, inlevel, outlevel, length;
    int size1, size2;
    bool selected;
};

std::string nodeName(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "MH%06d", i);
    return text;
}

const std::vector<Link>& links() {
    static std::vector<Link> all = [] {
        std::vector<Link> v;
        std::mt19937 random(7);
        for (int i = 0; i < kRecords; ++i) {
            char numbers[3][8];
            std::snprintf(numbers[0], 8, "%04d", i / 10000 + 1);
            std::snprintf(numbers[1], 8, "%04d", (i / 100) % 100 + 1);
            std::snprintf(numbers[2], 8, "%04d", i % 100 + 1);
            Link l;
            // Node names in shuffled order, so that no tag is built from sorted input.
            int id = int((uint64_t(i) * 48271u) % kRecords);
            l.node = nodeName(id);
            l.next = nodeName((id + 1) % kRecords);
            l.over = i % 7 == 0 ? nodeName((id + 13) % kRecords) : "";
            l.subnet = numbers[0];
            l.branch = numbers[1];
            l.linkno = numbers[2];
            l.type = kTypes[random() % 4];
            l.bedding = kBeddings[random() % 4];
            l.geocode = "G" + std::to_string(random() % 5000);
            l.x = 3000000.0 + random() % 100000;
            l.y = 50000.0 + random() % 100000;
            l.z = 1200.0 + (random() % 100000) / 1000.0;
            l.inlevel = l.z - 1.5;
            l.outlevel = l.z - 1.6;
            l.length = 10.0 + (random() % 90000) / 1000.0;
            l.size1 = 150 + 75 * int(random() % 12);
            l.size2 = l.type == std::string("PIPE") ? 0 : 300 + 150 * int(random() % 6);
            l.selected = random() % 3 == 0;
            v.push_back(l);
        }
        return v;
    }();
    return all;
}

std::vector<std::string> seekKeys() {
    std::vector<std::string> keys;
    std::mt19937 random(11);
    for (int i = 0; i < kSeeks; ++i) keys.push_back(nodeName(int(random() % kRecords)));
    return keys;
}

fs::path workFolder() {
    static fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("table_bench_" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

std::string tablePath() { return (workFolder() / "sewer.SET").string(); }
std::string sqlitePath() { return (workFolder() / "sewer.sqlite").string(); }

CODE4& context() {
    static CODE4 code{};
    static bool ready = code4initLow(&code, nullptr, 6401, 1300) == 0;
    (void)ready;
    code.safety = 0;  // records reach the disk when the table moves on or closes
    return code;
}

void writeTable() {
    CODE4& code = context();
    DATA4* data = d4create(&code, tablePath().c_str(), kFields, nullptr);
    FIELD4* f[18];
    for (int j = 0; j < 18; ++j) f[j] = d4fieldJ(data, j + 1);
    for (const Link& l : links()) {
        d4appendBlank(data);
        f4assign(f[0], l.node.c_str());
        f4assign(f[1], l.next.c_str());
        f4assign(f[2], l.over.c_str());
        f4assignDouble(f[3], l.z);
        f4assignDouble(f[4], l.y);
        f4assignDouble(f[5], l.x);
        f4assign(f[6], l.subnet.c_str());
        f4assign(f[7], l.branch.c_str());
        f4assign(f[8], l.linkno.c_str());
        f4assign(f[9], l.type.c_str());
        f4assign(f[10], l.bedding.c_str());
        f4assignInt(f[11], l.size1);
        f4assignInt(f[12], l.size2);
        f4assignDouble(f[13], l.inlevel);
        f4assignDouble(f[14], l.outlevel);
        f4assignDouble(f[15], l.length);
        f4assignChar(f[16], l.selected ? 'T' : 'F');
        f4assign(f[17], l.geocode.c_str());
    }
    d4close(data);
}

sqlite3* openSqlite() {
    sqlite3* db = nullptr;
    sqlite3_open(sqlitePath().c_str(), &db);
    // SQLite at its quickest: no syncing, and a page cache that holds the whole database, as
    // our tags are held whole in memory.
    sqlite3_exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; PRAGMA cache_size=-262144", nullptr,
                 nullptr, nullptr);
    return db;
}

void writeSqlite() {
    fs::remove(sqlitePath());
    sqlite3* db = openSqlite();
    sqlite3_exec(db, kSqlTable, nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO sewer VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
    for (const Link& l : links()) {
        int c = 1;
        for (const std::string* s : {&l.node, &l.next, &l.over}) sqlite3_bind_text(insert, c++, s->c_str(), -1, SQLITE_STATIC);
        for (double d : {l.z, l.y, l.x}) sqlite3_bind_double(insert, c++, d);
        for (const std::string* s : {&l.subnet, &l.branch, &l.linkno, &l.type, &l.bedding})
            sqlite3_bind_text(insert, c++, s->c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, c++, l.size1);
        sqlite3_bind_int(insert, c++, l.size2);
        for (double d : {l.inlevel, l.outlevel, l.length}) sqlite3_bind_double(insert, c++, d);
        sqlite3_bind_int(insert, c++, l.selected);
        sqlite3_bind_text(insert, c++, l.geocode.c_str(), -1, SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// The reindex and seek runs work on the files the create runs leave.
void ensureFiles() {
    if (!fs::exists(tablePath())) writeTable();
    if (!fs::exists(sqlitePath())) writeSqlite();
}

void BM_Create_Table(benchmark::State& state) {
    links();
    for (auto _ : state) writeTable();
}

void BM_Create_SQLite(benchmark::State& state) {
    links();
    for (auto _ : state) writeSqlite();
}

// The tags exist; rebuilding them reads every record and sorts every key again.
void BM_Reindex_Table(benchmark::State& state) {
    ensureFiles();
    CODE4& code = context();
    DATA4* data = d4open(&code, tablePath().c_str());
    i4create(data, nullptr, kTags);
    for (auto _ : state) d4reindex(data);
    d4close(data);
}

void BM_Reindex_SQLite(benchmark::State& state) {
    ensureFiles();
    sqlite3* db = openSqlite();
    for (const char* index : kSqlIndexes) sqlite3_exec(db, index, nullptr, nullptr, nullptr);
    for (auto _ : state) sqlite3_exec(db, "REINDEX sewer", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void BM_Seek_Table(benchmark::State& state) {
    ensureFiles();
    CODE4& code = context();
    DATA4* data = d4open(&code, tablePath().c_str());  // the index beside it opens with it
    if (!d4tag(data, "NODE")) i4create(data, nullptr, kTags);
    d4tagSelect(data, d4tag(data, "NODE"));
    FIELD4* level = d4field(data, "INLEVEL");
    std::vector<std::string> keys = seekKeys();
    double sum = 0;
    for (auto _ : state)
        for (const std::string& key : keys)
            if (d4seek(data, key.c_str()) == 0) sum += f4double(level);
    benchmark::DoNotOptimize(sum);
    d4close(data);
}

void BM_Seek_SQLite(benchmark::State& state) {
    ensureFiles();
    sqlite3* db = openSqlite();
    for (const char* index : kSqlIndexes) sqlite3_exec(db, index, nullptr, nullptr, nullptr);
    sqlite3_stmt* seek = nullptr;
    sqlite3_prepare_v2(db, "SELECT inlevel FROM sewer WHERE node = ? LIMIT 1", -1, &seek, nullptr);
    std::vector<std::string> keys = seekKeys();
    double sum = 0;
    for (auto _ : state)
        for (const std::string& key : keys) {
            sqlite3_bind_text(seek, 1, key.c_str(), -1, SQLITE_STATIC);
            if (sqlite3_step(seek) == SQLITE_ROW) sum += sqlite3_column_double(seek, 0);
            sqlite3_reset(seek);
        }
    benchmark::DoNotOptimize(sum);
    sqlite3_finalize(seek);
    sqlite3_close(db);
}

BENCHMARK(BM_Create_Table)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Create_SQLite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Reindex_Table)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Reindex_SQLite)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Seek_Table)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Seek_SQLite)->Unit(benchmark::kMillisecond)->Iterations(5);

// Keeps each run's time per iteration so that the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nours / SQLite (below 1 means faster than SQLite):\n");
    for (const char* job : {"Create", "Reindex", "Seek"}) {
        std::string ours = std::string("BM_") + job + "_Table/iterations:";
        std::string theirs = std::string("BM_") + job + "_SQLite/iterations:";
        double a = 0, b = 0;
        for (auto& [name, time] : reporter.seconds) {
            if (name.rfind(ours, 0) == 0) a = time;
            if (name.rfind(theirs, 0) == 0) b = time;
        }
        if (a > 0 && b > 0) std::printf("  %-8s %.2f\n", job, a / b);
    }
    code4initUndo(&context());
    std::error_code ec;
    fs::remove_all(workFolder(), ec);
    benchmark::Shutdown();
    return 0;
}
