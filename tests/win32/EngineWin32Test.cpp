// The engine's reach outside the program on the real system: the Run entry, the kill log beside
// a program file in the user's date and time format, and the alarm sound.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "Win32TestSupport.h"
#include "engine/ClassKiller.h"
#include "platform/Files.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "platform/win32/Win32System.h"
#include "tests/fakes/FakeDde.h"
#include "tests/fakes/FakeSystem.h"

using namespace zorvex;

namespace {

// A scratch folder holding a real program file "zorvex.exe".
class EngineWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "zorvex-engine-" + std::to_string(::GetCurrentProcessId()) + "\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    program = folder + "zorvex.exe";
    ASSERT_TRUE(::CopyFileA((zorvex::testing::ProgramFolder() + "popup_windows.exe").c_str(), program.c_str(), FALSE));
  }
  void TearDown() override {
    engine.reset();
    for (const char* name :
         {"zorvex.exe", "zorvex.log", "zorvex.log.old", "options.xml", "rules.xml", "rules.xml.unreadable",
          "persisted-options.xml", "persisted-rules.xml"}) {
      const std::string path = folder + name;
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileA(path.c_str());
    }
    ::RemoveDirectoryA(folder.c_str());
    win32::Win32StartupRegistry().Remove("Zorvex");
  }
  TZorvex& Make(const std::string& programPath, const std::function<void(EngineServices&)>& adjust = nullptr) {
    EngineServices services;
    services.folder = folder;
    services.programPath = programPath;
    services.closer.scanner = ScannerServices{std::make_shared<win32::Win32Desktop>(), mainThread,
                                              std::make_shared<SystemSleeper>(), nullptr, nullptr};
    services.closer.clock = std::make_shared<SystemClock>();
    services.sound = std::make_shared<win32::Win32Sound>(::GetModuleHandleA(nullptr));
    services.startup = std::make_shared<win32::Win32StartupRegistry>();
    services.localTime = std::make_shared<win32::Win32LocalTime>();
    if (adjust) adjust(services);
    engine = std::make_unique<TZorvex>(services);
    return *engine;
  }

  std::string folder;
  std::string program;
  std::shared_ptr<win32::Win32MainThread> mainThread = std::make_shared<win32::Win32MainThread>();
  std::unique_ptr<TZorvex> engine;
};

}  // namespace

TEST_F(EngineWin32, RunEntryIsWrittenRewrittenAndRemoved) {
  win32::Win32StartupRegistry().Remove("Zorvex");
  TZorvex& e = Make(program);
  e.SetStartWindows(false);
  EXPECT_EQ(win32::Win32StartupRegistry::Read("Zorvex"), "");
  e.SetStartWindows(true);
  EXPECT_EQ(win32::Win32StartupRegistry::Read("Zorvex"), "\"" + program + "\"");

  // The program moved: the next start writes its new path.
  TZorvex& moved = Make(folder + "elsewhere\\zorvex.exe");
  moved.SetStartWindows(true);
  EXPECT_EQ(win32::Win32StartupRegistry::Read("Zorvex"), "\"" + folder + "elsewhere\\zorvex.exe\"");
  moved.SetStartWindows(false);
  EXPECT_EQ(win32::Win32StartupRegistry::Read("Zorvex"), "");
  moved.SetStartWindows(false);
  EXPECT_EQ(win32::Win32StartupRegistry::Read("Zorvex"), "");
}

TEST_F(EngineWin32, KillLogLinesGoBesideTheProgramInTheUsersFormats) {
  TZorvex& e = Make(program);
  e.UseLog = true;
  SYSTEMTIME before{};
  ::GetLocalTime(&before);
  e.WriteLog("Popup Killed: First (rule)");
  e.WriteLog("Popup Killed: http://a => Second (*)");
  const std::string log = ReadWholeFile(folder + "zorvex.log");
  char date[128] = {};
  ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &before, nullptr, date, sizeof date);
  const std::string prefix = std::string("[") + date + " ";
  std::istringstream lines(log);
  std::string first, second;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(first.rfind(prefix, 0), 0u) << first;
  EXPECT_NE(first.find("] Popup Killed: First (rule)\r"), std::string::npos) << first;
  EXPECT_NE(second.find("] Popup Killed: http://a => Second (*)\r"), std::string::npos) << second;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);

  // The time part of the stamp is the user's long time format, left out at midnight.
  SYSTEMTIME noon = before;
  noon.wHour = 12, noon.wMinute = 34, noon.wSecond = 56, noon.wMilliseconds = 0;
  char time[128] = {};
  ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &noon, nullptr, time, sizeof time);
  EXPECT_EQ(win32::Win32LocalTime::Stamp(noon), std::string(date) + " " + time);
  SYSTEMTIME midnight = before;
  midnight.wHour = midnight.wMinute = midnight.wSecond = midnight.wMilliseconds = 0;
  EXPECT_EQ(win32::Win32LocalTime::Stamp(midnight), date);

  // A read-only log is left alone.
  ::SetFileAttributesA((folder + "zorvex.log").c_str(), FILE_ATTRIBUTE_READONLY);
  e.WriteLog("refused");
  EXPECT_EQ(ReadWholeFile(folder + "zorvex.log"), log);
}

TEST_F(EngineWin32, AlarmPlaysWithoutAnAudioDeviceAndCounts) {
  TZorvex& e = Make(program);
  e.PlaySound = true;
  e.PlayAlarm();
  e.PlaySoundVal = program;  // exists, but is no wave: the system simply stays silent
  e.PlayAlarm();
  e.PlaySoundVal = folder + "missing.wav";
  e.PlayAlarm();
  EXPECT_EQ(e.Count, 3);
}

// A rules file locked by another program while the engine loads does not load. Before, the next
// save kept it aside and wrote the one rule added meanwhile over it. Now nothing is written over it
// until it has loaded; once free it loads, the rule added meanwhile joins it, and it is saved.
TEST_F(EngineWin32, ARulesFileLockedAtStartLoadsOnceFreeAndIsNeverWrittenOver) {
  const std::string rules = folder + "rules.xml";
  const std::string mine = "<Rules><Rule>*casino*</Rule><Rule>*poker*</Rule><Rule>*slots*</Rule></Rules>";
  { std::ofstream(rules, std::ios::binary) << mine; }
  win32::UniqueKernelHandle lock(::CreateFileA(rules.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
  TZorvex& e = Make(program);
  e.LoadOptions();
  EXPECT_TRUE(e.RuleList().empty());
  e.AddRule("*new*");
  lock.reset();
  e.SaveRules();
  EXPECT_EQ(ReadWholeFile(rules), mine) << "never written over before it has loaded";

  e.RetrySettingsFiles();
  EXPECT_FALSE(e.SavesPending());
  EXPECT_EQ(e.RuleList(), (std::vector<std::string>{"*casino*", "*poker*", "*slots*", "*new*"}));
  EXPECT_NE(ReadWholeFile(rules).find("<Rule>*slots*</Rule>\r\n <Rule>*new*</Rule>"), std::string::npos) << ReadWholeFile(rules);
  EXPECT_FALSE(FileExists(rules + ".unreadable"));
}

// Installed by a package manager that keeps the settings outside the program's folder: it made each
// an empty file there and linked it in under the program's names. The first start takes the
// defaults quietly, and saves reach the kept files through the links.
TEST_F(EngineWin32, EmptyLinkedSettingsFilesAreTheDefaultsAndSavesReachEveryName) {
  for (const char* name : {"options.xml", "rules.xml"}) {
    const std::string persisted = folder + "persisted-" + name;
    { std::ofstream(persisted, std::ios::binary); }
    ASSERT_TRUE(::CreateHardLinkA((folder + name).c_str(), persisted.c_str(), nullptr)) << name;
  }
  fake::FakeTray tray;
  TZorvex& e = Make(program);
  e.SetTray(&tray);
  e.LoadOptions();
  EXPECT_TRUE(e.AutoDetect && e.PlaySound && e.UseLog);
  EXPECT_TRUE(e.RuleList().empty());
  e.AddRule("*new*");
  EXPECT_NE(ReadWholeFile(folder + "persisted-rules.xml").find("<Rule>*new*</Rule>"), std::string::npos);
  EXPECT_NE(ReadWholeFile(folder + "persisted-options.xml").find("<Count>0</Count>"), std::string::npos);
  for (const char* name : {"options.xml", "rules.xml"}) {
    EXPECT_EQ(ReadWholeFile(folder + name), ReadWholeFile(folder + "persisted-" + name)) << name;
    EXPECT_FALSE(FileExists(folder + name + ".unreadable")) << name;
  }
  EXPECT_TRUE(tray.notices.empty());
  const std::string log = FileExists(e.LogPath()) ? ReadWholeFile(e.LogPath()) : "";
  EXPECT_EQ(log.find("ettings file"), std::string::npos) << log;
}

// Another program (a scanner, a backup or sync client) opens the file without delete sharing at
// the moment of the save and lets go later. Before, the save was only traced and the rule was not
// on disk. Now it is tried again at once, then every second, and shown after 30 s.
TEST_F(EngineWin32, ASaveThatMeetsAHeldFileLandsOnceTheHolderLetsGo) {
  const std::string rules = folder + "rules.xml";
  auto clock = std::make_shared<fake::FakeClock>();
  win32::UniqueKernelHandle holder;
  int pauses = 0;
  int letGoAt = 0;
  TZorvex& e = Make(program, [&](EngineServices& services) {
    services.closer.clock = clock;
    services.pause = [&](std::chrono::milliseconds span) {
      clock->Advance(span);
      if (++pauses == letGoAt) holder.reset();
    };
  });
  fake::FakeTray tray;
  e.LoadOptions();
  e.SetTray(&tray);
  e.SaveOptions();
  auto hold = [&] {
    holder.reset(::CreateFileA(rules.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr));
    ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
  };

  // Let go within a moment: the brief tries at once get it there.
  hold();
  letGoAt = pauses + 2;
  e.AddRule("*casino*");
  EXPECT_FALSE(holder);
  EXPECT_FALSE(e.SavesPending());
  EXPECT_NE(ReadWholeFile(rules).find("<Rule>*casino*</Rule>"), std::string::npos);

  // Held for long: the timer's tries go on, the user is told after 30 s, and it lands at last.
  hold();
  letGoAt = -1;
  e.AddRule("*poker*");
  EXPECT_TRUE(e.SavesPending());
  EXPECT_EQ(ReadWholeFile(rules).find("*poker*"), std::string::npos);
  for (int second = 0; second < 31; ++second) {
    clock->Advance(std::chrono::seconds(1));
    e.RetrySettingsFiles();
  }
  ASSERT_EQ(tray.notices.size(), 1u);
  EXPECT_EQ(tray.notices[0].rfind("Cannot save settings file " + rules, 0), 0u) << tray.notices[0];
  holder.reset();
  e.RetrySettingsFiles();
  EXPECT_FALSE(e.SavesPending());
  EXPECT_NE(ReadWholeFile(rules).find("<Rule>*poker*</Rule>"), std::string::npos);
  const std::string log = ReadWholeFile(folder + "zorvex.log");
  EXPECT_NE(log.find("] Cannot save settings file " + rules), std::string::npos) << log;
  EXPECT_NE(log.find("] Settings file " + rules + " saved"), std::string::npos) << log;
  engine.reset();
}
