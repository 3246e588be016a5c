// The status line (a stack of up to five texts), the progress bar, the Escape check and the
// message pump that keeps the host responsive during long operations.
#include <algorithm>

#include "database/frame.h"
#include "frame/state.h"
#include "platform/core.h"

namespace {

void pushStatus(DBFSTATE& s, const char* text) {
    if (s.statusDepth >= kStatusDepthMax) return;
    coreStrncpy(s.statusStack[s.statusDepth], text ? text : "", kStatusTextChars + 1);
    ++s.statusDepth;
}

}  // namespace

void dbfDispStatus(const char* text, int mode) {
    DBFSTATE& s = dbfState();
    if (s.statusDepth < 0) s.statusDepth = 0;
    CCadWindow* cad = s.cadWindow;
    switch (mode) {
        case kStatusPush:
            pushStatus(s, text);
            break;
        case kStatusPop:
            if (s.statusDepth >= 1) --s.statusDepth;
            break;
        case kStatusReset:
        case kStatusResetBusy:
            s.statusDepth = 0;
            if (text) pushStatus(s, text);
            if (mode == kStatusResetBusy) s.busy = true;
            break;
        case kStatusClear:
            s.statusDepth = 0;
            s.busy = false;
            if (cad) cad->gsSetHoldStdPrompt(false);
            break;
        default:
            break;   // only the display below is refreshed
    }

    if (cad) {
        if (s.statusDepth == 0) {
            cad->gsSetHelpText("");
            cad->gsSetHoldStdPrompt(false);
        } else {
            cad->gsSetHelpText(s.statusStack[s.statusDepth - 1]);
            cad->gsSetHoldStdPrompt(true);
        }
        if (s.busy && !s.waitCursorShown) {
            cad->gsCursorWait(true);
            s.waitCursorShown = true;
        } else if (!s.busy && s.waitCursorShown) {
            cad->gsCursorWait(false);
            s.waitCursorShown = false;
        }
    }
    dbfPumpMessages();
}

void dbfDispGraph(int position, int total, const char* text) {
    CCadWindow* cad = dbfState().cadWindow;
    if (!cad) return;
    if (total < 1)
        cad->gsSetProgress(0, 0, text);
    else
        cad->gsSetProgress(position, total, text);
}

bool dbfPumpMessages() {
    CMDIFrameWnd* frame = dbfState().mainFrame;
    HostUi* ui = frame ? frame->ui() : nullptr;
    if (!ui) return false;
    while (ui->messageWaiting()) {
        if (!ui->pumpMessage()) {
            // The quit message was taken off the queue by the pump: put it back so that the
            // host's own loop sees it too.
            ui->postQuit();
            return true;
        }
    }
    return false;
}

int dbfCheckEscape(int& abort, int option) {
    const bool quitting = dbfPumpMessages();
    CCadWindow* cad = dbfState().cadWindow;
    const bool pressed = cad && cad->CheckEscapePressed(option);
    abort = (abort != 0 || quitting || pressed) ? 1 : 0;
    return abort;
}

int dbfProgressStep(long total) { return static_cast<int>(std::max(total / 100, 1L)); }
