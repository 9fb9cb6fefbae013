// zorvex.exe as a user runs it: copied into a scratch folder of its own, started, watched from
// outside through its windows and files, and ended the polite way.
#pragma once

#include <windows.h>

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

}  // namespace zorvex::testing
