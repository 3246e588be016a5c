// Commands of the road window: plot a road's cross-section or long section to PNG, SVG or PDF,
// and drive the window with a script of mouse and key events; and the demo step that plots the
// demo road.
//
// The host's side of the window is the hook: on a repaint (event 7) it plots the grid, the
// layers, the axes and the legend into the window; on key code 6 (the window's print command) it
// plots the same into the printer, whose frame and its labels the window draws itself. The PNG
// and SVG pictures are what the window shows; the PDF is the printed page.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "database/frame.h"
#include "database/road.h"
#include "database/roadwnd.h"
#include "database/section.h"
#include "host.h"
#include "platform/core.h"

namespace {

// Pens: design red, natural ground dark green, further layers in turn; grid light grey; frame
// and texts black (pen 7 is drawn in the page's opposite colour).
constexpr int kDesignPen = 1;
constexpr int kGroundPen = 94;
constexpr int kOtherPens[] = {5, 30, 6, 150, 210};
constexpr int kGridPen = 9;
constexpr int kInkPen = 7;
// The printer page, in printer units (the PDF page is A4 landscape).
constexpr double kPrinterWidth = 2000.0;
constexpr double kPrinterHeight = 1400.0;
constexpr int kPdfWidth = 842;
constexpr int kPdfHeight = 595;

struct PlotLayer {
    int layer = 0;
    std::string name;
    int pen = 0;
    bool design = false;
    XSECTION xs{};
    LongSection ls;
};

// What the hook plots: set up by the command before the window is initialised.
struct PlotJob {
    std::string title;
    std::string across;     // the axis title across
    bool chainage = false;  // a long section: x values are chainages
    _bsRECT axes{};         // the plotted area inside the window's view (screen pictures)
    double stepX = 10.0;
    double stepY = 1.0;
    std::vector<PlotLayer> layers;
};

PlotJob& job() {
    static PlotJob j;
    return j;
}

bool isGroundName(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name.find("ground") != std::string::npos || name.find("natural") != std::string::npos;
}

// A round step that gives about `lines` grid lines over the range.
double niceStep(double range, double lines) {
    const double raw = std::fabs(range) / lines;
    if (!(raw > 0.0)) return 1.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw) return m * magnitude;
    return 10.0 * magnitude;
}

std::string chainageText(double chg) {
    const double shown = dbfChgEquation(chg);
    const long metres = std::lround(shown);
    char text[32];
    std::snprintf(text, sizeof text, "%s%ld+%03ld", metres < 0 ? "-" : "", std::labs(metres) / 1000, std::labs(metres) % 1000);
    return text;
}

std::string numberText(double v, double step) {
    char text[32];
    std::snprintf(text, sizeof text, step < 1.0 ? "%.1f" : "%.0f", std::fabs(v) < 1e-9 ? 0.0 : v);
    return text;
}

// Device units (pixels, or printer units while printing) in user units across and up.
struct Units {
    double across;
    double up;
};

Units unitsOf(const CRoadWnd& w, const _bsRECT& v) {
    const double rangeX = std::fabs(v.right - v.left), rangeY = std::fabs(v.top - v.bottom);
    if (w.printing()) return Units{rangeX / kPrinterWidth, rangeX / kPrinterWidth};
    return Units{rangeX / w.width(), rangeY / w.height()};
}

void plotGrid(const _bsRECT& a) {
    const PlotJob& j = job();
    for (double x = std::ceil(a.left / j.stepX) * j.stepX; x <= a.right + 1e-9; x += j.stepX)
        dbfRoadPlotLine(kGridPen, 1, x, a.bottom, x, a.top, 0);
    for (double y = std::ceil(a.bottom / j.stepY) * j.stepY; y <= a.top + 1e-9; y += j.stepY)
        dbfRoadPlotLine(kGridPen, 1, a.left, y, a.right, y, 0);
}

// The frame, the values along both axes and the axis titles (the printer's frame is the window's).
void plotAxes(const _bsRECT& a, const Units& u, double text) {
    const PlotJob& j = job();
    dbfRoadPlotLine(kInkPen, 1, a.left, a.top, a.right, a.top, 0);
    dbfRoadPlotLine(kInkPen, 1, a.right, a.top, a.right, a.bottom, 0);
    dbfRoadPlotLine(kInkPen, 1, a.right, a.bottom, a.left, a.bottom, 0);
    dbfRoadPlotLine(kInkPen, 1, a.left, a.bottom, a.left, a.top, 0);
    for (double x = std::ceil(a.left / j.stepX) * j.stepX; x <= a.right + 1e-9; x += j.stepX) {
        const std::string label = j.chainage ? chainageText(x) : numberText(x, j.stepX);
        dbfRoadPlotText(kInkPen, x, a.bottom - 6.0 * u.up, label.c_str(), text, 0.0, 8);
    }
    for (double y = std::ceil(a.bottom / j.stepY) * j.stepY; y <= a.top + 1e-9; y += j.stepY)
        dbfRoadPlotText(kInkPen, a.left - 6.0 * u.across, y, numberText(y, j.stepY).c_str(), text, 0.0, 6);
    dbfRoadPlotText(kInkPen, (a.left + a.right) / 2.0, a.bottom - 3.2 * text * u.up, j.across.c_str(), text, 0.0, 8);
    dbfRoadPlotText(kInkPen, a.left - 5.0 * text * u.across, (a.top + a.bottom) / 2.0, "Level (m)", text, 90.0, 2);
}

// The legend: a sample of each layer's line and its name, in rows above the plotted area (so
// that it never hides the data), left to right, as many rows as the width needs. Returns the
// number of rows.
int plotLegend(const _bsRECT& a, const Units& u, double text) {
    const PlotJob& j = job();
    const double room = (a.right - a.left) / u.across;   // device units across the plot
    std::vector<std::vector<const PlotLayer*>> rows(1);
    double used = 0.0;
    for (const PlotLayer& l : j.layers) {
        const double width = (3.4 + 0.62 * l.name.size()) * text;
        if (used > 0.0 && used + width > room) {
            rows.emplace_back();
            used = 0.0;
        }
        rows.back().push_back(&l);
        used += width;
    }
    const int count = static_cast<int>(rows.size());
    for (int r = 0; r < count; ++r) {
        const double y = a.top + (0.9 + 1.5 * (count - 1 - r)) * text * u.up;
        double x = a.left;
        for (const PlotLayer* l : rows[r]) {
            // Samples are drawn as device lines: the plot lines are clipped to the view.
            int px = 0, py = 0;
            if (dbfRoadWindow()->printing()) dbfRoadWindow()->UserToPrinter(x, y, px, py);
            else dbfRoadWindowCoords(x, y, px, py);
            dbfRoadDrawLine(l->pen, 2, px, py, px + static_cast<int>(2.2 * text), py, 0);
            dbfRoadPlotText(kInkPen, x + 2.6 * text * u.across, y, l->name.c_str(), text, 0.0, 4);
            x += (3.4 + 0.62 * l->name.size()) * text * u.across;
        }
    }
    return count;
}

void plotJob() {
    CRoadWnd* w = dbfRoadWindow();
    if (!w) return;
    _bsRECT view{};
    dbfRoadGetViewLimits(view);
    const bool printing = w->printing();
    const _bsRECT a = printing ? view : job().axes;
    const Units u = unitsOf(*w, view);
    const double text = printing ? 28.0 : 13.0;
    plotGrid(a);
    for (PlotLayer& l : job().layers) {
        if (job().chainage) dbfRoadPlotLongSection(l.pen, &l.ls, 0.0, 0, 1);
        else dbfRoadPlotSection(l.pen, &l.xs, 0.0, l.design ? 1 : 0, 1);
    }
    if (!printing) plotAxes(a, u, text);
    const int rows = plotLegend(a, u, text);
    dbfRoadPlotText(kInkPen, a.left, a.top + (1.0 + 1.5 * rows) * text * u.up, job().title.c_str(), text * 1.3, 0.0, 1);
}

void plotHook(EVENT* e) {
    if (e->type == kRoadEventPaint || (e->type == kRoadEventKey && e->key == 6)) plotJob();
}

// The data's extent over every layer; false when there is nothing to plot.
bool dataLimits(_bsRECT& box) {
    box = _bsRECT{2147483647.0, -2147483647.0, -2147483647.0, 2147483647.0};
    for (PlotLayer& l : job().layers) {
        _bsRECT b = box;
        if (job().chainage) dbfLongSectLimits(b, &l.ls);
        else dbfSectLimits(b, l.xs);
        box = _bsRECT{std::min(box.left, b.left), std::max(box.right, b.right), std::max(box.top, b.top),
                      std::min(box.bottom, b.bottom)};
    }
    return box.left < box.right && box.bottom <= box.top;
}

// Opens the window on a view that holds the data with room for the axes, choosing the vertical
// exaggeration that fills the window's height.
bool openWindow(int width, int height) {
    _bsRECT data{};
    if (!dataLimits(data)) return false;
    // A little room inside the axes, so that no line runs along the frame.
    const double padX = 0.02 * (data.right - data.left), padY = std::max(0.05 * (data.top - data.bottom), 0.25);
    data = _bsRECT{data.left - padX, data.right + padX, data.top + padY, data.bottom - padY};
    const double across = (data.right - data.left) / 0.86;   // 10 % left, 4 % right
    const double aspect = static_cast<double>(height) / width;
    const double needed = (data.top - data.bottom) / 0.69;    // 15 % below, 16 % above
    const int ratio = std::max(1, static_cast<int>(std::floor(across * aspect / needed)));
    const double up = across * aspect / ratio;
    const double left = data.left - 0.10 * across, bottom = data.bottom - 0.15 * up;
    const _bsRECT view{left, left + across, bottom + up, bottom};
    if (!dbfRoadInitView(&view, job().chainage ? 1 : 0, plotHook, "Ratio", 0, 0)) return false;
    CRoadWnd* w = dbfRoadWindow();
    w->OnSize(width, height);
    w->SetVerticalRatio(ratio);
    w->InitView(&view, job().chainage ? 1 : 0, true);
    job().axes = _bsRECT{left + 0.10 * across, left + 0.96 * across, bottom + 0.84 * up, bottom + 0.15 * up};
    job().stepX = niceStep(job().axes.right - job().axes.left, job().chainage ? 10.0 : 12.0);
    job().stepY = niceStep(job().axes.top - job().axes.bottom, 8.0);
    return true;
}

// Writes the picture: PNG and SVG are the window's own, PDF is printed.
bool writePicture(const std::string& path, const std::string& format) {
    CRoadWnd* w = dbfRoadWindow();
    if (format != "pdf") {
        dbfRoadRefresh();
        return w->RenderTo(path);
    }
    // The printer shows the plotted area itself, framed and labelled by the window.
    const _bsRECT axes = job().axes;
    w->InitView(&axes, job().chainage ? 1 : 0, false);
    HeadlessCadWindow printer;
    dbfRoadStartPrinting(&printer, _bsRECT{0.0, kPrinterWidth, 0.0, kPrinterHeight});
    dbfRoadSendKey(6);
    dbfRoadStopPrinting();
    return printer.render(path, kPdfWidth, kPdfHeight);
}

void pickLayers(const CHGBASE& rec, double chg) {
    int others = 0;
    for (int slot = 0; slot < kRoadLayers; ++slot) {
        if (rec.layers[slot] == 0) continue;
        PlotLayer l;
        l.layer = slot + 1;
        char name[32];
        dbfRoadLayerName(name, static_cast<short>(l.layer), 0);
        l.name = name;
        if (!dbfGrabSect(chg, static_cast<short>(l.layer), &l.xs) || l.xs.count <= 0) continue;
        l.design = !isGroundName(l.name);
        l.pen = isGroundName(l.name) ? kGroundPen : (l.layer == 1 ? kDesignPen : kOtherPens[others++ % 5]);
        job().layers.push_back(std::move(l));
    }
}

std::string roadTitle() {
    char key[16], name[64];
    std::snprintf(key, sizeof key, "Road%d", coreGetJobDefaultInt("Global", "RoadId", 1));
    coreGetJobDefault("RoadList", key, "", name, sizeof name);
    return name[0] ? name : std::string("Road ") + std::to_string(coreGetJobDefaultInt("Global", "RoadId", 1));
}

// The cross-section at a chainage: every layer stored there. 0 and a message when there is none.
bool loadCrossSection(double chainage) {
    job() = PlotJob{};
    double chg = chainage;
    const unsigned idx = dbfFindChainage(chg, 1);
    CHGBASE rec;
    if (idx == 0 || chg != dbfRoundChg(chainage) || !dbfGrabChg(idx, &rec)) {
        std::fprintf(stderr, "No chainage %.3f in the road\n", dbfRoundChg(chainage));
        return false;
    }
    pickLayers(rec, chg);
    if (job().layers.empty()) {
        std::fprintf(stderr, "No cross-section at chainage %.3f\n", chg);
        return false;
    }
    job().title = roadTitle() + ": cross-section at " + chainageText(chg);
    job().across = "Offset (m)";
    return true;
}

// The long section: each layer's centre-line level at every chainage from..to.
bool loadLongSection(double from, double to) {
    job() = PlotJob{};
    job().chainage = true;
    if (from > to) std::swap(from, to);
    std::vector<double> chainages;
    double chg = kChgBeforeFirst;
    for (unsigned idx = dbfFindChainage(chg, 0); idx != 0 && chg <= dbfRoundChg(to); idx = dbfNextChainage(chg, 0))
        if (chg >= dbfRoundChg(from)) chainages.push_back(chg);
    std::vector<PlotLayer> layers(kRoadLayers);
    int others = 0;
    for (double at : chainages) {
        CHGBASE rec;
        const unsigned idx = dbfFindChainage(at, 0);
        if (idx == 0 || !dbfGrabChg(idx, &rec)) continue;
        for (int slot = 0; slot < kRoadLayers; ++slot) {
            XSECTION xs{};
            double level = 0.0;
            if (rec.layers[slot] == 0 || !dbfGrabSect(at, static_cast<short>(slot + 1), &xs) ||
                !dbfSectElevation(0.0, &xs, level))
                continue;
            layers[slot].ls.AddOffsetElevation(at, level, 0);
        }
    }
    for (int slot = 0; slot < kRoadLayers; ++slot) {
        PlotLayer& l = layers[slot];
        if (l.ls.Count() == 0) continue;
        l.layer = slot + 1;
        char name[32];
        dbfRoadLayerName(name, static_cast<short>(l.layer), 0);
        l.name = name;
        l.design = !isGroundName(l.name);
        l.pen = isGroundName(l.name) ? kGroundPen : (l.layer == 1 ? kDesignPen : kOtherPens[others++ % 5]);
        job().layers.push_back(l);
    }
    if (job().layers.empty() || job().layers[0].ls.Count() < 2) {
        std::fprintf(stderr, "No long section between chainages %.3f and %.3f\n", dbfRoundChg(from), dbfRoundChg(to));
        return false;
    }
    job().title = roadTitle() + ": long section " + chainageText(from) + " to " + chainageText(to) + " (centre line)";
    job().across = "Chainage";
    return true;
}

// One plot to one file; the road must be open. Prints nothing on success.
bool plotToFile(bool longSection, double a, double b, const std::string& format, const std::string& out) {
    const bool loaded = longSection ? loadLongSection(a, b) : loadCrossSection(a);
    if (!loaded) return false;
    const int width = longSection ? 1400 : 1200, height = longSection ? 600 : 700;
    if (!openWindow(width, height) || !writePicture(out, format)) {
        std::fprintf(stderr, "Unable to write %s\n", out.c_str());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The script of `road window`

void printEvent(EVENT* e) {
    std::printf("event %d x=%.3f y=%.3f shift=%d control=%d key=%d button=%d\n", e->type, e->x, e->y, e->shift,
                e->control, e->key, e->button);
}

int keyCode(const std::string& name, bool& virtualKey) {
    struct Named {
        const char* name;
        int code;
        bool virtualKey;
    };
    static const Named kNames[] = {{"esc", 27, false},  {"space", 32, false},         {"left", kVkLeft, true},
                                   {"right", kVkRight, true}, {"up", kVkUp, true},    {"down", kVkDown, true},
                                   {"pgup", kVkPageUp, true}, {"pgdn", kVkPageDown, true}};
    for (const Named& n : kNames)
        if (name == n.name) {
            virtualKey = n.virtualKey;
            return n.code;
        }
    virtualKey = false;
    return name.size() == 1 ? static_cast<unsigned char>(name[0]) : -1;
}

// One line of the script; an empty text when it was understood, else why not.
std::string runScriptLine(std::istringstream& in, const std::string& action) {
    CRoadWnd* w = dbfRoadWindow();
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    const bool shift = std::find(words.begin(), words.end(), "shift") != words.end();
    const bool ctrl = std::find(words.begin(), words.end(), "ctrl") != words.end();
    const unsigned flags = (shift ? kMouseShift : 0u) | (ctrl ? kMouseControl : 0u);
    std::vector<double> numbers;
    for (const std::string& word : words) {
        double v = 0.0;
        if (parseReal(word, v)) numbers.push_back(v);
    }
    const auto need = [&](std::size_t n) { return numbers.size() >= n; };
    if (action == "view") {
        if (!need(4)) return "view needs X1 X2 Y1 Y2";
        const _bsRECT r{numbers[0], numbers[1], numbers[2], numbers[3]};
        dbfRoadInitView(&r, 0, printEvent, "Ratio", 0, 0);
    } else if (action == "size") {
        if (!need(2) || numbers[0] < 1 || numbers[1] < 1 || numbers[0] > 20000 || numbers[1] > 20000)
            return "size needs WIDTH HEIGHT in pixels (1..20000)";
        w->OnSize(static_cast<int>(numbers[0]), static_cast<int>(numbers[1]));
    } else if (action == "move" || action == "press" || action == "release") {
        const bool right = std::find(words.begin(), words.end(), "right") != words.end();
        if (!need(2)) return action + " needs PX PY";
        const int px = static_cast<int>(numbers[0]), py = static_cast<int>(numbers[1]);
        if (action == "move") w->OnMouseMove(px, py, flags);
        else if (action == "release") w->OnButtonUp(px, py, flags, right ? 2 : 1);
        else if (right) w->OnRButtonDown(px, py, flags);
        else w->OnLButtonDown(px, py, flags);
    } else if (action == "key") {
        bool virtualKey = false;
        const int code = words.empty() ? -1 : keyCode(words[0], virtualKey);
        if (code < 0) return "key needs a character or one of esc, space, left, right, up, down, pgup, pgdn";
        if (virtualKey || code == 27) w->OnKeyDown(code, ctrl);
        // A character typed with Ctrl arrives as its control code, as a keyboard sends it.
        if (!virtualKey) w->OnChar(ctrl && std::isalpha(code) ? (std::toupper(code) & 0x1F) : code, ctrl);
    } else if (action == "slope") {
        if (!need(3)) return "slope needs X Y SLOPE";
        dbfRoadSetCursorPosSlope(numbers[0], numbers[1], numbers[2]);
    } else {
        return "unknown action '" + action + "' (view, size, move, press, release, key, slope)";
    }
    return "";
}

int runScript(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
        return 1;
    }
    const _bsRECT start{-20.0, 20.0, 110.0, 90.0};
    if (!dbfRoadInitView(&start, 0, printEvent, "Ratio", 0, 0)) {
        std::fprintf(stderr, "The road window could not be opened\n");
        return 1;
    }
    dbfRoadWindow()->OnSize(400, 200);
    std::string line;
    for (long number = 1; std::getline(file, line); ++number) {
        std::istringstream in(line);
        std::string action;
        if (!(in >> action) || action[0] == '#') continue;
        const std::string problem = runScriptLine(in, action);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s:%ld: %s\n", path.c_str(), number, problem.c_str());
            dbfCloseRoadWindow();
            return 1;
        }
    }
    dbfCloseRoadWindow();
    return 0;
}

void addRoadPlotCommands(CLI::App& app) {
    CLI::App* road = roadCommand(app);
    static double chainage = 0.0;
    static std::vector<double> range;
    static std::string format = "png", out;
    auto* plot = road->add_subcommand("plot", "Plot the road's cross-section at a chainage, or its long section");
    auto* at = plot->add_option("--chainage", chainage, "The cross-section's chainage")->check(RealNumber);
    auto* along = plot->add_option("--long", range, "The long section from..to (two chainages)")->expected(2)->check(RealNumber);
    at->excludes(along);
    plot->add_option("--format", format, "png, svg or pdf")->check(CLI::IsMember({"png", "svg", "pdf"}));
    plot->add_option("OUT", out, "The picture's file")->required();
    plot->callback([road] {
        commandResult() = runCommand([road] {
            if (road->get_subcommand("plot")->count("--chainage") + road->get_subcommand("plot")->count("--long") == 0)
                throw UsageError("road plot needs --chainage C or --long FROM TO");
            if (!openRoad(roadOption(road))) return 1;
            const bool longSection = !range.empty();
            const bool ok = plotToFile(longSection, longSection ? range[0] : chainage, longSection ? range[1] : 0.0,
                                       format, out);
            dbfCloseRoadWindow();
            if (!closeRoad(false) || !ok) return 1;
            std::printf("%s\n", out.c_str());
            return 0;
        });
    });

    static std::string script;
    auto* window = road->add_subcommand("window", "Feed a script of mouse and key events to the road window and print "
                                                  "the events the host receives");
    window->add_option("--script", script, "Lines: view X1 X2 Y1 Y2 | size W H | move PX PY [shift] [ctrl] | "
                                           "press|release [left|right] PX PY | key K [ctrl] | slope X Y S")
        ->required();
    window->callback([] { commandResult() = runCommand([] { return runScript(script); }); });
}

CommandGroup group(addRoadPlotCommands);

// The demo road's pictures: three cross-sections and the long section, each as PNG and PDF.
void plotDemoRoad(DemoContext& ctx) {
    if (!openRoad(1)) return;
    int written = 0;
    const auto plot = [&](bool longSection, double a, double b, const std::string& name) {
        for (const char* format : {"png", "pdf"}) {
            const std::string path = ctx.folder + name + "." + format;
            if (plotToFile(longSection, a, b, format, path)) {
                ctx.written.push_back(path);
                ++written;
            }
        }
    };
    for (double chg : {100.0, 500.0, 900.0}) plot(false, chg, 0.0, "road_section_" + std::to_string(static_cast<int>(chg)));
    plot(true, 0.0, 1000.0, "road_long_section");
    dbfCloseRoadWindow();
    closeRoad(false);
    std::fprintf(stderr, "Road plots: %d pictures\n", written);
}

DemoStep plotStep(55, "cross-section and long-section plots", plotDemoRoad);

}  // namespace
