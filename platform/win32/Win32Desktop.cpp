#include "platform/win32/Win32Desktop.h"

#include "base/Trace.h"
#include "platform/win32/Handles.h"

namespace zorvex::win32 {

namespace {

BOOL CALLBACK Collect(HWND window, LPARAM context) {
  // push_back may throw; no exception may cross the callback, so stop and keep what we have.
  try {
    reinterpret_cast<std::vector<WindowHandle>*>(context)->push_back(FromHwnd(window));
    return TRUE;
  } catch (...) {
    TraceCurrentFailure("window walk");
    return FALSE;
  }
}

}  // namespace

std::vector<WindowHandle> Win32Desktop::TopLevelWindows() {
  std::vector<WindowHandle> windows;
  ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<WindowHandle> Win32Desktop::Descendants(WindowHandle window) {
  std::vector<WindowHandle> windows;
  ::EnumChildWindows(ToHwnd(window), Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::string Win32Desktop::ClassName(WindowHandle window) {
  char buffer[kMaxWindowText + 1] = {};
  const int length = ::GetClassNameA(ToHwnd(window), buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? length : 0);
}

std::string Win32Desktop::Title(WindowHandle window) {
  char buffer[kMaxWindowText + 1] = {};
  const int length = ::GetWindowTextA(ToHwnd(window), buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? length : 0);
}

bool Win32Desktop::IsVisible(WindowHandle window) { return ::IsWindowVisible(ToHwnd(window)) != FALSE; }

bool Win32Desktop::IsMinimised(WindowHandle window) { return ::IsIconic(ToHwnd(window)) != FALSE; }

Rect Win32Desktop::WindowRect(WindowHandle window) {
  RECT r{};
  if (!::GetWindowRect(ToHwnd(window), &r)) return Rect{};
  return Rect{r.left, r.top, r.right, r.bottom};
}

WindowHandle Win32Desktop::ForegroundWindow() { return FromHwnd(::GetForegroundWindow()); }

WindowHandle Win32Desktop::Owner(WindowHandle window) { return FromHwnd(::GetWindow(ToHwnd(window), GW_OWNER)); }

bool Win32Desktop::IsToolWindow(WindowHandle window) {
  return (::GetWindowLongA(ToHwnd(window), GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0;
}

std::uint32_t Win32Desktop::ProcessId(WindowHandle window) {
  DWORD id = 0;
  ::GetWindowThreadProcessId(ToHwnd(window), &id);
  return id;
}

std::string Win32Desktop::ProgramPath(std::uint32_t processId) {
  // Looked up at run time: the call is missing from the oldest systems the program still starts on.
  using QueryName = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
  static const auto query = reinterpret_cast<QueryName>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
  // Limited information is all that another user's or an elevated program grants us.
  constexpr DWORD kQueryLimitedInformation = 0x1000;
  if (query == nullptr) return std::string();
  const UniqueKernelHandle process(::OpenProcess(kQueryLimitedInformation, FALSE, processId));
  if (!process) return std::string();
  char path[MAX_PATH * 2] = {};
  DWORD size = sizeof path;
  if (!query(process.get(), 0, path, &size)) return std::string();
  return std::string(path, size);
}

bool Win32Desktop::Close(WindowHandle window) {
  const HWND hwnd = ToHwnd(window);
  if (!::IsWindow(hwnd)) return false;
  // Bounded, but without abort-if-hung: the system calls a window hung only after ~5 s, and one
  // found hung would never see our command, so it could not be reported when it wakes.
  DWORD_PTR result = 0;
  if (::SendMessageTimeoutA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, closeTimeoutMs_, &result) != 0) {
    return true;
  }
  // A program that ends while it handles the command never answers; its window is gone all the same.
  return !::IsWindow(hwnd);
}

bool Win32Desktop::IsCtrlDown() { return (::GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0; }

bool Win32Desktop::IsScrollLockOn() { return (::GetKeyState(VK_SCROLL) & 1) != 0; }

}  // namespace zorvex::win32
