#include "ui/RuleFitLabel.h"

#include "ui/Strings.h"

namespace zorvex {

namespace {

constexpr COLORREF kWarningColor = RGB(204, 0, 0);

}  // namespace

TRuleFitLabel::TRuleFitLabel(widgets::TWinControl& parent, std::string name, widgets::TBounds bounds)
    : TLabel(parent, std::move(name), bounds, std::string(), false) {}

void TRuleFitLabel::Show(const RuleFit& fit) {
  warning_ = fit.verdict == RuleVerdict::ClosesAll;
  SetCaption(RuleFitMessage(fit, RuleFitTexts{strings::RuleFits, strings::RuleClosesAll, strings::RuleInvalid}));
  // The colour changes although the text may not.
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TRuleFitLabel::ShowLine(const std::string& line, bool warning) {
  warning_ = warning;
  SetCaption(line);
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TRuleFitLabel::Clear() {
  warning_ = false;
  SetCaption(std::string());
}

bool TRuleFitLabel::Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (!TLabel::Notified(from, message, wParam, lParam, result)) return false;
  if (warning_) ::SetTextColor(reinterpret_cast<HDC>(wParam), kWarningColor);
  return true;
}

}  // namespace zorvex
