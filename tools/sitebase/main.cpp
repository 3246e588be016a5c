// sitebase: the headless host program of the library. It owns the settings stores, the main
// frame, the drawing window and the question boxes, and exposes the library's main jobs as
// commands.
#include <CLI/CLI.hpp>

#include "host.h"

int main(int argc, char** argv) {
    CLI::App app{"sitebase: the site database of the design suite, from the command line"};
    app.require_subcommand(1);
    Host& h = host();
    app.add_option("--config", h.configFile, "Program settings file (default: $SITEBASE_CONFIG or ~/.config/sitebase/sitebase.ini)");
    bool yes = false, no = false;
    app.add_flag("--yes", yes, "Answer Yes to every question");
    app.add_flag("--no", no, "Answer No to every question");
    app.add_flag("--quiet", h.quiet, "No status line or progress bar");
    app.parse_complete_callback([&] {
        if (yes) h.ui.preset = ConsoleUi::Preset::Yes;
        if (no) h.ui.preset = ConsoleUi::Preset::No;
    });
    addAllCommandGroups(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version end with 0; any mistake on the command line is a usage error: 2.
        return app.exit(e) == 0 ? 0 : 2;
    }
    return commandResult();
}
