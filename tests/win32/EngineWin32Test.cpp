// The engine's reach outside the program on the real system: the Run entry, the kill log beside
// a program file in the user's date and time format, and the alarm sound.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Win32TestSupport.h"
#include "engine/ClassKiller.h"
#include "platform/Files.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "platform/win32/Win32System.h"

using namespace zorvex;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

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
    for (const char* name : {"zorvex.exe", "zorvex.log", "options.xml", "rules.xml", "rules.xml.unreadable"}) {
      const std::string path = folder + name;
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileA(path.c_str());
    }
    ::RemoveDirectoryA(folder.c_str());
    win32::Win32StartupRegistry().Remove("Zorvex");
  }
  TZorvex& Make(const std::string& programPath) {
    EngineServices services;
    services.folder = folder;
    services.programPath = programPath;
    services.closer.scanner = ScannerServices{std::make_shared<win32::Win32Desktop>(), mainThread,
                                              std::make_shared<SystemSleeper>(), nullptr, nullptr};
    services.closer.clock = std::make_shared<SystemClock>();
    services.sound = std::make_shared<win32::Win32Sound>(::GetModuleHandleA(nullptr));
    services.startup = std::make_shared<win32::Win32StartupRegistry>();
    services.localTime = std::make_shared<win32::Win32LocalTime>();
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
  const std::string log = ReadFile(folder + "zorvex.log");
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
  EXPECT_EQ(ReadFile(folder + "zorvex.log"), log);
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

// A rules file locked by another program while the engine loads does not load. While it cannot be
// read it cannot be kept aside either, so saves leave it alone; once free, it is kept, then written.
TEST_F(EngineWin32, ARulesFileLockedAtStartIsNeverOverwrittenUnkept) {
  const std::string rules = folder + "rules.xml";
  const std::string mine = "<Rules><Rule>*casino*</Rule></Rules>";
  { std::ofstream(rules, std::ios::binary) << mine; }
  win32::UniqueKernelHandle lock(::CreateFileA(rules.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
  TZorvex& e = Make(program);
  e.LoadOptions();
  EXPECT_TRUE(e.RuleList().empty());
  e.AddRule("*new*");
  lock.reset();
  EXPECT_EQ(ReadFile(rules), mine);
  EXPECT_FALSE(FileExists(rules + ".unreadable"));

  e.SaveRules();
  EXPECT_EQ(ReadFile(rules + ".unreadable"), mine);
  EXPECT_NE(ReadFile(rules).find("<Rule>*new*</Rule>"), std::string::npos);
  EXPECT_NE(ReadFile(folder + "zorvex.log").find("kept as " + rules + ".unreadable"), std::string::npos);
}

