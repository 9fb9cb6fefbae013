// The main form in this process, over the real desktop: its menu as built, its submenus driven by
// the messages the menu sends, and its actions.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "ModalScript.h"
#include "Win32TestSupport.h"
#include "tests/fakes/FakeSystem.h"
#include "tests/fakes/Probe.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "ui/FormMain.h"
#include "ui/FormOptions.h"
#include "ui/Strings.h"

using namespace zorvex;
using namespace zorvex::testing;
using namespace std::chrono_literals;

namespace {

// An item's text as the menu holds it, read with the W call.
std::string MenuText(HMENU menu, UINT position) {
  wchar_t text[2048] = {};
  const int length = ::GetMenuStringW(menu, position, text, 2048, MF_BYPOSITION);
  return win32::Narrow(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::vector<std::string> MenuTexts(HMENU menu) {
  std::vector<std::string> texts;
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) texts.push_back(MenuText(menu, i));
  return texts;
}

class FormMainWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "zorvex-form-" + std::to_string(::GetCurrentProcessId()) + "\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ::CreateDirectoryA((folder + "Languages").c_str(), nullptr);
    EngineServices services;
    services.folder = folder;
    services.programPath = folder + "zorvex.exe";
    services.closer.scanner =
        ScannerServices{desktop, std::make_shared<win32::Win32MainThread>(), std::make_shared<SystemSleeper>(), nullptr, nullptr};
    services.closer.clock = std::make_shared<SystemClock>();
    services.startup = std::make_shared<fake::FakeStartupRegistry>();
    services.localTime = std::make_shared<fake::FakeLocalTime>();
    engine = std::make_unique<TZorvex>(services);
  }
  void TearDown() override {
    if (form) application.Remove(*form).reset();
    form = nullptr;
    engine.reset();
    for (const char* name : {"options.xml", "rules.xml", "zorvex.log", "Languages\\Deutsch.xml", "Languages\\Francais.xml"})
      ::DeleteFileA((folder + name).c_str());
    ::RemoveDirectoryA((folder + "Languages").c_str());
    ::RemoveDirectoryA(folder.c_str());
  }
  void MakeForm() { form = &application.Create<TfoMain>(*engine, *desktop, MainFormDialogs{}, folder); }
  HMENU Submenu(const char* name) { return form->FindItem(name)->Submenu; }
  // What the system sends the menu's owner when a submenu is about to open.
  void OpenSubmenu(const char* name) {
    ::SendMessageA(form->Tray().Window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(Submenu(name)), 4);
  }

  std::string folder;
  std::shared_ptr<win32::Win32Desktop> desktop = std::make_shared<win32::Win32Desktop>();
  std::unique_ptr<TZorvex> engine;
  widgets::TApplication application;
  TfoMain* form = nullptr;
};

}  // namespace

TEST_F(FormMainWin32, TheTrayMenuHoldsItsItemsWithShortcutAndCheckMark) {
  engine->LoadOptions();
  MakeForm();
  form->RefreshMenu();
  EXPECT_EQ(MenuTexts(form->PopupMenu1()),
            (std::vector<std::string>{"&Close this menu", "", "&Add Rule...\tCtrl+Shift+Ins", "Add &Window Rule...", "&Options...", "Add Popup",
                                      "", "Active", "Language", "", "&Exit"}));
  EXPECT_TRUE(::GetMenuState(form->PopupMenu1(), 7, MF_BYPOSITION) & MF_CHECKED);
  EXPECT_EQ(MenuTexts(Submenu("Windows1")), std::vector<std::string>{"No Item"});
  EXPECT_TRUE(::GetMenuState(Submenu("Windows1"), 0, MF_BYPOSITION) & MF_GRAYED);
  EXPECT_EQ(form->Tray().Hint(), "Zorvex - 0 Popups Killed");

  // Active toggles detection and the check mark.
  form->RunCommand(form->FindItem("Active1")->Id);
  EXPECT_FALSE(engine->AutoDetect);
  EXPECT_EQ(Probe::Closer(*engine), nullptr);
  EXPECT_FALSE(::GetMenuState(form->PopupMenu1(), 7, MF_BYPOSITION) & MF_CHECKED);
}

TEST_F(FormMainWin32, AddPopupListsBrowserWindowsAtMostOncePerFiveSecondsAndAddsTheChosenTitle) {
  engine->LoadOptions();
  engine->SetActive(false);
  MakeForm();
  ChildProcess first = OpenHelperWindows({"IEFrame|First Listed|800|600|v", "Notepad|Not Listed|800|600|v"});
  OpenSubmenu("Windows1");
  EXPECT_EQ(MenuTexts(Submenu("Windows1")), std::vector<std::string>{"First Listed"});
  ChildProcess second = OpenHelperWindows({"MozillaWindowClass|Second Listed|800|600|v"});
  OpenSubmenu("Windows1");
  EXPECT_EQ(MenuTexts(Submenu("Windows1")), std::vector<std::string>{"First Listed"}) << "rebuilt within 5 seconds";

  form->RunCommand(TfoMain::kFirstPopupId);
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{"First Listed"});
}

TEST_F(FormMainWin32, TheAddPopupSubmenuShowsTitlesInEveryScriptExactlyAndAddsThemUnchanged) {
  engine->LoadOptions();
  engine->SetActive(false);
  MakeForm();
  std::vector<std::string> windows, titles;
  for (const ScriptTitle& t : ScriptTitles()) {
    windows.push_back(std::string("IEFrame|") + t.title + "|800|600|v");
    titles.push_back(t.title);
  }
  // An ampersand is shown as itself, not as the mark of a shortcut letter.
  windows.push_back("IEFrame|Tom & Jerry's Casino|800|600|v");
  ChildProcess browsers = OpenHelperWindows(windows);
  OpenSubmenu("Windows1");
  std::vector<std::string> shown = MenuTexts(Submenu("Windows1"));
  ASSERT_EQ(shown.size(), titles.size() + 1);
  const auto ampersand = std::find(shown.begin(), shown.end(), "Tom && Jerry's Casino");
  ASSERT_NE(ampersand, shown.end());
  const std::size_t ampersandIndex = static_cast<std::size_t>(ampersand - shown.begin());
  shown.erase(ampersand);
  std::vector<std::string> sortedShown = shown, sortedTitles = titles;
  std::sort(sortedShown.begin(), sortedShown.end());
  std::sort(sortedTitles.begin(), sortedTitles.end());
  EXPECT_EQ(sortedShown, sortedTitles);

  // Each entry adds its title as it is, not as the menu spells it.
  for (UINT i = 0; i < titles.size() + 1; ++i) form->RunCommand(TfoMain::kFirstPopupId + i);
  std::vector<std::string> rules = engine->RuleList();
  ASSERT_EQ(rules.size(), titles.size() + 1);
  EXPECT_EQ(rules[ampersandIndex], "Tom & Jerry's Casino");
  rules.erase(rules.begin() + static_cast<std::ptrdiff_t>(ampersandIndex));
  std::sort(rules.begin(), rules.end());
  EXPECT_EQ(rules, sortedTitles);
}

TEST_F(FormMainWin32, LanguageMenuListsTheFilesAndAChoiceReformatsTheHint) {
  for (const char* name : {"Deutsch.xml", "Francais.xml"}) {
    HANDLE file = ::CreateFileA((folder + "Languages\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ::CloseHandle(file);
  }
  engine->LoadOptions();
  MakeForm();
  std::vector<std::string> captions = MenuTexts(Submenu("Language1"));
  std::sort(captions.begin(), captions.end());
  EXPECT_EQ(captions, (std::vector<std::string>{"Deutsch", "Francais"}));

  const std::string saved = strings::TrayHint;
  std::vector<std::string> paths = form->LanguagePaths();
  ASSERT_EQ(paths.size(), 2u);
  const std::size_t deutsch = paths[0].find("Deutsch") != std::string::npos ? 0 : 1;
  {
    std::ofstream(paths[deutsch], std::ios::binary)
        << "<Zorvex><foMain><actActive Caption='Aktiv'/><Exit1 Caption='&amp;Beenden'/>"
           "<Variables><S Name='TrayHint' Value='Zorvex: %d Fenster geschlossen'/></Variables></foMain></Zorvex>";
  }
  form->RunCommand(TfoMain::kFirstLanguageId + static_cast<UINT>(deutsch));
  EXPECT_EQ(engine->Language, paths[deutsch]);
  EXPECT_EQ(form->Tray().Hint(), "Zorvex: 0 Fenster geschlossen");
  EXPECT_EQ(MenuText(form->PopupMenu1(), 7), "Aktiv");
  EXPECT_EQ(MenuText(form->PopupMenu1(), 10), "&Beenden");
  strings::TrayHint = saved;
}

TEST_F(FormMainWin32, AKillFlashesTheTrayIconAndCountsInTheHint) {
  engine->LoadOptions();
  MakeForm();
  engine->WriteLog("Popup Killed: x (y)");
  engine->PlayAlarm();
  EXPECT_EQ(form->Tray().Hint(), "Zorvex - 1 Popups Killed");
}

// A save that met a held file is carried to the disk by the form's one-second timer once the
// holder lets go, and a notice reaches the tray as a hint.
TEST_F(FormMainWin32, TheTimerCarriesAHeldSaveToTheDiskAndNoticesReachTheTray) {
  engine->LoadOptions();
  MakeForm();
  engine->SaveOptions();
  const std::string rules = folder + "rules.xml";
  win32::UniqueKernelHandle holder(::CreateFileA(rules.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
  engine->AddRule("*timer*");
  ASSERT_TRUE(engine->SavesPending());
  holder.reset();
  auto landed = [&] {
    std::ifstream in(rules, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.find("<Rule>*timer*</Rule>") != std::string::npos;
  };
  EXPECT_TRUE(PumpUntil([&] { return !engine->SavesPending() && landed(); }, 60s));

  form->ShowNotice("Cannot save settings file x");
  EXPECT_EQ(form->Tray().Hint(), "Cannot save settings file x");
}

TEST_F(FormMainWin32, ARuleAddedByHotKeyWhileTheOptionsDialogIsOpenIsLostNeitherByOkNorByCancel) {
  { std::ofstream(folder + "options.xml") << "<Options><AutoDetect>0</AutoDetect></Options>"; }
  engine->LoadOptions();
  engine->SetRules({"first"});
  ChildProcess browser = OpenHelperWindows({"MozillaWindowClass|Hot Key Page|900|700|v"});
  const HWND page = FindWindowOf(browser.Id(), "Hot Key Page");
  ASSERT_NE(page, nullptr);
  MainFormDialogs dialogs;
  dialogs.options = [this] { return RunOptionsDialog(application, *engine); };
  form = &application.Create<TfoMain>(*engine, *desktop, dialogs, folder);
  auto dialog = [this] { return dynamic_cast<TfoOptions*>(application.FindComponent("foOptions")); };
  auto listed = [&](const std::string& title) {
    auto& items = dialog()->Rules.Items();
    for (std::size_t i = 0; i < items.Count(); ++i)
      if (items.Caption(i) == title) return true;
    return false;
  };

  for (const bool ok : {true, false}) {
    const std::string title = ok ? "Hot Key Page" : "Hot Key Page Again";
    ::SetWindowTextA(page, title.c_str());
    ModalScript script({[&] { return dialog() != nullptr && ::IsWindowVisible(dialog()->Handle()); },
                        [&] {
                          ::SetForegroundWindow(page);
                          return ::GetForegroundWindow() == page;
                        },
                        [&] {
                          // Ctrl+Shift+Delete, as the system delivers the registered hot key.
                          ::SendMessageA(form->Handle(), WM_HOTKEY, TfoMain::kHotKeyAddPopupDirect,
                                         MAKELPARAM(MOD_CONTROL | MOD_SHIFT, VK_DELETE));
                          return true;
                        },
                        [&] { return listed(title); },
                        [&] {
                          ::SendMessageA((ok ? dialog()->OkButton : dialog()->CancelButton).Handle(), BM_CLICK, 0, 0);
                          return true;
                        }});
    form->actOptionsExecute();
    EXPECT_TRUE(script.Finished()) << script.Failure();
  }
  EXPECT_EQ(engine->RuleList(), (std::vector<std::string>{"first", "Hot Key Page", "Hot Key Page Again"}));
  EXPECT_EQ(engine->RuleAdded, nullptr) << "the dialog stopped listening when it closed";
}

TEST(TrayIcon, TipFollowsTheShellVersion) {
  EXPECT_EQ(TrayTip("Zorvex\r\n3 killed|more", 5), L"Zorvex\r\n3 killed");
  EXPECT_EQ(TrayTip("Zorvex\r\n3 killed|more", 4), L"Zorvex - 3 killed");
  EXPECT_EQ(TrayTip(std::string(300, 'x'), 6).size(), 127u);
  EXPECT_EQ(TrayTip(std::string(300, 'x'), 4).size(), 63u) << "the older icon data holds 64 characters";
  EXPECT_EQ(TrayTip("", 6), L"");
  // A translated hint keeps its script; a cut counts characters and never parts a pair's halves.
  EXPECT_EQ(TrayTip("Зорвекс – закрыто 3", 6), L"\x0417\x043E\x0440\x0432\x0435\x043A\x0441 \x2013 "
                                                 L"\x0437\x0430\x043A\x0440\x044B\x0442\x043E 3");
  std::string slots;
  for (int i = 0; i < 100; ++i) slots += "\xF0\x9F\x8E\xB0";
  const std::wstring tip = TrayTip("xx" + slots, 6);
  EXPECT_EQ(tip.size(), 126u) << "the 127th unit is the first half of a pair";
  EXPECT_EQ(win32::Narrow(tip), "xx" + slots.substr(0, 62 * 4));
}

TEST_F(FormMainWin32, AddWindowRuleOpensItsDialogUnlessTheOptionsAreOpen) {
  engine->LoadOptions();
  int opened = 0;
  MainFormDialogs dialogs;
  dialogs.addWindowRule = [&] { ++opened; };
  form = &application.Create<TfoMain>(*engine, *desktop, std::move(dialogs), folder);
  form->RunCommand(form->FindItem("AddWindowRule1")->Id);
  EXPECT_EQ(opened, 1);
  form->OptionsOpen = true;
  form->RunCommand(form->FindItem("AddWindowRule1")->Id);
  EXPECT_EQ(opened, 1) << "the options dialog's Ok would drop a rule added behind it";
  form->OptionsOpen = false;
}
