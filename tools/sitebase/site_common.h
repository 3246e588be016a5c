// What the site command files share (defined in cmd_site.cpp).
#pragma once

#include <string>

#include "host.h"

// The `site` command group, made by whichever site command file adds to it first.
CLI::App* siteCommand(CLI::App& app);
// Opens the project's terrain display (and its pipe tables) on a view: --view "Y1,X1,Y2,X2"
// or, when empty, the project's view ("SiteView"/"Rect") or the whole site; --layers "all" or
// a comma list of layer names. False after saying why the site could not be opened; a bad view
// or layer list is a usage error (thrown, the site closed).
bool siteOpenView(const std::string& viewText, const std::string& layers, double view[4]);
// Opens the project's terrain display (and its pipe tables); false after saying why.
bool siteOpen();
void siteClose();
// The display settings of the demo's site plan.
void siteDemoSettings();
