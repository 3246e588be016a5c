// Thousands of random inserts, deletes, section stores and extra records against a plain
// in-memory model of the road: after every step the file's invariants hold and the road reads
// back as the model says.
#include <map>
#include <random>

#include "road/road_fixture.h"

namespace {

struct StoredPoint {
    float offset;
    float elevation;
    int idNo;
    int marker;
    bool operator==(const StoredPoint&) const = default;
};

struct ModelChainage {
    std::map<int, std::vector<StoredPoint>> layers;   // layer -> points (a layer record exists)
    bool extra = false;
    BYTE extraByte = 0;
    bool hidden = false;
};

class RoadRandomTest : public RoadTest {
protected:
    std::map<long long, ModelChainage> model;   // millimetres -> chainage
    std::mt19937 rng{20240611};

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    static double metres(long long mm) { return static_cast<double>(mm) / 1000.0; }

    void compareChainage(long long mm, const ModelChainage& m) {
        double chg = metres(mm);
        ASSERT_NE(dbfFindChainage(chg, 1), 0u);
        ASSERT_EQ(chg, metres(mm));
        for (int layer = 1; layer <= 6; ++layer) {
            XSECTION xs{};
            const int ok = dbfGrabSect(metres(mm), static_cast<short>(layer), &xs);
            const auto it = m.layers.find(layer);
            if (it == m.layers.end() || it->second.empty()) {
                ASSERT_EQ(ok, 0) << mm << " layer " << layer;
                continue;
            }
            ASSERT_EQ(ok, 1) << mm << " layer " << layer;
            ASSERT_EQ(xs.count, static_cast<int>(it->second.size()));
            for (int i = 0; i < xs.count; ++i) {
                const SECTMEM& p = xs.points[i];
                const StoredPoint got{static_cast<float>(p.offset), static_cast<float>(p.elevation),
                                      static_cast<int>(p.idNo), p.marker};
                ASSERT_EQ(got, it->second[static_cast<std::size_t>(i)]) << mm << " layer " << layer << " point " << i;
            }
        }
        if (m.extra) {
            CHGDATA extra;
            ASSERT_EQ(dbfGrabExtra(metres(mm), &extra), 1);
            ASSERT_EQ(extra.data[0], m.extraByte);
        }
    }

    void compareAll() {
        std::vector<double> expected;
        for (const auto& [mm, m] : model) expected.push_back(metres(mm));
        ASSERT_EQ(chainages(), expected);
        for (const auto& [mm, m] : model) {
            compareChainage(mm, m);
            if (HasFatalFailure()) return;
        }
    }
};

TEST_F(RoadRandomTest, ThousandsOfOperationsKeepFileAndModelInStep) {
    for (int step = 0; step < 3000; ++step) {
        const int op = uniform(0, 10);
        const long long mm = uniform(0, 60) * 250LL + (uniform(0, 3) == 0 ? uniform(1, 249) : 0);
        if (op <= 2) {
            CHGBASE rec;
            ASSERT_NE(dbfInsertChainage(metres(mm), &rec), 0u);
            model[mm];
        } else if (op <= 4) {
            const int result = dbfDelChainage(metres(mm));
            ASSERT_EQ(result, model.erase(mm) ? 1 : 0) << "step " << step;
        } else if (op <= 8) {
            const int layer = uniform(1, 6);
            const int n = uniform(0, 4) == 0 ? 0 : uniform(1, 40);
            XSECTION xs{};
            xs.count = static_cast<std::int16_t>(n);
            std::vector<StoredPoint> stored;
            for (int i = 0; i < n; ++i) {
                const double offset = -20.0 + i * 0.8 + uniform(0, 1000) / 1e4;
                const double elevation = 100.0 + uniform(-5000, 5000) / 1e3;
                const double idNo = uniform(-300, 300) + 0.5;
                const signed char marker = static_cast<signed char>(uniform(-104, 104));
                xs.points[i] = SECTMEM{offset, elevation, idNo, marker};
                const int low = static_cast<int>(static_cast<long long>(idNo) & 0xFF);
                stored.push_back(StoredPoint{static_cast<float>(offset), static_cast<float>(elevation), low, marker});
            }
            ASSERT_EQ(dbfStoreSect(metres(mm), static_cast<short>(layer), &xs), 1);
            model[mm].layers[layer] = stored;
        } else if (op == 10 && !model.empty()) {
            // Hide or show a chainage, then find a visible one near a random target: the first
            // visible at or after it, else the last visible before it.
            auto it = model.begin();
            std::advance(it, uniform(0, static_cast<int>(model.size()) - 1));
            double chg = metres(it->first);
            const unsigned idx = dbfFindChainage(chg, 1);
            CHGBASE rec;
            ASSERT_EQ(dbfGrabChg(idx, &rec), 1);
            rec.hidden = it->second.hidden ? 0 : 1;
            ASSERT_EQ(dbfStoreChg(idx, &rec), 1);
            it->second.hidden = !it->second.hidden;
            double expected = kChgNotFound;
            for (auto m = model.lower_bound(mm); m != model.end() && expected == kChgNotFound; ++m)
                if (!m->second.hidden) expected = metres(m->first);
            for (auto m = model.lower_bound(mm); m != model.begin() && expected == kChgNotFound;)
                if (!(--m)->second.hidden) expected = metres(m->first);
            chg = metres(mm);
            dbfFindChainage(chg, 0);
            ASSERT_EQ(chg, expected) << "step " << step;
        } else if (op == 9 && !model.empty()) {
            auto it = model.begin();
            std::advance(it, uniform(0, static_cast<int>(model.size()) - 1));
            double chg = metres(it->first);
            ASSERT_NE(dbfFindChainage(chg, 1), 0u);
            CHGDATA extra;
            ASSERT_EQ(dbfGrabExtra(chg, &extra), 1);
            extra.data[0] = static_cast<BYTE>(uniform(1, 255));
            ASSERT_EQ(dbfStoreExtra(chg, &extra), 1);
            it->second.extra = true;
            it->second.extraByte = extra.data[0];
        }
        const std::string broken = invariants();
        ASSERT_EQ(broken, "") << "after step " << step << " (operation " << op << ")";
        ASSERT_EQ(indexDisagreement(), "") << "after step " << step << " (operation " << op << ")";
        if (model.count(mm)) {
            compareChainage(mm, model[mm]);
            ASSERT_FALSE(HasFatalFailure()) << "step " << step;
        }
        if (step % 100 == 99) {
            compareAll();
            ASSERT_FALSE(HasFatalFailure()) << "step " << step;
        }
    }
    compareAll();
}

}  // namespace
