// The options dialog: the rule list with add, remove, import and export, the options that are not on
// the tray menu, and the about page. It works on copies: LoadFromEngine fills the controls, and only
// SaveToEngine, after Ok, writes them back.
//
// Lifecycle: made for one use under the application object (translated, then FormCreate), loaded,
// shown modally and freed by its opener (RunOptionsDialog).
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/ClassKiller.h"
#include "engine/ClassOptions.h"
#include "popups/WindowRules.h"
#include "ui/RuleFitLabel.h"
#include "ui/Version.h"
#include "ui/widgets/win32/SForm.h"
#include "ui/widgets/win32/Widgets.h"

namespace zorvex {

// The common open- or save-file dialog (classes "TOpenDialog", "TSaveDialog"): Filter, DefaultExt.
class TFileDialog : public widgets::TComponent {
 public:
  enum class TKind { Open, Save };
  // A dialog of kind with a filter of "description|pattern" pairs and, for saving, the extension
  // added to a name typed without one.
  TFileDialog(std::string name, TKind kind, std::string filter, std::string defaultExt = {});
  std::string Filter;
  std::string DefaultExt;
  // Asks the user for a file; nothing when cancelled. The common dialog over owner unless replaced.
  std::function<std::optional<std::string>(HWND owner)> Chooser;
  // Runs Chooser.
  std::optional<std::string> Execute(HWND owner) const;

 private:
  TKind kind_;
};

class TfoOptions : public TSForm {
 public:
  // Component "foOptions", showing engine's options once LoadFromEngine has run.
  explicit TfoOptions(TZorvex& engine);

  // Copies the engine's options and rules into the controls.
  void LoadFromEngine();
  // Writes the controls back into the engine through its setters, the rules in list order.
  void SaveToEngine();

  // The handlers.
  void MenuListChange(HTREEITEM node);
  void AddButtonClick();
  void RemoveButtonClick();
  void ImportButtonClick();
  void ExportButtonClick();
  void SoundFileBoxChange();
  // Says under the buttons what the selected rule (the focused one among several) would close.
  void RulesSelectItem();
  // The window rules page's buttons: the dialog for a new or the selected rule, and the order.
  void WindowAddButtonClick();
  void WindowEditButtonClick();
  void WindowRemoveButtonClick();
  void WindowUpButtonClick();
  void WindowDownButtonClick();
  // The window rules in list order, as Ok would store them.
  const std::vector<StoredWindowRule>& WindowRules() const { return windowRules_; }
  // Shows the window-rule dialog over a rule; the rule after Ok. Set by the opener; while empty,
  // Add and Edit do nothing.
  std::function<std::optional<WindowRuleText>(const WindowRuleText& rule)> EditWindowRule;

  // The rule titles in list order.
  std::vector<std::string> RuleTitles();
  // Asks for a wave file for the sound file box's browse button; the common open dialog unless replaced.
  std::function<std::optional<std::string>(const std::string& current)> SoundChooser;
  // The titles of the open browser windows, asked when a rule is selected; none when empty.
  std::function<std::vector<std::string>()> OpenWindows;

  // The frame.
  widgets::TPanel& Panel1 = Create<widgets::TPanel>(*this, "Panel1", widgets::TBounds{0, 0, 538, 45});
  widgets::TImage& Image1 = Create<widgets::TImage>(Panel1, "Image1", widgets::TBounds{8, 4, 32, 32});
  widgets::TLabel& TitleLabel =
      Create<widgets::TLabel>(Panel1, "TitleLabel", widgets::TBounds{45, 10, 0, 0}, "Zorvex's Configuration");
  widgets::TBevel& Bevel1 =
      Create<widgets::TBevel>(*this, "Bevel1", widgets::TBounds{0, 45, 538, 2}, widgets::TBevelShape::TopLine);
  widgets::TTreeView& MenuList = Create<widgets::TTreeView>(*this, "MenuList", widgets::TBounds{5, 50, 121, 291});
  widgets::TPageControl& Pages = Create<widgets::TPageControl>(*this, "Pages", widgets::TBounds{132, 48, 401, 294});
  widgets::TBevel& Bevel2 =
      Create<widgets::TBevel>(*this, "Bevel2", widgets::TBounds{0, 346, 538, 2}, widgets::TBevelShape::TopLine);
  widgets::TPanel& Panel2 = Create<widgets::TPanel>(*this, "Panel2", widgets::TBounds{0, 348, 538, 40});
  widgets::TButton& OkButton = Create<widgets::TButton>(Panel2, "OkButton", widgets::TBounds{363, 8, 75, 25}, "&Ok");
  widgets::TButton& CancelButton =
      Create<widgets::TButton>(Panel2, "CancelButton", widgets::TBounds{455, 8, 75, 25}, "&Cancel");
  TFileDialog& OpenDialog =
      Create<TFileDialog>("OpenDialog", TFileDialog::TKind::Open, "Zorvex List (*.zvl)|*.zvl");
  TFileDialog& SaveDialog =
      Create<TFileDialog>("SaveDialog", TFileDialog::TKind::Save, "Zorvex List (*.zvl)|*.zvl", "zvl");

  // The rules page.
  widgets::TTabSheet& RulesSheet = Create<widgets::TTabSheet>(Pages, "RulesSheet");
  widgets::TButton& AddButton = Create<widgets::TButton>(RulesSheet, "AddButton", widgets::TBounds{2, 0, 75, 25}, "&Add");
  widgets::TButton& RemoveButton =
      Create<widgets::TButton>(RulesSheet, "RemoveButton", widgets::TBounds{100, 0, 75, 25}, "&Remove");
  widgets::TButton& ImportButton =
      Create<widgets::TButton>(RulesSheet, "ImportButton", widgets::TBounds{209, 0, 75, 25}, "&Import");
  widgets::TButton& ExportButton =
      Create<widgets::TButton>(RulesSheet, "ExportButton", widgets::TBounds{318, 0, 75, 25}, "&Export");
  widgets::TListView& Rules = Create<widgets::TListView>(RulesSheet, "Rules", widgets::TBounds{0, 44, 401, 250});
  TRuleFitLabel& FitLabel = Create<TRuleFitLabel>(RulesSheet, "FitLabel", widgets::TBounds{2, 28, 397, 15});

  // The window rules page.
  widgets::TTabSheet& WindowsSheet = Create<widgets::TTabSheet>(Pages, "WindowsSheet");
  widgets::TButton& WindowAddButton =
      Create<widgets::TButton>(WindowsSheet, "WindowAddButton", widgets::TBounds{2, 0, 75, 25}, "&Add");
  widgets::TButton& WindowEditButton =
      Create<widgets::TButton>(WindowsSheet, "WindowEditButton", widgets::TBounds{81, 0, 75, 25}, "&Edit");
  widgets::TButton& WindowRemoveButton =
      Create<widgets::TButton>(WindowsSheet, "WindowRemoveButton", widgets::TBounds{160, 0, 75, 25}, "&Remove");
  widgets::TButton& WindowUpButton =
      Create<widgets::TButton>(WindowsSheet, "WindowUpButton", widgets::TBounds{239, 0, 75, 25}, "&Up");
  widgets::TButton& WindowDownButton =
      Create<widgets::TButton>(WindowsSheet, "WindowDownButton", widgets::TBounds{318, 0, 75, 25}, "&Down");
  widgets::TListView& WindowRuleList =
      Create<widgets::TListView>(WindowsSheet, "WindowRuleList", widgets::TBounds{0, 30, 401, 264});

  // The options page.
  widgets::TTabSheet& OptionSheet = Create<widgets::TTabSheet>(Pages, "OptionSheet");
  widgets::TGroupBox& BrowserBox =
      Create<widgets::TGroupBox>(OptionSheet, "BrowserBox", widgets::TBounds{2, 0, 190, 129}, "Browsers");
  widgets::TCheckBox& ExplorerBox =
      Create<widgets::TCheckBox>(BrowserBox, "ExplorerBox", widgets::TBounds{8, 23, 176, 17}, "Support Explorer");
  widgets::TCheckBox& NetscapeBox = Create<widgets::TCheckBox>(BrowserBox, "NetscapeBox",
                                                               widgets::TBounds{8, 47, 176, 17}, "Support Netscape/Mozilla");
  widgets::TCheckBox& OperaBox =
      Create<widgets::TCheckBox>(BrowserBox, "OperaBox", widgets::TBounds{8, 72, 176, 17}, "Support Opera");
  // Two lines: the names of today's browsers do not fit in one beside the box.
  widgets::TCheckBox& ChromiumBox = Create<widgets::TCheckBox>(
      BrowserBox, "ChromiumBox", widgets::TBounds{8, 94, 176, 30}, "Support Chrome/Edge/Brave", true);
  widgets::TGroupBox& GeneralBox =
      Create<widgets::TGroupBox>(OptionSheet, "GeneralBox", widgets::TBounds{2, 132, 190, 101}, "General");
  widgets::TCheckBox& AgressiveBox =
      Create<widgets::TCheckBox>(GeneralBox, "AgressiveBox", widgets::TBounds{6, 24, 178, 17}, "Agressive Mode ");
  widgets::TCheckBox& StartBox =
      Create<widgets::TCheckBox>(GeneralBox, "StartBox", widgets::TBounds{6, 49, 178, 17}, "Start with Windows");
  widgets::TCheckBox& LogBox =
      Create<widgets::TCheckBox>(GeneralBox, "LogBox", widgets::TBounds{6, 74, 178, 17}, "Enable logging");
  widgets::TGroupBox& SoundGroup =
      Create<widgets::TGroupBox>(OptionSheet, "SoundGroup", widgets::TBounds{200, 0, 190, 129}, "Sound");
  widgets::TCheckBox& SoundBox = Create<widgets::TCheckBox>(SoundGroup, "SoundBox", widgets::TBounds{6, 24, 180, 17},
                                                            "Play sound on popup killed");
  widgets::TRadioButton& InternalRadio =
      Create<widgets::TRadioButton>(SoundGroup, "InternalRadio", widgets::TBounds{26, 48, 158, 17}, "Internal Sound");
  // Ends short of the file box beside it.
  widgets::TRadioButton& ExternalRadio =
      Create<widgets::TRadioButton>(SoundGroup, "ExternalRadio", widgets::TBounds{26, 72, 51, 17}, "File");
  widgets::TFileNameEdit& SoundFileBox =
      Create<widgets::TFileNameEdit>(SoundGroup, "SoundFileBox", widgets::TBounds{78, 70, 103, 20});
  widgets::TGroupBox& ExplorerGroup =
      Create<widgets::TGroupBox>(OptionSheet, "ExplorerGroup", widgets::TBounds{200, 132, 190, 59}, "Explorer Windows");
  // 66 wide, not 97: a wider box would lie over the spin edit's left part, which starts at 74.
  widgets::TCheckBox& LimitCheck =
      Create<widgets::TCheckBox>(ExplorerGroup, "LimitCheck", widgets::TBounds{6, 26, 66, 17}, "Limit to");
  widgets::TSpinEdit& LimitSpin =
      Create<widgets::TSpinEdit>(ExplorerGroup, "LimitSpin", widgets::TBounds{74, 23, 45, 23}, kLimitMin, kLimitMax);
  widgets::TLabel& LimitLabel =
      Create<widgets::TLabel>(ExplorerGroup, "LimitLabel", widgets::TBounds{128, 27, 0, 0}, "windows");

  // The about page.
  widgets::TTabSheet& AboutSheet = Create<widgets::TTabSheet>(Pages, "AboutSheet");
  widgets::TPanel& Panel3 = Create<widgets::TPanel>(AboutSheet, "Panel3", widgets::TBounds{2, 0, 131, 131});
  widgets::TImage& Image2 = Create<widgets::TImage>(Panel3, "Image2", widgets::TBounds{3, 3, 124, 124});
  widgets::TGroupBox& GroupBox7 = Create<widgets::TGroupBox>(AboutSheet, "GroupBox7", widgets::TBounds{140, -6, 251, 65}, "");
  widgets::TLabel& VersionLabel =
      Create<widgets::TLabel>(GroupBox7, "VersionLabel", widgets::TBounds{6, 18, 0, 0}, "Version:");
  widgets::TLabel& Label6 = Create<widgets::TLabel>(GroupBox7, "Label6", widgets::TBounds{70, 18, 0, 0}, kVersion);
  widgets::TLabel& SiteLabel = Create<widgets::TLabel>(GroupBox7, "SiteLabel", widgets::TBounds{6, 36, 0, 0}, "Website:");
  widgets::TLinkLabel& HotLink1 =
      Create<widgets::TLinkLabel>(GroupBox7, "HotLink1", widgets::TBounds{68, 36, 0, 0}, "http://zorvex.example.org");
  widgets::TGroupBox& GroupBox8 = Create<widgets::TGroupBox>(AboutSheet, "GroupBox8", widgets::TBounds{140, 60, 251, 205}, "");
  widgets::TMemo& Memo1 = Create<widgets::TMemo>(GroupBox8, "Memo1", widgets::TBounds{6, 18, 237, 181});

 protected:
  // Fills the page tree from the named strings; the tabs are hidden and the browse button flat already.
  void FormCreate() override;

 private:
  // Adds titles to the list, sorting it once at the end rather than after each one.
  void AddRules(const std::vector<std::string>& titles, const std::vector<RuleStatistics>& stats = {});
  // Shows a sound file value; one the box refuses is shown unchecked, so the dialog still opens.
  void ShowSoundFile(const std::string& value);
  // Shows windowRules_ in the list, with row selected.
  void ShowWindowRules(int selected);
  // The selected row of the window rules; -1 when none.
  int SelectedWindowRule() const;
  // Swaps the selected window rule with its neighbour by (-1 up, +1 down).
  void MoveWindowRule(int by);
  // The check boxes that each show one flag, with the field of values it shows.
  std::vector<std::pair<widgets::TCheckBox*, bool*>> CheckBoxes(TOptionsValues& values);

  TZorvex& engine_;
  std::vector<StoredWindowRule> windowRules_;
  // The rule FitLabel speaks of: a selection that keeps it lists no windows again.
  std::optional<std::string> fitShown_;
};

// Runs the options dialog once under application: made, loaded, shown modally, and on Ok written
// back with SaveToEngine; freed in every case. True when the user confirmed with Ok. openWindows
// lists the open browser windows for the line under the rules.
// editWindowRule shows the window-rule dialog for the window rules page.
bool RunOptionsDialog(widgets::TApplication& application, TZorvex& engine,
                      std::function<std::vector<std::string>()> openWindows = {},
                      std::function<std::optional<WindowRuleText>(const WindowRuleText&)> editWindowRule = {});

}  // namespace zorvex
