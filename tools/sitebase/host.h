// The host side of sitebase: the windows, the settings stores and the library's start-up and
// shut-down around every command, and the registry through which each command group adds its
// sub-commands.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

#include "platform/cad.h"
#include "platform/ui.h"

// Shows boxes on the terminal. Questions are read from standard input when it is a terminal;
// otherwise (and with --yes / --no) they take the preset answer.
class ConsoleUi : public HostUi {
public:
    enum class Preset { Ask, Yes, No };
    Preset preset = Preset::Ask;

    int messageBox(const std::string& text, const std::string& caption, unsigned style) override;
    int yesToAll(const std::string& prompt, const std::string& caption) override;
    bool fileBox(FileBoxRequest& request, std::string& chosen) override;
    int dialog(const std::string& name, void* record) override;
    bool messageWaiting() override;
    bool pumpMessage() override;

    // The path the next file box answers with (from a command's argument); empty cancels.
    std::string nextFile;

private:
    bool askYes(const std::string& question, bool defaultYes);
};

// The drawing window of the terminal host: Ctrl-C presses Escape.
class ConsoleCadWindow : public HeadlessCadWindow {
public:
    bool CheckEscapePressed(int option) override;
};

class Host {
public:
    ConsoleUi ui;
    CMDIFrameWnd frame{&ui};
    ConsoleCadWindow cad;
    std::string configFile;   // the program settings file
    bool quiet = false;       // no status line or progress on the terminal

    // Opens the settings stores and the current project, and starts the library.
    void start();
    // Ends the library and saves the settings stores.
    void stop();
    bool started() const { return started_; }

    // The current project's job file (empty when none is open).
    std::string projectFile() const;
    // Makes the project file the current one (remembered in the program settings).
    void openProject(const std::string& path);

private:
    bool started_ = false;
};

Host& host();

// A command group adds its sub-commands to the program; each .cpp of a group declares one
// `static CommandGroup group(function);`. The function's commands call host().start() first.
struct CommandGroup {
    explicit CommandGroup(std::function<void(CLI::App&)> add);
};

// The demo is built step by step: each subsystem adds a step, run in order of rank.
struct DemoContext {
    std::string folder;        // the demo's output folder (with its trailing '/')
    std::string projectFile;   // the sample project's job file
    std::vector<std::string> written;   // files written, listed at the end
};
struct DemoStep {
    DemoStep(int rank, const char* name, std::function<void(DemoContext&)> run);
};

// Runs a command body between start() and stop(), turning a user exception into a message and
// an exit code of 1.
int runCommand(const std::function<int()>& body);

// The exit code of the command that ran.
int& commandResult();
// Adds every registered command group to the program (main does this once).
void addAllCommandGroups(CLI::App& app);
// Runs every demo step in order; 0 when all succeeded.
int runDemo(DemoContext& context);
