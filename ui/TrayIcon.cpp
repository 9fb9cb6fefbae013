#include "ui/TrayIcon.h"

#include <shellapi.h>

#include <iterator>
#include <vector>

#include "platform/win32/WideText.h"

namespace zorvex {

namespace {

constexpr const wchar_t* kWindowClass = L"ZorvexTrayIconWindow";
constexpr const wchar_t* kTaskbarClass = L"Shell_TrayWnd";
// Characters of the tip, without its closing zero, in the two layouts of the icon data.
constexpr std::size_t kMaxTip = 127;
constexpr std::size_t kMaxTipV1 = 63;

}  // namespace

int ShellMajorVersion() {
  wchar_t path[MAX_PATH] = {};
  ::GetSystemDirectoryW(path, MAX_PATH);
  const std::wstring shell = std::wstring(path) + L"\\shell32.dll";
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(shell.c_str(), &handle);
  if (size == 0) return 0;
  std::vector<char> data(size);
  if (!::GetFileVersionInfoW(shell.c_str(), 0, size, data.data())) return 0;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) return 0;
  return HIWORD(info->dwFileVersionMS);
}

std::wstring TrayTip(const std::string& hint, int shellMajor) {
  std::string tip = hint.substr(0, hint.find('|'));
  if (shellMajor < 5) {
    // Older shells show one line only.
    std::string joined;
    for (std::size_t i = 0; i < tip.size(); ++i) {
      if (tip[i] == '\r' && i + 1 < tip.size() && tip[i + 1] == '\n') {
        joined += " - ";
        ++i;
      } else {
        joined += tip[i];
      }
    }
    tip = joined;
  }
  return win32::CutWide(win32::Widen(tip), shellMajor >= 5 ? kMaxTip : kMaxTipV1);
}

TTrayIcon::TTrayIcon() : taskbarCreated_(::RegisterWindowMessageW(L"TaskbarCreated")), shellMajor_(ShellMajorVersion()) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = win32::ObjectWindowProc<TTrayIcon>;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kWindowClass;
  ::RegisterClassW(&wc);
  window_.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr));
  win32::AttachObject(window_.get(), this);
}

TTrayIcon::~TTrayIcon() {
  SetActive(false);
  win32::AttachObject<TTrayIcon>(window_.get(), nullptr);
}

bool TTrayIcon::Notify(DWORD action) {
  NOTIFYICONDATAW data{};
  // Shells before version 5 know only the first, shorter layout.
  data.cbSize = shellMajor_ >= 5 ? sizeof(NOTIFYICONDATAW) : NOTIFYICONDATAW_V1_SIZE;
  data.hWnd = window_.get();
  data.uID = kIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kCallbackMessage;
  data.hIcon = icon_;
  // Cut to the layout's room already, so the copy always ends with a zero.
  const std::wstring tip = TrayTip(hint_, shellMajor_);
  tip.copy(data.szTip, tip.size());
  return ::Shell_NotifyIconW(action, &data) != FALSE;
}

void TTrayIcon::AddIcon() {
  taskbar_ = ::FindWindowW(kTaskbarClass, nullptr);
  // A leftover of ours (a failed earlier add) must not block the new one.
  Notify(NIM_DELETE);
  Notify(NIM_ADD);
}

void TTrayIcon::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  if (active) {
    AddIcon();
  } else {
    Notify(NIM_DELETE);
  }
}

void TTrayIcon::SetIcon(HICON icon) {
  icon_ = icon;
  if (!active_) return;
  CheckShellRestart();
  Notify(NIM_MODIFY);
}

void TTrayIcon::SetHint(const std::string& hint) {
  hint_ = hint;
  if (!active_) return;
  CheckShellRestart();
  Notify(NIM_MODIFY);
}

void TTrayIcon::ShowBalloon(const std::string& title, const std::string& text) {
  if (!active_ || shellMajor_ < 5) return;
  CheckShellRestart();
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(NOTIFYICONDATAW);
  data.hWnd = window_.get();
  data.uID = kIconId;
  data.uFlags = NIF_INFO;
  data.dwInfoFlags = NIIF_WARNING;
  // Cut by characters, never inside one, with room for the closing zero.
  const std::wstring wideTitle = win32::CutWide(win32::Widen(title), std::size(data.szInfoTitle) - 1);
  const std::wstring wideText = win32::CutWide(win32::Widen(text), std::size(data.szInfo) - 1);
  wideTitle.copy(data.szInfoTitle, wideTitle.size());
  wideText.copy(data.szInfo, wideText.size());
  ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TTrayIcon::CheckShellRestart() {
  if (!active_) return;
  if (::FindWindowW(kTaskbarClass, nullptr) != taskbar_) AddIcon();
}

void TTrayIcon::PopupAtCursor() {
  if (menu_ == nullptr) return;
  if (OnMenuOpening) OnMenuOpening();
  POINT at{};
  ::GetCursorPos(&at);
  // The menu closes on a click elsewhere only when our window is in the foreground.
  ::SetForegroundWindow(window_.get());
  const UINT command = static_cast<UINT>(::TrackPopupMenu(menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x,
                                                          at.y, 0, window_.get(), nullptr));
  ::PostMessageW(window_.get(), WM_NULL, 0, 0);
  if (OnMenuCommand) OnMenuCommand(command);
}

LRESULT TTrayIcon::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCallbackMessage && wParam == kIconId) {
    switch (static_cast<UINT>(lParam)) {
      case WM_RBUTTONUP:
      case WM_CONTEXTMENU:
      case NIN_KEYSELECT:
        PopupAtCursor();
        break;
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK:
        if (OnDblClick) OnDblClick();
        break;
      default:
        break;
    }
    return 0;
  }
  if (message == WM_CLOSE) {
    // A polite "end this program" reaches every top-level window; the main form decides.
    return 0;
  }
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    if (OnTaskbarCreated) OnTaskbarCreated();
    // Still there after a change of density; gone after a restart of the shell.
    if (active_ && !Notify(NIM_MODIFY)) AddIcon();
    return 0;
  }
  if ((message == WM_INITMENUPOPUP || message == WM_DRAWITEM || message == WM_MEASUREITEM) && OnMenuMessage) {
    return OnMenuMessage(message, wParam, lParam);
  }
  return ::DefWindowProcW(window_.get(), message, wParam, lParam);
}


}  // namespace zorvex
