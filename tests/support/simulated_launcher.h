// Driving the simulated Minecraft Launcher (kit/simulated_launcher.cpp,
// built as MinecraftLauncher.exe) from tests, in its own process.
//
// Its arguments, all optional:
//   --title TEXT            window title (default "Minecraft Launcher")
//   --x N --y N             window position (default 100, 80)
//   --width N --height N    outer window size (default 1000 x 700)
//   --client L,T,W,H        the client area covers W x H at (L, T) on screen, whatever the frame
//   --no-caption            a sizing frame without a caption, as Chromium draws its own
//   --windows N             N top-level windows instead of one (titles "TEXT", "TEXT 2", ...),
//                           each created later one on top of the earlier ones
//   --shrink N              window k (from 0) is k * N pixels narrower
//   --minimized             start minimised (not activated)
//   --layered               WS_EX_LAYERED at alpha 255 from the start
//   --chrome-child          a child of class "Chrome_RenderWidgetHostHWND" that covers
//                           the client area and paints and takes clicks like the parent
//   --children N            a chain of N nested plain child windows (class "KV6Child") in the
//                           top-left corner; --hidden-child adds one more that is not visible
//   --no-button             no Play button
//   --button L,T,W,H        the button's client rectangle (default: 300 x 64, centred, 120
//                           above the client bottom)
//   --button-colour RRGGBB  default 27873e; the caption is white pixels on it
//   --marker                a 12 x 12 patch of the profile-marker colour (c832c8) left of the button
//   --on-click ACTION       start-java (default) | close | hide-button | ignore
//   --accept KIND           which clicks count: any (default) | posted | real
//   --java-ms N             how long the started javaw.exe lives (default 30000)
//   --hang-after-ms N       stop pumping messages N ms after start (the window hangs)
//   --hang-for-ms N         a hang ends after N ms (default: never)
//   --hang-on-click         stop pumping messages after a click was taken
//   --hang-on-button-down   stop pumping messages at a left button down on the button (or a page element)
//   --hang-after-probe-ms N the first WM_NULL that comes N ms or more after start is answered,
//                           then the thread stops for good (a hang right after a caller's probe)
//   --busy-not-hung         while busy or hung, keep peeking at posted messages (none taken), so
//                           Windows never reports the thread hung; sent messages still wait
//   --start-hidden          every window starts as a hide-mode run of the tool leaves it: the
//                           KestrovV6.Hidden property, layered at alpha 1, click-through
//   --element-after-ms ID,N with --page: the element ID shows only N ms after start
//   --busy-ms N --busy-every-ms M   the window thread is busy (takes no messages) N ms of every M
//   --stalls SEED,MIN,MAX   busy stalls of MIN..MAX ms at random moments (0.2 to 2 s apart)
//   --button-after-ms N     the button shows only N ms after start
//   --popup-until-escape    a pop-up covers the page until an Escape key arrives; then the button shows
//   --close-after-ms N      every window closes after N ms (the process then exits)
//   --show-after-ms N       the windows are made but not shown until N ms after start (a
//                           launcher that hid its own window); start_launcher then gives no window
//   --log FILE              append one line per received key or mouse message and action:
//                             "KEYDOWN|KEYUP <vk hex> <lparam hex 8 digits> main|chrome real|posted"
//                             "LBUTTONDOWN|LBUTTONUP|MOUSEMOVE <x> <y> main|chrome|child real|posted"
//                             "CLICK real|posted" then "ACTION start-java <pid>|close|hide-button|ignore"
//                           "SHOWN" when a hiding ends (click-through cleared)
//   --watch-file PATH       each SHOWN line says whether PATH is there: "SHOWN watched-file present|absent"
//   --lifetime-ms N         exits by itself after N ms (default 120000)
//   --page FILE             serve and paint a page (kit/pages); with it, Chromium's habits:
//   --chromium              all of the next, as a cold launcher shows them (tree 1.5 s late)
//   --lazy-ms N             an empty document until a web node's Name or ControlType is read, then N ms
//   --rerender-ms N, --rerender-after-action   the elements are replaced (stale ids) every N ms, after actions
//   --chromium-offscreen, --chromium-patterns  Chromium's IsOffscreen and pattern rules
// It paints a dark background (1b1d20), the button and the marker on WM_PAINT and
// WM_PRINTCLIENT.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SimulatedLauncher {
    PROCESS_INFORMATION process;
    HWND window;            // the first top-level window, once it shows
    std::wstring log_path;  // the --log file (made up by start_launcher)
};

// Starts `exe_name` (next to the test program; MinecraftLauncher.exe by
// default) with `arguments` plus a --log file, waits up to 30 s for its first
// visible top-level window (with --show-after-ms, for its windows to be
// made: `window` stays null). 1 on success.
int start_launcher(SimulatedLauncher* launcher, const std::vector<std::wstring>& arguments,
                   const wchar_t* exe_name = L"MinecraftLauncher.exe");
// Ends the process (by its id) and waits for it; removes the log file.
void stop_launcher(SimulatedLauncher* launcher);
// Every top-level window of the launcher's process, in Z order.
std::vector<HWND> launcher_windows(const SimulatedLauncher* launcher);
// The log so far, as lines.
std::vector<std::string> launcher_log(const SimulatedLauncher* launcher);
// A layered window's alpha (0 when it has none), read without its thread.
BYTE alpha_of(HWND window);
// Pumps this thread's messages and sleeps until `ms` have passed.
void pump_for(DWORD ms);
// The default button's client rectangle in a launcher window (300 x 64,
// centred, 120 above the client bottom).
RECT default_button_rect(HWND window);
// Ends the javaw.exe processes that the launcher's clicks started (their ids
// are in its log); stop_launcher calls it too.
void end_started_java(const SimulatedLauncher* launcher);
