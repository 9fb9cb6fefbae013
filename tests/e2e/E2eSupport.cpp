#include "E2eSupport.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace zorvex::testing {

namespace {

HWND FindOwnWindow(DWORD processId, const char* className) {
  HWND window = nullptr;
  while ((window = ::FindWindowExA(nullptr, window, className, nullptr)) != nullptr) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == processId) return window;
  }
  return nullptr;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  HANDLE search = ::FindFirstFileA((folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + "\\");
      } else {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryA(folder.c_str());
}

}  // namespace

RunningZorvex::RunningZorvex() {
  static int serial = 0;
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  folder_ = std::string(temp) + "zorvex-e2e-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++serial) + "\\";
  ::CreateDirectoryA(folder_.c_str(), nullptr);
  ::CopyFileA((ProgramFolder() + "zorvex.exe").c_str(), (folder_ + "zorvex.exe").c_str(), FALSE);
}

RunningZorvex::~RunningZorvex() {
  if (Running()) Close();
  RemoveTree(folder_);
}

void RunningZorvex::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream(folder_ + name, std::ios::binary) << bytes;
}

std::string RunningZorvex::ReadFile(const std::string& name) const {
  std::ifstream in(folder_ + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool RunningZorvex::Exists(const std::string& name) const {
  return ::GetFileAttributesA((folder_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
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

}  // namespace zorvex::testing
