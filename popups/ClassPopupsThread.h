// The scanner: the one background thread that walks the desktop, recognises browser windows of
// the watched families and closes popups, by window size or by title rule.
//
// Lifecycle: created suspended with Create(); the creator sets the option flags, SetRules and
// OnCheck, then Start(). The running thread holds a reference to its own object, so the object
// lives until the body returns even when the creator forgets it ("free on terminate").
// Terminate() only asks; the current cycle (walk, limit step, sleep, check) still completes, but
// starts no new close. WaitFor() is the bounded join used at process end.
//
// Closing: the close command runs on a worker thread of its own; the scanner waits for it about
// 100 ms and then goes on. A close still pending finishes and reports by itself; its worker holds
// only shared services and reaches the host only through work posted to the main thread, which is
// dropped once the main loop has ended, so it never outlives what it touches.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "popups/BrowserTable.h"
#include "popups/Masks.h"
#include "popups/RuleFit.h"
#include "popups/TabClose.h"

namespace zorvex {

// What the scanner and the closer need from the engine.
class IKillHost {
 public:
  virtual ~IKillHost() = default;
  // Most Explorer frame windows allowed at once; 0 means no limit. Read from the scanner thread.
  virtual int ExplorerLimit() const = 0;
  // Writes one kill report line to the log; main thread only.
  virtual void WriteLog(const std::string& line) = 0;
  // Counts a kill and announces it; main thread only.
  virtual void PlayAlarm() = 0;
};

// The platform services a scanner uses. The host, when set, must outlive every scanner thread and
// the main loop (kill reports are posted to the main thread).
struct ScannerServices {
  std::shared_ptr<IDesktop> desktop;
  std::shared_ptr<IMainThread> mainThread;
  std::shared_ptr<ISleeper> sleeper;
  IKillHost* host = nullptr;
  // Reads today's browsers' tab strips before they are closed; may be empty: every window is then
  // closed whole.
  std::shared_ptr<ITabStrips> tabStrips = nullptr;
};

// One title rule as the scanner holds it (see PrepareRule).
using ScannerRule = PreparedRule;
using ScannerRules = std::vector<ScannerRule>;

class TSPopupThread : public std::enable_shared_from_this<TSPopupThread> {
 public:
  // Makes a scanner that has not started yet.
  static std::shared_ptr<TSPopupThread> Create(ScannerServices services);
  ~TSPopupThread();
  TSPopupThread(const TSPopupThread&) = delete;
  TSPopupThread& operator=(const TSPopupThread&) = delete;

  // Option copies, written by the creator at any time; a pass may see a change in its middle.
  std::atomic<bool> Netscape{false};
  std::atomic<bool> Explorer{false};
  std::atomic<bool> Opera{false};
  std::atomic<bool> Chromium{false};
  std::atomic<bool> Agressive{false};
  // The families watched, as the flags say now.
  BrowserFamilies Families() const { return BrowserFamilies{Opera, Netscape, Explorer, Chromium}; }
  // Run on the main thread once per cycle; set, cleared and read on the main thread only.
  std::function<void()> OnCheck;

  // Replaces the rules by the lines of text (CR, LF or CR LF), with "[" and "]" turned into "?".
  // A pass in progress keeps the list it started with.
  void SetRules(const std::string& text);
  // The rule texts as the scanner holds them now.
  std::vector<std::string> Rules() const;

  // Starts the thread body; at most once.
  void Start();
  // Asks the body to end at the top of its next cycle.
  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  // The body has returned (it was started and is not running any more).
  bool Finished();
  // Waits up to timeout for the body to return; true when it has (or never started).
  bool WaitFor(std::chrono::milliseconds timeout);

  // The thread body: cycles until Terminate(). A cycle that fails costs that cycle only.
  void Execute();
  // One cycle's walk over the top-level windows and the Explorer limit step.
  void RunPass();
  // A top-level window the system announced (made, shown or renamed): judged at once, between the
  // passes, by the same decision. Any thread; wakes the scanner.
  void Notice(WindowHandle window);
  // Judges the windows noticed so far, as many as the budget for events allows. Scanner thread.
  void JudgeNoticed();
  // Windows noticed and not judged yet.
  std::size_t Noticed() const;
  // Sends the close command to one window and reports it once it took it; the caller sets Reason
  // first. Waits for the window about 100 ms at most; a window whose close is still pending is not
  // sent the command again. Scanner thread.
  void KillWindow(WindowHandle window);
  // Number of closes handed to a worker that have not finished yet.
  std::size_t PendingCloses() const;
  // True the first time in a pass that a descendant is asked for: containers nest, and each would
  // search the same windows again, exponentially in the depth.
  bool FirstJudging(WindowHandle window) { return judged_.insert(window).second; }

  IDesktop& Desktop() { return *services_.desktop; }
  // Program names read in the pass in progress.
  ProgramNames& Programs() { return programs_; }
  // The rule list of the pass in progress (outside a pass: the list current at the first call).
  const ScannerRules& PassRules();

  // Scanner-thread state of the pass in progress.
  std::vector<WindowHandle> ExplorerWindows;
  std::string KilledTitle;
  std::string Reason;

  // Bookkeeping shared between the scanner and its close workers (defined in the source).
  struct CloseBook;

 private:
  explicit TSPopupThread(ScannerServices services);
  // Judges windows (top-level ones) by the decision of a pass, then the Explorer limit step;
  // wholeDesktop tells that windows are every top-level window, which the limit needs.
  void Judge(const std::vector<WindowHandle>& windows, bool wholeDesktop = false);

  ScannerServices services_;
  mutable std::mutex rulesMutex_;
  std::shared_ptr<const ScannerRules> rules_;
  std::shared_ptr<const ScannerRules> passRules_;
  std::unordered_set<WindowHandle> judged_;
  ProgramNames programs_{*services_.desktop};
  mutable std::mutex noticeMutex_;
  std::unordered_set<WindowHandle> noticed_;
  // Scanner thread: the judgings of the events of the current second.
  std::chrono::steady_clock::time_point budgetStart_{};
  int budgetUsed_ = 0;
  std::shared_ptr<CloseBook> closes_;
  std::atomic<bool> terminated_{false};
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
  // Asks every scanner still running to end and waits for them, up to timeout in all; true when all
  // ended. Call once the main loop has ended, or a scanner waiting for the main thread holds it up.
  bool StopAll(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::vector<std::weak_ptr<TSPopupThread>> scanners_;
};

// The line the kill log gets for a window closed by the scanner.
std::string KillLogLine(const std::string& title, const std::string& reason);

// The per-window decision of a pass: recognises browser windows and containers, closes popups.
// topLevel: the window came from the top-level walk, not from a container's descendants.
void ClassifyWindow(TSPopupThread& context, WindowHandle window, bool topLevel = true);
// The size heuristic: a visible, non-minimised window in one of the two popup size bands.
bool IsPopupBySize(IDesktop& desktop, WindowHandle window);

}  // namespace zorvex
