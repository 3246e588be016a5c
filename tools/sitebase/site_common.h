// What the site command files share (defined in cmd_site.cpp).
#pragma once

#include <string>

#include "host.h"

// The `site` command group, made by whichever site command file adds to it first.
CLI::App* siteCommand(CLI::App& app);
// Opens the project's terrain display (and its pipe tables); false after saying why.
bool siteOpen();
void siteClose();
// A view "Y1,X1,Y2,X2"; empty when good, else why.
std::string siteParseView(const std::string& text, double view[4]);
// The project's view ("SiteView"/"Rect"), or the whole site.
void siteCurrentView(double view[4]);
// --layers: "all" or a comma list of layer names; empty when good, else why.
std::string siteApplyLayers(const std::string& list);
// The display settings of the demo's site plan.
void siteDemoSettings();
