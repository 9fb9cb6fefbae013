// zorvex.exe seen from outside, the way a user meets it.
#include <gtest/gtest.h>

#include <regex>

#include "E2eSupport.h"

using namespace zorvex::testing;
using namespace std::chrono_literals;

namespace {

// As older versions wrote the rules, and as this one writes them.
const char* const kRulesHeader = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Rules>\r\n";
const char* const kUtf8RulesHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Rules>\r\n";

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
  std::vector<HWND> visible;
  for (HWND w : TopLevelWindowsOf(processId))
    if (::IsWindowVisible(w)) visible.push_back(w);
  return visible;
}

// Opens the tray menu and presses keys in it, as a user would.
void MenuKeys(RunningZorvex& zorvex, std::initializer_list<WORD> keys) {
  OpenTrayMenu(zorvex);
  PressKeys(keys);
}

}  // namespace

TEST(Program, StartsHiddenWithATrayIconAndSavesWhenAskedToEnd) {
  const int iconsBefore = TrayIconCount();
  RunningZorvex zorvex;
  ASSERT_TRUE(zorvex.Start());
  ASSERT_TRUE(PumpUntil([&] { return TrayIconCount() == iconsBefore + 1; }, 10s)) << "no tray icon appeared";
  EXPECT_TRUE(VisibleWindowsOf(zorvex.Id()).empty()) << "a window of the program is visible";
  EXPECT_NE(zorvex.TrayWindow(), nullptr);
  // Detection runs from the start; nothing is written before the end.
  EXPECT_FALSE(zorvex.Exists("options.xml"));

  ASSERT_TRUE(zorvex.Close()) << "WM_CLOSE to the main form did not end the program";
  EXPECT_TRUE(PumpUntil([&] { return TrayIconCount() == iconsBefore; }, 10s)) << "the tray icon stayed behind";
  EXPECT_NE(zorvex.ReadFile("options.xml").find(" <Count>0</Count>\r\n"), std::string::npos);
  EXPECT_EQ(zorvex.ReadFile("rules.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Rules/>\r\n");
}

TEST(Program, RulesAnOlderVersionWroteInTheCodePageAreKeptAndWrittenBackInUtf8) {
  if (::GetACP() != 1252) GTEST_SKIP() << "the system's code page is " << ::GetACP() << ", not 1252";
  RunningZorvex zorvex;
  zorvex.WriteFile("rules.xml", std::string(kRulesHeader) + " <Rule>*caf\xE9*</Rule>\r\n <Rule>*\x80 offer*</Rule>\r\n</Rules>\r\n");
  ASSERT_TRUE(zorvex.Start());
  // The rule read from the code page fits the Unicode title, and only that one.
  ChildProcess browser = OpenHelperWindows({"IEFrame|Café promo|900|700|v", "IEFrame|Cafe promo|900|700|v"});
  const HWND plain = FindWindowOf(browser.Id(), "Cafe promo");
  ASSERT_NE(plain, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return FindWindowOf(browser.Id(), "Café promo") == nullptr; }, 10s));
  ASSERT_TRUE(PumpUntil([&] { return zorvex.ReadFile("zorvex.log").find('\n') != std::string::npos; }, 10s));
  EXPECT_NE(zorvex.ReadFile("zorvex.log").find("] Popup Killed: Café promo (*café*)\r\n"), std::string::npos);
  EXPECT_TRUE(::IsWindow(plain));
  ASSERT_TRUE(zorvex.Close());
  // The rule that fitted counts it, at a moment of this run.
  const std::string rules =
      std::regex_replace(zorvex.ReadFile("rules.xml"), std::regex(" last=\"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z\""), " last=\"\"");
  EXPECT_EQ(rules, std::string(kUtf8RulesHeader) + " <Rule hits=\"1\" last=\"\">*café*</Rule>\r\n <Rule>*€ offer*</Rule>\r\n</Rules>\r\n");
  EXPECT_EQ(zorvex.ReadFile("options.xml").rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n", 0), 0u);
}

// How fast is bench/popup-latency.sh's to say; here, that it happens.
TEST(Program, ClosesABrowserPopupLogsItAndCountsIt) {
  RunningZorvex zorvex;
  zorvex.WriteFile("rules.xml", std::string(kRulesHeader) + " <Rule>*evil popup*</Rule>\r\n</Rules>\r\n");
  ASSERT_TRUE(zorvex.Start());
  ChildProcess browser = OpenHelperWindows({"IEFrame|An Evil Popup Page|900|700|v", "IEFrame|Good Page|900|700|v"});
  const HWND good = FindWindowOf(browser.Id(), "Good Page");
  ASSERT_NE(good, nullptr);
  // Announced as it is made, the popup may be gone before the helper says its windows are ready.
  ASSERT_TRUE(PumpUntil([&] { return FindWindowOf(browser.Id(), "An Evil Popup Page") == nullptr; }, 30s));
  EXPECT_TRUE(::IsWindow(good));
  ASSERT_TRUE(PumpUntil([&] { return zorvex.ReadFile("zorvex.log").find('\n') != std::string::npos; }, 5s));
  const std::string log = zorvex.ReadFile("zorvex.log");
  EXPECT_EQ(log.front(), '[');
  EXPECT_NE(log.find("] Popup Killed: An Evil Popup Page (*evil popup*)\r\n"), std::string::npos) << log;

  ASSERT_TRUE(zorvex.Close());
  EXPECT_NE(zorvex.ReadFile("options.xml").find(" <Count>1</Count>\r\n"), std::string::npos);
  EXPECT_NE(zorvex.ReadFile("rules.xml").find("<Rule hits=\"1\" last=\""), std::string::npos);
  EXPECT_NE(zorvex.ReadFile("rules.xml").find("\">*evil popup*</Rule>"), std::string::npos);
}

TEST(Program, ASecondInstanceEndsAtOnceAndTheFirstKeepsRunning) {
  const int before = TrayIconCount();
  RunningZorvex zorvex;
  ASSERT_TRUE(zorvex.Start());
  ASSERT_TRUE(PumpUntil([&] { return TrayIconCount() == before + 1; }, 10s));
  const int icons = TrayIconCount();
  ChildProcess second = zorvex.StartAnother();
  ASSERT_TRUE(second.WaitForExit(10000)) << "the second instance kept running";
  EXPECT_EQ(second.ExitCode(), 0u);
  EXPECT_TRUE(zorvex.Running());
  EXPECT_TRUE(::IsWindow(zorvex.MainForm()));
  EXPECT_EQ(TrayIconCount(), icons);
}

TEST(Program, HotKeyAddsTheForegroundBrowserWindowsTitle) {
  RunningZorvex zorvex;
  ASSERT_TRUE(zorvex.Start());
  ChildProcess browser = OpenHelperWindows({"MozillaWindowClass|Page To Block|900|700|v", "Notepad|Not a Page|900|700|v"});
  const HWND page = FindWindowOf(browser.Id(), "Page To Block");
  const HWND other = FindWindowOf(browser.Id(), "Not a Page");
  ASSERT_NE(page, nullptr);

  // Over a window of another class nothing is added.
  ::SetForegroundWindow(other);
  ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == other; }, 5s));
  ::PostMessageA(zorvex.MainForm(), WM_HOTKEY, 2, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, VK_DELETE));
  PumpUntil([] { return false; }, 1s);
  EXPECT_FALSE(zorvex.Exists("rules.xml"));

  // Ctrl+Shift+Delete pressed over the browser window: its title becomes a rule at once.
  ::SetForegroundWindow(page);
  ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == page; }, 5s));
  INPUT keys[6] = {};
  const WORD sequence[3] = {VK_CONTROL, VK_SHIFT, VK_DELETE};
  for (int i = 0; i < 3; ++i) {
    keys[i].type = keys[5 - i].type = INPUT_KEYBOARD;
    keys[i].ki.wVk = keys[5 - i].ki.wVk = sequence[i];
    keys[5 - i].ki.dwFlags = KEYEVENTF_KEYUP;
  }
  ::SendInput(6, keys, sizeof(INPUT));
  // Bounds for a loaded machine: each returns as soon as it holds.
  ASSERT_TRUE(PumpUntil([&] { return zorvex.ReadFile("rules.xml").find("Page To Block") != std::string::npos; }, 30s))
      << "the hot key added nothing";
  EXPECT_EQ(zorvex.ReadFile("rules.xml"), std::string(kUtf8RulesHeader) + " <Rule>Page To Block</Rule>\r\n</Rules>\r\n");
  // The new rule reaches the scanner too: the page is closed now.
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(page); }, 30s));
}

TEST(Program, TheAddPopupSubmenuListsTheOpenBrowserWindowsAndAddsTheChosenOne) {
  RunningZorvex zorvex;
  zorvex.WriteFile("options.xml",
                   "<Options><AutoDetect>0</AutoDetect><StartWindows>0</StartWindows></Options>");
  ASSERT_TRUE(zorvex.Start());
  ChildProcess browser = OpenHelperWindows({"IEFrame|Listed Page One|900|700|v"});
  ASSERT_NE(FindWindowOf(browser.Id(), "Listed Page One"), nullptr);

  // The tray icon's right-button release opens the menu; the keyboard walks to "Add Popup" (Down
  // selects the first item, separators are skipped), opens it and picks its first entry.
  MenuKeys(zorvex, {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_RETURN});
  ASSERT_TRUE(
      PumpUntil([&] { return zorvex.ReadFile("rules.xml").find("Listed Page One") != std::string::npos; }, 5s))
      << "choosing the listed window added no rule";
  EXPECT_EQ(zorvex.ReadFile("rules.xml"), std::string(kUtf8RulesHeader) + " <Rule>Listed Page One</Rule>\r\n</Rules>\r\n");
}

TEST(Program, SavesWhenWindowsEndsTheSession) {
  RunningZorvex zorvex;
  ASSERT_TRUE(zorvex.Start());
  // At log-off Windows asks, then tells; the process may be ended right after the second message.
  EXPECT_EQ(::SendMessageA(zorvex.MainForm(), WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_FALSE(zorvex.Exists("options.xml"));
  ::SendMessageA(zorvex.MainForm(), WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(zorvex.Exists("options.xml"));
  EXPECT_TRUE(zorvex.Exists("rules.xml"));
}

TEST(Program, AChosenLanguageIsSavedAndAppliedAtTheNextStartAndABrokenOneHarmsNothing) {
  for (const std::string& content :
       {std::string("<Zorvex><foMain><Exit1 Caption='&amp;Beenden'/><Variables><S Name='TrayHint' "
                    "Value='%d Fenster'/></Variables></foMain></Zorvex>"),
        std::string("\x01\xFF<<<garbage <a><b><c></a>") + std::string(100000, '<')}) {
    RunningZorvex zorvex;
    ::CreateDirectoryA((zorvex.Folder() + "Languages").c_str(), nullptr);
    zorvex.WriteFile("Languages\\Test.xml", content);
    ASSERT_TRUE(zorvex.Start());
    // Language is the sixth item; its submenu holds the one file.
    MenuKeys(zorvex, {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_RETURN});
    PumpUntil([] { return false; }, 500ms);
    ASSERT_TRUE(zorvex.Running()) << "choosing the language ended the program";
    ASSERT_TRUE(zorvex.Close());
    const std::string options = zorvex.ReadFile("options.xml");
    EXPECT_NE(options.find("<Language>" + zorvex.Folder() + "Languages\\Test.xml</Language>"), std::string::npos)
        << options;
    // The next start loads it again.
    ASSERT_TRUE(zorvex.Start());
    PumpUntil([] { return false; }, 500ms);
    EXPECT_TRUE(zorvex.Running());
    ASSERT_TRUE(zorvex.Close());
  }
}
