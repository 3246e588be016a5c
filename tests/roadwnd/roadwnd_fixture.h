// RoadWndTest: a started library with the road window open on a view, and a hook that records
// every event it receives.
#pragma once

#include <vector>

#include "common/library_fixture.h"
#include "terrain/values.h"
#include "database/roadwnd.h"

// An event's fields in order: type, x, y, shift, control, key, button.
inline std::vector<double> fields(const EVENT& e) { return nums(e.type, e.x, e.y, e.shift, e.control, e.key, e.button); }

inline std::vector<EVENT>& recordedEvents() {
    static std::vector<EVENT> events;
    return events;
}
inline void recordEvent(EVENT* e) { recordedEvents().push_back(*e); }

class RoadWndTest : public LibraryTest {
protected:
    // A cross-section view: offsets -20..20, levels 110 down to 90.
    _bsRECT view{-20.0, 20.0, 110.0, 90.0};

    void SetUp() override {
        LibraryTest::SetUp();
        recordedEvents().clear();
        coreSetDefaultInt("Roads", "Ratio", 1);
        ASSERT_EQ(dbfRoadInitView(&view, 0, recordEvent, "Ratio", 0, 0), 1);
        recordedEvents().clear();
    }

    // A new window size (the repaint's event is not kept).
    static void resize(int width, int height) {
        w().OnSize(width, height);
        recordedEvents().clear();
    }
    static CRoadWnd& w() { return *dbfRoadWindow(); }
    static std::vector<EVENT>& events() { return recordedEvents(); }
    // Sets the effective limits exactly (no fitting) on a window of the given size.
    static void exactView(int width, int height, const _bsRECT& r) {
        w().OnSize(width, height);
        w().WindowScale(r, 0.0, 0.0);
    }
    static std::vector<CadPrimitive> shown() { return w().headlessSurface()->visiblePrimitives(); }
};
