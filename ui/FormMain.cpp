#include "ui/FormMain.h"

#include <algorithm>

#include "base/Trace.h"
#include "platform/Files.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/WideText.h"
#include "popups/ClassEnum.h"
#include "popups/Decision.h"
#include "resources/resource.h"
#include "ui/Strings.h"

namespace zorvex {

TfoMain* foMain = nullptr;

namespace {

constexpr const wchar_t* kWindowClass = L"TfoMain";
constexpr const char* kLanguagePattern = "Languages\\*.xml";
constexpr const char* kLanguageFolder = "Languages\\";
constexpr int kImagePadding = 3;
constexpr int kImageCount = 6;
constexpr UINT kFirstItemId = 100;
constexpr auto kPopupRefreshThrottle = std::chrono::seconds(5);
// How long the tray shows the kill image.
constexpr UINT kFlashMs = 200;

// Images of the Images list.
enum Image { kImageExit = 0, kImageOptions, kImageAddRule, kImageActive, kImageCloseMenu, kImageLanguage };
// Images of the TrayIcons list.
enum TrayImage { kTrayOn = 0, kTrayOff, kTrayKill };

// Menu item data of owner-drawn images: the item's image index plus one (0: none).
ULONG_PTR ImageData(int imageIndex) { return static_cast<ULONG_PTR>(imageIndex + 1); }

// The name of a key, as the keyboard layout calls it.
std::string KeyName(UINT key) {
  wchar_t name[64] = {};
  const int length = ::GetKeyNameTextW(static_cast<LONG>(::MapVirtualKeyW(key, 0) << 16), name, 64);
  return win32::Narrow(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace

std::string ShortCutText(int shortCut) {
  if (shortCut == 0) return std::string();
  std::string text;
  if (shortCut & 0x4000) text += "Ctrl+";
  if (shortCut & 0x2000) text += "Shift+";
  if (shortCut & 0x8000) text += "Alt+";
  const int key = shortCut & 0xFF;
  switch (key) {
    case VK_INSERT: return text + "Ins";
    case VK_DELETE: return text + "Del";
    case VK_BACK: return text + "BkSp";
    case VK_TAB: return text + "Tab";
    case VK_RETURN: return text + "Enter";
    case VK_ESCAPE: return text + "Esc";
    case VK_SPACE: return text + "Space";
    default: break;
  }
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return text + static_cast<char>(key);
  if (key >= VK_F1 && key <= VK_F24) return text + "F" + std::to_string(key - VK_F1 + 1);
  return text + KeyName(static_cast<UINT>(key));
}

std::string PopupMenuText(const std::string& title) {
  std::string text;
  for (const char c : title) {
    text += c;
    if (c == '&') text += '&';
  }
  return text;
}

// The texts and states that actions and menu items both publish; a change runs OnChange.
template <class T>
void PublishItemProperties(T& o) {
  auto changed = [&o] {
    if (o.OnChange) o.OnChange();
  };
  o.PublishString("Caption", [&o] { return o.Caption; }, [&o, changed](const std::string& v) { o.Caption = v; changed(); });
  o.PublishString("Hint", [&o] { return o.Hint; }, [&o](const std::string& v) { o.Hint = v; });
  o.PublishInteger("ImageIndex", [&o] { return o.ImageIndex; }, [&o, changed](int v) { o.ImageIndex = v; changed(); },
                   -1, kImageCount - 1);
  o.PublishBoolean("Checked", [&o] { return o.Checked; }, [&o, changed](bool v) { o.Checked = v; changed(); });
  o.PublishBoolean("Enabled", [&o] { return o.Enabled; }, [&o, changed](bool v) { o.Enabled = v; changed(); });
  o.PublishBoolean("Visible", [&o] { return o.Visible; }, [&o, changed](bool v) { o.Visible = v; changed(); });
}

TAction::TAction(std::string name, std::string caption, int imageIndex, std::function<void()> onExecute,
                 int shortCut, bool autoCheck)
    : TComponent(std::move(name)),
      Caption(std::move(caption)),
      ImageIndex(imageIndex),
      ShortCut(shortCut),
      AutoCheck(autoCheck),
      OnExecute(std::move(onExecute)) {
  DeclareClass("TAction");
  PublishItemProperties(*this);
  PublishInteger("ShortCut", [this] { return ShortCut; },
                 [this](int v) {
                   ShortCut = v;
                   if (OnChange) OnChange();
                 },
                 0, 0xFFFF);
}

void TAction::Execute() {
  if (!Enabled) return;
  if (AutoCheck) {
    Checked = !Checked;
    if (OnChange) OnChange();
  }
  if (OnExecute) OnExecute();
}

TMenuItem::TMenuItem(std::string name, TAction* action, std::string caption, bool separator)
    : TComponent(std::move(name)), Caption(std::move(caption)), Action(action), Separator(separator) {
  DeclareClass("TMenuItem");
  PublishItemProperties(*this);
  UpdateFromAction();
}

void TMenuItem::UpdateFromAction() {
  if (Action == nullptr) return;
  Caption = Action->Caption;
  Hint = Action->Hint;
  ImageIndex = Action->ImageIndex;
  Checked = Action->Checked;
  Enabled = Action->Enabled;
  Visible = Action->Visible;
}

TfoMain::TfoMain(TZorvex& engine, IDesktop& desktop, MainFormDialogs dialogs, std::string programFolder)
    : TComponent("foMain"),
      engine_(engine),
      desktop_(desktop),
      dialogs_(std::move(dialogs)),
      programFolder_(std::move(programFolder)) {
  DeclareClass("TfoMain");
  PublishString("Caption", [this] { return caption_; }, [this](const std::string& v) { caption_ = v; });
  WNDCLASSW wc{};
  wc.lpfnWndProc = win32::ObjectWindowProc<TfoMain>;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hIcon = ::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_APP));
  wc.lpszClassName = kWindowClass;
  ::RegisterClassW(&wc);
  window_.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Zorvex", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  wc.hInstance, nullptr));
  win32::AttachObject(window_.get(), this);

  LoadIcons();

  translator_ = &Create<TTranslator>("ZorvexTranslator");
  translator_->KeyName = [](int key) { return KeyName(static_cast<UINT>(key)); };
  variables_ = &Create<TTranslatorStrings>("Variables");

  auto action = [this](const char* name, const char* caption, int image, std::function<void()> run, int shortCut = 0,
                       bool autoCheck = false) {
    TAction& a = Create<TAction>(name, caption, image, std::move(run), shortCut, autoCheck);
    a.OnChange = [this, &a] {
      for (TMenuItem* item : items_)
        if (item->Action == &a) item->UpdateFromAction();
      RefreshMenu();
    };
  };
  action("actCloseMenu", "&Close this menu", kImageCloseMenu, [] {});
  action("actExit", "&Exit", kImageExit, [this] { actExitExecute(); });
  action("actOptions", "&Options...", kImageOptions, [this] { actOptionsExecute(); });
  action("actAddRule", "&Add Rule...", kImageAddRule, [this] { actAddRuleExecute(); }, 0x6000 | VK_INSERT);
  action("actAddWindowRule", "Add &Window Rule...", kImageAddRule, [this] { actAddWindowRuleExecute(); });
  action("actActive", "Active", kImageActive, [this] { actActiveExecute(); }, 0, true);
  action("actLanguage", "Language", kImageLanguage, [] {});
  action("actAddPopupDirect", "actAddPopupDirect", -1, [this] { actAddPopupDirectExecute(); });
  BuildMenu();

  tray_.SetMenu(popupMenu_.get());
  tray_.OnDblClick = [this] { TrayDblClick(); };
  tray_.OnMenuOpening = [this] { RefreshMenu(); };
  tray_.OnMenuCommand = [this](UINT id) { RunCommand(id); };
  tray_.OnMenuMessage = [this](UINT m, WPARAM w, LPARAM l) { return MenuMessage(m, w, l); };
  tray_.OnTaskbarCreated = [this] {
    LoadIcons();
    ShowStateIcon();
  };
  tray_.SetActive(true);

  // FormCreate.
  for (std::size_t i = 0; i < strings::kNamedStringCount; ++i) {
    variables_->RegisterString(strings::kNamedStrings[i].name, strings::kNamedStrings[i].value);
  }
  // A hot key that another program holds simply doesn't work; the trace says which.
  if (!::RegisterHotKey(window_.get(), kHotKeyAddRule, MOD_CONTROL | MOD_SHIFT, VK_INSERT)) {
    TraceDropped("hot key", "Ctrl+Shift+Insert is held by another program");
  }
  if (!::RegisterHotKey(window_.get(), kHotKeyAddPopupDirect, MOD_CONTROL | MOD_SHIFT, VK_DELETE)) {
    TraceDropped("hot key", "Ctrl+Shift+Delete is held by another program");
  }
  TAction* active = FindAction("actActive");
  active->Checked = engine_.AutoDetect;
  active->OnChange();
  foMain = this;
  engine_.SetTray(this);
  ShowStateIcon();
  BuildLanguageMenu();
  ::SetTimer(window_.get(), kCheckCrashTimer, 1000, nullptr);
}

void TfoMain::Loaded() {
  // Runs once the form sits under the application object, so that the saved language reaches
  // every form; then the hint is shown in it.
  if (!engine_.Language.empty() && FileExists(engine_.Language)) {
    translator_->LoadLanguage(engine_.Language);
  }
  RefreshMenu();
  engine_.SetCount(engine_.Count);
}

TfoMain::~TfoMain() {
  ::KillTimer(window_.get(), kCheckCrashTimer);
  ::KillTimer(window_.get(), kFlashTimer);
  ::UnregisterHotKey(window_.get(), kHotKeyAddRule);
  ::UnregisterHotKey(window_.get(), kHotKeyAddPopupDirect);
  if (engine_.Tray() == this) engine_.SetTray(nullptr);
  if (foMain == this) foMain = nullptr;
  tray_.SetActive(false);
  win32::AttachObject<TfoMain>(window_.get(), nullptr);
}

TAction* TfoMain::FindAction(const std::string& name) { return dynamic_cast<TAction*>(FindComponent(name)); }

TMenuItem* TfoMain::FindItem(const std::string& name) { return dynamic_cast<TMenuItem*>(FindComponent(name)); }

void TfoMain::BuildMenu() {
  popupMenu_.reset(::CreatePopupMenu());
  windows1_ = ::CreatePopupMenu();
  language1_ = ::CreatePopupMenu();
  auto item = [&](const char* name, const char* action, const char* caption = "", bool separator = false) {
    TMenuItem& i = Create<TMenuItem>(name, action ? FindAction(action) : nullptr, caption, separator);
    i.OnChange = [this] { RefreshMenu(); };
    i.Id = kFirstItemId + static_cast<UINT>(items_.size());
    items_.push_back(&i);
    return &i;
  };
  item("Closethismenu1", "actCloseMenu");
  item("N2", nullptr, "-", true);
  item("AddRule1", "actAddRule");
  item("AddWindowRule1", "actAddWindowRule");
  item("Options1", "actOptions");
  item("Windows1", nullptr, "Add Popup")->Submenu = windows1_;
  item("N3", nullptr, "-", true);
  item("Active1", "actActive");
  item("Language1", "actLanguage")->Submenu = language1_;
  item("N1", nullptr, "-", true);
  item("Exit1", "actExit");
  // The Add Popup submenu holds at first only "No Item", disabled; it is no item of the tray menu
  // itself, but a language file translates it like one.
  noItem_ = &Create<TMenuItem>("NoItem1", nullptr, "No Item");
  noItem_->Enabled = false;
  noItem_->OnChange = [this] { FillWindows1(); };
  FillWindows1();
}

void TfoMain::FillWindows1() {
  while (::GetMenuItemCount(windows1_) > 0) ::DeleteMenu(windows1_, 0, MF_BYPOSITION);
  // "No Item" shows only while the submenu has nothing else.
  if (popupTitles_.empty()) {
    ::AppendMenuW(windows1_, MF_STRING | (noItem_->Enabled ? 0 : MF_GRAYED), kNoItemId,
                  win32::Widen(noItem_->Caption).c_str());
  }
  for (std::size_t i = 0; i < popupTitles_.size(); ++i) {
    ::AppendMenuW(windows1_, MF_STRING, kFirstPopupId + static_cast<UINT>(i),
                  win32::Widen(PopupMenuText(popupTitles_[i])).c_str());
  }
}

std::string TfoMain::ItemText(const TMenuItem& item) const {
  const int shortCut = item.Action ? item.Action->ShortCut : 0;
  const std::string text = ShortCutText(shortCut);
  return text.empty() ? item.Caption : item.Caption + "\t" + text;
}

void TfoMain::RefreshMenu() {
  HMENU menu = popupMenu_.get();
  if (menu == nullptr) return;
  // Rebuilt whole, so that hidden items leave no gap; RemoveMenu keeps the submenus alive.
  while (::GetMenuItemCount(menu) > 0) ::RemoveMenu(menu, 0, MF_BYPOSITION);
  for (const TMenuItem* i : items_) {
    if (!i->Visible) continue;
    std::wstring text = win32::Widen(ItemText(*i));
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_SUBMENU;
    info.wID = i->Id;
    info.hSubMenu = i->Submenu;
    if (i->Separator) {
      info.fType = MFT_SEPARATOR;
    } else {
      info.fMask |= MIIM_STRING | MIIM_STATE | MIIM_BITMAP | MIIM_DATA;
      info.fType = MFT_STRING;
      info.dwTypeData = &text[0];
      info.fState = (i->Checked ? MFS_CHECKED : 0) | (i->Enabled ? 0 : MFS_DISABLED);
      info.hbmpItem = i->ImageIndex >= 0 ? HBMMENU_CALLBACK : nullptr;
      info.dwItemData = ImageData(i->ImageIndex);
    }
    ::InsertMenuItemW(menu, ::GetMenuItemCount(menu), TRUE, &info);
  }
}

LRESULT TfoMain::MenuMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITMENUPOPUP:
      if (reinterpret_cast<HMENU>(wParam) == windows1_) Windows1Click();
      return 0;
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (measure->CtlType != ODT_MENU) return FALSE;
      // A little room on either side keeps the picture off the text.
      measure->itemWidth = imageSize_ + 2 * kImagePadding;
      measure->itemHeight = imageSize_;
      return TRUE;
    }
    case WM_DRAWITEM: {
      auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (draw->CtlType != ODT_MENU || draw->itemData == 0) return FALSE;
      const std::size_t image = draw->itemData - 1;
      if (image < images_.size() && images_[image]) {
        const int top = draw->rcItem.top + (draw->rcItem.bottom - draw->rcItem.top - imageSize_) / 2;
        ::DrawIconEx(draw->hDC, draw->rcItem.left + kImagePadding, top, images_[image].get(), imageSize_, imageSize_, 0,
                     nullptr, DI_NORMAL);
      }
      return TRUE;
    }
    default:
      return 0;
  }
}

void TfoMain::BuildLanguageMenu() {
  while (::GetMenuItemCount(language1_) > 0) ::DeleteMenu(language1_, 0, MF_BYPOSITION);
  languagePaths_.clear();
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW(win32::Widen(programFolder_ + kLanguagePattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  win32::UniqueFind guard(search);
  do {
    const std::string name = win32::Narrow(std::wstring(found.cFileName));
    const std::string caption = name.substr(0, name.find_last_of('.'));
    const UINT id = kFirstLanguageId + static_cast<UINT>(languagePaths_.size());
    languagePaths_.push_back(programFolder_ + kLanguageFolder + name);
    ::AppendMenuW(language1_, MF_STRING, id, win32::Widen(caption).c_str());
  } while (::FindNextFileW(search, &found));
}

void TfoMain::LoadLanguage(const std::string& path) {
  translator_->LoadLanguage(path);
  RefreshMenu();
}

void TfoMain::RunCommand(UINT id) {
  if (id >= kFirstLanguageId && id < kFirstLanguageId + languagePaths_.size()) {
    LanguageItemClick(id - kFirstLanguageId);
    return;
  }
  if (id >= kFirstPopupId && id < kFirstPopupId + popupTitles_.size()) {
    PopupItemClick(id - kFirstPopupId);
    return;
  }
  for (TMenuItem* i : items_) {
    if (i->Id == id && i->Action != nullptr && i->Enabled) {
      i->Action->Execute();
      return;
    }
  }
}

std::string TfoMain::TrayHint() { return strings::TrayHint; }

void TfoMain::SetHint(const std::string& hint) { tray_.SetHint(hint); }

void TfoMain::LoadIcons() {
  // The small-icon size of the density the tray and the menu are drawn at; the images drawn for it.
  imageSize_ = win32::MetricForDpi(SM_CXSMICON, win32::WindowDpi(window_.get()));
  trayIcons_.clear();
  images_.clear();
  const auto load = [this](int id) { return win32::LoadProgramIcon(id, imageSize_, imageSize_); };
  for (int i = 0; i < IDI_TRAY_COUNT; ++i) trayIcons_.emplace_back(load(IDI_TRAY_FIRST + i));
  for (int i = 0; i < IDI_MENU_COUNT; ++i) images_.emplace_back(load(IDI_MENU_FIRST + i));
}

void TfoMain::FlashKillIcon() {
  // A timer rather than a wait keeps the main thread free; setting it again extends the flash.
  tray_.SetIcon(trayIcons_[kTrayKill].get());
  ::SetTimer(window_.get(), kFlashTimer, kFlashMs, nullptr);
}

void TfoMain::ShowStateIcon() {
  tray_.SetIcon(trayIcons_[engine_.AutoDetect ? kTrayOn : kTrayOff].get());
  // Options read late (their file was held at start) may have switched detection.
  TAction* active = FindAction("actActive");
  if (active != nullptr && active->Checked != engine_.AutoDetect) {
    active->Checked = engine_.AutoDetect;
    if (active->OnChange) active->OnChange();
  }
}

void TfoMain::ShowNotice(const std::string& text) {
  tray_.ShowBalloon(caption_, text);
  tray_.SetHint(text);
}

void TfoMain::actExitExecute() { ::PostQuitMessage(0); }

void TfoMain::actOptionsExecute() {
  if (OptionsOpen || !dialogs_.options) return;
  OptionsOpen = true;
  // The guard is released however the dialog ends.
  struct Release {
    bool& open;
    ~Release() { open = false; }
  } release{OptionsOpen};
  if (dialogs_.options()) engine_.SaveOptions();
}

void TfoMain::actAddRuleExecute() {
  if (!OptionsOpen && dialogs_.addRule) dialogs_.addRule();
}

void TfoMain::actAddWindowRuleExecute() {
  // While the options dialog is open its Ok would drop a rule added behind it.
  if (!OptionsOpen && dialogs_.addWindowRule) dialogs_.addWindowRule();
}

void TfoMain::actActiveExecute() {
  engine_.SetActive(FindAction("actActive")->Checked);
  ShowStateIcon();
}

void TfoMain::TrayDblClick() { FindAction("actOptions")->Execute(); }

void TfoMain::actAddPopupDirectExecute() {
  const WindowHandle window = desktop_.ForegroundWindow();
  if (window == 0) return;
  // The decision as the hot key asks it: only whether this is a browser window, and its title.
  const Verdict verdict =
      Decide(WindowFacts(desktop_, window, true), engine_.Detection(), PreparedRules{}, BrowserAsker::HotKey);
  if (!verdict.browser) return;
  engine_.AddRule(verdict.title);
}

void TfoMain::Windows1Click() {
  const auto now = std::chrono::steady_clock::now();
  if (refreshedOnce_ && now - lastPopupRefresh_ < kPopupRefreshThrottle) return;
  refreshedOnce_ = true;
  lastPopupRefresh_ = now;
  std::vector<std::string> titles;
  TEnum(desktop_, [this] { return engine_.Detection(); })
      .ListWindows(titles);
  popupTitles_ = titles;
  FillWindows1();
}

void TfoMain::PopupItemClick(std::size_t index) {
  if (index < popupTitles_.size()) engine_.AddRule(popupTitles_[index]);
}

void TfoMain::LanguageItemClick(std::size_t index) {
  if (index >= languagePaths_.size()) return;
  const std::string path = languagePaths_[index];
  LoadLanguage(path);
  engine_.Language = path;
  engine_.SetCount(engine_.Count);
}

void TfoMain::CheckCrashTimer() {
  tray_.CheckShellRestart();
  engine_.KeepDetecting();
  engine_.RetrySettingsFiles();
  ::SendMessageW(window_.get(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

LRESULT TfoMain::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_HOTKEY:
      if (wParam == kHotKeyAddRule) FindAction("actAddRule")->Execute();
      if (wParam == kHotKeyAddPopupDirect) FindAction("actAddPopupDirect")->Execute();
      return 0;
    case WM_TIMER:
      if (wParam == kCheckCrashTimer) CheckCrashTimer();
      if (wParam == kFlashTimer) {
        ::KillTimer(window_.get(), kFlashTimer);
        ShowStateIcon();
      }
      return 0;
    case WM_SYSCOMMAND:
      // The form stays hidden: minimising is all the guard asks, and hidden it already is.
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        ::ShowWindow(window_.get(), SW_HIDE);
        return 0;
      }
      break;
    case WM_CLOSE:
      // Windows or a polite "end this program" asks us to go: leave the loop, which saves.
      actExitExecute();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The process may end right after this message: save now.
      if (wParam) {
        engine_.FinishDetection();
        engine_.FinishSaves(kEndSessionPatience);
      }
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_.get(), message, wParam, lParam);
}


}  // namespace zorvex
