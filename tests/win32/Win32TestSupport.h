// Shared helpers of the Wine tests: helper processes, window look-ups, message pumping.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/Handles.h"

namespace zorvex::testing {

// The folder of the running test program, with a trailing backslash.
std::string ProgramFolder();

// A program started for one test; ended (if still running) when this object goes.
class ChildProcess {
 public:
  ChildProcess() = default;
  // Starts exe, a path below ProgramFolder() or an absolute one, with the command line arguments
  // (already quoted as needed, UTF-8).
  bool Start(const std::string& exe, const std::string& arguments);
  // Starts a whole command line.
  bool StartCommand(std::string commandLine);
  ~ChildProcess();
  ChildProcess(ChildProcess&&) = default;
  ChildProcess& operator=(ChildProcess&&) = default;
  DWORD Id() const { return id_; }
  HANDLE Handle() const { return process_.get(); }
  // Waits for the process to end; true when it did.
  bool WaitForExit(DWORD milliseconds);
  DWORD ExitCode() const;

 private:
  win32::UniqueKernelHandle process_;
  DWORD id_ = 0;
};

// Starts a helper program of the test folder with --ready=EVENT and waits until it sets EVENT.
ChildProcess StartHelper(const std::string& exe, const std::string& arguments);
// Starts popup_windows.exe with the window windows (and its options, such as "--hang=MS") and
// waits until its windows exist.
ChildProcess OpenHelperWindows(const std::vector<std::string>& windows, const std::string& options = "");

// tab_browser.exe running under a program name (chrome.exe, firefox.exe, thunderbird.exe, ...),
// copied into a folder of its own beside the tests; its one window and the tabs it lost.
struct TabBrowser {
  ChildProcess process;
  HWND window = nullptr;
  std::string logPath;
  // The helper's log: "lost tab: TITLE" lines and the like.
  std::string Log() const;
};
// Starts it with arguments such as "--class=Chrome_WidgetWin_1 --mode=tabs --tabs=A|B|C".
TabBrowser StartTabBrowser(const std::string& program, const std::string& arguments);

// nag_windows.exe showing windows (KIND|TITLE[|CLASS], see the helper), and the log it keeps of
// what happened to them. Going, it asks the helper to end, and ends it if it does not.
struct NagWindows {
  NagWindows() = default;
  ~NagWindows();
  NagWindows(NagWindows&&) = default;
  NagWindows& operator=(NagWindows&&) = default;
  ChildProcess process;
  win32::UniqueKernelHandle quit;
  std::string logPath;
  // The log's lines, in order.
  std::vector<std::string> Lines() const;
  // How many of its lines are exactly line.
  std::size_t Count(const std::string& line) const;
  bool Logged(const std::string& line) const { return Count(line) > 0; }
  // Its window (top-level or control) with this title; nullptr when there is none.
  HWND Window(const std::string& title) const;
};
// Starts it with options such as "--delay=MS" and waits until its windows exist.
NagWindows StartNagWindows(const std::vector<std::string>& windows, const std::string& options = "");

// Top-level windows of a process, highest in the z-order first.
std::vector<HWND> TopLevelWindowsOf(DWORD processId);
// The first top-level window or descendant of a process with this title (UTF-8), or nullptr.
HWND FindWindowOf(DWORD processId, const std::string& title);

// The text of a window (its title, or a control's caption), read with the W call, in UTF-8.
std::string TextOf(HWND window);

// A window title in one script (UTF-8) and a rule in the same script that fits it byte for byte once
// the title's ASCII letters are lower-cased, as every matcher does.
struct ScriptTitle {
  const char* script;
  const char* title;
  const char* rule;
};
// Titles that no single-byte code page holds: Cyrillic, Greek, CJK, emoji, right to left, and the
// zero-width space today's browsers put into their names.
inline const std::vector<ScriptTitle>& ScriptTitles() {
  static const std::vector<ScriptTitle> titles = {
      {"Cyrillic", "Казино рояль – бонус", "*рояль*"},
      {"Greek", "Δωρεάν καζίνο", "*καζίνο"},
      {"CJK", "免费赌场 – 今すぐ登録", "免费赌场*"},
      {"emoji", "🎰 Jackpot 🎰 winner", "🎰 jackpot 🎰*"},
      {"Arabic", "كازينو مجاني", "كازينو*"},
      {"Hebrew", "קזינו חינם", "*חינם"},
      {"zero-width space", "New Tab - Microsoft\u200bEdge", "*microsoft\u200bedge"},
  };
  return titles;
}

// Dispatches this thread's messages until pred() holds or the time is up; returns pred().
bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace zorvex::testing
