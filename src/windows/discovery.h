// Finding the Minecraft Launcher's top-level windows.
#pragma once

#include <windows.h>

enum { MAX_LAUNCHER_WINDOWS = 16, IMAGE_PATH_CAPACITY = 520, TITLE_CAPACITY = 256 };

// One discovery run. The handles are not owned and may go stale at once.
struct LauncherWindows {
    HWND best;
    int best_area;          // 1 when the best window is minimised
    int best_exe_match;     // 1 when its process image is the launcher's
    HWND windows[MAX_LAUNCHER_WINDOWS];  // accepted windows, Z order
    int count;
};

// Zeroes `found`, enumerates every top-level window, gives the best or null.
HWND find_launcher_windows(LauncherWindows* found);

// EnumWindows callback; `param` is the LauncherWindows. Always goes on.
BOOL CALLBACK launcher_window_filter(HWND window, LPARAM param);

// Full image path of a process into `path` (IMAGE_PATH_CAPACITY units);
// empty and 0 when it cannot be read.
int process_image_path(DWORD process_id, wchar_t* path);

// 1 when an image path names the launcher's executable: MinecraftLauncher.exe,
// or Minecraft.exe inside the launcher's folder or store package.
int launcher_exe_match(const wchar_t* path);
