#include "tests/fakes/FakeDesktop.h"

#include <stdexcept>

#include <algorithm>

namespace zorvex::fake {

WindowHandle FakeDesktop::Add(const WindowRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  const WindowHandle handle = next_++;
  windows_[handle] = Node{record, 0, {}};
  zOrder_.push_back(handle);
  return handle;
}

WindowHandle FakeDesktop::Add(const std::string& className, const std::string& title, int width, int height) {
  WindowRecord record;
  record.className = className;
  record.title = title;
  record.rect = Rect{0, 0, width, height};
  return Add(record);
}

WindowHandle FakeDesktop::Reuse(WindowHandle handle, const WindowRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (windows_.count(handle) != 0) throw std::logic_error("handle still in use");
  windows_[handle] = Node{record, 0, {}};
  zOrder_.push_back(handle);
  return handle;
}

WindowHandle FakeDesktop::AddChild(WindowHandle parent, const WindowRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  const WindowHandle handle = next_++;
  windows_[handle] = Node{record, parent, {}};
  windows_.at(parent).children.push_back(handle);
  return handle;
}

void FakeDesktop::Edit(WindowHandle window, const std::function<void(WindowRecord&)>& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  change(windows_.at(window).record);
}

void FakeDesktop::SetForeground(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  foreground_ = window;
}

bool FakeDesktop::Exists(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  return windows_.count(window) != 0;
}

std::vector<WindowHandle> FakeDesktop::Closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

void FakeDesktop::HoldClose(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_[window] = true;
}

void FakeDesktop::AnswerClose(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.erase(window);
  answered_.notify_all();
}

void FakeDesktop::AnswerAllCloses() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.clear();
  answered_.notify_all();
}

int FakeDesktop::CloseAttempts(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = closeAttempts_.find(window);
  return it == closeAttempts_.end() ? 0 : it->second;
}

std::vector<WindowHandle> FakeDesktop::TopLevelWindows() {
  if (onWalk) onWalk();
  ++walks_;
  std::lock_guard<std::mutex> lock(mutex_);
  return zOrder_;
}

void FakeDesktop::CollectDescendants(WindowHandle window, std::vector<WindowHandle>& out) const {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  for (WindowHandle child : it->second.children) {
    out.push_back(child);
    CollectDescendants(child, out);
  }
}

std::vector<WindowHandle> FakeDesktop::Descendants(WindowHandle window) {
  ++searches_;
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<WindowHandle> out;
  CollectDescendants(window, out);
  return out;
}

#define ZORVEX_FAKE_FACT(Type, Name, expr, missing)       \
  Type FakeDesktop::Name(WindowHandle window) {           \
    std::lock_guard<std::mutex> lock(mutex_);             \
    auto it = windows_.find(window);                      \
    if (it == windows_.end()) return missing;             \
    const WindowRecord& r = it->second.record;            \
    return expr;                                          \
  }

ZORVEX_FAKE_FACT(std::string, ClassName, (++identityReads_, r.className.substr(0, kMaxWindowText)), std::string())
ZORVEX_FAKE_FACT(std::string, Title, (++titleReads_, r.title.substr(0, kMaxWindowText)), std::string())
ZORVEX_FAKE_FACT(bool, IsVisible, r.visible, false)
ZORVEX_FAKE_FACT(bool, IsMinimised, r.minimised, false)
ZORVEX_FAKE_FACT(Rect, WindowRect, r.rect, Rect{})
ZORVEX_FAKE_FACT(int, WindowDpi, r.dpi, 96)
ZORVEX_FAKE_FACT(WindowHandle, Owner, r.owner, 0)
ZORVEX_FAKE_FACT(bool, IsToolWindow, r.toolWindow, false)
ZORVEX_FAKE_FACT(std::uint32_t, ProcessId, (++identityReads_, r.processId), 0)
#undef ZORVEX_FAKE_FACT

void FakeDesktop::SetProgram(std::uint32_t processId, const std::string& path, std::uint64_t started) {
  std::lock_guard<std::mutex> lock(mutex_);
  programs_[processId] = {path, started};
}

std::string FakeDesktop::ProgramPath(std::uint32_t processId) {
  ++programReads_;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = programs_.find(processId);
  return it == programs_.end() ? std::string() : it->second.first;
}

std::uint64_t FakeDesktop::ProcessStartTime(std::uint32_t processId) {
  ++identityReads_;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = programs_.find(processId);
  return it == programs_.end() ? 0 : it->second.second;
}

bool FakeDesktop::HigherRights(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(window);
  return it != windows_.end() && it->second.record.higherRights;
}

std::vector<PushButton> FakeDesktop::PushButtons(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<WindowHandle> all;
  CollectDescendants(window, all);
  std::vector<PushButton> buttons;
  for (WindowHandle child : all) {
    const WindowRecord& r = windows_.at(child).record;
    if (r.pushButton) buttons.push_back(PushButton{child, r.title, r.visible, r.enabled});
  }
  return buttons;
}

bool FakeDesktop::Press(WindowHandle button) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(button);
  if (it == windows_.end() || !it->second.record.enabled || it->second.record.higherRights) return false;
  pressed_.push_back(button);
  return true;
}

bool FakeDesktop::Minimise(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(window);
  if (it == windows_.end() || it->second.record.higherRights) return false;
  it->second.record.minimised = true;
  minimisedBy_.push_back(window);
  return true;
}

std::vector<WindowHandle> FakeDesktop::Pressed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pressed_;
}

std::vector<WindowHandle> FakeDesktop::Minimised() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return minimisedBy_;
}

WindowHandle FakeDesktop::ForegroundWindow() {
  std::lock_guard<std::mutex> lock(mutex_);
  return foreground_;
}

void FakeDesktop::Remove(WindowHandle window) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  const std::vector<WindowHandle> children = it->second.children;
  for (WindowHandle child : children) Remove(child);
  const WindowHandle parent = windows_.at(window).parent;
  if (parent != 0 && windows_.count(parent)) {
    auto& siblings = windows_.at(parent).children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
  }
  zOrder_.erase(std::remove(zOrder_.begin(), zOrder_.end(), window), zOrder_.end());
  windows_.erase(window);
}

bool FakeDesktop::Close(WindowHandle window) {
  std::unique_lock<std::mutex> lock(mutex_);
  ++closeAttempts_[window];
  ++closeCalls_;
  answered_.wait(lock, [&] { return held_.count(window) == 0; });
  auto it = windows_.find(window);
  if (it == windows_.end() || it->second.record.hung) return false;
  if (it->second.record.staysOpen) return true;
  closed_.push_back(window);
  Remove(window);
  return true;
}

FakeMainThread::FakeMainThread() : owner_(std::this_thread::get_id()) {}

bool FakeMainThread::Run(const std::function<void()>& fn) {
  if (std::this_thread::get_id() == owner_) {
    fn();
    return true;
  }
  Task task{fn};
  std::unique_lock<std::mutex> lock(mutex_);
  if (ended_) return false;
  queue_.push_back(Entry{&task, {}});
  cv_.notify_all();
  cv_.wait(lock, [&] { return task.done; });
  return task.ran;
}

bool FakeMainThread::Post(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ended_) return false;
  queue_.push_back(Entry{nullptr, std::move(fn)});
  ++posted_;
  cv_.notify_all();
  return true;
}

int FakeMainThread::Pump() {
  int count = 0;
  for (;;) {
    Entry entry;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) return count;
      entry = std::move(queue_.front());
      queue_.pop_front();
    }
    ++count;
    if (!entry.waiter) {
      entry.posted();
      continue;
    }
    entry.waiter->fn();
    std::lock_guard<std::mutex> lock(mutex_);
    entry.waiter->ran = true;
    entry.waiter->done = true;
    cv_.notify_all();
  }
}

bool FakeMainThread::PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  return Until(pred, timeout, true);
}

bool FakeMainThread::WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  return Until(pred, timeout, false);
}

bool FakeMainThread::Until(const std::function<bool()>& pred, std::chrono::milliseconds timeout, bool pump) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (!pump || Pump() == 0) {
      // The short bound lets pred() see what other fakes were told meanwhile.
      std::unique_lock<std::mutex> lock(mutex_);
      cv_.wait_for(lock, std::chrono::milliseconds(2), [&] { return pump && !queue_.empty(); });
    }
  }
  return true;
}

bool FakeMainThread::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  if (!PumpUntil(done, timeout)) return false;
  Pump();
  return true;
}

void FakeMainThread::End() {
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
  for (Entry& entry : queue_) {
    if (entry.waiter) entry.waiter->done = true;
  }
  queue_.clear();
  cv_.notify_all();
}

bool FakeSleeper::Sleep(unsigned milliseconds) {
  lastMs_ = milliseconds;
  ++sleeps_;
  if (onSleep) onSleep();
  // Yields so that a scanner spinning over this sleeper leaves room for the test thread.
  std::this_thread::sleep_for(std::chrono::microseconds(200));
  if (!woken_.exchange(false)) return false;
  ++wakes_;
  return true;
}

}  // namespace zorvex::fake
