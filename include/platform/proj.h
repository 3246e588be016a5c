// The projection library: the project's projection and the conversion between projected plan
// coordinates (database y, x) and geographic coordinates (latitude, longitude in degrees).
//
// The project's projection is read from the job settings, section "Global": "Hemisphere",
// "Projection", "Datum", "PrimeMeridian", "LatitudeOrigin", "MeridianScale", "FalseEasting",
// "FalseNorthing" (projInitGlobalConstants).
//
// Projection numbers:
//   -1  local: no conversion, the stored pair is the projected pair;
//    0  transverse Mercator on the longitude of origin, scale 1, no false origin;
//    1  UTM: the zone that holds the longitude of origin, scale 0.9996, false easting 500000,
//       false northing 10000000 in hemisphere 0 (southern), 0 otherwise.
// For projections 0 and 1 the scale, latitude of origin and false origin are fixed by the
// projection number and the getters return those values; for the local projection the getters
// return the stored settings, which play no part in any conversion.
//
// Axes: in hemisphere 0 (southern-African style) x is the southing and y the westing
// (x = -northing, y = -easting); in any other hemisphere x is the northing and y the easting.
//
// Datum numbers name an ellipsoid: 0 WGS84, 1 Clarke 1880 (modified), 2 Bessel 1841, 3 GRS80,
// 4 International 1924, 5 Airy 1830, 6 Krassovsky 1940, 7 Clarke 1866, 8 Everest 1830,
// 9 Australian National. Another number is computed as WGS84 and named "Unknown datum".
//
// The valid area of projections 0 and 1: latitudes -90..90, within 90 degrees of longitude of
// the central meridian, and at most 3,500 km (kProjMaxCentralDistance, before the scale factor)
// from the central meridian on the plane. Inside it the two conversions are inverse to each other
// to the resolution of the doubles that carry them: a projected position comes back within
// 2e-9 units or four units in the last place of the coordinate, whichever is larger (within
// 1e-9 almost everywhere), and a geographic one within a few nanometres on the ground. Outside
// it the conversions give NaN and return 0.
#pragma once

constexpr int kProjLocal = -1;
constexpr int kProjTransverseMercator = 0;
constexpr int kProjUtm = 1;
constexpr double kProjMaxCentralDistance = 3500000.0;

// Reloads the project's projection from the job settings. Missing or out-of-range values take
// the defaults: hemisphere 0, projection -1 (also for numbers outside -1..1), datum 0,
// longitude of origin 0 (also for values outside -180..180), latitude of origin 0 (also outside
// -90..90), scale 1, no false origin. A non-zero hemisphere is taken as 1.
void projInitGlobalConstants();

// Sets the projection directly (tests, and hosts without job settings). Values out of range are
// taken as projInitGlobalConstants takes them.
void projSetParameters(int hemisphere, int projection, int datum, int longitudeOfOrigin,
                       double latitudeOfOrigin = 0.0, double scaleFactor = 1.0,
                       double falseEasting = 0.0, double falseNorthing = 0.0);

int projGetDatumNumber();
// The name of a datum number ("WGS84", "Clarke 1880 (modified)", ...); "Unknown datum" for any
// number outside the table. Never null.
const char* projGetDatumName(int datum);
int projGetProjectionNumber();
double projGetScaleFactor();
double projGetLatitudeOrigin();
double projGetFalseEasting();
double projGetFalseNorthing();
int projGetHemisphere();
// The longitude of origin in whole degrees ("PrimeMeridian"); also stored in *lo when given.
int projGetLO(int* lo);

// Projected (y, x) at the longitude of origin lo to geographic: latitude into *first, longitude
// into *second (degrees). The local projection copies y into *first and x into *second.
// Returns 1, or 0 with both results NaN when the position lies outside the valid area.
int projLOToLatLong(double y, double x, int lo, double* first, double* second);

// Geographic (latitude, longitude in degrees) to projected at the longitude of origin lo: y into
// *y, x into *x. The local projection copies first into *y and second into *x.
// Returns 1, or 0 with both results NaN when the position lies outside the valid area.
int projLatLongToLO(double lat, double lon, int lo, double* y, double* x);

// 1 when the geographic pair (as projLOToLatLong gives it) lies in the valid area of the
// project's projection at longitude of origin lo, else 0 (NaN, infinities, latitudes beyond 90,
// positions too far from the central meridian). The local projection accepts every finite pair.
int projValidateGeoCoord(double lat, double lon, int lo);
