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

WindowHandle Handle(HWND window) { return win32::FromHwnd(window); }

// The dialog's push button with this caption, as the seam lists it; none when it is not listed.
std::optional<PushButton> ButtonOf(win32::Win32Desktop& desktop, HWND dialog, const std::string& caption) {
  for (const PushButton& button : desktop.PushButtons(Handle(dialog))) {
    if (button.caption == caption) return button;
  }
  return std::nullopt;
}

}  // namespace

TEST(DesktopButtons, ADialogsPushButtonsAreListedAndPressedBehindAnotherWindowOnceEnabled) {
  win32::Win32Desktop desktop;
  NagWindows nag = StartNagWindows({"dialog|Trial licence", "plain|Plain|NagPlain"}, "--delay=2000");
  const HWND dialog = nag.Window("Trial licence");
  ASSERT_NE(dialog, nullptr);
  // In order; the check box is a button too, but no push button. Continue is enabled after a delay.
  std::vector<std::string> seen;
  for (const PushButton& b : desktop.PushButtons(Handle(dialog))) {
    seen.push_back(b.caption + (b.visible ? "" : " hidden") + (b.enabled || b.caption == "Continue" ? "" : " disabled"));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"&Close", "Buy &now", "Continue", "Hidden hidden"}));
  EXPECT_TRUE(desktop.PushButtons(Handle(nag.Window("Plain"))).empty());

  // The test's own window in front: a press must neither need nor take the foreground.
  win32::UniqueWindow front(::CreateWindowExW(0, L"STATIC", L"In front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                                              nullptr, nullptr, nullptr, nullptr));
  ::SetForegroundWindow(front.get());
  ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == front.get(); }, 30s));
  std::optional<PushButton> cont = ButtonOf(desktop, dialog, "Continue");
  ASSERT_TRUE(cont);
  // The helper tells before it enables the button: no line yet means it was read disabled.
  if (!nag.Logged("enabled Continue in Trial licence")) {
    EXPECT_FALSE(desktop.Press(cont->handle));
  }
  EXPECT_TRUE(desktop.Press(ButtonOf(desktop, dialog, "Buy &now")->handle));
  EXPECT_TRUE(PumpUntil([&] { return nag.Logged("pressed Buy now in Trial licence"); }, 30s));
  ASSERT_TRUE(PumpUntil([&] { return (cont = ButtonOf(desktop, dialog, "Continue")) && cont->enabled; }, 60s));
  EXPECT_TRUE(desktop.Press(cont->handle));
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(dialog); }, 30s));
  EXPECT_EQ(nag.Count("pressed Continue in Trial licence"), 1u) << "a refused press never arrives";
  EXPECT_EQ(::GetForegroundWindow(), front.get()) << "a press brought the dialog to the front";
  EXPECT_FALSE(desktop.Press(cont->handle)) << "a button that is gone";
  EXPECT_TRUE(desktop.PushButtons(Handle(dialog)).empty());
}

TEST(DesktopButtons, MinimiseAndTheProcessFactsOfAnotherProgramAndOfThisOne) {
  win32::Win32Desktop desktop;
  NagWindows first = StartNagWindows({"stubborn|Stubborn", "plain|Plain|NagPlain"});
  NagWindows second = StartNagWindows({"plain|Second"});
  for (const char* title : {"Stubborn", "Plain"}) {
    const HWND window = first.Window(title);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(desktop.Minimise(Handle(window)));
    EXPECT_TRUE(PumpUntil([&] { return desktop.IsMinimised(Handle(window)) && first.Logged(std::string("minimized ") + title); }, 30s))
        << title;
  }
  ASSERT_NE(second.Window("Second"), nullptr);
  const std::uint64_t started = desktop.ProcessStartTime(first.process.Id());
  EXPECT_NE(started, 0u);
  EXPECT_EQ(desktop.ProcessStartTime(first.process.Id()), started) << "read twice, it must not change";
  EXPECT_NE(desktop.ProcessStartTime(second.process.Id()), started) << "two processes, one start";
  EXPECT_EQ(desktop.OwnProcessId(), ::GetCurrentProcessId());
  // Same user, same rights: nothing is higher, a gone window neither.
  const HWND plain = first.Window("Plain");
  EXPECT_FALSE(desktop.HigherRights(Handle(plain)));
  ::SendMessageW(plain, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(plain); }, 30s));
  EXPECT_FALSE(desktop.Minimise(Handle(plain)));
  EXPECT_FALSE(desktop.HigherRights(Handle(plain)));
}
