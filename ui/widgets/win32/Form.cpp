#include "ui/widgets/win32/Form.h"

#include <stdexcept>

#include "base/Trace.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/WideText.h"
#include "ui/widgets/win32/Basic.h"

namespace zorvex::widgets {

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

constexpr const char* kFormClass = "ZorvexForm";
constexpr const wchar_t* kFormClassW = L"ZorvexForm";

void RegisterFormClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClassW;
    return ::RegisterClassW(&wc) != 0;
  }();
  (void)registered;
}

struct Frame {
  DWORD style;
  DWORD exStyle;
};

// The style bits each border style owns; the rest of a form's style stays as it is.
constexpr DWORD kFrameBits = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_MODALFRAME;

Frame FrameOf(TBorderStyle style) {
  switch (style) {
    case TBorderStyle::None:
      return {WS_POPUP, 0};
    case TBorderStyle::Single:
      return {WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0};
    case TBorderStyle::Sizeable:
      return {WS_OVERLAPPEDWINDOW, 0};
    case TBorderStyle::Dialog:
    default:
      return {WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, WS_EX_DLGMODALFRAME};
  }
}

const TEnumType& BorderStyleType() {
  static const TEnumType type{{"bsNone", "bsSingle", "bsSizeable", "bsDialog"}};
  return type;
}

const TEnumType& FormStyleType() {
  static const TEnumType type{{"fsNormal", "fsStayOnTop"}};
  return type;
}

const TEnumType& PositionType() {
  static const TEnumType type{{"poDesigned", "poScreenCenter"}};
  return type;
}

struct WindowSearch {
  HWND form;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectOtherWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  // No exception crosses the callback: the search simply stops.
  try {
    if (window != search->form && ::GetWindow(window, GW_OWNER) != search->form && ::IsWindowVisible(window) &&
        ::IsWindowEnabled(window)) {
      search->found.push_back(window);
    }
    return TRUE;
  } catch (...) {
    TraceCurrentFailure("window search");
    return FALSE;
  }
}

// The thread's visible, enabled windows other than form and what it owns; disabled while it is modal.
std::vector<HWND> DisableOtherWindows(HWND form) {
  WindowSearch search{form, {}};
  ::EnumThreadWindows(::GetCurrentThreadId(), CollectOtherWindow, reinterpret_cast<LPARAM>(&search));
  for (HWND window : search.found) ::EnableWindow(window, FALSE);
  return search.found;
}

}  // namespace

TForm::TForm(std::string name, const TFormParams& p) : TWinControl(std::move(name)), borderStyle_(p.BorderStyle) {
  DeclareClass("TForm");
  form_ = this;
  RegisterFormClass();
  const Frame frame = FrameOf(p.BorderStyle);
  const DWORD style = frame.style | WS_CLIPCHILDREN;
  const DWORD exStyle = frame.exStyle | WS_EX_CONTROLPARENT | (p.StayOnTop ? WS_EX_TOPMOST : 0) |
                        (p.TaskBarButton ? WS_EX_APPWINDOW : 0);
  RECT r{0, 0, p.ClientWidth, p.ClientHeight};
  ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  CreateHandle(TWindowParams{kFormClass, style, exStyle, TBounds{0, 0, r.right - r.left, r.bottom - r.top}, "", p.Parent});
  tooltip_.reset(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr));

  PublishText("Caption");
  PublishInteger("ClientWidth", [this] { return ClientWidth(); }, [this](std::int32_t v) { SetClientSize(v, ClientHeight()); }, 0);
  PublishInteger("ClientHeight", [this] { return ClientHeight(); }, [this](std::int32_t v) { SetClientSize(ClientWidth(), v); }, 0);
  PublishEnum("BorderStyle", BorderStyleType(), [this] { return static_cast<int>(borderStyle_); },
              [this](int v) { SetBorderStyle(static_cast<TBorderStyle>(v)); });
  PublishEnum("FormStyle", FormStyleType(), [this] { return StayOnTop() ? 1 : 0; }, [this](int v) { SetStayOnTop(v == 1); });
  PublishEnum("Position", PositionType(), [this] { return static_cast<int>(Position); },
              [this](int v) { Position = static_cast<TPosition>(v); });
}

TForm::~TForm() {
  tooltip_.reset();
  // The window tree goes while every control still exists, so each one learns that its window is gone.
  if (HWND window = Handle()) ::DestroyWindow(window);
  while (ComponentCount() > 0) Remove(Component(ComponentCount() - 1)).reset();
}

void TForm::Loaded() {
  TWinControl::Loaded();
  ScaleTo(win32::WindowDpi(Handle()));
  Translate();
  FormCreate();
}

void TForm::ScaleTo(int dpi) {
  if (dpi <= 0 || dpi == dpi_) return;
  const int oldDpi = dpi_;
  const int width = ScaleLength(ClientWidth(), oldDpi, dpi);
  const int height = ScaleLength(ClientHeight(), oldDpi, dpi);
  dpi_ = dpi;
  SetClientSize(width, height);
  ScaleChildren(oldDpi, dpi);
  ReapplyFonts();
  TellDpiChanged(oldDpi, dpi);
  if (iconId_ != 0) SetIcon(iconId_);
}

void TForm::PrepareShow() {
  BeforeShow();
  if (OnShow) OnShow();
  if (Position == TPosition::ScreenCenter) {
    const TBounds b = Bounds();
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - b.Width) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - b.Height) / 2;
    ::SetWindowPos(Handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TForm::FocusFirst() {
  if (HWND first = ::GetNextDlgTabItem(Handle(), nullptr, FALSE)) ::SetFocus(first);
}

int TForm::ShowModal() {
  if (modal_) throw std::logic_error("form " + Name() + " is already shown modally");
  if (Handle() == nullptr) throw std::logic_error("form " + Name() + " has no window");
  PrepareShow();
  // Whatever ends the loop, the other windows come back before this one hides, so that one of
  // them takes the activation.
  struct Restore {
    TForm& form;
    std::vector<HWND> disabled;
    ~Restore() {
      for (HWND window : disabled) {
        if (::IsWindow(window)) ::EnableWindow(window, TRUE);
      }
      if (form.Handle() != nullptr) ::ShowWindow(form.Handle(), SW_HIDE);
      form.modal_ = false;
    }
  } restore{*this, DisableOtherWindows(Handle())};
  modal_ = true;
  modalResult_ = mrNone;
  ::ShowWindow(Handle(), SW_SHOW);
  ::SetForegroundWindow(Handle());
  FocusFirst();
  MSG msg{};
  while (modalResult_ == mrNone) {
    if (Handle() == nullptr) {
      modalResult_ = mrCancel;
      break;
    }
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: the outer loop must see WM_QUIT too.
      if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
      modalResult_ = mrCancel;
      break;
    }
    if (!IsFormMessage(msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  return modalResult_;
}

void TForm::Show() {
  PrepareShow();
  ::ShowWindow(Handle(), SW_SHOW);
  ::SetForegroundWindow(Handle());
  FocusFirst();
}

void TForm::Hide() { ::ShowWindow(Handle(), SW_HIDE); }

void TForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
  } else {
    Hide();
  }
}

void TForm::SetVisible(bool on) {
  if (on) {
    Show();
  } else {
    Hide();
  }
}

int TForm::ClientWidth() const {
  RECT r{};
  ::GetClientRect(Handle(), &r);
  return r.right;
}

int TForm::ClientHeight() const {
  RECT r{};
  ::GetClientRect(Handle(), &r);
  return r.bottom;
}

void TForm::SetClientSize(int width, int height) {
  RECT r{0, 0, width, height};
  win32::AdjustWindowRectForDpi(r, static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_STYLE)),
                                static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_EXSTYLE)), dpi_);
  ::SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetBorderStyle(TBorderStyle style) {
  const int width = ClientWidth();
  const int height = ClientHeight();
  const Frame frame = FrameOf(style);
  const DWORD old = static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_STYLE));
  ::SetWindowLongW(Handle(), GWL_STYLE, static_cast<LONG>((old & ~kFrameBits) | frame.style));
  SetExStyleBits(WS_EX_DLGMODALFRAME, frame.exStyle != 0);
  borderStyle_ = style;
  SetClientSize(width, height);
}

bool TForm::StayOnTop() const { return (::GetWindowLongW(Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

void TForm::SetStayOnTop(bool on) {
  ::SetWindowPos(Handle(), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TForm::SetIcon(int resourceId) {
  iconId_ = resourceId;
  const auto load = [&](int metric) {
    const int size = win32::MetricForDpi(metric, dpi_);
    return win32::LoadProgramIcon(resourceId, size, size);
  };
  win32::UniqueIcon small = load(SM_CXSMICON);
  win32::UniqueIcon big = load(SM_CXICON);
  ::SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
  // The old ones go only now that the window no longer shows them.
  smallIcon_ = std::move(small);
  bigIcon_ = std::move(big);
}

std::vector<TWinControl*> TForm::AllControls() const {
  std::vector<TWinControl*> controls;
  for (std::size_t i = 0; i < ComponentCount(); ++i) {
    if (auto* control = dynamic_cast<TWinControl*>(&Component(i))) controls.push_back(control);
  }
  return controls;
}

TButton* TForm::DefaultButton() const {
  for (TWinControl* control : AllControls()) {
    auto* button = dynamic_cast<TButton*>(control);
    if (button != nullptr && button->Default() && button->Enabled() && button->Visible()) return button;
  }
  return nullptr;
}

TButton* TForm::CancelButton() const {
  for (TWinControl* control : AllControls()) {
    auto* button = dynamic_cast<TButton*>(control);
    if (button != nullptr && button->Cancel && button->Enabled() && button->Visible()) return button;
  }
  return nullptr;
}

bool TForm::IsFormMessage(MSG& msg) {
  if (msg.hwnd == nullptr || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
  HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
  if (dynamic_cast<TForm*>(FromHandle(root)) == nullptr) return false;
  return ::IsDialogMessageW(root, &msg) != FALSE;
}

void TForm::SetTool(HWND window, const std::string& text) {
  if (!tooltip_ || window == nullptr) return;
  TTTOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = Handle();
  info.uId = reinterpret_cast<UINT_PTR>(window);
  ::SendMessageW(tooltip_.get(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  if (text.empty()) return;
  std::wstring wide = win32::Widen(text);
  info.lpszText = &wide[0];
  ::SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

UINT_PTR TForm::AddTimer(TTimer& timer) {
  timers_.push_back(&timer);
  return nextTimerId_++;
}

void TForm::RemoveTimer(TTimer& timer) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (*it == &timer) {
      timers_.erase(it);
      return;
    }
  }
}

LRESULT TForm::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_COMMAND:
      // Enter and Esc through the dialog keys arrive as IDOK and IDCANCEL without a window of ours.
      if (FromHandle(reinterpret_cast<HWND>(lParam)) == nullptr) {
        if (LOWORD(wParam) == IDOK) {
          if (TButton* button = DefaultButton()) button->Click();
          return 0;
        }
        if (LOWORD(wParam) == IDCANCEL) {
          if (TButton* button = CancelButton()) button->Click();
          return 0;
        }
      }
      break;
    case WM_DPICHANGED: {
      ScaleTo(LOWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case DM_GETDEFID:
      if (TButton* button = DefaultButton()) return MAKELRESULT(button->ControlId(), DC_HASDEFID);
      return 0;
    case WM_TIMER:
      for (TTimer* timer : timers_) {
        if (timer->id_ == wParam) {
          if (timer->OnTimer) timer->OnTimer();
          return 0;
        }
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(window, focus)) lastFocus_ = focus;
        break;
      }
      [[fallthrough]];
    case WM_SETFOCUS:
      // The focus goes back to the control that had it, not to the form itself.
      if (lastFocus_ != nullptr && ::IsWindow(lastFocus_) && ::IsChild(window, lastFocus_)) {
        ::SetFocus(lastFocus_);
      } else {
        FocusFirst();
      }
      return 0;
    default:
      break;
  }
  return TWinControl::WndProc(window, message, wParam, lParam);
}

TTimer::TTimer(TForm& form, std::string name, unsigned interval, bool enabled)
    : TComponent(std::move(name)), form_(form), id_(form.AddTimer(*this)), interval_(interval), enabled_(enabled) {
  DeclareClass("TTimer");
  PublishInteger("Interval", [this] { return static_cast<std::int32_t>(interval_); },
                 [this](std::int32_t v) { SetInterval(static_cast<unsigned>(v)); }, 0);
  PublishBoolean("Enabled", [this] { return enabled_; }, [this](bool v) { SetEnabled(v); });
  Update();
}

TTimer::~TTimer() {
  // Without the window there is no timer; KillTimer(nullptr, id) would stop a thread timer of that id.
  if (form_.Handle() != nullptr) ::KillTimer(form_.Handle(), id_);
  form_.RemoveTimer(*this);
}

void TTimer::SetInterval(unsigned milliseconds) {
  interval_ = milliseconds;
  Update();
}

void TTimer::SetEnabled(bool on) {
  enabled_ = on;
  Update();
}

void TTimer::Update() {
  if (form_.Handle() == nullptr) return;
  if (enabled_ && interval_ > 0) {
    ::SetTimer(form_.Handle(), id_, interval_, nullptr);
  } else {
    ::KillTimer(form_.Handle(), id_);
  }
}

}  // namespace zorvex::widgets
