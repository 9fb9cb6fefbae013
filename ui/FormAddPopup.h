// The add-rule dialog: the titles of the browser windows open now, refreshed every two seconds,
// from which the user picks one or several, or types a title with * wildcards. It only collects the
// choice; the engine's AddRuleFromDialog and PickRuleTitle decide what becomes a rule. While the
// user types, it marks the listed windows that the typed rule fits and says under the title what
// the rule would close, as the scanner would; it only informs.
//
// Lifecycle: made for one use under the application object, shown modally, freed by its opener
// (RunAddPopupDialog). Its refresh timer runs from creation to destruction.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/ClassKiller.h"
#include "platform/Platform.h"
#include "popups/ClassEnum.h"
#include "ui/RuleFitLabel.h"
#include "ui/widgets/win32/SForm.h"
#include "ui/widgets/win32/Widgets.h"

namespace zorvex {

class TfoAddPopup : public TSForm {
 public:
  // Component "foAddPopup": a top-level window of its own (parent: the desktop window) with a
  // task-bar button, above all normal windows; lists the browser windows of desktop that the
  // detection options (asked at each listing) name.
  TfoAddPopup(IDesktop& desktop, std::function<DetectionOptions()> detection);

  // Refills the list with the open browser windows' titles, one entry per line of each title.
  // Entries whose title equals (ignoring case) one selected before are selected again, and the
  // first entry shown stays where it was.
  void RefreshList();
  // The list's click: the edit box takes the clicked entry's title when that entry is selected;
  // a Ctrl+click that unselected it leaves the edit box to the one entry still selected, if one is.
  void ListBox1Click();
  // Marks the entries of the windows that the edit text fits, as a rule, and says so in FitLabel.
  void ShowFit();
  // What the dialog hands back now: Ok when closed with Ok, the edit text, the selected titles
  // (multi-select only).
  TRuleDialogResult Result() const;

  widgets::TListBox& ListBox1 = Create<widgets::TListBox>(*this, "ListBox1", widgets::TBounds{6, 5, 339, 101});
  widgets::TLabel& HintLabel = Create<widgets::TLabel>(
      *this, "HintLabel", widgets::TBounds{7, 114, 337, 31},
      "This is the exact copy of the name of the window.  You can use * as wildcard in the title.", false, true);
  widgets::TLabel& TitleLabel = Create<widgets::TLabel>(*this, "TitleLabel", widgets::TBounds{7, 153, 0, 0}, "Title ");
  widgets::TEdit& Edit1 = Create<widgets::TEdit>(*this, "Edit1", widgets::TBounds{43, 150, 301, 22});
  // The line under the title; the form is 18 pixels taller for it, and what lies below moves down.
  TRuleFitLabel& FitLabel = Create<TRuleFitLabel>(*this, "FitLabel", widgets::TBounds{7, 175, 337, 15});
  widgets::TBevel& Bevel1 =
      Create<widgets::TBevel>(*this, "Bevel1", widgets::TBounds{3, 191, 343, 7}, widgets::TBevelShape::BottomLine);
  widgets::TButton& OkButton = Create<widgets::TButton>(*this, "OkButton", widgets::TBounds{191, 205, 75, 25}, "&Ok");
  widgets::TButton& CancelButton =
      Create<widgets::TButton>(*this, "CancelButton", widgets::TBounds{272, 205, 75, 25}, "&Cancel");
  widgets::TTimer& RefreshTimer = Create<widgets::TTimer>(*this, "RefreshTimer", 2000);

 private:
  IDesktop& desktop_;
  std::function<DetectionOptions()> detection_;
  // The titles of the last listing, one per window.
  std::vector<std::string> titles_;
};

// Runs the add-rule dialog once under application: made, MultiSelect set, filled, shown modally,
// read and freed (also when something fails). While one is open and usable, a second request
// brings that one to the front and hands back a cancel.
TRuleDialogResult RunAddPopupDialog(widgets::TApplication& application, IDesktop& desktop,
                                    const std::function<DetectionOptions()>& detection, bool multiSelect);

}  // namespace zorvex
