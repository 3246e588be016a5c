// Commands of the library frame: library (what start-up found), files (a project's data file
// names by kind), lock (take a data file's lock), design get / set (the current road's design
// settings) and next-name (point names in sequence, with the status line and progress bar).
#include <cstdio>
#include <fstream>
#include <string>

#include "database/frame.h"
#include "host.h"
#include "platform/core.h"
#include "tabular.h"

namespace {

std::string dataFileName(const char* extension, unsigned kind, int inWorkFolder = 0) {
    char name[MAX_PATH] = {};
    dbfFileName(name, extension, kind, inWorkFolder);
    return name;
}

// The project's data files, by kind, in the form "kind  purpose  name".
std::vector<std::pair<std::string, std::string>> projectFiles(int inWorkFolder) {
    const int road = coreGetJobDefaultInt("Global", "RoadId", 1);
    const std::string roadText = std::to_string(road);
    return {
        {"2    terrain database", dataFileName("dtm", kFileProject, inWorkFolder)},
        {"2    terrain lock", dataFileName("tlk", kFileProject, inWorkFolder)},
        {"2    grid volumes", dataFileName("grd", kFileProject, inWorkFolder)},
        {"2    contours, surface 1", dataFileName("1.cnt", kFileProject, inWorkFolder)},
        {"32   road design settings", dataFileName("des", kFileRoad, inWorkFolder)},
        {"32   road work file", dataFileName("$se", kFileRoad, inWorkFolder)},
        {"256  road file", dataFileName(roadText.c_str(), kFileRoadSec, inWorkFolder)},
        {"768  road strings", dataFileName(roadText.c_str(), kFileRoadStr, inWorkFolder)},
    };
}

void addFrameCommands(CLI::App& app) {
    auto* library = app.add_subcommand("library", "Show what the library found at start-up");
    library->callback([] {
        commandResult() = runCommand([] {
            DBFLIBRARYINFO s;
            if (!dbfLibraryInfo(s)) return 1;
            const auto text = [](const std::string& value, bool present) { return present ? value : value + " (missing)"; };
            printReport({
                {"Version", dbfGetAppVersion()},
                {"Block cache", std::to_string(s.cacheSlots) + " slots (" + std::to_string(s.cachePercent) +
                                    " percent of " + std::to_string(s.physicalMemory) + " bytes)"},
                {"Sewer settings", text(s.sewerSettingsPath, s.sewerSettings)},
                {"Storm settings", text(s.stormSettingsPath, s.stormSettings)},
                {"Storm model", text(s.stormModelPath, s.stormModel)},
                {"Roads", "1.." + std::to_string(s.maxRoads)},
                {"Axes", std::string(dbfAxisName(0)) + ", " + dbfAxisName(1) + ", " + dbfAxisName(2)},
            });
            return 0;
        });
    });

    static bool inWork = false;
    auto* files = app.add_subcommand("files", "List the current project's data file names by kind");
    files->add_flag("--work", inWork, "Names in the work folder, where one is set");
    files->callback([] {
        commandResult() = runCommand([] {
            if (!requireProject()) return 1;
            OutputTable table;
            table.column("kind").column("file");
            for (const auto& [kind, name] : projectFiles(inWork ? 1 : 0)) table.row({kind, name});
            char work[MAX_PATH];
            dbfWorkFileName(work, kWorkTerrain);
            table.row({"1024 terrain work file", *work ? work : "(none open)"});
            printOutput(table);
            return 0;
        });
    });

    static std::string lockFile, lockExtension = "tlk";
    auto* lock = app.add_subcommand("lock", "Take a data file's lock file, as opening it would");
    lock->add_option("FILE", lockFile, "The data file")->required();
    lock->add_option("--ext", lockExtension, "The lock file's extension")->capture_default_str();
    lock->callback([] {
        commandResult() = runCommand([] {
            if (!dbfCheckLockStatus(lockFile.c_str(), lockExtension.c_str())) return 1;
            char name[MAX_PATH];
            coreStrncpy(name, lockFile.c_str(), sizeof name);
            coreChangeFileExt(name, lockExtension.c_str());
            std::ifstream in(name);
            std::string line;
            std::getline(in, line);
            std::printf("Locked: %s holds \"%s\"\n", name, line.c_str());
            return 0;
        });
    });

    auto* design = app.add_subcommand("design", "Read and write the current road's design settings");
    design->require_subcommand(1);
    static int road = 0;
    static std::string section, key, value;
    design->add_option("--road", road, "Make this road current first (Global/RoadId)")->check(RoadNumber);
    auto selectRoad = [] {
        if (road == 0) return;
        requireRoadNumber(road);
        coreSetJobDefaultInt("Global", "RoadId", road);
    };
    auto* get = design->add_subcommand("get", "Print a design setting (--real: as a number to three decimals)");
    static bool real = false;
    static std::string def;
    get->add_option("SECTION", section, "The design settings section")->required();
    get->add_option("KEY", key, "The setting's name")->required();
    get->add_option("--default", def, "The value when the key is missing");
    get->add_flag("--real", real, "Read as a real number");
    get->callback([selectRoad] {
        commandResult() = runCommand([selectRoad] {
            if (!requireProject()) return 1;
            selectRoad();
            if (real) {
                double fallback = 0.0;
                if (!def.empty()) {
                    const std::string problem = realProblem(def, fallback);
                    if (!problem.empty()) throw UsageError("--default: " + problem);
                }
                std::printf("%.3f\n", dbfGetRoadDefaultDouble(section.c_str(), key.c_str(), fallback));
            } else {
                char buffer[1024];
                dbfGetRoadDefault(section.c_str(), key.c_str(), def.c_str(), buffer, sizeof buffer);
                std::printf("%s\n", buffer);
            }
            std::printf("(from %s)\n", dbfGetDesFile()->FileName());
            return 0;
        });
    });
    auto* set = design->add_subcommand("set", "Write a design setting");
    set->add_option("SECTION", section, "The design settings section")->required();
    set->add_option("KEY", key, "The setting's name")->required();
    set->add_option("VALUE", value, "The new value")->required();
    set->callback([selectRoad] {
        commandResult() = runCommand([selectRoad] {
            if (!requireProject()) return 1;
            selectRoad();
            dbfSetRoadDefault(section.c_str(), key.c_str(), value.c_str());
            std::printf("%s/%s=%s in %s\n", section.c_str(), key.c_str(), value.c_str(),
                        dbfGetDesFile()->FileName());
            return 0;
        });
    });

    static std::string firstName;
    static int count = 1;
    auto* nextName = app.add_subcommand("next-name", "Print the point names that follow a name");
    nextName->add_option("NAME", firstName, "The name to start from")->required();
    nextName->add_option("--count", count, "How many names")->capture_default_str()->check(CLI::Range(1, 10000000));
    nextName->callback([] {
        commandResult() = runCommand([] {
            char name[32];
            coreStrncpy(name, firstName.c_str(), 17);
            const int step = dbfProgressStep(count);
            const bool printAll = count <= 100;
            dbfDispStatus("Numbering points (Ctrl-C to cancel)", kStatusResetBusy);
            dbfDispGraph(0, 0, "Numbering points");
            int abort = 0;
            for (int i = 1; i <= count; ++i) {
                dbfIncrString(name);
                if (printAll) std::printf("%s\n", name);
                if (i % step == 0) {
                    dbfDispGraph(i, count, "Numbering points");
                    if (dbfCheckEscape(abort, 0)) break;
                }
            }
            dbfDispGraph(0, 0, nullptr);
            dbfDispStatus(nullptr, kStatusClear);
            if (!printAll) std::printf("%s\n", name);
            return abort ? 1 : 0;
        });
    });
}

CommandGroup group(addFrameCommands);

// The demo lists the sample project's data file names beside its pictures.
void writeFileNames(DemoContext& context) {
    const std::string path = context.folder + "files.txt";
    std::ofstream out(path);
    for (const auto& [kind, name] : projectFiles(0)) out << kind << "  " << name << "\n";
    if (out) context.written.push_back(path);
}

DemoStep fileNamesStep(5, "project file names", writeFileNames);

}  // namespace
