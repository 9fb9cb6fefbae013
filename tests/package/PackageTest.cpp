// The release as a Windows user gets it: the unpacked portable zip, and the per-user installer
// run silently in a fresh prefix, over a running older install, and removed again.
// tests/package/run sets the environment: ZORVEX_PACKAGE_SETUP and ZORVEX_PACKAGE_OLDER_SETUP (the
// installers), ZORVEX_PACKAGE_UNZIPPED (the folder the zip was unpacked into), ZORVEX_PACKAGE_VERSION.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "../e2e/E2eSupport.h"

using namespace zorvex::testing;
using namespace std::chrono_literals;

namespace {

const char* const kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zorvex";
const char* const kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRules = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Rules>\r\n <Rule>*package popup*</Rule>\r\n</Rules>\r\n";
// Quiet, and counting from 41, so a count of 42 can only come from the running program.
const char* const kOptions = "<Options><PlaySound>0</PlaySound><Count>41</Count></Options>";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string WithSlash(std::string folder) { return folder.empty() || folder.back() == '\\' ? folder : folder + "\\"; }

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return WithSlash(path);
}

std::string InstallFolder() { return ShellFolder(CSIDL_LOCAL_APPDATA) + "Programs\\Zorvex\\"; }
std::string Shortcut() { return ShellFolder(CSIDL_PROGRAMS) + "Zorvex.lnk"; }

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Compared as bools, so a failure does not print two programs byte by byte.
bool SameBytes(const std::string& a, const std::string& b) { return ReadFile(a) == ReadFile(b); }

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The names in a folder, sub-folders with a trailing backslash.
std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found{};
  HANDLE search = ::FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    names.insert((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? name + "\\" : name);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return names;
}

struct RegValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::string text;
  DWORD number = 0;
};

RegValue ReadValue(const char* key, const char* name) {
  RegValue value;
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return value;
  char data[2048] = {};
  DWORD size = sizeof data - 1;
  if (::RegQueryValueExA(opened, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
    value.present = true;
    if (value.type == REG_DWORD) std::memcpy(&value.number, data, sizeof value.number);
    else value.text = data;
  }
  ::RegCloseKey(opened);
  return value;
}

bool KeyExists(const char* key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  ::RegCloseKey(opened);
  return true;
}

// Where a shell link points, as the Start menu would follow it.
std::string ShortcutTarget(const std::string& link) {
  std::string target;
  ::CoInitialize(nullptr);
  IShellLinkA* shell = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shell)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      const std::wstring wide(link.begin(), link.end());
      char path[MAX_PATH] = {};
      if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) && SUCCEEDED(shell->GetPath(path, MAX_PATH, nullptr, 0)))
        target = path;
      file->Release();
    }
    shell->Release();
  }
  ::CoUninitialize();
  return target;
}

// Ids of the processes whose program file is zorvex.exe.
std::vector<DWORD> ZorvexProcesses() {
  std::vector<DWORD> ids;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry)) {
    if (::lstrcmpiW(entry.szExeFile, L"zorvex.exe") == 0) ids.push_back(entry.th32ProcessID);
  }
  ::CloseHandle(snapshot);
  return ids;
}

// The main form of a running Zorvex, and its process id.
HWND MainForm(DWORD* processId = nullptr) {
  HWND form = ::FindWindowA("TfoMain", nullptr);
  if (form != nullptr && processId != nullptr) ::GetWindowThreadProcessId(form, processId);
  return form;
}

// Ends a Zorvex left running, politely, so that the next test starts from a quiet desktop.
void EndAnyZorvex() {
  DWORD id = 0;
  while (MainForm(&id) != nullptr) {
    zorvex::win32::UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
    ::PostMessageA(MainForm(), WM_CLOSE, 0, 0);
    if (process.get() == nullptr || ::WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0) break;
  }
}

// Runs an installer or uninstaller with /S (and more, when given) and waits for its process; its
// exit code.
DWORD RunSilently(const std::string& program, const std::string& more = "") {
  ChildProcess run;
  if (!run.StartCommand("\"" + program + "\" /S" + (more.empty() ? "" : " " + more))) return DWORD(-1);
  if (!run.WaitForExit(120000)) return DWORD(-2);
  return run.ExitCode();
}

// Starts the installed program as the Start menu does; true when its main form and tray icon are up.
bool StartInstalled(ChildProcess& process, int iconsBefore) {
  if (!process.StartCommand("\"" + InstallFolder() + "zorvex.exe\"")) return false;
  return PumpUntil([&] {
    DWORD id = 0;
    return MainForm(&id) != nullptr && id == process.Id() && TrayIconCount() == iconsBefore + 1;
  }, 20s);
}

class Package : public ::testing::Test {
 protected:
  void SetUp() override {
    setup = Env("ZORVEX_PACKAGE_SETUP");
    olderSetup = Env("ZORVEX_PACKAGE_OLDER_SETUP");
    version = Env("ZORVEX_PACKAGE_VERSION");
    unzipped = WithSlash(Env("ZORVEX_PACKAGE_UNZIPPED")) + "Zorvex\\";
    ASSERT_TRUE(Exists(setup)) << "no installer at '" << setup << "' (tests/package/run sets it)";
    ASSERT_FALSE(version.empty());
  }
  void TearDown() override {
    EndAnyZorvex();
    // Only Zorvex shows an icon in this fresh prefix: the next test counts from a settled tray.
    PumpUntil([] { return TrayIconCount() == 0; }, 10s);
  }

  std::string setup, olderSetup, version, unzipped;
};

}  // namespace

TEST_F(Package, TheUnpackedZipRunsFromItsFolderAndKeepsItsFilesThere) {
  const std::set<std::string> expected = {"zorvex.exe", "README.txt", "Languages\\"};
  EXPECT_EQ(Listing(unzipped), expected);
  EXPECT_TRUE(Exists(unzipped + "Languages\\English.xml"));
  const std::string readme = ReadFile(unzipped + "README.txt");
  for (const char* part : {"Ctrl+Shift+Insert", "Ctrl+Shift+Delete", "Scroll Lock", "options.xml", "rules.xml",
                           "zorvex.log", "Uninstall", "\r\n"}) {
    EXPECT_NE(readme.find(part), std::string::npos) << "README.txt lacks " << part;
  }
  EXPECT_NE(readme.find("Zorvex " + version), std::string::npos);

  const int iconsBefore = TrayIconCount();
  ChildProcess program;
  ASSERT_TRUE(program.StartCommand("\"" + unzipped + "zorvex.exe\""));
  ASSERT_TRUE(PumpUntil([&] { return MainForm() != nullptr && TrayIconCount() == iconsBefore + 1; }, 20s));
  EXPECT_EQ(ReadValue(kRunKey, "Zorvex").text, "\"" + unzipped + "zorvex.exe\"");
  ::PostMessageA(MainForm(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(program.WaitForExit(20000));
  EXPECT_NE(ReadFile(unzipped + "options.xml").find("<Count>0</Count>"), std::string::npos);
  EXPECT_NE(ReadFile(unzipped + "rules.xml").find("<Rules/>"), std::string::npos);
  // Its start-with-Windows value would outlive the test and name a folder the uninstall leaves alone.
  HKEY run = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
    ::RegDeleteValueA(run, "Zorvex");
    ::RegCloseKey(run);
  }
}

TEST_F(Package, ASilentInstallPutsEverythingInPlaceAndTheProgramStarts) {
  ASSERT_FALSE(Exists(InstallFolder())) << "the prefix is not fresh";
  ASSERT_EQ(RunSilently(setup), 0u);
  const std::string folder = InstallFolder();
  const std::set<std::string> files = {"zorvex.exe", "README.txt", "Languages\\", "uninstall.exe"};
  EXPECT_EQ(Listing(folder), files);
  EXPECT_EQ(Listing(folder + "Languages\\"), Listing(unzipped + "Languages\\"));
  EXPECT_TRUE(SameBytes(folder + "zorvex.exe", unzipped + "zorvex.exe")) << "not the packaged program";
  EXPECT_EQ(::lstrcmpiA(ShortcutTarget(Shortcut()).c_str(), (folder + "zorvex.exe").c_str()), 0)
      << "shortcut points to '" << ShortcutTarget(Shortcut()) << "'";

  const std::string location = folder.substr(0, folder.size() - 1);
  struct Expected {
    const char* name;
    std::string text;
  };
  for (const Expected& e : {Expected{"DisplayName", "Zorvex"}, Expected{"DisplayVersion", version},
                            Expected{"Publisher", "The Zorvex developers"},
                            Expected{"DisplayIcon", folder + "zorvex.exe,0"}, Expected{"InstallLocation", location},
                            Expected{"UninstallString", "\"" + folder + "uninstall.exe\""},
                            Expected{"QuietUninstallString", "\"" + folder + "uninstall.exe\" /S"}}) {
    const RegValue value = ReadValue(kUninstallKey, e.name);
    EXPECT_EQ(value.type, DWORD(REG_SZ)) << e.name;
    EXPECT_EQ(value.text, e.text) << e.name;
  }
  for (const char* flag : {"NoModify", "NoRepair"}) {
    EXPECT_EQ(ReadValue(kUninstallKey, flag).type, DWORD(REG_DWORD)) << flag;
    EXPECT_EQ(ReadValue(kUninstallKey, flag).number, 1u) << flag;
  }
  // In KB: at least the program itself, far less than ten times it.
  const RegValue size = ReadValue(kUninstallKey, "EstimatedSize");
  const DWORD programKb = DWORD(ReadFile(folder + "zorvex.exe").size() / 1024);
  EXPECT_EQ(size.type, DWORD(REG_DWORD));
  EXPECT_GE(size.number, programKb);
  EXPECT_LT(size.number, programKb * 10);

  const int iconsBefore = TrayIconCount();
  ChildProcess program;
  ASSERT_TRUE(StartInstalled(program, iconsBefore)) << "the installed program showed no main form or tray icon";
  ::PostMessageA(MainForm(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(program.WaitForExit(20000));
  // It can write beside itself there.
  EXPECT_TRUE(Exists(folder + "options.xml"));
  EXPECT_TRUE(Exists(folder + "rules.xml"));
}

TEST_F(Package, AnUpgradeOverARunningOlderInstallClosesItPolitelyAndKeepsRulesCountAndLog) {
  ASSERT_TRUE(Exists(olderSetup)) << "no older installer at '" << olderSetup << "'";
  ASSERT_EQ(RunSilently(olderSetup), 0u);
  const std::string folder = InstallFolder();
  ASSERT_FALSE(SameBytes(folder + "zorvex.exe", unzipped + "zorvex.exe")) << "the older program is the same file";
  WriteFile(folder + "rules.xml", kRules);
  WriteFile(folder + "options.xml", kOptions);

  const int iconsBefore = TrayIconCount();
  ChildProcess older;
  ASSERT_TRUE(StartInstalled(older, iconsBefore));
  ChildProcess browser = OpenHelperWindows({"IEFrame|A package popup|900|700|v"});
  // Announced as it is made, the popup may be gone before the helper says its windows are ready.
  ASSERT_TRUE(PumpUntil([&] { return FindWindowOf(browser.Id(), "A package popup") == nullptr; }, 10s))
      << "the older program closed no popup";
  ASSERT_TRUE(PumpUntil([&] { return ReadFile(folder + "zorvex.log").find("A package popup") != std::string::npos; }, 10s));

  ASSERT_EQ(RunSilently(setup), 0u);
  EXPECT_TRUE(older.WaitForExit(0)) << "the older program still runs";
  EXPECT_EQ(older.ExitCode(), 0u) << "the older program was not ended the polite way";
  EXPECT_TRUE(SameBytes(folder + "zorvex.exe", unzipped + "zorvex.exe")) << "the program was not replaced";
  EXPECT_EQ(ReadValue(kUninstallKey, "DisplayVersion").text, version);
  // Saved by the older program as it ended, and left alone by the installer.
  EXPECT_NE(ReadFile(folder + "options.xml").find("<Count>42</Count>"), std::string::npos)
      << ReadFile(folder + "options.xml");
  // The rule that closed the popup counts it.
  EXPECT_NE(ReadFile(folder + "rules.xml").find("\">*package popup*</Rule>"), std::string::npos)
      << ReadFile(folder + "rules.xml");
  EXPECT_NE(ReadFile(folder + "zorvex.log").find("A package popup"), std::string::npos);

  // A silent upgrade starts again the program it closed, with the kept rules.
  DWORD restarted = 0;
  ASSERT_TRUE(PumpUntil([&] { return MainForm(&restarted) != nullptr && restarted != older.Id(); }, 20s))
      << "the new program was not started again";
  ChildProcess again = OpenHelperWindows({"IEFrame|Another package popup|900|700|v"});
  EXPECT_TRUE(PumpUntil([&] { return FindWindowOf(again.Id(), "Another package popup") == nullptr; }, 10s))
      << "the new program lost the rule";
  EXPECT_TRUE(PumpUntil([&] { return ReadFile(folder + "zorvex.log").find("Another package popup") != std::string::npos; },
                        10s));
}

TEST_F(Package, ASilentUninstallLeavesOnlyTheSettingsAndNoTrace) {
  ASSERT_EQ(RunSilently(setup), 0u);
  const std::string folder = InstallFolder();
  WriteFile(folder + "rules.xml", kRules);
  WriteFile(folder + "options.xml", kOptions);
  WriteFile(folder + "zorvex.log", "[01.02.2026 10:00:00] Popup Killed: An old popup (*popup*)\r\n");
  const int iconsBefore = TrayIconCount();
  ChildProcess program;
  ASSERT_TRUE(StartInstalled(program, iconsBefore));
  // Start with Windows is on by default: the running program has written its Run value.
  ASSERT_EQ(ReadValue(kRunKey, "Zorvex").text, "\"" + folder + "zorvex.exe\"");

  // The uninstaller hands its work to a copy of itself and returns: wait for the key, its last step.
  RunSilently(folder + "uninstall.exe");
  ASSERT_TRUE(PumpUntil([] { return !KeyExists(kUninstallKey); }, 60s)) << "the Uninstall key stayed";
  EXPECT_TRUE(program.WaitForExit(0)) << "the program still runs";
  EXPECT_EQ(program.ExitCode(), 0u) << "the program was not ended the polite way";
  EXPECT_TRUE(PumpUntil([] { return ZorvexProcesses().empty(); }, 10s)) << "a zorvex.exe process remains";
  EXPECT_FALSE(ReadValue(kRunKey, "Zorvex").present);
  EXPECT_FALSE(Exists(Shortcut()));
  // Only the settings, as the program saved them when it was closed.
  EXPECT_TRUE(PumpUntil([&] { return !Exists(folder + "uninstall.exe"); }, 10s));
  const std::set<std::string> kept = {"options.xml", "rules.xml", "zorvex.log"};
  EXPECT_EQ(Listing(folder), kept);
  EXPECT_NE(ReadFile(folder + "options.xml").find("<Count>41</Count>"), std::string::npos);
  EXPECT_NE(ReadFile(folder + "options.xml").find("<StartWindows>"), std::string::npos) << "not saved at the end";
  // No popup was closed here: the rule stays as written, without counts.
  EXPECT_NE(ReadFile(folder + "rules.xml").find("<Rule>*package popup*</Rule>"), std::string::npos)
      << ReadFile(folder + "rules.xml");
  EXPECT_NE(ReadFile(folder + "zorvex.log").find("An old popup"), std::string::npos);
}

// winget runs the installer with /S and gives the folder last as /D=, at times in quotes, which
// NSIS takes as part of the folder's name. Either way it lands in the folder and is listed there.
TEST_F(Package, ASilentInstallGoesToTheFolderGivenAsSlashDQuotedOrNot) {
  const std::string base = ShellFolder(CSIDL_LOCAL_APPDATA) + "Package Apps\\";
  const struct {
    std::string folder;
    bool quoted;
  } cases[] = {{base + "Zorvex quoted", true}, {base + "Zorvex plain", false}};
  for (const auto& c : cases) {
    const std::string argument = c.quoted ? "\"" + c.folder + "\"" : c.folder;
    ASSERT_EQ(RunSilently(setup, "/D=" + argument), 0u) << argument;
    EXPECT_TRUE(SameBytes(c.folder + "\\zorvex.exe", unzipped + "zorvex.exe")) << argument;
    EXPECT_EQ(ReadValue(kUninstallKey, "InstallLocation").text, c.folder) << argument;
    EXPECT_EQ(::lstrcmpiA(ShortcutTarget(Shortcut()).c_str(), (c.folder + "\\zorvex.exe").c_str()), 0) << argument;
    // Gone again, so that the next install finds no earlier folder to go to.
    RunSilently(c.folder + "\\uninstall.exe");
    ASSERT_TRUE(PumpUntil([] { return !KeyExists(kUninstallKey); }, 60s)) << argument;
  }
}
