#include "platform/win32/Win32Desktop.h"

#include <vector>

#include "base/Trace.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/Handles.h"
#include "platform/win32/WideText.h"

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

// A text the system put into a buffer one unit longer than kMaxWindowText, so that a cut shows:
// it is cut to kMaxWindowText units, never between the halves of a pair.
std::string ReadBack(const wchar_t* buffer, int length) {
  std::size_t units = length > 0 ? static_cast<std::size_t>(length) : 0;
  return Narrow(CutWide(std::wstring(buffer, units), kMaxWindowText));
}

constexpr int kReadUnits = static_cast<int>(kMaxWindowText) + 2;

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
  wchar_t buffer[kReadUnits] = {};
  return ReadBack(buffer, ::GetClassNameW(ToHwnd(window), buffer, kReadUnits));
}

std::string Win32Desktop::Title(WindowHandle window) {
  wchar_t buffer[kReadUnits] = {};
  return ReadBack(buffer, ::GetWindowTextW(ToHwnd(window), buffer, kReadUnits));
}

bool Win32Desktop::Exists(WindowHandle window) { return ::IsWindow(ToHwnd(window)) != FALSE; }

bool Win32Desktop::IsVisible(WindowHandle window) { return ::IsWindowVisible(ToHwnd(window)) != FALSE; }

bool Win32Desktop::IsMinimised(WindowHandle window) { return ::IsIconic(ToHwnd(window)) != FALSE; }

Rect Win32Desktop::WindowRect(WindowHandle window) {
  RECT r{};
  if (!::GetWindowRect(ToHwnd(window), &r)) return Rect{};
  return Rect{r.left, r.top, r.right, r.bottom};
}

int Win32Desktop::WindowDpi(WindowHandle window) {
  // This program is per-monitor aware and sees every window in the monitor's pixels, whatever that
  // window's own awareness: the monitor's density is what they are scaled by. For a per-monitor
  // aware window, as browsers are, it is the window's own.
  return win32::MonitorDpi(ToHwnd(window));
}

Rect Win32Desktop::MonitorRect(WindowHandle window) {
  const HWND hwnd = ToHwnd(window);
  if (!::IsWindow(hwnd)) return Rect{};
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info)) return Rect{};
  return Rect{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom};
}

WindowHandle Win32Desktop::ForegroundWindow() { return FromHwnd(::GetForegroundWindow()); }

WindowHandle Win32Desktop::Owner(WindowHandle window) { return FromHwnd(::GetWindow(ToHwnd(window), GW_OWNER)); }

bool Win32Desktop::IsToolWindow(WindowHandle window) {
  return (::GetWindowLongW(ToHwnd(window), GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0;
}

std::uint32_t Win32Desktop::ProcessId(WindowHandle window) {
  DWORD id = 0;
  ::GetWindowThreadProcessId(ToHwnd(window), &id);
  return id;
}

std::string Win32Desktop::ProgramPath(std::uint32_t processId) {
  // Looked up at run time: the call is missing from the oldest systems the program still starts on.
  using QueryName = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
  static const auto query = reinterpret_cast<QueryName>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
  // Limited information is all that another user's or an elevated program grants us.
  constexpr DWORD kQueryLimitedInformation = 0x1000;
  if (query == nullptr) return std::string();
  const UniqueKernelHandle process(::OpenProcess(kQueryLimitedInformation, FALSE, processId));
  if (!process) return std::string();
  // Long enough for the longest path the system allows.
  std::wstring path(32768, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  if (!query(process.get(), 0, &path[0], &size)) return std::string();
  return Narrow(path.data(), size);
}

bool Win32Desktop::Close(WindowHandle window) {
  const HWND hwnd = ToHwnd(window);
  if (!::IsWindow(hwnd)) return false;
  // Bounded, but without abort-if-hung: the system calls a window hung only after ~5 s, and one
  // found hung would never see our command, so it could not be reported when it wakes.
  DWORD_PTR result = 0;
  if (::SendMessageTimeoutW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, closeTimeoutMs_, &result) != 0) {
    return true;
  }
  // A program that ends while it handles the command never answers; its window is gone all the same.
  return !::IsWindow(hwnd);
}

std::uint64_t Win32Desktop::ProcessStartTime(std::uint32_t processId) {
  constexpr DWORD kQueryLimitedInformation = 0x1000;
  const UniqueKernelHandle process(::OpenProcess(kQueryLimitedInformation, FALSE, processId));
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!process || !::GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return 0;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

std::uint32_t Win32Desktop::OwnProcessId() { return ::GetCurrentProcessId(); }

namespace {

// The integrity level of a process's token; -1 when it cannot be read.
long IntegrityOf(HANDLE process) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &raw)) return -1;
  const UniqueKernelHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
  if (size == 0) return -1;
  std::vector<unsigned char> buffer(size);
  if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), size, &size)) return -1;
  const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
  const PUCHAR count = ::GetSidSubAuthorityCount(label->Label.Sid);
  if (count == nullptr || *count == 0) return -1;
  return static_cast<long>(*::GetSidSubAuthority(label->Label.Sid, *count - 1));
}

}  // namespace

bool Win32Desktop::HigherRights(WindowHandle window) {
  const std::uint32_t pid = ProcessId(window);
  if (pid == 0) return false;
  constexpr DWORD kQueryLimitedInformation = 0x1000;
  const UniqueKernelHandle process(::OpenProcess(kQueryLimitedInformation, FALSE, pid));
  // A process that will not even name itself runs as another user or higher.
  if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;
  const long theirs = IntegrityOf(process.get());
  if (theirs < 0) return ::GetLastError() == ERROR_ACCESS_DENIED;
  const long ours = IntegrityOf(::GetCurrentProcess());
  return ours >= 0 && theirs > ours;
}

std::vector<PushButton> Win32Desktop::PushButtons(WindowHandle window) {
  std::vector<PushButton> buttons;
  for (WindowHandle child : Descendants(window)) {
    const HWND hwnd = ToHwnd(child);
    if (ClassName(child) != "Button") continue;
    const LONG type = ::GetWindowLongW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) continue;
    buttons.push_back(PushButton{child, Title(child), ::IsWindowVisible(hwnd) != FALSE, ::IsWindowEnabled(hwnd) != FALSE});
  }
  return buttons;
}

bool Win32Desktop::Press(WindowHandle button) {
  const HWND hwnd = ToHwnd(button);
  const HWND parent = ::GetParent(hwnd);
  if (parent == nullptr || !::IsWindowEnabled(hwnd)) return false;
  // The notification a click sends: it needs neither focus nor the dialog in front, as a
  // simulated mouse click would.
  const WPARAM command = MAKEWPARAM(::GetDlgCtrlID(hwnd), BN_CLICKED);
  return ::PostMessageW(parent, WM_COMMAND, command, reinterpret_cast<LPARAM>(hwnd)) != FALSE;
}

bool Win32Desktop::Minimise(WindowHandle window) {
  return ::PostMessageW(ToHwnd(window), WM_SYSCOMMAND, SC_MINIMIZE, 0) != FALSE;
}

bool Win32Desktop::IsCtrlDown() { return (::GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0; }

bool Win32Desktop::IsScrollLockOn() { return (::GetKeyState(VK_SCROLL) & 1) != 0; }

}  // namespace zorvex::win32
