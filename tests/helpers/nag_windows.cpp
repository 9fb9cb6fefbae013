// Test helper: the windows a program nags with, in a process of its own, telling in a log what
// happens to each of them, so that tests can wait on the log.
//
//   nag_windows.exe --ready=EVENT --log=FILE [--delay=MS] [--front=TITLE] [--quit=EVENT]
//                   [--seconds=N] WINDOW...
//   WINDOW: KIND|TITLE[|CLASS]
//   KIND: dialog    a dialog ("#32770") with the push buttons "&Close", "Buy &now", "Continue"
//                   (disabled for MS milliseconds, 2000 unless --delay says), "Hidden" (not
//                   shown) and the check box "&Don't show again"; Close and Continue end it
//         plain     a top-level window of CLASS (NagWindow unless given)
//         stubborn  as plain (class NagStubborn unless given), but it ignores the close command
// Every window is shown without being activated; --front=TITLE then puts that one of them in
// front, so that the others are not. EVENT is set once every window exists.
// FILE gets one line per event, written at once: "enabled CAPTION in TITLE" (just before it is),
// "pressed CAPTION in TITLE" (captions without their "&" marks, a press of a disabled button
// included), "minimized TITLE", "restored TITLE", "ignored close of TITLE", "closed TITLE".
// It ends once its windows are gone, when the --quit event is set, or after N seconds (300).
#include <windows.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

enum ButtonId : WORD { kCloseButton = 101, kBuyButton, kContinueButton, kHiddenButton, kCheckBox };
constexpr UINT_PTR kEnableTimer = 1;

std::wstring g_logPath;
UINT g_delayMs = 2000;
int g_topLevel = 0;
std::set<HWND> g_minimised;

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  const int length = GetWindowTextW(window, text, 1024);
  return std::wstring(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::wstring WithoutMarks(const std::wstring& caption) {
  std::wstring out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == L'&' && ++i >= caption.size()) break;
    out += caption[i];
  }
  return out;
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// Opened and closed per line: a test reads the file while this process runs, and a line must be
// whole there as soon as its event has happened.
void Log(const std::wstring& line) {
  if (g_logPath.empty()) return;
  const std::unique_ptr<FILE, FileCloser> file(_wfopen(g_logPath.c_str(), L"ab"));
  if (!file) return;
  const std::string text = Narrow(line) + "\n";
  std::fwrite(text.data(), 1, text.size(), file.get());
}

void WindowGone(HWND window) {
  Log(L"closed " + TextOf(window));
  g_minimised.erase(window);
  if (--g_topLevel == 0) PostQuitMessage(0);
}

void SizeChanged(HWND window, WPARAM kind) {
  if (kind == SIZE_MINIMIZED) {
    if (g_minimised.insert(window).second) Log(L"minimized " + TextOf(window));
  } else if (g_minimised.erase(window) > 0) {
    Log(L"restored " + TextOf(window));
  }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetTimer(dialog, kEnableTimer, g_delayMs, nullptr);
      return FALSE;  // no focus given: the dialog must not take the foreground
    case WM_TIMER:
      if (wParam != kEnableTimer) return FALSE;
      KillTimer(dialog, kEnableTimer);
      // Told before it happens: a test that read the button and then finds no line knows that it
      // read it disabled.
      Log(L"enabled " + WithoutMarks(TextOf(GetDlgItem(dialog, kContinueButton))) + L" in " + TextOf(dialog));
      EnableWindow(GetDlgItem(dialog, kContinueButton), TRUE);
      return TRUE;
    case WM_COMMAND: {
      const WORD id = LOWORD(wParam);
      if (HIWORD(wParam) != BN_CLICKED || id == kCheckBox) return FALSE;
      // Logged whatever the button's state: a real program trusts the notification it gets.
      Log(L"pressed " + WithoutMarks(TextOf(GetDlgItem(dialog, id))) + L" in " + TextOf(dialog));
      if (id == kCloseButton || id == kContinueButton) DestroyWindow(dialog);
      return TRUE;
    }
    case WM_SIZE:
      SizeChanged(dialog, wParam);
      return FALSE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      WindowGone(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SIZE) SizeChanged(window, wParam);
  if (message == WM_DESTROY) WindowGone(window);
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK StubbornProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if ((message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) || message == WM_CLOSE) {
    Log(L"ignored close of " + TextOf(window));
    return 0;
  }
  return PlainProc(window, message, wParam, lParam);
}

// An in-memory dialog template: a DLGTEMPLATE, then each DLGITEMTEMPLATE on a DWORD boundary.
class DialogTemplate {
 public:
  explicit DialogTemplate(const std::wstring& title) {
    Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME);
    Dword(0);  // extended style
    Word(0);   // item count, kept up to date by Button
    Box(0, 0, 220, 90);
    Word(0);  // no menu
    Word(0);  // the system's dialog class
    Text(title);
  }
  void Button(WORD id, const std::wstring& caption, DWORD style, short x, short y) {
    if (words_.size() % 2 != 0) Word(0);
    ++words_[kCountAt];
    Dword(WS_CHILD | WS_TABSTOP | style);
    Dword(0);
    Box(x, y, 60, 14);
    Word(id);
    Word(0xFFFF);
    Word(0x0080);  // the button class
    Text(caption);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  static constexpr std::size_t kCountAt = 4;  // after the two DWORD styles
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Box(short x, short y, short cx, short cy) {
    for (short v : {x, y, cx, cy}) Word(static_cast<WORD>(v));
  }
  void Text(const std::wstring& text) {
    for (wchar_t c : text) Word(static_cast<WORD>(c));
    Word(0);
  }
  std::vector<WORD> words_;
};

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts(1);
  for (wchar_t c : text) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

HWND MakeDialog(HINSTANCE instance, const std::wstring& title) {
  DialogTemplate dialog(title);
  const DWORD shown = WS_VISIBLE;
  dialog.Button(kCloseButton, L"&Close", shown | BS_PUSHBUTTON, 10, 60);
  dialog.Button(kBuyButton, L"Buy &now", shown | BS_DEFPUSHBUTTON, 80, 60);
  dialog.Button(kContinueButton, L"Continue", shown | WS_DISABLED | BS_PUSHBUTTON, 150, 60);
  dialog.Button(kHiddenButton, L"Hidden", BS_PUSHBUTTON, 150, 40);
  dialog.Button(kCheckBox, L"&Don't show again", shown | BS_AUTOCHECKBOX, 10, 10);
  return CreateDialogIndirectParamW(instance, dialog.get(), nullptr, DialogProc, 0);
}

HWND MakeWindow(HINSTANCE instance, const std::wstring& className, const std::wstring& title, WNDPROC proc, int n) {
  static std::set<std::wstring> registered;
  if (registered.insert(className).second) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = className.c_str();
    if (RegisterClassW(&wc) == 0) return nullptr;
  }
  const int offset = 40 + 30 * n;
  return CreateWindowExW(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, offset, offset, 400, 250,
                         nullptr, nullptr, instance, nullptr);
}

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  std::wstring readyEvent, quitEvent, front;
  DWORD seconds = 300;
  std::vector<std::wstring> descriptions;
  for (int i = 1; i < __argc; ++i) {
    const std::wstring arg = __wargv[i];
    const auto value = [&](const wchar_t* name, std::wstring& out) {
      const std::wstring prefix = std::wstring(L"--") + name + L"=";
      if (arg.rfind(prefix, 0) != 0) return false;
      out = arg.substr(prefix.size());
      return true;
    };
    std::wstring number;
    if (value(L"delay", number)) {
      g_delayMs = static_cast<UINT>(std::stoul(number));
    } else if (value(L"seconds", number)) {
      seconds = static_cast<DWORD>(std::stoul(number));
    } else if (!value(L"ready", readyEvent) && !value(L"quit", quitEvent) && !value(L"front", front) &&
               !value(L"log", g_logPath)) {
      descriptions.push_back(arg);
    }
  }

  std::vector<HWND> windows;
  for (const std::wstring& description : descriptions) {
    const std::vector<std::wstring> f = Split(description, L'|');
    if (f.size() < 2) return 2;
    const int n = static_cast<int>(windows.size());
    HWND window = nullptr;
    if (f[0] == L"dialog") {
      window = MakeDialog(instance, f[1]);
    } else if (f[0] == L"plain") {
      window = MakeWindow(instance, f.size() > 2 ? f[2] : L"NagWindow", f[1], PlainProc, n);
    } else if (f[0] == L"stubborn") {
      window = MakeWindow(instance, f.size() > 2 ? f[2] : L"NagStubborn", f[1], StubbornProc, n);
    }
    if (window == nullptr) return 3;
    ++g_topLevel;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    windows.push_back(window);
  }
  for (HWND window : windows) {
    if (!front.empty() && TextOf(window) == front) SetForegroundWindow(window);
  }

  const UniqueHandle quit(quitEvent.empty() ? nullptr : OpenEventW(SYNCHRONIZE, FALSE, quitEvent.c_str()));
  if (!readyEvent.empty()) {
    const UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, readyEvent.c_str()));
    if (ready) SetEvent(ready.get());
  }

  // A hard cap, so that a test that forgets the helper never leaves it running.
  const DWORD end = GetTickCount() + seconds * 1000;
  HANDLE waits[1] = {quit.get()};
  const DWORD count = quit ? 1 : 0;
  for (;;) {
    const DWORD left = static_cast<DWORD>(end - GetTickCount());
    if (static_cast<LONG>(left) <= 0) return 1;
    const DWORD woke = MsgWaitForMultipleObjects(count, waits, FALSE, left, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 && count == 1) return 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return 0;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}
