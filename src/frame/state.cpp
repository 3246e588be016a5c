// The one library state, the registry of the subsystems' own parts, and the reset the tests use.
#include "frame/state.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "database/frame.h"

namespace {

std::unique_ptr<DBFSTATE>& stateHolder() {
    static std::unique_ptr<DBFSTATE> state = std::make_unique<DBFSTATE>();
    return state;
}

std::vector<void (*)()>& stateParts() {
    static std::vector<void (*)()> parts;
    return parts;
}

}  // namespace

DBFSTATE& dbfState() { return *stateHolder(); }

int dbfRegisterStatePart(void (*reset)()) {
    auto& parts = stateParts();
    if (reset && std::find(parts.begin(), parts.end(), reset) == parts.end()) parts.push_back(reset);
    return 1;
}

void dbfFreeCache() {
    DBFSTATE& s = dbfState();
    s.cacheDescriptors.reset();
    s.cacheBlocks.reset();
    s.cacheSlots = 0;
    s.roadDisplay.clear();
    s.roadDisplay.shrink_to_fit();
}

void dbfResetState() {
    if (dbfState().initialised) unInitDbfAPI();
    // A fresh record drops everything the frame owns (files are closed or deleted without being
    // saved); the hooks name code of the higher subsystems and survive.
    const DbfHooks hooks = dbfState().hooks;
    DBFSTATE& s = dbfState();
    if (s.codeInitialised) code4initUndo(&s.code);
    stateHolder() = std::make_unique<DBFSTATE>();
    dbfState().hooks = hooks;
    for (auto reset : stateParts()) reset();
}

const char* dbfFormatText(const char* format, ...) {
    DBFSTATE& s = dbfState();
    va_list args;
    va_start(args, format);
    std::vsnprintf(s.text, sizeof s.text, format, args);
    va_end(args);
    return s.text;
}
