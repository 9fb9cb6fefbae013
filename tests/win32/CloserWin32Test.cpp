// The closer over real DDEML, against a browser's DDE interface in another process.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <vector>

#include "Win32TestSupport.h"
#include "base/Text.h"
#include "platform/win32/Win32Dde.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "popups/ClassPopups.h"

using namespace zorvex;
using namespace zorvex::testing;
using namespace std::chrono_literals;

namespace {

class RecordingHost : public IKillHost {
 public:
  void WriteLog(const std::string& line) override { lines.push_back(line); }
  void PlayAlarm() override { ++alarms; }
  std::vector<std::string> lines;
  int alarms = 0;
};

int g_ticks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_ticks; }

// The real pump, watched: how long the closer kept pumping, how many timer ticks it handled, and
// how often it paused after a refused request.
class WatchedPump : public win32::Win32MessagePump {
 public:
  void ProcessMessages() override {
    Watch([this] { win32::Win32MessagePump::ProcessMessages(); });
  }
  void ProcessMessagesFor(std::chrono::milliseconds span) override {
    ++pauses;
    Watch([this, span] { win32::Win32MessagePump::ProcessMessagesFor(span); });
  }
  int calls = 0;
  int pauses = 0;
  DWORD first = 0, last = 0;
  int ticksInside = 0;

 private:
  template <typename Pump>
  void Watch(Pump pump) {
    const DWORD now = ::GetTickCount();
    if (calls++ == 0) first = now;
    last = now;
    const int before = g_ticks;
    pump();
    ticksInside += g_ticks - before;
  }
};

// The real steady clock, watched: every reading the closer takes, which times its wait for a reply.
class WatchedClock : public SystemClock {
 public:
  std::chrono::steady_clock::time_point Steady() override {
    auto now = SystemClock::Steady();
    // Slowed, the closer's waits stretch as far as a loaded machine needs.
    if (pace < 1) now = origin_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>((now - origin_) * pace);
    readings.push_back(now);
    return now;
  }
  std::vector<std::chrono::steady_clock::time_point> readings;
  double pace = 1;

 private:
  std::chrono::steady_clock::time_point origin_ = SystemClock::Steady();
};

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The real monitor, watched: every registration notice it passes on.
class WatchedMonitor : public win32::Win32DdeMonitor {
 public:
  bool Join(const std::string& own, RegisterHandler onRegister) override {
    const bool joined = JoinWatched(own, std::move(onRegister));
    joins += joined ? 1 : 0;
    return joined;
  }
  int Joins() const { return joins; }
  int joins = 0;
  bool JoinWatched(const std::string& own, RegisterHandler onRegister) {
    return win32::Win32DdeMonitor::Join(own, [this, onRegister](const std::string& service, const std::string& instance) {
      notices.push_back(service + " " + instance);
      onRegister(service, instance);
    });
  }
  int Count(const std::string& prefix) const {
    int count = 0;
    for (const std::string& n : notices) count += n.rfind(prefix, 0) == 0;
    return count;
  }
  std::vector<std::string> notices;
};

// The real DDE client, watched: how many checks asked a browser for its window and were over.
class WatchedClient : public IDdeClient {
 public:
  std::unique_ptr<IDdeConversation> NewConversation() override {
    return std::make_unique<Conversation>(real.NewConversation(), checksEnded);
  }
  std::shared_ptr<int> checksEnded = std::make_shared<int>(0);

 private:
  class Conversation : public IDdeConversation {
   public:
    Conversation(std::unique_ptr<IDdeConversation> inner, std::shared_ptr<int> ended)
        : inner_(std::move(inner)), ended_(std::move(ended)) {}
    ~Conversation() override {
      inner_.reset();
      if (windowInfo_) ++*ended_;
    }
    bool Open(const std::string& service, const std::string& topic) override {
      windowInfo_ = windowInfo_ || topic == "WWW_GetWindowInfo";
      return inner_->Open(service, topic);
    }
    std::optional<std::string> RequestText(const std::string& item) override { return inner_->RequestText(item); }

   private:
    std::unique_ptr<IDdeConversation> inner_;
    std::shared_ptr<int> ended_;
    bool windowInfo_ = false;
  };
  win32::Win32DdeClient real;
};

class CloserWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    record = ProgramFolder() + "dde_requests_" + std::to_string(::GetCurrentProcessId()) + ".txt";
    ::DeleteFileA(record.c_str());
    closer = std::make_unique<TSPopup>(CloserServices{
        ScannerServices{std::make_shared<win32::Win32Desktop>(), mainThread, std::make_shared<SystemSleeper>(), &host, nullptr},
        monitor, client,
        clock, pump, tracker, nullptr});
    closer->SetDetection(DetectionOptions{BrowserFamilies{false, false, true, false}, false});
  }
  void TearDown() override {
    closer.reset();
    mainThread->End();
    EXPECT_TRUE(tracker->StopAll(5s));
    ::DeleteFileA(record.c_str());
  }
  ChildProcess Browser(const std::string& title, const std::string& extra = "") {
    return StartHelper("dde_browser.exe", "--url=http://ads.example/pop \"--title=" + title + "\" --record=\"" +
                                              record + "\" " + extra);
  }
  int InfoRequests() {
    int count = 0;
    for (const std::string& line : ReadLines(record)) count += line.rfind("WWW_GetWindowInfo|", 0) == 0;
    return count;
  }

  std::shared_ptr<win32::Win32MainThread> mainThread = std::make_shared<win32::Win32MainThread>();
  std::shared_ptr<ScannerTracker> tracker = std::make_shared<ScannerTracker>();
  std::shared_ptr<WatchedPump> pump = std::make_shared<WatchedPump>();
  std::shared_ptr<WatchedClock> clock = std::make_shared<WatchedClock>();
  std::shared_ptr<WatchedMonitor> monitor = std::make_shared<WatchedMonitor>();
  std::shared_ptr<WatchedClient> client = std::make_shared<WatchedClient>();
  // Checks that asked a browser for its window and are over.
  int ChecksEnded() const { return *client->checksEnded; }
  RecordingHost host;
  std::unique_ptr<TSPopup> closer;
  std::string record;
};

}  // namespace

TEST_F(CloserWin32, AFittingNewBrowserWindowIsClosedThroughDdeAndReportedOnce) {
  ASSERT_EQ(monitor->Joins(), 1) << "joined the service registry";
  closer->SetRules("*Special Offer*\r\n");
  ChildProcess browser = Browser("Your Special Offer");
  const HWND page = FindWindowOf(browser.Id(), "Your Special Offer");
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(page); }, 10s)) << "the page was not closed";
  EXPECT_TRUE(PumpUntil([&] { return browser.WaitForExit(0); }, 5s));
  // A few more cycles: the kill is reported once only.
  PumpUntil([] { return false; }, 1500ms);
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_EQ(host.lines[0], "Popup Killed: http://ads.example/pop => Your Special Offer (*special offer*)");
  EXPECT_EQ(host.alarms, 1);

  const std::vector<std::string> requests = ReadLines(record);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], "WWW_GetWindowInfo|0xFFFFFFFF,sUrl,xsTitle");
  // The window id comes from the instance name the system gave the browser's registration.
  EXPECT_EQ(requests[1].rfind("WWW_OpenURL|\"javascript:window.close();\",,", 0), 0u) << requests[1];
  EXPECT_NE(requests[1].find(",0x0,,,,"), std::string::npos) << requests[1];
}

TEST_F(CloserWin32, ATitleThatABrowserSendsInTheSystemCodePageArrivesAsUtf8AndFitsAUtf8Rule) {
  // The browser answers in CF_TEXT, in the code page Wine takes from the test session's locale.
  if (::GetACP() != 1252) GTEST_SKIP() << "the system code page is " << ::GetACP() << ", not 1252";
  closer->SetRules("*café*\r\n");
  ChildProcess browser = Browser("Café promo");
  const HWND page = FindWindowOf(browser.Id(), "Café promo");
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(page); }, 10s)) << "the page was not closed";
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_EQ(host.lines[0], "Popup Killed: http://ads.example/pop => Café promo (*café*)");
}

TEST_F(CloserWin32, ABrowserThatRefusesItsFirstRequestsIsAskedAgainAndItsWindowClosed) {
  closer->SetRules("*Special Offer*\r\n");
  // Forty refusals take longer than the closer's two seconds on a loaded machine; what is tested
  // is that it asks again, not how fast the machine answers.
  clock->pace = 0.05;
  // More refusals than one request's own quick retries absorb, so the closer itself sees a refusal.
  ChildProcess browser = Browser("Your Special Offer", "--refuse=40");
  const HWND page = FindWindowOf(browser.Id(), "Your Special Offer");
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(page); }, 60s)) << InfoRequests() << " window-info requests";
  EXPECT_GT(InfoRequests(), 40);
  EXPECT_GE(pump->pauses, 1) << "the closer never saw a refusal";
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_EQ(host.lines[0], "Popup Killed: http://ads.example/pop => Your Special Offer (*special offer*)");
}

TEST_F(CloserWin32, ABrowserWindowThatFitsNoRuleStaysOpen) {
  closer->SetRules("*casino*\r\n");
  ChildProcess browser = Browser("Daily News");
  const HWND page = FindWindowOf(browser.Id(), "Daily News");
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return InfoRequests() >= 1 && ChecksEnded() >= 1; }, 10s));
  PumpUntil([] { return false; }, 700ms);
  EXPECT_TRUE(::IsWindow(page));
  EXPECT_TRUE(host.lines.empty());
  EXPECT_EQ(InfoRequests(), 1);
}

TEST_F(CloserWin32, ABrowserWithNothingToTellIsLeftAloneAndTheMainThreadStaysResponsive) {
  closer->SetRules("*\r\n");
  // A timer on the main thread measures whether its messages are handled during the wait.
  g_ticks = 0;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, CountTick);
  ChildProcess browser = Browser("Anything", "--quotes");
  const HWND page = FindWindowOf(browser.Id(), "Anything");
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return InfoRequests() >= 1 && ChecksEnded() >= 1; }, 15s));
  ::KillTimer(nullptr, timer);
  // The browser was asked again and again until 2 seconds had passed since the check began, and
  // not once after. Timed on the closer's own clock readings: under load the first request alone
  // can take a good part of the 2 seconds, so the span of the pumping says nothing about the wait.
  const std::vector<std::chrono::steady_clock::time_point>& readings = clock->readings;
  ASSERT_GE(readings.size(), 3u);
  EXPECT_GE(readings.back() - readings.front(), 2s);
  for (std::size_t i = 1; i + 1 < readings.size(); ++i) EXPECT_LT(readings[i] - readings.front(), 2s) << i;
  EXPECT_GE(InfoRequests(), pump->calls);
  // ...and the main thread kept handling its timer all along.
  const DWORD waited = pump->last - pump->first;
  EXPECT_GE(pump->ticksInside, static_cast<int>(waited / 100 / 2)) << waited << " ms";
  EXPECT_TRUE(::IsWindow(page));
  EXPECT_TRUE(host.lines.empty());
}

TEST_F(CloserWin32, WinesOwnBrowserIsHandledWithoutStartingAnyProgram) {
  // A real browser that registers its DDE service but offers no window information.
  closer->SetRules("");
  ChildProcess browser;
  ASSERT_TRUE(browser.StartCommand("\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" about:blank"));
  ASSERT_TRUE(PumpUntil([&] { return monitor->Count("IEXPLORE ") + monitor->Count("IExplore ") == 1; }, 30s));
  HWND frame = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    for (HWND w : TopLevelWindowsOf(browser.Id())) {
      char cls[64] = {};
      ::GetClassNameA(w, cls, sizeof cls);
      if (std::string(cls) == "IEFrame") frame = w;
    }
    return frame != nullptr && ChecksEnded() >= 1;
  }, 30s));
  // The check found no window information; nothing was closed and no browser was started again.
  PumpUntil([] { return false; }, 2s);
  EXPECT_TRUE(::IsWindow(frame));
  EXPECT_TRUE(host.lines.empty());

  // The scanner still closes its frame window by title.
  const std::string title = TextOf(frame);
  closer->SetRules("*internet explorer*");
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(frame) && !host.lines.empty(); }, 10s));
  ASSERT_EQ(host.lines.size(), 1u);
  EXPECT_EQ(host.lines[0], std::string("Popup Killed: ") + title + " (*internet explorer*)");
  PumpUntil([] { return false; }, 2s);
  int registrations = 0;
  for (const std::string& n : monitor->notices) registrations += AsciiUpper(n).rfind("IEXPLORE ", 0) == 0;
  EXPECT_EQ(registrations, 1) << "a browser was started again";
}
