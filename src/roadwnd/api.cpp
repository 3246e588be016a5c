// The road window's exported functions, its creation through the frame, and the hooks through
// which the road database reaches it (installed when the library is loaded).
#include <cmath>
#include <cstdio>

#include "database/frame.h"
#include "database/roadwnd.h"
#include "frame/state.h"
#include "platform/core.h"
#include "platform/ui.h"
#include "roadwnd/roadwnd_state.h"

namespace {

CRoadWnd* wnd() { return dbfState().roadWnd; }

RoadWndState& rawState() {
    static RoadWndState state;
    return state;
}

void resetRoadWndState() {
    dbfState().roadWnd = nullptr;
    rawState() = RoadWndState();
}

// createRoadWnd's work: the frame (a child of the main frame) and the window in it. Without a
// main frame, or when the frame cannot be made, there is no window. ratioView set starts the
// window with the vertical alignment's ratio kind; mode (how the frame is shown) means nothing
// without a window system.
CRoadWnd* createWindow(int ratioView, int mode) {
    (void)mode;
    DBFSTATE& s = dbfState();
    if (!s.mainFrame) return nullptr;
    CMDIChildWnd* frame = s.mainFrame->createChild();
    if (!frame) return nullptr;
    s.roadFrame = frame;
    RoadWndState& r = roadWndState();
    r.window = std::make_unique<CRoadWnd>();
    // The frame sends the window's messages through its message hook (the status panes).
    if (ratioView) {
        r.window->SetRatio("VerRatio", 0);
        frame->SetWindowText("Road");
    } else {
        // The frame is titled with the current road's name; a road number out of range is 1.
        int road = coreGetJobDefaultInt("Global", "RoadId", 1);
        if (road < 1 || road > s.maxRoads) {
            road = 1;
            coreSetJobDefault("Global", "RoadId", "1");
        }
        char key[32], name[MAX_PATH];
        std::snprintf(key, sizeof key, "Road%d", road);
        coreGetJobDefault("RoadList", key, key, name, MAX_PATH);
        frame->SetWindowText(name);
    }
    return r.window.get();
}

// A road opened or closed: the view goes (the next plot initialises it again).
void resetWindow() {
    if (CRoadWnd* w = wnd()) w->InitView(nullptr, 0, false);
}

void reloadSettings() {
    if (CRoadWnd* w = wnd()) w->ReloadSettings();
}

int installHooks() {
    DbfHooks& hooks = dbfState().hooks;
    hooks.createRoadWindow = createWindow;
    hooks.resetRoadWindow = resetWindow;
    hooks.closeRoadWindow = dbfCloseRoadWindow;
    hooks.reloadRoadWindowSettings = reloadSettings;
    return dbfRegisterStatePart(resetRoadWndState);
}

// The hooks are in place once the library is loaded, before the host can ask for the window.
const int installed = installHooks();

bool finiteRect(const _bsRECT& r) {
    return std::isfinite(r.left) && std::isfinite(r.right) && std::isfinite(r.top) && std::isfinite(r.bottom);
}

// The common part of the three initialisations.
int initView(const _bsRECT* rect, int chainageMode, RoadEventHook hook, const char* ratioKey, int ratioFlag,
             bool layout) {
    if (rect && !finiteRect(*rect)) {
        ErrorMessage("The road window's view limits are not numbers", dbfOwner());
        return 0;
    }
    CRoadWnd* w = createRoadWnd(0, 0);
    if (!w) return 0;
    w->EnableButtons(false);
    w->SetHook(hook);
    w->SetLayout(layout);
    if (rect) {
        w->SetRatio(ratioKey, ratioFlag);
        w->InitView(rect, chainageMode, true);
        w->Refresh();
    }
    w->EnableButtons(true);
    return 1;
}

}  // namespace

RoadWndState& roadWndState() {
    (void)installed;
    return rawState();
}

CRoadWnd* dbfRoadWindow() { return wnd(); }

int dbfRoadInitView(const _bsRECT* rect, int chainageMode, RoadEventHook hook, const char* ratioKey, int ratioFlag,
                    int frameOption) {
    (void)frameOption;
    return initView(rect, chainageMode, hook, ratioKey, ratioFlag, false);
}

int dbfRoadUserInit(double x1, double x2, double y1, double y2, int chainageMode, RoadEventHook hook, int frameOption) {
    (void)frameOption;
    _bsRECT rect{x1, x2, y1, y2};
    HostUi* ui = platformUiFor(dbfOwner());
    if (!ui || ui->dialog("RoadViewLimits", &rect) != IDOK) {
        if (!initView(nullptr, chainageMode, hook, "Ratio", 0, false)) return 0;
        wnd()->InitView(nullptr, chainageMode, false);
        return 1;
    }
    return initView(&rect, chainageMode, hook, "Ratio", 0, false);
}

int dbfRoadLayoutInit(const _bsRECT* rect, RoadEventHook hook, int frameOption) {
    (void)frameOption;
    return initView(rect, 0, hook, "Ratio", 0, true);
}

void dbfRoadGetViewLimits(_bsRECT& rect) {
    if (CRoadWnd* w = wnd()) rect = w->viewLimits();
}
void dbfRoadGetRedrawLimits(_bsRECT& rect) {
    if (CRoadWnd* w = wnd()) rect = w->redrawLimits();
}
void dbfRoadSetRedrawLimits() {
    if (CRoadWnd* w = wnd()) w->SetRedrawLimits();
}
void dbfRoadSetDrawMode(int mode) {
    if (CRoadWnd* w = wnd()) {
        w->SetDrawMode(mode);
        w->surface()->gsSetDrawMode(mode);
    }
}

void dbfRoadPlotLine(int colour, int width, double x1, double y1, double x2, double y2, int style) {
    if (CRoadWnd* w = wnd()) w->PlotLine(colour, width, x1, y1, x2, y2, style);
}
void dbfRoadPlotArc(int colour, int width, double xc, double yc, double radius, double startDeg, double endDeg,
                    int style) {
    if (CRoadWnd* w = wnd()) w->PlotArc(colour, width, xc, yc, radius, startDeg, endDeg, style);
}
void dbfRoadPlotSection(int colour, XSECTION* xs, double levelShift, int ticks, int highlight) {
    if (CRoadWnd* w = wnd()) w->PlotSection(colour, xs, levelShift, ticks != 0, highlight != 0);
}
void dbfRoadPlotLongSection(int colour, LongSection* ls, double levelShift, int ticks, int highlight) {
    if (CRoadWnd* w = wnd()) w->PlotLongSection(colour, ls, levelShift, ticks != 0, highlight != 0);
}
void dbfRoadPlotText(int colour, double x, double y, const char* text, double height, double angle, int lorg) {
    if (CRoadWnd* w = wnd()) {
        w->SetLorg(lorg);
        w->PlotText(colour, x, y, text, height, angle);
    }
}
void dbfRoadDrawLine(int colour, int width, int px1, int py1, int px2, int py2, int style) {
    if (CRoadWnd* w = wnd()) w->DrawLine(colour, width, px1, py1, px2, py2, style);
}

void dbfRoadWindowCoords(double x, double y, int& px, int& py) {
    px = py = 0;
    if (CRoadWnd* w = wnd(); w && std::isfinite(x) && std::isfinite(y)) w->UserToWindow(x, y, px, py);
}

void dbfRoadDisplaySnap(const char* text) {
    if (CRoadWnd* w = wnd()) w->SetSnap(text);
}
void dbfRoadDisplayPrompt(const char* text) {
    if (CRoadWnd* w = wnd()) w->SetPrompt(text);
}
void dbfRoadDisplayStatus(const char* text) {
    if (CRoadWnd* w = wnd()) w->SetStatus(text);
}
void dbfRoadDisplayCoords(const char* text) {
    if (CRoadWnd* w = wnd()) w->SetCoords(text);
}
void dbfRoadDisplayActive(int a, int b) {
    if (CRoadWnd* w = wnd()) w->SetActive(a, b);
}
void dbfRoadDisplayActiveSide(const char* text) {
    if (CRoadWnd* w = wnd()) w->SetActiveSide(text);
}

void dbfRoadClearView() {
    if (CRoadWnd* w = wnd()) w->ClearView();
}
void dbfRoadRedraw() {
    if (CRoadWnd* w = wnd()) w->Redraw();
}
void dbfRoadRefresh() {
    if (CRoadWnd* w = wnd()) w->Refresh();
}
void dbfRoadZoom(const _bsRECT& rect) {
    if (CRoadWnd* w = wnd(); w && finiteRect(rect)) w->ZoomWindow(rect);
}
void dbfRoadPan(double x, double y) {
    if (CRoadWnd* w = wnd(); w && std::isfinite(x) && std::isfinite(y)) {
        w->SetCursorPos(x, y);
        w->Pan();
    }
}

void dbfRoadSetCursorPos(double x, double y) {
    if (CRoadWnd* w = wnd()) w->SetCursorPos(x, y);
}
void dbfRoadGetCursorPos(double& x, double& y) {
    if (CRoadWnd* w = wnd()) {
        x = w->cursorX();
        y = w->cursorY();
    }
}
void dbfRoadSetCursorPosSlope(double x, double y, double slope) {
    if (CRoadWnd* w = wnd()) w->FixGrade(x, y, slope);
}
void dbfRoadResetSlope() {
    if (CRoadWnd* w = wnd()) w->UnfixGrade();
}
void dbfRoadSendKey(int code) {
    if (CRoadWnd* w = wnd()) w->SendEvent(code);
}

void dbfRoadStartPrinting(CCadWindow* device, const _bsRECT& page) {
    if (CRoadWnd* w = wnd(); w && finiteRect(page)) w->StartPrint(device, page);
}
void dbfRoadStopPrinting() {
    if (CRoadWnd* w = wnd()) w->StopPrint();
}

void dbfRoadWindowClosed() { dbfState().roadWnd = nullptr; }
int dbfIsRoadWin() { return wnd() ? 1 : 0; }
int dbfIsRoadBusyInit() { return wnd() ? (wnd()->busy() ? 1 : 0) : 1; }

void dbfCloseRoadWindow() {
    CRoadWnd* w = wnd();
    if (!w) return;
    w->SetPrompt("");
    w->CloseCalled();
    w->InitView(nullptr, 0, false);
    if (coreGetDefaultInt("Global", "RoadWindow", 0) != 0) return;
    DBFSTATE& s = dbfState();
    if (s.roadFrame) s.roadFrame->DestroyWindow();
    s.roadFrame = nullptr;
    // The object stays (it may be running one of its members now) until the next window.
    s.roadWnd = nullptr;
}

void dbfUpdateVerInfoBar(const double* info) {
    if (!wnd() || !info || !std::isfinite(info[0])) return;
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", info[0]);
    wnd()->SetVerInfo(text);
}

void dbfRoadSetFocus() {}
void dbfRoadDisableButtons() {
    if (CRoadWnd* w = wnd()) w->EnableButtons(false);
}
void dbfRoadEnableButtons() {
    if (CRoadWnd* w = wnd()) w->EnableButtons(true);
}
RoadLegend* dbfRoadGetLegendBarPtr() { return wnd() ? &wnd()->legend() : nullptr; }
void dbfRoadSetSecLegend() {
    if (CRoadWnd* w = wnd()) w->SetSecLegend();
}
void dbfRoadSetVerLegend() {
    if (CRoadWnd* w = wnd()) w->SetVerLegend();
}
void dbfRoadSetEdgeLegend() {
    if (CRoadWnd* w = wnd()) w->SetEdgeLegend();
}
void dbfRoadSetPipeLegend() {
    if (CRoadWnd* w = wnd()) w->SetPipeLegend();
}
void dbfRoadPressInsertButton() {}
void dbfRoadPressEditButton() {}
void dbfRoadPressDeleteButton() {}
void dbfRoadPressMoveButton() {}
void dbfRoadNoButtonPressed() {}

bool CRoadWnd::RenderTo(const std::string& path) const {
    return ownSurface_ && ownSurface_->render(path, width_, height_);
}
