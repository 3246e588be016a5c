// The host side of sitebase: the windows, the settings stores and the library's start-up and
// shut-down around every command, and the registry through which each command group adds its
// sub-commands.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <stdexcept>
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

    // Error boxes (MB_ICONERROR) shown since the command started: a command that showed one
    // never ends with success (runCommand turns its 0 into 1).
    int errorsShown = 0;

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
// SIGTERM presses it too (Host::start installs both).
class ConsoleCadWindow : public HeadlessCadWindow {
public:
    bool CheckEscapePressed(int option) override;
    // Whether a check saw Escape since the command started: the work stopped at that point,
    // and runCommand says "Cancelled" and ends the command with 1.
    bool escapeSeen = false;
};

class Host {
public:
    ConsoleUi ui;
    CMDIFrameWnd frame{&ui};
    ConsoleCadWindow cad;
    std::string configFile;   // the program settings file
    bool quiet = false;       // no status line or progress on the terminal
    // The project of this command alone (--project): it stands in for the current project of the
    // program settings, which it leaves as it is, so scripts running side by side do not change
    // each other's project.
    std::string projectOverride;

    // Opens the settings stores and the current project, and starts the library.
    void start();
    // Ends the library and saves the settings stores.
    void stop();
    bool started() const { return started_; }

    // The current project's job file (empty when none is open): --project's, else the settings'.
    std::string projectFile() const;
    // Makes the project file the current one: remembered in the program settings, or for this
    // command alone when --project was given.
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

// A mistake in what the user typed that shows only once the library has started (a road number
// above Roads/MaxRoads): runCommand prints the text and ends the command with 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs a command body between start() and stop(). The one exit-code rule of the host: 0 success,
// 1 failure, 2 usage. A user exception ends the command with 1; a UsageError with 2; a body
// that returns 0 after an error box was shown, or after Escape (Ctrl-C, SIGTERM) stopped the
// work, ends with 1 (the latter says "Cancelled").
int runCommand(const std::function<int()>& body);
// Whether the command running has failed so far (an error box, or Escape): a command checks it
// before it reports success.
bool commandFailedSoFar();

// The project and its current road (host_project.cpp). requireProject says how to open one when
// none is. openRoad opens road `id` (0: the current one) with its work copies; false after
// saying why (a damaged road file is refused by the library and left as it is). closeRoad closes
// it, with save writing the changes to the saved road file without a question; false when the
// road file was found damaged, a write failed or the save failed (the work copy then stays for
// recovery).
bool requireProject();
// Why the path is not a project's job file (missing, a folder, no [Global] section); empty when
// it is one.
std::string projectFileProblem(const std::string& path);
bool openRoad(int id = 0);
// The `road` command group, made by whichever command file adds to it first, and the road its
// `--road` option names (0: the current road).
CLI::App* roadCommand(CLI::App& app);
int roadOption(CLI::App* road);
bool closeRoad(bool save);

// The exit code of the command that ran.
int& commandResult();
// Adds every registered command group to the program (main does this once).
void addAllCommandGroups(CLI::App& app);
// Runs every demo step in order; 0 when all succeeded.
int runDemo(DemoContext& context);

// ---------------------------------------------------------------------------------------------
// What the user types (host_input.cpp)

// Reals. One reader for every real the host takes from the command line or a file: a plain
// decimal number (sign, digits, one point, exponent), blanks around it allowed, nothing else; no
// NaN, no infinities, no hexadecimal; and within ±kRealLimit. Empty when the text is such a
// number (value then holds it), otherwise the reason ("nan is not a number").
constexpr double kRealLimit = 1e12;   // far beyond any coordinate, chainage, level or distance
inline const std::string kRealLimitText = "1e12";
std::string realProblem(const std::string& text, double& value);
bool parseReal(const std::string& text, double& value);
// The check of every option or argument that takes a real: `->check(RealNumber)`. A bad value is
// a usage error (exit 2) whose message names the option: "--extent: nan is not a number".
inline const CLI::Validator RealNumber{[](std::string& text) {
                                           double value = 0.0;
                                           return realProblem(text, value);
                                       },
                                       "", "REAL"};

// Counts and limits: a whole number from 0, `->check(CountNumber)`; "-1 is not a count (a whole
// number from 0)" otherwise.
std::string countProblem(const std::string& text);
inline const CLI::Validator CountNumber{[](std::string& text) { return countProblem(text); }, "", "COUNT"};

// Road numbers. `--road N` checks N ≥ 1 with `->check(RoadNumber)` when the command line is read;
// requireRoadNumber checks the top (Roads/MaxRoads, read once the settings are open) and throws
// UsageError above it.
std::string roadNumberProblem(const std::string& text);
inline const CLI::Validator RoadNumber{[](std::string& text) { return roadNumberProblem(text); }, "1..MaxRoads", "ROAD"};
void requireRoadNumber(int road);

// Names. Point names and string names typed on the command line go through the same pickers
// the dialogs use (host_pickers.cpp), so the same characters are refused and the same lengths
// hold: `->check(PointName)` (16 characters; no commas, wildcards or suffix characters),
// `->check(PointPattern)` (name patterns: wildcards and suffix characters too) and
// `->check(StringName)` (31 characters; letters, digits and the underscore).
// "A,B: ',' cannot be typed in a point name"; "... is longer than 16 characters".
std::string pointNameProblem(const std::string& text, bool patterns);
std::string stringNameProblem(const std::string& text);
inline const CLI::Validator PointName{[](std::string& text) { return pointNameProblem(text, false); }, "", "NAME"};
inline const CLI::Validator PointPattern{[](std::string& text) { return pointNameProblem(text, true); }, "", "PATTERN"};
inline const CLI::Validator StringName{[](std::string& text) { return stringNameProblem(text); }, "", "STRING"};

// Code page. The tables declare code page 1252 in their headers (the language driver byte), and
// the library stores their texts as 8-bit bytes, so the host converts at its edge: text typed by
// the user (UTF-8) into 1252 before it reaches a table, and table text back into UTF-8 before it
// reaches the terminal or an output file. Kept here, not in the table layer, because only the host
// knows that its terminal speaks UTF-8; the library and the files stay byte for byte as the
// suite's other programs write them.
// False when the text is not UTF-8 or holds a character 1252 lacks; why then says which, as a
// reason that follows the value ("holds 日, which the table's code page (Windows-1252) lacks").
bool utf8ToCodePage(const std::string& utf8, std::string& bytes, std::string& why);
std::string codePageToUtf8(const std::string& bytes);
// The number of characters of a UTF-8 text (for padding columns).
std::size_t utf8Length(const std::string& utf8);
