#include "platform/win32/Win32MainThread.h"

#include <algorithm>
#include <vector>

#include "base/Trace.h"

namespace zorvex::win32 {

namespace {
constexpr const wchar_t* kWindowClass = L"ZorvexMainThreadCall";
constexpr const wchar_t* kMessageName = L"ZorvexRunInMainThread";
// wParam of the message that says posted work is waiting (lParam is then unused).
constexpr WPARAM kPostedWork = 1;
}  // namespace

Win32MainThread::Win32MainThread()
    : threadId_(::GetCurrentThreadId()), message_(::RegisterWindowMessageW(kMessageName)) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kWindowClass;
  ::RegisterClassW(&wc);  // fails harmlessly when a second object registers it again
  // A message-only window: invisible to window walks and to a polite close of the process.
  window_.reset(::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr));
  ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32MainThread::~Win32MainThread() {
  End();
  ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
}

void Win32MainThread::End() {
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
  for (Task* task : pending_) task->done = true;
  pending_.clear();
  posted_.clear();
  cv_.notify_all();
}

bool Win32MainThread::Run(const std::function<void()>& fn) {
  if (::GetCurrentThreadId() == threadId_) {
    fn();
    return true;
  }
  Task task{&fn, false, false, nullptr};
  std::unique_lock<std::mutex> lock(mutex_);
  if (ended_ || !window_) return false;
  pending_.push_back(&task);
  cv_.notify_all();
  if (!::PostMessageW(window_.get(), message_, 0, reinterpret_cast<LPARAM>(&task))) {
    pending_.remove(&task);
    return false;
  }
  cv_.wait(lock, [&] { return task.done; });
  if (task.failure) std::rethrow_exception(task.failure);
  return task.ran;
}

bool Win32MainThread::Post(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ended_ || !window_) return false;
  posted_.push_back(std::move(fn));
  cv_.notify_all();
  // A full message queue only delays the work: the next wake-up runs everything queued.
  ::PostMessageW(window_.get(), message_, kPostedWork, 0);
  return true;
}

void Win32MainThread::RunPosted() {
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (posted_.empty()) return;
      fn = std::move(posted_.front());
      posted_.pop_front();
    }
    // Nobody waits for posted work, so its failure has nowhere to go.
    DropFailure("posted main-thread work", fn);
  }
}

bool Win32MainThread::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    RunQueued();
    // What was queued before done() held is run too: nothing comes after it.
    if (done()) {
      RunQueued();
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::unique_lock<std::mutex> lock(mutex_);
    // Woken by new work; the short bound lets done() be asked again.
    cv_.wait_for(lock, std::chrono::milliseconds(5), [this] { return !pending_.empty() || !posted_.empty(); });
  }
}

void Win32MainThread::RunQueued() {
  // Posted work first: a thread that posted and then waited must see its posts run before its wait.
  RunPosted();
  std::vector<Task*> waiting;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting.assign(pending_.begin(), pending_.end());
  }
  // The messages that announced this work find it gone later, and leave it.
  for (Task* task : waiting) RunPending(task);
}

void Win32MainThread::RunPending(Task* task) {
  {
    // The caller may have been released by End(); then the task is gone and must not be touched.
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(pending_.begin(), pending_.end(), task) == pending_.end()) return;
  }
  std::exception_ptr failure;
  // No exception may cross the window procedure: it travels back to the waiting caller.
  try {
    (*task->fn)();
  } catch (...) {
    failure = std::current_exception();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(pending_.begin(), pending_.end(), task) == pending_.end()) return;
  pending_.remove(task);
  task->failure = failure;
  task->ran = true;
  task->done = true;
  cv_.notify_all();
}

LRESULT CALLBACK Win32MainThread::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Win32MainThread*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && message == self->message_) {
    if (wParam == kPostedWork) {
      self->RunPosted();
    } else {
      self->RunPending(reinterpret_cast<Task*>(lParam));
    }
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace zorvex::win32
