// The dialogs of the running zorvex.exe, opened from its tray menu and used from outside.
#include <gtest/gtest.h>

#include "E2eSupport.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>

#include "platform/win32/WideText.h"

using namespace zorvex::testing;
using namespace std::chrono_literals;

TEST(Dialogs, AddRuleFromTheTrayMenuAddsTheTypedTitleAndTheScannerClosesIt) {
  RunningZorvex zorvex;
  ASSERT_TRUE(zorvex.Start());
  ChildProcess browser = OpenHelperWindows({"IEFrame|Casino Royale Page|900|700|v"});
  const HWND page = FindWindowOf(browser.Id(), "Casino Royale Page");
  ASSERT_NE(page, nullptr);

  OpenTrayMenu(zorvex);
  PressKeys({VK_DOWN, VK_DOWN, VK_RETURN});  // "&Add Rule..."
  const HWND dialog = WaitForDialog(zorvex.Id(), "Add Popup Rule");
  ASSERT_NE(dialog, nullptr) << "the add-rule dialog did not open";
  // The list shows the open browser window.
  const HWND list = Child(dialog, "ListBox");
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return ::SendMessageA(list, LB_GETCOUNT, 0, 0) >= 1; }, 5s));
  ::SendMessageA(Child(dialog, "Edit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("*casino*"));
  ::PostMessageA(Child(dialog, "Button", "&Ok"), BM_CLICK, 0, 0);

  ASSERT_TRUE(PumpUntil([&] { return zorvex.ReadFile("rules.xml").find("<Rule>*casino*</Rule>") != std::string::npos; },
                        5s))
      << zorvex.ReadFile("rules.xml");
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(page); }, 5s)) << "the new rule did not reach the scanner";
}

TEST(Dialogs, OptionsFromTheTrayMenuAddAndRemoveRulesThatTheScannerFollows) {
  RunningZorvex zorvex;
  ASSERT_TRUE(zorvex.Start());
  ChildProcess browser = OpenHelperWindows({"IEFrame|Lottery Winner Page|900|700|v"});
  const HWND page = FindWindowOf(browser.Id(), "Lottery Winner Page");
  ASSERT_NE(page, nullptr);

  // Options..., then its Add button, which asks for one title in the add-rule dialog.
  OpenTrayMenu(zorvex);
  PressKeys({VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
  const HWND options = WaitForDialog(zorvex.Id(), "Options");
  ASSERT_NE(options, nullptr) << "the options dialog did not open";
  ::PostMessageA(Child(options, "Button", "&Add"), BM_CLICK, 0, 0);
  const HWND pick = WaitForDialog(zorvex.Id(), "Add Popup Rule");
  ASSERT_NE(pick, nullptr);
  ::SendMessageA(Child(pick, "Edit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("*lottery*"));
  ::PostMessageA(Child(pick, "Button", "&Ok"), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(pick); }, 5s));
  // Nothing reaches the engine before Ok.
  PumpUntil([] { return false; }, 700ms);
  EXPECT_TRUE(::IsWindow(page));
  ::PostMessageA(Child(options, "Button", "&Ok"), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return zorvex.ReadFile("rules.xml").find("<Rule>*lottery*</Rule>") != std::string::npos; },
                        5s));
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(page); }, 5s)) << "the scanner did not take the new rule";

  // Options again: the rule is removed there and a new page with that title stays open.
  OpenTrayMenu(zorvex);
  PressKeys({VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
  const HWND again = WaitForDialog(zorvex.Id(), "Options");
  ASSERT_NE(again, nullptr);
  const HWND rules = Child(again, "SysListView32");
  ASSERT_NE(rules, nullptr);
  ASSERT_EQ(::SendMessageA(rules, LVM_GETITEMCOUNT, 0, 0), 1);
  // Select the one row with a click on it, and press Remove, then Ok.
  // The first row lies under the column headers.
  RECT list{}, header{};
  ::GetWindowRect(rules, &list);
  ::GetWindowRect(::FindWindowExA(rules, nullptr, "SysHeader32", nullptr), &header);
  const POINT row{list.left + 30, std::max(list.top, header.bottom) + 8};
  int clicks = 0;
  ASSERT_TRUE(ClickUntil(rules, row, [&] { return ::SendMessageA(rules, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }, clicks))
      << clicks << " clicks sent; under the row: " << ::WindowFromPoint(row) << ", the list: " << rules;
  ::PostMessageA(Child(again, "Button", "&Remove"), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return ::SendMessageA(rules, LVM_GETITEMCOUNT, 0, 0) == 0; }, 5s));
  ::PostMessageA(Child(again, "Button", "&Ok"), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return zorvex.ReadFile("rules.xml").find("lottery") == std::string::npos; }, 5s));
  ChildProcess second = OpenHelperWindows({"IEFrame|Lottery Winner Page|900|700|v"});
  const HWND kept = FindWindowOf(second.Id(), "Lottery Winner Page");
  PumpUntil([] { return false; }, 1500ms);
  EXPECT_TRUE(::IsWindow(kept)) << "a removed rule still closed the window";
}

TEST(Dialogs, ALanguageChosenInTheMenuTranslatesTheDialogsNowAndAfterARestart) {
  RunningZorvex zorvex;
  ::CreateDirectoryA((zorvex.Folder() + "Languages").c_str(), nullptr);
  ASSERT_TRUE(::CopyFileA((ProgramFolder() + "Languages\\Deutsch.xml").c_str(),
                          (zorvex.Folder() + "Languages\\Deutsch.xml").c_str(), FALSE));
  ASSERT_TRUE(zorvex.Start());
  // Language is the sixth item of the tray menu; its submenu holds the one file.
  OpenTrayMenu(zorvex);
  PressKeys({VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_RETURN});
  PumpUntil([] { return false; }, 500ms);
  for (int start = 0; start < 2; ++start) {
    OpenTrayMenu(zorvex);
    PressKeys({VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
    const HWND options = WaitForDialog(zorvex.Id(), "Optionen");
    ASSERT_NE(options, nullptr) << (start == 0 ? "after choosing the language" : "after the restart");
    EXPECT_NE(Child(options, "Button", "&Abbrechen"), nullptr);
    ::PostMessageA(Child(options, "Button", "&Abbrechen"), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(options); }, 5s));
    ASSERT_TRUE(zorvex.Close());
    EXPECT_NE(zorvex.ReadFile("options.xml").find("Languages\\Deutsch.xml</Language>"), std::string::npos);
    if (start == 0) {
      ASSERT_TRUE(zorvex.Start());
    }
  }
}

TEST(Dialogs, TheChromiumBoxStartsOnForAnOlderOptionsFileAndRoundTripsThroughOptionsXml) {
  RunningZorvex zorvex;
  // An options file of an older version: no Chromium element at all.
  zorvex.WriteFile("options.xml", "<Options><Opera>-1</Opera><StartWindows>0</StartWindows></Options>");
  ASSERT_TRUE(zorvex.Start());
  for (const bool expected : {true, false}) {
    OpenTrayMenu(zorvex);
    PressKeys({VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
    const HWND options = WaitForDialog(zorvex.Id(), "Options");
    ASSERT_NE(options, nullptr);
    const HWND box = Child(options, "Button", "Support Chrome/Edge/Brave");
    ASSERT_NE(box, nullptr) << "no check box for today's browsers";
    EXPECT_EQ(::SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED, expected);
    if (expected) ::SendMessageA(box, BM_CLICK, 0, 0);  // switch it off, then Ok
    ::PostMessageA(Child(options, "Button", "&Ok"), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(options); }, 5s));
    if (expected) {
      // This reader holds the file for a moment on each look, without delete sharing, as a
      // scanner would: a save that meets it is tried again until it lands.
      ASSERT_TRUE(PumpUntil([&] { return zorvex.ReadFile("options.xml").find("<Chromium>0</Chromium>") != std::string::npos; },
                            60s))
          << zorvex.ReadFile("options.xml");
      ASSERT_TRUE(zorvex.Close());
      ASSERT_TRUE(zorvex.Start());
    }
  }
}

TEST(Dialogs, RunFromAFolderNamedOutsideTheCodePageItKeepsRulesInTheirScriptsAcrossARestartAndWritesNowhereElse) {
  // Neither letter of "Żł" nor the Chinese one is in the Western code page the sessions run in.
  const std::string name = "Żółw 猫";
  const std::string folder = "C:\\" + name + "\\";
  auto sorted = [](std::vector<std::string> v) {
    v.erase(std::remove(v.begin(), v.end(), "Żółw 猫"), v.end());
    std::sort(v.begin(), v.end());
    return v;
  };
  const std::vector<std::string> rootBefore = sorted(FolderEntries("C:\\"));
  const std::vector<std::string> testsBefore = sorted(FolderEntries(ProgramFolder()));
  const ScriptTitle& cyrillic = ScriptTitles()[0];
  const ScriptTitle& cjk = ScriptTitles()[2];
  const std::vector<std::string> windows = {std::string("IEFrame|") + cyrillic.title + "|900|700|v",
                                            std::string("MozillaWindowClass|") + cjk.title + "|900|700|v"};
  {
    RunningZorvex zorvex(folder);
    ASSERT_TRUE(zorvex.Start()) << "the program did not start from " << folder;
    ChildProcess browsers = OpenHelperWindows(windows);
    // Each rule typed in its own script into the add-rule dialog; the scanner then closes its window.
    for (const ScriptTitle* t : {&cyrillic, &cjk}) {
      const HWND page = FindWindowOf(browsers.Id(), t->title);
      ASSERT_NE(page, nullptr) << t->script;
      OpenTrayMenu(zorvex);
      PressKeys({VK_DOWN, VK_DOWN, VK_RETURN});  // "&Add Rule..."
      const HWND dialog = WaitForDialog(zorvex.Id(), "Add Popup Rule");
      ASSERT_NE(dialog, nullptr) << t->script;
      const std::wstring rule = zorvex::win32::Widen(t->rule);
      ::SendMessageW(Child(dialog, "Edit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(rule.c_str()));
      ::PostMessageW(Child(dialog, "Button", "&Ok"), BM_CLICK, 0, 0);
      const std::string element = std::string("<Rule>") + t->rule + "</Rule>";
      ASSERT_TRUE(PumpUntil([&] { return zorvex.ReadFile("rules.xml").find(element) != std::string::npos; }, 5s))
          << t->script << ": " << zorvex.ReadFile("rules.xml");
      EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(page); }, 5s)) << t->script << ": the window stayed";
    }
    // Exit from the tray menu (its last item) saves; the rules are still there at the next start.
    OpenTrayMenu(zorvex);
    PressKeys({VK_UP, VK_RETURN});
    ASSERT_TRUE(PumpUntil([&] { return !zorvex.Running(); }, 20s)) << "Exit did not end the program";
    EXPECT_NE(zorvex.ReadFile("options.xml").find("<Options>"), std::string::npos);
    ASSERT_TRUE(zorvex.Start());
    ChildProcess again = OpenHelperWindows(windows);
    for (const ScriptTitle* t : {&cyrillic, &cjk}) {
      EXPECT_TRUE(PumpUntil([&] { return FindWindowOf(again.Id(), t->title) == nullptr; }, 5s))
          << t->script << ": the rule was lost at the restart";
    }
    const std::string expectedLine = std::string("] Popup Killed: ") + cyrillic.title + " (" + cyrillic.rule + ")\r\n";
    EXPECT_TRUE(PumpUntil([&] {
      const std::string log = zorvex.ReadFile("zorvex.log");
      std::size_t lines = 0;
      for (auto at = log.find(expectedLine); at != std::string::npos; at = log.find(expectedLine, at + 1)) ++lines;
      return lines == 2;
    }, 5s)) << zorvex.ReadFile("zorvex.log");
    ASSERT_TRUE(zorvex.Close());

    // Everything it wrote is in its own folder, under the names it means.
    EXPECT_EQ(sorted(FolderEntries(folder)),
              (std::vector<std::string>{"options.xml", "rules.xml", "zorvex.exe", "zorvex.log"}));
    std::vector<std::string> rootAfter = FolderEntries("C:\\");
    EXPECT_EQ(std::count(rootAfter.begin(), rootAfter.end(), name), 1);
    EXPECT_EQ(sorted(rootAfter), rootBefore) << "something was written beside the folder";
    // The other tiers run beside this one in the same working folder and write files of their own
    // there: what counts is that none of the program's files turned up in it.
    for (const std::string& entry : FolderEntries(ProgramFolder())) {
      if (std::find(testsBefore.begin(), testsBefore.end(), entry) != testsBefore.end()) continue;
      const bool programs = entry.rfind("options.xml", 0) == 0 || entry.rfind("rules.xml", 0) == 0 ||
                            entry.rfind("zorvex.log", 0) == 0 || entry.find(".zvl") != std::string::npos;
      EXPECT_FALSE(programs) << entry << " was written in the working folder";
    }
  }
}
