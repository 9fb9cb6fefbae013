// Test helper: does to a running program's tray icon what a user's mouse and keyboard would.
//   tray_poke.exe menu            opens the tray menu (right-button release on the icon)
//   tray_poke.exe keys K1 K2 ...  presses keys: down up left right enter esc tab
//   tray_poke.exe dblclick        double-clicks the icon
//   tray_poke.exe settext TEXT    replaces the text of the focused control, as typing over it would
//                                 (the text in any script: the command line is read in UTF-16)
#include <windows.h>

#include <cstring>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring what = argv[1];
  HWND tray = FindWindowW(L"ZorvexTrayIconWindow", nullptr);
  if (what == L"menu" || what == L"dblclick") {
    if (tray == nullptr) return 1;
    PostMessageW(tray, WM_USER + 1, 1, what == L"menu" ? WM_RBUTTONUP : WM_LBUTTONDBLCLK);
    return 0;
  }
  if (what == L"keys") {
    for (int i = 2; i < argc; ++i) {
      const std::wstring k = argv[i];
      WORD vk = k == L"down" ? VK_DOWN : k == L"up" ? VK_UP : k == L"left" ? VK_LEFT : k == L"right" ? VK_RIGHT
              : k == L"enter" ? VK_RETURN : k == L"esc" ? VK_ESCAPE : k == L"tab" ? VK_TAB : 0;
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
  if (what == L"settext" && argc == 3) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (!GetGUIThreadInfo(0, &gui) || gui.hwndFocus == nullptr) return 1;
    SendMessageW(gui.hwndFocus, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
    return 0;
  }
  return 2;
}
