#include "popups/ClassPopupsThread.h"

#include <algorithm>
#include <deque>
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
// Threads that send close commands: as many windows may hang at once without holding up the rest.
constexpr int kClosingThreads = 4;
// Windows judged off the beat, because an event announced them, in one second at the most. A
// person meets a few popups a second; a program that makes hundreds of windows a second would
// otherwise keep the scanner busy judging its windows one by one. Past the bound, windows wait for
// the next pass, which judges every window anyway: detection is as fast as before events existed.
constexpr int kEventJudgingsPerSecond = 50;
// Announced windows kept for judging at the most; the pass sees the others.
constexpr std::size_t kMaxNoticed = 256;
// Reason logged for a window closed because too many Explorer windows were open.
constexpr const char* kLimitReason = "Explorer limit";
constexpr const char* kHeuristicReason = "Heuristic";

bool Between(int value, int low, int high) { return value >= low && value <= high; }

void ClassifyDescendants(TSPopupThread& context, WindowHandle window) {
  for (WindowHandle child : context.Desktop().Descendants(window)) {
    if (context.FirstJudging(child)) ClassifyWindow(context, child, false);
  }
}

}  // namespace

void ScannerTracker::Add(const std::shared_ptr<TSPopupThread>& scanner) {
  std::lock_guard<std::mutex> lock(mutex_);
  scanners_.erase(std::remove_if(scanners_.begin(), scanners_.end(), [](const auto& s) { return s.expired(); }),
                  scanners_.end());
  scanners_.push_back(scanner);
}

bool ScannerTracker::StopAll(std::chrono::milliseconds timeout) {
  std::vector<std::shared_ptr<TSPopupThread>> running;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& weak : scanners_) {
      if (auto scanner = weak.lock()) running.push_back(scanner);
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
    CloseRequest request;
    std::string line;
    // Posts a line for the log; kill: counted and announced as well.
    std::function<void(const std::string&, bool kill)> report;
    bool finished = false;
    CloseOutcome outcome;
    bool handedOver = false;  // the scanner stopped waiting: the closing thread reports
  };

  explicit CloseBook(const ScannerServices& services) : tabs_(services.desktop, services.tabStrips) {}

  // Queues a close for the closing threads, starting one when none is free.
  void Submit(const std::shared_ptr<Job>& job) {
    bool start = false;
    {
      std::lock_guard<std::mutex> lock(mutex);
      queue_.push_back(job);
      // More closes waiting than threads free to take them: one more thread, up to the bound. A
      // thread that never got going (seen under load) is then made up for by the next.
      if (static_cast<int>(queue_.size()) > idle_ && threads_ < kClosingThreads) {
        ++threads_;
        start = true;
      }
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

  // Takes window for a new close; false while one is pending or too many are.
  bool Begin(WindowHandle window) {
    std::lock_guard<std::mutex> lock(mutex);
    if (pending.size() >= kMaxPendingCloses) return false;
    return pending.insert(window).second;
  }
  // A close has ended: true when it is to be reported, that is the window took the command and
  // was not reported since it was last seen gone. The window stays pending until Done(), so that
  // nothing is pending once every report is posted.
  bool Finish(WindowHandle window, bool taken) {
    std::lock_guard<std::mutex> lock(mutex);
    return taken && reported.insert(window).second;
  }
  void Done(WindowHandle window) {
    std::lock_guard<std::mutex> lock(mutex);
    pending.erase(window);
  }
  // Reports what a finished close did, whoever waited for it, and ends its pending.
  void Settle(const Job& job) {
    // Every front tab closed is a kill of its own, though its window stays.
    if (job.outcome.tabClosed) {
      job.report(KillLogLine(job.outcome.tabTitle, job.request.reason), true);
    } else if (Finish(job.window, job.outcome.taken)) {
      job.report(job.line, true);
    }
    if (!job.outcome.leftLine.empty()) job.report(job.outcome.leftLine, false);
    Done(job.window);
  }
  // Forgets reported windows that are gone, so that a new window given the same handle counts.
  void Prune(IDesktop& desktop) {
    std::vector<WindowHandle> known;
    {
      std::lock_guard<std::mutex> lock(mutex);
      known.assign(reported.begin(), reported.end());
    }
    for (WindowHandle window : known) {
      if (!desktop.ClassName(window).empty()) continue;
      std::lock_guard<std::mutex> lock(mutex);
      reported.erase(window);
    }
  }

  std::mutex mutex;
  std::condition_variable cv;
  std::unordered_set<WindowHandle> pending;
  std::unordered_set<WindowHandle> reported;

 private:
  // A closing thread: takes queued closes until stopped.
  void Serve() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      ++idle_;
      cv.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      --idle_;
      if (queue_.empty()) break;  // stopping, nothing left
      const std::shared_ptr<Job> job = queue_.front();
      queue_.pop_front();
      lock.unlock();
      Close(*job);
      lock.lock();
    }
    --threads_;
  }

  void Close(Job& job) {
    // A window that is gone or did not take the command was not killed by us. In today's
    // browsers the window may lose only its front tab, or be left open.
    CloseOutcome outcome;
    DropFailure("close command", [&] { outcome = tabs_.Close(job.request); });
    bool handedOver = false;
    {
      std::lock_guard<std::mutex> lock(mutex);
      job.finished = true;
      job.outcome = std::move(outcome);
      handedOver = job.handedOver;
    }
    cv.notify_all();
    if (handedOver) Settle(job);
  }

  TabCloser tabs_;
  std::deque<std::shared_ptr<Job>> queue_;
  int threads_ = 0;
  int idle_ = 0;
  bool stopping_ = false;
};

std::shared_ptr<TSPopupThread> TSPopupThread::Create(ScannerServices services) {
  return std::shared_ptr<TSPopupThread>(new TSPopupThread(std::move(services)));
}

TSPopupThread::TSPopupThread(ScannerServices services)
    : services_(std::move(services)),
      rules_(std::make_shared<const ScannerRules>()),
      closes_(std::make_shared<CloseBook>(services_)) {}

TSPopupThread::~TSPopupThread() { closes_->Stop(); }

void TSPopupThread::SetRules(const std::string& text) {
  auto rules = std::make_shared<ScannerRules>();
  for (const std::string& line : SplitLines(text)) rules->push_back(PrepareRule(line));
  std::lock_guard<std::mutex> lock(rulesMutex_);
  rules_ = std::move(rules);
}

std::vector<std::string> TSPopupThread::Rules() const {
  std::shared_ptr<const ScannerRules> rules;
  {
    std::lock_guard<std::mutex> lock(rulesMutex_);
    rules = rules_;
  }
  std::vector<std::string> texts;
  for (const ScannerRule& rule : *rules) texts.push_back(rule.text);
  return texts;
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
    // A failure inside a pass or the check (a window that vanished mid-read, a DDE reply the main
    // thread could not take) costs that pass, not detection.
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
    DropFailure("scanner check", [this] {
      services_.mainThread->Run([this] {
        if (OnCheck) OnCheck();
      });
    });
  }
  ExplorerWindows.clear();
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

std::size_t TSPopupThread::Noticed() const {
  std::lock_guard<std::mutex> lock(noticeMutex_);
  return noticed_.size();
}

void TSPopupThread::JudgeNoticed() {
  const auto now = std::chrono::steady_clock::now();
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
  Judge(batch);
}

void TSPopupThread::RunPass() {
  {
    // The walk sees every window there is: what events announced before it needs no judging of its own.
    std::lock_guard<std::mutex> lock(noticeMutex_);
    noticed_.clear();
  }
  closes_->Prune(*services_.desktop);
  Judge(services_.desktop->TopLevelWindows(), true);
}

void TSPopupThread::Judge(const std::vector<WindowHandle>& windows, bool wholeDesktop) {
  {
    std::lock_guard<std::mutex> lock(rulesMutex_);
    passRules_ = rules_;
  }
  struct EndOfPass {
    TSPopupThread& self;
    ~EndOfPass() {
      self.passRules_.reset();
      self.judged_.clear();
    }
  } endOfPass{*this};
  ExplorerWindows.clear();
  judged_.clear();
  programs_.Clear();
  for (WindowHandle window : windows) ClassifyWindow(*this, window, true);

  const int limit = services_.host ? services_.host->ExplorerLimit() : 0;
  if (limit <= 0 || ExplorerWindows.empty()) return;
  // The limit counts every frame on the desktop: a new frame announced by an event takes a walk.
  if (!wholeDesktop) {
    Judge(services_.desktop->TopLevelWindows(), true);
    return;
  }
  while (ExplorerWindows.size() > static_cast<std::size_t>(limit)) {
    Reason = kLimitReason;
    KillWindow(ExplorerWindows.front());
    ExplorerWindows.erase(ExplorerWindows.begin());
  }
}

const ScannerRules& TSPopupThread::PassRules() {
  if (!passRules_) {
    std::lock_guard<std::mutex> lock(rulesMutex_);
    passRules_ = rules_;
  }
  return *passRules_;
}

std::size_t TSPopupThread::PendingCloses() const {
  std::lock_guard<std::mutex> lock(closes_->mutex);
  return closes_->pending.size();
}

void TSPopupThread::KillWindow(WindowHandle window) {
  if (terminated_) return;  // closing may take a while: not once the scanner is asked to end
  KilledTitle = services_.desktop->Title(window);
  if (!closes_->Begin(window)) return;

  auto job = std::make_shared<CloseBook::Job>();
  job->window = window;
  job->request =
      CloseRequest{window, KilledTitle, Reason, Reason == kHeuristicReason ? PickedBy::Size : PickedBy::Rule};
  job->line = KillLogLine(KilledTitle, Reason);
  // The report is posted, so that the scanner never waits for the log, the sound or the flash.
  job->report = [mainThread = services_.mainThread, host = services_.host](const std::string& line, bool kill) {
    if (host == nullptr) return;
    mainThread->Post([host, line, kill] {
      host->WriteLog(line);
      if (kill) host->PlayAlarm();
    });
  };
  try {
    closes_->Submit(job);
  } catch (...) {
    closes_->Done(window);
    throw;
  }

  {
    std::unique_lock<std::mutex> lock(closes_->mutex);
    if (!closes_->cv.wait_for(lock, kCloseWait, [&] { return job->finished; })) {
      job->handedOver = true;
      return;
    }
  }
  closes_->Settle(*job);
}

std::string KillLogLine(const std::string& title, const std::string& reason) {
  return "Popup Killed: " + title + " (" + reason + ")";
}

bool IsPopupBySize(IDesktop& desktop, WindowHandle window) {
  if (!desktop.IsVisible(window) || desktop.IsMinimised(window)) return false;
  const Rect r = desktop.WindowRect(window);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const bool wide = Between(height, 50, 200) && Between(width, 350, 650);
  const bool square = Between(height, 200, 250) && Between(width, 200, 250);
  return wide || square;
}

void ClassifyWindow(TSPopupThread& context, WindowHandle window, bool topLevel) {
  IDesktop& desktop = context.Desktop();
  const BrowserVerdict verdict = ClassifyBrowserWindow(desktop, window, context.Families(), BrowserAsker::Scanner,
                                                       topLevel, &context.Programs());
  if (verdict.kind == WindowKind::Container) {
    ClassifyDescendants(context, window);
    return;
  }
  if (verdict.kind != WindowKind::Browser) return;

  if (context.Agressive && verdict.sizeJudged && IsPopupBySize(desktop, window)) {
    context.Reason = kHeuristicReason;
    context.KillWindow(window);
    return;
  }
  if (verdict.limited) context.ExplorerWindows.push_back(window);

  const std::string title = PreparedTitle(desktop.Title(window));
  for (const ScannerRule& rule : context.PassRules()) {
    if (rule.mask && rule.mask->Fits(title)) {
      context.Reason = rule.text;
      context.KillWindow(window);
      return;
    }
  }
  if (verdict.searchDescendants) ClassifyDescendants(context, window);
}

}  // namespace zorvex
