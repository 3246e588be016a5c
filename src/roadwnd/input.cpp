// The road window's input: mouse, characters and keys become EVENT records for the host's hook;
// the window's own letters drive zoom, pan, redraw, the zoom box, the fixed grade and the cursor
// jump. Nothing is handled while the view is inactive or being initialised.
#include <cmath>
#include <cstring>

#include "database/roadwnd.h"
#include "frame/state.h"
#include "platform/core.h"
#include "platform/ui.h"
#include "roadwnd/roadwnd_state.h"

namespace {

constexpr int kEscape = 27;
constexpr int kSpace = 32;

void setAbortFlag() {
    if (CCadWindow* cad = dbfState().cadWindow) cad->SetAbortFlag(true);
}

// One of the library's dialogs through the host; IDOK when accepted.
int askDialog(const char* name, void* record) {
    HostUi* ui = platformUiFor(dbfOwner());
    return ui ? ui->dialog(name, record) : IDCANCEL;
}

}  // namespace

void CRoadWnd::deliver(EVENT& e) {
    if (hook_) hook_(&e);
}

EVENT CRoadWnd::mouseEvent(int type, unsigned flags, int button) const {
    return EVENT{type, cursorX_, cursorY_, (flags & kMouseShift) ? 1 : 0, (flags & kMouseControl) ? 1 : 0, 0, button};
}

void CRoadWnd::SetHook(RoadEventHook hook) {
    if (hook_) {
        EVENT e{kRoadEventHookReplaced, cursorX_, cursorY_, 0, 0, 0, 0};
        RoadEventHook outgoing = hook_;
        hook_ = nullptr;
        outgoing(&e);
    }
    hook_ = hook;
}

void CRoadWnd::CloseCalled() {
    RoadEventHook hook = hook_;
    hook_ = nullptr;
    if (hook) {
        EVENT e{kRoadEventClosed, cursorX_, cursorY_, 0, 0, 0, 0};
        hook(&e);
    }
}

void CRoadWnd::SendEvent(int code) {
    EVENT e{kRoadEventKey, cursorX_, cursorY_, 0, 0, code, 0};
    deliver(e);
}

void CRoadWnd::OnMouseMove(int px, int py, unsigned flags) {
    if (!active_ || busy_ || handlingMove_) return;
    double x, y;
    ScreenToCursor(px, py, x, y);
    applyGrade(x, y);
    if (x == cursorX_ && y == cursorY_) return;
    handlingMove_ = true;
    cursorX_ = x;
    cursorY_ = y;
    showCoords();
    if (zoomBox_) {
        if (firstCorner_) drawBand();
    } else {
        EVENT e = mouseEvent(kRoadEventMove, flags, 0);
        deliver(e);
    }
    handlingMove_ = false;
}

void CRoadWnd::OnLButtonDown(int px, int py, unsigned flags) {
    if (!active_ || busy_) return;
    if (zoomBox_) {
        zoomBoxClick(px, py);
        return;
    }
    press(px, py, flags, kRoadEventLeftDown, 1);
}

// A button pressed at the pixel: the cursor goes there (on the fixed grade, when one is set) and
// the host hears of it.
void CRoadWnd::press(int px, int py, unsigned flags, int type, int button) {
    double x, y;
    ScreenToCursor(px, py, x, y);
    applyGrade(x, y);
    cursorX_ = x;
    cursorY_ = y;
    EVENT e = mouseEvent(type, flags, button);
    deliver(e);
}

void CRoadWnd::OnRButtonDown(int px, int py, unsigned flags) {
    if (!active_ || busy_) return;
    if (zoomBox_) {
        // The band goes; the next left click is a new first corner.
        if (bandShown_) {
            surface_->gsSetDrawMode(kRoadDrawBand);
            surface_->gsDisplayRect(cornerX_, -cornerY_, bandX_, -bandY_, 1, 0);
            surface_->gsSetDrawMode(drawMode_);
        }
        bandShown_ = false;
        firstCorner_ = false;
        return;
    }
    press(px, py, flags, kRoadEventRightDown, 2);
}

// The release always reaches the hook; the right button then opens the popup menu.
void CRoadWnd::OnButtonUp(int px, int py, unsigned flags, int button) {
    (void)px;
    (void)py;
    if (!active_ || busy_) return;
    EVENT e = mouseEvent(kRoadEventButtonUp, flags, button);
    deliver(e);
    if (button != 2 || menu_.empty() || zoomBox_) return;
    RoadPopupMenu popup{menu_, -1};
    if (askDialog("RoadPopupMenu", &popup) != IDOK || popup.chosen < 0 ||
        popup.chosen >= static_cast<int>(menu_.size()))
        return;
    MenuCommand(menu_[static_cast<std::size_t>(popup.chosen)].code);
}

void CRoadWnd::MenuCommand(int code) {
    if (code == kRoadMenuCursorJump) {
        CursorJump();
    } else if (code == kRoadMenuViewLimits) {
        SetViewLimits();
        SendEvent(122);
    } else {
        SendEvent(code);
    }
}

// Job setting Roads/CursorJump "A" jumps to the position given, otherwise by it.
void CRoadWnd::CursorJump() {
    PNT_2D_record jump{0.0, 0.0};
    if (askDialog("RoadCursorJump", &jump) != IDOK || !std::isfinite(jump.x) || !std::isfinite(jump.y)) return;
    char mode[8];
    coreGetJobDefault("Roads", "CursorJump", "", mode, sizeof mode);
    if (mode[0] == 'A' || mode[0] == 'a') SetCursorPos(chainageMode_ ? dbfEquationChg(jump.x) : jump.x, jump.y);
    else SetCursorPos(cursorX_ + jump.x, cursorY_ + jump.y);
    showCoords();
    EVENT e{kRoadEventMove, cursorX_, cursorY_, 0, 0, 0, 0};
    deliver(e);
}

// The section offsets of job setting Section/Offsets ("left,right", the left one positive) and
// the present levels, edited, stored and shown.
void CRoadWnd::SetViewLimits() {
    char text[96];
    coreGetJobDefault("Section", "Offsets", "", text, sizeof text);
    _bsRECT r{-coreGetFieldDouble(text, -limits_.left, 1, ','), coreGetFieldDouble(text, limits_.right, 2, ','),
              limits_.top, limits_.bottom};
    if (askDialog("RoadViewLimits", &r) != IDOK) return;
    if (!std::isfinite(r.left) || !std::isfinite(r.right) || !std::isfinite(r.top) || !std::isfinite(r.bottom)) {
        ErrorMessage("The view limits must be numbers", dbfOwner());
        return;
    }
    std::snprintf(text, sizeof text, "%.3f,%.3f", -r.left, r.right);
    coreSetJobDefault("Section", "Offsets", text);
    InitView(&r, chainageMode_, true);
    Refresh();
}

void CRoadWnd::OnChar(int code, bool control) {
    if (control) code += 64;
    if (!active_) {
        if (code == kEscape) setAbortFlag();
        return;
    }
    if (busy_) return;
    if (zoomBox_ && code == kEscape) {
        endZoomBox(true);
        return;
    }
    if (code == kEscape || code == kSpace) {
        // Esc also ends a fixed grade; the host hears it as the cancel.
        if (code == kEscape && fixedGrade_) UnfixGrade();
        setAbortFlag();
        EVENT e{kRoadEventCancel, cursorX_, cursorY_, 0, control ? 1 : 0, code, 0};
        deliver(e);
        return;
    }
    switch (code) {
    case 'm': case 'M': Zoom('m'); return;
    case 'd': case 'D': Zoom('d'); return;
    case 'w': case 'W': Pan(); return;
    case 'r': case 'R': Redraw(); return;
    case 's': case 'S': Refresh(); return;
    case 'z': case 'Z':
        if (!zoomBox_) {
            savedPrompt_ = prompt_;
            SetPrompt("Enter corner of box (Esc to cancel)");
            captured_ = true;
            zoomBox_ = true;
            firstCorner_ = false;
            bandShown_ = false;
        }
        return;
    case 'k': case 'K': {
        if (layout_) return;
        double slope = slope_;
        if (askDialog("RoadSlope", &slope) == IDOK && std::isfinite(slope)) FixGrade(cursorX_, cursorY_, slope);
        return;
    }
    case 'u': case 'U': CursorJump(); return;
    default:
        break;
    }
    if (code > 12) {
        EVENT e{kRoadEventKey, cursorX_, cursorY_, 0, control ? 1 : 0, code, 0};
        deliver(e);
    }
}

void CRoadWnd::OnKeyDown(int virtualKey, bool control) {
    if (!active_ || busy_) return;
    switch (virtualKey) {
    case kVkLeft: case kVkRight: case kVkUp: case kVkDown: case kVkPageUp: case kVkPageDown: case kVkEscape: {
        EVENT e{kRoadEventKey, cursorX_, cursorY_, 0, control ? 1 : 0, virtualKey + (control ? 64 : 0), 0};
        deliver(e);
        return;
    }
    default:
        return;
    }
}

void CRoadWnd::OnSize(int width, int height) {
    width_ = width < 1 ? 1 : width;
    height_ = height < 1 ? 1 : height;
    // The surface is in pixels: columns across, rows downwards (negated, as the surface's up).
    surface_->gsSetZoomAllMyLimits(width_, -height_, 0.0, 0.0);
    surface_->gsZoomAll();
    if (active_) {
        fitLimits(base_);
        Refresh();
    }
}

void CRoadWnd::OnPaint() {
    ClearView();
    if (!active_) return;
    drawGrid();
    EVENT e{kRoadEventPaint, cursorX_, cursorY_, 0, 0, 0, 0};
    deliver(e);
}

void CRoadWnd::OnClose() {
    CloseCalled();
    dbfRoadWindowClosed();
}

// ---------------------------------------------------------------------------------------------
// Tool buttons

void CRoadWnd::ScaleButtonClick() {
    if (layout_) return;
    int ratio = ratio_;
    if (askDialog("RoadScale", &ratio) != IDOK) return;
    ratio_ = ratio < 1 ? 1 : ratio;
    const char* setting = ratioKey_ == "Pipe" ? "VerRatio" : ratioKey_.c_str();
    coreSetDefaultInt("Roads", setting, ratio_);
    if (active_) fitLimits(base_);
    Refresh();
}

void CRoadWnd::GridButtonClick() {
    if (layout_) return;
    if (grid_) {
        grid_ = false;
        Refresh();
        return;
    }
    RoadGridRecord rec{gridAcross_, gridUp_, gridColour_};
    if (askDialog("RoadGrid", &rec) != IDOK) return;
    if (!std::isfinite(rec.across) || rec.across <= 0.0 || !std::isfinite(rec.up) || rec.up <= 0.0) {
        ErrorMessage("The grid spacings must be positive numbers", dbfOwner());
        return;
    }
    gridAcross_ = rec.across;
    gridUp_ = rec.up;
    gridColour_ = rec.colour;
    char text[96];
    std::snprintf(text, sizeof text, "%.3lf,%.3lf,%d", gridAcross_, gridUp_, gridColour_);
    coreSetDefault("Roads", "Grids", text);
    grid_ = true;
    Refresh();
}

// The print dialog chooses the printer; the host then plots into it on key code 6.
void CRoadWnd::PrintButtonClick() {
    RoadPrintRequest request;
    if (askDialog("RoadPrint", &request) != IDOK || !request.device) return;
    StartPrint(request.device, request.page);
    SendEvent(6);
    StopPrint();
    Refresh();
}
