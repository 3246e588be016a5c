// The projection library: parameters, axes of each hemisphere, round trips over the valid area,
// rejections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/fixture.h"
#include "platform/core.h"
#include "platform/proj.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A projected position comes back to within 2e-9 units or a few units in the last place of the
// coordinate, whichever is larger; a geographic one to within a few nanometres on the ground (a
// unit in the last place of a latitude near 90 degrees is 1.6 nm).
double projectedRoundTrip(double v)
{
    const double magnitude = std::fabs(v);
    return std::max(2e-9, 4.0 * (std::nextafter(magnitude, kInf) - magnitude));
}
constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = 111320.0;
constexpr double kGroundRoundTrip = 4e-9;

// The parameters in force: hemisphere, projection, datum, longitude of origin, scale factor,
// false easting, false northing, latitude of origin.
std::vector<double> parameters()
{
    return {double(projGetHemisphere()), double(projGetProjectionNumber()), double(projGetDatumNumber()),
            double(projGetLO(nullptr)), projGetScaleFactor(), projGetFalseEasting(), projGetFalseNorthing(),
            projGetLatitudeOrigin()};
}
using P = std::vector<double>;

class Projection : public ::testing::Test {
protected:
    void TearDown() override { projSetParameters(0, kProjLocal, 0, 0); }
};

TEST_F(Projection, ParametersAreFixedByTheProjectionNumberExceptForLocal)
{
    projSetParameters(0, kProjLocal, 1, 31, 12.0, 0.9999, 50.0, 60.0);
    EXPECT_EQ(parameters(), (P{0, -1, 1, 31, 0.9999, 50.0, 60.0, 12.0}));
    int lo = 0;
    EXPECT_EQ(projGetLO(&lo), 31);
    EXPECT_EQ(lo, 31);

    projSetParameters(0, kProjTransverseMercator, 1, 29, 12.0, 0.9999, 50.0, 60.0);
    EXPECT_EQ(parameters(), (P{0, 0, 1, 29, 1.0, 0.0, 0.0, 0.0}));
    projSetParameters(0, kProjUtm, 0, 27);
    EXPECT_EQ(parameters(), (P{0, 1, 0, 27, 0.9996, 500000.0, 10000000.0, 0.0}));
    projSetParameters(1, kProjUtm, 0, 27);
    EXPECT_EQ(projGetFalseNorthing(), 0.0);

    // out-of-range settings take the defaults
    projSetParameters(7, 5, 3, 200);
    EXPECT_EQ(parameters(), (P{1, -1, 3, 0, 1.0, 0.0, 0.0, 0.0}));
    projSetParameters(0, kProjLocal, 0, 0, kNaN, kInf, kNaN, kNaN);
    EXPECT_EQ(parameters(), (P{0, -1, 0, 0, 1.0, 0.0, 0.0, 0.0}));

    EXPECT_STREQ(projGetDatumName(1), "Clarke 1880 (modified)");
    EXPECT_STREQ(projGetDatumName(-1), "Unknown datum");
    EXPECT_STREQ(projGetDatumName(10), "Unknown datum");
}

TEST_F(Projection, LocalProjectionStoresTheProjectedPairAndAcceptsEveryFiniteValue)
{
    projSetParameters(0, kProjLocal, 0, 29);
    double first = 0, second = 0, y = 0, x = 0;
    ASSERT_EQ(projLOToLatLong(-5.0e9, 1.25e12, 29, &first, &second), 1);
    ASSERT_EQ(projLatLongToLO(first, second, 29, &y, &x), 1);
    EXPECT_EQ((P{first, second, y, x}), (P{-5.0e9, 1.25e12, -5.0e9, 1.25e12}));
    EXPECT_EQ((P{double(projValidateGeoCoord(1e300, -1e300, 29)), double(projValidateGeoCoord(kNaN, 0.0, 29)),
                 double(projValidateGeoCoord(0.0, kInf, 29))}), (P{1, 0, 0}));
    EXPECT_EQ(projLOToLatLong(kNaN, 0.0, 29, &first, &second), 0);
    EXPECT_TRUE(std::isnan(first) && std::isnan(second));
}

// Hand-checked values: the WGS84 meridian arc from the equator to 30 degrees is 3,320,113.398 m;
// at the equator 3 degrees east of a UTM zone's central meridian the easting is 833,978.557 m.
TEST_F(Projection, HemisphereZeroIsSouthingAndWestingOtherwiseNorthingAndEasting)
{
    double y = 0, x = 0;
    projSetParameters(0, kProjTransverseMercator, 0, 29);
    ASSERT_EQ(projLatLongToLO(-30.0, 29.0, 29, &y, &x), 1);
    EXPECT_NEAR(y, 0.0, 1e-9);
    EXPECT_NEAR(x, 3320113.398, 0.001);   // south of the equator: positive southing
    ASSERT_EQ(projLatLongToLO(-30.0, 30.0, 29, &y, &x), 1);
    EXPECT_LT(y, -90000.0);               // east of the central meridian: negative westing
    EXPECT_GT(y, -100000.0);
    const double southernY = y, southernX = x;

    projSetParameters(1, kProjTransverseMercator, 0, 29);
    ASSERT_EQ(projLatLongToLO(-30.0, 30.0, 29, &y, &x), 1);
    EXPECT_DOUBLE_EQ(y, -southernY);
    EXPECT_DOUBLE_EQ(x, -southernX);
    ASSERT_EQ(projLatLongToLO(30.0, 29.0, 29, &y, &x), 1);
    EXPECT_NEAR(x, 3320113.398, 0.001);

    // UTM: the zone of longitude of origin 1 is zone 31 (central meridian 3)
    projSetParameters(1, kProjUtm, 0, 1);
    ASSERT_EQ(projLatLongToLO(0.0, 6.0, 1, &y, &x), 1);
    EXPECT_NEAR(y, 833978.557, 0.001);
    EXPECT_NEAR(x, 0.0, 1e-6);
    projSetParameters(0, kProjUtm, 0, 1);
    ASSERT_EQ(projLatLongToLO(0.0, 0.0, 1, &y, &x), 1);
    EXPECT_NEAR(y, -166021.443, 0.001);
    EXPECT_NEAR(x, -10000000.0, 1e-6);
    // a longitude of origin inside the same zone gives the same coordinates
    projSetParameters(0, kProjUtm, 0, 5);
    double y5 = 0, x5 = 0;
    ASSERT_EQ(projLatLongToLO(0.0, 0.0, 5, &y5, &x5), 1);
    EXPECT_EQ((P{y5, x5}), (P{y, x}));
}

TEST_F(Projection, ConversionsFollowTheLongitudeOfOriginTheyAreGiven)
{
    projSetParameters(0, kProjTransverseMercator, 1, 29);
    double y = 0, x = 0;
    ASSERT_EQ(projLatLongToLO(-26.0, 31.0, 31, &y, &x), 1);
    EXPECT_NEAR(y, 0.0, 1e-9);
    double lat = 0, lon = 0;
    ASSERT_EQ(projLOToLatLong(0.0, 2876000.0, 17, &lat, &lon), 1);
    EXPECT_NEAR(lon, 17.0, 1e-12);
    EXPECT_LT(lat, 0.0);
}

struct ProjectSetup {
    int hemisphere;
    int projection;
    int datum;
    int lo;
};

// Projected positions near every edge of the valid area come back where they started, and so do
// geographic ones.
TEST_F(Projection, RoundTripsHoldToTheEdgesOfTheValidArea)
{
    const ProjectSetup setups[] = {{0, 0, 0, 29}, {1, 0, 0, -75}, {0, 0, 1, 31}, {1, 0, 2, 9},
                            {0, 1, 0, 27}, {1, 1, 3, -123}, {0, 1, 1, 180}, {1, 0, 9, -180},
                            {0, 0, 42, 0}};
    for (const ProjectSetup& s : setups) {
        projSetParameters(s.hemisphere, s.projection, s.datum, s.lo);
        const std::string where = "hemisphere " + std::to_string(s.hemisphere) + " projection " +
                                  std::to_string(s.projection) + " datum " +
                                  std::to_string(s.datum) + " lo " + std::to_string(s.lo);
        const double k = projGetScaleFactor();
        const double sign = s.hemisphere == 0 ? -1.0 : 1.0;
        const double eastings[] = {0.0, 1234.5678, -3499999.0 * k, 3499999.0 * k, 2e6};
        const double northings[] = {0.0, 3.3e6 * k, -9.9e6 * k, 9.99e6 * k, -1e7 * k, 1e7 * k};
        for (double e : eastings)
            for (double n : northings) {
                const double y = sign * (e + projGetFalseEasting());
                const double x = sign * (n + projGetFalseNorthing());
                double lat = 0, lon = 0, y2 = 0, x2 = 0;
                ASSERT_EQ(projLOToLatLong(y, x, s.lo, &lat, &lon), 1) << where << " " << e << " " << n;
                EXPECT_EQ(projValidateGeoCoord(lat, lon, s.lo), 1) << where;
                ASSERT_EQ(projLatLongToLO(lat, lon, s.lo, &y2, &x2), 1) << where;
                EXPECT_NEAR(y2, y, projectedRoundTrip(y)) << where << " e " << e << " n " << n;
                EXPECT_NEAR(x2, x, projectedRoundTrip(x)) << where << " e " << e << " n " << n;
            }
        const double lats[] = {0.0, -33.9, 51.5, 89.9999, -89.9999, 90.0, -90.0};
        const double offsets[] = {0.0, 0.5, -3.0, 15.0, -25.0};
        for (double lat : lats)
            for (double offset : offsets) {
                const double lon = s.lo + offset;
                double y = 0, x = 0, lat2 = 0, lon2 = 0;
                ASSERT_EQ(projLatLongToLO(lat, lon, s.lo, &y, &x), 1) << where << " " << lat;
                ASSERT_EQ(projLOToLatLong(y, x, s.lo, &lat2, &lon2), 1) << where << " " << lat;
                EXPECT_NEAR((lat2 - lat) * kMetresPerDegree, 0.0, kGroundRoundTrip)
                    << where << " lat " << lat;
                // at a pole every longitude is the same place
                const double dLon = std::remainder(lon2 - lon, 360.0);
                EXPECT_NEAR(dLon * std::cos(lat * kPi / 180.0) * kMetresPerDegree, 0.0,
                            kGroundRoundTrip)
                    << where << " lat " << lat << " lon " << lon;
            }
    }
}

TEST_F(Projection, PositionsTheProjectionCannotRepresentAreRejected)
{
    projSetParameters(0, kProjTransverseMercator, 1, 29);
    double a = 0, b = 0;
    // projected: too far from the central meridian, beyond the pole, not a number
    for (const auto& [y, x] : {std::pair{-3500001.0, 3e6}, {5.0e7, 3e6}, {0.0, 1.1e7}, {kNaN, 0.0}, {0.0, -kInf}}) {
        a = b = 0;
        EXPECT_EQ(projLOToLatLong(y, x, 29, &a, &b), 0) << y << " " << x;
        EXPECT_TRUE(std::isnan(a) && std::isnan(b));
    }
    // geographic: beyond the poles, on the far side of the earth, too far east (about 4,450
    // km), not a number; near the poles the longitude may be far from the central meridian
    struct Geo { double lat, lon; int valid; };
    for (const Geo& g : {Geo{90.000001, 29.0, 0}, {-91.0, 29.0, 0}, {-26.0, 29.0 + 135.0, 0}, {0.0, 29.0 + 40.0, 0},
                         {kNaN, 29.0, 0}, {0.0, kInf, 0}, {-89.0, 29.0 + 80.0, 1}, {-26.0, 29.0 - 20.0, 1}})
        EXPECT_EQ(projValidateGeoCoord(g.lat, g.lon, 29), g.valid) << g.lat << " " << g.lon;
    EXPECT_EQ(projLatLongToLO(0.0, 29.0 + 40.0, 29, &a, &b), 0);
    EXPECT_TRUE(std::isnan(a) && std::isnan(b));
    // the boundary: 3,500 km from the central meridian, before the scale factor
    projSetParameters(1, kProjUtm, 0, 27);
    EXPECT_EQ(projLOToLatLong(500000.0 + 3499999.0 * 0.9996, 0.0, 27, &a, &b), 1);
    EXPECT_EQ(projLOToLatLong(500000.0 + 3500001.0 * 0.9996, 0.0, 27, &a, &b), 0);
    // null result pointers are allowed
    EXPECT_EQ(projLOToLatLong(500000.0, 0.0, 27, nullptr, nullptr), 1);
    EXPECT_EQ(projLatLongToLO(10.0, 27.0, 27, nullptr, nullptr), 1);
}

}  // namespace

namespace {

// The project's projection as the job settings hold it.
class ProjectionSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        coreResetStores();
        coreSetJobFile(dir.file("project.ini").c_str());
    }
    void TearDown() override
    {
        coreResetStores();
        projSetParameters(0, kProjLocal, 0, 0);
    }
    dbtest::TempDir dir;
};

TEST_F(ProjectionSettings, TheJobSettingsGiveTheProjectAndAReloadFollowsThem)
{
    coreSetJobDefaultInt("Global", "Hemisphere", 1);
    coreSetJobDefaultInt("Global", "Projection", 1);
    coreSetJobDefaultInt("Global", "Datum", 2);
    coreSetJobDefaultInt("Global", "PrimeMeridian", 15);
    projInitGlobalConstants();
    EXPECT_EQ(parameters(), (P{1, 1, 2, 15, 0.9996, 500000.0, 0.0, 0.0}));

    // values written back as the terrain file's projection check writes them
    coreSetJobDefaultInt("Global", "Hemisphere", 0);
    coreSetJobDefaultInt("Global", "Projection", -1);
    coreSetJobDefaultDouble("Global", "LatitudeOrigin", -26.0, 0);
    coreSetJobDefaultDouble("Global", "MeridianScale", 0.99995, 5);
    coreSetJobDefaultDouble("Global", "FalseEasting", 1000.5, 3);
    coreSetJobDefaultDouble("Global", "FalseNorthing", -20.25, 3);
    projInitGlobalConstants();
    EXPECT_EQ(parameters(), (P{0, -1, 2, 15, 0.99995, 1000.5, -20.25, -26.0}));
}

TEST_F(ProjectionSettings, MissingAndDamagedSettingsTakeTheDefaults)
{
    projSetParameters(1, kProjUtm, 3, 33);
    projInitGlobalConstants();
    EXPECT_EQ(parameters(), (P{0, -1, 0, 0, 1.0, 0.0, 0.0, 0.0}));

    coreSetJobDefault("Global", "Projection", "9");
    coreSetJobDefault("Global", "PrimeMeridian", "-400");
    coreSetJobDefault("Global", "MeridianScale", "one");
    coreSetJobDefault("Global", "FalseEasting", "1e999");
    coreSetJobDefault("Global", "LatitudeOrigin", std::string(300, '7').c_str());
    projInitGlobalConstants();
    // the last: a value longer than the buffer is cut, not overrun, and is no latitude
    EXPECT_EQ(parameters(), (P{0, -1, 0, 0, 1.0, 0.0, 0.0, 0.0}));
}

}  // namespace
