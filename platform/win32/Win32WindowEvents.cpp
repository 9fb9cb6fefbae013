#include "platform/win32/Win32WindowEvents.h"

#include "base/Trace.h"
#include "platform/win32/Win32Desktop.h"

namespace zorvex::win32 {

namespace {

// The listening object; main thread only.
Win32WindowEvents* g_listening = nullptr;

// One hook per event rather than one over the range between them, which would take in location
// changes too (every move of the mouse cursor).
constexpr DWORD kEvents[] = {EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_DESTROY};

}  // namespace

Win32WindowEvents::~Win32WindowEvents() { Stop(); }

bool Win32WindowEvents::Start(Handler onWindow) {
  Stop();
  if (g_listening != nullptr) return false;
  for (DWORD event : kEvents) {
    UniqueWinEventHook hook(::SetWinEventHook(event, event, nullptr, Callback, 0, 0,
                                              WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    if (hook) hooks_.push_back(std::move(hook));
  }
  // Wine delivers only the creations of other programs' windows; any one hook helps.
  if (hooks_.empty()) return false;
  handler_ = std::move(onWindow);
  g_listening = this;
  return true;
}

void Win32WindowEvents::Stop() {
  hooks_.clear();
  handler_ = nullptr;
  if (g_listening == this) g_listening = nullptr;
}

void CALLBACK Win32WindowEvents::Callback(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                                          DWORD) {
  // Events of windows only, not of the things inside them (carets, scroll bars, list items).
  if (window == nullptr || object != OBJID_WINDOW || child != CHILDID_SELF) return;
  Win32WindowEvents* self = g_listening;
  if (self == nullptr || !self->handler_) return;
  if (event == EVENT_OBJECT_DESTROY) {
    // Gone: it has no ancestor to ask for any more.
    DropFailure("window event", [&] { self->handler_(FromHwnd(window), WindowEvent::Gone); });
    return;
  }
  const HWND top = ::GetAncestor(window, GA_ROOT);
  if (top == nullptr) return;
  DropFailure("window event", [&] { self->handler_(FromHwnd(top), event == EVENT_OBJECT_CREATE && top == window ? WindowEvent::Made : WindowEvent::Appeared); });
}

}  // namespace zorvex::win32
