#include <gtest/gtest.h>

#include "base/Text.h"
#include "popups/Decision.h"
#include "tests/fakes/FakeDesktop.h"

using namespace zorvex;
using zorvex::fake::FakeDesktop;
using zorvex::fake::WindowRecord;

namespace {

bool Has(const char* letters, char letter) { return std::string(letters).find(letter) != std::string::npos; }

// The rules as the scanner holds them: one line each, prepared.
PreparedRules Prepared(const std::string& lines) {
  PreparedRules rules;
  for (const std::string& line : SplitLines(lines)) rules.push_back(PrepareRule(line));
  return rules;
}

}  // namespace

TEST(Decision, FactsAndOptionsGiveTheVerdict) {
  struct Case {
    const char* cls;
    const char* title;
    const char* program;
    // 'o' owned, 't' tool window, 'c' a container's descendant, 'h' hidden, 'm' minimised.
    const char* traits;
    int width, height;
    // Families watched ('o', 'n', 'e', 'c'), 'a' aggressive; 'L' asked by the lister, 'H' by the hot key.
    const char* watch;
    std::string rules;
    Action action;
    const char* reason;
    // 'b' a browser window, 'l' counted for the Explorer limit, 's' picked by size.
    const char* marks;
    const char* sizeAndRule;
  };
  using A = Action;
  std::string invalid;  // 31 stars: fits nothing, and the rules after it still count
  for (int i = 0; i < 31; ++i) invalid += "*a";
  const Case cases[] = {
      // Each family, watched and not.
      {"IEFrame", "popup", "", "", 800, 600, "e", "*popup*", A::Close, "*popup*", "bl", ""},
      {"IEFrame", "popup", "", "", 800, 600, "onc", "*popup*", A::Leave, "", "", ""},
      {"ieframe", "popup", "", "", 800, 600, "onec", "*popup*", A::Leave, "", "", ""},
      {"", "popup", "", "", 800, 600, "onec", "*popup*", A::Leave, "", "", ""},
      {"BrowserWindowMDI", "popup", "", "", 800, 600, "", "*popup*", A::Close, "*popup*", "b", ""},
      {"OpWindow", "popup", "", "", 800, 600, "", "*popup*", A::Close, "*popup*", "b", ""},
      {"#32770", "NeoPlanet popup", "", "", 800, 600, "e", "*popup*", A::Close, "*popup*", "b", ""},
      {"#32770", "neoplanet popup", "", "", 800, 600, "e", "*popup*", A::Leave, "", "", ""},
      {"Afx:400000:3", "Netscape popup", "", "", 800, 600, "n", "*popup*", A::Close, "*popup*", "b", ""},
      {"Afx:400000:3", "Netscape popup", "", "", 800, 600, "oec", "*popup*", A::Leave, "", "", ""},
      {"AFX:1", "Netscape popup", "", "", 800, 600, "n", "*popup*", A::Leave, "", "", ""},
      {"Afx:1", "netscape popup", "", "", 800, 600, "n", "*popup*", A::Leave, "", "", ""},
      // The mail programs share Firefox's class.
      {"MozillaWindowClass", "popup", "firefox.exe", "", 800, 600, "n", "*popup*", A::Close, "*popup*", "b", ""},
      {"MozillaWindowClass", "popup", "thunderbird.exe", "", 800, 600, "n", "*popup*", A::Leave, "", "", ""},
      {"MozillaWindowClass", "popup", "betterbird.exe", "", 800, 600, "nH", "", A::Leave, "", "", ""},
      // Today's browsers: only an unowned, titled, ordinary top-level window of a browser's program.
      {"Chrome_WidgetWin_1", "popup", "chrome.exe", "", 800, 600, "c", "*popup*", A::Close, "*popup*", "b", ""},
      {"Chrome_WidgetWin_1", "popup", "msedge.exe", "", 800, 600, "cL", "", A::Leave, "", "b", ""},
      {"Chrome_WidgetWin_1", "popup", "code.exe", "", 800, 600, "c", "*popup*", A::Leave, "", "", ""},
      {"Chrome_WidgetWin_1", "popup", "", "", 800, 600, "c", "*popup*", A::Leave, "", "", ""},
      {"Chrome_WidgetWin_1", "popup", "chrome.exe", "o", 800, 600, "c", "*popup*", A::Leave, "", "", ""},
      {"Chrome_WidgetWin_1", "popup", "chrome.exe", "t", 800, 600, "c", "*popup*", A::Leave, "", "", ""},
      {"Chrome_WidgetWin_1", "popup", "chrome.exe", "c", 800, 600, "c", "*popup*", A::Leave, "", "", ""},
      {"Chrome_WidgetWin_1", "", "chrome.exe", "", 800, 600, "c", "*", A::Leave, "", "", ""},
      {"Chrome_WidgetWin_1", "Ad", "opera.exe", "", 400, 150, "ca", "", A::Close, "Heuristic", "bs", ""},
      // The size bands, inclusive, of a visible, normal window, in aggressive mode only.
      {"IEFrame", "t", "", "", 225, 225, "ea", "", A::Close, "Heuristic", "bs", ""},
      {"IEFrame", "t", "", "", 251, 225, "ea", "", A::Leave, "", "bl", ""},
      {"IEFrame", "t", "", "", 650, 50, "ea", "", A::Close, "Heuristic", "bs", ""},
      {"IEFrame", "t", "", "", 651, 50, "ea", "", A::Leave, "", "bl", ""},
      {"IEFrame", "t", "", "", 349, 100, "ea", "", A::Leave, "", "bl", ""},
      {"IEFrame", "t", "", "", 300, 200, "ea", "", A::Leave, "", "bl", ""},
      {"IEFrame", "t", "", "", 250, 200, "ea", "", A::Close, "Heuristic", "bs", ""},
      {"IEFrame", "t", "", "", 200, 250, "ea", "", A::Close, "Heuristic", "bs", ""},
      {"IEFrame", "t", "", "", 199, 225, "ea", "", A::Leave, "", "bl", ""},
      {"IEFrame", "t", "", "", 350, 49, "ea", "", A::Leave, "", "bl", ""},
      {"IEFrame", "t", "", "", 350, 201, "ea", "", A::Leave, "", "bl", ""},
      {"IEFrame", "t", "", "", 500, 120, "ea", "", A::Close, "Heuristic", "bs", ""},
      {"IEFrame", "t", "", "h", 500, 120, "ea", "", A::Leave, "", "bl", ""},
      {"IEFrame", "t", "", "m", 500, 120, "ea", "", A::Leave, "", "bl", ""},
      {"IEFrame", "t", "", "", 500, 120, "e", "", A::Leave, "", "bl", ""},
      {"AOL Child", "Page", "", "", 400, 150, "ea", "", A::Leave, "", "b", ""},
      // Size and rule: the size decides; the rule is kept for a window that holds several tabs.
      {"IEFrame", "Casino", "", "", 400, 150, "ea", "*casino*", A::Close, "Heuristic", "bs", "*casino*"},
      {"IEFrame", "Casino", "", "h", 400, 150, "ea", "*casino*", A::Close, "*casino*", "bl", ""},
      {"MozillaWindowClass", "Casino", "", "m", 225, 225, "na", "*casino*", A::Close, "*casino*", "b", ""},
      // The first fitting rule wins, against the folded title; an invalid rule fits nothing.
      {"IEFrame", "Win A FREE Casino Trip", "", "", 800, 600, "e", invalid + "\n*free*\n*casino*", A::Close, "*free*", "bl", ""},
      {"IEFrame", "Win A Casino Trip", "", "", 800, 600, "e", invalid + "\n*free*\n*casino*", A::Close, "*casino*", "bl", ""},
      {"IEFrame", "Foo [1]", "", "", 800, 600, "e", "foo [1]", A::Close, "foo ?1?", "bl", ""},
      {"IEFrame", "foo x1y", "", "", 800, 600, "e", "foo [1]", A::Close, "foo ?1?", "bl", ""},
      {"MozillaWindowClass", "", "", "", 800, 600, "n", "*casino*\n\n", A::Close, "", "b", ""},
      {"IEFrame", "\u00C9T\u00C9", "", "", 800, 600, "e", "\u00E9t\u00E9", A::Close, "\u00E9t\u00E9", "bl", ""},
      {"IEFrame", "Daily news", "", "", 800, 600, "e", "*casino*", A::Leave, "", "bl", ""},
      {"IEFrame", "Free\tprize", "", "", 800, 600, "e", "free prize", A::Close, "free prize", "bl", ""},
      {"IEFrame", "Free\t\tprize", "", "", 800, 600, "e", "free prize", A::Leave, "", "bl", ""},
      // Explorer frames count for the limit, closed by a rule or not; other Explorer windows do not.
      {"CabinetWClass", "Frame", "", "", 800, 600, "e", "", A::Leave, "", "bl", ""},
      {"MSN6 Window", "Frame", "", "", 800, 600, "e", "", A::Leave, "", "b", ""},
      // Containers ask for their descendants while their family is watched.
      {"Opera Main Window", "main", "", "", 800, 600, "o", "*", A::SearchDescendants, "", "", ""},
      {"Opera Main Window", "main", "", "", 800, 600, "e", "*", A::Leave, "", "", ""},
      {"_AOL_Static", "main", "", "", 800, 600, "e", "", A::SearchDescendants, "", "", ""},
      {"_AOL_Static", "main", "", "", 800, 600, "o", "", A::Leave, "", "", ""},
      {"_AOL_Static", "main", "", "", 800, 600, "L", "", A::SearchDescendants, "", "", ""},
      {"AOL Frame25", "main", "", "", 800, 600, "e", "", A::SearchDescendants, "", "", ""},
      {"TfrmAvantBrowser", "main", "", "", 800, 600, "e", "", A::SearchDescendants, "", "", ""},
      {"TfrmAvantBrowser", "main", "", "", 800, 600, "o", "", A::Leave, "", "", ""},
      {"TfrmAvantBrowser", "main", "", "", 800, 600, "eH", "", A::Leave, "", "", ""},
      {"OpWindow", "main", "", "", 800, 600, "o", "", A::SearchDescendants, "", "b", ""},
      {"OpWindow", "main", "", "", 800, 600, "e", "", A::Leave, "", "b", ""},
      {"OpWindow", "main", "", "", 800, 600, "oH", "", A::Leave, "", "", ""},
      {"SomethingElse", "main", "", "", 800, 600, "onec", "*", A::Leave, "", "", ""},
  };
  for (const Case& c : cases) {
    KnownWindow known;
    known.className = c.cls;
    known.title = c.title;
    known.program.name = c.program;
    known.owner = Has(c.traits, 'o') ? 0x42 : 0;
    known.toolWindow = Has(c.traits, 't');
    known.topLevel = !Has(c.traits, 'c');
    known.visible = !Has(c.traits, 'h');
    known.minimised = Has(c.traits, 'm');
    known.rect = Rect{10, 10, 10 + c.width, 10 + c.height};
    DetectionOptions options;
    options.families = BrowserFamilies{Has(c.watch, 'o'), Has(c.watch, 'n'), Has(c.watch, 'e'), Has(c.watch, 'c')};
    options.agressive = Has(c.watch, 'a');
    const BrowserAsker asker = Has(c.watch, 'L')   ? BrowserAsker::Lister
                               : Has(c.watch, 'H') ? BrowserAsker::HotKey
                                                   : BrowserAsker::Scanner;
    const Verdict v = Decide(WindowFacts(known), options, Prepared(c.rules), asker);
    const std::string row = std::string(c.cls) + " / " + c.title + " / " + c.program + " [" + c.traits + "] " +
                            std::to_string(c.width) + "x" + std::to_string(c.height) + " watching " + c.watch;
    EXPECT_EQ(v.action, c.action) << row;
    EXPECT_EQ(v.reason, c.reason) << row;
    EXPECT_EQ(v.browser, Has(c.marks, 'b')) << row;
    EXPECT_EQ(v.countForLimit, Has(c.marks, 'l')) << row;
    EXPECT_EQ(v.bySize, Has(c.marks, 's')) << row;
    EXPECT_EQ(v.sizeAndRule, c.sizeAndRule) << row;
    if (v.browser) {
      EXPECT_EQ(v.title, c.title) << row;
    }
  }
}

TEST(Decision, AFactIsReadOnceAndOnlyWhereAWatchedRowNeedsIt) {
  FakeDesktop desktop;
  desktop.SetProgram(1, "C:\\Chrome\\chrome.exe");
  const WindowHandle chrome = desktop.Add("Chrome_WidgetWin_1", "Casino - Chrome");
  desktop.Add("Notepad", "casino.txt");
  desktop.Add("MozillaWindowClass", "Casino - Firefox");  // its family is not watched
  const WindowHandle frame = desktop.Add("IEFrame", "Casino frame");
  WindowRecord bubble{"Chrome_WidgetWin_1", "Casino bubble"};
  bubble.owner = chrome;
  desktop.Add(bubble);
  DetectionOptions options;
  options.families.chromium = true;
  options.families.explorer = true;
  const PreparedRules rules = Prepared("*casino*");
  ProgramNames programs(desktop);
  WindowWalk walk(desktop, options, rules, PassView{BrowserAsker::Scanner, &programs});
  std::vector<WindowHandle> closed;
  for (WindowHandle w : desktop.TopLevelWindows()) {
    walk.Visit(w, [&](WindowHandle judged, const Verdict& v) {
      if (v.action == Action::Close) closed.push_back(judged);
    });
  }
  EXPECT_EQ(closed, (std::vector<WindowHandle>{chrome, frame}));
  EXPECT_EQ(desktop.TitleReads(), 2) << "the browser windows' titles, each once";
  EXPECT_EQ(desktop.ProgramReads(), 1) << "neither the bubble's nor the unwatched family's program";
}

TEST(Decision, TheSizeBandsAreIn96DpiUnitsThroughTheWindowsDensity) {
  struct Case {
    int dpi, width, height;
    bool popup;
  };
  const Case cases[] = {
      {96, 500, 150, true},    {192, 1000, 300, true}, {192, 500, 150, false}, {144, 975, 300, true},
      {144, 977, 300, false},  {144, 525, 74, false},  {144, 525, 75, true},   {120, 281, 281, true},
      {120, 250, 250, true},   {120, 249, 249, false}, {0, 500, 150, true},    {288, 1950, 600, true},
  };
  FakeDesktop desktop;
  DetectionOptions options;
  options.families = BrowserFamilies{false, false, true, false};
  options.agressive = true;
  for (const Case& c : cases) {
    WindowRecord record;
    record.className = "IEFrame";
    record.title = "Offer";
    record.rect = Rect{100, 100, 100 + c.width, 100 + c.height};
    record.dpi = c.dpi;
    const WindowHandle window = desktop.Add(record);
    const Verdict v = Decide(WindowFacts(desktop, window, true), options, {});
    EXPECT_EQ(v.bySize, c.popup) << c.width << "x" << c.height << " at " << c.dpi;
  }
}
