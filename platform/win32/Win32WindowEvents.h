// Window events over SetWinEventHook: made, shown and renamed windows of other programs, announced
// on the main thread (the hooks are out of context, so the system posts them to this thread's
// message loop).
//
// Lifecycle: made, started and stopped on the main thread; Stop() (also run by the destructor)
// removes every hook. One object listens at a time: the system's callback has no context of its own.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/Platform.h"
#include "platform/win32/Handles.h"

namespace zorvex::win32 {

class Win32WindowEvents : public IWindowEvents {
 public:
  Win32WindowEvents() = default;
  ~Win32WindowEvents() override;
  Win32WindowEvents(const Win32WindowEvents&) = delete;
  Win32WindowEvents& operator=(const Win32WindowEvents&) = delete;

  bool Start(Handler onWindow) override;
  void Stop() override;

 private:
  static void CALLBACK Callback(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child, DWORD thread,
                                DWORD time);

  Handler handler_;
  std::vector<UniqueWinEventHook> hooks_;
};

}  // namespace zorvex::win32
