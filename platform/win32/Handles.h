// One move-only RAII wrapper for Win32 handles, with an alias per kind: every handle the program
// holds lives in one of these. DDE string handles and conversations, which need their instance to
// be freed, have small classes of their own in Win32Dde.
#pragma once

#include <windows.h>

#include <ddeml.h>

#include <utility>

namespace zorvex::win32 {

template <typename T, typename Closer, T Invalid = T()>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  T get() const { return value_; }
  // Frees the value held and hands out the address for a call that returns a handle through an
  // out-parameter.
  T* put() {
    reset();
    return &value_;
  }
  explicit operator bool() const { return value_ != Invalid; }
  T release() { return std::exchange(value_, Invalid); }
  void reset(T value = Invalid) {
    if (value_ != Invalid) Closer()(value_);
    value_ = value;
  }

 private:
  T value_ = Invalid;
};

struct CloseHandleCloser {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct DestroyWindowCloser {
  void operator()(HWND h) const { ::DestroyWindow(h); }
};
struct DestroyMenuCloser {
  void operator()(HMENU h) const { ::DestroyMenu(h); }
};
struct DestroyIconCloser {
  void operator()(HICON h) const { ::DestroyIcon(h); }
};
struct RegCloseKeyCloser {
  void operator()(HKEY h) const { ::RegCloseKey(h); }
};
struct FindCloseCloser {
  void operator()(HANDLE h) const { ::FindClose(h); }
};
struct UnhookCloser {
  void operator()(HHOOK h) const { ::UnhookWindowsHookEx(h); }
};
struct UnhookWinEventCloser {
  void operator()(HWINEVENTHOOK h) const { ::UnhookWinEvent(h); }
};
struct DeleteObjectCloser {
  void operator()(HGDIOBJ h) const { ::DeleteObject(h); }
};
struct DdeDataCloser {
  void operator()(HDDEDATA h) const { ::DdeFreeDataHandle(h); }
};

using UniqueKernelHandle = UniqueHandle<HANDLE, CloseHandleCloser>;
using UniqueWindow = UniqueHandle<HWND, DestroyWindowCloser>;
using UniqueMenu = UniqueHandle<HMENU, DestroyMenuCloser>;
using UniqueIcon = UniqueHandle<HICON, DestroyIconCloser>;
using UniqueRegKey = UniqueHandle<HKEY, RegCloseKeyCloser>;
using UniqueHook = UniqueHandle<HHOOK, UnhookCloser>;
using UniqueWinEventHook = UniqueHandle<HWINEVENTHOOK, UnhookWinEventCloser>;
using UniqueFont = UniqueHandle<HFONT, DeleteObjectCloser>;
using UniqueBrush = UniqueHandle<HBRUSH, DeleteObjectCloser>;

// The program's own icon resource, drawn for width by height pixels; null when it cannot be loaded.
inline UniqueIcon LoadProgramIcon(int resourceId, int width, int height) {
  return UniqueIcon(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                                    width, height, LR_DEFAULTCOLOR)));
}
using UniqueDdeData = UniqueHandle<HDDEDATA, DdeDataCloser>;
// A file search; hold only handles other than INVALID_HANDLE_VALUE.
using UniqueFind = UniqueHandle<HANDLE, FindCloseCloser>;

}  // namespace zorvex::win32
