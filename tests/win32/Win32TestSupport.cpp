#include "Win32TestSupport.h"

#include <cstdio>

#include <atomic>

#include "platform/win32/WideText.h"

namespace zorvex::testing {

std::string ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::string folder = win32::Narrow(std::wstring(path));
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

bool ChildProcess::Start(const std::string& exe, const std::string& arguments) {
  const bool absolute = exe.size() > 2 && exe[1] == ':';
  return StartCommand("\"" + (absolute ? exe : ProgramFolder() + exe) + "\" " + arguments);
}

bool ChildProcess::StartCommand(std::string command) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = win32::Widen(command);
  if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  ::CloseHandle(pi.hThread);
  process_.reset(pi.hProcess);
  id_ = pi.dwProcessId;
  return true;
}

ChildProcess::~ChildProcess() {
  if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

bool ChildProcess::WaitForExit(DWORD milliseconds) {
  return process_ && ::WaitForSingleObject(process_.get(), milliseconds) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

ChildProcess OpenHelperWindows(const std::vector<std::string>& windows, const std::string& options) {
  std::string arguments = options;
  for (const std::string& window : windows) arguments += " \"" + window + "\"";
  return StartHelper("popup_windows.exe", arguments);
}

ChildProcess StartHelper(const std::string& exe, const std::string& arguments) {
  static std::atomic<int> serial{0};
  const std::string eventName =
      "ZorvexTestReady-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++serial);
  win32::UniqueKernelHandle ready(::CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
  ChildProcess child;
  if (child.Start(exe, "--ready=" + eventName + " " + arguments)) {
    HANDLE waits[] = {ready.get(), child.Handle()};
    ::WaitForMultipleObjects(2, waits, FALSE, 15000);
  }
  return child;
}

TabBrowser StartTabBrowser(const std::string& program, const std::string& arguments) {
  static std::atomic<int> serial{0};
  // In this Wine session's own temporary folder: the tiers run side by side from one build folder,
  // and their processes' ids repeat from one session to the next, so a shared folder mixed their
  // browsers' logs.
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "zorvex-tabs\\";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  // A copy still running from an earlier test cannot be replaced, and needs not be: same build.
  ::CopyFileA((ProgramFolder() + "tab_browser.exe").c_str(), (folder + program).c_str(), FALSE);
  TabBrowser browser;
  browser.logPath = folder + program + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
                    std::to_string(++serial) + ".log";
  ::DeleteFileA(browser.logPath.c_str());
  browser.process = StartHelper(folder + program, "\"--log=" + browser.logPath + "\" " + arguments);
  const std::vector<HWND> windows = TopLevelWindowsOf(browser.process.Id());
  if (!windows.empty()) browser.window = windows.front();
  return browser;
}

namespace {

// A helper's log, read while the helper may still be writing it; empty when there is none yet.
std::string ReadLog(const std::string& path) {
  std::string text;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  return text;
}

// A file name in this Wine session's temporary folder, new for each call.
std::string SessionTempFile(const std::string& folderName, const std::string& stem) {
  static std::atomic<int> serial{0};
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + folderName + "\\";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const std::string path = folder + stem + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(++serial) + ".log";
  ::DeleteFileA(path.c_str());
  return path;
}

}  // namespace

std::string TabBrowser::Log() const { return ReadLog(logPath); }

NagWindows StartNagWindows(const std::vector<std::string>& windows, const std::string& options) {
  static std::atomic<int> serial{0};
  NagWindows nag;
  nag.logPath = SessionTempFile("zorvex-nag", "nag_windows");
  const std::string quitName =
      "ZorvexNagQuit-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++serial);
  nag.quit.reset(::CreateEventA(nullptr, TRUE, FALSE, quitName.c_str()));
  // The quit event ends it long before its own cap, which only a test run cut short meets.
  std::string arguments = "\"--log=" + nag.logPath + "\" --quit=" + quitName + " --seconds=600 " + options;
  for (const std::string& window : windows) arguments += " \"" + window + "\"";
  nag.process = StartHelper("nag_windows.exe", arguments);
  return nag;
}

NagWindows::~NagWindows() {
  if (quit) ::SetEvent(quit.get());
  process.WaitForExit(10000);
}

std::vector<std::string> NagWindows::Lines() const {
  std::vector<std::string> lines;
  const std::string text = ReadLog(logPath);
  std::size_t start = 0;
  // A last line without its end is still being written.
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::size_t NagWindows::Count(const std::string& line) const {
  std::size_t count = 0;
  for (const std::string& logged : Lines()) count += logged == line ? 1 : 0;
  return count;
}

HWND NagWindows::Window(const std::string& title) const { return FindWindowOf(process.Id(), title); }

namespace {
struct Search {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectOf(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t cls[256] = {};
  ::GetClassNameW(window, cls, 256);
  // The system gives every GUI thread an input-method window of its own; it is not the helper's.
  if (owner == search->processId && std::wstring(cls) != L"IME") search->found.push_back(window);
  return TRUE;
}
}  // namespace

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
  Search search{processId, {}};
  ::EnumWindows(CollectOf, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindWindowOf(DWORD processId, const std::string& title) {
  for (HWND top : TopLevelWindowsOf(processId)) {
    Search all{processId, {top}};
    ::EnumChildWindows(top, CollectOf, reinterpret_cast<LPARAM>(&all));
    for (HWND window : all.found) {
      if (TextOf(window) == title) return window;
    }
  }
  return nullptr;
}

std::string TextOf(HWND window) {
  wchar_t text[4096] = {};
  const int length = ::GetWindowTextW(window, text, 4096);
  return win32::Narrow(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

}  // namespace zorvex::testing
