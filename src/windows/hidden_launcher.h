// A launcher that is running with none of its windows shown: it hid its own
// window (its setting to hide while the game runs) or has not shown one yet.
// Discovery skips invisible windows, so without this a run only waits.
#pragma once

#include <windows.h>

enum { MAX_LAUNCHER_PROCESSES = 16 };

// The id of a launcher process (an image discovery accepts as the
// launcher's) that has top-level windows and none of them visible, or 0.
// One process snapshot and, only while a launcher process runs, one pass
// over the top-level windows: cheap enough for every poll.
DWORD hidden_launcher_process();
