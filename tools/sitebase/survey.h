// Survey point files: the tabular reader applied to points, with the column orders surveyors use.
//
// Orders: "name,y,x,z[,surface]" is the library's own order (and the export's); PNEZD
// (point, northing, easting, elevation, description), PENZD and NEZ (names made from the line
// number: "P<line>") are the instruments' orders. A header row with known names (name/point/p,
// y, x, n/northing, e/easting, z/elevation/height, surface, d/description/code) gives the order
// by itself. The northing column goes to the library's x and the easting column to its y, as
// they are, in every hemisphere; the project's hemisphere only names the axes (hemisphere 0: x
// southing and y westing; others: x northing and y easting), so a file in southings and
// westings reads with the library's order or with a header naming y and x.
#pragma once

#include <string>
#include <vector>

#include "tabular.h"

enum class PointOrder { Auto, Yxz, Pnezd, Penzd, Nez };

struct SurveyOptions {
    TabularOptions table;
    PointOrder order = PointOrder::Auto;
    int surface = 1;   // the points' surface where the file has no surface column
};

struct SurveyPoint {
    long line = 0;
    std::string name;   // in the terrain's code page, at most 16 characters
    double y = 0.0, x = 0.0, z = 0.0;
    int surface = 1;
};

struct SurveyExtents {
    double minY = 0.0, maxY = 0.0, minX = 0.0, maxX = 0.0;
    bool empty = true;
    void add(double y, double x);
};

// --order, --surface and the tabular options.
void addSurveyOptions(CLI::App* command, SurveyOptions& options);
// The help text on the orders and the axes.
extern const char* const kSurveyOrderHelp;

// Reads the points of a file; every line that gives no point is reported and counted. False
// after saying why when the file cannot be read or its columns cannot be told.
struct SurveyRead {
    long rows = 0;            // data rows read (the header row not counted)
    std::int64_t bytes = 0;   // the file's length
    char delimiter = ',';
    bool header = false;
};
bool readSurvey(const std::string& path, const SurveyOptions& options, std::vector<SurveyPoint>& points,
                SkipReport& skips, SurveyRead& read);
