// Hands work from other threads to the GUI thread through one hidden message window.
//
// Lifecycle: made on the GUI thread before any scanner starts. End() (also run by the destructor)
// releases every waiting caller without running its work, so no thread waits on a loop that has
// stopped, and drops posted work; later Run() and Post() calls from other threads return false at once.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <list>
#include <mutex>

#include "platform/Platform.h"
#include "platform/win32/Handles.h"

namespace zorvex::win32 {

class Win32MainThread : public IMainThread {
 public:
  Win32MainThread();
  ~Win32MainThread() override;
  Win32MainThread(const Win32MainThread&) = delete;
  Win32MainThread& operator=(const Win32MainThread&) = delete;

  bool Run(const std::function<void()>& fn) override;
  bool Post(std::function<void()> fn) override;
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;
  // Releases every waiting and later caller; call on the GUI thread when its loop has ended.
  void End() override;

 private:
  struct Task {
    const std::function<void()>* fn;
    bool done = false;
    bool ran = false;
    std::exception_ptr failure;
  };
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void RunPending(Task* task);
  void RunPosted();
  // Runs every waiting caller's work and the posted work, as the window would.
  void RunQueued();

  DWORD threadId_;
  UINT message_;
  UniqueWindow window_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::list<Task*> pending_;
  std::deque<std::function<void()>> posted_;
  bool ended_ = false;
};

}  // namespace zorvex::win32
