// The projection library over GeographicLib's transverse Mercator (Karney's series).
//
// The series is good to a few nanometres within 3,900 km of the central meridian; the reverse
// conversion is polished here with Newton steps on the forward one, so that the two conversions
// are inverse to each other to the resolution of the doubles that carry them.
#include <GeographicLib/Math.hpp>
#include <GeographicLib/TransverseMercator.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/core.h"
#include "platform/proj.h"

namespace {

struct Ellipsoid {
    const char* name;
    double equatorialRadius;
    double inverseFlattening;
};

// Datum numbers as stored in project settings and terrain files.
const Ellipsoid kEllipsoids[] = {
    {"WGS84", 6378137.0, 298.257223563},
    {"Clarke 1880 (modified)", 6378249.145, 293.466307656},
    {"Bessel 1841", 6377397.155, 299.1528128},
    {"GRS80", 6378137.0, 298.257222101},
    {"International 1924", 6378388.0, 297.0},
    {"Airy 1830", 6377563.396, 299.3249646},
    {"Krassovsky 1940", 6378245.0, 298.3},
    {"Clarke 1866", 6378206.4, 294.9786982},
    {"Everest 1830", 6377276.345, 300.8017},
    {"Australian National", 6378160.0, 298.25},
};
constexpr int kEllipsoidCount = static_cast<int>(sizeof(kEllipsoids) / sizeof(kEllipsoids[0]));

constexpr double kUtmScale = 0.9996;
constexpr double kUtmFalseEasting = 500000.0;
constexpr double kUtmFalseNorthingSouth = 10000000.0;

struct Projection {
    int hemisphere = 0;
    int number = kProjLocal;
    int datum = 0;
    int longitudeOfOrigin = 0;
    double latitudeOfOrigin = 0.0;
    double scale = 1.0;
    double falseEasting = 0.0;
    double falseNorthing = 0.0;
    // the transverse Mercator of the datum's ellipsoid at the projection's scale
    std::unique_ptr<GeographicLib::TransverseMercator> mercator;
    double poleNorthing = 0.0;   // northing of the pole on the central meridian
};

Projection& current()
{
    static Projection projection;
    return projection;
}

const Ellipsoid& ellipsoidOf(int datum)
{
    return (datum >= 0 && datum < kEllipsoidCount) ? kEllipsoids[datum] : kEllipsoids[0];
}

void apply(int hemisphere, int number, int datum, int longitudeOfOrigin, double latitudeOfOrigin,
           double scale, double falseEasting, double falseNorthing)
{
    Projection& p = current();
    p.hemisphere = hemisphere != 0 ? 1 : 0;
    p.number = (number >= kProjLocal && number <= kProjUtm) ? number : kProjLocal;
    p.datum = datum;
    p.longitudeOfOrigin = (longitudeOfOrigin >= -180 && longitudeOfOrigin <= 180)
                              ? longitudeOfOrigin : 0;
    auto finiteOr = [](double value, double fallback) {
        return std::isfinite(value) ? value : fallback;
    };
    switch (p.number) {
    case kProjTransverseMercator:
        p.latitudeOfOrigin = 0.0;
        p.scale = 1.0;
        p.falseEasting = 0.0;
        p.falseNorthing = 0.0;
        break;
    case kProjUtm:
        p.latitudeOfOrigin = 0.0;
        p.scale = kUtmScale;
        p.falseEasting = kUtmFalseEasting;
        p.falseNorthing = p.hemisphere == 0 ? kUtmFalseNorthingSouth : 0.0;
        break;
    default:
        p.latitudeOfOrigin = std::fabs(latitudeOfOrigin) <= 90.0 ? latitudeOfOrigin : 0.0;
        p.scale = finiteOr(scale, 1.0);
        p.falseEasting = finiteOr(falseEasting, 0.0);
        p.falseNorthing = finiteOr(falseNorthing, 0.0);
        break;
    }
    if (p.number == kProjLocal) {
        p.mercator.reset();
        return;
    }
    const Ellipsoid& e = ellipsoidOf(p.datum);
    p.mercator = std::make_unique<GeographicLib::TransverseMercator>(
        e.equatorialRadius, 1.0 / e.inverseFlattening, p.scale);
    double easting = 0.0;
    p.mercator->Forward(0.0, 90.0, 0.0, easting, p.poleNorthing);
}

// The central meridian of the conversion at a longitude of origin: the longitude itself, or for
// UTM the middle of the 6-degree zone that holds it.
double centralMeridian(int lo)
{
    const double origin = GeographicLib::Math::AngNormalize(static_cast<double>(lo));
    if (current().number != kProjUtm)
        return origin;
    int zone = static_cast<int>(std::floor((origin + 180.0) / 6.0)) + 1;
    if (zone > 60)
        zone = 60;
    return zone * 6.0 - 183.0;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

int fail(double* a, double* b)
{
    if (a)
        *a = kNaN;
    if (b)
        *b = kNaN;
    return 0;
}

// Plain transverse Mercator easting and northing (before the false origin) of a geographic
// position, when it lies in the valid area.
bool forwardPlain(double lat, double lon, double meridian, double& easting, double& northing)
{
    const Projection& p = current();
    if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90.0)
        return false;
    if (std::fabs(GeographicLib::Math::AngDiff(meridian, lon)) > 90.0)
        return false;
    p.mercator->Forward(meridian, lat, lon, easting, northing);
    return std::isfinite(easting) && std::isfinite(northing) &&
           std::fabs(easting) <= kProjMaxCentralDistance * p.scale;
}

// The geographic position whose plain easting and northing are given: the series inverse,
// then Newton steps on the forward conversion with a numerical Jacobian.
bool reversePlain(double easting, double northing, double meridian, double& lat, double& lon)
{
    const Projection& p = current();
    if (!std::isfinite(easting) || !std::isfinite(northing) ||
        std::fabs(easting) > kProjMaxCentralDistance * p.scale ||
        std::fabs(northing) > p.poleNorthing + 1e-6)
        return false;
    p.mercator->Reverse(meridian, easting, northing, lat, lon);
    auto residual = [&](double la, double lo, double& dE, double& dN) {
        double e = 0.0, n = 0.0;
        p.mercator->Forward(meridian, la, lo, e, n);
        dE = easting - e;
        dN = northing - n;
    };
    double dE = 0.0, dN = 0.0;
    residual(lat, lon, dE, dN);
    for (int step = 0; step < 3 && (dE != 0.0 || dN != 0.0); ++step) {
        // about a centimetre on the ground: large against rounding, small against curvature
        const double delta = 1e-7;
        double eLat = 0.0, nLat = 0.0, eLon = 0.0, nLon = 0.0, e0 = 0.0, n0 = 0.0;
        p.mercator->Forward(meridian, lat, lon, e0, n0);
        const double latStep = lat > 0.0 ? -delta : delta;   // stay off the far side of a pole
        p.mercator->Forward(meridian, lat + latStep, lon, eLat, nLat);
        p.mercator->Forward(meridian, lat, lon + delta, eLon, nLon);
        const double a = (eLat - e0) / latStep, b = (eLon - e0) / delta;
        const double c = (nLat - n0) / latStep, d = (nLon - n0) / delta;
        const double det = a * d - b * c;
        if (!(std::fabs(det) > 1e-300))
            break;   // at a pole the longitude has no effect: nothing to polish
        const double newLat = lat + (d * dE - b * dN) / det;
        const double newLon = lon + (a * dN - c * dE) / det;
        if (!(std::fabs(newLat) <= 90.0))
            break;
        double newE = 0.0, newN = 0.0;
        residual(newLat, newLon, newE, newN);
        if (!(std::hypot(newE, newN) < std::hypot(dE, dN)))
            break;
        lat = newLat;
        lon = newLon;
        dE = newE;
        dN = newN;
    }
    // The forward conversion is itself only good to a few units in the last place; the best
    // pair is found among the neighbouring doubles.
    for (int step = 0; step < 2 && (dE != 0.0 || dN != 0.0); ++step) {
        const double best = std::hypot(dE, dN);
        double bestLat = lat, bestLon = lon, bestE = dE, bestN = dN;
        const double lats[] = {std::nextafter(lat, -91.0), lat, std::nextafter(lat, 91.0)};
        const double lons[] = {std::nextafter(lon, -1e3), lon, std::nextafter(lon, 1e3)};
        for (double la : lats)
            for (double lo : lons) {
                if (std::fabs(la) > 90.0)
                    continue;
                double e = 0.0, n = 0.0;
                residual(la, lo, e, n);
                if (std::hypot(e, n) < std::hypot(bestE, bestN)) {
                    bestLat = la;
                    bestLon = lo;
                    bestE = e;
                    bestN = n;
                }
            }
        if (!(std::hypot(bestE, bestN) < best))
            break;
        lat = bestLat;
        lon = bestLon;
        dE = bestE;
        dN = bestN;
    }
    lon = GeographicLib::Math::AngNormalize(lon);
    return std::isfinite(lat) && std::isfinite(lon);
}

double parseReal(const char* key, double fallback)
{
    char buffer[64] = {};
    coreGetJobDefault("Global", key, "", buffer, static_cast<int>(sizeof(buffer)));
    buffer[sizeof(buffer) - 1] = '\0';
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(buffer, &end);
    if (end == buffer || errno == ERANGE || !std::isfinite(value))
        return fallback;
    return value;
}

}  // namespace

void projInitGlobalConstants()
{
    apply(coreGetJobDefaultInt("Global", "Hemisphere", 0),
          coreGetJobDefaultInt("Global", "Projection", kProjLocal),
          coreGetJobDefaultInt("Global", "Datum", 0),
          coreGetJobDefaultInt("Global", "PrimeMeridian", 0), parseReal("LatitudeOrigin", 0.0),
          parseReal("MeridianScale", 1.0), parseReal("FalseEasting", 0.0),
          parseReal("FalseNorthing", 0.0));
}

void projSetParameters(int hemisphere, int projection, int datum, int longitudeOfOrigin,
                       double latitudeOfOrigin, double scaleFactor, double falseEasting,
                       double falseNorthing)
{
    apply(hemisphere, projection, datum, longitudeOfOrigin, latitudeOfOrigin, scaleFactor,
          falseEasting, falseNorthing);
}

int projGetDatumNumber() { return current().datum; }

const char* projGetDatumName(int datum)
{
    return (datum >= 0 && datum < kEllipsoidCount) ? kEllipsoids[datum].name : "Unknown datum";
}

int projGetProjectionNumber() { return current().number; }
double projGetScaleFactor() { return current().scale; }
double projGetLatitudeOrigin() { return current().latitudeOfOrigin; }
double projGetFalseEasting() { return current().falseEasting; }
double projGetFalseNorthing() { return current().falseNorthing; }
int projGetHemisphere() { return current().hemisphere; }

int projGetLO(int* lo)
{
    if (lo)
        *lo = current().longitudeOfOrigin;
    return current().longitudeOfOrigin;
}

int projLOToLatLong(double y, double x, int lo, double* first, double* second)
{
    const Projection& p = current();
    if (p.number == kProjLocal || !p.mercator) {
        if (!std::isfinite(y) || !std::isfinite(x))
            return fail(first, second);
        if (first)
            *first = y;
        if (second)
            *second = x;
        return 1;
    }
    const bool southern = p.hemisphere == 0;
    const double easting = (southern ? -y : y) - p.falseEasting;
    const double northing = (southern ? -x : x) - p.falseNorthing;
    double lat = 0.0, lon = 0.0;
    if (!reversePlain(easting, northing, centralMeridian(lo), lat, lon))
        return fail(first, second);
    if (first)
        *first = lat;
    if (second)
        *second = lon;
    return 1;
}

int projLatLongToLO(double lat, double lon, int lo, double* y, double* x)
{
    const Projection& p = current();
    if (p.number == kProjLocal || !p.mercator) {
        if (!std::isfinite(lat) || !std::isfinite(lon))
            return fail(y, x);
        if (y)
            *y = lat;
        if (x)
            *x = lon;
        return 1;
    }
    double easting = 0.0, northing = 0.0;
    if (!forwardPlain(lat, lon, centralMeridian(lo), easting, northing))
        return fail(y, x);
    easting += p.falseEasting;
    northing += p.falseNorthing;
    const bool southern = p.hemisphere == 0;
    if (y)
        *y = southern ? -easting : easting;
    if (x)
        *x = southern ? -northing : northing;
    return 1;
}

int projValidateGeoCoord(double lat, double lon, int lo)
{
    const Projection& p = current();
    if (p.number == kProjLocal || !p.mercator)
        return std::isfinite(lat) && std::isfinite(lon) ? 1 : 0;
    double easting = 0.0, northing = 0.0;
    return forwardPlain(lat, lon, centralMeridian(lo), easting, northing) ? 1 : 0;
}
