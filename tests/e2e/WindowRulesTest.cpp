// Window rules in zorvex.exe: another program's windows closed, minimised, pressed or watched as
// the rules say, the windows they do not name left alone, and one that will not close survived.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "E2eSupport.h"


#include "platform/win32/WideText.h"

using namespace zorvex::testing;
using namespace std::chrono_literals;

namespace {

const char* const kOptions =
    "<Options><StartWindows>0</StartWindows><AutoDetect>1</AutoDetect><UseLog>1</UseLog><Agressive>0</Agressive>"
    "<PlaySound>0</PlaySound></Options>";

// The title rule of the pass markers below.
const char* const kMarkerRule = "<Rule>*pass marker*</Rule>";

std::string RulesXml(const std::vector<std::string>& rules) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Rules>\r\n";
  for (const std::string& rule : rules) xml += " " + rule + "\r\n";
  return xml + "</Rules>\r\n";
}

std::size_t Occurrences(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

// Log lines that name the window: "What: TITLE (rule)" and "Button Pressed: CAPTION in TITLE (rule)".
std::size_t LinesNaming(const std::string& log, const std::string& title) {
  return Occurrences(log, ": " + title + " (") + Occurrences(log, " in " + title + " (");
}

bool LogHas(const RunningZorvex& zorvex, const std::string& line) {
  return zorvex.ReadFile("zorvex.log").find("] " + line + "\r\n") != std::string::npos;
}

// A browser window of this process that gets a title fitting kMarkerRule only after it was made,
// so that only a whole pass of the scanner finds it: once it is gone, a whole pass has looked at
// every window since this call began. That shows an act not done twice, without a fixed sleep.
bool AWholePassGoesBy() {
  static int serial = 0;
  WNDCLASSA wc{};
  wc.lpfnWndProc = ::DefWindowProcA;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "IEFrame";
  ::RegisterClassA(&wc);
  zorvex::win32::UniqueWindow marker(::CreateWindowExA(0, "IEFrame", "Loading...", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                       60, 60, 900, 700, nullptr, nullptr, wc.hInstance, nullptr));
  if (!marker) return false;
  ::SetWindowTextA(marker.get(), ("Pass marker " + std::to_string(++serial)).c_str());
  if (!PumpUntil([&] { return !::IsWindow(marker.get()); }, 60s)) return false;
  marker.release();
  return true;
}

}  // namespace

TEST(WindowRules, EachActionDoesWhatItsRuleSaysToTheWindowsItNamesAndNoOthers) {
  RunningZorvex zorvex;
  // The first fitting rule wins: the leave rule shields a window the close rule would take.
  zorvex.WriteFile("rules.xml", RulesXml({
      R"(<WindowRule program="nag_windows.exe" title="*kept*" action="leave"/>)",
      R"(<WindowRule program="nag_windows.exe" class="#32770" title="*licen?e*" action="press" button="Continue"/>)",
      R"(<WindowRule program="nag_windows.exe" class="NagPlain" title="Close *" action="close"/>)",
      R"(<WindowRule program="nag_windows.exe" class="NagPlain" title="Minimise me" action="minimize"/>)",
      R"(<WindowRule program="nag_windows.exe" title="Watch me" action="watch"/>)",
      kMarkerRule,
  }));
  zorvex.WriteFile("options.xml", kOptions);

  struct Case {
    const char* window;      // nag_windows' WINDOW
    const char* title;
    const char* helperLine;  // what the helper tells once the rule has acted; none: nothing happens
    const char* logLine;     // the program's log line about it; none: no line names it
    bool stays;
  };
  const std::vector<Case> cases = {
      {"dialog|Trial licence", "Trial licence", "pressed Continue in Trial licence",
       R"(Button Pressed: Continue in Trial licence )"
       R"((program "nag_windows.exe", class "#32770", title "*licen?e*", press "Continue"))",
       false},
      {"plain|Close me|NagPlain", "Close me", "closed Close me",
       R"(Window Closed: Close me (program "nag_windows.exe", class "NagPlain", title "Close *", close))", false},
      {"plain|Minimise me|NagPlain", "Minimise me", "minimized Minimise me",
       R"(Window Minimized: Minimise me (program "nag_windows.exe", class "NagPlain", title "Minimise me", minimize))",
       true},
      {"plain|Watch me|NagPlain", "Watch me", nullptr,
       R"(Window Seen: Watch me (program "nag_windows.exe", title "Watch me", watch))", true},
      {"plain|Close me, kept|NagPlain", "Close me, kept", nullptr, nullptr, true},
      {"plain|Close me, other class|NagOther", "Close me, other class", nullptr, nullptr, true},
      // In front all along: the dialog is pressed behind it.
      {"plain|In front|NagFront", "In front", nullptr, nullptr, true},
  };
  std::vector<std::string> windows;
  for (const Case& c : cases) windows.push_back(c.window);
  NagWindows nag = StartNagWindows(windows, "\"--front=In front\"");
  std::vector<HWND> handles;
  for (const Case& c : cases) {
    handles.push_back(nag.Window(c.title));
    ASSERT_NE(handles.back(), nullptr) << c.title;
  }
  // A window that fits the close rule but for its program.
  ChildProcess other = OpenHelperWindows({"NagPlain|Close me, other program|400|300|v"}, "--seconds=600");
  const HWND otherWindow = FindWindowOf(other.Id(), "Close me, other program");
  ASSERT_NE(otherWindow, nullptr);

  ASSERT_TRUE(zorvex.Start());
  // One bound for all, so that a program that does nothing fails in minutes, not one wait each.
  const bool allDone = PumpUntil([&] {
    for (const Case& c : cases) {
      if (c.helperLine != nullptr && !nag.Logged(c.helperLine)) return false;
      if (c.logLine != nullptr && !LogHas(zorvex, c.logLine)) return false;
    }
    return true;
  }, 90s);
  EXPECT_TRUE(allDone) << "zorvex.log:\n" << zorvex.ReadFile("zorvex.log");
  // Two more passes: each act stays done once.
  ASSERT_TRUE(AWholePassGoesBy());
  ASSERT_TRUE(AWholePassGoesBy());

  const std::string log = zorvex.ReadFile("zorvex.log");
  const std::vector<std::string> told = nag.Lines();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.title);
    EXPECT_EQ(::IsWindow(handles[i]) != FALSE, c.stays);
    if (c.logLine != nullptr) {
      EXPECT_NE(log.find("] " + std::string(c.logLine) + "\r\n"), std::string::npos) << c.logLine;
    }
    EXPECT_EQ(LinesNaming(log, c.title), c.logLine != nullptr ? 1u : 0u) << log;
    if (c.helperLine != nullptr) {
      EXPECT_EQ(nag.Count(c.helperLine), 1u);
    } else {
      for (const std::string& line : told) {
        EXPECT_EQ(line.find(c.title), std::string::npos) << "the helper told: " << line;
      }
    }
  }
  EXPECT_TRUE(::IsIconic(nag.Window("Minimise me")));
  EXPECT_FALSE(::IsIconic(nag.Window("Watch me")));
  EXPECT_TRUE(::IsWindow(otherWindow));
  EXPECT_EQ(LinesNaming(log, "Close me, other program"), 0u) << log;

  // The press waited for its button: enabled first, then pressed, and no other button pressed.
  const auto at = [&](const std::string& line) { return std::find(told.begin(), told.end(), line) - told.begin(); };
  EXPECT_LT(at("enabled Continue in Trial licence"), at("pressed Continue in Trial licence"));
  EXPECT_EQ(nag.Count("pressed Close in Trial licence"), 0u);
  EXPECT_EQ(nag.Count("pressed Buy now in Trial licence"), 0u);

  EXPECT_TRUE(zorvex.Running());
  ASSERT_TRUE(zorvex.Close());
}

TEST(WindowRules, AWindowThatIgnoresTheCloseCommandStaysOpenAndTheProgramGoesOn) {
  RunningZorvex zorvex;
  zorvex.WriteFile("rules.xml", RulesXml({
      R"(<WindowRule program="nag_windows.exe" class="NagStubborn" action="close"/>)",
      R"(<WindowRule program="nag_windows.exe" class="NagPlain" title="Close me*" action="close"/>)",
      kMarkerRule,
  }));
  zorvex.WriteFile("options.xml", kOptions);
  ASSERT_TRUE(zorvex.Start());

  // Made while the program runs, as most nags are.
  NagWindows stubborn = StartNagWindows({"stubborn|Stubborn nag"});
  const HWND window = stubborn.Window("Stubborn nag");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return stubborn.Logged("ignored close of Stubborn nag"); }, 60s));
  ASSERT_TRUE(AWholePassGoesBy());
  ASSERT_TRUE(AWholePassGoesBy());
  EXPECT_TRUE(::IsWindow(window));
  EXPECT_TRUE(::IsWindowVisible(window));
  ASSERT_TRUE(zorvex.Running());

  // Windows that come later are still taken; announced as it is made, this one may be gone before
  // the helper says it is ready.
  NagWindows later = StartNagWindows({"plain|Close me later|NagPlain"});
  EXPECT_TRUE(PumpUntil([&] { return later.Logged("closed Close me later"); }, 60s));
  const char* const closed =
      R"(Window Closed: Close me later (program "nag_windows.exe", class "NagPlain", title "Close me*", close))";
  EXPECT_TRUE(PumpUntil([&] { return LogHas(zorvex, closed); }, 60s)) << zorvex.ReadFile("zorvex.log");
  EXPECT_TRUE(::IsWindow(window));

  // However often it is tried, it is told once, as left open: a line per pass would flood the log.
  const char* const stayed = R"(Window Left Open: Stubborn nag (program "nag_windows.exe", class "NagStubborn", close), )"
                             "it stayed open after the close command";
  EXPECT_TRUE(PumpUntil([&] { return LogHas(zorvex, stayed); }, 60s)) << zorvex.ReadFile("zorvex.log");
  const std::string log = zorvex.ReadFile("zorvex.log");
  EXPECT_EQ(LinesNaming(log, "Stubborn nag"), 1u) << log;
  EXPECT_TRUE(zorvex.Running());
  ASSERT_TRUE(zorvex.Close()) << "the window that stays must not hold up the end";
  EXPECT_TRUE(::IsWindow(window));
}

namespace {

// The children of a window of a class, in the order they were made (which is the dialog's).
std::vector<HWND> Children(HWND parent, const char* className) {
  std::vector<HWND> found;
  for (HWND w = ::GetWindow(parent, GW_CHILD); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
    char cls[64] = {};
    ::GetClassNameA(w, cls, sizeof cls);
    if (::lstrcmpiA(cls, className) == 0) found.push_back(w);
  }
  return found;
}

// A control's text as it shows now: another program's window title alone is not kept up to date.
std::string ControlText(HWND control) {
  wchar_t text[1024] = {};
  DWORD_PTR length = 0;
  ::SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000, &length);
  return zorvex::win32::Narrow(text, length);
}

POINT Middle(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void MouseButton(DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  ::SendInput(1, &input, sizeof input);
}

// Moves the pointer to p and waits until it is there.
bool MoveMouse(POINT p) {
  return PumpUntil([&] {
    POINT now{};
    if (::GetCursorPos(&now) && now.x == p.x && now.y == p.y) return true;
    ::SetCursorPos(p.x, p.y);
    return false;
  }, 10s);
}

// The window that holds the mouse of the thread that made window.
HWND CaptureOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndCapture : nullptr;
}

// Clicks window at p and waits for done; a click that changed nothing is made again. Unlike
// ClickUntil, each click is given seconds to show: a second click too soon would close the list
// the first one opened.
bool ClickAndWait(HWND window, POINT p, const std::function<bool()>& done) {
  return PumpUntil([&] {
    if (done()) return true;
    if (!MoveMouse(p) || ::WindowFromPoint(p) != window) return false;
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    MouseButton(MOUSEEVENTF_LEFTUP);
    return PumpUntil(done, 5s);
  }, 30s);
}

// Drops down a combo box with the mouse and clicks the entry with this text. The dialog stays on
// top, and Wine may raise it when it is activated late, over a list that has just dropped: then
// the arrow closes the list and opens it again, as a user who saw no list would.
bool ChooseWithMouse(HWND box, const std::string& entry) {
  const LRESULT index = ::SendMessageA(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry.c_str()));
  if (index < 0) return false;
  DWORD process = 0;
  ::GetWindowThreadProcessId(box, &process);
  HWND list = nullptr;  // the list last seen dropped
  const auto dropped = [&] {
    for (HWND w : TopLevelWindowsOf(process)) {
      char cls[32] = {};
      ::GetClassNameA(w, cls, sizeof cls);
      if (::lstrcmpiA(cls, "ComboLBox") == 0 && ::IsWindowVisible(w)) {
        list = w;
        return true;
      }
    }
    return false;
  };
  const auto chosen = [&] {
    return list != nullptr && !::IsWindowVisible(list) && ::SendMessageA(box, CB_GETCURSEL, 0, 0) == index;
  };
  // A box with an edit field of its own drops down from its arrow, at the right end.
  RECT r{};
  ::GetWindowRect(box, &r);
  const POINT arrow{r.right - 6, (r.top + r.bottom) / 2};
  return PumpUntil([&] {
    if (chosen()) return true;
    // Dropped, and the press on the arrow let go: a release still to come would pick the entry
    // under the pointer by itself.
    if (!ClickAndWait(box, arrow, [&] { return dropped() && CaptureOf(box) != box; })) return false;
    RECT item{};
    ::SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    POINT p{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ::ClientToScreen(list, &p);
    if (MoveMouse(p) && PumpUntil([&] { return ::WindowFromPoint(p) == list; }, 2s)) {
      MouseButton(MOUSEEVENTF_LEFTDOWN);
      MouseButton(MOUSEEVENTF_LEFTUP);
      return PumpUntil(chosen, 5s);
    }
    ClickAndWait(box, arrow, [&] { return !::IsWindowVisible(list); });
    return false;
  }, 90s);
}

}  // namespace

// What a user who has never seen rules.xml does: the tray menu's "Add Window Rule...", the
// crosshair dragged onto the nag, "Press a button" and its "Close" chosen, Ok; then the nag goes.
TEST(WindowRules, TheFinderDraggedOntoANagMakesAPressRuleThatTakesIt) {
  RunningZorvex zorvex;
  zorvex.WriteFile("options.xml", kOptions);
  NagWindows nag = StartNagWindows({"dialog|Please purchase a license"}, "--delay=0");
  const HWND target = nag.Window("Please purchase a license");
  ASSERT_NE(target, nullptr);
  ASSERT_TRUE(zorvex.Start());

  OpenTrayMenu(zorvex);
  PressKeys({VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});  // "Add &Window Rule..."
  const HWND dialog = WaitForDialog(zorvex.Id(), "Window Rule");
  ASSERT_NE(dialog, nullptr) << "the window-rule dialog did not open";
  // The finder is the picture among the dialog's static controls that takes the mouse.
  HWND finder = nullptr;
  for (HWND s : Children(dialog, "Static")) {
    const LONG style = ::GetWindowLongA(s, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_OWNERDRAW && (style & SS_NOTIFY) != 0) finder = s;
  }
  ASSERT_NE(finder, nullptr);
  const std::vector<HWND> edits = Children(dialog, "Edit"), boxes = Children(dialog, "ComboBox");
  ASSERT_GE(edits.size(), 3u);
  ASSERT_EQ(boxes.size(), 2u);

  // The drag: pressed on the crosshair, carried over the nag with the mouse, let go there.
  // A press that went astray on a busy machine is let go and made again.
  ASSERT_TRUE(PumpUntil([&] {
    if (!MoveMouse(Middle(finder)) || ::WindowFromPoint(Middle(finder)) != finder) return false;
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    if (PumpUntil([&] { return CaptureOf(finder) == finder; }, 2s)) return true;
    MouseButton(MOUSEEVENTF_LEFTUP);
    return false;
  }, 30s)) << "the press did not start a drag";
  ASSERT_TRUE(MoveMouse(Middle(target)));
  MouseButton(MOUSEEVENTF_LEFTUP);
  ASSERT_TRUE(PumpUntil([&] { return ControlText(edits[0]) == "nag_windows.exe"; }, 10s)) << "program: " << ControlText(edits[0]);
  EXPECT_EQ(ControlText(edits[1]), "#32770");
  EXPECT_EQ(ControlText(edits[2]), "Please purchase a license");

  ASSERT_TRUE(ChooseWithMouse(boxes[0], "Press a button"));
  ASSERT_TRUE(ChooseWithMouse(boxes[1], "Close"));
  // The fit line counts the nag alone among the open windows.
  std::string line;
  for (HWND s : Children(dialog, "Static")) {
    if (ControlText(s).rfind("Fits ", 0) == 0) line = ControlText(s);
  }
  EXPECT_EQ(line.rfind("Fits 1 of ", 0), 0u) << line;

  const HWND ok = Child(dialog, "Button", "&Ok");
  ASSERT_NE(ok, nullptr);
  int clicks = 0;
  ASSERT_TRUE(ClickUntil(ok, Middle(ok), [&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }, clicks));
  EXPECT_TRUE(PumpUntil([&] {
    return zorvex.ReadFile("rules.xml").find(R"(<WindowRule program="nag_windows.exe" class="#32770" )"
                                             R"(title="Please purchase a license" action="press" button="Close")") !=
           std::string::npos;
  }, 10s)) << zorvex.ReadFile("rules.xml");
  EXPECT_TRUE(PumpUntil([&] { return nag.Logged("pressed Close in Please purchase a license"); }, 60s));
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(target); }, 30s));
  ASSERT_TRUE(zorvex.Close());
}
