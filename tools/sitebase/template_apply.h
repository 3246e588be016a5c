// Applying a road template to the chainages of the open road (the template commands and the
// demo share it).
#pragma once

#include <string>

#include "database/section.h"

struct ApplySettings {
    int naturalLayer = 2;      // the natural ground the design meets
    int designLayer = 1;       // where the designed section goes
    int worksLayer = 0;        // the first layer of the layer works outlines (0: none stored)
    double lift = 0.5;         // centre line level above the natural ground at the centre line ...
    bool gradeLine = false;    // ... unless a grade line is given:
    double startLevel = 0.0;   // level at the first chainage of the road
    double grade = 0.0;        // percent
};

struct ApplyCounts {
    int designed = 0;     // sections designed and stored
    int skipped = 0;      // chainages without natural ground or where the design failed
    int cut = 0, fill = 0, open = 0;   // sides in cut, in fill, and sides that met no ground
    bool cancelled = false;
};

// Applies the template at one chainage of the open road (all chainages when `all`), storing the
// design layer and the layer works. Prints one line per chainage unless quiet.
ApplyCounts applyTemplate(TEMPLATE& tpl, const ApplySettings& s, bool all, double chainage, bool quiet);
