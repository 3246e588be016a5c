// Thousands of random adds, removals, edits and line changes, checked against a plain in-memory
// model: every point, every line, every shadow reference, the point numbers the removals hand
// on, and the compact file after closing and opening again. After every step, area scans through
// the point index must return what the walk of the whole chains returns, in the same order.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>

#include "terrain_fixture.h"

namespace {

struct ModelPoint {
    double y, x, z;
    WORD surface;
};

struct Model {
    std::map<int, ModelPoint> points;
    std::map<std::pair<int, int>, bool> lines;   // (from, to) -> feature

    int outgoing(int id) const { return int(std::count_if(lines.begin(), lines.end(), [id](auto& l) { return l.first.first == id; })); }
    int incoming(int id) const { return int(std::count_if(lines.begin(), lines.end(), [id](auto& l) { return l.first.second == id; })); }
    // What dbfAddLine does with the pair.
    int addLine(int a, int b, bool feature) {
        if (a == b || (points[a].surface & 0xFF) != (points[b].surface & 0xFF)) return 0;
        for (auto key : {std::pair{a, b}, std::pair{b, a}}) {
            auto it = lines.find(key);
            if (it == lines.end()) continue;
            if (it->second || !feature) return 0;
            it->second = true;
            return 1;
        }
        if (outgoing(a) < 8 && incoming(b) < 16) {
            lines[{a, b}] = feature;
            return 1;
        }
        if (incoming(a) < 16 && outgoing(b) < 8) {
            lines[{b, a}] = feature;
            return 1;
        }
        return 0;
    }
    void dropLinesOf(int id) {
        std::erase_if(lines, [id](auto& l) { return l.first.first == id || l.first.second == id; });
    }
};

class RandomModelTest : public TerrainTest, public ::testing::WithParamInterface<bool> {
protected:
    bool utm() const { return GetParam(); }
    double centreY() const { return utm() ? 500000.0 : 5000.0; }
    double centreX() const { return utm() ? 3000000.0 : 5000.0; }

    Model model;
    std::map<unsigned, int> idAt;   // point number -> model id
    std::mt19937 rng{20261205};

    int idOfName(const char* name) { return std::atoi(name + 1); }
    unsigned numberOf(int id) {
        for (auto& [n, i] : idAt)
            if (i == id) return n;
        return 0;
    }

    // The removal of n hands n to the last point of its bucket.
    void forgetNumber(unsigned n) {
        idAt.erase(n);
        DWORD bucket;
        unsigned slot;
        decodePointNumber(n, bucket, slot);
        auto last = idAt.upper_bound(pointNumber(bucket, kDtmPointsPerBlock));
        if (last == idAt.begin()) return;
        --last;
        DWORD lastBucket;
        decodePointNumber(last->first, lastBucket, slot);
        if (lastBucket != bucket || last->first < n) return;
        idAt[n] = last->second;
        idAt.erase(last);
    }

    void randomPosition(double& y, double& x) {
        const double side = 25 * 489.88;
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const double roll = unit(rng);
        const double minY = centreY() - side / 2, minX = centreX() - side / 2;
        if (roll < 0.35) {   // one crowded cell: chains of several blocks
            y = minY + 489.88 * (7 + unit(rng));
            x = minX + 489.88 * (9 + unit(rng));
        } else if (roll < 0.6) {
            y = minY + 489.88 * (15 + unit(rng));
            x = minX + 489.88 * (unit(rng) < 0.5 ? 3 : 20) + 489.88 * unit(rng);
        } else {   // anywhere: many blocks of one point, freed and taken again
            y = minY + side * unit(rng);
            x = minX + side * unit(rng);
        }
        y = std::round(y * 1000.0) / 1000.0;
        x = std::round(x * 1000.0) / 1000.0;
    }

    // Small and middling areas, mostly where the points crowd, each scanned through the point
    // index and by walking the chains: the same numbers and points in the same order. Returns
    // how many of the scans the index served.
    std::mt19937 areaRng{7};
    int checkAreaScans() {
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        int served = 0;
        for (int i = 0; i < 4; ++i) {
            const double side = 25 * 489.88;
            const double y = centreY() - side / 2 + 489.88 * (i < 3 ? 7 + unit(areaRng) : 25 * unit(areaRng));
            const double x = centreX() - side / 2 + 489.88 * (i < 3 ? 9 + unit(areaRng) : 25 * unit(areaRng));
            const double half = 489.88 * (i == 0 ? 0.002 : 0.4 * unit(areaRng));
            RRect area{y + half, y - half, x - half, x + half};
            dbfScanLimits(&area);
            served += pointIndexServes(terrainState().scan, cellOf(y, x, true));
            const auto indexed = scanAll(&area);
            pointIndexEnable(false);
            const auto walked = scanAll(&area);
            pointIndexEnable(true);
            EXPECT_EQ(indexed.size(), walked.size());
            for (std::size_t k = 0; k < std::min(indexed.size(), walked.size()); ++k)
                EXPECT_TRUE(indexed[k].first == walked[k].first && !std::memcmp(&indexed[k].second, &walked[k].second, sizeof(SURVCOORD))) << k;
        }
        return served;
    }

    void checkAgainstModel() {
        ASSERT_EQ(dbfApproxPointCount(), model.points.size());
        const auto all = scanAll();
        ASSERT_EQ(all.size(), model.points.size());
        std::map<std::pair<int, int>, bool> lines;
        std::map<int, std::multiset<int>> shadows;
        const double tolerance = utm() ? 1e-6 : 0.0;
        for (auto& [number, p] : all) {
            const int id = idOfName(p.name);
            ASSERT_EQ(idAt.count(number), 1u) << number;
            ASSERT_EQ(idAt[number], id) << p.name;
            const ModelPoint& m = model.points.at(id);
            EXPECT_TRUE(std::fabs(p.y - m.y) <= tolerance && std::fabs(p.x - m.x) <= tolerance) << p.name;
            EXPECT_EQ(nums(p.z, p.surface), nums(m.z, m.surface)) << p.name;
            for (int i = 0; i < 8; ++i)
                if (p.lines[i]) {
                    ASSERT_EQ(idAt.count(p.lines[i]), 1u) << p.name << " line to " << p.lines[i];
                    const auto key = std::pair{id, idAt[p.lines[i]]};
                    EXPECT_EQ(lines.count(key), 0u) << "line stored twice";
                    lines[key] = (p.feature >> i) & 1;
                }
            for (DWORD s : p.shadows)
                if (s) {
                    ASSERT_EQ(idAt.count(s), 1u) << p.name << " shadow of " << s;
                    shadows[id].insert(idAt[s]);
                }
        }
        EXPECT_EQ(lines, model.lines);
        std::map<int, std::multiset<int>> expectedShadows;
        for (auto& [key, feature] : model.lines) expectedShadows[key.second].insert(key.first);
        EXPECT_EQ(shadows, expectedShadows);
    }
};

TEST_P(RandomModelTest, StoreAgreesWithAPlainModel) {
    if (utm()) {
        coreSetJobDefaultInt("Global", "Hemisphere", 1);
        coreSetJobDefaultInt("Global", "Projection", 1);
        coreSetJobDefaultInt("Global", "PrimeMeridian", 27);
    }
    makeAndOpen(centreY(), centreX(), 10000.0);
    std::vector<int> alive;
    int nextId = 0;
    DWORD peakUsed = 0;
    int served = 0;
    std::uniform_int_distribution<int> percent(0, 99);
    auto pick = [&]() { return alive[std::uniform_int_distribution<size_t>(0, alive.size() - 1)(rng)]; };

    for (int op = 0; op < 6000; ++op) {
        const int roll = percent(rng);
        if (op % 500 == 0) dbfSafeBucketChangeMode(op / 500 % 2);
        if (alive.size() < 20 || roll < 45) {
            ModelPoint m{};
            randomPosition(m.y, m.x);
            m.z = op;
            m.surface = percent(rng) < 90 ? 1 : 2;
            char name[17];
            std::snprintf(name, sizeof name, "P%d", nextId);
            const unsigned n = add(name, m.y, m.x, m.z, m.surface);
            ASSERT_NE(n, 0u);
            ASSERT_EQ(idAt.count(n), 0u);
            idAt[n] = nextId;
            model.points[nextId] = m;
            alive.push_back(nextId++);
        } else if (roll < 70) {
            // Lines among a few hubs fill their entries; the rest join anything.
            const int a = roll < 52 ? alive[static_cast<size_t>(percent(rng)) % 12] : pick();
            const int b = pick();
            const bool feature = percent(rng) < 40;
            const int expected = model.addLine(a, b, feature);
            ASSERT_EQ(dbfAddLine(numberOf(a), numberOf(b), feature, 0), expected) << a << "-" << b;
        } else if (roll < 78) {
            if (model.lines.empty()) continue;
            auto it = model.lines.begin();
            std::advance(it, std::uniform_int_distribution<size_t>(0, model.lines.size() - 1)(rng));
            const auto [key, feature] = *it;
            ASSERT_EQ(dbfDelLine(numberOf(key.second), numberOf(key.first), !feature, 0), 0);
            ASSERT_EQ(dbfDelLine(numberOf(key.second), numberOf(key.first), feature, 0), 1);
            model.lines.erase(key);
        } else if (roll < 90) {
            const int id = pick();
            const unsigned n = numberOf(id);
            ASSERT_EQ(dbfRemCoord(n), n);
            forgetNumber(n);
            model.points.erase(id);
            model.dropLinesOf(id);
            alive.erase(std::find(alive.begin(), alive.end(), id));
        } else {
            const int id = pick();
            const unsigned n = numberOf(id);
            ModelPoint& m = model.points[id];
            randomPosition(m.y, m.x);
            m.z += 0.5;
            if (percent(rng) < 20) m.surface = m.surface == 1 ? 2 : 1;
            SURVCOORD record = grab(n);
            record.y = m.y;
            record.x = m.x;
            record.z = m.z;
            record.surface = m.surface;
            const unsigned edited = dbfEditCoord(record, n);
            ASSERT_NE(edited, 0u);
            if (edited != n) {
                ASSERT_EQ(idAt.count(edited), 0u);
                idAt[edited] = id;
                forgetNumber(n);
            }
            std::erase_if(model.lines, [&](auto& l) {
                const int a = l.first.first, b = l.first.second;
                return (a == id || b == id) && (model.points[a].surface & 0xFF) != (model.points[b].surface & 0xFF);
            });
        }
        peakUsed = std::max(peakUsed, terrainState().header.usedBlocks);
        ASSERT_EQ(terrainCheckInvariants(), "") << "after step " << op;
        served += checkAreaScans();
        ASSERT_FALSE(HasFailure()) << "area scans after step " << op;
    }
    EXPECT_GT(served, 6000);   // most scans of the crowded cell went through the index
    ASSERT_GT(model.points.size(), 1000u);
    ASSERT_GT(peakUsed, dbfState().cacheSlots);   // the cache was too small for the file
    checkAgainstModel();

    dbfCloseDbase();
    ASSERT_EQ(terrainCheckInvariants(), "");
    const std::string f = bytes();
    const DTMHEADER h = header(f);
    EXPECT_EQ(nums(h.totalBlocks, f.size()), nums(peakUsed + 1, (std::size_t{peakUsed} + 2) * kDtmBlockLength));
    std::set<DWORD> buckets;
    for (DWORD block = 1; block <= h.totalBlocks; ++block) {
        const DTMBLOCKHEAD head = blockHead(f, block);
        buckets.insert(head.bucket);
        if (block <= h.usedBlocks) EXPECT_GT(+head.count, 0) << block;
        else EXPECT_EQ(+head.count, 0) << block;
    }
    EXPECT_EQ(nums(buckets.size(), *buckets.begin(), *buckets.rbegin()), nums(h.totalBlocks, 1, h.totalBlocks));

    ASSERT_EQ(dbfOpenDbase(dtm.c_str(), 0), 1);
    ASSERT_EQ(terrainCheckInvariants(), "");
    checkAgainstModel();
}

INSTANTIATE_TEST_SUITE_P(Projection, RandomModelTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Utm" : "Local"; });

}  // namespace
