#include <gtest/gtest.h>

#include "popups/WindowRuleFit.h"

using namespace zorvex;

namespace {

constexpr std::uint32_t kOwn = 9;

WindowFacts Window(const char* program, const char* cls, const char* title, std::uint32_t process = 1) {
  KnownWindow known;
  known.program = ProgramFile{std::string("C:\\Apps\\") + program, program};
  known.className = cls;
  known.title = title;
  known.processId = process;
  return WindowFacts(known);
}

}  // namespace

TEST(WindowRuleFit, TheLineCountsTheFitsAndWarnsWhereTheRuleWouldSurprise) {
  std::vector<WindowFacts> open;
  open.push_back(Window("nagger.exe", "#32770", "Buy now [trial]"));
  open.push_back(Window("chrome.exe", "Chrome_WidgetWin_1", "News - Chrome"));
  open.push_back(Window("explorer.exe", "Shell_TrayWnd", ""));
  open.push_back(Window("zorvex.exe", "TfoOptions", "Options", kOwn));
  open.push_back(Window("code.exe", "Chrome_WidgetWin_1", "Editor"));
  struct Case {
    WindowRuleText rule;
    WindowRuleWarning warning;
    std::string fits;  // one mark per window
    std::size_t faultAt;
  };
  const Case cases[] = {
      {{"nagger.exe", "#32770", "Buy now [[]trial[]]", "press", "OK"}, WindowRuleWarning::None, "x....", 0},
      {{"", "", "*now*", "close", ""}, WindowRuleWarning::None, "x....", 0},
      {{"", "", "nothing", "close", ""}, WindowRuleWarning::None, ".....", 0},
      {{"", "Chrome_WidgetWin_1", "", "close", ""}, WindowRuleWarning::FrontTab, ".x..x", 0},
      {{"", "Chrome_WidgetWin_1", "", "minimize", ""}, WindowRuleWarning::None, ".x..x", 0},
      {{"code.exe", "", "", "close", ""}, WindowRuleWarning::None, "....x", 0},
      {{"explorer.exe", "", "", "close", ""}, WindowRuleWarning::Shell, "..x..", 0},
      {{"", "", "Options", "watch", ""}, WindowRuleWarning::Own, "...x.", 0},
      {{"*", "", "*", "leave", ""}, WindowRuleWarning::FitsAll, "xxxxx", 0},
      {{"*.exe", "", "", "close", ""}, WindowRuleWarning::FitsAll, "xxxxx", 0},
      {{"", "", "", "close", ""}, WindowRuleWarning::Empty, ".....", 0},
      {{"", "#32770", "ab[c", "close", ""}, WindowRuleWarning::Invalid, ".....", 5},
      {{"", "", "x", "press", "[]"}, WindowRuleWarning::Invalid, ".....", 2},
  };
  for (const Case& c : cases) {
    const WindowRuleFit fit = FitWindowRule(c.rule, open, kOwn);
    std::string marks;
    for (const bool f : fit.fits) marks += f ? 'x' : '.';
    EXPECT_EQ(fit.warning, c.warning) << c.rule.title << c.rule.className << c.rule.program;
    EXPECT_EQ(marks, c.fits) << c.rule.title << c.rule.className;
    EXPECT_EQ(fit.count, static_cast<std::size_t>(std::count(marks.begin(), marks.end(), 'x')));
    EXPECT_EQ(fit.open, open.size());
    EXPECT_EQ(fit.faultAt, c.faultAt);
  }
}

TEST(WindowRuleFit, TheMessageNamesTheCountOrTheFieldAndPlaceOfAFault) {
  WindowRuleFitTexts texts{"Fits %d of %d open windows", "all", "tab", "shell", "own", "empty",
                           "%s: not valid at character %d (100%%)", {"Program", "Class", "Title", "Button"}};
  std::vector<WindowFacts> open;
  open.push_back(Window("a.exe", "A", "One"));
  open.push_back(Window("b.exe", "B", "Two"));
  const std::pair<WindowRuleText, std::string> cases[] = {
      {{"a.exe", "", "", "close", ""}, "Fits 1 of 2 open windows"},
      {{"", "[x", "", "close", ""}, "Class: not valid at character 3 (100%)"},
      {{"", "", "", "close", ""}, "empty"},
      {{"", "", "*", "close", ""}, "all"},
  };
  for (const auto& [rule, line] : cases) {
    const WindowRuleFit fit = FitWindowRule(rule, open, kOwn);
    EXPECT_EQ(WindowRuleFitMessage(fit, texts), line);
    EXPECT_EQ(IsWarning(fit), line == "all" || line.rfind("Class", 0) == 0);
  }
}
