#include <gtest/gtest.h>

#include "popups/BrowserTable.h"
#include "popups/ClassPopupsThread.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/Probe.h"

using namespace zorvex;
using zorvex::fake::FakeDesktop;
using zorvex::fake::WindowRecord;

namespace {

// Which family a case needs for one asker: 'a' always, 'e' Explorer, 'n' Netscape, 'o' Opera,
// 'c' Chromium, '-' never.
bool Expected(char need, const BrowserFamilies& f) {
  switch (need) {
    case 'a': return true;
    case 'e': return f.explorer;
    case 'n': return f.netscape;
    case 'o': return f.opera;
    case 'c': return f.chromium;
    default: return false;
  }
}

constexpr std::uint32_t kChrome = 10, kEdge = 11, kEditor = 12, kUnreadable = 13, kFirefox = 14, kThunderbird = 15,
                        kBetterbird = 16;

}  // namespace

TEST(BrowserTable, EveryRowUnderEveryCombinationOfFamiliesForEachAsker) {
  struct Case {
    const char* cls;
    const char* title;
    WindowKind kind;
    const char* needs;  // scanner, lister, hot key
    std::uint32_t process = 1;
    bool owned = false;
    bool tool = false;
    bool child = false;
  };
  const Case cases[] = {
      {"BrowserWindowMDI", "p", WindowKind::Browser, "aoa"},
      {"OUIWINDOW", "p", WindowKind::Browser, "aoa"},
      {"OpWindow", "p", WindowKind::Browser, "ao-"},
      {"IEFrame", "p", WindowKind::Browser, "eea"},
      {"MSN6 Window", "p", WindowKind::Browser, "eea"},
      {"AfxFrameOrView42s", "p", WindowKind::Browser, "eea"},
      {"CabinetWClass", "p", WindowKind::Browser, "eea"},
      {"ubc_00001", "p", WindowKind::Browser, "eea"},
      {"ubcpopup_00001", "p", WindowKind::Browser, "eea"},
      {"AOL Child", "p", WindowKind::Browser, "eea"},
      {"TfrmPage", "p", WindowKind::Browser, "eea"},
      {"#32770", "A NeoPlanet page", WindowKind::Browser, "ee-"},
      {"#32770", "a neoplanet page", WindowKind::Other, "---"},
      {"Afx:400000:3", "Netscape page", WindowKind::Browser, "nn-"},
      {"Afx:400000:3", "Other page", WindowKind::Other, "---"},
      {"MozillaWindowClass", "p", WindowKind::Browser, "nna"},
      {"MozillaWindowClass", "Page - Firefox", WindowKind::Browser, "nna", kFirefox},
      {"MozillaWindowClass", "Casino offer - Inbox", WindowKind::Other, "---", kThunderbird},
      {"MozillaWindowClass", "Casino offer - Inbox", WindowKind::Other, "---", kBetterbird},
      {"Chrome_WidgetWin_1", "Page - Google", WindowKind::Browser, "ccc", kChrome},
      {"Chrome_WidgetWin_1", "Page - Edge", WindowKind::Browser, "ccc", kEdge},
      {"Chrome_WidgetWin_1", "", WindowKind::Other, "---", kChrome},
      {"Chrome_WidgetWin_1", "Bubble", WindowKind::Other, "---", kChrome, true},
      {"Chrome_WidgetWin_1", "Menu", WindowKind::Other, "---", kChrome, false, true},
      {"Chrome_WidgetWin_1", "Inner", WindowKind::Other, "---", kChrome, false, false, true},
      {"Chrome_WidgetWin_1", "main.cpp - Editor", WindowKind::Other, "---", kEditor},
      {"Chrome_WidgetWin_1", "Page", WindowKind::Other, "---", kUnreadable},
      {"Chrome_WidgetWin_0", "Page", WindowKind::Other, "---", kChrome},
      {"Opera Main Window", "Opera", WindowKind::Container, "oo-"},
      {"_AOL_Static", "s", WindowKind::Container, "ea-"},
      {"AOL Frame25", "AOL", WindowKind::Container, "ea-"},
      {"TfrmAvantBrowser", "Avant", WindowKind::Container, "ee-"},
      {"ieframe", "p", WindowKind::Other, "---"},
      {"", "p", WindowKind::Other, "---"},
  };
  const BrowserAsker askers[] = {BrowserAsker::Scanner, BrowserAsker::Lister, BrowserAsker::HotKey};
  FakeDesktop desktop;
  desktop.SetProgram(kChrome, "C:\\Program Files\\Google\\Chrome\\Application\\CHROME.EXE");
  desktop.SetProgram(kEdge, "C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe");
  desktop.SetProgram(kEditor, "C:\\Users\\me\\AppData\\Local\\Programs\\Editor\\code.exe");
  desktop.SetProgram(kFirefox, "C:\\Program Files\\Mozilla Firefox\\firefox.exe");
  desktop.SetProgram(kThunderbird, "C:\\Program Files\\Mozilla Thunderbird\\Thunderbird.exe");
  desktop.SetProgram(kBetterbird, "C:\\Program Files\\Betterbird\\betterbird.exe");
  const WindowHandle owner = desktop.Add("Chrome_WidgetWin_1", "Owner");
  for (const Case& c : cases) {
    WindowRecord record{c.cls, c.title};
    record.processId = c.process;
    record.owner = c.owned ? owner : 0;
    record.toolWindow = c.tool;
    const WindowHandle w = c.child ? desktop.AddChild(owner, record) : desktop.Add(record);
    for (int bits = 0; bits < 16; ++bits) {
      const BrowserFamilies f{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
      for (int a = 0; a < 3; ++a) {
        const BrowserVerdict v = ClassifyBrowserWindow(WindowFacts(desktop, w, !c.child), f, askers[a]);
        const WindowKind expected = Expected(c.needs[a], f) ? c.kind : WindowKind::Other;
        EXPECT_EQ(v.kind, expected) << c.cls << " / " << c.title << " asker " << a << " families " << bits;
      }
    }
  }
}

TEST(BrowserTable, TheColumnsOfTheScannersRows) {
  FakeDesktop desktop;
  const BrowserFamilies all{true, true, true, true};
  const BrowserFamilies noOpera{false, true, true, true};
  auto verdict = [&](const char* cls, const BrowserFamilies& f = BrowserFamilies{true, true, true, true}) {
    return ClassifyBrowserWindow(WindowFacts(desktop, desktop.Add(cls, "t"), true), f, BrowserAsker::Scanner);
  };
  EXPECT_TRUE(verdict("IEFrame").limited && verdict("CabinetWClass").limited);
  EXPECT_FALSE(verdict("MSN6 Window").limited || verdict("MozillaWindowClass").limited);
  EXPECT_FALSE(verdict("AOL Child").sizeJudged) << "AOL pages are never judged by size";
  EXPECT_TRUE(verdict("IEFrame").sizeJudged && verdict("OpWindow").sizeJudged);
  EXPECT_TRUE(verdict("OpWindow", all).searchDescendants);
  EXPECT_FALSE(verdict("OpWindow", noOpera).searchDescendants);
  EXPECT_EQ(verdict("OpWindow", noOpera).kind, WindowKind::Browser) << "judged whatever the options say";
  EXPECT_TRUE(MayHoldTabs("Chrome_WidgetWin_1") && MayHoldTabs("MozillaWindowClass"));
  EXPECT_FALSE(MayHoldTabs("IEFrame") || MayHoldTabs("MozillaDialogClass") || MayHoldTabs("chrome_widgetwin_1"));
}

TEST(BrowserTable, TodaysBrowsersAreJudgedLikeAnyOtherAndTheirProgramIsReadOncePerPass) {
  auto desktop = std::make_shared<FakeDesktop>();
  desktop->SetProgram(kChrome, "C:\\Chrome\\chrome.exe");
  desktop->SetProgram(kEditor, "C:\\Editor\\code.exe");
  auto add = [&](const char* title, std::uint32_t process, int w = 900, int h = 700) {
    WindowRecord r{"Chrome_WidgetWin_1", title};
    r.processId = process;
    r.rect = Rect{0, 0, w, h};
    return desktop->Add(r);
  };
  const WindowHandle ruled = add("Casino Bonus - Chrome", kChrome);
  const WindowHandle small = add("Small ad", kChrome, 400, 150);
  const WindowHandle page = add("News - Chrome", kChrome);
  const WindowHandle editor = add("casino.cpp - Editor", kEditor, 400, 150);
  const WindowHandle frame = desktop->Add("IEFrame", "Frame");
  auto mainThread = std::make_shared<fake::FakeMainThread>();
  auto scanner = TSPopupThread::Create(
      ScannerServices{desktop, mainThread, std::make_shared<fake::FakeSleeper>(), nullptr, nullptr});
  DetectionOptions options;
  options.families.chromium = true;
  options.families.explorer = true;
  options.agressive = true;
  scanner->SetDetection(options);
  scanner->SetRules("*casino*");
  Probe::RunPass(*scanner);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return fake::ClosesSettled(*desktop, *mainThread, 2); }));
  EXPECT_FALSE(desktop->Exists(ruled));
  EXPECT_FALSE(desktop->Exists(small)) << "by its size, in aggressive mode";
  EXPECT_TRUE(desktop->Exists(page));
  EXPECT_TRUE(desktop->Exists(editor)) << "not a browser, though of the same class";
  EXPECT_EQ(Probe::ExplorerWindows(*scanner), std::vector<WindowHandle>{frame}) << "no Explorer limit for them";
  EXPECT_EQ(desktop->ProgramReads(), 2) << "one read per process and pass";

  // Switched off, the family is left alone.
  const WindowHandle later = add("Casino again", kChrome);
  options.families.chromium = false;
  scanner->SetDetection(options);
  Probe::RunPass(*scanner);
  EXPECT_TRUE(mainThread->PumpUntil([&] { return fake::ClosesSettled(*desktop, *mainThread, 2); }));
  EXPECT_TRUE(desktop->Exists(later));
  // As the program's loop does at its end: what is still queued holds the scanner's closes.
  mainThread->End();
}
