// zorvex.exe as a user runs it: copied into a scratch folder of its own, started, watched from
// outside through its windows and files, and ended the polite way.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "../win32/Win32TestSupport.h"

namespace zorvex::testing {

class RunningZorvex {
 public:
  // Makes a fresh scratch folder holding a copy of zorvex.exe.
  RunningZorvex();
  // The same in folder (a full path, UTF-8, with a trailing backslash), emptied first.
  explicit RunningZorvex(std::string folder);
  // Ends the program if it still runs and removes the folder.
  ~RunningZorvex();
  RunningZorvex(const RunningZorvex&) = delete;
  RunningZorvex& operator=(const RunningZorvex&) = delete;

  const std::string& Folder() const { return folder_; }
  // Writes a file into the scratch folder (a relative path; its folder must exist). Names are UTF-8.
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;

  // Starts the program and waits for its main form; false when it did not come up.
  bool Start();
  // Starts one more instance from the same folder.
  ChildProcess StartAnother() const;
  // Asks it to end as Windows would (WM_CLOSE to its main form) and waits; true when it ended.
  bool Close();
  bool Running();

  DWORD Id() const { return process_.Id(); }
  HWND MainForm() const { return mainForm_; }
  HWND TrayWindow() const;

 private:
  std::string folder_;
  ChildProcess process_;
  HWND mainForm_ = nullptr;
};

// The names in a folder (UTF-8, with a trailing backslash), without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);

// The icons Wine shows in its stand-alone system tray.
int TrayIconCount();
// Presses and releases keys, one after the other, as the keyboard would.
void PressKeys(std::initializer_list<WORD> keys);
// Opens the program's tray menu as a right click on its icon does, and waits until it shows.
void OpenTrayMenu(RunningZorvex& zorvex);

// A visible top-level window of the process with this title, waited for; nullptr when none came.
HWND WaitForDialog(DWORD processId, const std::string& title);
// The first child of a window of a class (and caption, when given).
HWND Child(HWND parent, const char* className, const char* caption = nullptr);
// Clicks window at target (screen) until done holds. The system gives a click to whatever window it
// has under the pointer when it handles the input, which on a busy machine may lag behind a
// window just shown or a pointer just moved; so each click waits until the pointer is there and
// window is the one under it, and a click that went astray is repeated, slower than a double click.
// clicks tells how many were sent.
bool ClickUntil(HWND window, POINT target, const std::function<bool()>& done, int& clicks);

}  // namespace zorvex::testing
