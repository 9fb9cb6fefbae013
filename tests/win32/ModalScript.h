// Drives forms while the test thread sits in their modal loop: steps run one after another from a
// thread timer of the test thread; a step that returns false is asked again at the next tick.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ui/widgets/win32/Form.h"

namespace zorvex::testing {

class ModalScript {
 public:
  using Step = std::function<bool()>;

  // Starts ticking at once. When timeout passes before the last step is done, or while a form of
  // the thread still shows after it, the script fails and every visible form of the thread is asked
  // to close, so that no test hangs.
  explicit ModalScript(std::vector<Step> steps, std::chrono::milliseconds timeout = std::chrono::seconds(20))
      : steps_(std::move(steps)), deadline_(std::chrono::steady_clock::now() + timeout) {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, 20, Tick);
  }
  ~ModalScript() {
    ::KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;

  // True when every step has been done.
  bool Finished() const { return next_ == steps_.size() && failure_.empty(); }
  // Why the script stopped early; empty when it did not.
  const std::string& Failure() const { return failure_; }

 private:
  // Asks a visible form to close and counts it.
  static BOOL CALLBACK CloseForm(HWND window, LPARAM closed) {
    if (::IsWindowVisible(window) && dynamic_cast<widgets::TForm*>(widgets::TWinControl::FromHandle(window))) {
      ::PostMessageA(window, WM_CLOSE, 0, 0);
      ++*reinterpret_cast<int*>(closed);
    }
    return TRUE;
  }

  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalScript* self = current_;
    // A step may pump messages itself; the ticks it sees meanwhile do nothing.
    if (self == nullptr || self->busy_) return;
    self->busy_ = true;
    // No exception crosses the timer callback: a throwing step ends the script as a failure.
    try {
      while (self->next_ < self->steps_.size() && self->steps_[self->next_]()) ++self->next_;
    } catch (...) {
      self->failure_ = "step " + std::to_string(self->next_) + " threw";
      self->next_ = self->steps_.size();
    }
    if (std::chrono::steady_clock::now() > self->deadline_ && self->failure_.empty()) {
      int closed = 0;
      ::EnumThreadWindows(::GetCurrentThreadId(), CloseForm, reinterpret_cast<LPARAM>(&closed));
      if (self->next_ < self->steps_.size()) {
        self->failure_ = "step " + std::to_string(self->next_) + " timed out";
      } else if (closed > 0) {
        self->failure_ = "a form stayed open after the last step";
      }
      self->next_ = self->steps_.size();
    }
    self->busy_ = false;
  }

  static inline ModalScript* current_ = nullptr;
  std::vector<Step> steps_;
  std::chrono::steady_clock::time_point deadline_;
  std::size_t next_ = 0;
  bool busy_ = false;
  std::string failure_;
  UINT_PTR timer_ = 0;
};

}  // namespace zorvex::testing
