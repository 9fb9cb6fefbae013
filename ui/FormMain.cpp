#include "ui/FormMain.h"

#include <algorithm>

#include "popups/ClassEnum.h"
#include "popups/WindowClasses.h"
#include "resources/resource.h"
#include "ui/Strings.h"

namespace zorvex {

TfoMain* foMain = nullptr;

namespace {

constexpr const char* kWindowClass = "TfoMain";
constexpr const char* kLanguagePattern = "Languages\\*.xml";
constexpr const char* kLanguageFolder = "Languages\\";
constexpr int kImageSize = 16;
constexpr int kImagePadding = 3;
constexpr auto kPopupRefreshThrottle = std::chrono::seconds(5);

// Images of the Images list.
enum Image { kImageExit = 0, kImageOptions, kImageAddRule, kImageActive, kImageCloseMenu, kImageLanguage };
// Images of the TrayIcons list.
enum TrayImage { kTrayOn = 0, kTrayOff, kTrayKill };

// Window classes whose foreground window the direct add (hot key 2) takes.
bool IsDirectAddClass(const std::string& cls) {
  namespace bc = browser_classes;
  for (const char* name : {bc::kOperaMdi, bc::kOperaUi, bc::kIEFrame, bc::kMsn, bc::kAfxFrameOrView, bc::kCabinet,
                           bc::kUbc, bc::kUbcPopup, bc::kAolChild, bc::kMozilla, bc::kTfrmPage}) {
    if (cls == name) return true;
  }
  return false;
}

HICON LoadSmallIcon(int id) {
  return static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, kImageSize,
                                         kImageSize, LR_DEFAULTCOLOR));
}

// Menu item data of owner-drawn images: the item's image index plus one (0: none).
ULONG_PTR ImageData(int imageIndex) { return static_cast<ULONG_PTR>(imageIndex + 1); }

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
  char name[64] = {};
  ::GetKeyNameTextA(static_cast<LONG>(::MapVirtualKeyA(key, 0) << 16), name, sizeof name);
  return text + name;
}

TfoMain::TfoMain(TZorvex& engine, IDesktop& desktop, MainFormDialogs dialogs, std::string programFolder)
    : engine_(engine), desktop_(desktop), dialogs_(std::move(dialogs)), programFolder_(std::move(programFolder)) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hIcon = ::LoadIconA(wc.hInstance, MAKEINTRESOURCEA(IDI_APP));
  wc.lpszClassName = kWindowClass;
  ::RegisterClassA(&wc);
  window_.reset(::CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "Zorvex", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  wc.hInstance, nullptr));
  ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

  for (int i = 0; i < IDI_TRAY_COUNT; ++i) trayIcons_.emplace_back(LoadSmallIcon(IDI_TRAY_FIRST + i));
  for (int i = 0; i < IDI_MENU_COUNT; ++i) images_.emplace_back(LoadSmallIcon(IDI_MENU_FIRST + i));

  actions_ = {
      {"actCloseMenu", "&Close this menu", kImageCloseMenu, 0, false, false, [] {}},
      {"actExit", "&Exit", kImageExit, 0, false, false, [this] { actExitExecute(); }},
      {"actOptions", "&Options...", kImageOptions, 0, false, false, [this] { actOptionsExecute(); }},
      {"actAddRule", "&Add Rule...", kImageAddRule, 0x6000 | VK_INSERT, false, false,
       [this] { actAddRuleExecute(); }},
      {"actActive", "Active", kImageActive, 0, false, true, [this] { actActiveExecute(); }},
      {"actLanguage", "Language", kImageLanguage, 0, false, false, [] {}},
      {"actAddPopupDirect", "actAddPopupDirect", -1, 0, false, false, [this] { actAddPopupDirectExecute(); }},
  };
  BuildMenu();

  tray_.SetMenu(popupMenu_.get());
  tray_.OnDblClick = [this] { TrayDblClick(); };
  tray_.OnMenuOpening = [this] { RefreshMenu(); };
  tray_.OnMenuCommand = [this](UINT id) { RunCommand(id); };
  tray_.OnMenuMessage = [this](UINT m, WPARAM w, LPARAM l) { return MenuMessage(m, w, l); };
  tray_.SetActive(true);

  // FormCreate. A hot key that another program holds simply doesn't work.
  ::RegisterHotKey(window_.get(), kHotKeyAddRule, MOD_CONTROL | MOD_SHIFT, VK_INSERT);
  ::RegisterHotKey(window_.get(), kHotKeyAddPopupDirect, MOD_CONTROL | MOD_SHIFT, VK_DELETE);
  FindAction("actActive")->Checked = engine_.AutoDetect;
  foMain = this;
  engine_.SetTray(this);
  ShowStateIcon();
  BuildLanguageMenu();
  if (!engine_.Language.empty() && ::GetFileAttributesA(engine_.Language.c_str()) != INVALID_FILE_ATTRIBUTES &&
      dialogs_.loadLanguage) {
    dialogs_.loadLanguage(engine_.Language);
  }
  RefreshMenu();
  engine_.SetCount(engine_.Count);
  ::SetTimer(window_.get(), kCheckCrashTimer, 1000, nullptr);
}

TfoMain::~TfoMain() {
  ::KillTimer(window_.get(), kCheckCrashTimer);
  ::UnregisterHotKey(window_.get(), kHotKeyAddRule);
  ::UnregisterHotKey(window_.get(), kHotKeyAddPopupDirect);
  if (engine_.Tray() == this) engine_.SetTray(nullptr);
  if (foMain == this) foMain = nullptr;
  tray_.SetActive(false);
  ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
}

TAction* TfoMain::FindAction(const std::string& name) {
  for (TAction& a : actions_)
    if (a.Name == name) return &a;
  return nullptr;
}

TMenuItem* TfoMain::FindItem(const std::string& name) {
  for (TMenuItem& i : items_)
    if (i.Name == name) return &i;
  return nullptr;
}

void TfoMain::BuildMenu() {
  popupMenu_.reset(::CreatePopupMenu());
  windows1_ = ::CreatePopupMenu();
  language1_ = ::CreatePopupMenu();
  auto item = [&](const char* name, const char* action) {
    TMenuItem i;
    i.Name = name;
    i.Action = FindAction(action);
    return i;
  };
  auto separator = [](const char* name) {
    TMenuItem i;
    i.Name = name;
    i.Separator = true;
    return i;
  };
  TMenuItem windows1;
  windows1.Name = "Windows1";
  windows1.Caption = "Add Popup";
  windows1.Submenu = windows1_;
  TMenuItem language1 = item("Language1", "actLanguage");
  language1.Submenu = language1_;
  items_ = {item("Closethismenu1", "actCloseMenu"), separator("N2"), item("AddRule1", "actAddRule"),
            item("Options1", "actOptions"), windows1, separator("N3"), item("Active1", "actActive"), language1,
            separator("N1"), item("Exit1", "actExit")};
  UINT id = 100;
  for (TMenuItem& i : items_) {
    i.Id = id++;
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | (i.Submenu ? MIIM_SUBMENU : 0);
    info.fType = i.Separator ? MFT_SEPARATOR : MFT_STRING;
    info.wID = i.Id;
    info.hSubMenu = i.Submenu;
    ::InsertMenuItemA(popupMenu_.get(), ::GetMenuItemCount(popupMenu_.get()), TRUE, &info);
  }
  // The Add Popup submenu holds at first only the disabled "No Item".
  ::AppendMenuA(windows1_, MF_STRING | MF_GRAYED, kFirstPopupId - 1, "No Item");
}

std::string TfoMain::ItemText(const TMenuItem& item) const {
  if (item.Action == nullptr) return item.Caption;
  const std::string shortCut = ShortCutText(item.Action->ShortCut);
  return shortCut.empty() ? item.Action->Caption : item.Action->Caption + "\t" + shortCut;
}

void TfoMain::RefreshMenu() {
  for (const TMenuItem& i : items_) {
    if (i.Separator) continue;
    const std::string text = ItemText(i);
    const int image = i.Action ? i.Action->ImageIndex : i.ImageIndex;
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    // The type is set again: an item made without text counts as a separator until told otherwise.
    info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_STATE | MIIM_BITMAP | MIIM_DATA;
    info.fType = MFT_STRING;
    info.dwTypeData = const_cast<char*>(text.c_str());
    info.fState = (i.Action && i.Action->Checked ? MFS_CHECKED : 0) | (i.Enabled ? 0 : MFS_DISABLED);
    info.hbmpItem = image >= 0 ? HBMMENU_CALLBACK : nullptr;
    info.dwItemData = ImageData(image);
    ::SetMenuItemInfoA(popupMenu_.get(), i.Id, FALSE, &info);
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
      measure->itemWidth = kImageSize + 2 * kImagePadding;
      measure->itemHeight = kImageSize;
      return TRUE;
    }
    case WM_DRAWITEM: {
      auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (draw->CtlType != ODT_MENU || draw->itemData == 0) return FALSE;
      const std::size_t image = draw->itemData - 1;
      if (image < images_.size() && images_[image]) {
        const int top = draw->rcItem.top + (draw->rcItem.bottom - draw->rcItem.top - kImageSize) / 2;
        ::DrawIconEx(draw->hDC, draw->rcItem.left + kImagePadding, top, images_[image].get(), kImageSize, kImageSize, 0, nullptr,
                     DI_NORMAL);
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
  WIN32_FIND_DATAA found{};
  HANDLE search = ::FindFirstFileA((programFolder_ + kLanguagePattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  win32::UniqueFind guard(search);
  do {
    const std::string name = found.cFileName;
    const std::string caption = name.substr(0, name.find_last_of('.'));
    const UINT id = kFirstLanguageId + static_cast<UINT>(languagePaths_.size());
    languagePaths_.push_back(programFolder_ + kLanguageFolder + name);
    ::AppendMenuA(language1_, MF_STRING, id, caption.c_str());
  } while (::FindNextFileA(search, &found));
}

void TfoMain::Execute(TAction& action) {
  if (action.AutoCheck) action.Checked = !action.Checked;
  if (action.OnExecute) action.OnExecute();
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
  for (TMenuItem& i : items_) {
    if (i.Id == id && i.Action != nullptr && i.Enabled) {
      Execute(*i.Action);
      return;
    }
  }
}

std::string TfoMain::TrayHint() { return strings::TrayHint; }

void TfoMain::SetHint(const std::string& hint) { tray_.SetHint(hint); }

void TfoMain::ShowKillIcon() { tray_.SetIcon(trayIcons_[kTrayKill].get()); }

void TfoMain::ShowStateIcon() { tray_.SetIcon(trayIcons_[engine_.AutoDetect ? kTrayOn : kTrayOff].get()); }

void TfoMain::actExitExecute() { ::PostQuitMessage(0); }

void TfoMain::actOptionsExecute() {
  if (OptionsOpen || !dialogs_.options) return;
  OptionsOpen = true;
  // The guard is released however the dialog ends.
  struct Release {
    bool& open;
    ~Release() { open = false; }
  } release{OptionsOpen};
  dialogs_.options();
}

void TfoMain::actAddRuleExecute() {
  if (!OptionsOpen && dialogs_.addRule) dialogs_.addRule();
}

void TfoMain::actActiveExecute() {
  engine_.SetActive(FindAction("actActive")->Checked);
  ShowStateIcon();
  RefreshMenu();
}

void TfoMain::TrayDblClick() { Execute(*FindAction("actOptions")); }

void TfoMain::actAddPopupDirectExecute() {
  const WindowHandle window = desktop_.ForegroundWindow();
  if (window == 0) return;
  if (!IsDirectAddClass(desktop_.ClassName(window))) return;
  engine_.AddRule(desktop_.Title(window));
}

void TfoMain::Windows1Click() {
  const auto now = std::chrono::steady_clock::now();
  if (refreshedOnce_ && now - lastPopupRefresh_ < kPopupRefreshThrottle) return;
  refreshedOnce_ = true;
  lastPopupRefresh_ = now;
  std::vector<std::string> titles;
  TEnum(desktop_, [this] { return BrowserFamilies{engine_.Opera, engine_.Netscape, engine_.Explorer}; })
      .ListWindows(titles);
  while (::GetMenuItemCount(windows1_) > 0) ::DeleteMenu(windows1_, 0, MF_BYPOSITION);
  popupTitles_ = titles;
  // "No Item" shows only while the submenu has nothing else.
  if (titles.empty()) ::AppendMenuA(windows1_, MF_STRING | MF_GRAYED, kFirstPopupId - 1, "No Item");
  for (std::size_t i = 0; i < titles.size(); ++i) {
    ::AppendMenuA(windows1_, MF_STRING, kFirstPopupId + static_cast<UINT>(i), titles[i].c_str());
  }
}

void TfoMain::PopupItemClick(std::size_t index) {
  if (index < popupTitles_.size()) engine_.AddRule(popupTitles_[index]);
}

void TfoMain::LanguageItemClick(std::size_t index) {
  if (index >= languagePaths_.size()) return;
  const std::string path = languagePaths_[index];
  if (dialogs_.loadLanguage) dialogs_.loadLanguage(path);
  engine_.Language = path;
  engine_.SetCount(engine_.Count);
  RefreshMenu();
}

void TfoMain::CheckCrashTimer() {
  tray_.CheckShellRestart();
  ::SendMessageA(window_.get(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

LRESULT TfoMain::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_HOTKEY:
      if (wParam == kHotKeyAddRule) Execute(*FindAction("actAddRule"));
      if (wParam == kHotKeyAddPopupDirect) Execute(*FindAction("actAddPopupDirect"));
      return 0;
    case WM_TIMER:
      if (wParam == kCheckCrashTimer) CheckCrashTimer();
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
      if (wParam) engine_.SaveOptions();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(window_.get(), message, wParam, lParam);
}

LRESULT CALLBACK TfoMain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TfoMain*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
  // No exception may cross the window procedure; a command that fails is simply not done.
  try {
    return self->Handle(message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

}  // namespace zorvex
