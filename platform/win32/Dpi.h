// The display density of windows, through the per-monitor functions where the system has them.
// They are looked up at run time: older systems and Wine lack some of them, and a program that
// links one the system does not export does not start at all. Without them every answer falls
// back to the system density.
#pragma once

#include <windows.h>

namespace zorvex::win32 {

// The density of the screen as the system reports it to this process.
int SystemDpi();
// The density window is drawn for; the system density when the system cannot tell.
int WindowDpi(HWND window);
// The density of the monitor that holds most of window: the scale by which a per-monitor aware
// program like this one sees that window's pixels, whatever its own awareness.
int MonitorDpi(HWND window);
// A system metric (SM_*) at dpi.
int MetricForDpi(int index, int dpi);
// Grows a client rectangle to the window rectangle of a window with these styles at dpi.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi);
// Makes the windows this thread creates per-monitor aware where the manifest's awareness was not
// applied (an older system that knows the function but not the manifest entry).
void PreferPerMonitorDpi();

}  // namespace zorvex::win32
