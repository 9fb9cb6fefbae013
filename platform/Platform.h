// The seams between the portable logic and the operating system. The logic talks only to these
// interfaces; platform/win32 implements them over the Win32 API, tests/fakes in memory.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zorvex {

// Opaque handle of a window; 0 is no window.
using WindowHandle = std::uintptr_t;

// Screen rectangle in pixels.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Texts read from windows are cut to this many UTF-16 units (characters, as the system counts
// them), never inside a character; like every text in the program they come as UTF-8.
constexpr std::size_t kMaxWindowText = 1024;

// A push button inside a window, as a window rule that presses looks at it.
struct PushButton {
  WindowHandle handle = 0;
  // Its caption as the window shows it, "&" marks included; cut like every window text.
  std::string caption;
  bool visible = false;
  bool enabled = false;
};

// The desktop's windows and the few input states the scanner looks at. Calls may come from any
// thread; a window that is gone answers with empty texts, false and an empty rectangle.
class IDesktop {
 public:
  virtual ~IDesktop() = default;
  // Top-level windows, highest in the z-order first.
  virtual std::vector<WindowHandle> TopLevelWindows() = 0;
  // Every descendant of a window (children, grandchildren, ...), in the system's order.
  virtual std::vector<WindowHandle> Descendants(WindowHandle window) = 0;
  // The window is still there; a handle that is gone may later name a new window.
  virtual bool Exists(WindowHandle window) = 0;
  // Window class name, at most kMaxWindowText characters.
  virtual std::string ClassName(WindowHandle window) = 0;
  // Window title, at most kMaxWindowText characters; valid UTF-8 (an unpaired surrogate of the
  // system's text reads as U+FFFD).
  virtual std::string Title(WindowHandle window) = 0;
  virtual bool IsVisible(WindowHandle window) = 0;
  virtual bool IsMinimised(WindowHandle window) = 0;
  virtual Rect WindowRect(WindowHandle window) = 0;
  // The density the window's pixels are scaled by, as this program sees them (96 at 100 percent);
  // 96 when the system cannot tell.
  virtual int WindowDpi(WindowHandle window) = 0;
  // The rectangle of the monitor that holds most of the window (the nearest one when it is on
  // none); empty when the window is gone.
  virtual Rect MonitorRect(WindowHandle window) = 0;
  virtual WindowHandle ForegroundWindow() = 0;
  // The window that owns a top-level window; 0 for none.
  virtual WindowHandle Owner(WindowHandle window) = 0;
  // The window carries the tool-window extended style (small caption, no task-bar button).
  virtual bool IsToolWindow(WindowHandle window) = 0;
  // Id of the process that made the window; 0 when gone.
  virtual std::uint32_t ProcessId(WindowHandle window) = 0;
  // Full path of the program file of a process; empty when it cannot be read.
  virtual std::string ProgramPath(std::uint32_t processId) = 0;
  // Sends the system-menu close command and waits, boundedly (seconds: callers that must not stall
  // run it on a worker), until the window has handled it.
  // True when the window existed and took the command.
  virtual bool Close(WindowHandle window) = 0;
  // When the process started, in the system's own units (only compared for equality: a process id
  // the system gave again names a new process); 0 when it cannot be read.
  virtual std::uint64_t ProcessStartTime(std::uint32_t processId) = 0;
  // Id of this program's own process.
  virtual std::uint32_t OwnProcessId() = 0;
  // The window's process runs with higher rights than this program: the system drops what this
  // program sends it. False when it cannot be told.
  virtual bool HigherRights(WindowHandle window) = 0;
  // The push buttons among the window's descendants, in the system's order.
  virtual std::vector<PushButton> PushButtons(WindowHandle window) = 0;
  // Posts a click of the push button to the window it reports to, as a mouse click would, whether
  // or not its window is in front; true when it was posted.
  virtual bool Press(WindowHandle button) = 0;
  // Posts the system-menu minimise command, as the window's minimise box does; true when posted.
  virtual bool Minimise(WindowHandle window) = 0;
  // Ctrl is held down at this moment.
  virtual bool IsCtrlDown() = 0;
  // Scroll Lock is toggled on.
  virtual bool IsScrollLockOn() = 0;
};

// One page tab of a browser window's tab strip, as the browser's accessibility tree shows it.
struct PageTab {
  // The tab's name, as its page's title; cut as window titles are (kMaxWindowText).
  std::string title;
  // Shown in the strip. A tab scrolled out of a crowded strip still counts: it is open.
  bool visible = false;
  // The tab in front.
  bool selected = false;
};

// A browser window's tab strip as read at one moment. Holds the browser's objects: used and
// released on the thread that read it.
class ITabStrip {
 public:
  virtual ~ITabStrip() = default;
  // The page tabs in the strip's order, groups and vertical strips flattened.
  virtual const std::vector<PageTab>& Tabs() const = 0;
  // Presses the close button of Tabs()[index]; false when the tab has none or the browser refused.
  // Blocks, without limit, while the browser does not answer.
  virtual bool CloseTab(std::size_t index) = 0;
};

// What reading a window's tab strip gave.
enum class TabStripState {
  None,     // the window answered and has no tab strip (or gives no accessibility), or is gone
  Read,     // the strip was read: TabStripRead::strip holds it
  Error,    // the window's accessibility failed on the way
  Timeout,  // the window did not answer in time
};

struct TabStripRead {
  TabStripState state = TabStripState::Error;
  std::unique_ptr<ITabStrip> strip;  // set when state is Read
};

// What a strip reader and the one waiting for it share.
struct ReadWatch {
  // Set by the one waiting: the reader stops at its next step.
  std::atomic<bool> givenUp{false};
  // Counted by the reader at each answer it gets: a browser that answers, however slowly on a
  // loaded machine, is not hung.
  std::atomic<unsigned> steps{0};
};

// Reads the tab strips of browser windows through their accessibility trees. Asking switches a
// browser's accessibility on, which costs that browser CPU: ask only about a window about to be
// closed, never on every pass.
class ITabStrips {
 public:
  virtual ~ITabStrips() = default;
  // Prepares the calling thread for reading strips; undone when the result goes, on the same
  // thread. Hold it for the life of a thread that reads.
  virtual std::shared_ptr<void> EnterThread() = 0;
  // Reads the strip of a top-level window. A window that does not answer gives Timeout after a
  // short wait, but a browser that stops answering in the middle of the walk holds the call
  // without limit: call it only where the caller can be abandoned. Counts watch.steps as the
  // browser answers; once watch.givenUp is set the walk stops at its next step and gives Timeout.
  virtual TabStripRead Read(WindowHandle window, ReadWatch& watch) = 0;
};

// Runs work on the program's main (GUI) thread.
class IMainThread {
 public:
  virtual ~IMainThread() = default;
  // Runs fn on the main thread and blocks until it has returned; runs it at once when called on
  // the main thread. Returns false, without running fn, once the main loop has ended. Not for the
  // scanner or the closing threads, which must never wait on the main thread: they Post.
  virtual bool Run(const std::function<void()>& fn) = 0;
  // Queues fn for the main thread and returns at once; queued work runs in the order posted.
  // False once the main loop has ended: fn then never runs, and work still queued is dropped.
  virtual bool Post(std::function<void()> fn) = 0;
  // Main thread, once its loop has ended: runs the work waiting and posted, in order and as it
  // comes, until done() holds, and then what was queued by then. done() must hold only when no
  // more work can come. False when timeout passed first.
  virtual bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) = 0;
  // The main loop has ended: releases every waiting caller without running its work, drops posted
  // work; later Run() calls from other threads and every later Post() return false.
  virtual void End() = 0;
};

// Waiting, behind a seam so that tests need not wait.
class ISleeper {
 public:
  virtual ~ISleeper() = default;
  // Waits up to milliseconds; returns early, with true, when woken. A Wake() that came while
  // nobody slept ends the next Sleep() at once.
  virtual bool Sleep(unsigned milliseconds) = 0;
  // Ends the current or the next Sleep(). Any thread.
  virtual void Wake() = 0;
};

// What the system announced of a window.
enum class WindowEvent {
  Appeared,  // shown or renamed, or a child made (a child's event names its top-level window)
  Made,      // a new top-level window: its handle may have named a window now gone
  Gone,      // destroyed: its handle may come back for a new window (Wine does not say this)
};

// The system's announcements of new, shown, renamed and destroyed top-level windows. Main thread only.
class IWindowEvents {
 public:
  // Called on the main thread. A Gone event may name a child window too, which can no longer be
  // told apart from a top-level one.
  using Handler = std::function<void(WindowHandle window, WindowEvent event)>;
  virtual ~IWindowEvents() = default;
  // Starts listening; false when the system refused (detection then works without events).
  virtual bool Start(Handler onWindow) = 0;
  // Stops listening; nothing when not listening.
  virtual void Stop() = 0;
};

// The platform's DDE service registry, joined as a monitor: tells of every service registration.
class IDdeMonitor {
 public:
  // (service name, instance-specific name), delivered on the main thread.
  using RegisterHandler = std::function<void(const std::string& service, const std::string& instance)>;
  virtual ~IDdeMonitor() = default;
  // Joins under our own service name; false when the system refused. Main thread.
  virtual bool Join(const std::string& ownService, RegisterHandler onRegister) = 0;
  // Unregisters our service name and leaves; nothing when not joined.
  virtual void Leave() = 0;
};

// One DDE client conversation; ended when the object goes.
class IDdeConversation {
 public:
  virtual ~IDdeConversation() = default;
  // Ends any open conversation and opens one with service and topic; true when open. Never starts
  // a program to get a server.
  virtual bool Open(const std::string& service, const std::string& topic) = 0;
  // Requests item as text; none without an open conversation or an answer. The text ends at its
  // first zero byte; a server's reply in the system's code page arrives as UTF-8.
  virtual std::optional<std::string> RequestText(const std::string& item) = 0;
};

// Makes DDE client conversations.
class IDdeClient {
 public:
  virtual ~IDdeClient() = default;
  virtual std::unique_ptr<IDdeConversation> NewConversation() = 0;
};

// The two clocks: the wall clock, which the user may set, and a steady one for measuring waits.
class IClock {
 public:
  virtual ~IClock() = default;
  // Wall-clock time; may jump when the system time is set.
  virtual std::chrono::system_clock::time_point Now() = 0;
  // Never goes back and ignores changes of the system time: the clock for timing waits.
  virtual std::chrono::steady_clock::time_point Steady() = 0;
};

// Lets the calling (main) thread handle its pending messages.
class IMessagePump {
 public:
  virtual ~IMessagePump() = default;
  // Handles the messages pending now and returns.
  virtual void ProcessMessages() = 0;
  // Pauses for span without spinning, handling messages as they arrive meanwhile; returns early only
  // when the main loop has been asked to end.
  virtual void ProcessMessagesFor(std::chrono::milliseconds span) = 0;
};

// Sound output; every sound starts asynchronously and cuts off one still playing.
class ISound {
 public:
  virtual ~ISound() = default;
  // Plays a sound alias or, failing that, a wave file of that name.
  virtual void PlayName(const std::string& name) = 0;
  // Plays the program's built-in alarm.
  virtual void PlayBuiltIn() = 0;
};

// The per-user list of programs that start with Windows.
class IStartupRegistry {
 public:
  virtual ~IStartupRegistry() = default;
  // Writes (or overwrites) the entry; false when the system refused.
  virtual bool Write(const std::string& name, const std::string& command) = 0;
  // Removes the entry when it exists.
  virtual void Remove(const std::string& name) = 0;
};

// The local date and time in the user's formats, for the kill log.
class ILocalTime {
 public:
  virtual ~ILocalTime() = default;
  // Short date, a blank and long time; the date alone at exactly midnight.
  virtual std::string LogStamp() = 0;
};

class SystemClock : public IClock {
 public:
  std::chrono::system_clock::time_point Now() override { return std::chrono::system_clock::now(); }
  std::chrono::steady_clock::time_point Steady() override { return std::chrono::steady_clock::now(); }
};

// Really waits, on a condition a Wake() ends.
class SystemSleeper : public ISleeper {
 public:
  bool Sleep(unsigned milliseconds) override {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool woken = woken_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return wake_; });
    wake_ = false;
    return woken;
  }
  void Wake() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wake_ = true;
    }
    woken_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool wake_ = false;
};

}  // namespace zorvex
