// The road window subsystem's own state: the window it owns (the library state keeps the
// pointer the rest of the library sees) and the dialog records of the window's questions.
#pragma once

#include <memory>

#include "database/roadwnd.h"

struct RoadWndState {
    // The window object. The library state's roadWnd points to it while the window is open;
    // a window that was closed stays here until the next one is created or the state is reset,
    // because it may close itself from inside one of its own members.
    std::unique_ptr<CRoadWnd> window;
};

RoadWndState& roadWndState();
