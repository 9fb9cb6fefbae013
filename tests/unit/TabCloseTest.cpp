// Closing in today's browsers: the decision over what a strip shows, and the scanner over a desktop
// of browser windows with tab strips.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "popups/ClassPopupsThread.h"
#include "popups/TabClose.h"
#include "tests/fakes/FakeDde.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/FakeTabStrips.h"
#include "tests/fakes/Probe.h"

using namespace zorvex;
using zorvex::fake::FakeDesktop;
using zorvex::fake::FakeMainThread;
using zorvex::fake::FakeSleeper;
using zorvex::fake::FakeTabStrips;
using zorvex::fake::StripRecord;
using zorvex::fake::WindowRecord;

namespace {

class StaticStrip : public ITabStrip {
 public:
  explicit StaticStrip(std::vector<PageTab> tabs) : tabs_(std::move(tabs)) {}
  const std::vector<PageTab>& Tabs() const override { return tabs_; }
  bool CloseTab(std::size_t) override { return false; }

 private:
  std::vector<PageTab> tabs_;
};

TabStripRead Strip(std::vector<PageTab> tabs) {
  return TabStripRead{TabStripState::Read, std::make_unique<StaticStrip>(std::move(tabs))};
}

PageTab Tab(const char* title, bool selected = false, bool visible = true) { return PageTab{title, visible, selected}; }

class RecordingHost : public IKillHost {
 public:
  void WriteLog(const std::string& line) override { lines.push_back(line); }
  void PlayAlarm() override { ++alarms; }
  int alarms = 0;
  std::vector<std::string> lines;
};

constexpr std::uint32_t kChrome = 7, kFirefox = 8, kThunderbird = 9, kBetterbird = 10;

class TabCloseTest : public ::testing::Test {
 protected:
  TabCloseTest() {
    desktop->SetProgram(kChrome, "C:\\Chrome\\chrome.exe");
    desktop->SetProgram(kFirefox, "C:\\Firefox\\firefox.exe");
    desktop->SetProgram(kThunderbird, "C:\\Thunderbird\\thunderbird.exe");
    desktop->SetProgram(kBetterbird, "C:\\Betterbird\\betterbird.exe");
  }
  void TearDown() override {
    strips->ReleaseAll();
    desktop->AnswerAllCloses();
    // Closes handed over finish and report before the host goes.
    if (scanner) {
      EXPECT_TRUE(Concluded());
    }
    EXPECT_EQ(strips->Faults(), 0) << "a strip was read off a thread entered for reading";
  }
  std::shared_ptr<TSPopupThread> MakeScanner(const std::string& rules) {
    scanner = TSPopupThread::Create(ScannerServices{desktop, mainThread, sleeper, &host, clock, strips});
    options.families = BrowserFamilies{false, true, true, true};
    scanner->SetDetection(options);
    scanner->SetRules(rules);
    return scanner;
  }
  void SetAgressive(bool on) {
    options.agressive = on;
    scanner->SetDetection(options);
  }
  WindowHandle Window(const char* cls, std::uint32_t process, const char* title = "Page", int w = 900, int h = 700) {
    WindowRecord record{cls, title};
    record.processId = process;
    record.rect = Rect{0, 0, w, h};
    return desktop->Add(record);
  }
  // Every close the scanner starts posts exactly one item to the main thread when it ends, whether
  // it closed a window, a tab or nothing. A close handed to a closing thread that has not begun
  // shows in no fake yet, so the test says how many a pass starts: those windows a rule or the size
  // test picks that have no close pending.
  void Pass(int closes) {
    started += closes;
    Probe::RunPass(*scanner);
    EXPECT_TRUE(Concluded()) << started << " closes started, " << mainThread->Posted() << " ended";
  }
  // Pumps until every close started so far has ended and reported.
  bool Concluded() {
    const bool ended = mainThread->PumpUntil([&] { return mainThread->Posted() >= started; });
    mainThread->Pump();
    return ended && mainThread->Posted() == started;
  }

  std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
  std::shared_ptr<FakeTabStrips> strips = std::make_shared<FakeTabStrips>(desktop);
  std::shared_ptr<FakeMainThread> mainThread = std::make_shared<FakeMainThread>();
  std::shared_ptr<FakeSleeper> sleeper = std::make_shared<FakeSleeper>();
  // Stands still: a window that answered is never held back by a pause before a retry.
  std::shared_ptr<zorvex::fake::FakeClock> clock = std::make_shared<zorvex::fake::FakeClock>();
  RecordingHost host;
  DetectionOptions options;
  std::shared_ptr<TSPopupThread> scanner;
  // Closes the scanner started so far.
  int started = 0;
};

}  // namespace

TEST(TabPlan, WhatToCloseFollowsWhatTheStripShows) {
  using V = TabVerdict;
  EXPECT_EQ(PlanTabClose(TabStripRead{TabStripState::None, nullptr}, PickedBy::Rule).verdict, V::CloseWindow);
  EXPECT_EQ(PlanTabClose(TabStripRead{TabStripState::Error, nullptr}, PickedBy::Rule).verdict, V::LeaveOpen);
  EXPECT_EQ(PlanTabClose(TabStripRead{TabStripState::Timeout, nullptr}, PickedBy::Size).verdict, V::LeaveOpen);
  EXPECT_EQ(PlanTabClose(TabStripRead{TabStripState::Read, nullptr}, PickedBy::Rule).verdict, V::LeaveOpen);
  EXPECT_EQ(PlanTabClose(Strip({}), PickedBy::Rule).verdict, V::CloseWindow);
  EXPECT_EQ(PlanTabClose(Strip({Tab("Ad", true)}), PickedBy::Rule).verdict, V::CloseWindow);
  EXPECT_EQ(PlanTabClose(Strip({Tab("Ad", true)}), PickedBy::Size).verdict, V::CloseWindow);
  // A popup's strip is there but hidden; hidden tabs do not count.
  EXPECT_EQ(PlanTabClose(Strip({Tab("Ad", true, false)}), PickedBy::Rule).verdict, V::CloseWindow);
  // Hidden tabs count: a collapsed group, a crowded strip, a strip hidden in full screen.
  EXPECT_EQ(PlanTabClose(Strip({Tab("Ad", true), Tab("Grouped", false, false)}), PickedBy::Rule).tab, 0u);
  EXPECT_EQ(PlanTabClose(Strip({Tab("Ad", true, false), Tab("Mail", false, false)}), PickedBy::Rule).verdict,
            V::CloseFrontTab);
  EXPECT_EQ(PlanTabClose(Strip({Tab("Ad", true), Tab("Grouped", false, false)}), PickedBy::Size).verdict,
            V::LeaveQuietly);
  // No strip in full screen proves nothing: the browser hides it there.
  EXPECT_EQ(PlanTabClose(TabStripRead{TabStripState::None, nullptr}, PickedBy::Rule, true).verdict, V::LeaveOpen);

  const TabPlan front = PlanTabClose(Strip({Tab("News"), Tab("Casino", true), Tab("Mail")}), PickedBy::Rule);
  EXPECT_EQ(front.verdict, V::CloseFrontTab);
  EXPECT_EQ(front.tab, 1u);
  // A hidden tab before the front one does not move it.
  EXPECT_EQ(PlanTabClose(Strip({Tab("X", false, false), Tab("A"), Tab("B", true)}), PickedBy::Rule).tab, 2u);
  EXPECT_EQ(PlanTabClose(Strip({Tab("News"), Tab("Casino", true)}), PickedBy::Size).verdict, V::LeaveQuietly);
  // Which tab is in front, and how to close it, must be beyond doubt.
  EXPECT_EQ(PlanTabClose(Strip({Tab("News"), Tab("Casino")}), PickedBy::Rule).verdict, V::LeaveOpen);
  EXPECT_EQ(PlanTabClose(Strip({Tab("News", true), Tab("Casino", true)}), PickedBy::Rule).verdict, V::LeaveOpen);
  EXPECT_EQ(PlanTabClose(Strip({Tab("A"), Tab("B"), Tab("C", true, false)}), PickedBy::Rule).tab, 2u);

  // The tab in front must be the page the rule fitted, by its own name or as the window's title.
  struct Pick {
    const char* tab;
    const char* rule;
    const char* window;
    bool picked;
  };
  for (const Pick& p : std::initializer_list<Pick>{{"Casino", "*casino*", "Casino", true},
                                                   {"Mail", "*casino*", "Casino", false},
                                                   {"Casino", "casino - browser", "Casino - Browser", true},
                                                   {"Casino", "casino \xE2\x80\x94 fox", "Casino \xE2\x80\x94 Fox", true},
                                                   {"Casino", "casino night", "Casino night", false},
                                                   {"Cas", "casino - browser", "Casino - Browser", false},
                                                   {"", "*", "Casino", false}}) {
    EXPECT_EQ(FrontTabIsPicked(p.tab, p.rule, p.window), p.picked) << p.tab << " / " << p.rule << " / " << p.window;
  }
}

TEST_F(TabCloseTest, WindowsWithoutStripOrWithOneTabAreClosedWholeAsBefore) {
  const WindowHandle bare = Window("Chrome_WidgetWin_1", kChrome, "Casino app");
  const WindowHandle popup = Window("MozillaWindowClass", kFirefox, "Casino popup");
  strips->Set(popup, StripRecord{TabStripState::Read, {Tab("Casino popup", true, false)}});
  const WindowHandle one = Window("Chrome_WidgetWin_1", kChrome, "Casino alone");
  strips->SetTabs(one, {"Casino alone"});
  const WindowHandle classic = Window("IEFrame", 1, "Casino classic");
  MakeScanner("*casino*");
  Pass(4);
  for (WindowHandle w : {bare, popup, one, classic}) EXPECT_FALSE(desktop->Exists(w));
  EXPECT_EQ(host.lines.size(), 4u);
  EXPECT_EQ(host.alarms, 4);
  EXPECT_TRUE(strips->ClosedTabs().empty());
  EXPECT_EQ(strips->Reads(classic), 0) << "only today's browsers are read";
}

TEST_F(TabCloseTest, OnlyTheFittingFrontTabOfAWindowWithSeveralGoesAndTheNextPassTakesTheNextFittingOne) {
  const WindowHandle chrome = Window("Chrome_WidgetWin_1", kChrome);
  strips->SetTabs(chrome, {"News", "Casino Royale", "Casino Night", "Mail"}, 1);
  const WindowHandle firefox = Window("MozillaWindowClass", kFirefox);
  strips->SetTabs(firefox, {"Casino deal", "Docs", "Forum"}, 0);
  const WindowHandle calm = Window("Chrome_WidgetWin_1", kChrome);
  strips->SetTabs(calm, {"Weather", "Casino hidden behind"}, 0);
  MakeScanner("*casino*");

  Pass(2);
  EXPECT_TRUE(desktop->Exists(chrome) && desktop->Exists(firefox));
  EXPECT_EQ(desktop->CloseAttempts(chrome) + desktop->CloseAttempts(firefox), 0) << "no window gets the close command";
  EXPECT_EQ(desktop->Title(chrome), "Casino Night") << "the next tab comes to the front";
  EXPECT_EQ(desktop->Title(firefox), "Docs");
  EXPECT_EQ(strips->Reads(calm), 0) << "a window no rule picked is never read";
  std::vector<std::string> lines = host.lines;
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"Popup Killed: Casino Royale (*casino*)",
                                             "Popup Killed: Casino deal (*casino*)"}));
  EXPECT_EQ(host.alarms, 2);

  // The new front tab fits too: it goes the same way; then nothing fits and nothing is read.
  Pass(1);
  EXPECT_EQ(desktop->Title(chrome), "Mail");
  EXPECT_EQ(host.lines.size(), 3u);
  EXPECT_EQ(host.lines.back(), "Popup Killed: Casino Night (*casino*)");
  Pass(0);
  EXPECT_EQ(strips->Reads(chrome), 2);
  EXPECT_EQ(strips->Reads(firefox), 1);
  EXPECT_EQ(strips->Get(chrome).tabs.size(), 2u);
  EXPECT_EQ(strips->Get(firefox).tabs.size(), 2u);
  EXPECT_EQ(host.alarms, 3);
}

TEST_F(TabCloseTest, AStripThatCannotBeReadLeavesTheWindowOpenSaidOnceUntilItsFrontTabChanges) {
  const WindowHandle errs = Window("Chrome_WidgetWin_1", kChrome, "Casino errs");
  strips->Set(errs, StripRecord{TabStripState::Error, {}});
  const WindowHandle slow = Window("MozillaWindowClass", kFirefox, "Casino slow");
  strips->Set(slow, StripRecord{TabStripState::Timeout, {}});
  const WindowHandle buttonless = Window("Chrome_WidgetWin_1", kChrome);
  strips->SetTabs(buttonless, {"Casino bare", "News"});
  StripRecord record = strips->Get(buttonless);
  record.buttonless.insert("Casino bare");
  strips->Set(buttonless, record);
  const WindowHandle stuckButton = Window("Chrome_WidgetWin_1", kChrome);
  strips->SetTabs(stuckButton, {"Casino stuck", "News"});
  record = strips->Get(stuckButton);
  record.closeFails = true;
  strips->Set(stuckButton, record);
  MakeScanner("*casino*");

  Pass(4);
  // Asked again on every pass, and the answer is the one it had: nothing to read, nothing to say.
  Pass(4);
  Pass(4);
  for (WindowHandle w : {errs, slow, buttonless, stuckButton}) {
    EXPECT_TRUE(desktop->Exists(w));
    EXPECT_EQ(desktop->CloseAttempts(w), 0);
    EXPECT_EQ(strips->Reads(w), 1) << "read once, not on every pass";
  }
  std::vector<std::string> lines = host.lines;
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Popup Left Open: Casino bare (*casino*), its tabs could not be read",
                       "Popup Left Open: Casino errs (*casino*), its tabs could not be read",
                       "Popup Left Open: Casino slow (*casino*), its tabs could not be read",
                       "Popup Left Open: Casino stuck (*casino*), its tabs could not be read"}));
  EXPECT_EQ(host.alarms, 0) << "a window left open is no kill";

  // Another fitting page comes to the front: asked again, and it reads now.
  strips->SetTabs(errs, {"News", "Casino again"}, 1);
  Pass(4);
  EXPECT_EQ(strips->Reads(errs), 2);
  EXPECT_EQ(host.lines.back(), "Popup Killed: Casino again (*casino*)");
  EXPECT_TRUE(desktop->Exists(errs));
}

TEST_F(TabCloseTest, AStripThatHangsHoldsUpNoOtherPopupAndIsLeftOpenWhenItAnswers) {
  const WindowHandle hung = Window("Chrome_WidgetWin_1", kChrome);
  strips->SetTabs(hung, {"Casino hung", "News"});
  StripRecord record = strips->Get(hung);
  record.hangs = true;
  strips->Set(hung, record);
  const WindowHandle popup = Window("Chrome_WidgetWin_1", kChrome, "Casino popup");
  const WindowHandle tabbed = Window("MozillaWindowClass", kFirefox);
  strips->SetTabs(tabbed, {"Casino tab", "Docs"});
  MakeScanner("*casino*");

  started = 3;
  Probe::RunPass(*scanner);
  // The pass went past the hung window: the others are closed while its read still hangs.
  ASSERT_TRUE(mainThread->PumpUntil([&] { return host.lines.size() == 2 && strips->HangingReads() == 1; }));
  EXPECT_FALSE(desktop->Exists(popup));
  EXPECT_EQ(desktop->Title(tabbed), "Docs");
  EXPECT_EQ(mainThread->Posted(), 2) << "the hung window's close has not ended";
  // Nor is it asked again while it hangs.
  Probe::RunPass(*scanner);
  EXPECT_EQ(strips->Reads(hung), 1);

  // It answers too late for a read: left open and said once; its tabs are all there.
  strips->Release(hung);
  ASSERT_TRUE(Concluded());
  EXPECT_EQ(host.lines.back(), "Popup Left Open: Casino hung (*casino*), its tabs could not be read");
  EXPECT_TRUE(desktop->Exists(hung));
  EXPECT_EQ(strips->Get(hung).tabs.size(), 2u);
  EXPECT_EQ(host.alarms, 2);
}

TEST_F(TabCloseTest, AggressiveModeNeverClosesAWindowWithSeveralTabsButStillClosesSmallPopups) {
  const WindowHandle small = Window("Chrome_WidgetWin_1", kChrome, "Weather", 400, 150);
  strips->SetTabs(small, {"Weather", "Mail", "Docs"});
  const WindowHandle popup = Window("MozillaWindowClass", kFirefox, "Offer", 400, 150);
  strips->Set(popup, StripRecord{TabStripState::Read, {Tab("Offer", true, false)}});
  MakeScanner("");
  SetAgressive(true);
  Pass(2);
  Pass(1);
  EXPECT_TRUE(desktop->Exists(small));
  EXPECT_EQ(strips->Get(small).tabs.size(), 3u);
  EXPECT_EQ(strips->Reads(small), 1) << "left quietly, and not read on every pass";
  EXPECT_FALSE(desktop->Exists(popup));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: Offer (Heuristic)"}));

  // A rule that fits the front tab of a small window takes that tab all the same, as in a window of
  // any size; a window left for its size is read again once a rule fits it.
  const WindowHandle ruled = Window("Chrome_WidgetWin_1", kChrome, "Page", 400, 150);
  strips->SetTabs(ruled, {"Casino small", "Docs"});
  scanner->SetRules("*casino*\nweather");
  Pass(2);
  EXPECT_EQ(desktop->Title(small), "Mail");
  EXPECT_EQ(desktop->Title(ruled), "Docs");
  EXPECT_EQ(strips->Reads(small), 2);
  std::vector<std::string> lines = host.lines;
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"Popup Killed: Casino small (*casino*)", "Popup Killed: Offer (Heuristic)",
                                             "Popup Killed: Weather (weather)"}));
  EXPECT_EQ(host.alarms, 3);
}

TEST_F(TabCloseTest, AMailProgramOnTheFirefoxEngineIsLeftAloneAndNeverRead) {
  const WindowHandle thunderbird = Window("MozillaWindowClass", kThunderbird, "Casino offer - Inbox", 400, 150);
  const WindowHandle betterbird = Window("MozillaWindowClass", kBetterbird, "Casino offer - Inbox");
  const WindowHandle firefox = Window("MozillaWindowClass", kFirefox, "Casino offer - Firefox");
  MakeScanner("*casino*");
  SetAgressive(true);
  Pass(1);
  EXPECT_TRUE(desktop->Exists(thunderbird));
  EXPECT_TRUE(desktop->Exists(betterbird));
  EXPECT_EQ(strips->Reads(thunderbird) + strips->Reads(betterbird), 0);
  EXPECT_FALSE(desktop->Exists(firefox));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: Casino offer - Firefox (*casino*)"}));
}

TEST_F(TabCloseTest, TheCloserAbandonsAWorkerCaughtMidWalkAndReplacesIt) {
  const WindowHandle hung = Window("Chrome_WidgetWin_1", kChrome, "Casino hung");
  strips->SetTabs(hung, {"Casino hung", "News"});
  StripRecord record = strips->Get(hung);
  record.hangs = true;
  strips->Set(hung, record);
  const WindowHandle next = Window("Chrome_WidgetWin_1", kChrome, "Casino next");
  strips->SetTabs(next, {"Casino next", "News"});
  const WindowHandle switched = Window("Chrome_WidgetWin_1", kChrome, "Casino before");
  strips->SetTabs(switched, {"Casino before", "News"});

  TabCloser closer(desktop, strips, std::chrono::milliseconds(50));
  const CloseOutcome left = closer.Close(CloseRequest{hung, "Casino hung", "*casino*", PickedBy::Rule, {}});
  EXPECT_FALSE(left.taken || left.tabClosed);
  EXPECT_EQ(left.leftLine, "Popup Left Open: Casino hung (*casino*), its tabs could not be read");
  EXPECT_EQ(Probe::Abandoned(closer), 1);
  EXPECT_EQ(strips->HangingReads(), 1);

  // A new worker reads the next window while the abandoned one still hangs.
  const CloseOutcome closed = closer.Close(CloseRequest{next, "Casino next", "*casino*", PickedBy::Rule, {}});
  EXPECT_TRUE(closed.tabClosed);
  EXPECT_EQ(closed.tabTitle, "Casino next");
  EXPECT_TRUE(closed.leftLine.empty());
  // Asked about once more, unchanged: not read again, not said again.
  EXPECT_TRUE(closer.Close(CloseRequest{hung, "Casino hung", "*casino*", PickedBy::Rule, {}}).leftLine.empty());
  EXPECT_EQ(strips->Reads(hung), 1);

  // The user brought another tab to the front since the rule fitted: nothing is closed.
  const CloseOutcome moved = closer.Close(CloseRequest{switched, "Casino earlier", "*casino*", PickedBy::Rule, {}});
  EXPECT_FALSE(moved.taken || moved.tabClosed);
  EXPECT_TRUE(moved.leftLine.empty());
  EXPECT_EQ(strips->Get(switched).tabs.size(), 2u);

  // The abandoned worker ends when its browser answers, and leaves what it entered.
  strips->ReleaseAll();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (strips->Entered() > 1 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_EQ(strips->Entered(), 1) << "one kept worker; the abandoned one has left";
}

TEST_F(TabCloseTest, AWindowOfTabsIsNeverTakenWholeNorTheWrongTabAndAPressCountsOnlyWhenItsTabIsGone) {
  struct Case {
    const char* name;
    StripRecord strip;
    const char* windowTitle;
    Rect rect;
    // What is left of the strip, the closed tab, and the line logged (empty: none).
    std::size_t tabsLeft;
    const char* closedTab;
    const char* line;
  };
  const Rect normal{0, 0, 900, 700}, fullScreen{0, 0, 1920, 1080};
  const Case cases[] = {
      {"a collapsed group: one visible tab, five hidden",
       {TabStripState::Read,
        {Tab("Casino", true), Tab("A", false, false), Tab("B", false, false), Tab("C", false, false),
         Tab("D", false, false), Tab("E", false, false)}},
       "Casino", normal, 5, "Casino", ""},
      {"a hidden strip", {TabStripState::Read, {Tab("Casino", true, false), Tab("Mail", false, false)}},
       "Casino", normal, 1, "Casino", ""},
      {"full screen, no strip found", {TabStripState::None, {}}, "Casino", fullScreen, 0, "",
       "Popup Left Open: Casino (*casino*), it fills its screen and shows no tabs"},
      {"the selection moved before the title", {TabStripState::Read, {Tab("News"), Tab("Mail", true)}}, "Casino",
       normal, 2, "", ""},
      {"a press that takes nothing away", {TabStripState::Read, {Tab("Casino", true), Tab("News")}}, "Casino",
       normal, 2, "", "Popup Left Open: Casino (*casino*), its tab did not close"},
  };
  TabCloser closer(desktop, strips, std::chrono::seconds(5), std::chrono::milliseconds(50));
  for (const Case& c : cases) {
    WindowRecord record{"Chrome_WidgetWin_1", c.windowTitle};
    record.processId = kChrome;
    record.rect = c.rect;
    const WindowHandle window = desktop->Add(record);
    StripRecord strip = c.strip;
    strip.pressKeeps = std::string(c.name) == "a press that takes nothing away";
    if (strip.state == TabStripState::Read) strips->Set(window, strip);
    const std::size_t closedBefore = strips->ClosedTabs().size();
    const CloseRequest request{window, c.windowTitle, "*casino*", PickedBy::Rule, {}};
    const CloseOutcome outcome = closer.Close(request);
    EXPECT_TRUE(desktop->Exists(window)) << c.name;
    EXPECT_EQ(desktop->CloseAttempts(window), 0) << c.name;
    EXPECT_EQ(strips->Get(window).tabs.size(), c.tabsLeft) << c.name;
    EXPECT_EQ(outcome.tabClosed, *c.closedTab != '\0') << c.name;
    EXPECT_EQ(outcome.tabTitle, c.closedTab) << c.name;
    EXPECT_EQ(strips->ClosedTabs().size() - closedBefore, outcome.tabClosed ? 1u : 0u) << c.name;
    EXPECT_EQ(outcome.leftLine, c.line) << c.name;
    if (outcome.tabClosed) continue;
    // Left: not read, pressed or said again while the window keeps its title.
    const int reads = strips->Reads(window);
    EXPECT_TRUE(closer.Close(request).leftLine.empty()) << c.name;
    EXPECT_EQ(strips->Reads(window), reads) << c.name;
  }
}

TEST_F(TabCloseTest, AbandonedReadersAreBoundedNeverActAndTheirWindowsWaitForThem) {
  {
    // A browser that answers slowly, past the bound, is not hung: it is waited for.
    TabCloser patient(desktop, strips, std::chrono::seconds(1));
    const WindowHandle slow = Window("Chrome_WidgetWin_1", kChrome, "Casino slow");
    strips->SetTabs(slow, {"Casino slow", "News"});
    StripRecord slowRecord = strips->Get(slow);
    slowRecord.slowSteps = 600;
    strips->Set(slow, slowRecord);
    EXPECT_TRUE(patient.Close(CloseRequest{slow, "Casino slow", "*casino*", PickedBy::Rule, {}}).tabClosed);
    EXPECT_EQ(Probe::Abandoned(patient), 0);
  }

  const std::size_t closedBefore = strips->ClosedTabs().size();
  TabCloser closer(desktop, strips, std::chrono::milliseconds(30));

  // Each reader is caught by its browser, which answers with its strip only after it was given up.
  std::vector<WindowHandle> hung;
  for (int i = 0; i < 5; ++i) {
    const std::string title = "Casino " + std::to_string(i);
    const WindowHandle window = Window("Chrome_WidgetWin_1", kChrome, title.c_str());
    strips->SetTabs(window, {title, "News"});
    StripRecord record = strips->Get(window);
    record.hangs = true;
    record.answersLate = true;
    strips->Set(window, record);
    hung.push_back(window);
  }
  for (int i = 0; i < 4; ++i) {
    const CloseOutcome left = closer.Close(CloseRequest{hung[i], desktop->Title(hung[i]), "*casino*", PickedBy::Rule, {}});
    EXPECT_EQ(left.leftLine, "Popup Left Open: " + desktop->Title(hung[i]) + " (*casino*), its tabs could not be read");
  }
  // Renamed, a window is asked about again, but not read while its abandoned reader runs.
  desktop->Edit(hung[0], [](WindowRecord& w) { w.title = "Casino renamed"; });
  EXPECT_TRUE(closer.Close(CloseRequest{hung[0], "Casino renamed", "*casino*", PickedBy::Rule, {}}).leftLine.empty());
  EXPECT_EQ(strips->Reads(hung[0]), 1);
  // Past the cap nothing more is read.
  const CloseOutcome capped = closer.Close(CloseRequest{hung[4], "Casino 4", "*casino*", PickedBy::Rule, {}});
  EXPECT_EQ(capped.leftLine, "Popup Left Open: Casino 4 (*casino*), too many browsers are not answering");
  EXPECT_EQ(strips->Reads(hung[4]), 0);
  EXPECT_EQ(strips->HangingReads(), 4);

  // The browsers answer: the readers end without pressing anything, and their windows are free.
  strips->ReleaseAll();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (strips->Entered() > 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_EQ(strips->Entered(), 0) << "every abandoned reader has ended";
  EXPECT_EQ(strips->ClosedTabs().size(), closedBefore) << "a reader that was given up never acts";
  for (int i = 1; i < 4; ++i) EXPECT_EQ(strips->Get(hung[i]).tabs.size(), 2u);
  strips->SetTabs(hung[0], {"Casino again", "News"});
  EXPECT_TRUE(closer.Close(CloseRequest{hung[0], "Casino again", "*casino*", PickedBy::Rule, {}}).tabClosed);
}

TEST_F(TabCloseTest, AWindowLeftOpenIsForgottenWhenItIsDestroyedSoANewOneWithItsHandleIsClosed) {
  const WindowHandle full = Window("Chrome_WidgetWin_1", kChrome, "Casino", 1920, 1080);
  MakeScanner("*casino*");
  Pass(1);
  EXPECT_TRUE(desktop->Exists(full));
  EXPECT_EQ(host.lines, std::vector<std::string>{"Popup Left Open: Casino (*casino*), it fills its screen and shows no tabs"});
  desktop->Close(full);
  scanner->Forget(full);
  // A popup given the same handle, with the same title, before any pass could see the first gone.
  WindowRecord popup{"Chrome_WidgetWin_1", "Casino"};
  popup.processId = kChrome;
  desktop->Reuse(full, popup);
  ++started;
  scanner->Notice(full);
  Probe::JudgeNoticed(*scanner);
  EXPECT_TRUE(Concluded());
  EXPECT_FALSE(desktop->Exists(full));
  EXPECT_EQ(host.lines.back(), "Popup Killed: Casino (*casino*)");
}

TEST_F(TabCloseTest, AWindowRuleThatClosesABrowserWindowOfTabsTakesOnlyItsFrontTab) {
  const WindowHandle chrome = Window("Chrome_WidgetWin_1", kChrome);
  strips->SetTabs(chrome, {"News", "Sponsored", "Mail"}, 1);
  MakeScanner("");
  std::string fault;
  scanner->SetWindowRules(std::make_shared<const std::vector<WindowRule>>(
      std::vector<WindowRule>{*CompileWindowRule(WindowRuleText{"chrome.exe", "", "Sponsored", "close", ""}, fault)}));
  Pass(1);
  EXPECT_EQ(desktop->CloseAttempts(chrome), 0);
  EXPECT_EQ(desktop->Title(chrome), "Mail");
  EXPECT_EQ(host.lines, std::vector<std::string>{"Window Closed: Sponsored (program \"chrome.exe\", title \"Sponsored\", close)"});
}
