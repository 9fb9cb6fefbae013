// The desktop seam's calls for window rules, against another process's real windows: its push
// buttons, a press while the dialog is behind another window, a minimise, the process's facts.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "Win32TestSupport.h"
#include "platform/win32/Win32Desktop.h"

using namespace zorvex;
using namespace zorvex::testing;
using namespace std::chrono_literals;

namespace {

const char* const kDialog = "Trial licence";

WindowHandle Handle(HWND window) { return win32::FromHwnd(window); }

// The dialog's push button with this caption, as the seam lists it; none when it is not listed.
std::optional<PushButton> ButtonOf(win32::Win32Desktop& desktop, HWND dialog, const std::string& caption) {
  for (const PushButton& button : desktop.PushButtons(Handle(dialog))) {
    if (button.caption == caption) return button;
  }
  return std::nullopt;
}

// A window of this process, put in front of the helper's.
class FrontWindow {
 public:
  FrontWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZorvexFrontWindow";
    ::RegisterClassW(&wc);
    window_.reset(::CreateWindowExW(0, wc.lpszClassName, L"In front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500,
                                    400, nullptr, nullptr, wc.hInstance, nullptr));
    ::SetForegroundWindow(window_.get());
  }
  HWND get() const { return window_.get(); }

 private:
  win32::UniqueWindow window_;
};

}  // namespace

TEST(DesktopButtons, ListsTheDialogsPushButtonsWithTheirCaptionsAndStatesInOrder) {
  win32::Win32Desktop desktop;
  NagWindows nag = StartNagWindows({std::string("dialog|") + kDialog}, "--delay=600000");
  const HWND dialog = nag.Window(kDialog);
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(desktop.ClassName(Handle(dialog)), "#32770");

  struct Expected {
    const char* caption;
    bool visible;
    bool enabled;
  };
  // The check box is a button too, but no push button.
  const std::vector<Expected> expected = {
      {"&Close", true, true},
      {"Buy &now", true, true},
      {"Continue", true, false},
      {"Hidden", false, true},
  };
  const std::vector<PushButton> buttons = desktop.PushButtons(Handle(dialog));
  ASSERT_EQ(buttons.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].caption);
    EXPECT_EQ(buttons[i].caption, expected[i].caption);
    EXPECT_EQ(buttons[i].visible, expected[i].visible);
    EXPECT_EQ(buttons[i].enabled, expected[i].enabled);
    EXPECT_EQ(::GetParent(win32::ToHwnd(buttons[i].handle)), dialog);
  }

  // A plain window holds none; a gone one neither.
  NagWindows plain = StartNagWindows({"plain|No buttons"});
  ASSERT_NE(plain.Window("No buttons"), nullptr);
  EXPECT_TRUE(desktop.PushButtons(Handle(plain.Window("No buttons"))).empty());
  ::SendMessageW(dialog, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(dialog); }, 30s));
  EXPECT_TRUE(desktop.PushButtons(Handle(dialog)).empty());
}

TEST(DesktopButtons, PressReachesADialogBehindAnotherWindowAndRefusesADisabledButton) {
  win32::Win32Desktop desktop;
  // Continue stays disabled for as long as the test runs.
  NagWindows nag = StartNagWindows({std::string("dialog|") + kDialog}, "--delay=600000");
  const HWND dialog = nag.Window(kDialog);
  ASSERT_NE(dialog, nullptr);
  FrontWindow front;
  ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == front.get(); }, 30s));
  ASSERT_NE(desktop.ForegroundWindow(), Handle(dialog));

  struct Case {
    const char* caption;
    bool pressed;           // what Press answers
    const char* logged;     // the helper's line, once the press has arrived
    bool dialogStays;
  };
  // In this order: each press's line, waited for, shows that the refused press before it never
  // arrived, posted messages arriving in the order sent. Close ends the dialog, so it comes last.
  const std::vector<Case> cases = {
      {"Continue", false, nullptr, true},
      {"Buy &now", true, "pressed Buy now in Trial licence", true},
      {"Hidden", true, "pressed Hidden in Trial licence", true},
      {"&Close", true, "pressed Close in Trial licence", false},
  };
  WindowHandle last = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    const std::optional<PushButton> button = ButtonOf(desktop, dialog, c.caption);
    ASSERT_TRUE(button.has_value());
    last = button->handle;
    EXPECT_EQ(desktop.Press(button->handle), c.pressed);
    if (c.logged != nullptr) {
      EXPECT_TRUE(PumpUntil([&] { return nag.Logged(c.logged); }, 30s)) << c.logged;
    }
    if (c.dialogStays) {
      EXPECT_TRUE(::IsWindow(dialog));
    } else {
      EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(dialog); }, 30s));
    }
  }
  EXPECT_TRUE(PumpUntil([&] { return nag.Logged("closed Trial licence"); }, 30s));
  EXPECT_EQ(nag.Count("pressed Continue in Trial licence"), 0u);
  EXPECT_EQ(nag.Count("pressed Buy now in Trial licence"), 1u);
  EXPECT_EQ(::GetForegroundWindow(), front.get()) << "a press brought the dialog to the front";
  // A button that is gone is pressed no more.
  EXPECT_FALSE(desktop.Press(last));
}

TEST(DesktopButtons, TheDelayedButtonIsListedDisabledThenEnabledAndCanBePressedThen) {
  win32::Win32Desktop desktop;
  NagWindows nag = StartNagWindows({std::string("dialog|") + kDialog}, "--delay=2000");
  const HWND dialog = nag.Window(kDialog);
  ASSERT_NE(dialog, nullptr);
  std::optional<PushButton> button = ButtonOf(desktop, dialog, "Continue");
  ASSERT_TRUE(button.has_value());
  // Read before the helper's two seconds are up, unless this machine is very slow: the helper
  // tells before it enables the button, so no line yet means it was read disabled.
  if (!nag.Logged("enabled Continue in Trial licence")) {
    EXPECT_FALSE(button->enabled);
  }
  ASSERT_TRUE(PumpUntil([&] {
    button = ButtonOf(desktop, dialog, "Continue");
    return button && button->enabled;
  }, 60s));
  EXPECT_TRUE(nag.Logged("enabled Continue in Trial licence"));
  ASSERT_TRUE(desktop.Press(button->handle));
  ASSERT_TRUE(PumpUntil([&] { return nag.Logged("closed Trial licence"); }, 30s));
  EXPECT_EQ(nag.Lines(), (std::vector<std::string>{"enabled Continue in Trial licence",
                                                    "pressed Continue in Trial licence", "closed Trial licence"}));
}

TEST(DesktopButtons, MinimiseMinimisesEveryKindOfWindowButNotAGoneOne) {
  win32::Win32Desktop desktop;
  NagWindows nag = StartNagWindows({"dialog|A dialog", "plain|A plain window|NagPlain", "stubborn|A stubborn window"},
                                   "--delay=600000");
  for (const char* title : {"A dialog", "A plain window", "A stubborn window"}) {
    SCOPED_TRACE(title);
    const HWND window = nag.Window(title);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(desktop.IsMinimised(Handle(window)));
    EXPECT_TRUE(desktop.Minimise(Handle(window)));
    EXPECT_TRUE(PumpUntil([&] { return desktop.IsMinimised(Handle(window)); }, 30s));
    const std::string line = std::string("minimized ") + title;
    EXPECT_TRUE(PumpUntil([&] { return nag.Logged(line); }, 30s)) << line;
    EXPECT_TRUE(::IsWindow(window));
  }
  const HWND plain = nag.Window("A plain window");
  ::SendMessageW(plain, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(plain); }, 30s));
  EXPECT_FALSE(desktop.Minimise(Handle(plain)));
}

TEST(DesktopButtons, TheProcessFactsOfAnotherProgramAndOfThisOne) {
  win32::Win32Desktop desktop;
  NagWindows first = StartNagWindows({"plain|First helper"});
  NagWindows second = StartNagWindows({"plain|Second helper"});
  const HWND window = first.Window("First helper");
  ASSERT_NE(window, nullptr);
  ASSERT_NE(second.Window("Second helper"), nullptr);

  const std::uint64_t started = desktop.ProcessStartTime(first.process.Id());
  EXPECT_NE(started, 0u);
  EXPECT_EQ(desktop.ProcessStartTime(first.process.Id()), started) << "read twice, it must not change";
  EXPECT_NE(desktop.ProcessStartTime(second.process.Id()), 0u);
  EXPECT_NE(desktop.ProcessStartTime(second.process.Id()), started) << "two processes, one start";
  EXPECT_NE(desktop.ProcessStartTime(desktop.OwnProcessId()), 0u);

  EXPECT_EQ(desktop.OwnProcessId(), ::GetCurrentProcessId());
  EXPECT_EQ(desktop.ProcessId(Handle(window)), first.process.Id());
  EXPECT_NE(desktop.OwnProcessId(), first.process.Id());

  // Same user, same rights: nothing is higher, a gone window neither.
  FrontWindow own;
  EXPECT_FALSE(desktop.HigherRights(Handle(window)));
  EXPECT_FALSE(desktop.HigherRights(Handle(own.get())));
  ::SendMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(first.process.WaitForExit(30000)) << "the helper ends once its windows are gone";
  EXPECT_FALSE(desktop.HigherRights(Handle(window)));
}
