// The window-rule dialog in this process over the real desktop, driven while the test thread sits
// in its modal loop: typed masks, the finder dragged with the real mouse, the action chosen.
#include <gtest/gtest.h>

#include <optional>

#include "ModalScript.h"
#include "Win32TestSupport.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Desktop.h"
#include "ui/FormWindowRule.h"

using namespace zorvex;
using namespace zorvex::testing;
using Steps = std::vector<ModalScript::Step>;

namespace {

class FormWindowRuleWin32 : public ::testing::Test {
 protected:
  TfoWindowRule* Dialog() { return dynamic_cast<TfoWindowRule*>(application.FindComponent("foWindowRule")); }

  ModalScript::Step Shown() {
    return [this] { return Dialog() != nullptr && ::IsWindowVisible(Dialog()->Handle()); };
  }
  // Types into an edit as the keyboard would replace its text: the edit tells its parent.
  ModalScript::Step Type(std::function<widgets::TEdit&(TfoWindowRule&)> edit, const std::string& text) {
    return [this, edit, text] {
      ::SendMessageW(edit(*Dialog()).Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(win32::Widen(text).c_str()));
      return true;
    };
  }
  ModalScript::Step Line(const std::string& line, bool red) {
    return [this, line, red] {
      EXPECT_EQ(TextOf(Dialog()->FitLabel.Handle()), line);
      EXPECT_EQ(Dialog()->FitLabel.Warning(), red) << line;
      return true;
    };
  }
  ModalScript::Step Do(std::function<void()> action) {
    return [action = std::move(action)] {
      action();
      return true;
    };
  }
  // Chooses an entry of a drop-down list as the mouse would: the box tells its parent.
  static void Choose(widgets::TComboBox& box, int index) {
    ::SendMessageW(box.Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(::GetParent(box.Handle()), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(box.Handle()), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(box.Handle()));
  }
  static void Mouse(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    ::SendInput(1, &input, sizeof input);
  }
  // Drags the finder to the middle of target with the real mouse; the steps wait for each move.
  Steps Drag(std::function<HWND()> target) {
    auto center = [](HWND window) {
      RECT r{};
      ::GetWindowRect(window, &r);
      return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    };
    auto at = [](POINT p) {
      return [p] {
        POINT now{};
        ::GetCursorPos(&now);
        return now.x == p.x && now.y == p.y;
      };
    };
    return {Do([this, center] {
              const POINT p = center(Dialog()->Finder.Handle());
              ::SetCursorPos(p.x, p.y);
            }),
            [this, at, center] { return at(center(Dialog()->Finder.Handle()))(); },
            Do([] { Mouse(MOUSEEVENTF_LEFTDOWN); }), [this] { return Dialog()->Finder.Dragging(); },
            Do([target, center] {
              const POINT p = center(target());
              ::SetCursorPos(p.x, p.y);
            }),
            [target, at, center] { return at(center(target()))(); }, Do([] { Mouse(MOUSEEVENTF_LEFTUP); }),
            [this] { return !Dialog()->Finder.Dragging(); }};
  }

  std::optional<WindowRuleText> Run(Steps steps, const WindowRuleText& start = {}) {
    ModalScript script(std::move(steps), std::chrono::seconds(40));
    std::optional<WindowRuleText> rule = RunWindowRuleDialog(application, desktop, start);
    EXPECT_TRUE(script.Finished()) << script.Failure();
    EXPECT_EQ(Dialog(), nullptr) << "the dialog was freed";
    return rule;
  }

  // The visible top-level windows now, as the dialog counts them.
  std::size_t OpenWindows() {
    std::size_t open = 0;
    for (const WindowHandle window : desktop.TopLevelWindows()) open += desktop.IsVisible(window) ? 1 : 0;
    return open;
  }

  win32::Win32Desktop desktop;
  widgets::TApplication application;
};

}  // namespace

TEST_F(FormWindowRuleWin32, TheLineFollowsTheTypedMasksAndTheFinderFillsTheFieldsFromTheWindowUnderIt) {
  ChildProcess helper = OpenHelperWindows({"NagClass|Buy now [trial]|300|200|v", "Button|&Later|75|25|v|0",
                                           "Button|&Register|75|25|v|0", "OtherClass|Other|300|200|v"});
  const HWND nag = FindWindowOf(helper.Id(), "Buy now [trial]");
  ASSERT_NE(nag, nullptr);
  // The other window lies over the middle of the first: moved aside, the finder meets the first.
  const HWND other = FindWindowOf(helper.Id(), "Other");
  ::SetWindowPos(other, nullptr, 700, 600, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_TRUE(PumpUntil([&] {
    RECT r{};
    ::GetWindowRect(other, &r);
    return r.left == 700;
  }));
  std::size_t open = 0;
  Steps steps = {Shown(), Do([&] { open = OpenWindows(); }),
                 Do([&] {
                   EXPECT_EQ(TextOf(Dialog()->FitLabel.Handle()), "Give a program, a class or a title");
                   EXPECT_FALSE(Dialog()->OkButton.Enabled());
                   EXPECT_FALSE(Dialog()->ButtonBox.Enabled()) << "only a press rule names a button";
                 }),
                 Type([](TfoWindowRule& f) -> widgets::TEdit& { return f.ClassEdit; }, "NagClass"),
                 Do([&] {
                   EXPECT_EQ(TextOf(Dialog()->FitLabel.Handle()), "Fits 1 of " + std::to_string(open) + " open windows");
                   EXPECT_FALSE(Dialog()->FitLabel.Warning());
                   EXPECT_EQ(Dialog()->FitList.Items().Count(), 1u);
                   EXPECT_TRUE(Dialog()->OkButton.Enabled());
                 }),
                 Type([](TfoWindowRule& f) -> widgets::TEdit& { return f.TitleEdit; }, "Buy [now"), Line("Title: not a valid mask at character 9", true),
                 Do([&] { EXPECT_FALSE(Dialog()->OkButton.Enabled()); }),
                 Type([](TfoWindowRule& f) -> widgets::TEdit& { return f.TitleEdit; }, ""), Type([](TfoWindowRule& f) -> widgets::TEdit& { return f.ClassEdit; }, "*"),
                 Line("This rule fits every open window", true),
                 Type([](TfoWindowRule& f) -> widgets::TEdit& { return f.ClassEdit; }, ""),
                 Type([](TfoWindowRule& f) -> widgets::TEdit& { return f.TitleEdit; }, "Window Rule"), Line("This rule fits a window of Zorvex itself", true)};
  for (ModalScript::Step& step : Drag([nag] { return nag; })) steps.push_back(std::move(step));
  steps.push_back(Do([&] {
    TfoWindowRule& form = *Dialog();
    EXPECT_EQ(form.ProgramEdit.Text(), "popup_windows.exe");
    EXPECT_EQ(form.ClassEdit.Text(), "NagClass");
    EXPECT_EQ(form.TitleEdit.Text(), "Buy now [[]trial[]]");
    std::vector<std::string> buttons;
    for (std::size_t i = 0; i < form.ButtonBox.Items().Count(); ++i) buttons.push_back(form.ButtonBox.Items().Get(i));
    EXPECT_EQ(buttons, (std::vector<std::string>{"Later", "Register"}));
    EXPECT_EQ(TextOf(form.FitLabel.Handle()), "Fits 1 of " + std::to_string(open) + " open windows");
    Choose(form.ActionBox, 2);
    EXPECT_TRUE(form.ButtonBox.Enabled());
    Choose(form.ButtonBox, 0);
  }));
  // Dropped on the dialog itself, the finder takes nothing.
  for (ModalScript::Step& step : Drag([this] { return Dialog()->FitList.Handle(); })) steps.push_back(std::move(step));
  steps.push_back(Do([&] {
    EXPECT_EQ(Dialog()->ClassEdit.Text(), "NagClass");
    Dialog()->OkButton.Click();
  }));
  const std::optional<WindowRuleText> rule = Run(std::move(steps));
  ASSERT_TRUE(rule);
  EXPECT_TRUE(*rule == (WindowRuleText{"popup_windows.exe", "NagClass", "Buy now [[]trial[]]", "press", "Later"}))
      << rule->program << "|" << rule->className << "|" << rule->title << "|" << rule->action << "|" << rule->button;
}

TEST_F(FormWindowRuleWin32, PickListsTheOpenWindowsButNotThisProgramsAndTheChosenOneFillsTheFields) {
  ChildProcess helper = OpenHelperWindows({"PickedClass|Pick me [1]|300|200|v"});
  auto pick = [this] { return dynamic_cast<TfoPickWindow*>(application.FindComponent("foPickWindow")); };
  const std::optional<WindowRuleText> rule = Run(
      {Shown(), Do([this] { ::PostMessageW(Dialog()->PickButton.Handle(), BM_CLICK, 0, 0); }),
       [&] { return pick() != nullptr && ::IsWindowVisible(pick()->Handle()); },
       Do([&] {
         widgets::TListView& list = pick()->Windows;
         int row = -1;
         for (std::size_t i = 0; i < list.Items().Count(); ++i) {
           EXPECT_NE(list.Items().SubItem(i, 1), "Window Rule") << "this program's windows are not offered";
           if (list.Items().SubItem(i, 0) == "PickedClass") row = static_cast<int>(i);
         }
         ASSERT_GE(row, 0);
         EXPECT_EQ(list.Items().Caption(static_cast<std::size_t>(row)), "popup_windows.exe");
         list.SetSelected(static_cast<std::size_t>(row), true);
         ::PostMessageW(pick()->OkButton.Handle(), BM_CLICK, 0, 0);
       }),
       [&] { return pick() == nullptr; },
       Do([this] {
         EXPECT_EQ(Dialog()->ClassEdit.Text(), "PickedClass");
         EXPECT_EQ(Dialog()->TitleEdit.Text(), "Pick me [[]1[]]");
         EXPECT_EQ(Dialog()->ProgramEdit.Text(), "popup_windows.exe");
         ::PostMessageW(Dialog()->CancelButton.Handle(), BM_CLICK, 0, 0);
       })});
  EXPECT_FALSE(rule) << "Cancel hands back nothing";
}
