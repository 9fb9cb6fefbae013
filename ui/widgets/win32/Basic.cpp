#include "ui/widgets/win32/Basic.h"

#include <shellapi.h>

#include <algorithm>
#include <stdexcept>

#include "base/Dpi.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/WideText.h"

namespace zorvex::widgets {

namespace {

constexpr COLORREF kLinkColor = RGB(0, 0, 255);
constexpr COLORREF kHotLinkColor = RGB(255, 0, 0);

const TEnumType& ModalResultType() {
  // Ordinals are the dialog results the system uses.
  static const TEnumType type{{"mrNone", "mrOk", "mrCancel", "mrAbort", "mrRetry", "mrIgnore", "mrYes", "mrNo"}};
  return type;
}

const TEnumType& BevelShapeType() {
  static const TEnumType type{{"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"}};
  return type;
}

const TEnumType& BevelStyleType() {
  static const TEnumType type{{"bsLowered", "bsRaised"}};
  return type;
}

}  // namespace

int CheckMarkRoom(int dpi) { return win32::MetricForDpi(SM_CXMENUCHECK, dpi) + ScaleLength(4, kDesignDpi, dpi); }

// ---- TLabel --------------------------------------------------------------------------------------

TLabel::TLabel(TWinControl& parent, std::string name, TBounds bounds, std::string caption, bool autoSize, bool wordWrap)
    : TLabel(parent, std::move(name), bounds, std::move(caption), autoSize, wordWrap, 0) {}

TLabel::TLabel(TWinControl& parent, std::string name, TBounds bounds, std::string caption, bool autoSize, bool wordWrap,
               DWORD extraStyle)
    : TWinControl(parent, std::move(name)), autoSize_(autoSize), wordWrap_(wordWrap) {
  DeclareClass("TLabel");
  CreateHandle(TWindowParams{"STATIC", (wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP) | extraStyle, 0, bounds, caption});
  PublishText("Caption");
  PublishBoolean("AutoSize", [this] { return autoSize_; }, [this](bool v) { SetAutoSize(v); });
  AdjustSize();
}

void TLabel::SetAutoSize(bool on) {
  autoSize_ = on;
  AdjustSize();
}

void TLabel::AdjustSize() {
  if (Handle() == nullptr) return;
  const std::string text = Caption();
  TBounds b = Bounds();
  // An empty label keeps the height of one line.
  const SIZE need = MeasureText(text.empty() ? std::string(" ") : text, wordWrap_ ? b.Width : 0);
  if (!autoSize_) {
    // A fixed label only grows, and only in width: its design may leave room below for more lines.
    if (wordWrap_ || text.empty() || need.cx <= b.Width) return;
    b.Width = need.cx;
  } else {
    if (!wordWrap_) b.Width = text.empty() ? 0 : need.cx;
    b.Height = need.cy;
  }
  TWinControl::SetBounds(b);
}

bool TLabel::Notified(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message != WM_CTLCOLORSTATIC) return false;
  result = TransparentColors(reinterpret_cast<HDC>(wParam));
  return true;
}

// ---- TLinkLabel ----------------------------------------------------------------------------------

TLinkLabel::TLinkLabel(TWinControl& parent, std::string name, TBounds bounds, std::string caption, std::string url)
    : TLabel(parent, std::move(name), bounds, std::move(caption), true, false, SS_NOTIFY), Url(std::move(url)) {
  DeclareClass("TLinkLabel");
  Opener = [](const std::string& address) {
    ::ShellExecuteW(nullptr, L"open", win32::Widen(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  };
}

void TLinkLabel::Click() {
  if (Opener) Opener(Url.empty() ? Caption() : Url);
}

void TLinkLabel::SetHot(bool on) {
  if (hot_ == on) return;
  hot_ = on;
  if (on && !hotFont_) {
    LOGFONTW font{};
    ::GetObjectW(FontHandle(), sizeof font, &font);
    font.lfUnderline = TRUE;
    hotFont_.reset(::CreateFontIndirectW(&font));
  }
  HFONT shown = on && hotFont_ ? hotFont_.get() : FontHandle();
  ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(shown), TRUE);
}

void TLinkLabel::FontChanged() {
  // The control now shows the new plain font; the underlined one is made again at the next hover.
  hot_ = false;
  hotFont_.reset();
  TLabel::FontChanged();
}

bool TLinkLabel::Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_CTLCOLORSTATIC) {
    result = TransparentColors(reinterpret_cast<HDC>(wParam));
    ::SetTextColor(reinterpret_cast<HDC>(wParam), hot_ ? kHotLinkColor : kLinkColor);
    return true;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == STN_CLICKED) {
    Click();
    return true;
  }
  return TLabel::Notified(from, message, wParam, lParam, result);
}

LRESULT TLinkLabel::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR:
      ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // IDC_HAND
      return TRUE;
    case WM_MOUSEMOVE:
      if (!hot_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
        ::TrackMouseEvent(&track);
        SetHot(true);
      }
      break;
    case WM_MOUSELEAVE:
      SetHot(false);
      break;
    default:
      break;
  }
  return TLabel::WndProc(window, message, wParam, lParam);
}

// ---- TButton -------------------------------------------------------------------------------------

TButton::TButton(TWinControl& parent, std::string name, TBounds bounds, std::string caption)
    : TWinControl(parent, std::move(name)) {
  DeclareClass("TButtonControl");
  DeclareClass("TButton");
  CreateHandle(TWindowParams{"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, bounds, caption});
  PublishText("Caption");
  PublishBoolean("Default", [this] { return default_; }, [this](bool v) { SetDefault(v); });
  PublishBoolean("Cancel", [this] { return Cancel; }, [this](bool v) { Cancel = v; });
  PublishEnum("ModalResult", ModalResultType(), [this] { return ModalResult; }, [this](int v) { ModalResult = v; });
}

void TButton::SetDefault(bool on) {
  default_ = on;
  ::SendMessageW(Handle(), BM_SETSTYLE, on ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
  if (ModalResult != mrNone) Form().SetModalResult(ModalResult);
  if (OnClick) OnClick();
}

bool TButton::Notified(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    Click();
    result = 0;
    return true;
  }
  return false;
}

// ---- TCheckBox, TRadioButton ---------------------------------------------------------------------

TCheckControl::TCheckControl(TWinControl& parent, std::string name, TBounds bounds, std::string caption, DWORD style)
    : TWinControl(parent, std::move(name)) {
  DeclareClass("TButtonControl");
  CreateHandle(TWindowParams{"BUTTON", style | WS_TABSTOP, 0, bounds, caption});
  PublishText("Caption");
  PublishBoolean("Checked", [this] { return Checked(); }, [this](bool v) { SetChecked(v); });
}

bool TCheckControl::Checked() const { return ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckControl::SetChecked(bool on) {
  if (Checked() == on) return;
  ::SendMessageW(Handle(), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  StateChanged();
  if (OnClick) OnClick();
}

bool TCheckControl::Notified(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
    result = TransparentColors(reinterpret_cast<HDC>(wParam));
    return true;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    // The button has toggled itself already.
    StateChanged();
    if (OnClick) OnClick();
    result = 0;
    return true;
  }
  return false;
}

void TCheckControl::FitText() {
  if (Handle() == nullptr) return;
  const std::string text = Caption();
  if (text.empty()) return;
  TBounds b = Bounds();
  const int room = CheckMarkRoom(Dpi());
  if (::GetWindowLongW(Handle(), GWL_STYLE) & BS_MULTILINE) {
    b.Height = std::max<int>(b.Height, MeasureText(text, std::max(1, b.Width - room)).cy);
  } else {
    b.Width = std::max<int>(b.Width, room + MeasureText(text).cx);
  }
  if (b != Bounds()) TWinControl::SetBounds(b);
}

TCheckBox::TCheckBox(TWinControl& parent, std::string name, TBounds bounds, std::string caption, bool wordWrap)
    : TCheckControl(parent, std::move(name), bounds, std::move(caption),
                    BS_AUTOCHECKBOX | (wordWrap ? BS_MULTILINE : 0)) {
  DeclareClass("TCheckBox");
}

TRadioButton::TRadioButton(TWinControl& parent, std::string name, TBounds bounds, std::string caption)
    : TCheckControl(parent, std::move(name), bounds, std::move(caption), BS_AUTORADIOBUTTON) {
  DeclareClass("TRadioButton");
}

void TRadioButton::StateChanged() {
  if (!Checked() || Parent() == nullptr) return;
  for (TWinControl* sibling : Parent()->Controls()) {
    if (sibling != this && dynamic_cast<TRadioButton*>(sibling) != nullptr) {
      ::SendMessageW(sibling->Handle(), BM_SETCHECK, BST_UNCHECKED, 0);
    }
  }
}

// ---- TEdit, TMemo --------------------------------------------------------------------------------

TEdit::TEdit(TWinControl& parent, std::string name, TBounds bounds, std::string text)
    : TEdit(parent, std::move(name), bounds, std::move(text), ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE) {}

TEdit::TEdit(TWinControl& parent, std::string name, TBounds bounds, std::string text, DWORD style, DWORD exStyle)
    : TWinControl(parent, std::move(name)) {
  DeclareClass("TEdit");
  CreateHandle(TWindowParams{"EDIT", style, exStyle, bounds, text});
  PublishString("Text", [this] { return Text(); }, [this](const std::string& v) { SetText(v); });
  PublishBoolean("ReadOnly", [this] { return ReadOnly(); }, [this](bool v) { SetReadOnly(v); });
}

void TEdit::SetText(const std::string& text) {
  if (Text() != text) SetCaption(text);
}

bool TEdit::ReadOnly() const { return (::GetWindowLongW(Handle(), GWL_STYLE) & ES_READONLY) != 0; }

void TEdit::SetReadOnly(bool on) { ::SendMessageW(Handle(), EM_SETREADONLY, on ? TRUE : FALSE, 0); }

void TEdit::Changed() {
  if (OnChange) OnChange();
}

bool TEdit::Notified(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
    Changed();
    result = 0;
    return true;
  }
  return false;
}

TMemoLines::TMemoLines(TMemo& memo) : memo_(memo) { DeclareClass("TMemoLines"); }

std::size_t TMemoLines::Count() const { return SplitLines(memo_.Text()).size(); }

std::string TMemoLines::Get(std::size_t index) const { return SplitLines(memo_.Text()).at(index); }

void TMemoLines::Put(std::size_t index, const std::string& text) {
  std::vector<std::string> lines = SplitLines(memo_.Text());
  lines.at(index) = text;
  Store(lines);
}

void TMemoLines::Add(const std::string& text) {
  std::vector<std::string> lines = SplitLines(memo_.Text());
  lines.push_back(text);
  Store(lines);
}

void TMemoLines::Clear() { memo_.SetText(std::string()); }

void TMemoLines::SetText(std::string_view text) { Store(SplitLines(text)); }

void TMemoLines::Store(const std::vector<std::string>& lines) { memo_.SetText(JoinLines(lines)); }

TMemo::TMemo(TWinControl& parent, std::string name, TBounds bounds, bool wordWrap)
    : TEdit(parent, std::move(name), bounds, std::string(),
            ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | (wordWrap ? 0 : ES_AUTOHSCROLL) | WS_TABSTOP,
            WS_EX_CLIENTEDGE) {
  DeclareClass("TMemo");
  lines_ = &PublishOwned("Lines", std::make_unique<TMemoLines>(*this));
}

// ---- TBevel --------------------------------------------------------------------------------------

TBevel::TBevel(TWinControl& parent, std::string name, TBounds bounds, TBevelShape shape)
    : TWinControl(parent, std::move(name)), shape_(shape) {
  DeclareClass("TBevel");
  CreateHandle(TWindowParams{"STATIC", SS_OWNERDRAW, 0, bounds, ""});
  PublishEnum("Shape", BevelShapeType(), [this] { return static_cast<int>(shape_); },
              [this](int v) { SetShape(static_cast<TBevelShape>(v)); });
  PublishEnum("Style", BevelStyleType(), [this] { return lowered_ ? 0 : 1; }, [this](int v) { SetLowered(v == 0); });
}

void TBevel::SetShape(TBevelShape shape) {
  shape_ = shape;
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TBevel::SetLowered(bool on) {
  lowered_ = on;
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

bool TBevel::Notified(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
  if (message != WM_DRAWITEM) return false;
  const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  RECT r = draw->rcItem;
  ::FillRect(draw->hDC, &r, BackgroundBrush());
  UINT edge = lowered_ ? EDGE_ETCHED : EDGE_BUMP;
  UINT sides = 0;
  switch (shape_) {
    case TBevelShape::Box:
      edge = lowered_ ? BDR_SUNKENOUTER : BDR_RAISEDINNER;
      sides = BF_RECT;
      break;
    case TBevelShape::Frame:
      sides = BF_RECT;
      break;
    case TBevelShape::TopLine:
      sides = BF_TOP;
      break;
    case TBevelShape::BottomLine:
      // The edge is two pixels high and ends at the bottom of the control.
      r.top = r.bottom - 2;
      sides = BF_TOP;
      break;
    case TBevelShape::LeftLine:
      sides = BF_LEFT;
      break;
    case TBevelShape::RightLine:
      r.left = r.right - 2;
      sides = BF_LEFT;
      break;
    case TBevelShape::Spacer:
      break;
  }
  if (sides != 0) ::DrawEdge(draw->hDC, &r, edge, sides);
  result = TRUE;
  return true;
}

// ---- TImage --------------------------------------------------------------------------------------

TImage::TImage(TWinControl& parent, std::string name, TBounds bounds) : TWinControl(parent, std::move(name)) {
  DeclareClass("TImage");
  CreateHandle(TWindowParams{"STATIC", SS_OWNERDRAW, 0, bounds, ""});
}

void TImage::SetIcon(win32::UniqueIcon icon) {
  icon_ = std::move(icon);
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

bool TImage::LoadIcon(int resourceId) {
  resourceId_ = resourceId;
  const TBounds b = Bounds();
  win32::UniqueIcon icon = win32::LoadProgramIcon(resourceId, b.Width, b.Height);
  if (!icon) return false;
  SetIcon(std::move(icon));
  return true;
}

void TImage::DpiChanged(int, int) {
  if (resourceId_ != 0) LoadIcon(resourceId_);
}

bool TImage::Notified(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
  if (message != WM_DRAWITEM) return false;
  const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  ::FillRect(draw->hDC, &draw->rcItem, BackgroundBrush());
  if (icon_) {
    ::DrawIconEx(draw->hDC, draw->rcItem.left, draw->rcItem.top, icon_.get(), draw->rcItem.right - draw->rcItem.left,
                 draw->rcItem.bottom - draw->rcItem.top, 0, nullptr, DI_NORMAL);
  }
  result = TRUE;
  return true;
}

}  // namespace zorvex::widgets
