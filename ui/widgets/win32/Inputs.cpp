#include "ui/widgets/win32/Inputs.h"

#include <commdlg.h>

#include <algorithm>
#include <stdexcept>

#include "platform/Files.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/WideText.h"

namespace zorvex::widgets {

namespace {

// The number a text shows: an optional sign and decimal digits; nothing for any other text or an
// overflow.
std::optional<long long> ParseNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9' || value > 1000000000000LL) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}


}  // namespace

// ---- TSpinEdit -----------------------------------------------------------------------------------

TSpinEdit::TSpinEdit(TWinControl& parent, std::string name, TBounds bounds, int min, int max)
    : TEdit(parent, std::move(name), bounds, std::to_string(min), ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE),
      min_(min),
      max_(std::max(min, max)) {
  DeclareClass("TSpinEdit");
  arrows_ = CreateInnerWindow(
      TWindowParams{"msctls_updown32", UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, TBounds{}, ""},
      ::GetParent(Handle()));
  ::SendMessageW(arrows_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Handle()), 0);
  SetBounds(bounds);
  ::SendMessageW(arrows_, UDM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
  ::SendMessageW(arrows_, UDM_SETPOS32, 0, min_);
  PublishInteger("Value", [this] { return Value(); }, [this](std::int32_t v) { SetValue(v); });
  PublishInteger("MinValue", [this] { return min_; }, [this](std::int32_t v) { SetRange(v, max_); });
  PublishInteger("MaxValue", [this] { return max_; }, [this](std::int32_t v) { SetRange(min_, v); });
}

int TSpinEdit::Value() const {
  const std::optional<long long> number = ParseNumber(Text());
  return number ? ClampSpinValue(*number, min_, max_) : min_;
}

void TSpinEdit::SetValue(int value) {
  const int clamped = ClampSpinValue(value, min_, max_);
  SetText(std::to_string(clamped));
  ::SendMessageW(arrows_, UDM_SETPOS32, 0, clamped);
}

void TSpinEdit::SetRange(int min, int max) {
  const int value = Value();
  min_ = min;
  max_ = std::max(min, max);
  ::SendMessageW(arrows_, UDM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
  SetValue(value);
}

TBounds TSpinEdit::Bounds() const {
  TBounds b = TEdit::Bounds();
  RECT arrows{};
  if (arrows_ != nullptr && ::GetWindowRect(arrows_, &arrows)) {
    ::MapWindowPoints(nullptr, ::GetParent(arrows_), reinterpret_cast<POINT*>(&arrows), 2);
    b.Width = std::max<int>(b.Width, arrows.right - b.Left);
  }
  return b;
}

void TSpinEdit::SetBounds(const TBounds& bounds) {
  // The arrows end at the right of the bounds and cover the edit's right edge, so that the pair
  // fills exactly the bounds and looks like one box.
  const int arrows = std::min(win32::MetricForDpi(SM_CXVSCROLL, Dpi()), bounds.Width / 2);
  const int overlap = win32::MetricForDpi(SM_CXEDGE, Dpi());
  TEdit::SetBounds(TBounds{bounds.Left, bounds.Top, bounds.Width - arrows + overlap, bounds.Height});
  if (arrows_ != nullptr) {
    ::SetWindowPos(arrows_, nullptr, bounds.Left + bounds.Width - arrows, bounds.Top, arrows, bounds.Height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TSpinEdit::SetEnabled(bool on) {
  TEdit::SetEnabled(on);
  ::EnableWindow(arrows_, on ? TRUE : FALSE);
}

void TSpinEdit::SetVisible(bool on) {
  TEdit::SetVisible(on);
  ::ShowWindow(arrows_, on ? SW_SHOWNA : SW_HIDE);
}

// ---- TFileNameEdit -------------------------------------------------------------------------------

std::optional<std::string> ChooseFileName(HWND owner, bool save, const std::string& filter,
                                          const std::string& defaultExt, const std::string& current) {
  std::wstring pairs = win32::Widen(filter);
  std::replace(pairs.begin(), pairs.end(), L'|', L'\0');
  pairs.push_back(L'\0');  // the list ends with two NULs; c_str adds the second
  // Room for the longest path the system allows.
  std::wstring file(32768, L'\0');
  const std::wstring start = win32::Widen(current);
  if (start.size() < file.size()) start.copy(&file[0], start.size());
  const std::wstring extension = win32::Widen(defaultExt);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = pairs.c_str();
  dialog.lpstrFile = &file[0];
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
  if (!save) dialog.Flags |= OFN_FILEMUSTEXIST;
  const BOOL chosen = save ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog);
  if (!chosen) return std::nullopt;
  return win32::Narrow(std::wstring(file.c_str()));
}

TFileNameEdit::TFileNameEdit(TWinControl& parent, std::string name, TBounds bounds)
    : TEdit(parent, std::move(name), bounds, std::string(), ES_AUTOHSCROLL | WS_TABSTOP | WS_CLIPSIBLINGS,
            WS_EX_CLIENTEDGE) {
  DeclareClass("TFileNameEdit");
  // A sibling lying over the edit's right end: a button inside an edit is painted over by some
  // edit controls (seen under Wine), while a sibling on top is clipped out of the edit's painting.
  button_ = CreateInnerWindow(TWindowParams{"BUTTON", BS_PUSHBUTTON | BS_FLAT | WS_CLIPSIBLINGS, 0, TBounds{}, "..."},
                              ::GetParent(Handle()));
  PlaceButton();
  Chooser = [this](const std::string& current) { return ChooseFileName(Form().Handle(), false, Filter, {}, current); };
  PublishString("Filter", [this] { return Filter; }, [this](const std::string& v) { Filter = v; });
}

std::string TFileNameEdit::FileName() const { return FileNameFromText(Text(), FileExists); }

void TFileNameEdit::SetFileName(const std::string& value) {
  CheckFileName(value, FileExists);
  SetText(QuotedFileName(value));
}

void TFileNameEdit::Browse() {
  if (!Chooser) return;
  if (std::optional<std::string> chosen = Chooser(FileName())) SetFileName(*chosen);
}

void TFileNameEdit::SetEnabled(bool on) {
  TEdit::SetEnabled(on);
  ::EnableWindow(button_, on ? TRUE : FALSE);
}

void TFileNameEdit::PlaceButton() {
  if (button_ == nullptr) return;
  RECT client{};
  ::GetClientRect(Handle(), &client);
  const int width = std::max<int>(16, client.bottom);
  // The client area's right end, in the parent's coordinates.
  POINT corner{client.right - width, 0};
  ::MapWindowPoints(Handle(), ::GetParent(Handle()), &corner, 1);
  ::SetWindowPos(button_, HWND_TOP, corner.x, corner.y, width, client.bottom, SWP_NOACTIVATE);
  // The edit's own visibility, not whether its form is already on the screen.
  const bool shown = (::GetWindowLongW(Handle(), GWL_STYLE) & WS_VISIBLE) != 0;
  ::ShowWindow(button_, shown ? SW_SHOWNA : SW_HIDE);
  // The text stops short of the button.
  ::SendMessageW(Handle(), EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, width + 1));
}

bool TFileNameEdit::Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (from == button_ && message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    Browse();
    result = 0;
    return true;
  }
  return TEdit::Notified(from, message, wParam, lParam, result);
}

LRESULT TFileNameEdit::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = TEdit::WndProc(window, message, wParam, lParam);
  if ((message == WM_WINDOWPOSCHANGED || message == WM_SHOWWINDOW) && window == Handle()) PlaceButton();
  return result;
}

}  // namespace zorvex::widgets
