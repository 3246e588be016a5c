// Commands: project new / info, settings get / set, demo.
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "host.h"
#include "platform/core.h"
#include "tabular.h"

namespace fs = std::filesystem;

int& commandResult() {
    static int rc = 0;
    return rc;
}

namespace {

std::string absolute(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

// Makes a project folder with its job file and opens it.
bool createProject(const std::string& folder, const std::string& name, std::string& jobFile) {
    // The name becomes the job file's and every data file's name: one name, no folders.
    if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." || name == "..") {
        std::fprintf(stderr, "The project name %s may not be empty or hold / or \\; the folder is the first argument\n",
                     name.c_str());
        return false;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "Unable to create the folder %s: %s\n", folder.c_str(), ec.message().c_str());
        return false;
    }
    jobFile = absolute((fs::path(folder) / (name + ".prj")).string());
    host().openProject(jobFile);
    coreSetJobDefault("Global", "Merolind", jobFile.c_str());
    coreFlushJobDefault();
    return true;
}

std::string getSetting(bool job, const std::string& section, const std::string& key, const char* def = "") {
    char buf[1024] = {};
    if (job)
        coreGetJobDefault(section.c_str(), key.c_str(), def, buf, sizeof buf);
    else
        coreGetDefault(section.c_str(), key.c_str(), def, buf, sizeof buf);
    return buf;
}

void addProjectCommands(CLI::App& app) {
    auto* project = app.add_subcommand("project", "Create, open and describe projects");
    project->require_subcommand(1);

    static std::string folder, name;
    auto* create = project->add_subcommand("new", "Create a project folder and its job file, and make it current");
    create->add_option("DIR", folder, "Project folder (made when missing)")->required();
    create->add_option("NAME", name, "Project name: the job file is DIR/NAME.prj")->required();
    create->callback([] {
        commandResult() = runCommand([] {
            std::string job;
            if (!createProject(folder, name, job)) return 1;
            std::printf("Project %s created: %s\n", name.c_str(), job.c_str());
            return 0;
        });
    });

    static std::string openPath;
    auto* open = project->add_subcommand("open", "Make an existing project's job file current");
    open->add_option("FILE", openPath, "The project's job file (.prj)")->required();
    open->callback([] {
        commandResult() = runCommand([] {
            if (const std::string problem = projectFileProblem(openPath); !problem.empty()) {
                std::fprintf(stderr, "%s\n", problem.c_str());
                return 1;
            }
            host().openProject(absolute(openPath));
            std::printf("Current project: %s\n", absolute(openPath).c_str());
            return 0;
        });
    });

    auto* info = project->add_subcommand("info", "Describe the current project");
    info->callback([] {
        commandResult() = runCommand([] {
            const std::string job = host().projectFile();
            if (job.empty()) {
                std::printf("No project is open. Create one with: sitebase project new DIR NAME\n");
                return 1;
            }
            char work[MAX_PATH] = {};
            coreGetVirtualPath(work, sizeof work);
            if (outputFormat() != OutputFormat::Table) {
                OutputTable t;
                t.column("project file").column("project name").column("work folder").column("projection", true)
                    .column("hemisphere", true).column("longitude of origin", true).column("settings file");
                t.row({job, getSetting(true, "Global", "Merolind", "untitled"), work,
                       getSetting(true, "Global", "Projection", "-1"), getSetting(true, "Global", "Hemisphere", "0"),
                       getSetting(true, "Global", "PrimeMeridian", "0"), host().configFile});
                printOutput(t);
                return 0;
            }
            std::printf("Project file:  %s%s\n", job.c_str(), fs::exists(job) ? "" : " (missing)");
            std::printf("Project name:  %s\n", getSetting(true, "Global", "Merolind", "untitled").c_str());
            std::printf("Work folder:   %s\n", *work ? work : "(none)");
            std::printf("Projection:    %s, hemisphere %s, longitude of origin %s\n",
                        getSetting(true, "Global", "Projection", "-1").c_str(),
                        getSetting(true, "Global", "Hemisphere", "0").c_str(),
                        getSetting(true, "Global", "PrimeMeridian", "0").c_str());
            std::printf("Settings file: %s\n", host().configFile.c_str());
            return 0;
        });
    });

    auto* settings = app.add_subcommand("settings", "Read and write settings (program store, or --job for the project's)");
    settings->require_subcommand(1);
    static bool job = false;
    static std::string section, key, value;
    settings->add_flag("--job", job, "Use the current project's job settings");
    auto* get = settings->add_subcommand("get", "Print a setting");
    get->add_option("SECTION", section, "The settings section, as [Global]'s Global")->required();
    get->add_option("KEY", key, "The setting's name")->required();
    get->callback([] {
        commandResult() = runCommand([] {
            std::printf("%s\n", getSetting(job, section, key).c_str());
            return 0;
        });
    });
    auto* set = settings->add_subcommand("set", "Write a setting");
    set->add_option("SECTION", section, "The settings section, as [Global]'s Global")->required();
    set->add_option("KEY", key, "The setting's name")->required();
    set->add_option("VALUE", value, "The new value")->required();
    set->callback([] {
        commandResult() = runCommand([] {
            if (job) {
                if (host().projectFile().empty()) {
                    std::fprintf(stderr, "No project is open.\n");
                    return 1;
                }
                coreSetJobDefault(section.c_str(), key.c_str(), value.c_str());
                coreFlushJobDefault();
            } else {
                coreSetDefault(section.c_str(), key.c_str(), value.c_str());
                coreFlushDefault();
            }
            return 0;
        });
    });

    static std::string demoFolder = "out/demo";
    auto* demo = app.add_subcommand("demo", "Build a sample project and write its pictures and files");
    demo->add_option("DIR", demoFolder, "Output folder")->capture_default_str();
    demo->callback([] {
        commandResult() = runCommand([] {
            DemoContext ctx;
            ctx.folder = absolute(demoFolder);
            if (ctx.folder.back() != '/') ctx.folder += '/';
            std::error_code ec;
            fs::remove_all(ctx.folder, ec);
            if (!createProject(ctx.folder, "Demo", ctx.projectFile)) return 1;
            const int rc = runDemo(ctx);
            std::printf("Demo project: %s\n", ctx.projectFile.c_str());
            for (const auto& f : ctx.written) std::printf("  wrote %s\n", f.c_str());
            return rc;
        });
    });
}

CommandGroup group(addProjectCommands);

}  // namespace
