#include "popups/TabClose.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "base/Trace.h"
#include "popups/BrowserTable.h"
#include "popups/RuleFit.h"

namespace zorvex {

namespace {

// Windows left open remembered at the most before the gone ones are forgotten.
constexpr std::size_t kLeftPruneAt = 64;

// What a window left open is remembered by: its title, and what picked it. A rule that comes to
// fit the same title later is a reason to read it again.
std::string Picked(const CloseRequest& request) {
  return request.title + '\n' + request.reason + '\n' + request.sizeAndRule;
}

// Readers abandoned by their closing thread and still caught in a browser, at the most; past it a
// window that needs a read is left open, so that hung browsers cannot pile up threads.
constexpr std::size_t kMaxHungReaders = 4;
// However busy the machine and however steadily the browser answers, a read ends by then.
constexpr auto kMaxRead = std::chrono::seconds(30);
// How often a pressed close button is checked for having taken its tab away.
constexpr auto kConfirmStep = std::chrono::milliseconds(20);

// What a strip worker found and did, handed back to the closing thread that waits for it.
struct Inspection {
  TabPlan plan;
  bool fullScreen = false;
  bool titleChanged = false;
  // The selected tab is not the page the rule fitted: the strip's selection moved first.
  bool notPicked = false;
  bool pressed = false;
  bool closed = false;
  std::string tabTitle;
};

bool FillsMonitor(const Rect& window, const Rect& monitor) {
  return monitor.right > monitor.left && window.left <= monitor.left && window.top <= monitor.top &&
         window.right >= monitor.right && window.bottom >= monitor.bottom;
}

bool StartsWith(const std::string& text, std::size_t at, const char* piece) {
  return text.compare(at, std::char_traits<char>::length(piece), piece) == 0;
}

}  // namespace

// Kept threads that read strips, each entered for reading once (on Windows: COM) for its life.
struct TabCloser::Workers {
  struct Worker {
    std::mutex mutex;
    std::condition_variable cv;
    std::function<void()> task;
    bool busy = false;
    bool stop = false;  // end once the task in hand (if any) returns
  };

  explicit Workers(std::shared_ptr<ITabStrips> strips) : strips_(std::move(strips)) {}
  ~Workers() {
    for (const auto& worker : idle_) Stop(*worker);
  }

  // Runs task on a worker; false when it went a whole bound without a step counted in steps (or
  // past kMaxRead in all), and the worker is abandoned.
  bool Run(std::function<void()> task, std::chrono::milliseconds bound, const std::atomic<unsigned>& steps) {
    std::shared_ptr<Worker> worker;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!idle_.empty()) {
        worker = idle_.back();
        idle_.pop_back();
      }
    }
    if (!worker) {
      worker = std::make_shared<Worker>();
      // The thread holds its worker and the strips, never this pool: it may outlive both.
      std::thread([worker, strips = strips_] { Serve(*worker, *strips); }).detach();
    }
    std::unique_lock<std::mutex> lock(worker->mutex);
    worker->task = std::move(task);
    worker->busy = true;
    worker->cv.notify_all();
    const auto cap = std::chrono::steady_clock::now() + kMaxRead;
    for (unsigned seen = steps;; seen = steps) {
      if (worker->cv.wait_for(lock, bound, [&] { return !worker->busy; })) break;
      // Slow is not hung: a browser that answers on a loaded machine is waited for.
      if (steps == seen || std::chrono::steady_clock::now() >= cap) {
        worker->stop = true;
        ++abandoned_;
        return false;
      }
    }
    lock.unlock();
    std::lock_guard<std::mutex> poolLock(mutex_);
    idle_.push_back(worker);
    return true;
  }

  int Abandoned() const { return abandoned_; }

 private:
  static void Stop(Worker& worker) {
    std::lock_guard<std::mutex> lock(worker.mutex);
    worker.stop = true;
    worker.cv.notify_all();
  }

  static void Serve(Worker& worker, ITabStrips& strips) {
    std::shared_ptr<void> entered;
    DropFailure("tab strip thread", [&] { entered = strips.EnterThread(); });
    std::unique_lock<std::mutex> lock(worker.mutex);
    for (;;) {
      worker.cv.wait(lock, [&] { return worker.stop || worker.task; });
      if (worker.task) {
        std::function<void()> task = std::move(worker.task);
        worker.task = nullptr;
        lock.unlock();
        DropFailure("tab strip", task);
        task = nullptr;  // what it holds of the browser goes on this thread, while it is entered
        lock.lock();
        worker.busy = false;
        worker.cv.notify_all();
      }
      if (worker.stop) break;
    }
    lock.unlock();
    entered.reset();
  }

  std::shared_ptr<ITabStrips> strips_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<Worker>> idle_;
  std::atomic<int> abandoned_{0};
};

// One read of one window. The closing thread that waits for it and the worker settle under the
// reading lock who has the last word: a read given up never presses, and a read that is pressing
// is not given up unseen.
struct TabCloser::Reading {
  enum class State { Reading, Pressing, Done, GivenUp };
  std::mutex mutex;
  // Windows whose abandoned reader still runs.
  std::set<WindowHandle> hung;
};

namespace {

struct ReadJob {
  TabCloser::Reading::State state = TabCloser::Reading::State::Reading;
  ReadWatch watch;
  Inspection inspection;
};

// Waits until the pressed tab is gone: the window's title changes to the next tab's, the window
// goes with its last tab, or a new read shows one tab fewer.
bool Confirm(IDesktop& desktop, ITabStrips& strips, const CloseRequest& request, std::size_t tabsBefore,
             std::chrono::milliseconds confirm, ReadWatch& watch) {
  const auto until = std::chrono::steady_clock::now() + confirm;
  for (;;) {
    if (!desktop.Exists(request.window) || desktop.Title(request.window) != request.title) return true;
    if (watch.givenUp || std::chrono::steady_clock::now() >= until) break;
    // The wait is bounded here: it is no sign of a hung browser.
    ++watch.steps;
    std::this_thread::sleep_for(kConfirmStep);
  }
  const TabStripRead again = strips.Read(request.window, watch);
  return again.state == TabStripState::Read && again.strip && again.strip->Tabs().size() < tabsBefore;
}

}  // namespace

TabPlan PlanTabClose(const TabStripRead& read, PickedBy by, bool fullScreen) {
  switch (read.state) {
    // In full screen a browser hides its strip: the window may hold any number of tabs.
    case TabStripState::None: return TabPlan{fullScreen ? TabVerdict::LeaveOpen : TabVerdict::CloseWindow};
    case TabStripState::Error:
    case TabStripState::Timeout: return TabPlan{TabVerdict::LeaveOpen};
    case TabStripState::Read: break;
  }
  if (!read.strip) return TabPlan{TabVerdict::LeaveOpen};
  // Hidden tabs count: a collapsed group or a hidden strip still holds the user's pages.
  const std::vector<PageTab>& tabs = read.strip->Tabs();
  std::size_t selected = 0;
  std::size_t front = 0;
  for (std::size_t i = 0; i < tabs.size(); ++i) {
    if (tabs[i].selected) {
      ++selected;
      front = i;
    }
  }
  // A page opened with window features: one tab, its strip hidden.
  if (tabs.size() <= 1) return TabPlan{TabVerdict::CloseWindow};
  // The size test guesses; a window with several tabs is the user's own.
  if (by == PickedBy::Size) return TabPlan{TabVerdict::LeaveQuietly};
  // The rule fitted the tab in front; which one that is must be beyond doubt.
  if (selected != 1) return TabPlan{TabVerdict::LeaveOpen};
  return TabPlan{TabVerdict::CloseFrontTab, front};
}

bool FrontTabIsPicked(const std::string& tab, const std::string& rule, const std::string& windowTitle) {
  if (tab.empty()) return false;
  const PreparedRule prepared = PrepareRule(rule);
  if (prepared.mask && prepared.mask->Fits(PreparedTitle(tab))) return true;
  if (windowTitle == tab) return true;
  if (windowTitle.size() <= tab.size() || windowTitle.compare(0, tab.size(), tab) != 0) return false;
  // "Page - Browser", with a hyphen, an en dash or an em dash.
  const std::size_t at = tab.size();
  return StartsWith(windowTitle, at, " - ") || StartsWith(windowTitle, at, " \xE2\x80\x93 ") ||
         StartsWith(windowTitle, at, " \xE2\x80\x94 ");
}

std::string LeftOpenLogLine(const std::string& title, const std::string& rule, const std::string& why) {
  return "Popup Left Open: " + title + " (" + rule + "), " + why;
}

TabCloser::TabCloser(std::shared_ptr<IDesktop> desktop, std::shared_ptr<ITabStrips> strips,
                     std::chrono::milliseconds bound, std::chrono::milliseconds confirm)
    : desktop_(std::move(desktop)),
      strips_(std::move(strips)),
      bound_(bound),
      confirm_(confirm),
      workers_(strips_ ? std::make_shared<Workers>(strips_) : nullptr),
      reading_(std::make_shared<Reading>()) {}

TabCloser::~TabCloser() = default;

int TabCloser::Abandoned() const { return workers_ ? workers_->Abandoned() : 0; }

bool TabCloser::LeftUnchanged(WindowHandle window, const std::string& picked) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = left_.find(window);
  return it != left_.end() && it->second == picked;
}

void TabCloser::Leave(WindowHandle window, const std::string& picked) {
  bool prune = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    left_[window] = picked;
    prune = left_.size() >= kLeftPruneAt;
  }
  if (prune) Prune();
}

void TabCloser::Forget(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  left_.erase(window);
}

void TabCloser::Prune() {
  std::vector<WindowHandle> known;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : left_) known.push_back(entry.first);
  }
  // Handles are reused: a window that is gone must not hide a new one.
  for (WindowHandle window : known) {
    if (!desktop_->Exists(window)) Forget(window);
  }
}

CloseOutcome TabCloser::Close(const CloseRequest& request) {
  using State = Reading::State;
  CloseOutcome outcome;
  const WindowHandle window = request.window;
  if (!workers_ || !MayHoldTabs(desktop_->ClassName(window))) {
    outcome.sent = true;
    outcome.taken = desktop_->Close(window);
    return outcome;
  }
  // Read once, said once: a window left open is not asked again while its front tab stays.
  const std::string picked = Picked(request);
  if (LeftUnchanged(window, picked)) return outcome;
  // A window picked by size whose title a rule fits too: that rule takes its front tab.
  const bool ruleToo = request.by == PickedBy::Size && !request.sizeAndRule.empty();
  const std::string& reason = ruleToo ? request.sizeAndRule : request.reason;
  // Left open and said once, with why; not asked again while the window keeps its title.
  const auto leaveOpen = [&](const char* why) {
    Leave(window, picked);
    outcome.leftLine = LeftOpenLogLine(request.title, reason, why);
    return outcome;
  };
  bool capped = false;
  {
    std::lock_guard<std::mutex> lock(reading_->mutex);
    // Said when its reader was given up; asked again only once that reader has ended.
    if (reading_->hung.count(window) != 0) return outcome;
    capped = reading_->hung.size() >= kMaxHungReaders;
  }
  if (capped) return leaveOpen(kBrowsersNotAnswering);

  auto job = std::make_shared<ReadJob>();
  const bool answered = workers_->Run(
      [job, reading = reading_, request, reason, ruleToo, strips = strips_, desktop = desktop_, confirm = confirm_] {
        Inspection& inspection = job->inspection;
        // However the read ends, a reader given up leaves its window free for the next read.
        struct Finish {
          ReadJob& job;
          Reading& reading;
          WindowHandle window;
          ~Finish() {
            std::lock_guard<std::mutex> lock(reading.mutex);
            if (job.state == State::GivenUp) {
              reading.hung.erase(window);
            } else {
              job.state = State::Done;
            }
          }
        } finish{*job, *reading, request.window};
        TabStripRead read = strips->Read(request.window, job->watch);
        inspection.fullScreen = read.state == TabStripState::None &&
                                FillsMonitor(desktop->WindowRect(request.window), desktop->MonitorRect(request.window));
        inspection.plan = PlanTabClose(read, request.by, inspection.fullScreen);
        if (ruleToo && inspection.plan.verdict == TabVerdict::LeaveQuietly) {
          inspection.plan = PlanTabClose(read, PickedBy::Rule);
        }
        if (inspection.plan.verdict != TabVerdict::CloseFrontTab) return;
        // The user may have brought another tab to the front since the rule fitted: not ours.
        if (desktop->Title(request.window) != request.title) {
          inspection.titleChanged = true;
          return;
        }
        const PageTab& tab = read.strip->Tabs()[inspection.plan.tab];
        // A browser moves its selection before its title: the tab in front must be the page.
        if (!FrontTabIsPicked(tab.title, reason, request.title)) {
          inspection.notPicked = true;
          return;
        }
        {
          std::lock_guard<std::mutex> lock(reading->mutex);
          if (job->state == State::GivenUp) return;
          job->state = State::Pressing;
        }
        inspection.tabTitle = tab.title;
        inspection.pressed = read.strip->CloseTab(inspection.plan.tab);
        inspection.closed = inspection.pressed &&
                            Confirm(*desktop, *strips, request, read.strip->Tabs().size(), confirm, job->watch);
      },
      bound_, job->watch.steps);
  bool givenUp = false;
  if (!answered) {
    std::lock_guard<std::mutex> lock(reading_->mutex);
    // It may have ended between the bound and this lock: then its answer stands.
    if (job->state != State::Done) {
      // A press already under way in a browser that stopped answering may still land; the tab
      // then goes uncounted, which is the lesser fault than counting a kill that did not happen.
      job->state = State::GivenUp;
      job->watch.givenUp = true;
      reading_->hung.insert(window);
      givenUp = true;
    }
  }
  if (givenUp) return leaveOpen(kTabsUnreadable);
  const Inspection& inspection = job->inspection;
  if (inspection.titleChanged) return outcome;  // the next pass judges its new front tab
  if (inspection.notPicked) {
    Leave(window, picked);
    return outcome;
  }
  switch (inspection.plan.verdict) {
    case TabVerdict::CloseWindow:
      outcome.sent = true;
      outcome.taken = desktop_->Close(window);
      break;
    case TabVerdict::CloseFrontTab:
      if (inspection.closed) {
        outcome.tabClosed = true;
        outcome.tabTitle = inspection.tabTitle.empty() ? request.title : inspection.tabTitle;
        outcome.tabReason = reason;
        break;
      }
      // A press that took nothing away would take nothing away on every pass.
      return leaveOpen(inspection.pressed ? kTabStayed : kTabsUnreadable);
    case TabVerdict::LeaveOpen:
      return leaveOpen(inspection.fullScreen ? kFullScreenNoTabs : kTabsUnreadable);
    case TabVerdict::LeaveQuietly:
      Leave(window, picked);
      break;
  }
  return outcome;
}

}  // namespace zorvex
