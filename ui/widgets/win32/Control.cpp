#include "ui/widgets/win32/Control.h"

#include <algorithm>
#include <stdexcept>

#include "base/Dpi.h"
#include "base/Trace.h"
#include "platform/win32/WideText.h"
#include "ui/widgets/win32/Form.h"

namespace zorvex::widgets {

namespace {

constexpr UINT_PTR kSubclassId = 0x5A56;  // one subclass of ours per window

// The part of a control's window style that every control has.
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;

}  // namespace

void EnsureCommonControls() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    return ::InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* control = reinterpret_cast<TWinControl*>(data);
  if (message == WM_NCDESTROY) {
    const LRESULT result = ::DefSubclassProc(window, message, wParam, lParam);
    ::RemoveWindowSubclass(window, ControlProc, kSubclassId);
    control->Forget(window);
    return result;
  }
  // No exception crosses the window procedure: a handler that fails leaves the message to the
  // window's own handling, and the control keeps working.
  try {
    return control->Dispatch(window, message, wParam, lParam);
  } catch (...) {
    TraceCurrentFailure("control message");
    return ::DefSubclassProc(window, message, wParam, lParam);
  }
}

TWinControl::TWinControl(std::string name) : TComponent(std::move(name)) {
  DeclareClass("TControl");
  DeclareClass("TWinControl");
  EnsureCommonControls();
  font_ = &PublishOwned("Font", std::make_unique<TFont>());
  font_->OnChange = [this] {
    parentFont_ = false;
    ApplyFont();
  };
  PublishInteger("Left", [this] { return Bounds().Left; }, [this](std::int32_t v) {
    TBounds b = Bounds();
    b.Left = v;
    SetBounds(b);
  });
  PublishInteger("Top", [this] { return Bounds().Top; }, [this](std::int32_t v) {
    TBounds b = Bounds();
    b.Top = v;
    SetBounds(b);
  });
  PublishInteger("Width", [this] { return Bounds().Width; }, [this](std::int32_t v) {
    TBounds b = Bounds();
    b.Width = v;
    SetBounds(b);
  }, 0);
  PublishInteger("Height", [this] { return Bounds().Height; }, [this](std::int32_t v) {
    TBounds b = Bounds();
    b.Height = v;
    SetBounds(b);
  }, 0);
  PublishBoolean("Enabled", [this] { return Enabled(); }, [this](bool v) { SetEnabled(v); });
  PublishBoolean("Visible", [this] { return Visible(); }, [this](bool v) { SetVisible(v); });
  PublishString("Hint", [this] { return hint_; }, [this](const std::string& v) { SetHint(v); });
  PublishBoolean("ParentFont", [this] { return parentFont_; }, [this](bool v) { SetParentFont(v); });
}

TWinControl::TWinControl(TWinControl& parent, std::string name) : TWinControl(std::move(name)) {
  parent_ = &parent;
  form_ = parent.form_;
  PublishInteger("TabOrder", [this] { return TabOrder(); }, [this](std::int32_t v) { SetTabOrder(v); }, 0);
}

TWinControl::~TWinControl() {
  if (parent_ != nullptr) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  for (TWinControl* child : children_) child->parent_ = nullptr;
  // Unhooked first, so that destroying the windows sends nothing to a control half gone.
  for (auto& inner : inner_) {
    if (inner) ::RemoveWindowSubclass(inner.get(), ControlProc, kSubclassId);
  }
  if (window_) ::RemoveWindowSubclass(window_.get(), ControlProc, kSubclassId);
  inner_.clear();
  window_.reset();
}

TWinControl* TWinControl::FromHandle(HWND window) {
  // Another process's window may carry a subclass list too, whose pointers mean nothing here.
  DWORD process = 0;
  if (window == nullptr || ::GetWindowThreadProcessId(window, &process) == 0 || process != ::GetCurrentProcessId()) {
    return nullptr;
  }
  DWORD_PTR data = 0;
  if (!::GetWindowSubclass(window, ControlProc, kSubclassId, &data)) return nullptr;
  return reinterpret_cast<TWinControl*>(data);
}

void TWinControl::Subclass(HWND window) {
  if (!::SetWindowSubclass(window, ControlProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    throw std::runtime_error("cannot subclass the window of " + Name());
  }
}

void TWinControl::CreateHandle(const TWindowParams& params) {
  className_ = params.ClassName;
  const TBounds& b = params.Bounds;
  HWND window = nullptr;
  if (parent_ == nullptr) {
    // A form: a top-level window; TForm has turned its client size into the outer one.
    window = ::CreateWindowExW(params.ExStyle, win32::Widen(params.ClassName).c_str(), win32::Widen(params.Text).c_str(),
                               params.Style, b.Left, b.Top, b.Width, b.Height, params.Parent, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
  } else {
    id_ = form_->NextControlId();
    window = ::CreateWindowExW(params.ExStyle | WS_EX_NOPARENTNOTIFY, win32::Widen(params.ClassName).c_str(),
                               win32::Widen(params.Text).c_str(), params.Style | kChildStyle, b.Left, b.Top, b.Width,
                               b.Height, parent_->Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                               ::GetModuleHandleW(nullptr), nullptr);
  }
  if (window == nullptr) throw std::runtime_error("cannot create the window of " + Name());
  window_.reset(window);
  Subclass(window);
  if (parent_ != nullptr) {
    parent_->children_.push_back(this);
    ::SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    InheritFont(parent_->Font());
  } else {
    ApplyFont();
  }
}

HWND TWinControl::CreateInnerWindow(const TWindowParams& params, HWND parentWindow) {
  const TBounds& b = params.Bounds;
  HWND window = ::CreateWindowExW(params.ExStyle | WS_EX_NOPARENTNOTIFY, win32::Widen(params.ClassName).c_str(),
                                  win32::Widen(params.Text).c_str(), params.Style | kChildStyle, b.Left, b.Top, b.Width,
                                  b.Height, parentWindow,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(form_->NextControlId())),
                                  ::GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) throw std::runtime_error("cannot create an inner window of " + Name());
  inner_.emplace_back(window);
  Subclass(window);
  if (parentWindow == ::GetParent(Handle())) {
    // A sibling lies just above its control, so that it may overlap the control's edge.
    HWND above = ::GetWindow(Handle(), GW_HWNDPREV);
    ::SetWindowPos(window, above != nullptr ? above : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  if (fontHandle_) ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(fontHandle_.get()), TRUE);
  return window;
}

void TWinControl::RecreateHandle(DWORD addStyle, DWORD removeStyle) {
  HWND old = window_.get();
  const TBounds b = Bounds();
  const DWORD style = (static_cast<DWORD>(::GetWindowLongW(old, GWL_STYLE)) | addStyle) & ~removeStyle;
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(old, GWL_EXSTYLE));
  HWND before = ::GetWindow(old, GW_HWNDPREV);
  HWND window = ::CreateWindowExW(exStyle, win32::Widen(className_).c_str(), win32::Widen(Caption()).c_str(), style,
                                  b.Left, b.Top, b.Width, b.Height, ::GetParent(old),
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), ::GetModuleHandleW(nullptr),
                                  nullptr);
  if (window == nullptr) throw std::runtime_error("cannot create the window of " + Name() + " again");
  ::RemoveWindowSubclass(old, ControlProc, kSubclassId);
  if (!hint_.empty()) form_->SetTool(old, std::string());
  window_.reset(window);
  Subclass(window);
  ::SetWindowPos(window, before != nullptr ? before : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (fontHandle_) ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(fontHandle_.get()), TRUE);
  if (!hint_.empty()) form_->SetTool(window, hint_);
}

void TWinControl::Forget(HWND window) {
  if (window_.get() == window) {
    window_.release();
    return;
  }
  for (auto& inner : inner_) {
    if (inner.get() == window) inner.release();
  }
}

void TWinControl::PublishText(std::string name) {
  PublishString(std::move(name), [this] { return Caption(); }, [this](const std::string& v) { SetCaption(v); });
}

std::string TWinControl::Caption() const {
  const int length = ::GetWindowTextLengthW(Handle());
  std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
  const int got = ::GetWindowTextW(Handle(), &text[0], static_cast<int>(text.size()));
  return win32::Narrow(text.data(), static_cast<std::size_t>(std::max(got, 0)));
}

void TWinControl::SetCaption(const std::string& text) {
  ::SetWindowTextW(Handle(), win32::Widen(text).c_str());
  TextChanged();
}

TBounds TWinControl::Bounds() const {
  RECT r{};
  ::GetWindowRect(Handle(), &r);
  if (parent_ != nullptr) ::MapWindowPoints(nullptr, ::GetParent(Handle()), reinterpret_cast<POINT*>(&r), 2);
  return TBounds{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void TWinControl::SetBounds(const TBounds& b) {
  ::SetWindowPos(Handle(), nullptr, b.Left, b.Top, std::max(0, b.Width), std::max(0, b.Height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TWinControl::Enabled() const { return ::IsWindowEnabled(Handle()) != FALSE; }

void TWinControl::SetEnabled(bool on) { ::EnableWindow(Handle(), on ? TRUE : FALSE); }

bool TWinControl::Visible() const { return (::GetWindowLongW(Handle(), GWL_STYLE) & WS_VISIBLE) != 0; }

void TWinControl::SetVisible(bool on) { ::ShowWindow(Handle(), on ? SW_SHOWNA : SW_HIDE); }

void TWinControl::SetHint(const std::string& text) {
  hint_ = text;
  form_->SetTool(Handle(), text);
}

int TWinControl::TabOrder() const {
  if (parent_ == nullptr) return 0;
  const auto& siblings = parent_->children_;
  return static_cast<int>(std::find(siblings.begin(), siblings.end(), this) - siblings.begin());
}

void TWinControl::SetTabOrder(int position) {
  if (parent_ == nullptr) return;
  auto& siblings = parent_->children_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  const auto at = static_cast<std::size_t>(std::clamp(position, 0, static_cast<int>(siblings.size())));
  siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(at), this);
  parent_->Restack();
}

void TWinControl::Restack() {
  // The dialog keys walk the children in z-order, so the z-order is the tab order.
  // A control's sibling inner windows (a spin edit's arrows) stay just above it.
  HWND after = HWND_TOP;
  for (TWinControl* child : children_) {
    for (const auto& inner : child->inner_) {
      if (inner && ::GetParent(inner.get()) == Handle()) {
        ::SetWindowPos(inner.get(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = inner.get();
      }
    }
    ::SetWindowPos(child->Handle(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = child->Handle();
  }
}

void TWinControl::SetParentFont(bool on) {
  parentFont_ = on;
  if (on && parent_ != nullptr) InheritFont(parent_->Font());
}

void TWinControl::ApplyFontFields() {
  parentFont_ = false;
  ApplyFont();
}

void TWinControl::InheritFont(const TFont& font) {
  // Plain copies: the font's change handler would take the control off its parent's font.
  font_->Name = font.Name;
  font_->Height = font.Height;
  font_->Style = font.Style;
  font_->Pitch = font.Pitch;
  font_->Color = font.Color;
  font_->Charset = font.Charset;
  parentFont_ = true;
  ApplyFont();
}

void TWinControl::ApplyFont() {
  if (!window_) return;
  const TFont& f = *font_;
  static constexpr BYTE kPitch[] = {DEFAULT_PITCH, VARIABLE_PITCH, FIXED_PITCH};
  UniqueFont font(::CreateFontW(FromDesign(f.Height), 0, 0, 0,
                                (f.Style & TFont::kBold) ? FW_BOLD : FW_NORMAL,
                                (f.Style & TFont::kItalic) ? TRUE : FALSE, (f.Style & TFont::kUnderline) ? TRUE : FALSE,
                                (f.Style & TFont::kStrikeOut) ? TRUE : FALSE, static_cast<BYTE>(f.Charset),
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                kPitch[std::clamp(f.Pitch, 0, 2)] | FF_DONTCARE, win32::Widen(f.Name).c_str()));
  if (!font) return;
  ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  for (const auto& inner : inner_) {
    if (inner) ::SendMessageW(inner.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  }
  // The old font goes only now that no window uses it.
  fontHandle_ = std::move(font);
  FontChanged();
  for (TWinControl* child : children_) {
    if (child->parentFont_) child->InheritFont(f);
  }
}

void TWinControl::SetStyleBits(DWORD bits, bool on) {
  const DWORD style = static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_STYLE));
  ::SetWindowLongW(Handle(), GWL_STYLE, static_cast<LONG>(on ? style | bits : style & ~bits));
  ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TWinControl::SetExStyleBits(DWORD bits, bool on) {
  const DWORD style = static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_EXSTYLE));
  ::SetWindowLongW(Handle(), GWL_EXSTYLE, static_cast<LONG>(on ? style | bits : style & ~bits));
  ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TWinControl::SetEdge(TEdge edge) {
  SetExStyleBits(WS_EX_CLIENTEDGE | WS_EX_STATICEDGE, false);
  if (edge == TEdge::Sunken) SetExStyleBits(WS_EX_CLIENTEDGE, true);
  if (edge == TEdge::Soft) SetExStyleBits(WS_EX_STATICEDGE, true);
}

int TWinControl::Dpi() const { return form_ != nullptr ? form_->dpi_ : kDesignDpi; }

int TWinControl::FromDesign(int length) const { return ScaleLength(length, kDesignDpi, Dpi()); }

SIZE TWinControl::MeasureText(const std::string& text, int wrapWidth) const {
  TWindowDC dc(Handle());
  if (dc.get() == nullptr) return SIZE{0, 0};
  HGDIOBJ old = ::SelectObject(dc.get(), FontHandle());
  RECT r{0, 0, wrapWidth, 0};
  ::DrawTextW(dc.get(), win32::Widen(text).c_str(), -1, &r,
              DT_CALCRECT | DT_EXPANDTABS | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
  ::SelectObject(dc.get(), old);
  return SIZE{r.right, r.bottom};
}

void TWinControl::ScaleChildren(int oldDpi, int newDpi) {
  for (TWinControl* child : children_) {
    // Inside first: a container that sizes its pages to itself then finds them scaled already.
    child->ScaleChildren(oldDpi, newDpi);
    child->SetBounds(ScaleBounds(child->Bounds(), oldDpi, newDpi));
  }
}

void TWinControl::ReapplyFonts() {
  // A control on its parent's font gets the new one from its parent's ApplyFont.
  if (parent_ == nullptr || !parentFont_) ApplyFont();
  for (TWinControl* child : children_) child->ReapplyFonts();
}

void TWinControl::TellDpiChanged(int oldDpi, int newDpi) {
  DpiChanged(oldDpi, newDpi);
  for (TWinControl* child : children_) child->TellDpiChanged(oldDpi, newDpi);
}

void TWinControl::SetFocus() { ::SetFocus(Handle()); }

bool TWinControl::Focused() const { return Handle() != nullptr && ::GetFocus() == Handle(); }

bool TWinControl::Notified(HWND, UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT TWinControl::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefSubclassProc(window, message, wParam, lParam);
}

HBRUSH TWinControl::BackgroundBrush() const {
  return parent_ != nullptr ? parent_->BackgroundBrush() : ::GetSysColorBrush(COLOR_BTNFACE);
}

LRESULT TWinControl::TransparentColors(HDC dc) const {
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, static_cast<COLORREF>(font_->Color));
  return reinterpret_cast<LRESULT>(parent_ != nullptr ? parent_->BackgroundBrush() : BackgroundBrush());
}

LRESULT TWinControl::Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND from = nullptr;
  switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_HSCROLL:
    case WM_VSCROLL:
      from = reinterpret_cast<HWND>(lParam);
      break;
    case WM_NOTIFY:
      from = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
      break;
    case WM_DRAWITEM:
      from = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
      break;
    default:
      break;
  }
  if (from != nullptr && from != window) {
    if (TWinControl* child = FromHandle(from)) {
      LRESULT result = 0;
      if (child->Notified(from, message, wParam, lParam, result)) return result;
    }
  }
  return WndProc(window, message, wParam, lParam);
}

}  // namespace zorvex::widgets
