// The system's code page conversion and the files of older versions, on the real system.
#include <gtest/gtest.h>
#include <windows.h>


#include "Win32TestSupport.h"
#include "engine/ClassKiller.h"
#include "i18n/TextFiles.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "platform/win32/Win32System.h"
#include "tests/unit/Windows1252Table.h"

using namespace zorvex;

namespace {

// The native stand-in converts by the same table, so the two agree on every byte.
TEST(CodePageWin32, TheSystemConvertsEveryByteOfCodePage1252AsTheNativeStandInDoes) {
  if (::GetACP() != 1252) GTEST_SKIP() << "the system's code page is " << ::GetACP() << ", not 1252";
  std::string all;
  std::string expected;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    EXPECT_EQ(AnsiToUtf8(std::string(1, static_cast<char>(byte))), testing_1252::Expected(byte)) << "byte " << b;
    all += static_cast<char>(byte);
    expected += testing_1252::Expected(byte);
  }
  EXPECT_EQ(AnsiToUtf8(all), expected);
  EXPECT_EQ(AnsiToUtf8(""), "");
  EXPECT_EQ(AnsiToUtf8(std::string(100000, '\xE9')).size(), 200000u) << "long texts convert whole";
}

class TextFilesWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "zorvex-text-" + std::to_string(::GetCurrentProcessId()) + "\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
  }
  void TearDown() override {
    engine.reset();
    for (const char* name : {"zorvex.log", "zorvex.log.old", "options.xml", "rules.xml", "list.zvl"}) {
      ::DeleteFileA((folder + name).c_str());
    }
    ::RemoveDirectoryA(folder.c_str());
  }
  TZorvex& Make() {
    EngineServices services;
    services.folder = folder;
    services.programPath = folder + "zorvex.exe";
    services.closer.scanner = ScannerServices{std::make_shared<win32::Win32Desktop>(), mainThread,
                                              std::make_shared<SystemSleeper>(), nullptr, nullptr};
    services.closer.clock = std::make_shared<SystemClock>();
    services.localTime = std::make_shared<win32::Win32LocalTime>();
    engine = std::make_unique<TZorvex>(services);
    return *engine;
  }

  std::string folder;
  std::shared_ptr<win32::Win32MainThread> mainThread = std::make_shared<win32::Win32MainThread>();
  std::unique_ptr<TZorvex> engine;
};

}  // namespace

TEST_F(TextFilesWin32, AnOlderRulesFileInTheCodePageLoadsAsUtf8AndIsWrittenBackInUtf8) {
  if (::GetACP() != 1252) GTEST_SKIP() << "the system's code page is " << ::GetACP() << ", not 1252";
  const std::string oldHeader = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n";
  ReplaceFileContents(folder + "rules.xml", oldHeader + "<Rules>\r\n <Rule>*caf\xE9*</Rule>\r\n <Rule>*casino*</Rule>\r\n</Rules>\r\n");
  ReplaceFileContents(folder + "options.xml", oldHeader + "<Options>\r\n <AutoDetect>0</AutoDetect>\r\n"
                                                " <PlaySoundVal>C:\\Kl\xE4nge\\\x80.wav</PlaySoundVal>\r\n</Options>\r\n");
  TZorvex& e = Make();
  e.LoadOptions();
  EXPECT_EQ(e.RuleList(), (std::vector<std::string>{"*café*", "*casino*"}));
  EXPECT_EQ(e.PlaySoundVal, "C:\\Klänge\\€.wav");

  e.SaveOptions();
  EXPECT_EQ(ReadWholeFile(folder + "rules.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Rules>\r\n"
                                            " <Rule>*café*</Rule>\r\n <Rule>*casino*</Rule>\r\n</Rules>\r\n");
  EXPECT_NE(ReadWholeFile(folder + "options.xml").find("<PlaySoundVal>C:\\Klänge\\€.wav</PlaySoundVal>"), std::string::npos);
  TZorvex& again = Make();
  again.LoadOptions();
  EXPECT_EQ(again.RuleList(), (std::vector<std::string>{"*café*", "*casino*"})) << "the UTF-8 file loads the same";

  // The rule list export is UTF-8 with a byte-order mark; an older one in the code page imports.
  ASSERT_TRUE(ExportRuleList(folder + "list.zvl", again.RuleList()));
  EXPECT_EQ(ReadWholeFile(folder + "list.zvl"), "\xEF\xBB\xBF*café*\r\n*casino*\r\n");
  ReplaceFileContents(folder + "list.zvl", "*caf\xE9*\r\n*gl\xFC" "ck*\r\n");
  std::vector<std::string> list;
  ASSERT_TRUE(ImportRuleList(folder + "list.zvl", list));
  EXPECT_EQ(list, (std::vector<std::string>{"*café*", "*glück*"}));

  // An older log in the code page moves aside before the first UTF-8 line.
  ReplaceFileContents(folder + "zorvex.log", "[old] Popup Killed: caf\xE9\r\n");
  again.UseLog = true;
  again.WriteLog("Popup Killed: Café promo (*café*)");
  EXPECT_EQ(ReadWholeFile(folder + "zorvex.log.old"), "[old] Popup Killed: caf\xE9\r\n");
  const std::string log = ReadWholeFile(folder + "zorvex.log");
  EXPECT_NE(log.find("] Popup Killed: Café promo (*café*)\r\n"), std::string::npos) << log;
  EXPECT_TRUE(IsValidUtf8(log));
}
