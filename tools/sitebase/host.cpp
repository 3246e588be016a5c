#include "host.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "database/frame.h"
#include "platform/core.h"
#include "platform/os.h"

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Console UI

bool ConsoleUi::askYes(const std::string& question, bool defaultYes) {
    if (preset != Preset::Ask || !isatty(STDIN_FILENO)) {
        // Answered without asking: the question and its answer go to the log on one line.
        const bool yes = preset == Preset::Yes;
        std::cerr << question << "  -> " << (yes ? "yes" : "no") << "\n";
        return yes;
    }
    std::cerr << question << (defaultYes ? " [Y/n] " : " [y/N] ") << std::flush;
    std::string line;
    if (!std::getline(std::cin, line) || line.empty()) return defaultYes;
    return line[0] == 'y' || line[0] == 'Y';
}

int ConsoleUi::messageBox(const std::string& text, const std::string& caption, unsigned style) {
    const unsigned buttons = style & MB_BUTTONMASK;
    if ((style & MB_ICONMASK) == MB_ICONERROR) ++errorsShown;
    if (buttons == MB_OK) {
        std::cerr << (caption.empty() ? "" : caption + ": ") << text << "\n";
        return IDOK;
    }
    const bool yes = askYes((caption.empty() ? "" : caption + ": ") + text, false);
    if (buttons == MB_OKCANCEL) return yes ? IDOK : IDCANCEL;
    return yes ? IDYES : IDNO;
}

int ConsoleUi::yesToAll(const std::string& prompt, const std::string& caption) {
    if (preset == Preset::Yes) return 2;
    if (preset == Preset::No || !isatty(STDIN_FILENO)) return 0;
    std::cerr << caption << ": " << prompt << " [y/n/a] " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line) || line.empty()) return 0;
    if (line[0] == 'a' || line[0] == 'A') return 2;
    return line[0] == 'y' || line[0] == 'Y' ? 1 : 0;
}

bool ConsoleUi::fileBox(FileBoxRequest& request, std::string& chosen) {
    if (!nextFile.empty()) {
        chosen = nextFile;
        nextFile.clear();
        return true;
    }
    if (preset != Preset::Ask || !isatty(STDIN_FILENO)) return false;
    std::cerr << request.title << " (file name, empty to cancel): " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line) || line.empty()) return false;
    chosen = line;
    return true;
}

int ConsoleUi::dialog(const std::string& name, void*) {
    std::cerr << "The " << name << " dialog is not available on the terminal; use the command's options.\n";
    return IDCANCEL;
}

bool ConsoleUi::messageWaiting() { return false; }
bool ConsoleUi::pumpMessage() { return true; }

bool ConsoleCadWindow::CheckEscapePressed(int option) {
    const bool scripted = HeadlessCadWindow::CheckEscapePressed(option);
    const bool pressed = osTakeEscape() || scripted;
    if (pressed) escapeSeen = true;
    return pressed;
}

// ---------------------------------------------------------------------------------------------
// Host

namespace {

std::string defaultConfigFile() {
    if (const char* env = std::getenv("SITEBASE_CONFIG"); env && *env) return env;
    fs::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".config";
    else
        base = fs::temp_directory_path();
    return (base / "sitebase" / "sitebase.ini").string();
}

// "  12,345/s, 0:42 left" for a run of the progress bar, measured from its first position; empty
// for the first second, while the rate means little.
std::string rateAndTimeLeft(long position, long total) {
    using Clock = std::chrono::steady_clock;
    static Clock::time_point started;
    static long startPosition = -1, runTotal = -1;
    const Clock::time_point now = Clock::now();
    if (total != runTotal || position < startPosition) {
        started = now;
        startPosition = position;
        runTotal = total;
    }
    const double seconds = std::chrono::duration<double>(now - started).count();
    if (seconds < 1.0 || position <= startPosition) return "";
    const double rate = (position - startPosition) / seconds;
    const long left = static_cast<long>((total - position) / rate + 0.5);
    char text[64];
    std::snprintf(text, sizeof text, "  %.0f/s, %ld:%02ld left", rate, left / 60, left % 60);
    return text;
}

// The status line and progress bar on the terminal.
void showOnTerminal(const HeadlessCadWindow& cad) {
    static std::string lastLine;
    const CadProgress& p = cad.progress();
    std::string line = cad.helpText();
    if (p.total > 0) {
        const int width = 30;
        const double f = std::min(1.0, std::max(0.0, static_cast<double>(p.position) / p.total));
        const int filled = static_cast<int>(f * width + 0.5);
        char pct[16];
        std::snprintf(pct, sizeof pct, "%3d%%", static_cast<int>(f * 100 + 0.5));
        line += (line.empty() ? "" : " ") + std::string("[") + std::string(static_cast<size_t>(filled), '#') +
                std::string(static_cast<size_t>(width - filled), ' ') + "] " + pct;
        if (!p.text.empty() && p.text != cad.helpText()) line += " " + p.text;
        line += rateAndTimeLeft(p.position, p.total);
    }
    if (line == lastLine) return;
    lastLine = line;
    if (isatty(STDERR_FILENO)) {
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        if (line.empty()) std::fprintf(stderr, "\r");
    } else if (!line.empty() && p.total == 0) {
        // In a log, status texts only: one line each.
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fflush(stderr);
}

}  // namespace

Host& host() {
    static Host h;
    return h;
}

std::string Host::projectFile() const {
    if (!projectOverride.empty()) return projectOverride;
    char buf[MAX_PATH] = {};
    coreGetDefault("Main", "Project", "", buf, sizeof buf);
    return buf;
}

void Host::openProject(const std::string& path) {
    if (!projectOverride.empty()) {
        projectOverride = path;
        coreSetJobFile(path.c_str());
        return;
    }
    coreSetDefault("Main", "Project", path.c_str());
    coreFlushDefault();
    coreSetJobFile(path.c_str());
}

void Host::start() {
    if (started_) return;
    if (configFile.empty()) configFile = defaultConfigFile();
    std::error_code ec;
    fs::create_directories(fs::path(configFile).parent_path(), ec);
    coreSetDefaultsFile(configFile.c_str());
    const std::string project = projectFile();
    if (!project.empty() && fs::exists(project)) coreSetJobFile(project.c_str());
    platformSetDefaultUi(&ui);
    osInstallCtrlCAsEscape();
    if (!quiet) cad.setConsoleHook(showOnTerminal);
    // The library's status line and progress bar reach the terminal through the drawing window.
    initDbfAPI(&frame, &cad, nullptr);
    started_ = true;
}

void Host::stop() {
    if (!started_) return;
    unInitDbfAPI();
    coreFlushJobDefault();
    coreFlushDefault();
    if (!quiet) {
        cad.setConsoleHook(nullptr);
        if (isatty(STDERR_FILENO)) std::fprintf(stderr, "\r\033[K");
    }
    platformSetDefaultUi(nullptr);
    started_ = false;
}

// ---------------------------------------------------------------------------------------------
// Command and demo registries

namespace {
std::vector<std::function<void(CLI::App&)>>& groups() {
    static std::vector<std::function<void(CLI::App&)>> g;
    return g;
}
}  // namespace

CommandGroup::CommandGroup(std::function<void(CLI::App&)> add) { groups().push_back(std::move(add)); }

void addAllCommandGroups(CLI::App& app) {
    for (auto& add : groups()) add(app);
}

bool commandFailedSoFar() { return host().ui.errorsShown > 0 || host().cad.escapeSeen; }

int runCommand(const std::function<int()>& body) {
    int rc = 1;
    Host& h = host();
    h.ui.errorsShown = 0;
    h.cad.escapeSeen = false;
    h.start();
    try {
        rc = body();
    } catch (const CUserException&) {
        std::fprintf(stderr, "The command was ended.\n");
        rc = 1;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        rc = 2;
    }
    h.stop();
    if (h.cad.escapeSeen) {
        std::fprintf(stderr, "Cancelled\n");
        if (rc == 0) rc = 1;
    }
    // Boxes shown while the library shut down count too: a failed save at the close is one.
    if (rc == 0 && h.ui.errorsShown > 0) rc = 1;
    return rc;
}
