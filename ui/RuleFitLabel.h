// The line under a rule in the rule dialogs: how many of the open browser windows the rule fits,
// in red when it would close every one, or where it stops being a valid rule.
#pragma once

#include <windows.h>

#include <string>

#include "popups/RuleFit.h"
#include "ui/widgets/win32/Widgets.h"

namespace zorvex {

class TRuleFitLabel : public widgets::TLabel {
 public:
  // An empty line of fixed size at bounds.
  TRuleFitLabel(widgets::TWinControl& parent, std::string name, widgets::TBounds bounds);
  // Shows fit with the named strings of the language in use.
  void Show(const RuleFit& fit);
  // Shows line, red when warning.
  void ShowLine(const std::string& line, bool warning);
  // Shows nothing.
  void Clear();
  // True while the line warns.
  bool Warning() const { return warning_; }

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  bool warning_ = false;
};

}  // namespace zorvex
