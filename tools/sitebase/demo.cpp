// The demo: a sample project built step by step. Each subsystem adds its steps; the first one
// draws the site frame and its grid.
#include <algorithm>
#include <cstdio>
#include <map>

#include "host.h"

namespace {

struct Step {
    std::string name;
    std::function<void(DemoContext&)> run;
};

std::multimap<int, Step>& steps() {
    static std::multimap<int, Step> s;
    return s;
}

// The site frame: a square of 1,000 units with a grid line every 100 and its coordinates.
void drawSiteFrame(DemoContext& ctx) {
    HeadlessCadWindow& cad = host().cad;
    const double minY = 0.0, minX = 0.0, side = 1000.0, step = 100.0;
    cad.clearDisplayList();
    cad.setZoomRect(minY - 60, minX - 60, minY + side + 60, minX + side + 60);
    cad.gsSetLayer("Grid", "Grid");
    for (double v = 0.0; v <= side + 1e-9; v += step) {
        const bool edge = v == 0.0 || v == side;
        cad.gsDisplayLine(minY + v, minX, minY + v, minX + side, edge ? 7 : 8, edge ? 0 : 2, edge ? 2.0 : 0.0);
        cad.gsDisplayLine(minY, minX + v, minY + side, minX + v, edge ? 7 : 8, edge ? 0 : 2, edge ? 2.0 : 0.0);
        char label[32];
        std::snprintf(label, sizeof label, "%.0f", v);
        cad.gsDisplayText(label, minY + v, minX - 10, 7, 8, 0, 14.0f, 0.0f);
        cad.gsDisplayText(label, minY - 10, minX + v, 7, 6, 0, 14.0f, 0.0f);
    }
    for (const char* ext : {"png", "svg"}) {
        const std::string file = ctx.folder + "site_frame." + ext;
        if (cad.render(file, 800, 800)) ctx.written.push_back(file);
        else std::fprintf(stderr, "Unable to write %s\n", file.c_str());
    }
}

DemoStep frameStep(0, "site frame", drawSiteFrame);

}  // namespace

DemoStep::DemoStep(int rank, const char* name, std::function<void(DemoContext&)> run) {
    steps().emplace(rank, Step{name, std::move(run)});
}

int runDemo(DemoContext& context) {
    int done = 0;
    const int total = static_cast<int>(steps().size());
    for (auto& [rank, step] : steps()) {
        (void)rank;
        std::fprintf(stderr, "Demo step %d of %d: %s\n", ++done, total, step.name.c_str());
        step.run(context);
    }
    return 0;
}
