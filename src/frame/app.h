// The library's application object: one instance, created when the library is loaded and
// destroyed when it is unloaded. Its exit step frees what outlives unInitDbfAPI: the terrain
// block cache and the road display table.
#pragma once

class CDatabaseApp {
public:
    CDatabaseApp();
    ~CDatabaseApp();
    CDatabaseApp(const CDatabaseApp&) = delete;
    CDatabaseApp& operator=(const CDatabaseApp&) = delete;

    // Empties the cache pointers.
    bool InitInstance();
    // Removes the display's legend groups from the shortcut bar (errors are discarded), then
    // frees the cache and the road display table. Safe to call more than once.
    int ExitInstance();
};

// The instance (tests call its ExitInstance to see the unload).
CDatabaseApp& dbfApp();
