#include "platform/win32/Win32MainThread.h"

#include <algorithm>

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
  Task task{&fn};
  std::unique_lock<std::mutex> lock(mutex_);
  if (ended_ || !window_) return false;
  pending_.push_back(&task);
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
