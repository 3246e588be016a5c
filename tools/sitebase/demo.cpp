// The demo: a sample project built step by step. Each subsystem adds its steps; the last one
// renders the whole site (cmd_site.cpp).
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
