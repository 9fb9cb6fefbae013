#include "platform/win32/Dpi.h"

#include "base/Dpi.h"
#include "platform/win32/LateLinks.h"

namespace zorvex::win32 {

namespace {

using late::SystemFunction;

// The optional functions, looked up once.
struct DpiFunctions {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  using GetDpiForSystemFn = UINT(WINAPI*)();
  using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
  using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  using SetThreadDpiAwarenessContextFn = HANDLE(WINAPI*)(HANDLE);
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

  GetDpiForWindowFn getDpiForWindow = SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  GetDpiForSystemFn getDpiForSystem = SystemFunction<GetDpiForSystemFn>(L"user32.dll", "GetDpiForSystem");
  GetSystemMetricsForDpiFn getSystemMetricsForDpi =
      SystemFunction<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
  AdjustWindowRectExForDpiFn adjustWindowRectExForDpi =
      SystemFunction<AdjustWindowRectExForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
  SetThreadDpiAwarenessContextFn setThreadDpiAwarenessContext =
      SystemFunction<SetThreadDpiAwarenessContextFn>(L"user32.dll", "SetThreadDpiAwarenessContext");
  GetDpiForMonitorFn getDpiForMonitor = SystemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
};

const DpiFunctions& Functions() {
  static const DpiFunctions functions;
  return functions;
}

bool Plausible(UINT dpi) { return dpi >= 48 && dpi <= 1536; }

// A density the system answered, or the system's own for a missing or absurd answer.
int Valid(UINT dpi) { return Plausible(dpi) ? static_cast<int>(dpi) : SystemDpi(); }

}  // namespace

int SystemDpi() {
  if (Functions().getDpiForSystem != nullptr) {
    const UINT dpi = Functions().getDpiForSystem();
    if (Plausible(dpi)) return static_cast<int>(dpi);
  }
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignDpi;
}

int WindowDpi(HWND window) {
  if (window != nullptr && Functions().getDpiForWindow != nullptr) return Valid(Functions().getDpiForWindow(window));
  return SystemDpi();
}

int MonitorDpi(HWND window) {
  if (Functions().getDpiForMonitor != nullptr) {
    UINT x = 0;
    UINT y = 0;
    constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
    HMONITOR monitor = ::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (monitor != nullptr && SUCCEEDED(Functions().getDpiForMonitor(monitor, kEffectiveDpi, &x, &y))) return Valid(x);
  }
  return WindowDpi(window);
}

int MetricForDpi(int index, int dpi) {
  if (Functions().getSystemMetricsForDpi != nullptr) {
    return Functions().getSystemMetricsForDpi(index, static_cast<UINT>(dpi));
  }
  return ScaleLength(::GetSystemMetrics(index), SystemDpi(), dpi);
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
  if (Functions().adjustWindowRectExForDpi != nullptr &&
      Functions().adjustWindowRectExForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
    return;
  }
  ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

void PreferPerMonitorDpi() {
  if (Functions().setThreadDpiAwarenessContext == nullptr) return;
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, then the first per-monitor awareness for systems
  // before it; a refusal leaves the thread as the manifest made it.
  const auto perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
  const auto perMonitor = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));
  if (Functions().setThreadDpiAwarenessContext(perMonitorV2) == nullptr) {
    Functions().setThreadDpiAwarenessContext(perMonitor);
  }
}

}  // namespace zorvex::win32
