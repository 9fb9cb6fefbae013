// The add-rule dialog in this process over the real desktop, run by the engine's operations and
// driven by the messages a user's mouse and keys send, while the test thread sits in its modal loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>

#include "ModalScript.h"
#include "Win32TestSupport.h"
#include "tests/fakes/FakePlatform.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "ui/FormAddPopup.h"
#include "ui/Program.h"
#include "i18n/ClassForm.h"

using namespace zorvex;
using namespace zorvex::testing;
using Steps = std::vector<ModalScript::Step>;

namespace {

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}


class FormAddPopupWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "zorvex-addpopup-" + std::to_string(::GetCurrentProcessId()) + "\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    engine = std::make_unique<TZorvex>(platform.Engine(folder));
    engine->SetExplorer(true);
    engine->SetNetscape(true);
    engine->RuleDialog = [this](bool multiSelect) {
      return RunAddPopupDialog(application, *desktop, [this] {
        return engine->Detection();
      }, multiSelect);
    };
  }
  void TearDown() override {
    engine.reset();
    for (const char* name : {"options.xml", "rules.xml", "language.xml"}) ::DeleteFileA((folder + name).c_str());
    ::RemoveDirectoryA(folder.c_str());
  }

  // The open dialog, or null.
  TfoAddPopup* Dialog() { return dynamic_cast<TfoAddPopup*>(application.FindComponent("foAddPopup")); }
  HWND List() { return Dialog()->ListBox1.Handle(); }

  // Steps of a script.
  ModalScript::Step Shown() {
    return [this] { return Dialog() != nullptr && ::IsWindowVisible(Dialog()->Handle()); };
  }
  ModalScript::Step Key(WPARAM vk) {
    return [this, vk] {
      HWND focus = ::GetFocus();
      ::PostMessageA(focus != nullptr ? focus : Dialog()->Edit1.Handle(), WM_KEYDOWN, vk, 1);
      return true;
    };
  }
  ModalScript::Step Click(const std::string& title, bool ctrl = false) {
    return [this, title, ctrl] {
      const std::vector<std::string> entries = Entries();
      const auto at = std::find(entries.begin(), entries.end(), title);
      EXPECT_NE(at, entries.end()) << title;
      if (at == entries.end()) return true;
      RECT r{};
      ::SendMessageA(List(), LB_GETITEMRECT, at - entries.begin(), reinterpret_cast<LPARAM>(&r));
      const LPARAM point = MAKELPARAM(r.left + 5, (r.top + r.bottom) / 2);
      const WPARAM keys = ctrl ? MK_CONTROL : 0;
      ::SendMessageA(List(), WM_LBUTTONDOWN, keys | MK_LBUTTON, point);
      ::SendMessageA(List(), WM_LBUTTONUP, keys, point);
      return true;
    };
  }
  ModalScript::Step Type(const std::string& text) {
    return [this, text] {
      ::SendMessageW(Dialog()->Edit1.Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(win32::Widen(text).c_str()));
      return true;
    };
  }
  ModalScript::Step Do(std::function<void()> action) {
    return [action = std::move(action)] {
      action();
      return true;
    };
  }

  // What the list box window shows, read with the W calls.
  std::vector<std::string> Entries() {
    std::vector<std::string> entries;
    const int count = static_cast<int>(::SendMessageW(List(), LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      std::wstring text(static_cast<std::size_t>(::SendMessageW(List(), LB_GETTEXTLEN, i, 0)) + 1, L'\0');
      const LRESULT got = ::SendMessageW(List(), LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
      entries.push_back(win32::Narrow(text.data(), got > 0 ? static_cast<std::size_t>(got) : 0));
    }
    return entries;
  }
  std::vector<std::string> SelectedEntries() {
    std::vector<std::string> all = Entries();
    std::vector<std::string> selected;
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (::SendMessageA(List(), LB_GETSEL, i, 0) > 0) selected.push_back(all[i]);
    }
    return selected;
  }

  // Runs AddRuleFromDialog with the script; true when every step was done.
  ::testing::AssertionResult AddRuleFromDialog(Steps steps) {
    ModalScript script(std::move(steps));
    engine->AddRuleFromDialog();
    if (Dialog() != nullptr) return ::testing::AssertionFailure() << "the dialog was not freed";
    if (!script.Finished()) return ::testing::AssertionFailure() << script.Failure();
    return ::testing::AssertionSuccess();
  }

  std::string folder;
  fake::FakePlatform platform;
  std::shared_ptr<win32::Win32Desktop> desktop = std::make_shared<win32::Win32Desktop>();
  std::unique_ptr<TZorvex> engine;
  widgets::TApplication application;
};

}  // namespace

TEST_F(FormAddPopupWin32, ListsTheOpenBrowserWindowsAndEnterAddsTheTypedTitle) {
  ChildProcess browsers = OpenHelperWindows(
      {"IEFrame|Daily News|700|500|v", "MozillaWindowClass|Mail Reader|700|500|v", "Notepad|Not Listed|700|500|v"});
  std::vector<std::string> shown;
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Do([&] {
                                   shown = Entries();
                                   TfoAddPopup& form = *Dialog();
                                   EXPECT_EQ(TextOf(form.Handle()), "Add Popup Rule");
                                   EXPECT_EQ(form.ClientWidth(), 351);
                                   EXPECT_EQ(form.ClientHeight(), 236) << "18 pixels for the line under the title";
                                   // A top-level window of its own above all normal ones, with a task-bar button.
                                   EXPECT_EQ(::GetWindow(form.Handle(), GW_OWNER), nullptr);
                                   const LONG ex = ::GetWindowLongA(form.Handle(), GWL_EXSTYLE);
                                   EXPECT_TRUE(ex & WS_EX_TOPMOST);
                                   EXPECT_TRUE(ex & WS_EX_APPWINDOW);
                                   EXPECT_FALSE(::GetWindowLongA(form.Handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));
                                   EXPECT_TRUE(::GetWindowLongA(List(), GWL_STYLE) & LBS_EXTENDEDSEL);
                                   EXPECT_EQ(::SendMessageA(List(), LB_GETITEMHEIGHT, 0, 0), 14);
                                   EXPECT_EQ(::GetFocus(), List()) << "the list comes first in the tab order";
                                   EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), List(), FALSE), form.Edit1.Handle());
                                 }),
                                 Type("*News*"), Key(VK_RETURN)}));
  EXPECT_EQ(Sorted(shown), (std::vector<std::string>{"Daily News", "Mail Reader"}));
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{"*News*"});
}

TEST_F(FormAddPopupWin32, TitlesInEveryScriptAreListedExactlyFitRulesInTheirScriptAndAreAddedUnchanged) {
  std::vector<std::string> windows, titles;
  for (const ScriptTitle& t : ScriptTitles()) {
    windows.push_back(std::string("IEFrame|") + t.title + "|700|500|v");
    titles.push_back(t.title);
  }
  ChildProcess browsers = OpenHelperWindows(windows);
  const ScriptTitle& cyrillic = ScriptTitles()[0];
  const ScriptTitle& cjk = ScriptTitles()[2];
  const ScriptTitle& emoji = ScriptTitles()[3];
  ASSERT_TRUE(AddRuleFromDialog(
      {Shown(), Do([&] { EXPECT_EQ(Sorted(Entries()), Sorted(titles)); }),
       // A rule typed in its own script marks the one title it fits.
       Type(cjk.rule), Do([&] {
         EXPECT_EQ(TextOf(Dialog()->Edit1.Handle()), cjk.rule);
         const std::vector<std::string> entries = Entries();
         std::vector<std::string> marked;
         for (std::size_t i = 0; i < entries.size(); ++i)
           if (Dialog()->ListBox1.Marked(static_cast<int>(i))) marked.push_back(entries[i]);
         EXPECT_EQ(marked, std::vector<std::string>{cjk.title});
         EXPECT_EQ(TextOf(Dialog()->FitLabel.Handle()), "Fits 1 of " + std::to_string(titles.size()) +
                                                            " open browser windows");
       }),
       // A click puts the title into the edit box as it is; a second one with Ctrl picks another.
       Click(cyrillic.title), Do([&] { EXPECT_EQ(TextOf(Dialog()->Edit1.Handle()), cyrillic.title); }),
       Click(emoji.title, true), Key(VK_RETURN)}));
  EXPECT_EQ(Sorted(engine->RuleList()), Sorted({cyrillic.title, emoji.title}));
}

TEST_F(FormAddPopupWin32, TheTypedRuleMarksTheWindowsItFitsThroughTheRefreshAndTheLineWarnsWhenItFitsAll) {
  ChildProcess browsers = OpenHelperWindows({"IEFrame|Daily News - Browser|700|500|v",
                                             "IEFrame|Casino Bonus - Browser|700|500|v",
                                             "MozillaWindowClass|Mail Reader|700|500|v"});
  std::optional<ChildProcess> later;
  auto marked = [this] {
    std::vector<std::string> titles;
    const std::vector<std::string> entries = Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (Dialog()->ListBox1.Marked(static_cast<int>(i))) titles.push_back(entries[i]);
    }
    return Sorted(titles);
  };
  auto line = [this] { return TextOf(Dialog()->FitLabel.Handle()); };
  std::string tooManyStars;
  for (int i = 0; i < 30; ++i) tooManyStars += "*a";
  tooManyStars += "*";
  ASSERT_TRUE(AddRuleFromDialog(
      {Shown(), Do([&] {
         EXPECT_EQ(Entries().size(), 3u);
         EXPECT_TRUE(::GetWindowLongA(List(), GWL_STYLE) & LBS_OWNERDRAWFIXED);
         EXPECT_EQ(marked(), std::vector<std::string>{});
         EXPECT_EQ(line(), "") << "an empty title is no rule yet";
       }),
       Type("*CASINO*"), Do([&] {
         EXPECT_EQ(marked(), std::vector<std::string>{"Casino Bonus - Browser"});
         EXPECT_EQ(line(), "Fits 1 of 3 open browser windows");
         EXPECT_FALSE(Dialog()->FitLabel.Warning());
         later = OpenHelperWindows({"IEFrame|casino night - Browser|700|500|v"});
       }),
       // The refresh lists the new window: the marks are those of the rule, old and new windows alike.
       [&] { return Entries().size() == 4; },
       Do([&] {
         EXPECT_EQ(marked(), (std::vector<std::string>{"Casino Bonus - Browser", "casino night - Browser"}));
         EXPECT_EQ(line(), "Fits 2 of 4 open browser windows");
       }),
       Type("* - browser"), Do([&] {
         EXPECT_EQ(marked().size(), 3u);
         EXPECT_EQ(line(), "Fits 3 of 4 open browser windows");
         EXPECT_FALSE(Dialog()->FitLabel.Warning());
       }),
       Type("*e*"), Do([&] {
         EXPECT_EQ(marked().size(), 4u);
         EXPECT_EQ(line(), "This rule closes every browser window");
         EXPECT_TRUE(Dialog()->FitLabel.Warning());
       }),
       Type("nothing"), Do([&] {
         EXPECT_EQ(marked(), std::vector<std::string>{});
         EXPECT_EQ(line(), "Fits 0 of 4 open browser windows");
         EXPECT_FALSE(Dialog()->FitLabel.Warning()) << "the red goes with the warning";
       }),
       Type("*"), Do([&] { EXPECT_TRUE(Dialog()->FitLabel.Warning()); }),
       Type("  "), Do([&] {
         EXPECT_EQ(line(), "This rule closes every browser window");
         EXPECT_EQ(marked(), std::vector<std::string>{});
       }),
       Type(tooManyStars), Do([&] {
         EXPECT_EQ(line(), "Not a valid rule at character 62");
         EXPECT_EQ(marked(), std::vector<std::string>{});
       }),
       // The dialog only informs: Ok adds the rule it warned about.
       Type("*e*"), Key(VK_RETURN)}));
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{"*e*"});
}

TEST_F(FormAddPopupWin32, EscAndTheCloseBoxCancelAndAddNothing) {
  ChildProcess browsers = OpenHelperWindows({"IEFrame|Daily News|700|500|v", "IEFrame|Weather|700|500|v"});
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Click("Daily News"), Click("Weather", true), Type("typed"), Key(VK_ESCAPE)}));
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Click("Daily News"), Do([&] {
                                   ::PostMessageA(Dialog()->Handle(), WM_CLOSE, 0, 0);
                                 })}));
  EXPECT_TRUE(engine->RuleList().empty());
}

TEST_F(FormAddPopupWin32, AClickCopiesTheTitleAndWithOneSelectedEntryTheEditedTextWins) {
  ChildProcess browsers = OpenHelperWindows({"IEFrame|Daily News - Monday|700|500|v", "IEFrame|Weather|700|500|v"});
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Click("Daily News - Monday"), Do([&] {
                                   EXPECT_EQ(Dialog()->Edit1.Text(), "Daily News - Monday");
                                 }),
                                 Type("Daily News - *"), Key(VK_RETURN)}));
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{"Daily News - *"});
}

TEST_F(FormAddPopupWin32, SeveralSelectedEntriesBecomeOneRuleEachInListOrder) {
  ChildProcess browsers = OpenHelperWindows(
      {"IEFrame|Daily News|700|500|v", "IEFrame|Weather|700|500|v", "MozillaWindowClass|Mail Reader|700|500|v"});
  std::vector<std::string> order;
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Click("Mail Reader"), Click("Daily News", true), Type("ignored"),
                                 Do([&] { order = SelectedEntries(); }), Key(VK_RETURN)}));
  EXPECT_EQ(Sorted(order), (std::vector<std::string>{"Daily News", "Mail Reader"}));
  EXPECT_EQ(engine->RuleList(), order);
}

TEST_F(FormAddPopupWin32, ACtrlClickThatUnselectsAnEntryLeavesTheEditBoxToTheOneStillSelected) {
  ChildProcess browsers = OpenHelperWindows({"IEFrame|Daily News|700|500|v", "IEFrame|Weather|700|500|v"});
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Click("Daily News"), Click("Weather", true), Click("Weather", true),
                                 Do([&] {
                                   EXPECT_EQ(SelectedEntries(), std::vector<std::string>{"Daily News"});
                                   EXPECT_EQ(Dialog()->Edit1.Text(), "Daily News");
                                 }),
                                 Key(VK_RETURN)}));
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{"Daily News"});
}

TEST_F(FormAddPopupWin32, TheRefreshKeepsSelectedTitlesAndDropsVanishedWindows) {
  ChildProcess first = OpenHelperWindows({"IEFrame|Daily News|700|500|v", "IEFrame|Weather|700|500|v"});
  std::optional<ChildProcess> second = OpenHelperWindows({"MozillaWindowClass|Mail Reader|700|500|v"});
  std::optional<ChildProcess> third;
  auto refreshed = [&] {
    const std::vector<std::string> entries = Entries();
    return std::find(entries.begin(), entries.end(), "DAILY NEWS") != entries.end();
  };
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Click("Daily News"), Click("Mail Reader", true), Do([&] {
                                   // The reader's window goes; a new window has a selected title in other letters.
                                   second.reset();
                                   third = OpenHelperWindows({"IEFrame|DAILY NEWS|700|500|v"});
                                 }),
                                 refreshed, Do([&] {
                                   EXPECT_EQ(Sorted(Entries()), (std::vector<std::string>{"DAILY NEWS", "Daily News", "Weather"}));
                                   EXPECT_EQ(Sorted(SelectedEntries()), (std::vector<std::string>{"DAILY NEWS", "Daily News"}));
                                 }),
                                 Key(VK_RETURN)}));
  EXPECT_EQ(Sorted(engine->RuleList()), (std::vector<std::string>{"DAILY NEWS", "Daily News"}));
}

TEST_F(FormAddPopupWin32, PickRuleTitleHandsBackTheEditTextAndKeepsTheHighlightAcrossRefreshes) {
  ChildProcess first = OpenHelperWindows({"IEFrame|Daily News|700|500|v", "IEFrame|Weather|700|500|v"});
  std::optional<ChildProcess> later;
  std::string picked;
  {
    ModalScript script({Shown(), Do([&] { EXPECT_FALSE(::GetWindowLongA(List(), GWL_STYLE) & LBS_EXTENDEDSEL); }),
                        Click("Weather"), Do([&] { later = OpenHelperWindows({"IEFrame|Later|700|500|v"}); }),
                        [&] { return Entries().size() == 3; },
                        Do([&] {
                          EXPECT_EQ(SelectedEntries(), std::vector<std::string>{"Weather"});
                          EXPECT_EQ(Dialog()->Edit1.Text(), "Weather");
                        }),
                        Key(VK_RETURN)});
    picked = engine->PickRuleTitle();
    EXPECT_TRUE(script.Finished()) << script.Failure();
  }
  EXPECT_EQ(picked, "Weather");
  {
    ModalScript script({Shown(), Click("Weather"), Key(VK_ESCAPE)});
    picked = engine->PickRuleTitle();
    EXPECT_TRUE(script.Finished()) << script.Failure();
  }
  EXPECT_EQ(picked, "");
  EXPECT_TRUE(engine->RuleList().empty()) << "picking adds no rule";
}

TEST_F(FormAddPopupWin32, WithoutBrowserWindowsTheListIsEmptyAndATitleAddedTwiceIsTwoRules) {
  engine->SetExplorer(false);
  engine->SetNetscape(false);
  ChildProcess browsers = OpenHelperWindows({"IEFrame|Daily News|700|500|v"});
  engine->AddRule("Daily News");
  // Ok with an empty edit box adds nothing.
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Do([&] { EXPECT_TRUE(Entries().empty()); }), Key(VK_RETURN)}));
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{"Daily News"});
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Type("Daily News"), Key(VK_RETURN)}));
  EXPECT_EQ(engine->RuleList(), (std::vector<std::string>{"Daily News", "Daily News"}));
}

TEST_F(FormAddPopupWin32, ATitleWithALineBreakShowsAsOneEntryPerLine) {
  ChildProcess browsers = OpenHelperWindows({"IEFrame|Top line\r\nBottom line|700|500|v"});
  std::vector<std::string> shown;
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Do([&] { shown = Entries(); }), Key(VK_ESCAPE)}));
  EXPECT_EQ(shown, (std::vector<std::string>{"Top line", "Bottom line"}));
}

TEST_F(FormAddPopupWin32, ASecondRequestWhileTheDialogIsOpenBringsItForward) {
  std::size_t dialogs = 0;
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Do([&] {
                                   engine->AddRuleFromDialog();
                                   EXPECT_EQ(engine->PickRuleTitle(), "");
                                   for (std::size_t i = 0; i < application.ComponentCount(); ++i) {
                                     dialogs += dynamic_cast<TfoAddPopup*>(&application.Component(i)) != nullptr;
                                   }
                                 }),
                                 Type("only once"), Key(VK_RETURN)}));
  EXPECT_EQ(dialogs, 1u);
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{"only once"});
}

TEST_F(FormAddPopupWin32, ALanguageFileTranslatesTheDialogWhenItIsCreatedAndTheFaceIsForcedAtShow) {
  // An older language file: code-page bytes without a header.
  std::ofstream(folder + "language.xml", std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
         "<Zorvex><FOADDPOPUP Caption='Regel hinzufügen'><Font Name='Courier New' Size='10'/>"
         "<OkButton Caption='&amp;Gut'/><CancelButton Caption='&amp;Abbrechen'/>"
         "<HintLabel Caption='Genaue Kopie des Fenstertitels.\\nDer Stern * steht für beliebigen Text.'/>"
         "<TitleLabel Caption='Fenstertitel '/><Edit1 Text='vorgegeben'/></FOADDPOPUP></Zorvex>";
  widgets::TComponent owner("foMain");
  TTranslator& translator = owner.Create<TTranslator>("ZorvexTranslator");
  translator.LoadLanguage(folder + "language.xml");
  SetFormTranslator([&] { return &translator; });
  ASSERT_TRUE(AddRuleFromDialog({Shown(), Do([&] {
                                   TfoAddPopup& form = *Dialog();
                                   EXPECT_EQ(TextOf(form.Handle()), "Regel hinzufügen");
                                   EXPECT_EQ(TextOf(form.OkButton.Handle()), "&Gut");
                                   EXPECT_EQ(TextOf(form.CancelButton.Handle()), "&Abbrechen");
                                   EXPECT_EQ(TextOf(form.HintLabel.Handle()),
                                             "Genaue Kopie des Fenstertitels.\r\nDer Stern * steht für beliebigen Text.");
                                   EXPECT_EQ(TextOf(form.TitleLabel.Handle()), "Fenstertitel ");
                                   EXPECT_GT(form.TitleLabel.Bounds().Width, 40) << "the label fits its new text";
                                   LOGFONTW font{};
                                   ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(form.OkButton.Handle(), WM_GETFONT, 0, 0)),
                                                sizeof font, &font);
                                   EXPECT_STREQ(font.lfFaceName, L"arial");
                                   EXPECT_EQ(font.lfHeight, -13);
                                 }),
                                 Key(VK_RETURN)}));
  SetFormTranslator({});
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{"vorgegeben"});
}

TEST_F(FormAddPopupWin32, TheProgramWiresTheMainFormsAddRuleToTheDialog) {
  ProgramServices services;
  services.desktop = desktop;
  services.mainThread = std::make_shared<win32::Win32MainThread>();
  TfoMain& form = CreateMainForm(*engine, services);
  EXPECT_EQ(FormTranslator(), &form.ZorvexTranslator());
  ModalScript script({[&] {
                        auto* dialog = dynamic_cast<TfoAddPopup*>(Application().FindComponent("foAddPopup"));
                        return dialog != nullptr && ::IsWindowVisible(dialog->Handle());
                      },
                      Do([&] {
                        auto* dialog = dynamic_cast<TfoAddPopup*>(Application().FindComponent("foAddPopup"));
                        dialog->Edit1.SetText("from the tray");
                        ::PostMessageA(dialog->Edit1.Handle(), WM_KEYDOWN, VK_RETURN, 1);
                      })});
  form.FindAction("actAddRule")->Execute();
  EXPECT_TRUE(script.Finished()) << script.Failure();
  EXPECT_EQ(engine->RuleList(), std::vector<std::string>{"from the tray"});
  // While the options dialog is open the action shows nothing; a dialog that did open is closed.
  form.OptionsOpen = true;
  bool opened = false;
  {
    ModalScript guard({[&] {
      auto* dialog = dynamic_cast<TfoAddPopup*>(Application().FindComponent("foAddPopup"));
      if (dialog == nullptr || !::IsWindowVisible(dialog->Handle())) return false;
      opened = true;
      dialog->Close();
      return true;
    }});
    form.FindAction("actAddRule")->Execute();
  }
  EXPECT_FALSE(opened);
  DestroyForm(form);
  EXPECT_EQ(FormTranslator(), nullptr);
  engine->RuleDialog = nullptr;
}
