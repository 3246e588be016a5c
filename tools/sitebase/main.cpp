// sitebase: the headless host program of the library. It owns the settings stores, the main
// frame, the drawing window and the question boxes, and exposes the library's main jobs as
// commands.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "database/frame.h"
#include "platform/cad.h"
#include "host.h"
#include "tabular.h"

namespace {

// `help [COMMAND...]`: the usage of the program or of a command (exit 0); an unknown command's
// name is a usage error (exit 2).
void addHelpCommand(CLI::App& app) {
    static std::vector<std::string> path;
    auto* help = app.add_subcommand("help", "Show the usage of the program or of a command (help terrain import-points)");
    help->add_option("COMMAND", path, "The command and its sub-commands");
    help->callback([&app] {
        const CLI::App* at = &app;
        for (const std::string& name : path) {
            const CLI::App* next = nullptr;
            for (const CLI::App* sub : at->get_subcommands({}))
                if (sub->get_name() == name) next = sub;
            if (!next) {
                std::fprintf(stderr, "No command %s\n%s", name.c_str(), at->help().c_str());
                commandResult() = 2;
                return;
            }
            at = next;
        }
        // Straight from the formatter: help() of the program would show the selected `help`.
        std::printf("%s", at->get_formatter()->make_help(at, at->get_name(), CLI::AppFormatMode::Normal).c_str());
        commandResult() = 0;
    });
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"sitebase: the site database of the design suite, from the command line"};
    app.require_subcommand(1);
    // The program's options may follow the command too: `sitebase terrain list --format json`.
    app.fallthrough();
    app.set_version_flag("--version", [] { return std::string("sitebase ") + dbfGetAppVersion(); },
                         "Print the library's version and exit");
    Host& h = host();
    app.add_option("--config", h.configFile, "Program settings file (default: $SITEBASE_CONFIG or ~/.config/sitebase/sitebase.ini)");
    app.add_option("--project", h.projectOverride,
                   "The project's job file for this command only (default: the current project of the settings)");
    addFormatOption(app);
    bool yes = false, no = false;
    app.add_flag("--yes", yes, "Answer Yes to every question");
    app.add_flag("--no", no, "Answer No to every question");
    app.add_flag("--quiet", h.quiet, "No status line or progress bar");
    app.parse_complete_callback([&] {
        if (yes) h.ui.preset = ConsoleUi::Preset::Yes;
        if (no) h.ui.preset = ConsoleUi::Preset::No;
    });
    addAllCommandGroups(app);
    addHelpCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version end with 0; any mistake on the command line is a usage error: 2, with
        // the usage of the command it was meant for.
        if (e.get_exit_code() == 0) return app.exit(e);
        const CLI::App* at = &app;
        for (auto subs = at->get_subcommands(); !subs.empty(); subs = at->get_subcommands()) at = subs.front();
        // With fallthrough, a word the command does not take is left over with the program.
        std::vector<std::string> left = at->remaining();
        if (left.empty()) left = app.remaining();
        // A word where a command was wanted names no command: say so rather than "required".
        if (!at->get_subcommands({}).empty() && !left.empty() && left.front()[0] != '-')
            std::fprintf(stderr, "No command %s\n\n", left.front().c_str());
        else
            std::fprintf(stderr, "%s\n\n", e.what());
        std::fprintf(stderr, "%s", at->help().c_str());
        return 2;
    }
    // The font caches that drawing text filled are given back, so a leak check at exit sees
    // only what the program itself left behind.
    cadReleaseFontCaches();
    return commandResult();
}
