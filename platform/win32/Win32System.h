// Sound (winmm), the per-user Run key (advapi32) and the user's date and time formats (kernel32).
#pragma once

#include <windows.h>

#include "platform/Platform.h"

namespace zorvex::win32 {

class Win32Sound : public ISound {
 public:
  // module holds the built-in "ALARM" wave resource.
  explicit Win32Sound(HMODULE module) : module_(module) {}
  void PlayName(const std::string& name) override;
  void PlayBuiltIn() override;

 private:
  HMODULE module_;
};

// Entries under HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run.
class Win32StartupRegistry : public IStartupRegistry {
 public:
  bool Write(const std::string& name, const std::string& command) override;
  void Remove(const std::string& name) override;
  // The entry's data, or empty when it does not exist.
  static std::string Read(const std::string& name);
};

class Win32LocalTime : public ILocalTime {
 public:
  std::string LogStamp() override;
  // The stamp of one moment, in the user's short date and long time formats.
  static std::string Stamp(const SYSTEMTIME& local);
};

// The full path of the running program.
std::string ProgramPath();
// The folder of the running program, with its trailing backslash.
std::string ProgramFolder();

}  // namespace zorvex::win32
