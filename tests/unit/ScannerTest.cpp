#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "base/Trace.h"

#include "tests/fakes/FakeDde.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/Probe.h"
#include "popups/ClassPopupsThread.h"

using namespace zorvex;
using zorvex::fake::FakeDesktop;
using zorvex::fake::FakeMainThread;
using zorvex::fake::FakeSleeper;
using zorvex::fake::WindowRecord;

namespace {

class RecordingHost : public IKillHost {
 public:
  void WriteLog(const std::string& line) override { lines.push_back(line); }
  void PlayAlarm() override { ++alarms; }
  int alarms = 0;
  std::vector<std::string> lines;
};

class ScannerTest : public ::testing::Test {
 protected:
  std::shared_ptr<TSPopupThread> MakeScanner(bool explorer = true, bool netscape = true, bool opera = true) {
    auto scanner = TSPopupThread::Create(ScannerServices{desktop, mainThread, sleeper, &host, clock});
    options.families = BrowserFamilies{opera, netscape, explorer, false};
    scanner->SetDetection(options);
    return scanner;
  }
  // Switches the size heuristic of the options the last scanner was made with.
  void SetAgressive(TSPopupThread& scanner, bool on) {
    options.agressive = on;
    scanner.SetDetection(options);
  }
  WindowHandle Browser(const std::string& cls, const std::string& title, int w = 800, int h = 600) {
    return desktop->Add(cls, title, w, h);
  }

  std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
  std::shared_ptr<FakeMainThread> mainThread = std::make_shared<FakeMainThread>();
  std::shared_ptr<FakeSleeper> sleeper = std::make_shared<FakeSleeper>();
  RecordingHost host;
  DetectionOptions options;
  // Stands still unless the test moves it: the pauses before a hung window is tried again.
  std::shared_ptr<zorvex::fake::FakeClock> clock = std::make_shared<zorvex::fake::FakeClock>();

  // No close may wait for ever once the test is over, and the main loop ends, as the program's
  // does: outcomes posted later are dropped rather than kept on a queue nobody pumps.
  void TearDown() override {
    desktop->AnswerAllCloses();
    mainThread->End();
  }
  // Runs one pass that sends closes close commands and lets each of them finish and report: on a
  // busy machine a close may outlast the scanner's wait, or not even have begun, and finish on its
  // worker.
  void Pass(TSPopupThread& scanner, int closes) {
    Probe::RunPass(scanner);
    Settle(closes);
  }
  // Lets closes more close commands than so far be sent, end and their reports, if any, reach the
  // host. A command too many fails the wait as well.
  void Settle(int closes) {
    sent += closes;
    EXPECT_TRUE(mainThread->PumpUntil([&] { return fake::ClosesSettled(*desktop, *mainThread, sent); }))
        << desktop->CloseCalls() << " close commands, " << sent << " expected";
    mainThread->Pump();
  }
  // Close commands the desktop is expected to have been sent so far.
  int sent = 0;
  // Starts a scanner whose checks count in checks.
  std::shared_ptr<TSPopupThread> Running(const std::string& rules) {
    auto scanner = MakeScanner();
    scanner->SetRules(rules);
    scanner->OnCheck = [this] { ++checks; };
    scanner->Start();
    return scanner;
  }
  std::atomic<int> checks{0};
};

}  // namespace

TEST_F(ScannerTest, SetRulesSplitsLinesAndTurnsBracketsIntoQuestionMarks) {
  // Seen in what the rules close and the reasons logged: the rule "foo [1]" is held as "foo ?1?".
  const WindowHandle foo = Browser("IEFrame", "Foo x1y");
  const WindowHandle baz = Browser("IEFrame", "baz");
  const WindowHandle empty = Browser("IEFrame", "");
  const WindowHandle last = Browser("IEFrame", "last");
  auto scanner = MakeScanner();
  scanner->SetRules("foo [1]\r\nbar\rbaz\n\nlast\r\n");
  Pass(*scanner, 4);
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: Foo x1y (foo ?1?)", "Popup Killed: baz (baz)",
                                                  "Popup Killed:  ()", "Popup Killed: last (last)"}));
  EXPECT_FALSE(desktop->Exists(foo) || desktop->Exists(baz) || desktop->Exists(empty) || desktop->Exists(last));

  // No rules: nothing is closed by title; a last line without a break is a rule all the same.
  host.lines.clear();
  const WindowHandle next = Browser("IEFrame", "");
  const WindowHandle end = Browser("IEFrame", "no break at end");
  scanner->SetRules("");
  Pass(*scanner, 0);
  EXPECT_TRUE(desktop->Exists(next));
  scanner->SetRules("no break at end");
  Pass(*scanner, 1);
  EXPECT_FALSE(desktop->Exists(end));
  EXPECT_TRUE(desktop->Exists(next));
  EXPECT_EQ(host.lines, std::vector<std::string>{"Popup Killed: no break at end (no break at end)"});
}

TEST_F(ScannerTest, AggressiveModeReportsSizeKillsAsHeuristicAndCollectsOnlyRuleKillsForTheLimit) {
  const WindowHandle small = Browser("IEFrame", "News", 400, 150);
  const WindowHandle hidden = desktop->Add(WindowRecord{"IEFrame", "Casino", false, false, {0, 0, 400, 150}});
  auto scanner = MakeScanner();
  SetAgressive(*scanner, true);
  scanner->SetRules("*casino*");
  Pass(*scanner, 2);
  EXPECT_FALSE(desktop->Exists(small) || desktop->Exists(hidden));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: News (Heuristic)", "Popup Killed: Casino (*casino*)"}));
  EXPECT_EQ(host.alarms, 2);
  EXPECT_EQ(Probe::ExplorerWindows(*scanner), (std::vector<WindowHandle>{hidden}));
}


TEST_F(ScannerTest, ExplorerLimitClosesTheHighestFramesWithItsOwnReason) {
  std::vector<WindowHandle> frames;
  for (int i = 0; i < 4; ++i) frames.push_back(Browser(i % 2 ? "CabinetWClass" : "IEFrame", "Frame " + std::to_string(i)));
  auto scanner = MakeScanner();
  Pass(*scanner, 0);
  EXPECT_TRUE(desktop->Closed().empty()) << "0 means no limit";

  options.explorerLimit = 2;
  scanner->SetDetection(options);
  Pass(*scanner, 2);
  EXPECT_EQ(desktop->Closed(), (std::vector<WindowHandle>{frames[0], frames[1]}));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: Frame 0 (Explorer limit)",
                                                  "Popup Killed: Frame 1 (Explorer limit)"}));
}

TEST_F(ScannerTest, WindowsThatRefuseOrVanishAreNotReportedAsKills) {
  const WindowHandle hung = desktop->Add(WindowRecord{"IEFrame", "Popup", true, false, {0, 0, 800, 600}, true});
  auto scanner = MakeScanner();
  scanner->SetRules("popup");
  Pass(*scanner, 1);
  EXPECT_TRUE(desktop->Exists(hung));
  EXPECT_TRUE(host.lines.empty());
  Probe::KillWindow(*scanner, 0x9999, KillReport{"", "x", {}, KillKind::Popup, std::nullopt});
  Settle(1);
  EXPECT_TRUE(host.lines.empty());
}

TEST_F(ScannerTest, ThreadCyclesPausesForCtrlAndScrollLockAndStopsAfterTheCurrentCycle) {
  const unsigned long droppedBefore = DroppedFailures();
  const WindowHandle popup = Browser("IEFrame", "popup");
  auto scanner = MakeScanner();
  scanner->SetRules("popup");
  std::atomic<int> checks{0};
  scanner->OnCheck = [&] { ++checks; };
  desktop->SetCtrlDown(true);
  scanner->Start();
  // Paused: checks run every cycle, the desktop is not walked.
  ASSERT_TRUE(mainThread->PumpUntil([&] { return checks >= 3; }));
  EXPECT_EQ(desktop->Walks(), 0);
  EXPECT_TRUE(desktop->Exists(popup));
  // Scroll Lock goes on before Ctrl is let go: no cycle may run with neither pause in force.
  desktop->SetScrollLock(true);
  desktop->SetCtrlDown(false);
  const int before = checks;
  ASSERT_TRUE(mainThread->PumpUntil([&] { return checks >= before + 3; }));
  EXPECT_EQ(desktop->Walks(), 0);
  desktop->SetScrollLock(false);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !desktop->Exists(popup); }));
  EXPECT_EQ(sleeper->LastMs(), 500u);
  // The closing thread reports after the window is gone: wait for the report, not for the window.
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !host.lines.empty(); }));

  // Termination: the creator empties OnCheck first, then asks; the body ends at the top of a cycle.
  scanner->OnCheck = nullptr;
  scanner->Terminate();
  ASSERT_TRUE(mainThread->PumpUntil([&] { return scanner->WaitFor(std::chrono::milliseconds(0)); }));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: popup (popup)"}));
  EXPECT_EQ(DroppedFailures(), droppedBefore) << "a healthy scanner drops nothing";
}

TEST_F(ScannerTest, TerminationDuringTheSleepStillRunsNoEmptiedCheck) {
  auto scanner = MakeScanner();
  std::atomic<int> checks{0};
  scanner->OnCheck = [&] { ++checks; };
  std::atomic<bool> asleep{false};
  std::atomic<bool> release{false};
  sleeper->onSleep = [&] {
    asleep = true;
    while (!release) std::this_thread::yield();
  };
  scanner->Start();
  while (!asleep) std::this_thread::yield();
  scanner->OnCheck = nullptr;  // as the closer does, on the main thread, before it asks
  scanner->Terminate();
  release = true;
  ASSERT_TRUE(mainThread->PumpUntil([&] { return scanner->WaitFor(std::chrono::milliseconds(0)); }));
  // The cycle still posted its check, which finds nothing to run however late it runs.
  mainThread->Pump();
  EXPECT_EQ(mainThread->Posted(), 1);
  EXPECT_EQ(checks, 0);
  EXPECT_EQ(sleeper->Sleeps(), 1);
}

TEST_F(ScannerTest, ACheckEmptiedWhileItIsQueuedRunsNothing) {
  auto scanner = Running("");
  ASSERT_TRUE(mainThread->WaitUntil([&] { return mainThread->Posted() == 1; }));
  scanner->OnCheck = nullptr;
  scanner->Terminate();
  ASSERT_TRUE(mainThread->PumpUntil([&] { return scanner->Finished(); }));
  mainThread->Pump();
  EXPECT_EQ(checks, 0);
}

TEST_F(ScannerTest, AScannerWhoseCheckWaitsOnABusyMainThreadGoesOnClosingAndPostsNoSecondCheck) {
  auto scanner = Running("popup*");
  // Nobody pumps the main thread, as while a check there waits for a browser.
  ASSERT_TRUE(mainThread->WaitUntil([&] { return mainThread->Posted() == 1; }));
  const int sleeps = sleeper->Sleeps();
  const WindowHandle popup = Browser("IEFrame", "Popup noticed meanwhile");
  scanner->Notice(popup);
  // Closed and reported, and more cycles ended, each of which would have posted a check.
  ASSERT_TRUE(mainThread->WaitUntil(
      [&] { return !desktop->Exists(popup) && mainThread->Posted() >= 2 && sleeper->Sleeps() >= sleeps + 3; }));
  EXPECT_EQ(mainThread->Posted(), 2) << "one check queued, one kill report";
  EXPECT_EQ(checks, 0);
  // Once the check has run, a later cycle posts the next.
  ASSERT_TRUE(mainThread->PumpUntil([&] { return checks >= 2; }));
  EXPECT_EQ(host.lines, std::vector<std::string>{"Popup Killed: Popup noticed meanwhile (popup*)"});
  scanner->OnCheck = nullptr;
  scanner->Terminate();
  ASSERT_TRUE(mainThread->PumpUntil([&] { return scanner->Finished(); }));
}

TEST_F(ScannerTest, RulesReplacedWhilePassesRunAreSeenWhole) {
  // Many browser windows, rules swapped all the time: every pass must see one list whole, which the
  // sanitizer build checks for races and the kill reasons check for torn lists.
  for (int i = 0; i < 50; ++i) Browser("IEFrame", "title " + std::to_string(i));
  auto scanner = MakeScanner();
  scanner->SetRules("nothing");
  scanner->Start();
  std::string a, b;
  for (int i = 0; i < 40; ++i) a += "aaa" + std::to_string(i) + "\r\n";
  for (int i = 0; i < 40; ++i) b += "bbb" + std::to_string(i) + "\r\n";
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  int swaps = 0;
  while (std::chrono::steady_clock::now() < until) {
    scanner->SetRules(++swaps % 2 ? a : b);
    mainThread->Pump();
  }
  const int walksBefore = desktop->Walks();
  ASSERT_TRUE(mainThread->PumpUntil([&] { return desktop->Walks() > walksBefore + 1; }));
  scanner->Terminate();
  ASSERT_TRUE(mainThread->PumpUntil([&] { return scanner->WaitFor(std::chrono::milliseconds(0)); }));
  EXPECT_GT(desktop->Walks(), 2);
  EXPECT_EQ(desktop->Closed().size(), 0u);
}

TEST_F(ScannerTest, AScannerThatNeverStartedNeedsNoJoin) {
  auto scanner = MakeScanner();
  EXPECT_TRUE(scanner->WaitFor(std::chrono::milliseconds(0)));
}

TEST_F(ScannerTest, AWindowSlowToAnswerHoldsUpNoOtherAndIsReportedOnceWhenItAnswers) {
  const WindowHandle slow = Browser("IEFrame", "Slow popup");
  const WindowHandle never = Browser("IEFrame", "Stuck popup");
  const WindowHandle quick = Browser("IEFrame", "Quick popup");
  desktop->HoldClose(slow);
  desktop->HoldClose(never);
  desktop->Edit(never, [](WindowRecord& r) { r.hung = true; });
  auto scanner = MakeScanner();
  scanner->SetRules("*popup");

  Probe::RunPass(*scanner);
  // Three commands sent, two of them held by their windows; the quick one is reported.
  ASSERT_TRUE(mainThread->PumpUntil([&] { return desktop->CloseCalls() == 3 && !host.lines.empty(); }));
  EXPECT_FALSE(desktop->Exists(quick)) << "the window after two slow ones is judged in the same pass";
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: Quick popup (*popup)"}));

  // Later passes do not send the command again while it is pending.
  Probe::RunPass(*scanner);
  Probe::RunPass(*scanner);
  EXPECT_EQ(desktop->CloseAttempts(slow), 1);
  EXPECT_EQ(desktop->CloseAttempts(never), 1);

  // The slow one answers: reported then, once, with the title and reason it had.
  desktop->Edit(slow, [](WindowRecord& r) { r.title = "Renamed meanwhile"; });
  desktop->AnswerClose(slow);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return host.lines.size() == 2; }));
  EXPECT_EQ(host.lines.back(), "Popup Killed: Slow popup (*popup)");
  EXPECT_FALSE(desktop->Exists(slow));

  // The stuck one refuses in the end: never reported, and tried again by a later pass once a
  // pause has passed that doubles with every time-out. A retry is left to a closing thread
  // without the scanner waiting for it; the pass's count of commands waits for it.
  desktop->AnswerClose(never);
  Settle(3);
  Pass(*scanner, 0);
  EXPECT_EQ(desktop->CloseAttempts(never), 1) << "not at once";
  clock->Advance(std::chrono::seconds(1));
  Pass(*scanner, 1);
  EXPECT_EQ(desktop->CloseAttempts(never), 2);
  clock->Advance(std::chrono::seconds(1));
  Pass(*scanner, 0);
  EXPECT_EQ(desktop->CloseAttempts(never), 2) << "the second pause is longer";
  clock->Advance(std::chrono::seconds(1));
  Pass(*scanner, 1);
  EXPECT_EQ(desktop->CloseAttempts(never), 3);
  EXPECT_EQ(host.lines.size(), 2u);
  EXPECT_EQ(host.alarms, 2);
}

TEST_F(ScannerTest, AFreshPopupGetsAClosingThreadHoweverManyOlderWindowsHang) {
  // Forty fitting windows that never answer: their closes hold every kept closing thread and fill
  // the bound of pending closes.
  std::vector<WindowHandle> hung;
  for (int i = 0; i < 40; ++i) {
    hung.push_back(Browser("IEFrame", "Hung ad " + std::to_string(i)));
    desktop->HoldClose(hung.back());
  }
  auto scanner = MakeScanner();
  scanner->SetRules("*ad*");
  Probe::RunPass(*scanner);
  Probe::RunPass(*scanner);
  const int triedBefore = desktop->CloseCalls();
  EXPECT_LE(triedBefore, 16) << "pending closes are bounded";

  // A popup made now, announced and then seen by a pass, is closed while they all still hang.
  const WindowHandle announced = Browser("IEFrame", "Fresh ad");
  scanner->Notice(announced);
  Probe::JudgeNoticed(*scanner);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !desktop->Exists(announced) && host.lines.size() == 1; }));
  const WindowHandle walked = Browser("IEFrame", "Another fresh ad");
  Probe::RunPass(*scanner);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !desktop->Exists(walked) && host.lines.size() == 2; }));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: Fresh ad (*ad*)",
                                                  "Popup Killed: Another fresh ad (*ad*)"}));
  for (WindowHandle window : hung) EXPECT_LE(desktop->CloseAttempts(window), 1);
}

TEST_F(ScannerTest, AWindowThatTakesTheCommandButStaysIsReportedOnceUntilItIsGone) {
  WindowRecord record{"IEFrame", "Leave this page?"};
  record.staysOpen = true;
  const WindowHandle stays = desktop->Add(record);
  auto scanner = MakeScanner();
  scanner->SetRules("leave*");
  for (int i = 0; i < 5; ++i) {
    Pass(*scanner, 1);
  }
  EXPECT_EQ(desktop->CloseAttempts(stays), 5) << "it is still asked to close";
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: Leave this page? (leave*)"}));
  EXPECT_EQ(host.alarms, 1);

  // It gives in at last: nothing more is reported for it, a new popup is reported as usual.
  desktop->Edit(stays, [](WindowRecord& r) { r.staysOpen = false; });
  Pass(*scanner, 1);
  EXPECT_FALSE(desktop->Exists(stays));
  const WindowHandle next = Browser("IEFrame", "Leave now");
  Pass(*scanner, 1);
  EXPECT_FALSE(desktop->Exists(next));
  EXPECT_EQ(host.lines.size(), 2u);
}

TEST_F(ScannerTest, KillReportsArePostedSoThePassNeverWaitsForTheMainThread) {
  for (int i = 0; i < 3; ++i) Browser("IEFrame", "Ad " + std::to_string(i));
  auto scanner = MakeScanner();
  scanner->SetRules("ad *");
  // The pass runs off the main thread, which is not pumped until the pass is over.
  std::thread pass([&] { Probe::RunPass(*scanner); });
  pass.join();
  EXPECT_TRUE(host.lines.empty());
  // On a busy machine a close may outlast the scanner's wait and be reported by its worker, later.
  ASSERT_TRUE(mainThread->PumpUntil([&] { return host.lines.size() == 3; }));
  std::sort(host.lines.begin(), host.lines.end());
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: Ad 0 (ad *)", "Popup Killed: Ad 1 (ad *)",
                                                  "Popup Killed: Ad 2 (ad *)"}));
}

TEST_F(ScannerTest, AFailingPassCostsThatPassOnly) {
  const WindowHandle popup = Browser("IEFrame", "popup");
  std::atomic<int> walks{0};
  desktop->onWalk = [&] {
    if (++walks <= 2) throw std::runtime_error("window vanished mid-read");
  };
  auto scanner = MakeScanner();
  scanner->SetRules("popup");
  const unsigned long droppedBefore = DroppedFailures();
  scanner->Start();
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !desktop->Exists(popup); }));
  EXPECT_GE(DroppedFailures() - droppedBefore, 2u);
  EXPECT_FALSE(scanner->Finished());
  scanner->Terminate();
  ASSERT_TRUE(mainThread->PumpUntil([&] { return scanner->Finished(); }));
}

TEST_F(ScannerTest, NestedContainersAreSearchedOncePerPass) {
  // Twenty AOL containers inside each other, a popup at the bottom: each container's search holds
  // every container below it, which used to be searched again: 2^19 searches a pass.
  WindowHandle parent = Browser("AOL Frame25", "AOL");
  for (int depth = 1; depth < 20; ++depth) parent = desktop->AddChild(parent, WindowRecord{"_AOL_Static", "static"});
  const WindowHandle popup = desktop->AddChild(parent, WindowRecord{"AOL Child", "Ad"});
  auto scanner = MakeScanner(true, false, false);
  scanner->SetRules("ad");
  Pass(*scanner, 1);
  EXPECT_FALSE(desktop->Exists(popup));
  EXPECT_LE(desktop->Searches(), 20);
  EXPECT_EQ(host.lines.size(), 1u);
}

TEST_F(ScannerTest, AnnouncedWindowsAreJudgedAtOnceByTheDecisionOfAPass) {
  const WindowHandle ruled = Browser("IEFrame", "Casino Night");
  const WindowHandle small = Browser("IEFrame", "Small", 400, 150);
  const WindowHandle kept = Browser("IEFrame", "News");
  const WindowHandle other = desktop->Add("Notepad", "casino.txt");
  const WindowHandle container = Browser("TfrmAvantBrowser", "Avant");
  const WindowHandle inner = desktop->AddChild(container, WindowRecord{"TfrmPage", "Casino tab"});
  const WindowHandle unannounced = Browser("IEFrame", "Casino too");
  auto scanner = MakeScanner();
  SetAgressive(*scanner, true);
  scanner->SetRules("casino*");
  for (WindowHandle w : {ruled, small, kept, other, container, ruled}) scanner->Notice(w);
  EXPECT_TRUE(sleeper->Sleep(0)) << "a burst wakes the scanner";
  EXPECT_FALSE(sleeper->Sleep(0)) << "once";

  Probe::JudgeNoticed(*scanner);
  Settle(3);
  ASSERT_EQ(host.lines.size(), 3u);
  EXPECT_FALSE(desktop->Exists(ruled));
  EXPECT_FALSE(desktop->Exists(small));
  EXPECT_FALSE(desktop->Exists(inner)) << "a container's descendants are searched";
  EXPECT_TRUE(desktop->Exists(kept) && desktop->Exists(other) && desktop->Exists(container));
  EXPECT_TRUE(desktop->Exists(unannounced)) << "only what was announced; the pass sees the rest";
  EXPECT_EQ(desktop->Walks(), 0);
  EXPECT_EQ(desktop->CloseAttempts(ruled), 1) << "announced twice, judged once";

  // Paused by Ctrl: nothing is judged; the windows are left to the pass after the pause.
  const WindowHandle later = Browser("IEFrame", "Casino later");
  desktop->SetCtrlDown(true);
  scanner->Notice(later);
  Probe::JudgeNoticed(*scanner);
  mainThread->Pump();
  EXPECT_TRUE(desktop->Exists(later));
  desktop->SetCtrlDown(false);
  Pass(*scanner, 2);
  EXPECT_FALSE(desktop->Exists(later));
  EXPECT_FALSE(desktop->Exists(unannounced));
}

TEST_F(ScannerTest, AFloodOfAnnouncedWindowsIsJudgedWithinABudgetAndThePassTakesTheRest) {
  // Every judging reads its window's title once: the reads count the windows judged. The clock
  // stands still: one second's budget.
  std::vector<WindowHandle> flood;
  for (std::uint32_t i = 0; i < 120; ++i) {
    WindowRecord record{"Chrome_WidgetWin_1", "Flood " + std::to_string(i)};
    record.processId = 1000 + i;
    desktop->SetProgram(record.processId, "C:\\Chrome\\chrome.exe");
    flood.push_back(desktop->Add(record));
  }
  auto scanner = MakeScanner();
  options.families.chromium = true;
  scanner->SetDetection(options);
  scanner->SetRules("nothing");
  for (WindowHandle w : flood) scanner->Notice(w);
  Probe::JudgeNoticed(*scanner);
  Probe::JudgeNoticed(*scanner);
  EXPECT_EQ(desktop->TitleReads(), 50) << "a second's budget of event judgings";
  Pass(*scanner, 0);
  EXPECT_EQ(desktop->TitleReads(), 50 + 120) << "the pass judges every window";
  // The pass took what was announced: nothing is left to judge, though the budget is new.
  clock->Advance(std::chrono::seconds(1));
  Probe::JudgeNoticed(*scanner);
  EXPECT_EQ(desktop->TitleReads(), 50 + 120);

  // Now they fit: the running scanner's passes close each of them once, however many closes a
  // busy machine leaves pending at the end of a pass for the next one.
  scanner->SetRules("flood*");
  scanner->Start();
  // Its checks are posted too: the reports, not the posts, count the closes that ended.
  ASSERT_TRUE(mainThread->PumpUntil([&] {
    return desktop->Closed().size() == flood.size() && host.lines.size() == flood.size();
  }));
  scanner->Terminate();
  ASSERT_TRUE(mainThread->PumpUntil([&] { return scanner->Finished(); }));
  mainThread->Pump();
  EXPECT_EQ(host.lines.size(), flood.size());
  EXPECT_EQ(desktop->CloseCalls(), static_cast<int>(flood.size()));
}

TEST_F(ScannerTest, TheExplorerLimitIsEnforcedByPassesOnlyNeverByEvents) {
  // A frame renamed again and again must not turn each of its events into a walk of the desktop.
  std::vector<WindowHandle> frames;
  for (int i = 0; i < 3; ++i) frames.push_back(Browser("IEFrame", "Frame " + std::to_string(i)));
  options.explorerLimit = 2;
  auto scanner = MakeScanner();
  for (int rename = 0; rename < 60; ++rename) {
    scanner->Notice(frames[2]);
    Probe::JudgeNoticed(*scanner);
  }
  mainThread->Pump();
  EXPECT_EQ(desktop->Walks(), 0);
  EXPECT_TRUE(desktop->Closed().empty());
  // The next pass closes the frame over the limit.
  Pass(*scanner, 1);
  EXPECT_EQ(desktop->Closed(), std::vector<WindowHandle>{frames[0]});
  EXPECT_EQ(host.lines, std::vector<std::string>{"Popup Killed: Frame 0 (Explorer limit)"});
}

TEST_F(ScannerTest, AWindowClosedOnTheEventPathIsReportedAgainWhenItsHandleIsReused) {
  const WindowHandle popup = Browser("IEFrame", "Ad one");
  auto scanner = MakeScanner();
  scanner->SetRules("ad*");
  Pass(*scanner, 1);
  ASSERT_FALSE(desktop->Exists(popup));
  // No pass between: the system gives a new popup the same handle and announces it.
  desktop->Reuse(popup, WindowRecord{"IEFrame", "Ad two"});
  scanner->Notice(popup);
  Probe::JudgeNoticed(*scanner);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return host.lines.size() == 2; }));
  EXPECT_FALSE(desktop->Exists(popup));
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Popup Killed: Ad one (ad*)", "Popup Killed: Ad two (ad*)"}));
  EXPECT_EQ(host.alarms, 2);
}

TEST_F(ScannerTest, AnEventWakesTheRunningScannerOutOfItsSleep) {
  auto scanner = Running("wake*");
  ASSERT_TRUE(mainThread->PumpUntil([&] { return checks >= 1; }));
  const WindowHandle popup = Browser("IEFrame", "Wake up");
  scanner->Notice(popup);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !desktop->Exists(popup); }));
  scanner->OnCheck = nullptr;
  scanner->Terminate();
  ASSERT_TRUE(mainThread->PumpUntil([&] { return scanner->Finished(); }));
}

TEST(ScannerEvents, WakesRacingTerminationAndRuleSwapsAreSafe) {
  // Real waits: the scanner sleeps on a condition that the notices end.
  auto desktop = std::make_shared<FakeDesktop>();
  auto mainThread = std::make_shared<FakeMainThread>();
  for (int i = 0; i < 20; ++i) desktop->Add("IEFrame", "page " + std::to_string(i));
  for (int round = 0; round < 5; ++round) {
    auto scanner = TSPopupThread::Create(
        ScannerServices{desktop, mainThread, std::make_shared<SystemSleeper>(), nullptr, nullptr});
    DetectionOptions explorer;
    explorer.families.explorer = true;
    scanner->SetDetection(explorer);
    scanner->SetRules("nothing");
    scanner->Start();
    std::atomic<bool> stop{false};
    std::thread notices([&] {
      for (WindowHandle w = 0x100; !stop; w = w == 0x120 ? 0x100 : w + 1) scanner->Notice(w);
    });
    std::thread rules([&] {
      for (int i = 0; !stop; ++i) scanner->SetRules(i % 2 ? "a*" : "b*");
    });
    mainThread->PumpUntil([] { return false; }, std::chrono::milliseconds(50));
    scanner->Terminate();
    EXPECT_TRUE(mainThread->PumpUntil([&] { return scanner->Finished(); }));
    stop = true;
    notices.join();
    rules.join();
  }
  EXPECT_TRUE(desktop->Closed().empty());
}

TEST_F(ScannerTest, AWindowMetBeforeCostsNoClassOrProcessReadYetEachPassJudgesItAnew) {
  desktop->SetProgram(5, "C:\\Apps\\edit.exe");
  desktop->SetProgram(6, "C:\\Apps\\nag.exe");
  const auto window = [](const char* cls, const char* title, std::uint32_t process) {
    WindowRecord record{cls, title};
    record.processId = process;
    return record;
  };
  const WindowHandle note = desktop->Add(window("Notepad", "Notes", 5));
  const WindowHandle nag = desktop->Add(window("#32770", "About", 6));
  const WindowHandle ie = desktop->Add(window("IEFrame", "News", 5));
  auto scanner = MakeScanner();
  scanner->SetRules("casino*");
  std::string fault;
  scanner->SetWindowRules(std::make_shared<const std::vector<WindowRule>>(
      std::vector<WindowRule>{*CompileWindowRule({"nag.exe", "#32770", "licence*", "close", ""}, fault)}));
  Pass(*scanner, 0);

  struct Step {
    const char* what;
    std::function<void()> change;
    // The window the pass closes; 0 for none, when no class, process or process start may be read
    // again.
    WindowHandle closed;
  };
  const Step steps[] = {
      {"the same windows again", [] {}, 0},
      {"a browser window renamed to fit a title rule",
       [&] { desktop->Edit(ie, [](WindowRecord& r) { r.title = "Casino"; }); }, ie},
      {"a dialog renamed to fit a window rule",
       [&] { desktop->Edit(nag, [](WindowRecord& r) { r.title = "Licence terms"; }); }, nag},
      // Closed in the last pass, so that pass met the handle: only the event tells it names another.
      {"a handle given to a new window of another class and announced",
       [&] {
         desktop->Reuse(nag, window("IEFrame", "Casino two", 5));
         scanner->Forget(nag);
       },
       nag},
      // Closed two passes ago: the passes since did not meet it, so it is read anew unannounced.
      {"a handle no pass has met since, given to a new window", [&] { desktop->Reuse(ie, window("#32770", "Licence again", 6)); },
       ie},
  };
  for (const Step& step : steps) {
    const int reads = desktop->IdentityReads();
    step.change();
    Pass(*scanner, step.closed != 0 ? 1 : 0);
    if (step.closed == 0) {
      EXPECT_EQ(desktop->IdentityReads(), reads) << step.what;
    } else {
      EXPECT_FALSE(desktop->Exists(step.closed)) << step.what;
    }
    EXPECT_TRUE(desktop->Exists(note)) << step.what;
  }
}
