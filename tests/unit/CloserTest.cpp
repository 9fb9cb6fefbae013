#include <gtest/gtest.h>

#include "tests/fakes/FakePlatform.h"
#include "tests/fakes/Probe.h"
#include "popups/ClassPopups.h"

using namespace zorvex;
using namespace std::chrono_literals;

namespace {

class RecordingHost : public IKillHost {
 public:
  void WriteLog(const std::string& line) override { events.push_back("log " + line); }
  void PlayAlarm() override { events.push_back("alarm"); }
  std::vector<std::string> events;
};

class CloserTest : public ::testing::Test {
 protected:
  CloserServices Services() { return fakes.Closer(&host, tracker); }
  std::unique_ptr<TSPopup> MakeCloser(const std::string& rules = "") {
    auto closer = std::make_unique<TSPopup>(Services());
    closer->SetRules(rules);
    Watch(*closer, {false, false, true, false});
    return closer;
  }
  static void Watch(TSPopup& closer, BrowserFamilies families, bool agressive = false) {
    closer.SetDetection(DetectionOptions{families, agressive});
  }
  // Runs the check and tells whether it asked the browser: a registration had armed it.
  bool Armed(TSPopup& closer) {
    const std::size_t before = Items("WWW_GetWindowInfo").size();
    closer.CheckNewBrowser();
    return Items("WWW_GetWindowInfo").size() > before;
  }
  // Runs the check against a browser whose window fits the rule "*" and returns the window id the
  // closer asked to close; none when it did not ask.
  std::optional<std::string> ClosedWindowId(TSPopup& closer) {
    closer.SetRules("*");
    BrowserAnswers("\"http://a\",\"T\"");
    peer->requests.clear();
    closer.CheckNewBrowser();
    const std::vector<std::string> items = Items("WWW_OpenURL");
    if (items.empty()) return std::nullopt;
    const std::string head = "\"javascript:window.close();\",,";
    const std::string tail = ",0x0,,,,";
    return items[0].substr(head.size(), items[0].size() - head.size() - tail.size());
  }
  void TearDown() override {
    mainThread->End();
    EXPECT_TRUE(tracker->StopAll(5s));
  }
  // The browser answers window info with this reply and records the close request.
  void BrowserAnswers(const std::string& reply) {
    peer->answer = [reply](const std::string& topic, const std::string&) -> std::optional<std::string> {
      if (topic == "WWW_GetWindowInfo") return reply;
      return std::string("ok");
    };
  }
  std::vector<std::string> Items(const std::string& topic) const {
    std::vector<std::string> items;
    for (const auto& r : peer->requests)
      if (r.topic == topic) items.push_back(r.item);
    return items;
  }

  fake::FakePlatform fakes;
  std::shared_ptr<fake::FakeDesktop> desktop = fakes.desktop;
  std::shared_ptr<fake::FakeMainThread> mainThread = fakes.mainThread;
  std::shared_ptr<fake::FakeDdeMonitor> monitor = fakes.monitor;
  std::shared_ptr<fake::FakeDdePeer> peer = fakes.peer;
  std::shared_ptr<fake::FakeClock> clock = fakes.clock;
  std::shared_ptr<fake::FakePump> pump = fakes.pump;
  std::shared_ptr<ScannerTracker> tracker = std::make_shared<ScannerTracker>();
  RecordingHost host;
};

}  // namespace

TEST(SplitCommaText, QuotedAndUnquotedFields) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"\"http://a/b\",\"Title, with comma\"", {"http://a/b", "Title, with comma"}},
      {"\"a\",\"say \"\"hi\"\"\"", {"a", "say \"hi\""}},
      {"addr,Plain title", {"addr", "Plain", "title"}},
      {"  a , b  ", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {"", {}},
      {"\"unclosed, still", {"unclosed, still"}},
      {std::string("\"a\",\"b\"\0junk", 12), {"a", "b"}},
      {"\"\"", {""}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommaText(c.first), c.second) << c.first;
}

TEST_F(CloserTest, RegistrationsOfInternetExplorerArmTheCheckUnlessOperaJustStarted) {
  auto closer = MakeCloser();
  ASSERT_EQ(monitor->joins, (std::vector<std::string>{"ZORVEXSPY"}));

  monitor->Announce("IEXPLORE", "IEXPLORE(0x00A1)");
  EXPECT_EQ(ClosedWindowId(*closer), "0x00A1");

  // Another service, and a lower-case name of the right one with an instance name we do not know.
  auto fresh = [&] {
    closer.reset();
    closer = MakeCloser();
  };
  fresh();
  monitor->Announce("PROGMAN", "PROGMAN(0x1)");
  EXPECT_EQ(ClosedWindowId(*closer), std::nullopt);
  monitor->Announce("iexplore", "something");
  EXPECT_EQ(ClosedWindowId(*closer), "");
  monitor->Announce("IExplore", "iexplore(0x      104)");
  EXPECT_EQ(ClosedWindowId(*closer), "0x      104");
  // The check clears the registration: the next one asks nothing.
  EXPECT_EQ(ClosedWindowId(*closer), std::nullopt);

  // Opera's own "IEXPLORE" service within 10 whole seconds of an Opera instance is not a browser.
  const std::pair<std::chrono::milliseconds, bool> delays[] = {
      {5s, false}, {10s, false}, {10999ms, false}, {11s, true}, {-11s, true}, {-10s, false}};
  for (const auto& [delay, accepted] : delays) {
    fresh();
    monitor->Announce("OPERA", "Opera(0x5)");
    clock->time += delay;
    monitor->Announce("IEXPLORE", "IEXPLORE(0x7)");
    EXPECT_EQ(Armed(*closer), accepted) << delay.count() << " ms after Opera";
  }
}

TEST_F(CloserTest, CheckClosesAFittingWindowThroughTheBrowserAndLogsIt) {
  auto closer = MakeCloser("*Casino*\r\n");
  BrowserAnswers("\"http://ads.example/x\",\"Big CASINO Offer\"");
  monitor->Announce("IEXPLORE", "IEXPLORE(0x00A1)");
  closer->CheckNewBrowser();
  EXPECT_EQ(host.events, (std::vector<std::string>{"log Popup Killed: http://ads.example/x => Big CASINO Offer (*casino*)",
                                                   "alarm"}));
  EXPECT_EQ(Items("WWW_GetWindowInfo"), (std::vector<std::string>{"0xFFFFFFFF,sUrl,xsTitle"}));
  EXPECT_EQ(Items("WWW_OpenURL"), (std::vector<std::string>{"\"javascript:window.close();\",,0x00A1,0x0,,,,"}));
  EXPECT_EQ(peer->live, 0) << "every conversation is ended";

  // Nothing pending: the check costs nothing.
  peer->requests.clear();
  closer->CheckNewBrowser();
  EXPECT_TRUE(peer->requests.empty());
}

TEST_F(CloserTest, RepliesThatCloseNothing) {
  const std::string replies[] = {
      "\"about:blank\",\"casino\"", "\"\",\"casino\"", "\"http://a\",\"news\"", "http://a,casino night",
      "\"http://a\",\"casino\",\"extra\"", "\"http://a\",\"about:blank\"", "\"http://a\",\"\"", "garbage"};
  for (const std::string& reply : replies) {
    auto closer = MakeCloser("*casino*\r\n*\r\n*news*x");
    closer->SetRules("*casino*");
    BrowserAnswers(reply);
    monitor->Announce("IEXPLORE", "IEXPLORE(0x1)");
    closer->CheckNewBrowser();
    EXPECT_TRUE(host.events.empty()) << reply;
    EXPECT_TRUE(Items("WWW_OpenURL").empty()) << reply;
    EXPECT_FALSE(Armed(*closer)) << reply;
  }
}

TEST_F(CloserTest, LogAndAlarmHappenEvenWhenTheCloseConversationFails) {
  auto closer = MakeCloser("*");
  peer->topics = {"WWW_GetWindowInfo"};
  BrowserAnswers("\"A\",\"T\"");
  monitor->Announce("IEXPLORE", "IEXPLORE(0x2)");
  closer->CheckNewBrowser();
  EXPECT_EQ(host.events, (std::vector<std::string>{"log Popup Killed: A => T (*)", "alarm"}));
}

TEST_F(CloserTest, BrowserWithNothingToTellIsAskedForTwoSecondsThenLeftAlone) {
  auto closer = MakeCloser("*");
  BrowserAnswers("\"\"");
  clock->step = 100ms;
  monitor->Announce("IEXPLORE", "IEXPLORE(0x3)");
  closer->CheckNewBrowser();
  const std::size_t asked = Items("WWW_GetWindowInfo").size();
  // Start at t0; one read per request loop; it stops at the first read 2 whole seconds after t0.
  EXPECT_GE(asked, 10u);
  EXPECT_LE(asked, 21u);
  EXPECT_EQ(pump->calls, static_cast<int>(asked)) << "the main thread handles its messages while it waits";
  EXPECT_TRUE(host.events.empty());
  EXPECT_FALSE(Armed(*closer));

  // A browser whose answer comes on the third try is served.
  int tries = 0;
  peer->requests.clear();
  peer->answer = [&](const std::string& topic, const std::string&) -> std::optional<std::string> {
    if (topic != "WWW_GetWindowInfo") return std::nullopt;
    return ++tries < 3 ? "\"\"" : "\"A\",\"T\"";
  };
  monitor->Announce("IEXPLORE", "IEXPLORE(0x3)");
  closer->CheckNewBrowser();
  EXPECT_EQ(tries, 3);
  EXPECT_EQ(host.events.size(), 2u);
}

TEST_F(CloserTest, RefusedRequestsAreNoAnswerAndTheWaitRunsOnTheSteadyClock) {
  auto closer = MakeCloser("*");
  // A browser too busy for its first three requests, then answering: its window is still closed,
  // and each refusal was followed by a real pause, not a spin.
  int tries = 0;
  peer->answer = [&](const std::string& topic, const std::string&) -> std::optional<std::string> {
    if (topic != "WWW_GetWindowInfo") return std::string("ok");
    return ++tries <= 3 ? std::nullopt : std::optional<std::string>("\"A\",\"T\"");
  };
  monitor->Announce("IEXPLORE", "IEXPLORE(0x5)");
  closer->CheckNewBrowser();
  EXPECT_EQ(tries, 4);
  EXPECT_EQ(host.events, (std::vector<std::string>{"log Popup Killed: A => T (*)", "alarm"}));
  EXPECT_EQ(Items("WWW_OpenURL").size(), 1u);
  ASSERT_EQ(pump->pauses.size(), 3u);
  for (auto pause : pump->pauses) EXPECT_GT(pause.count(), 0);

  // A browser that refuses every request is asked for the full two seconds, then left alone.
  host.events.clear();
  peer->requests.clear();
  pump->pauses.clear();
  peer->answer = [&](const std::string&, const std::string&) -> std::optional<std::string> {
    // Ends a loop that would otherwise never end (and then fails the test by closing a window).
    if (peer->requests.size() > 1000) return std::string("\"stop\",\"stop\"");
    return std::nullopt;
  };
  const auto before = clock->steady;
  monitor->Announce("IEXPLORE", "IEXPLORE(0x6)");
  closer->CheckNewBrowser();
  const auto waited = clock->steady - before;
  EXPECT_GE(waited, 2s);
  EXPECT_LT(waited, 2200ms);
  EXPECT_EQ(peer->requests.size(), pump->pauses.size());
  EXPECT_LT(peer->requests.size(), 100u) << "refusals must not make the wait spin";
  EXPECT_TRUE(host.events.empty());
  EXPECT_FALSE(Armed(*closer));

  // The wall clock set back (or on) while the browser has nothing to tell changes nothing: the
  // wait still lasts two seconds of steady time.
  for (const auto jump : {-std::chrono::hours(1), std::chrono::hours(1)}) {
    peer->requests.clear();
    bool jumped = false;
    peer->answer = [&](const std::string&, const std::string&) -> std::optional<std::string> {
      if (!jumped) clock->time += jump;
      jumped = true;
      if (peer->requests.size() > 1000) return std::string("\"stop\",\"stop\"");
      return std::string("\"\"");
    };
    clock->step = 100ms;
    const auto from = clock->steady;
    monitor->Announce("IEXPLORE", "IEXPLORE(0x7)");
    closer->CheckNewBrowser();
    clock->step = {};
    EXPECT_GE(clock->steady - from, 2s) << jump.count();
    EXPECT_LT(peer->requests.size(), 30u) << jump.count();
    EXPECT_TRUE(host.events.empty()) << jump.count();
  }
}

TEST_F(CloserTest, NoServerMeansNoProgramStartedAndTheCheckCleared) {
  auto closer = MakeCloser("*");
  peer->service = "SOMETHINGELSE";
  monitor->Announce("IEXPLORE", "IEXPLORE(0x4)");
  closer->CheckNewBrowser();
  EXPECT_EQ(peer->refused, 1);
  EXPECT_TRUE(peer->requests.empty());
  peer->service = "IEXPLORE";
  EXPECT_FALSE(Armed(*closer)) << "the failed check cleared the registration";
}

TEST_F(CloserTest, MatchTitleKeepsSetsAndSkipsInvalidRules) {
  auto closer = MakeCloser("[ad] *\r\n[unclosed\r\n*offer*\r\n");
  EXPECT_EQ(Probe::Rules(*closer), (std::vector<std::string>{"[ad] *", "[unclosed", "*offer*"}));
  EXPECT_TRUE(Probe::MatchTitle(*closer, "A thing"));
  EXPECT_EQ(Probe::MatchedRule(*closer), "[ad] *");
  // "[ad]" is a set here, so "[ad] offer" fits only the later rule, after the invalid one is skipped.
  EXPECT_TRUE(Probe::MatchTitle(*closer, "[ad] offer"));
  EXPECT_EQ(Probe::MatchedRule(*closer), "*offer*");
  EXPECT_FALSE(Probe::MatchTitle(*closer, "news"));
  EXPECT_FALSE(Probe::MatchTitle(*closer, ""));
  EXPECT_FALSE(Probe::MatchTitle(*closer, "About:Blank"));
  // A title's control characters are blanks, as they are in the rule the engine made from it.
  closer->SetRules("free prize\r\n");
  EXPECT_TRUE(Probe::MatchTitle(*closer, "Free\tprize"));
  EXPECT_TRUE(Probe::MatchTitle(*closer, "Free\r\nprize") == false) << "two blanks are not one";
  closer->SetRules("[ad] *\r\n[unclosed\r\n*offer*\r\n");
  // The scanner holds the same rule with "?" for the brackets: it closes the window titled so,
  // and its log line names the rule as it holds it.
  const WindowHandle window = desktop->Add("IEFrame", "[ad] offer");
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !host.events.empty(); }));
  EXPECT_FALSE(desktop->Exists(window));
  EXPECT_EQ(host.events[0], "log Popup Killed: [ad] offer (?ad? *)");
}

TEST_F(CloserTest, MatchTitleFoldsCaseBeyondAscii) {
  // Rules and titles reach the masks folded, as in the scanner: a rule in capitals fits a title in
  // small letters of its own script, and a set holds code points.
  auto closer = MakeCloser("*\u041A\u0410\u0417\u0418\u041D\u041E*\r\n[\u03B1-\u03C9]*\r\n");
  EXPECT_EQ(Probe::Rules(*closer), (std::vector<std::string>{"*\u043A\u0430\u0437\u0438\u043D\u043E*", "[\u03B1-\u03C9]*"}));
  EXPECT_TRUE(Probe::MatchTitle(*closer, "\u043E\u043D\u043B\u0430\u0439\u043D \u043A\u0430\u0437\u0438\u043D\u043E"));
  EXPECT_EQ(Probe::MatchedRule(*closer), "*\u043A\u0430\u0437\u0438\u043D\u043E*");
  EXPECT_TRUE(Probe::MatchTitle(*closer, "\u03A3\u03A0\u039F\u03A1"));
  EXPECT_FALSE(Probe::MatchTitle(*closer, "\u0451\u043B\u043A\u0430"));
  EXPECT_FALSE(Probe::MatchTitle(*closer, "abc"));
}

TEST_F(CloserTest, ScannerRunsExactlyWhileAFamilyIsWatchedAndTakesTheOptionsWhole) {
  TSPopup closer(Services());
  EXPECT_FALSE(Probe::Thread(closer));
  closer.SetRules("Ad One\r\nAd Two");
  Watch(closer, {true, false, false, false}, true);
  auto first = Probe::Thread(closer);
  ASSERT_TRUE(first);
  // Opera windows are closed by rule, and by size while the heuristic is on.
  const WindowHandle small = desktop->Add("BrowserWindowMDI", "Small", 400, 150);
  const WindowHandle ruled = desktop->Add("BrowserWindowMDI", "Ad One");
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !desktop->Exists(small) && !desktop->Exists(ruled); }));
  Watch(closer, {true, true, false, false}, false);
  EXPECT_EQ(Probe::Thread(closer), first) << "the running scanner takes the new options";
  const WindowHandle kept = desktop->Add("BrowserWindowMDI", "Kept", 400, 150);
  const WindowHandle mozilla = desktop->Add("MozillaWindowClass", "Ad Two");
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !desktop->Exists(mozilla); }));
  // A pass that closed the later window also judged the earlier one, by the new options.
  EXPECT_TRUE(desktop->Exists(kept));

  Watch(closer, {});
  EXPECT_FALSE(Probe::Thread(closer));
  EXPECT_TRUE(first->Terminated());
  EXPECT_FALSE(first->OnCheck);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return first->WaitFor(0ms); }));

  // A new scanner gets the rules the closer holds.
  Watch(closer, {false, true, false, false});
  ASSERT_TRUE(Probe::Thread(closer));
  EXPECT_NE(Probe::Thread(closer), first);
  const WindowHandle later = desktop->Add("MozillaWindowClass", "Ad one");
  ASSERT_TRUE(mainThread->PumpUntil([&] { return !desktop->Exists(later); }));
}

TEST_F(CloserTest, ExplorerSwitchingJoinsAndLeavesTheRegistry) {
  TSPopup closer(Services());
  const BrowserFamilies explorer{false, false, true, false};
  Watch(closer, explorer);
  Watch(closer, explorer);
  EXPECT_EQ(monitor->joins.size(), 1u) << "switching on twice joins once";
  Watch(closer, {});
  EXPECT_EQ(monitor->leaves, 1);
  EXPECT_FALSE(Probe::Thread(closer));
  Watch(closer, explorer);
  EXPECT_EQ(monitor->joins.size(), 2u);
  EXPECT_TRUE(monitor->Joined());

  // A refused join: no link, but the scanner still runs for the family.
  Watch(closer, {});
  monitor->refuse = true;
  Watch(closer, explorer);
  EXPECT_FALSE(monitor->Joined());
  EXPECT_TRUE(Probe::Thread(closer));
  Watch(closer, {});
  EXPECT_EQ(monitor->leaves, 2) << "nothing to leave after a refused join";
}

TEST_F(CloserTest, DestroyingTheCloserWhileItsScannerRunsIsSafe) {
  desktop->Add("IEFrame", "popup");
  auto closer = MakeCloser("popup");
  std::shared_ptr<TSPopupThread> scanner = Probe::Thread(*closer);
  ASSERT_TRUE(scanner);
  ASSERT_TRUE(mainThread->PumpUntil([&] { return desktop->Closed().size() == 1; }));
  closer.reset();
  EXPECT_FALSE(monitor->Joined());
  // The scanner ends its cycle; its check no longer reaches the destroyed closer.
  ASSERT_TRUE(mainThread->PumpUntil([&] { return scanner->WaitFor(0ms); }));
}

TEST_F(CloserTest, ACheckStillQueuedWhenTheCloserGoesDoesNothing) {
  auto closer = MakeCloser("*");
  BrowserAnswers("\"http://a\",\"T\"");
  monitor->Announce("IEXPLORE", "IEXPLORE(0x9)");
  std::shared_ptr<TSPopupThread> scanner = Probe::Thread(*closer);
  // No window to close: the one item posted is the scanner's check, which nobody has run.
  ASSERT_TRUE(mainThread->WaitUntil([&] { return mainThread->Posted() >= 1; }));
  // A check that is running when its closer goes holds a copy of it.
  const std::function<void()> copy = scanner->OnCheck;
  closer.reset();
  EXPECT_FALSE(scanner->OnCheck);
  copy();
  ASSERT_TRUE(mainThread->PumpUntil([&] { return scanner->WaitFor(0ms); }));
  mainThread->Pump();
  EXPECT_EQ(peer->opened, 0) << "the check reached a closer that was gone";
  EXPECT_EQ(pump->calls, 0);
  EXPECT_TRUE(host.events.empty());
}

TEST_F(CloserTest, ClosingDetectionFromInsideTheWaitLoopDoesNotTouchTheGoneCloser) {
  auto closer = MakeCloser("*");
  BrowserAnswers("\"\"");
  monitor->Announce("IEXPLORE", "IEXPLORE(0x9)");
  // The user switches detection off while the closer waits for the browser.
  pump->onPump = [&] { closer.reset(); };
  TSPopup* raw = closer.get();
  raw->CheckNewBrowser();
  EXPECT_EQ(closer, nullptr);
  EXPECT_TRUE(host.events.empty());
}

TEST_F(CloserTest, WindowEventsAreHeardExactlyWhileTheScannerRunsAndReachIt) {
  std::shared_ptr<fake::FakeWindowEvents> events = fakes.events;
  {
    TSPopup closer(Services());
    EXPECT_FALSE(events->Listening());
    closer.SetRules("ad*");
    Watch(closer, {false, true, false, false});
    EXPECT_TRUE(events->Listening());
    const WindowHandle popup = desktop->Add("MozillaWindowClass", "Ad popup");
    EXPECT_TRUE(events->Fire(popup));
    EXPECT_TRUE(mainThread->PumpUntil([&] { return fakes.sleeper->Wakes() >= 1 && !desktop->Exists(popup); }))
        << "the event woke the scanner";
    Watch(closer, {true, true, false, false});
    EXPECT_EQ(events->starts, 1) << "one hook for one scanner";
    Watch(closer, {});
    EXPECT_FALSE(events->Listening()) << "stopped with the scanner";
    Watch(closer, {true, false, false, false});
    EXPECT_TRUE(events->Listening());
  }
  EXPECT_FALSE(events->Listening()) << "stopped with the closer";

  // Refused: no events, and the scanner runs all the same.
  events->refuse = true;
  TSPopup closer(Services());
  Watch(closer, {true, false, false, false});
  EXPECT_FALSE(events->Listening());
  EXPECT_TRUE(Probe::Thread(closer));
}
