// The window procedure of a window owned by a C++ object: the object sits in the window's user
// data and handles the messages; no exception crosses into the system.
#pragma once

#include <windows.h>

#include "base/Trace.h"

namespace zorvex::win32 {

// Stores object in the window's user data (nullptr detaches it).
template <class T>
void AttachObject(HWND window, T* object) {
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
}

// Routes messages to T::Handle(message, wParam, lParam) of the attached object.
template <class T>
LRESULT CALLBACK ObjectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  // A message whose handling fails is dropped here, the one place for all such windows.
  try {
    return self->Handle(message, wParam, lParam);
  } catch (...) {
    TraceCurrentFailure("window message");
    return 0;
  }
}

}  // namespace zorvex::win32
