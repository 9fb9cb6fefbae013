// The window-rule dialog: program, class and title masks, the action and the button a press rule
// presses, and under them what the rule would take among the open windows, live while typing. The
// fields fill from a window the user drags the crosshair onto, or picks from the list of open
// windows.
//
// Lifecycle: made for one use under the application object, shown modally, freed by its opener
// (RunWindowRuleDialog). Its refresh timer runs from creation to destruction.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "popups/WindowFacts.h"
#include "popups/WindowRuleFit.h"
#include "popups/WindowRules.h"
#include "ui/RuleFitLabel.h"
#include "ui/widgets/win32/SForm.h"
#include "ui/widgets/win32/Widgets.h"

namespace zorvex {

// A crosshair the user drags onto a window: the mouse is captured on the press, and on the
// release OnPick gets the top-level window under the cursor (class "TWindowFinder").
class TWindowFinder : public widgets::TWinControl {
 public:
  TWindowFinder(widgets::TWinControl& parent, std::string name, widgets::TBounds bounds);
  std::function<void(HWND window)> OnPick;
  // True while the user drags.
  bool Dragging() const { return dragging_; }

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool dragging_ = false;
};

class TfoWindowRule : public TSForm {
 public:
  // Component "foWindowRule" over the windows of desktop, showing rule.
  TfoWindowRule(IDesktop& desktop, const WindowRuleText& rule);

  // The rule as the fields say now.
  WindowRuleText Rule() const;
  // Fills program, class, title and the button list from window, as the finder does; this
  // program's own windows are never taken.
  void TakeWindow(WindowHandle window);
  // Reads the open windows again and shows the fit.
  void RefreshWindows();
  // Shows what the rule would take; Ok only while the rule can be used.
  void ShowFit();
  // Opens the list of open windows; the chosen one fills the fields.
  void PickButtonClick();
  // The last fit shown.
  const WindowRuleFit& Fit() const { return fit_; }

  widgets::TLabel& FinderLabel = Create<widgets::TLabel>(*this, "FinderLabel", widgets::TBounds{7, 14, 280, 15},
                                                         "Drag the crosshair onto a window:", false);
  TWindowFinder& Finder = Create<TWindowFinder>(*this, "Finder", widgets::TBounds{290, 6, 32, 32});
  widgets::TButton& PickButton = Create<widgets::TButton>(*this, "PickButton", widgets::TBounds{330, 10, 80, 25}, "&Pick...");
  widgets::TLabel& ProgramLabel = Create<widgets::TLabel>(*this, "ProgramLabel", widgets::TBounds{7, 51, 80, 15}, "Program", false);
  widgets::TEdit& ProgramEdit = Create<widgets::TEdit>(*this, "ProgramEdit", widgets::TBounds{90, 48, 320, 22});
  widgets::TLabel& ClassLabel = Create<widgets::TLabel>(*this, "ClassLabel", widgets::TBounds{7, 78, 80, 15}, "Class", false);
  widgets::TEdit& ClassEdit = Create<widgets::TEdit>(*this, "ClassEdit", widgets::TBounds{90, 75, 320, 22});
  widgets::TLabel& TitleLabel = Create<widgets::TLabel>(*this, "TitleLabel", widgets::TBounds{7, 105, 80, 15}, "Title", false);
  widgets::TEdit& TitleEdit = Create<widgets::TEdit>(*this, "TitleEdit", widgets::TBounds{90, 102, 320, 22});
  widgets::TLabel& ActionLabel = Create<widgets::TLabel>(*this, "ActionLabel", widgets::TBounds{7, 132, 80, 15}, "Action", false);
  widgets::TComboBox& ActionBox = Create<widgets::TComboBox>(*this, "ActionBox", widgets::TBounds{90, 129, 200, 22}, false);
  widgets::TLabel& ButtonLabel = Create<widgets::TLabel>(*this, "ButtonLabel", widgets::TBounds{7, 159, 80, 15}, "Button", false);
  widgets::TComboBox& ButtonBox = Create<widgets::TComboBox>(*this, "ButtonBox", widgets::TBounds{90, 156, 200, 22}, true);
  TRuleFitLabel& FitLabel = Create<TRuleFitLabel>(*this, "FitLabel", widgets::TBounds{7, 186, 403, 15});
  widgets::TListBox& FitList = Create<widgets::TListBox>(*this, "FitList", widgets::TBounds{7, 204, 403, 84});
  widgets::TBevel& Bevel1 =
      Create<widgets::TBevel>(*this, "Bevel1", widgets::TBounds{3, 290, 411, 7}, widgets::TBevelShape::BottomLine);
  widgets::TButton& OkButton = Create<widgets::TButton>(*this, "OkButton", widgets::TBounds{254, 304, 75, 25}, "&Ok");
  widgets::TButton& CancelButton =
      Create<widgets::TButton>(*this, "CancelButton", widgets::TBounds{335, 304, 75, 25}, "&Cancel");
  widgets::TTimer& RefreshTimer = Create<widgets::TTimer>(*this, "RefreshTimer", 2000);

 protected:
  // The action names come from the named strings, after translation.
  void FormCreate() override;

 private:
  // The open windows' line in the lists: program, class and title.
  static std::string WindowLine(const WindowFacts& window);

  IDesktop& desktop_;
  WindowRuleText start_;
  ProgramNames programs_;
  std::vector<WindowHandle> handles_;
  std::vector<WindowFacts> windows_;
  WindowRuleFit fit_;
};

// The list of open windows the Pick button opens (component "foPickWindow"): program, class, title.
class TfoPickWindow : public TSForm {
 public:
  explicit TfoPickWindow(std::vector<std::vector<std::string>> rows);
  // The chosen row; -1 when none.
  int Chosen() const;

  widgets::TListView& Windows = Create<widgets::TListView>(*this, "Windows", widgets::TBounds{6, 6, 508, 250});
  widgets::TButton& OkButton = Create<widgets::TButton>(*this, "OkButton", widgets::TBounds{358, 264, 75, 25}, "&Ok");
  widgets::TButton& CancelButton =
      Create<widgets::TButton>(*this, "CancelButton", widgets::TBounds{439, 264, 75, 25}, "&Cancel");

 protected:
  void FormCreate() override;

 private:
  std::vector<std::vector<std::string>> rows_;
};

// Runs the window-rule dialog once under application over rule (empty fields for a new one):
// made, shown modally, read and freed. The rule after Ok; nothing after Cancel.
std::optional<WindowRuleText> RunWindowRuleDialog(widgets::TApplication& application, IDesktop& desktop,
                                                  const WindowRuleText& rule);

}  // namespace zorvex
