// The main form: never shown; it carries the tray icon with its menu, the two global hot keys, the
// Language menu, the once-a-second guard timer and the translator that the dialogs use.
//
// Lifecycle: made on the main thread after the engine has loaded; it hands the engine its tray
// part at once and takes it back when destroyed. Destroying it removes the tray icon and the hot
// keys; the icons and menus it loaded are freed with it.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/ClassKiller.h"
#include "platform/win32/Handles.h"
#include "platform/win32/WindowProc.h"
#include "ui/TrayIcon.h"
#include "components/Component.h"
#include "i18n/Translator.h"

namespace zorvex {

// One action of the main form; menu items and hot keys run it. A language file may change its
// published texts; the menu items linked to it follow.
class TAction : public widgets::TComponent {
 public:
  TAction(std::string name, std::string caption, int imageIndex, std::function<void()> onExecute,
          int shortCut = 0, bool autoCheck = false);
  std::string Caption;
  std::string Hint;
  int ImageIndex = -1;
  // Modifier bits 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt, plus the virtual key.
  int ShortCut = 0;
  bool Checked = false;
  bool Enabled = true;
  bool Visible = true;
  // Running the action toggles Checked first.
  bool AutoCheck = false;
  std::function<void()> OnExecute;
  // Run after a published property changed.
  std::function<void()> OnChange;
  // Runs the action (toggling the check first when AutoCheck).
  void Execute();
};

// One item of the tray menu; an item linked to an action shows the action's texts.
class TMenuItem : public widgets::TComponent {
 public:
  TMenuItem(std::string name, TAction* action, std::string caption = {}, bool separator = false);
  std::string Caption;
  std::string Hint;
  int ImageIndex = -1;
  bool Checked = false;
  bool Enabled = true;
  bool Visible = true;
  TAction* Action = nullptr;
  bool Separator = false;
  UINT Id = 0;
  HMENU Submenu = nullptr;
  // Run after a published property changed.
  std::function<void()> OnChange;
  // Takes the texts and states of the linked action.
  void UpdateFromAction();
};

// What the main form opens but does not own: the two dialogs.
struct MainFormDialogs {
  // Runs the options dialog modally; true when the user confirmed with OK, after which the form
  // saves. May be empty.
  std::function<bool()> options;
  // Lets the user pick titles and adds each as a rule; may be empty.
  std::function<void()> addRule;
  // Lets the user make a window rule and adds it; may be empty.
  std::function<void()> addWindowRule;
};

class TfoMain : public widgets::TComponent, public ITrayView {
 public:
  // Component "foMain"; put it under the application object before anything loads a language.
  TfoMain(TZorvex& engine, IDesktop& desktop, MainFormDialogs dialogs, std::string programFolder);
  ~TfoMain() override;
  TfoMain(const TfoMain&) = delete;
  TfoMain& operator=(const TfoMain&) = delete;

  HWND Handle() const { return window_.get(); }
  TTrayIcon& Tray() { return tray_; }

  // ITrayView: what the engine refreshes after a kill or a count change.
  std::string TrayHint() override;
  void SetHint(const std::string& hint) override;
  void FlashKillIcon() override;
  void ShowStateIcon() override;
  // A balloon at the tray icon, and the text as the hint until the count next changes.
  void ShowNotice(const std::string& text) override;

  // The actions' handlers.
  void actExitExecute();
  void actOptionsExecute();
  void actAddRuleExecute();
  void actAddWindowRuleExecute();
  void actActiveExecute();
  void actAddPopupDirectExecute();
  void TrayDblClick();
  // The Add Popup submenu is about to open: rebuilds it at most once per 5 seconds.
  void Windows1Click();
  void PopupItemClick(std::size_t index);
  void LanguageItemClick(std::size_t index);
  void CheckCrashTimer();

  // The saved language reaches the forms once the form sits under the application object.
  void Loaded() override;

  // Runs the command of a menu item id, as choosing it in the menu does.
  void RunCommand(UINT id);
  // Applies the captions, checks and images of the items to the menu.
  void RefreshMenu();

  bool OptionsOpen = false;
  // The translator that the program's forms are translated by, and the named strings.
  TTranslator& ZorvexTranslator() { return *translator_; }
  TTranslatorStrings& Variables() { return *variables_; }
  TAction* FindAction(const std::string& name);
  TMenuItem* FindItem(const std::string& name);
  HMENU PopupMenu1() const { return popupMenu_.get(); }
  // The paths of the Language items, in menu order.
  const std::vector<std::string>& LanguagePaths() const { return languagePaths_; }

  // Command ids of the dynamic items.
  static constexpr UINT kFirstPopupId = 1000;
  static constexpr UINT kNoItemId = 999;
  static constexpr UINT kFirstLanguageId = 3000;
  static constexpr UINT_PTR kCheckCrashTimer = 1;
  // Ends the kill flash.
  static constexpr UINT_PTR kFlashTimer = 2;
  static constexpr int kHotKeyAddRule = 1;
  static constexpr int kHotKeyAddPopupDirect = 2;
  // How long the end of the session waits for a held settings file.
  static constexpr auto kEndSessionPatience = std::chrono::seconds(2);

 private:
  template <class T>
  friend LRESULT CALLBACK win32::ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT MenuMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void BuildMenu();
  void BuildLanguageMenu();
  // Loads the tray and menu images at the small-icon size of the density (again after a change).
  void LoadIcons();
  // Puts the last titles found, or "No Item", into the Add Popup submenu.
  void FillWindows1();
  std::string ItemText(const TMenuItem& item) const;
  // Applies the language file at path to every form and the named strings.
  void LoadLanguage(const std::string& path);

  TZorvex& engine_;
  IDesktop& desktop_;
  MainFormDialogs dialogs_;
  std::string programFolder_;
  win32::UniqueWindow window_;
  TTrayIcon tray_;
  std::vector<win32::UniqueIcon> trayIcons_;
  std::vector<win32::UniqueIcon> images_;
  int imageSize_ = 16;
  std::vector<TMenuItem*> items_;
  TMenuItem* noItem_ = nullptr;
  TTranslator* translator_ = nullptr;
  TTranslatorStrings* variables_ = nullptr;
  std::string caption_ = "Zorvex";
  win32::UniqueMenu popupMenu_;
  HMENU windows1_ = nullptr;
  HMENU language1_ = nullptr;
  std::vector<std::string> popupTitles_;
  std::vector<std::string> languagePaths_;
  std::chrono::steady_clock::time_point lastPopupRefresh_{};
  bool refreshedOnce_ = false;
};

// The process-wide main form, or nullptr until it exists.
extern TfoMain* foMain;

// The text menus show for a shortcut value, e.g. "Ctrl+Shift+Ins".
std::string ShortCutText(int shortCut);

// The menu item text that shows a window title as it is: an ampersand is doubled, so that it shows
// itself rather than underlining the next letter.
std::string PopupMenuText(const std::string& title);

}  // namespace zorvex
