#include "popups/TabClose.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "base/Trace.h"
#include "popups/BrowserTable.h"
#include "popups/WindowClasses.h"

namespace zorvex {

namespace {

// Windows left open remembered at the most before the gone ones are forgotten.
constexpr std::size_t kLeftPruneAt = 64;

// What a window left open is remembered by: its title, and what picked it. A rule that comes to
// fit the same title later is a reason to read it again.
std::string Picked(const CloseRequest& request) {
  return request.title + '\n' + request.reason + '\n' + request.sizeAndRule;
}

// What a strip worker found and did, handed back to the closing thread that waits for it.
struct Inspection {
  TabPlan plan;
  bool titleChanged = false;
  bool closed = false;
  std::string tabTitle;
};

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

  // Runs task on a worker; false when it did not end within bound, and the worker is abandoned.
  bool Run(std::function<void()> task, std::chrono::milliseconds bound) {
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
    if (!worker->cv.wait_for(lock, bound, [&] { return !worker->busy; })) {
      worker->stop = true;
      ++abandoned_;
      return false;
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

TabPlan PlanTabClose(const TabStripRead& read, PickedBy by) {
  switch (read.state) {
    case TabStripState::None: return TabPlan{TabVerdict::CloseWindow};
    case TabStripState::Error:
    case TabStripState::Timeout: return TabPlan{TabVerdict::LeaveOpen};
    case TabStripState::Read: break;
  }
  if (!read.strip) return TabPlan{TabVerdict::LeaveOpen};
  const std::vector<PageTab>& tabs = read.strip->Tabs();
  std::size_t visible = 0;
  std::size_t selected = 0;
  std::size_t front = 0;
  for (std::size_t i = 0; i < tabs.size(); ++i) {
    if (!tabs[i].visible) continue;
    ++visible;
    if (tabs[i].selected) {
      ++selected;
      front = i;
    }
  }
  // A page opened with window features: one tab, its strip hidden.
  if (visible <= 1) return TabPlan{TabVerdict::CloseWindow};
  // The size test guesses; a window with several tabs is the user's own.
  if (by == PickedBy::Size) return TabPlan{TabVerdict::LeaveQuietly};
  // The rule fitted the tab in front; which one that is must be beyond doubt.
  if (selected != 1) return TabPlan{TabVerdict::LeaveOpen};
  return TabPlan{TabVerdict::CloseFrontTab, front};
}

bool MayHoldTabs(const std::string& className) {
  return className == kChromiumFrameClass || className == browser_classes::kMozilla;
}

std::string LeftOpenLogLine(const std::string& title, const std::string& reason) {
  return "Popup Left Open: " + title + " (" + reason + "), its tabs could not be read";
}

TabCloser::TabCloser(std::shared_ptr<IDesktop> desktop, std::shared_ptr<ITabStrips> strips,
                     std::chrono::milliseconds bound)
    : desktop_(std::move(desktop)),
      strips_(std::move(strips)),
      bound_(bound),
      workers_(strips_ ? std::make_shared<Workers>(strips_) : nullptr) {}

TabCloser::~TabCloser() = default;

int TabCloser::Abandoned() const { return workers_ ? workers_->Abandoned() : 0; }

bool TabCloser::LeftUnchanged(WindowHandle window, const std::string& picked) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = left_.find(window);
  return it != left_.end() && it->second == picked;
}

void TabCloser::Leave(WindowHandle window, const std::string& picked) {
  std::map<WindowHandle, std::string> known;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    left_[window] = picked;
    if (left_.size() < kLeftPruneAt) return;
    known = left_;
  }
  // Handles are reused: a window that is gone must not hide a new one.
  for (const auto& entry : known) {
    if (!desktop_->ClassName(entry.first).empty()) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    left_.erase(entry.first);
  }
}

CloseOutcome TabCloser::Close(const CloseRequest& request) {
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

  auto inspection = std::make_shared<Inspection>();
  const bool answered = workers_->Run(
      [inspection, request, ruleToo, strips = strips_, desktop = desktop_] {
        TabStripRead read = strips->Read(request.window);
        inspection->plan = PlanTabClose(read, request.by);
        if (ruleToo && inspection->plan.verdict == TabVerdict::LeaveQuietly) {
          inspection->plan = PlanTabClose(read, PickedBy::Rule);
        }
        if (inspection->plan.verdict != TabVerdict::CloseFrontTab) return;
        // The user may have brought another tab to the front since the rule fitted: not ours.
        if (desktop->Title(request.window) != request.title) {
          inspection->titleChanged = true;
          return;
        }
        inspection->tabTitle = read.strip->Tabs()[inspection->plan.tab].title;
        inspection->closed = read.strip->CloseTab(inspection->plan.tab);
      },
      bound_);
  if (!answered) {
    Leave(window, picked);
    outcome.leftLine = LeftOpenLogLine(request.title, reason);
    return outcome;
  }
  if (inspection->titleChanged) return outcome;  // the next pass judges its new front tab
  switch (inspection->plan.verdict) {
    case TabVerdict::CloseWindow:
      outcome.sent = true;
      outcome.taken = desktop_->Close(window);
      break;
    case TabVerdict::CloseFrontTab:
      if (inspection->closed) {
        outcome.tabClosed = true;
        outcome.tabTitle = inspection->tabTitle.empty() ? request.title : inspection->tabTitle;
        outcome.tabReason = reason;
        break;
      }
      Leave(window, picked);
      outcome.leftLine = LeftOpenLogLine(request.title, reason);
      break;
    case TabVerdict::LeaveOpen:
      Leave(window, picked);
      outcome.leftLine = LeftOpenLogLine(request.title, reason);
      break;
    case TabVerdict::LeaveQuietly:
      Leave(window, picked);
      break;
  }
  return outcome;
}

}  // namespace zorvex
