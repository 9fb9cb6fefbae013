// The scanner over the real desktop: browser-class windows of another process, closed or kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

#include "Win32TestSupport.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "platform/win32/Win32WindowEvents.h"
#include "popups/ClassPopupsThread.h"
#include "tests/fakes/Probe.h"

using namespace zorvex;
using namespace zorvex::testing;

namespace {

class RecordingHost : public IKillHost {
 public:
  void PlayAlarm() override {}
  void WriteLog(const std::string& line) override {
    lines.push_back(line);
    threads.push_back(::GetCurrentThreadId());
  }
  std::vector<std::string> lines;
  std::vector<DWORD> threads;
};

// The real desktop, counting the close commands it is asked to send.
class CountingDesktop : public win32::Win32Desktop {
 public:
  bool Close(WindowHandle window) override {
    ++closes;
    return win32::Win32Desktop::Close(window);
  }
  std::atomic<int> closes{0};
};

// The real hand-over, counting the work posted to it: the scanner posts one item for every close
// once it has ended, a kill report or nothing.
class CountingMainThread : public win32::Win32MainThread {
 public:
  bool Post(std::function<void()> fn) override {
    const bool queued = win32::Win32MainThread::Post(std::move(fn));
    if (queued) ++posts;
    return queued;
  }
  std::atomic<int> posts{0};
};

// A scanner over the real desktop that reports to host on this (the main) thread. Its hand-over
// ends with the rig, so that a close still finishing on its worker never reports to a host that
// is gone, as the engine ends it before it goes.
struct RealScanner {
  RealScanner() {
    scanner = TSPopupThread::Create(ScannerServices{desktop, mainThread, std::make_shared<SystemSleeper>(), &host, nullptr});
    Watch();
  }
  ~RealScanner() {
    Settle(0);
    mainThread->End();
  }
  RealScanner(const RealScanner&) = delete;
  RealScanner& operator=(const RealScanner&) = delete;
  TSPopupThread* operator->() const { return scanner.get(); }
  // Hands options to the scanner.
  void Watch() { scanner->SetDetection(options); }

  // A pass that sends closes close commands, then each of them finished and reported: on a busy
  // machine a window may take longer than the scanner waits, or its close not even have begun,
  // and its worker finishes the close. The pass runs off this thread, as the scanner's does in the
  // program, so that this thread keeps handling what the closing windows' programs send it
  // meanwhile.
  void Pass(int closes) {
    std::atomic<bool> done{false};
    std::thread pass([&] {
      Probe::RunPass(*scanner);
      done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }, std::chrono::seconds(30)));
    pass.join();
    Settle(closes);
  }
  // Waits for closes more close commands than so far to be sent and end. A close handed to a
  // closing thread that has not run yet is counted nowhere: the test says how many to wait for.
  void Settle(int closes) {
    sent += closes;
    EXPECT_TRUE(PumpUntil([&] { return desktop->closes == sent && mainThread->posts == sent; }, std::chrono::seconds(30)))
        << desktop->closes << " close commands, " << sent << " expected";
    // Reports are posted before a close stops pending: they are in the queue now.
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
  }

  DetectionOptions options{BrowserFamilies{true, true, true, false}, false};
  std::shared_ptr<CountingDesktop> desktop = std::make_shared<CountingDesktop>();
  RecordingHost host;
  std::shared_ptr<CountingMainThread> mainThread = std::make_shared<CountingMainThread>();
  std::shared_ptr<TSPopupThread> scanner;
  // Close commands expected so far.
  int sent = 0;
};

}  // namespace

TEST(ScannerWin32, ClosesExactlyThePopupsOfAnotherProcess) {
  ChildProcess helper = OpenHelperWindows({
      "IEFrame|Casino Night|800|600|v",
      "IEFrame|Small ad|400|150|v",
      "MozillaWindowClass|Square|225|225|v",
      "IEFrame|Hidden Casino|400|150|h",
      "IEFrame|Hidden small|400|150|h",
      "IEFrame|Minimised small|400|150|m",
      "IEFrame|Daily news|900|700|v",
      "Opera Main Window|Opera|900|700|v",
      "Plain|Inner|800|600|v|7",
      "BrowserWindowMDI|Ad banner popup|800|600|v|8",
      "ToolWindowClass|Casino|400|150|v",
      "AOL Child|aol page|400|150|v",
  });
  ASSERT_EQ(TopLevelWindowsOf(helper.Id()).size(), 10u);
  std::map<std::string, HWND> w;
  for (const char* title : {"Casino Night", "Small ad", "Square", "Hidden Casino", "Hidden small", "Minimised small",
                            "Daily news", "Opera", "Ad banner popup", "Casino", "aol page"}) {
    w[title] = FindWindowOf(helper.Id(), title);
    ASSERT_NE(w[title], nullptr) << title;
  }
  ASSERT_TRUE(::IsIconic(w["Minimised small"]));

  RealScanner scanner;
  RecordingHost& host = scanner.host;
  scanner.options.agressive = true;
  scanner.Watch();
  scanner->SetRules("*casino*\r\nad banner*\r\n");
  scanner.Pass(5);

  for (const char* closed : {"Casino Night", "Small ad", "Square", "Hidden Casino", "Ad banner popup"})
    EXPECT_FALSE(::IsWindow(w[closed])) << closed << " should be closed";
  for (const char* kept : {"Hidden small", "Minimised small", "Daily news", "Opera", "Casino", "aol page"})
    EXPECT_TRUE(::IsWindow(w[kept])) << kept << " should stay";

  std::vector<std::string> expected = {"Popup Killed: Casino Night (*casino*)", "Popup Killed: Small ad (Heuristic)",
                                       "Popup Killed: Square (Heuristic)", "Popup Killed: Hidden Casino (*casino*)",
                                       "Popup Killed: Ad banner popup (ad banner*)"};
  std::vector<std::string> lines = host.lines;
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);
}

TEST(ScannerWin32, ExplorerLimitKeepsTheLowestFrames) {
  ChildProcess helper = OpenHelperWindows({"IEFrame|Frame A|800|600|v", "IEFrame|Frame B|800|600|v",
                                           "CabinetWClass|Folder C|800|600|v", "IEFrame|Frame D|800|600|v"});
  // The window system may still be stacking the new windows; wait until the order holds still.
  std::vector<HWND> zOrder = TopLevelWindowsOf(helper.Id());
  for (int stable = 0; stable < 3;) {
    ::Sleep(100);
    const std::vector<HWND> now = TopLevelWindowsOf(helper.Id());
    stable = now == zOrder ? stable + 1 : 0;
    zOrder = now;
  }
  ASSERT_EQ(zOrder.size(), 4u);
  RealScanner scanner;
  RecordingHost& host = scanner.host;
  scanner.options.explorerLimit = 2;
  scanner.Watch();
  scanner.Pass(2);
  EXPECT_FALSE(::IsWindow(zOrder[0]));
  EXPECT_FALSE(::IsWindow(zOrder[1]));
  EXPECT_TRUE(::IsWindow(zOrder[2]));
  EXPECT_TRUE(::IsWindow(zOrder[3]));
  ASSERT_EQ(host.lines.size(), 2u);
  EXPECT_NE(host.lines[0].find("(Explorer limit)"), std::string::npos) << host.lines[0];
}

TEST(ScannerWin32, RunningScannerReportsOnTheMainThreadAndStops) {
  ChildProcess helper = OpenHelperWindows({"IEFrame|Later popup|800|600|v"});
  const HWND popup = FindWindowOf(helper.Id(), "Later popup");
  ASSERT_NE(popup, nullptr);
  // Not the rig of the passes: a running scanner posts its checks beside its reports, so the
  // posts do not count the closes.
  RecordingHost host;
  auto desktop = std::make_shared<CountingDesktop>();
  auto mainThread = std::make_shared<win32::Win32MainThread>();
  auto scanner = TSPopupThread::Create(ScannerServices{desktop, mainThread, std::make_shared<SystemSleeper>(), &host, nullptr});
  scanner->SetDetection(DetectionOptions{BrowserFamilies{true, true, true, false}, false});
  int checks = 0;
  scanner->OnCheck = [&] { ++checks; };
  scanner->SetRules("");
  scanner->Start();
  // A rule that arrives while the thread runs is taken up by a later pass.
  scanner->SetRules("later popup");
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(popup) && !host.lines.empty(); }, std::chrono::seconds(30)));
  EXPECT_TRUE(PumpUntil([&] { return checks >= 2; }));
  ASSERT_EQ(host.threads.size(), 1u);
  EXPECT_EQ(host.threads[0], ::GetCurrentThreadId());

  scanner->OnCheck = nullptr;
  scanner->Terminate();
  EXPECT_TRUE(PumpUntil([&] { return scanner->WaitFor(std::chrono::milliseconds(0)); }, std::chrono::seconds(3)));
  EXPECT_EQ(desktop->closes, 1);
  EXPECT_EQ(host.lines.size(), 1u);
  // As the engine does at its end: nothing posted later reaches the host, which goes now.
  mainThread->End();
}

TEST(ScannerWin32, MainThreadHandOverNeverWaitsOnAnEndedLoop) {
  auto mainThread = std::make_shared<win32::Win32MainThread>();
  // At exit, with no message loop: the work waited for and posted runs in order, also what comes
  // while it runs, until nothing more can come.
  std::vector<int> order;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    mainThread->Post([&] { order.push_back(1); });
    mainThread->Run([&] { order.push_back(2); });
    mainThread->Post([&] { order.push_back(3); });
    finished = true;
  });
  EXPECT_TRUE(mainThread->RunUntil([&] { return finished.load(); }, std::chrono::seconds(20)));
  worker.join();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_FALSE(mainThread->RunUntil([] { return false; }, std::chrono::milliseconds(20)));

  std::atomic<int> result{-1};
  std::thread caller([&] { result = mainThread->Run([] {}) ? 1 : 0; });
  // Nobody pumps: End() must release the waiting caller without running its work.
  ::Sleep(100);
  mainThread->End();
  caller.join();
  EXPECT_EQ(result, 0);
  std::thread late([&] { result = mainThread->Run([] {}) ? 1 : 0; });
  late.join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(mainThread->Post([] {}));
}

TEST(ScannerWin32, PostedWorkRunsInOrderOnTheMainThreadUnlessTheLoopHasEnded) {
  auto mainThread = std::make_shared<win32::Win32MainThread>();
  std::vector<int> ran;
  std::vector<DWORD> threads;
  std::thread poster([&] {
    for (int i = 0; i < 50; ++i) {
      mainThread->Post([&, i] {
        ran.push_back(i);
        threads.push_back(::GetCurrentThreadId());
      });
    }
  });
  poster.join();  // posting never waits for the main thread
  EXPECT_TRUE(ran.empty());
  ASSERT_TRUE(PumpUntil([&] { return ran.size() == 50; }));
  for (int i = 0; i < 50; ++i) EXPECT_EQ(ran[i], i);
  EXPECT_EQ(std::count(threads.begin(), threads.end(), ::GetCurrentThreadId()), 50);

  // Work still queued when the loop ends is dropped, not run later.
  mainThread->Post([&] { ran.push_back(-1); });
  mainThread->End();
  PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_EQ(ran.size(), 50u);
}

TEST(ScannerWin32, TodaysBrowsersAreToldApartByTheirProgramAndOnlyTheirOrdinaryWindowsAreClosed) {
  // One helper under three names: two browsers and an editor built on the same engine.
  const char* const names[] = {"chrome.exe", "msedge.exe", "code.exe"};
  for (const char* name : names) {
    ASSERT_TRUE(::CopyFileA((ProgramFolder() + "popup_windows.exe").c_str(), (ProgramFolder() + name).c_str(), FALSE));
  }
  struct Removed {
    const char* const* names;
    ~Removed() {
      for (int i = 0; i < 3; ++i) ::DeleteFileA((ProgramFolder() + names[i]).c_str());
    }
  } removed{names};
  const std::string windows =
      " \"Chrome_WidgetWin_1|Casino Page|900|700|v\" \"Chrome_WidgetWin_1|Small ad|400|150|v\""
      " \"Chrome_WidgetWin_1|News|900|700|v\" \"Chrome_WidgetWin_1|Casino tool|400|150|vt\""
      " \"Chrome_WidgetWin_1|Casino owned|400|150|vo|2\" \"Chrome_WidgetWin_1||400|150|v\"";
  std::vector<ChildProcess> programs;
  for (const char* name : names) programs.push_back(StartHelper(name, windows));
  for (const ChildProcess& p : programs) ASSERT_EQ(TopLevelWindowsOf(p.Id()).size(), 6u);
  auto untitled = [](DWORD process) {
    for (HWND w : TopLevelWindowsOf(process))
      if (TextOf(w).empty()) return w;
    return HWND{};
  };
  std::vector<HWND> blank;
  for (const ChildProcess& p : programs) blank.push_back(untitled(p.Id()));

  RealScanner scanner;
  RecordingHost& host = scanner.host;
  scanner.options = DetectionOptions{BrowserFamilies{false, false, false, true}, true};
  scanner.Watch();
  scanner->SetRules("*casino*");
  scanner.Pass(4);

  for (int i = 0; i < 3; ++i) {
    const bool browser = i < 2;
    const DWORD id = programs[i].Id();
    EXPECT_EQ(FindWindowOf(id, "Casino Page") == nullptr, browser) << names[i] << ": closed by rule";
    EXPECT_EQ(FindWindowOf(id, "Small ad") == nullptr, browser) << names[i] << ": closed by size";
    for (const char* kept : {"News", "Casino tool", "Casino owned"})
      EXPECT_NE(FindWindowOf(id, kept), nullptr) << names[i] << ": " << kept << " should stay";
    EXPECT_TRUE(::IsWindow(blank[i])) << names[i] << ": the untitled window should stay";
  }
  std::vector<std::string> lines = host.lines;
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"Popup Killed: Casino Page (*casino*)", "Popup Killed: Casino Page (*casino*)",
                                             "Popup Killed: Small ad (Heuristic)", "Popup Killed: Small ad (Heuristic)"}));

  // With the family switched off nothing of it is closed.
  scanner.options.families.chromium = false;
  scanner.Watch();
  ChildProcess later = StartHelper("chrome.exe", " \"Chrome_WidgetWin_1|Casino later|900|700|v\"");
  scanner.Pass(0);
  EXPECT_NE(FindWindowOf(later.Id(), "Casino later"), nullptr);
}

TEST(ScannerWin32, WindowEventsAnnounceAnotherProgramsNewWindowsByTheirTopLevelWindow) {
  win32::Win32WindowEvents events;
  std::vector<HWND> announced;
  std::vector<HWND> made;
  ASSERT_TRUE(events.Start([&](WindowHandle w, WindowEvent event) {
    if (event != WindowEvent::Gone) announced.push_back(reinterpret_cast<HWND>(w));
    if (event == WindowEvent::Made) made.push_back(reinterpret_cast<HWND>(w));
  }));
  win32::Win32WindowEvents second;
  EXPECT_FALSE(second.Start([](WindowHandle, WindowEvent) {})) << "one listener at a time";

  ChildProcess helper = OpenHelperWindows({"IEFrame|Announced|800|600|v", "Plain|Inner|100|100|v|0"});
  const HWND top = FindWindowOf(helper.Id(), "Announced");
  const HWND inner = FindWindowOf(helper.Id(), "Inner");
  ASSERT_NE(top, nullptr);
  ASSERT_NE(inner, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return std::count(announced.begin(), announced.end(), top) > 0; }));
  EXPECT_EQ(std::count(announced.begin(), announced.end(), inner), 0) << "a child is announced as its top-level window";
  // Made anew, so that a handle a gone window had counts as new; its child's making is no new window.
  EXPECT_EQ(std::count(made.begin(), made.end(), top), 1);
  EXPECT_EQ(std::count(made.begin(), made.end(), inner), 0);

  // Stopped: nothing more arrives.
  events.Stop();
  announced.clear();
  ChildProcess later = OpenHelperWindows({"IEFrame|Unheard|800|600|v"});
  PumpUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_TRUE(announced.empty());
  EXPECT_TRUE(second.Start([](WindowHandle, WindowEvent) {})) << "free for another listener";
}

TEST(ScannerWin32, TitlesInEveryScriptAreClosedByRulesWrittenInTheirOwnScript) {
  std::vector<std::string> windows;
  std::string rules;
  for (const ScriptTitle& t : ScriptTitles()) {
    windows.push_back(std::string("IEFrame|") + t.title + "|900|700|v");
    rules += std::string(t.rule) + "\r\n";
  }
  // Near misses: another Cyrillic title, and the browser's name with a plain space.
  const char* const kept[] = {"Новости дня", "New Tab - Microsoft Edge"};
  for (const char* title : kept) windows.push_back(std::string("MozillaWindowClass|") + title + "|900|700|v");
  ChildProcess helper = OpenHelperWindows(windows);
  std::map<std::string, HWND> w;
  for (const ScriptTitle& t : ScriptTitles()) ASSERT_NE(w[t.title] = FindWindowOf(helper.Id(), t.title), nullptr) << t.script;
  for (const char* title : kept) ASSERT_NE(w[title] = FindWindowOf(helper.Id(), title), nullptr) << title;

  RealScanner scanner;
  scanner->SetRules(rules);
  scanner.Pass(static_cast<int>(ScriptTitles().size()));

  std::vector<std::string> expected;
  for (const ScriptTitle& t : ScriptTitles()) {
    EXPECT_FALSE(::IsWindow(w[t.title])) << t.script << " title should be closed";
    expected.push_back(std::string("Popup Killed: ") + t.title + " (" + t.rule + ")");
  }
  for (const char* title : kept) EXPECT_TRUE(::IsWindow(w[title])) << title << " should stay";
  std::vector<std::string> lines = scanner.host.lines;
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);
}

TEST(ScannerWin32, ARuleInUpperCaseFitsALowerCaseCyrillicTitle) {
  ChildProcess helper = OpenHelperWindows({"IEFrame|казино рояль|900|700|v", "IEFrame|новости дня|900|700|v"});
  const HWND casino = FindWindowOf(helper.Id(), "казино рояль");
  const HWND news = FindWindowOf(helper.Id(), "новости дня");
  ASSERT_NE(casino, nullptr);
  ASSERT_NE(news, nullptr);
  RealScanner scanner;
  scanner->SetRules("*КАЗИНО*\r\n");
  scanner.Pass(1);
  EXPECT_FALSE(::IsWindow(casino)) << "the upper-case rule should fit the lower-case title";
  EXPECT_TRUE(::IsWindow(news));
  ASSERT_EQ(scanner.host.lines.size(), 1u);
  EXPECT_EQ(scanner.host.lines[0].rfind("Popup Killed: казино рояль (", 0), 0u) << scanner.host.lines[0];
}
