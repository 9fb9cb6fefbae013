// In-memory stand-ins of the platform seams for the tests: a desktop of window records with a
// z-order and descendants, a main thread that the test pumps, and a sleeper that does not wait.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/Platform.h"

namespace zorvex::fake {

// One window as the fake desktop holds it.
struct WindowRecord {
  std::string className;
  std::string title;
  bool visible = true;
  bool minimised = false;
  Rect rect{0, 0, 800, 600};
  // Refuses the close command, as a hung window would.
  bool hung = false;
  // Takes the close command but stays open, as a page that asks "leave this page?" does.
  bool staysOpen = false;
  WindowHandle owner = 0;
  bool toolWindow = false;
  // The process that made it; its program is set with SetProgram.
  std::uint32_t processId = 1;
  // A push button (a child); its title is its caption.
  bool pushButton = false;
  bool enabled = true;
  // Its process runs with higher rights: what is sent to it is dropped.
  bool higherRights = false;
  // The density its pixels are scaled by.
  int dpi = 96;
};

// A desktop of window records. Thread-safe: the scanner reads it while the test edits it.
class FakeDesktop : public IDesktop {
 public:
  // Adds a top-level window below the existing ones (lowest in the z-order); returns its handle.
  WindowHandle Add(const WindowRecord& record);
  // Adds a window of given size (width x height) at (0,0).
  WindowHandle Add(const std::string& className, const std::string& title, int width = 800, int height = 600);
  // Adds a top-level window under a handle that a window now gone had, as the system reuses them.
  WindowHandle Reuse(WindowHandle handle, const WindowRecord& record);
  // Adds a child window under parent.
  WindowHandle AddChild(WindowHandle parent, const WindowRecord& record);
  // Changes a record in place.
  void Edit(WindowHandle window, const std::function<void(WindowRecord&)>& change);
  void SetForeground(WindowHandle window);
  // The program file of a process and when it started; a process without one cannot be read.
  void SetProgram(std::uint32_t processId, const std::string& path, std::uint64_t started = 1);
  void SetOwnProcess(std::uint32_t processId) { ownProcess_ = processId; }
  // Press() of buttons and Minimise() of windows so far, in order.
  std::vector<WindowHandle> Pressed() const;
  std::vector<WindowHandle> Minimised() const;
  // ProgramPath() calls so far.
  int ProgramReads() const { return programReads_; }
  // Title() calls so far.
  int TitleReads() const { return titleReads_; }
  // ClassName(), ProcessId() and ProcessStartTime() calls so far: what a window or process keeps
  // for its life.
  int IdentityReads() const { return identityReads_; }
  void SetCtrlDown(bool down) { ctrl_ = down; }
  void SetScrollLock(bool on) { scroll_ = on; }

  // Close() of window blocks, as a window that is slow to answer, until AnswerClose(window).
  void HoldClose(WindowHandle window);
  void AnswerClose(WindowHandle window);
  // Answers every held close; tests call it before they end so that no close waits for ever.
  void AnswerAllCloses();
  // Close() calls for window so far, answered or not.
  int CloseAttempts(WindowHandle window) const;
  // Close() calls so far, for any window, counted as they begin.
  int CloseCalls() const { return closeCalls_; }
  // Descendants() calls so far.
  int Searches() const { return searches_; }
  // Called at the start of every TopLevelWindows(), on the calling thread; may throw.
  std::function<void()> onWalk;

  // Handles closed so far, in order.
  std::vector<WindowHandle> Closed() const;
  // Number of TopLevelWindows() calls so far: one per pass.
  int Walks() const { return walks_; }

  std::vector<WindowHandle> TopLevelWindows() override;
  std::vector<WindowHandle> Descendants(WindowHandle window) override;
  bool Exists(WindowHandle window) override;
  std::string ClassName(WindowHandle window) override;
  std::string Title(WindowHandle window) override;
  bool IsVisible(WindowHandle window) override;
  bool IsMinimised(WindowHandle window) override;
  Rect WindowRect(WindowHandle window) override;
  int WindowDpi(WindowHandle window) override;
  // Every window is on one monitor of this size.
  Rect MonitorRect(WindowHandle window) override { return Exists(window) ? Rect{0, 0, 1920, 1080} : Rect{}; }
  WindowHandle ForegroundWindow() override;
  WindowHandle Owner(WindowHandle window) override;
  bool IsToolWindow(WindowHandle window) override;
  std::uint32_t ProcessId(WindowHandle window) override;
  std::string ProgramPath(std::uint32_t processId) override;
  bool Close(WindowHandle window) override;
  std::uint64_t ProcessStartTime(std::uint32_t processId) override;
  std::uint32_t OwnProcessId() override { return ownProcess_; }
  bool HigherRights(WindowHandle window) override;
  std::vector<PushButton> PushButtons(WindowHandle window) override;
  bool Press(WindowHandle button) override;
  bool Minimise(WindowHandle window) override;
  bool IsCtrlDown() override { return ctrl_; }
  bool IsScrollLockOn() override { return scroll_; }

 private:
  struct Node {
    WindowRecord record;
    WindowHandle parent = 0;
    std::vector<WindowHandle> children;
  };
  void CollectDescendants(WindowHandle window, std::vector<WindowHandle>& out) const;
  void Remove(WindowHandle window);

  mutable std::mutex mutex_;
  std::condition_variable answered_;
  std::map<WindowHandle, bool> held_;
  std::map<WindowHandle, int> closeAttempts_;
  std::atomic<int> closeCalls_{0};
  std::atomic<int> searches_{0};
  std::atomic<int> programReads_{0};
  std::atomic<int> titleReads_{0};
  std::atomic<int> identityReads_{0};
  std::map<std::uint32_t, std::pair<std::string, std::uint64_t>> programs_;
  std::vector<WindowHandle> pressed_;
  std::vector<WindowHandle> minimisedBy_;
  std::atomic<std::uint32_t> ownProcess_{999};
  std::map<WindowHandle, Node> windows_;
  std::vector<WindowHandle> zOrder_;
  std::vector<WindowHandle> closed_;
  WindowHandle next_ = 0x100;
  WindowHandle foreground_ = 0;
  std::atomic<bool> ctrl_{false};
  std::atomic<bool> scroll_{false};
  std::atomic<int> walks_{0};
};

// A main thread that the test drives: Run() from the thread that made this object runs at once;
// from any other thread it waits until the test pumps the queue.
class FakeMainThread : public IMainThread {
 public:
  FakeMainThread();
  bool Run(const std::function<void()>& fn) override;
  bool Post(std::function<void()> fn) override;
  // Runs the queued work, posted and waited for, in order; returns how many items ran.
  int Pump();
  // Pumps until pred() holds or the timeout passes; returns pred().
  bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Waits like PumpUntil but runs nothing: what other threads do while the main thread is busy.
  bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;
  // Ends the "main loop": queued and later Run() calls return false without running.
  void End() override;
  // Post() calls that queued their work so far.
  int Posted() const { return posted_; }

 private:
  bool Until(const std::function<bool()>& pred, std::chrono::milliseconds timeout, bool pump);
  struct Task {
    std::function<void()> fn;
    bool done = false;
    bool ran = false;
  };
  // A waiting caller's task, or posted work that the queue owns.
  struct Entry {
    Task* waiter = nullptr;
    std::function<void()> posted;
  };
  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Entry> queue_;
  bool ended_ = false;
  std::atomic<int> posted_{0};
};

// Exactly sent close commands have reached desktop, each has ended, and its outcome (a kill report
// or nothing) is on mainThread's queue, the window no longer pending: the scanner posts one item
// for every close, after the close, and a running scanner its checks as well (so this is for passes
// the test runs). sent counts every command since the two fakes were made. The
// test says how many it expects because a close handed to a closing thread that has not run yet
// is seen by neither fake: without the number, "none sent" and "not sent yet" look alike.
inline bool ClosesSettled(const FakeDesktop& desktop, const FakeMainThread& mainThread, int sent) {
  return desktop.CloseCalls() == sent && mainThread.Posted() == sent;
}

// A sleeper that returns at once, after an optional hook, counting the calls; it says it was woken
// when a Wake() came since the last Sleep().
class FakeSleeper : public ISleeper {
 public:
  bool Sleep(unsigned milliseconds) override;
  void Wake() override { woken_ = true; }
  int Wakes() const { return wakes_; }
  int Sleeps() const { return sleeps_; }
  unsigned LastMs() const { return lastMs_; }
  // Called on every Sleep, on the sleeping thread.
  std::function<void()> onSleep;

 private:
  std::atomic<int> sleeps_{0};
  std::atomic<unsigned> lastMs_{0};
  std::atomic<bool> woken_{false};
  std::atomic<int> wakes_{0};
};

// Window events the test fires by hand, as the system would announce them.
class FakeWindowEvents : public IWindowEvents {
 public:
  bool Start(Handler onWindow) override {
    if (refuse) return false;
    handler_ = std::move(onWindow);
    ++starts;
    return true;
  }
  void Stop() override { handler_ = nullptr; }
  bool Listening() const { return static_cast<bool>(handler_); }
  // Announces a window; false when nobody listens.
  bool Fire(WindowHandle window, WindowEvent event = WindowEvent::Appeared) {
    if (!handler_) return false;
    handler_(window, event);
    return true;
  }
  bool refuse = false;
  int starts = 0;

 private:
  Handler handler_;
};

}  // namespace zorvex::fake
