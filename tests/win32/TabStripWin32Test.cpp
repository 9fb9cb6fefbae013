// Today's browsers under Wine: a helper browser of another process shows its tabs through its own
// accessibility tree; the strip is read over MSAA, and the scanner closes a tab, not the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "Win32TestSupport.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "platform/win32/Win32TabStrip.h"
#include "popups/ClassPopupsThread.h"
#include "tests/fakes/Probe.h"

using namespace zorvex;
using namespace zorvex::testing;

namespace {

const char* const kChromeClass = "--class=Chrome_WidgetWin_1";
const char* const kFirefoxClass = "--class=MozillaWindowClass";

class RecordingHost : public IKillHost {
 public:
  void PlayAlarm() override { ++alarms; }
  void WriteLog(const std::string& line) override { lines.push_back(line); }
  int alarms = 0;
  std::vector<std::string> lines;
};

// What reading a window's strip gave, read on a thread entered for reading, as the closer's are.
struct StripSeen {
  TabStripState state = TabStripState::Error;
  std::vector<PageTab> tabs;
  bool closed = false;
};

// A window that is slow to answer on a loaded machine is given long; a hung one the program's time.
StripSeen ReadStrip(HWND window, bool closeFront = false, unsigned answerMs = 30000) {
  StripSeen seen;
  std::thread reader([&] {
    win32::Win32TabStrips strips(answerMs);
    const std::shared_ptr<void> entered = strips.EnterThread();
    ReadWatch watch;
    TabStripRead read = strips.Read(win32::FromHwnd(window), watch);
    seen.state = read.state;
    if (!read.strip) return;
    seen.tabs = read.strip->Tabs();
    if (!closeFront) return;
    for (std::size_t i = 0; i < seen.tabs.size(); ++i) {
      if (seen.tabs[i].selected) seen.closed = read.strip->CloseTab(i);
    }
  });
  // The browser's answers come through messages to its own thread, not this one; still, keep
  // this thread's messages going as a program's main thread does.
  PumpUntil([&] { return false; }, std::chrono::milliseconds(0));
  reader.join();
  return seen;
}

// The real hand-over, counting the work posted to it: the scanner posts one item for every close
// once it has ended, whether it closed a window, a tab or nothing.
class CountingMainThread : public win32::Win32MainThread {
 public:
  bool Post(std::function<void()> fn) override {
    const bool queued = win32::Win32MainThread::Post(std::move(fn));
    if (queued) ++posts;
    return queued;
  }
  std::atomic<int> posts{0};
};

// A scanner over the real desktop that reads strips, reporting to host on this thread.
// Its reads are given as long as a loaded machine takes (a core shared with busy loops and other
// Wine sessions), unless the test is about giving up.
struct TabScanner {
  explicit TabScanner(std::chrono::milliseconds readBound = std::chrono::seconds(60)) {
    ScannerServices services{std::make_shared<win32::Win32Desktop>(), mainThread, std::make_shared<SystemSleeper>(),
                             &host, nullptr, std::make_shared<win32::Win32TabStrips>(30000)};
    services.tabReadBound = readBound;
    scanner = TSPopupThread::Create(services);
    Watch();
  }
  ~TabScanner() {
    Settle();
    mainThread->End();
  }
  TabScanner(const TabScanner&) = delete;
  TabScanner& operator=(const TabScanner&) = delete;
  TSPopupThread* operator->() const { return scanner.get(); }
  void Watch() { scanner->SetDetection(options); }

  // One pass off this thread, as the program runs it; true when it came back. Records what had
  // ended of the closes when it did.
  bool PassOnly() {
    std::atomic<bool> done{false};
    std::thread pass([&] {
      Probe::RunPass(*scanner);
      endedAtReturn = mainThread->posts;
      done = true;
    });
    const bool back = PumpUntil([&] { return done.load(); }, std::chrono::seconds(30));
    pass.join();
    return back;
  }
  // A pass that starts closes, for the windows a rule or the size test picks that have none
  // pending, and waits until they have ended and reported. A close handed to a closing thread
  // that has not begun shows nowhere yet, so the count comes from the test.
  void Pass(int closes) {
    started += closes;
    EXPECT_TRUE(PassOnly());
    Settle();
  }
  void Settle() {
    EXPECT_TRUE(PumpUntil([&] { return mainThread->posts >= started; }, std::chrono::seconds(60)))
        << started << " closes started, " << mainThread->posts << " ended";
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }

  DetectionOptions options{BrowserFamilies{false, true, true, true}, false};
  RecordingHost host;
  std::shared_ptr<CountingMainThread> mainThread = std::make_shared<CountingMainThread>();
  std::shared_ptr<TSPopupThread> scanner;
  // Closes started so far, and those ended when the last pass came back.
  int started = 0;
  int endedAtReturn = 0;
};

// The helper's arguments; the tab titles may hold blanks.
std::string Args(const char* cls, const char* mode, const std::string& tabs, const std::string& extra = "") {
  return std::string(cls) + " --mode=" + mode + " \"--tabs=" + tabs + "\" " + extra;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(TabStripWin32, TheStripOfAnotherProgramIsReadNestedInItsTreeWithoutEnteringThePage) {
  TabBrowser three = StartTabBrowser("chrome.exe", Args(kChromeClass, "tabs", "News|Casino|Mail", "--selected=1"));
  TabBrowser popup = StartTabBrowser("firefox.exe", Args(kFirefoxClass, "popup", "Offer"));
  TabBrowser one = StartTabBrowser("chrome.exe", Args(kChromeClass, "one", "Alone"));
  TabBrowser none = StartTabBrowser("chrome.exe", Args(kChromeClass, "none", "Bare"));
  ChildProcess hung = OpenHelperWindows({"Chrome_WidgetWin_1|Hung|900|700|v"}, "--hang=120000");
  for (HWND w : {three.window, popup.window, one.window, none.window}) ASSERT_NE(w, nullptr);
  const HWND hungWindow = FindWindowOf(hung.Id(), "Hung");
  ASSERT_NE(hungWindow, nullptr);

  const StripSeen seen = ReadStrip(three.window);
  ASSERT_EQ(seen.state, TabStripState::Read);
  ASSERT_EQ(seen.tabs.size(), 3u) << "the tab inside a group counts the same";
  EXPECT_EQ(seen.tabs[0].title, "News");
  EXPECT_EQ(seen.tabs[1].title, "Casino");
  EXPECT_EQ(seen.tabs[2].title, "Mail");
  for (const PageTab& tab : seen.tabs) EXPECT_TRUE(tab.visible) << tab.title;
  EXPECT_FALSE(seen.tabs[0].selected || seen.tabs[2].selected);
  EXPECT_TRUE(seen.tabs[1].selected);

  const StripSeen hidden = ReadStrip(popup.window);
  ASSERT_EQ(hidden.state, TabStripState::Read);
  ASSERT_EQ(hidden.tabs.size(), 1u);
  EXPECT_FALSE(hidden.tabs[0].visible) << "a popup's strip is hidden";
  const StripSeen single = ReadStrip(one.window);
  ASSERT_EQ(single.tabs.size(), 1u);
  EXPECT_TRUE(single.tabs[0].visible);
  EXPECT_EQ(ReadStrip(none.window).state, TabStripState::None);
  EXPECT_EQ(ReadStrip(hungWindow, false, 2000).state, TabStripState::Timeout) << "a hung window fails cleanly";

  // Pressing the front tab's close button takes that tab only, not its sound button's.
  const StripSeen pressed = ReadStrip(three.window, true);
  EXPECT_TRUE(pressed.closed);
  EXPECT_TRUE(PumpUntil([&] { return TextOf(three.window) == "Mail"; }));
  EXPECT_EQ(three.Log(), "lost tab: Casino\n");
  for (const TabBrowser* b : {&three, &popup, &one}) {
    EXPECT_EQ(b->Log().find("entered the page"), std::string::npos) << "the page is never walked";
  }
}

TEST(TabStripWin32, TheScannerClosesTheFrontTabOrThePopupAndLeavesTheMailProgram) {
  TabBrowser chrome = StartTabBrowser("chrome.exe", Args(kChromeClass, "tabs", "Casino Night|News|Mail"));
  TabBrowser firefox =
      StartTabBrowser("firefox.exe", Args(kFirefoxClass, "tabs", "Docs|Casino Royale|Forum", "--selected=1"));
  TabBrowser popup = StartTabBrowser("firefox.exe", Args(kFirefoxClass, "popup", "Casino popup"));
  TabBrowser single = StartTabBrowser("chrome.exe", Args(kChromeClass, "one", "Casino single"));
  TabBrowser bare = StartTabBrowser("chrome.exe", Args(kChromeClass, "none", "Casino bare"));
  TabBrowser mail = StartTabBrowser("thunderbird.exe", Args(kFirefoxClass, "tabs", "Casino offer - Inbox|Calendar"));
  TabBrowser small = StartTabBrowser("chrome.exe", Args(kChromeClass, "tabs", "Weather|Maps", "--size=400,150"));
  for (HWND w : {chrome.window, firefox.window, popup.window, single.window, bare.window, mail.window, small.window})
    ASSERT_NE(w, nullptr);

  TabScanner scanner;
  scanner.options.agressive = true;
  scanner.Watch();
  scanner->SetRules("*casino*");
  // Two front tabs, three popups, and the small window with tabs that is read and left.
  scanner.Pass(6);

  EXPECT_TRUE(::IsWindow(chrome.window));
  EXPECT_EQ(TextOf(chrome.window), "News") << "the window stays with its other tabs and its new title";
  EXPECT_EQ(chrome.Log(), "lost tab: Casino Night\n");
  EXPECT_TRUE(::IsWindow(firefox.window));
  EXPECT_EQ(TextOf(firefox.window), "Forum");
  EXPECT_EQ(firefox.Log(), "lost tab: Casino Royale\n");
  for (TabBrowser* closed : {&popup, &single, &bare}) {
    EXPECT_TRUE(closed->process.WaitForExit(10000)) << closed->logPath;
    EXPECT_EQ(Count(closed->Log(), "lost tab: "), 1u) << closed->logPath;
  }
  EXPECT_TRUE(::IsWindow(mail.window)) << "a mail program is no browser";
  EXPECT_EQ(mail.Log(), "");
  EXPECT_TRUE(::IsWindow(small.window)) << "aggressive mode never closes a window with several tabs";
  EXPECT_EQ(small.Log(), "");

  std::vector<std::string> lines = scanner.host.lines;
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"Popup Killed: Casino Night (*casino*)",
                                             "Popup Killed: Casino Royale (*casino*)",
                                             "Popup Killed: Casino bare (*casino*)",
                                             "Popup Killed: Casino popup (*casino*)",
                                             "Popup Killed: Casino single (*casino*)"}));
  EXPECT_EQ(scanner.host.alarms, 5);

  // Nothing fits now: the next pass reads no strip and closes nothing; the small window is not read
  // again.
  scanner.Pass(1);
  EXPECT_EQ(TextOf(chrome.window), "News");
  EXPECT_EQ(scanner.host.lines.size(), 5u);
}

TEST(TabStripWin32, AStripThatStopsAnsweringHoldsUpNoOtherPopupAndItsWindowIsLeftOpen) {
  TabBrowser stalling =
      StartTabBrowser("chrome.exe", Args(kChromeClass, "stall", "Casino stall|News", "--stall=20000"));
  ASSERT_NE(stalling.window, nullptr);
  TabScanner scanner(std::chrono::seconds(5));  // the program's bound: giving up is the point
  scanner->SetRules("*casino*");
  scanner.started = 1;
  ASSERT_TRUE(scanner.PassOnly());
  // The pass came back while the strip does not answer; a popup opened now is closed all the same.
  EXPECT_EQ(scanner.endedAtReturn, 0);
  ChildProcess other = OpenHelperWindows({"IEFrame|Casino canary|900|700|v"});
  TabBrowser popup = StartTabBrowser("firefox.exe", Args(kFirefoxClass, "popup", "Casino popup"));
  const HWND canary = FindWindowOf(other.Id(), "Casino canary");
  ASSERT_NE(canary, nullptr);
  scanner.started += 2;
  ASSERT_TRUE(scanner.PassOnly());
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(canary) && !::IsWindow(popup.window); }, std::chrono::seconds(10)));

  // The closer gives up on it: left open with all its tabs, and said once.
  const auto& lines = scanner.host.lines;
  const std::string left = "Popup Left Open: Casino stall (*casino*), its tabs could not be read";
  EXPECT_TRUE(PumpUntil([&] { return std::count(lines.begin(), lines.end(), left) == 1; }, std::chrono::seconds(60)));
  scanner.Settle();
  EXPECT_TRUE(::IsWindow(stalling.window));
  scanner.Pass(1);
  EXPECT_EQ(stalling.Log().find("lost tab"), std::string::npos);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), left), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Popup Killed: Casino canary (*casino*)"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Popup Killed: Casino popup (*casino*)"), 1);
}

TEST(TabStripWin32, HiddenTabsAHiddenStripAFullScreenWindowAStrayButtonAndAMovedSelectionNeverCostAWindow) {
  TabBrowser grouped =
      StartTabBrowser("chrome.exe", Args(kChromeClass, "grouped", "Casino group|A|B|C|D|E"));
  TabBrowser hidden = StartTabBrowser("chrome.exe", Args(kChromeClass, "hidden", "Casino hidden|Mail"));
  TabBrowser full = StartTabBrowser("chrome.exe", Args(kChromeClass, "full", "Casino full|Mail"));
  TabBrowser mute = StartTabBrowser("chrome.exe", Args(kChromeClass, "mute", "Casino mute|News"));
  TabBrowser moved =
      StartTabBrowser("chrome.exe", Args(kChromeClass, "tabs", "News|Mail", "--selected=1 \"--titled=Casino moved\""));
  TabBrowser firefox =
      StartTabBrowser("firefox.exe", Args(kFirefoxClass, "uidoc", "Docs|Casino inside|Forum", "--selected=1"));
  for (HWND w : {grouped.window, hidden.window, full.window, mute.window, moved.window, firefox.window})
    ASSERT_NE(w, nullptr);

  TabScanner scanner;
  scanner->SetRules("*casino*");
  scanner.Pass(6);
  for (HWND w : {grouped.window, hidden.window, full.window, mute.window, moved.window, firefox.window})
    EXPECT_TRUE(::IsWindow(w)) << "no window of tabs is closed whole";
  EXPECT_EQ(grouped.Log(), "lost tab: Casino group\n") << "the collapsed group keeps its five tabs";
  EXPECT_EQ(hidden.Log(), "lost tab: Casino hidden\n");
  EXPECT_EQ(firefox.Log(), "lost tab: Casino inside\n") << "the strip inside the browser's own document";
  EXPECT_EQ(full.Log(), "");
  EXPECT_EQ(mute.Log(), "muted: Casino mute\n") << "its last button was pressed, and took nothing away";
  EXPECT_EQ(moved.Log(), "") << "the tab in front is not the page the rule fitted";

  std::vector<std::string> lines = scanner.host.lines;
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"Popup Killed: Casino group (*casino*)",
                                             "Popup Killed: Casino hidden (*casino*)",
                                             "Popup Killed: Casino inside (*casino*)",
                                             "Popup Left Open: Casino full (*casino*), it fills its screen and shows no tabs",
                                             "Popup Left Open: Casino mute (*casino*), its tab did not close"}));
  EXPECT_EQ(scanner.host.alarms, 3) << "a press that took nothing away is no kill";

  // Said once: the windows left are not read or pressed again while they keep their titles.
  scanner.Pass(3);
  EXPECT_EQ(scanner.host.lines.size(), 5u);
  EXPECT_EQ(mute.Log(), "muted: Casino mute\n");
}
