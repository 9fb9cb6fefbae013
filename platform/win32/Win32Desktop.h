// The desktop seam over user32.
#pragma once

#include <windows.h>

#include "platform/Platform.h"

namespace zorvex::win32 {

inline HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
inline WindowHandle FromHwnd(HWND window) { return reinterpret_cast<WindowHandle>(window); }

class Win32Desktop : public IDesktop {
 public:
  // closeTimeoutMs bounds the wait for a window to handle the close command. The scanner waits on
  // a worker, so the bound may be long: a program that stops handling messages for a while still
  // handles our close when it wakes, and is reported then.
  explicit Win32Desktop(unsigned closeTimeoutMs = 20000) : closeTimeoutMs_(closeTimeoutMs) {}

  std::vector<WindowHandle> TopLevelWindows() override;
  std::vector<WindowHandle> Descendants(WindowHandle window) override;
  bool Exists(WindowHandle window) override;
  std::string ClassName(WindowHandle window) override;
  std::string Title(WindowHandle window) override;
  bool IsVisible(WindowHandle window) override;
  bool IsMinimised(WindowHandle window) override;
  Rect WindowRect(WindowHandle window) override;
  int WindowDpi(WindowHandle window) override;
  Rect MonitorRect(WindowHandle window) override;
  WindowHandle ForegroundWindow() override;
  WindowHandle Owner(WindowHandle window) override;
  bool IsToolWindow(WindowHandle window) override;
  std::uint32_t ProcessId(WindowHandle window) override;
  std::string ProgramPath(std::uint32_t processId) override;
  bool Close(WindowHandle window) override;
  std::uint64_t ProcessStartTime(std::uint32_t processId) override;
  std::uint32_t OwnProcessId() override;
  bool HigherRights(WindowHandle window) override;
  std::vector<PushButton> PushButtons(WindowHandle window) override;
  bool Press(WindowHandle button) override;
  bool Minimise(WindowHandle window) override;
  bool IsCtrlDown() override;
  bool IsScrollLockOn() override;

 private:
  unsigned closeTimeoutMs_;
};

}  // namespace zorvex::win32
