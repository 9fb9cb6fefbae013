// Test helper: does to a running program's tray icon what a user's mouse and keyboard would.
//   tray_poke.exe menu            opens the tray menu (right-button release on the icon)
//   tray_poke.exe keys K1 K2 ...  presses keys: down up left right enter esc tab
//   tray_poke.exe dblclick        double-clicks the icon
//   tray_poke.exe settext TEXT    replaces the text of the focused control, as typing over it would
#include <windows.h>

#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string what = argv[1];
  HWND tray = FindWindowA("ZorvexTrayIconWindow", nullptr);
  if (what == "menu" || what == "dblclick") {
    if (tray == nullptr) return 1;
    PostMessageA(tray, WM_USER + 1, 1, what == "menu" ? WM_RBUTTONUP : WM_LBUTTONDBLCLK);
    return 0;
  }
  if (what == "keys") {
    for (int i = 2; i < argc; ++i) {
      const std::string k = argv[i];
      WORD vk = k == "down" ? VK_DOWN : k == "up" ? VK_UP : k == "left" ? VK_LEFT : k == "right" ? VK_RIGHT
              : k == "enter" ? VK_RETURN : k == "esc" ? VK_ESCAPE : k == "tab" ? VK_TAB : 0;
      if (vk == 0) return 2;
      INPUT press[2] = {};
      press[0].type = press[1].type = INPUT_KEYBOARD;
      press[0].ki.wVk = press[1].ki.wVk = vk;
      press[1].ki.dwFlags = KEYEVENTF_KEYUP;
      SendInput(2, press, sizeof(INPUT));
      Sleep(200);
    }
    return 0;
  }
  if (what == "settext" && argc == 3) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (!GetGUIThreadInfo(0, &gui) || gui.hwndFocus == nullptr) return 1;
    SendMessageA(gui.hwndFocus, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
    return 0;
  }
  return 2;
}
