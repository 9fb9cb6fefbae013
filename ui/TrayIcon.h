// The notification-area icon: one icon (id 1) whose mouse messages come to a hidden window of its
// own, a tooltip, the popup menu on right-button release and a handler for double clicks.
//
// Lifecycle: the icon is added when the component is made active and removed when it is made
// inactive or destroyed. After the task bar is re-created (the shell restarted) the icon is added
// again, on the shell's "TaskbarCreated" broadcast and on CheckShellRestart. The shell sends that
// broadcast after a change of the display's density too: then the icon is still there and only takes
// the image its owner loads for the new size. Not copyable.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/win32/Handles.h"
#include "platform/win32/WindowProc.h"

namespace zorvex {

class TTrayIcon {
 public:
  TTrayIcon();
  ~TTrayIcon();
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  // Adds or removes the icon.
  void SetActive(bool active);
  bool Active() const { return active_; }
  // Shows a new icon image at once; the icon stays owned by the caller.
  void SetIcon(HICON icon);
  HICON Icon() const { return icon_; }
  // Run on "TaskbarCreated", before the icon is shown again: the owner loads and sets its images
  // at the size the density now asks for.
  std::function<void()> OnTaskbarCreated;
  // The tooltip: the part before a "|", cut to what the shell shows (TrayTip).
  void SetHint(const std::string& hint);
  const std::string& Hint() const { return hint_; }
  // Shows text in a balloon at the icon, under title, where the shell has balloons (version 5 on).
  void ShowBalloon(const std::string& title, const std::string& text);
  // The menu opened on right-button release; owned by the caller.
  void SetMenu(HMENU menu) { menu_ = menu; }
  // Run on a double click with any button.
  std::function<void()> OnDblClick;
  // Run just before the menu opens.
  std::function<void()> OnMenuOpening;
  // Run with the command id of the chosen menu item (0 when none).
  std::function<void(UINT)> OnMenuCommand;
  // The menu's own notices while it is open (WM_INITMENUPOPUP, WM_MEASUREITEM, WM_DRAWITEM):
  // they come to this window, which owns the open menu.
  std::function<LRESULT(UINT, WPARAM, LPARAM)> OnMenuMessage;

  // Adds the icon again when the task bar window is not the one it was added to.
  void CheckShellRestart();
  // The hidden window that receives the icon's messages.
  HWND Window() const { return window_.get(); }
  // Opens the menu at the pointer, as a right click on the icon does.
  void PopupAtCursor();

  static constexpr UINT kIconId = 1;
  static constexpr UINT kCallbackMessage = WM_USER + 1;

 private:
  template <class T>
  friend LRESULT CALLBACK win32::ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  bool Notify(DWORD action);
  void AddIcon();

  win32::UniqueWindow window_;
  UINT taskbarCreated_ = 0;
  HWND taskbar_ = nullptr;
  bool active_ = false;
  HICON icon_ = nullptr;
  std::string hint_;
  HMENU menu_ = nullptr;
  int shellMajor_ = 0;
};

// The shell's major version, from the version resource of its library.
int ShellMajorVersion();
// The tooltip text as the shell of that version takes it: the part before a "|", on one line for
// shells before version 5, cut to the characters the shell's icon data holds (127, or 63 for
// shells before version 5), never inside a character.
std::wstring TrayTip(const std::string& hint, int shellMajor);

}  // namespace zorvex
