// The scanner: the one background thread that walks the desktop twice a second, and judges the
// windows the system announces in between, by the per-window decision (popups/Decision.h); it
// hands the popups that decision names to its closing threads (a window of tabs may lose only its
// front tab) and enforces the Explorer window limit. It never waits on the main thread: its
// reports and the closer's check are posted there.
//
// Lifecycle: created suspended with Create(); the creator hands over the detection options, the
// rules and OnCheck, then Start(). The running thread holds a reference to its own object, so the
// object lives until the body returns even when the creator forgets it ("free on terminate").
// Terminate() only asks; the current cycle (walk, limit step, sleep, posting the check) still
// completes, but starts no new close. WaitFor() is the bounded join used at process end.
//
// Closing: close commands are sent by a few closing threads, kept while closes come (each ends
// after half a minute without one); the scanner waits for one about 100 ms and then goes on. A
// close still pending finishes and reports by itself; the closing threads hold only shared
// services and reach the host only through work posted to the main thread, which is dropped once
// the main loop has ended, so they never outlive what they touch.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Platform.h"
#include "popups/Decision.h"
#include "popups/DetectionOptions.h"
#include "popups/KillReport.h"
#include "popups/TabClose.h"
#include "popups/WindowRuleActions.h"
#include "popups/WindowRules.h"

namespace zorvex {

// The platform services a scanner uses. The host, when set, must outlive every scanner thread and
// the main loop (kill reports are posted to the main thread).
struct ScannerServices {
  std::shared_ptr<IDesktop> desktop;
  std::shared_ptr<IMainThread> mainThread;
  std::shared_ptr<ISleeper> sleeper;
  IKillHost* host = nullptr;
  // Times the pauses before a hung window is tried again and the budget of event judgings; the
  // steady clock when empty.
  std::shared_ptr<IClock> clock;
  // Reads today's browsers' tab strips before they are closed; may be empty: every window is then
  // closed whole.
  std::shared_ptr<ITabStrips> tabStrips = nullptr;
  // How long a closing thread waits for a strip to be read and its tab closed before it gives up.
  std::chrono::milliseconds tabReadBound = std::chrono::seconds(5);
};

class TSPopupThread : public std::enable_shared_from_this<TSPopupThread> {
 public:
  // Makes a scanner that has not started yet.
  static std::shared_ptr<TSPopupThread> Create(ScannerServices services);
  ~TSPopupThread();
  TSPopupThread(const TSPopupThread&) = delete;
  TSPopupThread& operator=(const TSPopupThread&) = delete;

  // Replaces the detection options. Any thread; the next pass or event judging uses them.
  void SetDetection(const DetectionOptions& options);
  // Replaces the rules by the lines of text (CR, LF or CR LF), prepared as PrepareRule does ("["
  // and "]" become "?"). Any thread; a pass in progress keeps the list it started with.
  void SetRules(const std::string& text);
  // Replaces the window rules. Any thread; the next pass or event judging uses them.
  void SetWindowRules(std::shared_ptr<const std::vector<WindowRule>> rules);
  // Posted to the main thread at the end of every cycle, unless the last one posted has not run
  // yet; never waited for. Set, emptied and run on the main thread only: a check still queued when
  // it is emptied does nothing.
  std::function<void()> OnCheck;

  // Starts the thread body; at most once.
  void Start();
  // Asks the body to end at the top of its next cycle.
  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  // The body has returned (it was started and is not running any more).
  bool Finished();
  // Waits up to timeout for the body to return; true when it has (or never started).
  bool WaitFor(std::chrono::milliseconds timeout);

  // A top-level window the system announced (made, shown or renamed): judged at once, between the
  // passes, by the same decision. Any thread; wakes the scanner.
  void Notice(WindowHandle window);
  // A top-level window the system says is destroyed: what is known of it is forgotten, so that a
  // new window given its handle is judged as new. Any thread.
  void Forget(WindowHandle window);
  // Bookkeeping shared between the scanner and its closing threads (defined in the source).
  struct CloseBook;

 private:
  friend class ScannerTracker;
  friend struct Probe;
  // The thread body: cycles until Terminate(). A cycle that fails costs that cycle only.
  void Execute();
  // One cycle's walk over the top-level windows and the Explorer limit step.
  void RunPass();
  // Judges the windows noticed so far, as many as the budget for events allows. Scanner thread.
  void JudgeNoticed();
  // Sends the close command to one window and reports it, once it took the command, as report
  // says. Waits for the window about 100 ms at most; a window whose close is still pending is not
  // sent the command again. A window whose close timed out is tried again only after a pause that
  // grows with each time-out, and behind the windows not tried yet; a fresh window (made since the
  // last pass) goes before both and always gets a closing thread. A window of today's browsers
  // that holds several tabs loses only its front tab, and only when a rule picked it (by says) or
  // fits it as well as its size (sizeAndRule). Scanner thread.
  void KillWindow(WindowHandle window, KillReport report, bool fresh = false, PickedBy by = PickedBy::Rule,
                  const std::string& sizeAndRule = {});

  // Explorer frame windows counted in the pass in progress (or the last one), highest first.
  // Scanner thread.
  std::vector<WindowHandle> ExplorerWindows;

  explicit TSPopupThread(ScannerServices services);
  // Queues OnCheck for the main thread, at most one at a time.
  void PostCheck();
  // Judges windows (top-level ones) by the decision; wholeDesktop tells that they are every
  // top-level window, after which the Explorer limit step runs.
  void Judge(const std::vector<WindowHandle>& windows, bool wholeDesktop);

  // What a pass or an event judging reads from start to end.
  struct Settings {
    DetectionOptions options;
    std::shared_ptr<const PreparedRules> rules;
    std::shared_ptr<const WindowRuleSet> windowRules;
  };
  // Judges a top-level window by the window rules and does what they say; true when one took it,
  // and the browser logic leaves it alone.
  bool JudgeByWindowRules(WindowHandle window, const WindowFacts& facts, const Settings& settings, bool wholeDesktop);

  ScannerServices services_;
  mutable std::mutex settingsMutex_;
  Settings settings_;
  ProgramNames programs_{*services_.desktop};
  // Scanner thread; what Forget tells it waits in forgotten_ for the next judging.
  WindowIdentities identities_;
  const std::uint32_t ownProcess_ = services_.desktop->OwnProcessId();
  // Scanner thread: the windows the last pass judged, and whether a pass has run.
  std::unordered_set<WindowHandle> seen_;
  bool passed_ = false;
  mutable std::mutex noticeMutex_;
  std::unordered_set<WindowHandle> noticed_;
  std::vector<WindowHandle> forgotten_;
  // Scanner thread: the judgings of the events of the current second.
  std::chrono::steady_clock::time_point budgetStart_{};
  int budgetUsed_ = 0;
  std::shared_ptr<CloseBook> closes_;
  // Scanner thread, but forgets from any.
  WindowRuleActor ruleActor_;
  std::atomic<bool> terminated_{false};
  // A check is posted and has not run to its end.
  std::atomic<bool> checkQueued_{false};
  std::mutex stateMutex_;
  std::condition_variable finishedCv_;
  bool started_ = false;
  bool finished_ = false;
};

// Keeps track of every scanner started, so that the process can stop and join them at its end
// although their closers forgot them. Thread-safe.
class ScannerTracker {
 public:
  void Add(const std::shared_ptr<TSPopupThread>& scanner);
  // Asks every scanner to end, and its closing threads to end once the closes they have taken are
  // sent; returns at once.
  void AskAllToStop();
  // Every scanner and closing thread has ended: none of them posts a report any more.
  bool AllEnded();
  // Asks every scanner still running to end and waits for them, up to timeout in all; true when all
  // ended.
  bool StopAll(std::chrono::milliseconds timeout);

 private:
  struct Tracked {
    std::weak_ptr<TSPopupThread> scanner;
    std::weak_ptr<TSPopupThread::CloseBook> closes;
  };
  std::mutex mutex_;
  std::vector<Tracked> scanners_;
};

}  // namespace zorvex
