// The scale the simulated launcher serves at. Page files are in 96-DPI
// units. A DPI-unaware simulator (the default) draws in them and the system
// stretches its window, but UI Automation still wants physical rectangles;
// a per-monitor-aware one (--dpi-aware) places, paints and serves everything
// scaled by its window's DPI / 96, as a Chromium-based launcher does.
#pragma once

#include <windows.h>

// Declares per-monitor v2 awareness for the process; 0 where the system
// lacks the call (before Windows 10 1703).
int become_per_monitor_aware();
// The window's DPI (96 where the system cannot tell).
int window_dpi(HWND window);

// The DPI the page is drawn at in the window's own units: 96 unless
// --dpi-aware put the window on a scaled monitor.
void set_page_dpi(int dpi);
int page_dpi();
// --page-dpi: the page's units are physical pixels of a screen at that DPI
// (a dump or diagnosis taken there), not 96-DPI ones.
void set_page_source_dpi(int dpi);
// 1 when a page length is a length in the window's units (no stretch).
int page_units_are_window_units();
// A page length or offset in the window's own units, and back (rounded).
int to_window_units(int value);
int to_page_units(int value);
// A screen rectangle in the window's own units as UI Automation wants it:
// physical pixels, whatever the window's awareness (as it is where the
// system lacks the conversion, before Windows 8.1, or for a window at its
// monitor's DPI).
RECT physical_screen_rect(HWND window, RECT own);
// UI Automation may ask on a thread that does not share the process's
// awareness (Wine 10 serves it on one of its own): the window's
// rectangles are read in the window's awareness, then the thread's is put
// back. Both do nothing where the system lacks the calls.
HANDLE take_window_awareness(HWND window);
void restore_awareness(HANDLE previous);
