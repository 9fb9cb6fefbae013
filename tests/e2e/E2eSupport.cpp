#include "E2eSupport.h"

#include <vector>

#include "platform/win32/WideText.h"

namespace zorvex::testing {

using win32::Narrow;
using win32::Widen;

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW(Widen(folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = Narrow(std::wstring(found.cFileName));
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}

namespace {

struct ChildSearch {
  const char* cls;
  const char* caption;
  HWND found;
};

BOOL CALLBACK MatchChild(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<ChildSearch*>(p);
  wchar_t cls[64] = {};
  ::GetClassNameW(w, cls, 64);
  if (::lstrcmpiW(cls, zorvex::win32::Widen(s->cls).c_str()) == 0 &&
      (s->caption == nullptr || TextOf(w) == s->caption)) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND FindOwnWindow(DWORD processId, const char* className) {
  HWND window = nullptr;
  while ((window = ::FindWindowExW(nullptr, window, Widen(className).c_str(), nullptr)) != nullptr) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == processId) return window;
  }
  return nullptr;
}

void RemoveTree(const std::string& folder) {
  for (const std::string& name : FolderEntries(folder)) {
    const std::string path = folder + name;
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      RemoveTree(path + "\\");
    } else {
      ::SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(Widen(path).c_str());
    }
  }
  ::RemoveDirectoryW(Widen(folder).c_str());
}

std::string TempFolder() {
  static int serial = 0;
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  return Narrow(std::wstring(temp)) + "zorvex-e2e-" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(++serial) + "\\";
}

}  // namespace

RunningZorvex::RunningZorvex() : RunningZorvex(TempFolder()) {}

RunningZorvex::RunningZorvex(std::string folder) : folder_(std::move(folder)) {
  RemoveTree(folder_);
  ::CreateDirectoryW(Widen(folder_).c_str(), nullptr);
  ::CopyFileW(Widen(ProgramFolder() + "zorvex.exe").c_str(), Widen(folder_ + "zorvex.exe").c_str(), FALSE);
}

RunningZorvex::~RunningZorvex() {
  if (Running()) Close();
  RemoveTree(folder_);
}

void RunningZorvex::WriteFile(const std::string& name, const std::string& bytes) const {
  HANDLE opened = ::CreateFileW(Widen(folder_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return;
  const win32::UniqueKernelHandle file(opened);
  DWORD written = 0;
  ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string RunningZorvex::ReadFile(const std::string& name) const {
  // Shared every way, so that reading never stands in the way of the program's own saving.
  HANDLE opened = ::CreateFileW(Widen(folder_ + name).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return std::string();
  const win32::UniqueKernelHandle file(opened);
  std::string bytes;
  char block[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), block, sizeof block, &got, nullptr) && got > 0) bytes.append(block, got);
  return bytes;
}

bool RunningZorvex::Exists(const std::string& name) const {
  return ::GetFileAttributesW(Widen(folder_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RunningZorvex::Start() {
  if (!process_.StartCommand("\"" + folder_ + "zorvex.exe\"")) return false;
  return PumpUntil([&] { return (mainForm_ = FindOwnWindow(process_.Id(), "TfoMain")) != nullptr; },
                   std::chrono::seconds(20));
}

ChildProcess RunningZorvex::StartAnother() const {
  ChildProcess another;
  another.StartCommand("\"" + folder_ + "zorvex.exe\"");
  return another;
}

bool RunningZorvex::Close() {
  if (mainForm_ != nullptr) ::PostMessageA(mainForm_, WM_CLOSE, 0, 0);
  return process_.WaitForExit(20000);
}

bool RunningZorvex::Running() { return process_.Handle() != nullptr && !process_.WaitForExit(0); }

HWND RunningZorvex::TrayWindow() const { return FindOwnWindow(process_.Id(), "ZorvexTrayIconWindow"); }

int TrayIconCount() {
  HWND tray = ::FindWindowA("__winex11_standalone_tray", nullptr);
  int count = 0;
  HWND icon = nullptr;
  while (tray != nullptr && (icon = ::FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr)) != nullptr) ++count;
  return count;
}

void PressKeys(std::initializer_list<WORD> keys) {
  for (WORD vk : keys) {
    INPUT press[2] = {};
    press[0].type = press[1].type = INPUT_KEYBOARD;
    press[0].ki.wVk = press[1].ki.wVk = vk;
    press[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, press, sizeof(INPUT));
    PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  }
}

void OpenTrayMenu(RunningZorvex& zorvex) {
  ::PostMessageA(zorvex.TrayWindow(), WM_USER + 1, 1, WM_RBUTTONUP);
  PumpUntil([] {
    HWND menu = ::FindWindowA("#32768", nullptr);
    return menu != nullptr && ::IsWindowVisible(menu);
  }, std::chrono::seconds(5));
}

HWND WaitForDialog(DWORD processId, const std::string& title) {
  HWND found = nullptr;
  PumpUntil([&] {
    for (HWND w : TopLevelWindowsOf(processId)) {
      if (TextOf(w) == title && ::IsWindowVisible(w)) found = w;
    }
    return found != nullptr;
  }, std::chrono::seconds(10));
  return found;
}

HWND Child(HWND parent, const char* className, const char* caption) {
  ChildSearch search{className, caption, nullptr};
  ::EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool ClickUntil(HWND window, POINT target, const std::function<bool()>& done, int& clicks) {
  const DWORD gap = ::GetDoubleClickTime() + 100;
  clicks = 0;
  DWORD last = 0;
  return PumpUntil([&] {
    if (done()) return true;
    POINT at{};
    if (!::GetCursorPos(&at) || at.x != target.x || at.y != target.y) {
      ::SetCursorPos(target.x, target.y);
      return false;
    }
    if (::WindowFromPoint(target) != window || (clicks > 0 && ::GetTickCount() - last < gap)) return false;
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, click, sizeof(INPUT));
    ++clicks;
    last = ::GetTickCount();
    return false;
  }, std::chrono::seconds(10));
}

}  // namespace zorvex::testing
