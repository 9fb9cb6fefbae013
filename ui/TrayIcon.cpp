#include "ui/TrayIcon.h"

#include <shellapi.h>

#include <vector>

namespace zorvex {

namespace {

constexpr const char* kWindowClass = "ZorvexTrayIconWindow";
constexpr const char* kTaskbarClass = "Shell_TrayWnd";
constexpr std::size_t kMaxTip = 127;

}  // namespace

int ShellMajorVersion() {
  char path[MAX_PATH] = {};
  ::GetSystemDirectoryA(path, MAX_PATH);
  const std::string shell = std::string(path) + "\\shell32.dll";
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(shell.c_str(), &handle);
  if (size == 0) return 0;
  std::vector<char> data(size);
  if (!::GetFileVersionInfoA(shell.c_str(), 0, size, data.data())) return 0;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) return 0;
  return HIWORD(info->dwFileVersionMS);
}

std::string TrayTip(const std::string& hint, int shellMajor) {
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
  return tip.substr(0, kMaxTip);
}

TTrayIcon::TTrayIcon() : taskbarCreated_(::RegisterWindowMessageA("TaskbarCreated")), shellMajor_(ShellMajorVersion()) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = win32::ObjectWindowProc<TTrayIcon>;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = kWindowClass;
  ::RegisterClassA(&wc);
  window_.reset(::CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr));
  win32::AttachObject(window_.get(), this);
}

TTrayIcon::~TTrayIcon() {
  SetActive(false);
  win32::AttachObject<TTrayIcon>(window_.get(), nullptr);
}

bool TTrayIcon::Notify(DWORD action) {
  NOTIFYICONDATAA data{};
  // Shells before version 5 know only the first, shorter layout.
  data.cbSize = shellMajor_ >= 5 ? sizeof(NOTIFYICONDATAA) : NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window_.get();
  data.uID = kIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kCallbackMessage;
  data.hIcon = icon_;
  const std::string tip = TrayTip(hint_, shellMajor_);
  const std::size_t room = (shellMajor_ >= 5 ? sizeof data.szTip : 64) - 1;
  tip.copy(data.szTip, std::min(tip.size(), room));
  return ::Shell_NotifyIconA(action, &data) != FALSE;
}

void TTrayIcon::AddIcon() {
  taskbar_ = ::FindWindowA(kTaskbarClass, nullptr);
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
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof(NOTIFYICONDATAA);
  data.hWnd = window_.get();
  data.uID = kIconId;
  data.uFlags = NIF_INFO;
  data.dwInfoFlags = NIIF_WARNING;
  title.copy(data.szInfoTitle, std::min(title.size(), sizeof data.szInfoTitle - 1));
  text.copy(data.szInfo, std::min(text.size(), sizeof data.szInfo - 1));
  ::Shell_NotifyIconA(NIM_MODIFY, &data);
}

void TTrayIcon::CheckShellRestart() {
  if (!active_) return;
  if (::FindWindowA(kTaskbarClass, nullptr) != taskbar_) AddIcon();
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
  ::PostMessageA(window_.get(), WM_NULL, 0, 0);
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
    if (active_) AddIcon();
    return 0;
  }
  if ((message == WM_INITMENUPOPUP || message == WM_DRAWITEM || message == WM_MEASUREITEM) && OnMenuMessage) {
    return OnMenuMessage(message, wParam, lParam);
  }
  return ::DefWindowProcA(window_.get(), message, wParam, lParam);
}


}  // namespace zorvex
