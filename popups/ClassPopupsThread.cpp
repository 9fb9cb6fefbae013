#include "popups/ClassPopupsThread.h"

#include <algorithm>
#include <deque>
#include <map>
#include <thread>

#include "base/Text.h"
#include "base/Trace.h"

namespace zorvex {

namespace {

constexpr unsigned kCycleSleepMs = 500;
// How long the scanner waits for a window to take the close command before it leaves the close to
// its worker: long enough for a healthy window (a few ms), short enough not to hold up detection.
constexpr auto kCloseWait = std::chrono::milliseconds(100);
// Closes pending at once at the most; a window over the bound is tried again on a later pass.
constexpr std::size_t kMaxPendingCloses = 16;
// Room beyond that bound for windows that are new since the last pass: however many old windows
// hang, a new popup gets a close of its own.
constexpr std::size_t kFreshCloses = 16;
// Threads kept to send close commands; a close for a new window that finds them all busy gets one
// more, up to kMaxClosingThreads, which ends once nothing waits.
constexpr int kClosingThreads = 4;
constexpr int kMaxClosingThreads = kClosingThreads + static_cast<int>(kFreshCloses);
// A kept closing thread that has had nothing to do for this long ends; the next close starts one.
// Under Wine every thread holds about a megabyte of private memory whatever its stack size, and
// most of the time nothing is being closed.
constexpr auto kClosingThreadLinger = std::chrono::seconds(30);
// A window whose close timed out is tried again after this pause, doubled at each time-out up to
// the largest: a desktop of hung windows must not keep the closing threads busy with them.
constexpr auto kRetryPause = std::chrono::seconds(1);
constexpr auto kMaxRetryPause = std::chrono::seconds(60);
// Windows judged off the beat, because an event announced them, in one second at the most. A
// person meets a few popups a second; a program that makes hundreds of windows a second would
// otherwise keep the scanner busy judging its windows one by one. Past the bound, windows wait for
// the next pass, which judges every window anyway: detection is as fast as before events existed.
constexpr int kEventJudgingsPerSecond = 50;
// Announced windows kept for judging at the most; the pass sees the others.
constexpr std::size_t kMaxNoticed = 256;
// Reason logged for a window closed because too many Explorer windows were open.
constexpr const char* kLimitReason = "Explorer limit";

}  // namespace

void ScannerTracker::Add(const std::shared_ptr<TSPopupThread>& scanner) {
  std::lock_guard<std::mutex> lock(mutex_);
  scanners_.erase(std::remove_if(scanners_.begin(), scanners_.end(),
                                 [](const Tracked& t) { return t.scanner.expired() && t.closes.expired(); }),
                  scanners_.end());
  scanners_.push_back(Tracked{scanner, scanner->closes_});
}

bool ScannerTracker::StopAll(std::chrono::milliseconds timeout) {
  std::vector<std::shared_ptr<TSPopupThread>> running;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Tracked& t : scanners_) {
      if (auto scanner = t.scanner.lock()) running.push_back(scanner);
    }
    scanners_.clear();
  }
  for (const auto& scanner : running) scanner->Terminate();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool all = true;
  for (const auto& scanner : running) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    all = scanner->WaitFor(std::max(left, std::chrono::milliseconds(0))) && all;
  }
  return all;
}

// Why closing threads rather than SendMessageCallback: the callback comes only to a thread that
// pumps messages, which the scanner does not, and a window that never answers never calls back; a
// closing thread gives every close its own bound (the desktop's) and keeps this logic testable off
// Windows. The threads are few and kept: a hung window holds one for the length of its bound while
// the others go on, and starting a thread for every close proved unreliable under load (a thread
// now and then never ran, and its window was never closed).
struct TSPopupThread::CloseBook : std::enable_shared_from_this<CloseBook> {
  // One close command on its way; the scanner and the closing thread settle who reports under the
  // mutex.
  struct Job {
    WindowHandle window = 0;
    KillReport report;
    // Not seen by the last pass: a window made since.
    bool fresh = false;
    // Its close timed out before.
    bool retry = false;
    // What to close, for the tab strip of a window of today's browsers.
    CloseRequest request;
    bool finished = false;
    CloseOutcome outcome;
    bool handedOver = false;  // the scanner stopped waiting: the closing thread concludes
  };

  explicit CloseBook(const ScannerServices& services)
      : desktop_(services.desktop),
        mainThread_(services.mainThread),
        host_(services.host),
        clock_(services.clock),
        tabs_(services.desktop, services.tabStrips, services.tabReadBound) {}

  // Queues a close for the closing threads: new windows first, then windows not tried yet, then
  // windows whose close timed out. Starts a thread when none is free to take it, up to the bound
  // for its kind. Sets job.handedOver when the scanner is not to wait for it: a retry, or a close
  // that must wait for a thread.
  void Submit(const std::shared_ptr<Job>& job) {
    bool start = false;
    {
      std::lock_guard<std::mutex> lock(mutex);
      (job->fresh ? fresh_ : job->retry ? retries_ : untried_).push_back(job);
      const int queued = static_cast<int>(fresh_.size() + untried_.size() + retries_.size());
      // A thread that never got going (seen under load) is made up for by the next.
      if (queued > idle_ && threads_ < (job->fresh ? kMaxClosingThreads : kClosingThreads)) {
        ++threads_;
        start = true;
      }
      job->handedOver = job->retry || (queued > idle_ && !start);
    }
    cv.notify_all();
    if (start) {
      try {
        std::thread([book = shared_from_this()] { book->Serve(); }).detach();
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex);
        --threads_;
        throw;
      }
    }
  }

  // Lets idle closing threads end; busy ones end after their close.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping_ = true;
    }
    cv.notify_all();
  }
  // No closing thread runs: every close taken has posted its outcome.
  bool Ended() {
    std::lock_guard<std::mutex> lock(mutex);
    return threads_ == 0;
  }

  // Takes window for a new close; false while one is pending, while too many are (new windows
  // have room of their own), or while a window whose close timed out waits out its pause. retry
  // tells whether its close timed out before.
  bool Begin(WindowHandle window, bool fresh, bool& retry) {
    const auto now = Now();
    const std::uint32_t processId = fresh ? 0 : desktop_->ProcessId(window);
    std::lock_guard<std::mutex> lock(mutex);
    if (pending.count(window) != 0) return false;
    const auto timedOut = timedOut_.find(window);
    retry = timedOut != timedOut_.end();
    if (retry && now < timedOut->second.notBefore) return false;
    // A window of a program whose window just timed out is likely hung as well: it waits behind
    // the windows of other programs, as a retry does.
    if (!retry && !fresh && !hungPrograms_.empty()) {
      const auto program = hungPrograms_.find(processId);
      retry = program != hungPrograms_.end() && now - program->second < kMaxRetryPause;
    }
    // Retries leave half the room to windows not tried yet.
    const std::size_t room = retry ? kMaxPendingCloses / 2 : fresh ? kMaxPendingCloses + kFreshCloses : kMaxPendingCloses;
    if (pending.size() >= room) return false;
    return pending.insert(window).second;
  }
  // A close has ended (job.outcome is settled): hands its outcome to the main thread, which reports
  // it when the window took the command and was not reported since it was last seen gone; then
  // the window stops pending. Posted without waiting, so that the scanner never waits for the log,
  // the sound or the flash; one item for every close, so that outcomes are settled in order.
  void Conclude(const Job& job) {
    const bool taken = job.outcome.taken;
    // Only a window that took the command and stays open needs remembering; one that is gone is
    // forgotten at once, so that a new window given its handle is reported even between passes.
    const bool gone = taken && !desktop_->Exists(job.window);
    auto post = [book = shared_from_this(), window = job.window, taken, gone, report = job.report,
                 outcome = job.outcome] {
      if (book->host_ == nullptr) return;
      if (outcome.tabClosed) {
        // Every front tab closed is a kill of its own, though its window stays.
        LogKill(*book->host_, KillReport{outcome.tabTitle, outcome.tabReason, {}, report.kind,
                                              report.hit ? report.hit : RuleHit{std::nullopt, outcome.tabReason}});
        book->host_->PlayAlarm();
      } else if (!book->Reportable(window, taken, gone)) {
      } else if (report.kind == KillKind::WindowClosed && !gone) {
        // A window rule's close says what happened: a window that took the command and stayed
        // (it asks first, or ignores it) is no kill.
        book->host_->WriteLog(WindowStayedLine(report));
      } else {
        LogKill(*book->host_, report);
        book->host_->PlayAlarm();
      }
      if (!outcome.leftLine.empty()) book->host_->WriteLog(outcome.leftLine);
    };
    // One step under the lock: no new close of the window begins before this outcome is queued
    // (its outcomes reach the main thread in order), and once it is queued the window is free for
    // the next pass. Post only queues; it never waits for the main thread.
    std::lock_guard<std::mutex> lock(mutex);
    pending.erase(job.window);
    DropFailure("kill report", [&] { mainThread_->Post(std::move(post)); });
  }
  // Hands a window rule's act to the main thread to report, in order with the closes.
  void Tell(WindowRuleActor::Report report) {
    auto post = [book = shared_from_this(), report = std::move(report)] {
      if (book->host_ == nullptr) return;
      if (!report.line.empty()) book->host_->WriteLog(report.line);
      if (report.hit) book->host_->RuleFitted(*report.hit);
      if (report.kill) book->host_->PlayAlarm();
    };
    DropFailure("window rule report", [&] { mainThread_->Post(std::move(post)); });
  }
  void Done(WindowHandle window) {
    std::lock_guard<std::mutex> lock(mutex);
    pending.erase(window);
  }
  // Forgets reported and timed-out windows that are gone, so that a new window given the same
  // handle counts as new.
  void Prune(IDesktop& desktop) {
    std::vector<WindowHandle> known;
    {
      std::lock_guard<std::mutex> lock(mutex);
      known.assign(reported.begin(), reported.end());
      for (const auto& entry : timedOut_) known.push_back(entry.first);
    }
    for (WindowHandle window : known) {
      if (!desktop.Exists(window)) Forget(window);
    }
    tabs_.Prune();
  }
  // The window is gone: a new window given its handle is new in every way.
  void Forget(WindowHandle window) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      reported.erase(window);
      timedOut_.erase(window);
    }
    tabs_.Forget(window);
  }

  std::mutex mutex;
  std::condition_variable cv;

 private:
  bool Reportable(WindowHandle window, bool taken, bool gone) {
    if (!taken) return false;
    std::lock_guard<std::mutex> lock(mutex);
    if (gone) return reported.erase(window) == 0;
    return reported.insert(window).second;
  }

  // A closing thread: takes queued closes until stopped.
  void Serve() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      ++idle_;
      cv.wait_for(lock, kClosingThreadLinger, [this] { return stopping_ || Queued(); });
      --idle_;
      // Stopping or idle too long, nothing left. Submit sees this thread neither idle nor counted
      // once the lock is let go, and starts another for what comes.
      if (!Queued()) break;
      std::deque<std::shared_ptr<Job>>& queue = !fresh_.empty() ? fresh_ : !untried_.empty() ? untried_ : retries_;
      const std::shared_ptr<Job> job = queue.front();
      queue.pop_front();
      lock.unlock();
      SendClose(*job);
      lock.lock();
      // A thread started beyond the kept ones for a new window ends once nothing waits.
      if (!Queued() && threads_ > kClosingThreads) break;
    }
    --threads_;
  }
  bool Queued() const { return !fresh_.empty() || !untried_.empty() || !retries_.empty(); }
  std::chrono::steady_clock::time_point Now() const {
    return clock_ ? clock_->Steady() : std::chrono::steady_clock::now();
  }
  // Remembers how a close ended for the next try of the window.
  void Settle(WindowHandle window, const CloseOutcome& outcome) {
    // Sent the command, not taken and still there: the window did not answer in time (or
    // refused). A window that lost its front tab, was left open for its tabs or was not touched
    // (its title changed, or it was left before) was never sent it: neither it nor its program is
    // held back as hung, or every window of a browser would wait behind the others.
    const bool timedOut = outcome.sent && !outcome.taken && desktop_->Exists(window);
    const std::uint32_t processId = timedOut ? desktop_->ProcessId(window) : 0;
    const auto now = Now();
    std::lock_guard<std::mutex> lock(mutex);
    if (!timedOut) {
      timedOut_.erase(window);
      return;
    }
    if (processId != 0) hungPrograms_[processId] = now;
    Retry& retry = timedOut_[window];
    auto pause = kRetryPause;
    for (int i = 0; i < retry.timeOuts && pause < kMaxRetryPause; ++i) pause *= 2;
    ++retry.timeOuts;
    retry.notBefore = now + std::min<std::chrono::steady_clock::duration>(pause, kMaxRetryPause);
  }

  // Where the close command is sent to one window, on a closing thread; the only place that does.
  void SendClose(Job& job) {
    // A window that is gone or did not take the command was not killed by us. In today's
    // browsers the window may lose only its front tab, or be left open.
    CloseOutcome outcome;
    DropFailure("close command", [&] { outcome = tabs_.Close(job.request); });
    DropFailure("close outcome", [&] { Settle(job.window, outcome); });
    bool handedOver = false;
    {
      std::lock_guard<std::mutex> lock(mutex);
      job.finished = true;
      job.outcome = std::move(outcome);
      handedOver = job.handedOver;
    }
    cv.notify_all();
    if (handedOver) Conclude(job);
  }

  std::shared_ptr<IDesktop> desktop_;
  std::shared_ptr<IMainThread> mainThread_;
  IKillHost* host_;
  std::shared_ptr<IClock> clock_;
  std::unordered_set<WindowHandle> pending;
  std::unordered_set<WindowHandle> reported;
  // Windows whose last close timed out: how often, and when they may be tried again.
  struct Retry {
    int timeOuts = 0;
    std::chrono::steady_clock::time_point notBefore{};
  };
  std::map<WindowHandle, Retry> timedOut_;
  // When a window of a program last timed out, by process id.
  std::map<std::uint32_t, std::chrono::steady_clock::time_point> hungPrograms_;
  std::deque<std::shared_ptr<Job>> fresh_;
  std::deque<std::shared_ptr<Job>> untried_;
  std::deque<std::shared_ptr<Job>> retries_;
  TabCloser tabs_;
  int threads_ = 0;
  int idle_ = 0;
  bool stopping_ = false;
};

void ScannerTracker::AskAllToStop() {
  std::vector<Tracked> tracked;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tracked = scanners_;
  }
  for (const Tracked& t : tracked) {
    if (auto scanner = t.scanner.lock()) scanner->Terminate();
    if (auto closes = t.closes.lock()) closes->Stop();
  }
}

bool ScannerTracker::AllEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Tracked& t : scanners_) {
    const auto scanner = t.scanner.lock();
    if (scanner && !scanner->WaitFor(std::chrono::milliseconds(0))) return false;
    const auto closes = t.closes.lock();
    if (closes && !closes->Ended()) return false;
  }
  return true;
}

std::shared_ptr<TSPopupThread> TSPopupThread::Create(ScannerServices services) {
  return std::shared_ptr<TSPopupThread>(new TSPopupThread(std::move(services)));
}

TSPopupThread::TSPopupThread(ScannerServices services)
    : services_(std::move(services)),
      settings_{DetectionOptions{}, std::make_shared<const PreparedRules>(),
                std::make_shared<const WindowRuleSet>()},
      closes_(std::make_shared<CloseBook>(services_)),
      ruleActor_(*services_.desktop, [book = closes_](WindowRuleActor::Report report) { book->Tell(std::move(report)); }) {}

TSPopupThread::~TSPopupThread() { closes_->Stop(); }

void TSPopupThread::SetDetection(const DetectionOptions& options) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  settings_.options = options;
}

void TSPopupThread::SetRules(const std::string& text) {
  auto rules = std::make_shared<PreparedRules>();
  for (const std::string& line : SplitLines(text)) rules->push_back(PrepareRule(line));
  std::lock_guard<std::mutex> lock(settingsMutex_);
  settings_.rules = std::move(rules);
}

void TSPopupThread::SetWindowRules(std::shared_ptr<const std::vector<WindowRule>> rules) {
  auto set = std::make_shared<const WindowRuleSet>(std::move(rules));
  std::lock_guard<std::mutex> lock(settingsMutex_);
  settings_.windowRules = std::move(set);
}

void TSPopupThread::Start() {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (started_) return;
    started_ = true;
  }
  std::thread([self = shared_from_this()] {
    // A failure of a cycle is caught inside; this catches what escapes the loop itself, after which
    // the closer starts a new scanner.
    DropFailure("scanner", [&] { self->Execute(); });
    std::lock_guard<std::mutex> lock(self->stateMutex_);
    self->finished_ = true;
    self->finishedCv_.notify_all();
  }).detach();
}

void TSPopupThread::Terminate() {
  terminated_ = true;
  // Out of its sleep at once, so that the end of the program does not wait for the beat.
  services_.sleeper->Wake();
}

bool TSPopupThread::Finished() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return started_ && finished_;
}

bool TSPopupThread::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(stateMutex_);
  if (!started_) return true;
  return finishedCv_.wait_for(lock, timeout, [this] { return finished_; });
}

void TSPopupThread::Execute() {
  IDesktop& desktop = *services_.desktop;
  while (!terminated_) {
    // A failure inside a pass (a window that vanished mid-read) costs that pass, not detection.
    DropFailure("scanner pass", [&] {
      if (!desktop.IsCtrlDown() && !desktop.IsScrollLockOn()) RunPass();
    });
    // The half-second beat stays; a window event cuts the sleep short and is judged at once.
    const auto beat = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCycleSleepMs);
    for (unsigned left = kCycleSleepMs; left > 0 && services_.sleeper->Sleep(left) && !terminated_;) {
      DropFailure("scanner events", [this] { JudgeNoticed(); });
      const auto now = std::chrono::steady_clock::now();
      left = now >= beat ? 0 : static_cast<unsigned>(
          std::chrono::duration_cast<std::chrono::milliseconds>(beat - now).count());
    }
    PostCheck();
  }
  ExplorerWindows.clear();
}

void TSPopupThread::PostCheck() {
  // One queued at a time: a main thread busy for seconds gets one check, not a backlog.
  if (checkQueued_.exchange(true)) return;
  auto check = [weak = weak_from_this()] {
    const std::shared_ptr<TSPopupThread> self = weak.lock();
    if (!self) return;
    // A copy: the check may pump messages, and a closer that goes meanwhile empties OnCheck.
    const std::function<void()> onCheck = self->OnCheck;
    if (onCheck) DropFailure("scanner check", onCheck);
    // Cleared only now: a check posted during this one's pumping would run inside it.
    self->checkQueued_ = false;
  };
  bool posted = false;
  DropFailure("scanner check", [&] { posted = services_.mainThread->Post(std::move(check)); });
  if (!posted) checkQueued_ = false;
}

void TSPopupThread::Notice(WindowHandle window) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(noticeMutex_);
    if (noticed_.size() >= kMaxNoticed || noticed_.count(window) != 0) return;
    // One wake for a burst: the scanner takes what has come together.
    wake = noticed_.empty();
    noticed_.insert(window);
  }
  if (wake) services_.sleeper->Wake();
}

void TSPopupThread::Forget(WindowHandle window) {
  {
    std::lock_guard<std::mutex> lock(noticeMutex_);
    forgotten_.push_back(window);
  }
  closes_->Forget(window);
  ruleActor_.Forget(window);
}

void TSPopupThread::JudgeNoticed() {
  const auto now = services_.clock ? services_.clock->Steady() : std::chrono::steady_clock::now();
  if (now - budgetStart_ >= std::chrono::seconds(1)) {
    budgetStart_ = now;
    budgetUsed_ = 0;
  }
  std::vector<WindowHandle> batch;
  {
    std::lock_guard<std::mutex> lock(noticeMutex_);
    for (auto it = noticed_.begin(); it != noticed_.end() && budgetUsed_ < kEventJudgingsPerSecond;) {
      batch.push_back(*it);
      it = noticed_.erase(it);
      ++budgetUsed_;
    }
  }
  IDesktop& desktop = *services_.desktop;
  // Paused: nothing is judged; the first pass after the pause sees these windows anyway.
  if (batch.empty() || desktop.IsCtrlDown() || desktop.IsScrollLockOn()) return;
  Judge(batch, false);
}

void TSPopupThread::RunPass() {
  {
    // The walk sees every window there is: what events announced before it needs no judging of its own.
    std::lock_guard<std::mutex> lock(noticeMutex_);
    noticed_.clear();
  }
  closes_->Prune(*services_.desktop);
  ruleActor_.Prune();
  Judge(services_.desktop->TopLevelWindows(), true);
}

void TSPopupThread::Judge(const std::vector<WindowHandle>& windows, bool wholeDesktop) {
  // One copy of the options and the rules for the whole judging: a change meanwhile counts from
  // the next one.
  Settings settings;
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    settings = settings_;
  }
  std::vector<WindowHandle> forgotten;
  {
    std::lock_guard<std::mutex> lock(noticeMutex_);
    forgotten.swap(forgotten_);
  }
  for (WindowHandle window : forgotten) identities_.Forget(window);
  ExplorerWindows.clear();
  programs_.NewWalk();
  // A window the last pass did not see is new: its close waits behind no other. Before the first
  // pass every window is there already (an event still announces a new one).
  std::unordered_set<WindowHandle> seen;
  WindowWalk walk(*services_.desktop, settings.options, *settings.rules, PassView{BrowserAsker::Scanner, &programs_});
  for (WindowHandle window : windows) {
    const WindowFacts facts(*services_.desktop, window, true, &programs_, &identities_);
    if (!settings.windowRules->Empty() && JudgeByWindowRules(window, facts, settings, wholeDesktop)) {
      if (wholeDesktop) seen.insert(window);
      continue;
    }
    walk.Visit(window, facts, [&](WindowHandle judged, const Verdict& verdict) {
      if (wholeDesktop) seen.insert(judged);
      if (verdict.countForLimit) ExplorerWindows.push_back(judged);
      if (verdict.action != Action::Close) return;
      const bool fresh = (!wholeDesktop || passed_) && seen_.count(judged) == 0;
      std::optional<RuleHit> hit;
      if (!verdict.bySize) hit = RuleHit{std::nullopt, verdict.reason};
      KillWindow(judged, KillReport{verdict.title, verdict.reason, {}, KillKind::Popup, std::move(hit)}, fresh,
                 verdict.bySize ? PickedBy::Size : PickedBy::Rule, verdict.sizeAndRule);
    });
  }
  if (wholeDesktop) {
    seen_ = std::move(seen);
    passed_ = true;
    identities_.EndWalk();
  }

  // The limit counts every frame on the desktop, which only a pass sees; an event never turns
  // into a walk of the whole desktop (a frame renamed sixty times would make sixty).
  if (!wholeDesktop) return;
  const std::int32_t limit = settings.options.explorerLimit;
  if (limit <= 0) return;
  while (ExplorerWindows.size() > static_cast<std::size_t>(limit)) {
    const WindowHandle frame = ExplorerWindows.front();
    KillWindow(frame, KillReport{services_.desktop->Title(frame), kLimitReason, {}, KillKind::Popup, std::nullopt});
    ExplorerWindows.erase(ExplorerWindows.begin());
  }
}

bool TSPopupThread::JudgeByWindowRules(WindowHandle window, const WindowFacts& facts, const Settings& settings,
                                       bool wholeDesktop) {
  const WindowRuleVerdict verdict = DecideByWindowRules(facts, *settings.windowRules, ownProcess_);
  if (verdict.rule == nullptr) return false;
  if (verdict.act || verdict.rule->action == WindowAction::Leave) {
    const auto now = services_.clock ? services_.clock->Steady() : std::chrono::steady_clock::now();
    if (std::optional<KillReport> close = ruleActor_.Act(window, facts, *verdict.rule, now)) {
      KillWindow(window, std::move(*close), (!wholeDesktop || passed_) && seen_.count(window) == 0);
    }
  }
  return true;
}

void TSPopupThread::KillWindow(WindowHandle window, KillReport report, bool fresh, PickedBy by,
                               const std::string& sizeAndRule) {
  if (terminated_) return;  // closing may take a while: not once the scanner is asked to end
  bool retry = false;
  if (!closes_->Begin(window, fresh, retry)) return;

  auto job = std::make_shared<CloseBook::Job>();
  job->window = window;
  job->request = CloseRequest{window, report.title, report.reason, by, sizeAndRule};
  job->report = std::move(report);
  job->fresh = fresh;
  job->retry = retry;
  try {
    closes_->Submit(job);
  } catch (...) {
    closes_->Done(window);
    throw;
  }
  {
    std::unique_lock<std::mutex> lock(closes_->mutex);
    // A retry, or a close that waits for a thread, would only hold up the windows after it.
    if (job->handedOver) return;
    if (!closes_->cv.wait_for(lock, kCloseWait, [&] { return job->finished; })) {
      job->handedOver = true;
      return;
    }
  }
  closes_->Conclude(*job);
}

}  // namespace zorvex
