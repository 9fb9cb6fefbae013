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
#include "ui/TrayIcon.h"

namespace zorvex {

// One action of the main form; menu items and hot keys run it.
struct TAction {
  std::string Name;
  std::string Caption;
  int ImageIndex = -1;
  // Shortcut as the menus show it: modifier bits 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt + key.
  int ShortCut = 0;
  bool Checked = false;
  bool AutoCheck = false;
  std::function<void()> OnExecute;
};

// One item of the tray menu.
struct TMenuItem {
  std::string Name;
  std::string Caption;
  int ImageIndex = -1;
  TAction* Action = nullptr;
  bool Separator = false;
  bool Enabled = true;
  bool Visible = true;
  UINT Id = 0;
  HMENU Submenu = nullptr;
};

// What the main form opens but does not own: the two dialogs.
struct MainFormDialogs {
  // Runs the options dialog modally and applies it on OK (the opener saves); may be empty.
  std::function<void()> options;
  // Lets the user pick titles and adds each as a rule; may be empty.
  std::function<void()> addRule;
  // Applies a language file to every form; may be empty.
  std::function<void(const std::string& path)> loadLanguage;
};

class TfoMain : public ITrayView {
 public:
  TfoMain(TZorvex& engine, IDesktop& desktop, MainFormDialogs dialogs, std::string programFolder);
  ~TfoMain() override;
  TfoMain(const TfoMain&) = delete;
  TfoMain& operator=(const TfoMain&) = delete;

  HWND Handle() const { return window_.get(); }
  TTrayIcon& Tray() { return tray_; }

  // ITrayView: what the engine refreshes after a kill or a count change.
  std::string TrayHint() override;
  void SetHint(const std::string& hint) override;
  void ShowKillIcon() override;
  void ShowStateIcon() override;

  // The actions' handlers.
  void actExitExecute();
  void actOptionsExecute();
  void actAddRuleExecute();
  void actActiveExecute();
  void actAddPopupDirectExecute();
  void TrayDblClick();
  // The Add Popup submenu is about to open: rebuilds it at most once per 5 seconds.
  void Windows1Click();
  void PopupItemClick(std::size_t index);
  void LanguageItemClick(std::size_t index);
  void CheckCrashTimer();

  // Runs the command of a menu item id, as choosing it in the menu does.
  void RunCommand(UINT id);
  // Applies the captions, checks and images of the items to the menu.
  void RefreshMenu();

  bool OptionsOpen = false;
  std::vector<TAction>& Actions() { return actions_; }
  std::vector<TMenuItem>& Items() { return items_; }
  TAction* FindAction(const std::string& name);
  TMenuItem* FindItem(const std::string& name);
  HMENU PopupMenu1() const { return popupMenu_.get(); }
  // The titles of the Add Popup items and the paths of the Language items, in menu order.
  const std::vector<std::string>& PopupTitles() const { return popupTitles_; }
  const std::vector<std::string>& LanguagePaths() const { return languagePaths_; }

  // Command ids of the dynamic items.
  static constexpr UINT kFirstPopupId = 1000;
  static constexpr UINT kFirstLanguageId = 3000;
  static constexpr UINT_PTR kCheckCrashTimer = 1;
  static constexpr int kHotKeyAddRule = 1;
  static constexpr int kHotKeyAddPopupDirect = 2;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT MenuMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void BuildMenu();
  void BuildLanguageMenu();
  std::string ItemText(const TMenuItem& item) const;
  void Execute(TAction& action);

  TZorvex& engine_;
  IDesktop& desktop_;
  MainFormDialogs dialogs_;
  std::string programFolder_;
  win32::UniqueWindow window_;
  TTrayIcon tray_;
  std::vector<win32::UniqueIcon> trayIcons_;
  std::vector<win32::UniqueIcon> images_;
  std::vector<TAction> actions_;
  std::vector<TMenuItem> items_;
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

}  // namespace zorvex
