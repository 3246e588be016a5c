// What several command groups need of the project: a project must be open, and the current
// road is opened and closed the same way everywhere, so that a damaged road file or a failed
// save ends every command alike.
#include <cstdio>
#include <string>

#include <strings.h>

#include "database/frame.h"
#include "database/road.h"
#include "host.h"
#include "platform/core.h"

std::string projectFileProblem(const std::string& path) {
    if (coreFolderExist(path.c_str())) return path + " is a folder, not a project's job file";
    if (!coreFileExist(path.c_str())) return "No project file " + path;
    FILE* in = coreFileOpen(path.c_str(), "rt");
    if (!in) return coreFileErrorText("read", path.c_str());
    // A job file is a settings file with the project's [Global] section (its name, projection
    // and current road live there); the first thousand lines must show it.
    char line[1024];
    bool global = false;
    for (int n = 0; !global && n < 1000 && coreFileTxtRead(line, in, sizeof line); ++n)
        global = strcasecmp(coreTrimStr(line), "[Global]") == 0;
    coreFileClose(in);
    return global ? "" : path + " is not a project's job file (it has no [Global] section)";
}

bool requireProject() {
    const std::string project = host().projectFile();
    if (project.empty()) {
        std::fprintf(stderr, "No project is open. Create one with: sitebase project new DIR NAME, or give --project FILE\n");
        return false;
    }
    const std::string problem = projectFileProblem(project);
    if (problem.empty()) return true;
    std::fprintf(stderr, "%s\n", problem.c_str());
    return false;
}

bool openRoad(int id) {
    if (!requireProject()) return false;
    if (id != 0) {
        requireRoadNumber(id);
        coreSetJobDefaultInt("Global", "RoadId", id);
    }
    dbfRoadInit(1, 1);
    char work[MAX_PATH];
    dbfWorkFileName(work, kWorkRoad);
    if (dbfRoadFileFailed() || !coreFileExist(work)) {
        char saved[MAX_PATH];
        dbfFileName(saved, "sec", kFileRoad, 0);
        std::fprintf(stderr, "Unable to open the road file %s\n", saved);
        closeRoad(false);
        return false;
    }
    return true;
}

bool closeRoad(bool save) {
    const bool failed = dbfRoadFileFailed() != 0;
    const ConsoleUi::Preset kept = host().ui.preset;
    host().ui.preset = save && !failed ? ConsoleUi::Preset::Yes : ConsoleUi::Preset::No;
    // A failed save keeps the work copy for recovery (the library said why); a close that
    // worked deletes it.
    char work[MAX_PATH];
    dbfWorkFileName(work, kWorkRoad);
    dbfRoadInit(0, 1);
    host().ui.preset = kept;
    if (failed && save) std::fprintf(stderr, "Nothing was saved\n");
    return !failed && !coreFileExist(work);
}

CLI::App* roadCommand(CLI::App& app) {
    try {
        return app.get_subcommand("road");
    } catch (const CLI::OptionNotFound&) {
        return app.add_subcommand("road", "Create and edit the project's road design files");
    }
}

int roadOption(CLI::App* road) { return road->count("--road") ? road->get_option("--road")->as<int>() : 0; }
