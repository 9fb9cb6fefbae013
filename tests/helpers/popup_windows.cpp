// Test helper: opens windows of given classes, titles and sizes in a process of its own, the way
// browsers would, and keeps them until they are closed or the time runs out.
//
//   popup_windows.exe --ready=EVENT [--seconds=N] [--hang=MS] [--flood=PER_SECOND] WINDOW...
//   WINDOW: class|title|width|height|flags[|parent]   flags: v visible, h hidden, m minimised,
//           t tool window, o owned (the parent becomes its owner, not its parent)
//   parent: 0-based index of an earlier WINDOW; the window becomes its child (or owned window).
// EVENT (a named event the caller made) is set once every window exists. With --hang the program
// then handles no message for MS milliseconds, as a browser busy with a heavy page. With --flood it
// makes that many plain windows a second until the time runs out, keeping the newest 100.
// Classes are registered and titles given through the W functions, so a title in any script
// reaches its window whole.
#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (wchar_t c : text) {
    if (c == separator) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

int g_topLevel = 0;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY && (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) == 0) {
    if (--g_topLevel == 0) PostQuitMessage(0);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  std::wstring readyEvent;
  int seconds = 60;
  DWORD hangMs = 0;
  int floodPerSecond = 0;
  std::vector<std::wstring> descriptions;
  for (int i = 1; i < __argc; ++i) {
    const std::wstring arg = __wargv[i];
    if (arg.rfind(L"--ready=", 0) == 0) {
      readyEvent = arg.substr(8);
    } else if (arg.rfind(L"--flood=", 0) == 0) {
      floodPerSecond = std::stoi(arg.substr(8));
    } else if (arg.rfind(L"--hang=", 0) == 0) {
      hangMs = static_cast<DWORD>(std::stoul(arg.substr(7)));
    } else if (arg.rfind(L"--seconds=", 0) == 0) {
      seconds = std::stoi(arg.substr(10));
    } else {
      descriptions.push_back(arg);
    }
  }

  std::set<std::wstring> registered;
  std::vector<HWND> windows;
  for (std::size_t i = 0; i < descriptions.size(); ++i) {
    const std::vector<std::wstring> f = Split(descriptions[i], L'|');
    if (f.size() < 5) return 2;
    const std::wstring& cls = f[0];
    if (registered.insert(cls).second) {
      WNDCLASSW wc{};
      wc.lpfnWndProc = WindowProc;
      wc.hInstance = instance;
      wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
      wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
      wc.lpszClassName = cls.c_str();
      RegisterClassW(&wc);
    }
    const bool owned = f[4].find(L'o') != std::wstring::npos;
    const bool child = f.size() > 5 && !f[5].empty() && !owned;
    HWND parent = f.size() > 5 && !f[5].empty() ? windows.at(std::stoi(f[5])) : nullptr;
    const DWORD style = child ? WS_CHILD : WS_OVERLAPPEDWINDOW;
    const DWORD exStyle = f[4].find(L't') != std::wstring::npos ? WS_EX_TOOLWINDOW : 0;
    const int offset = 40 + 10 * static_cast<int>(i);
    HWND window = CreateWindowExW(exStyle, cls.c_str(), f[1].c_str(), style, child ? 0 : offset, child ? 0 : offset,
                                  std::stoi(f[2]), std::stoi(f[3]), parent, nullptr, instance, nullptr);
    if (window == nullptr) return 3;
    if (!child) ++g_topLevel;
    if (f[4].find(L'm') != std::wstring::npos) {
      ShowWindow(window, SW_SHOWMINNOACTIVE);
    } else if (f[4].find(L'v') != std::wstring::npos) {
      ShowWindow(window, SW_SHOWNOACTIVATE);
    }
    windows.push_back(window);
  }

  if (!readyEvent.empty()) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, readyEvent.c_str());
    if (event != nullptr) {
      SetEvent(event);
      CloseHandle(event);
    }
  }

  if (hangMs > 0) Sleep(hangMs);
  if (floodPerSecond > 0) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = L"FloodWindow";
    RegisterClassW(&wc);
    std::vector<HWND> flood;
    const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    for (int n = 0; static_cast<LONG>(end - GetTickCount()) > 0; ++n) {
      const std::wstring title = L"Flood " + std::to_wstring(n);
      flood.push_back(CreateWindowExW(0, L"FloodWindow", title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                      100, nullptr, nullptr, instance, nullptr));
      if (flood.size() > 100) {
        DestroyWindow(flood.front());
        flood.erase(flood.begin());
      }
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(1000 / static_cast<DWORD>(floodPerSecond));
    }
    return 0;
  }
  SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
