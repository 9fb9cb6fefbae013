// What a window rule would take among the open top-level windows, for the window-rule dialog's
// line under the rule: a plain function of the rule and the windows' facts, so that the dialog
// says what the scanner would do and the tests need no desktop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "popups/WindowFacts.h"
#include "popups/WindowRules.h"

namespace zorvex {

// Why the line is red, if it is; the first that holds wins, in this order.
enum class WindowRuleWarning {
  None,
  Invalid,    // a mask does not compile: field and faultAt say where
  Empty,      // no program, class or title: the rule would fit nothing (not red, just a hint)
  FitsAll,    // only wildcards, or fits every one of at least two open windows
  FrontTab,   // closes a browser window that holds tabs: only its front tab goes
  Shell,      // fits a window of the shell, which rules never judge
  Own,        // fits one of this program's windows, which rules never judge
};

// The rule's fields, as the dialog names them.
enum class WindowRuleField { Program, Class, Title, Button };

struct WindowRuleFit {
  WindowRuleWarning warning = WindowRuleWarning::None;
  // Per window given, whether the rule fits it.
  std::vector<bool> fits;
  std::size_t count = 0;
  std::size_t open = 0;
  // Invalid only: the field whose mask failed and the 1-based character position named.
  WindowRuleField field = WindowRuleField::Program;
  std::size_t faultAt = 0;
};

// Tests the rule against windows (the open top-level windows) as the scanner would; ownProcess is
// this program's process.
WindowRuleFit FitWindowRule(const WindowRuleText& rule, const std::vector<WindowFacts>& windows,
                            std::uint32_t ownProcess);

// The texts of the line, in the language in use.
struct WindowRuleFitTexts {
  std::string fits;      // first "%d": the count, second: the open windows
  std::string fitsAll;   // no numbers
  std::string frontTab;  // no numbers
  std::string shell;     // no numbers
  std::string own;       // no numbers
  std::string empty;     // no numbers
  std::string invalid;   // "%d": the position; "%s": the field's name
  // The fields' names, by WindowRuleField.
  std::string fieldNames[4];
};

// The line for fit. Numbers go in as RuleFitMessage puts them; then the first "%s" of the invalid
// text becomes the field's name.
std::string WindowRuleFitMessage(const WindowRuleFit& fit, const WindowRuleFitTexts& texts);

// True when the line for fit is red.
bool IsWarning(const WindowRuleFit& fit);

}  // namespace zorvex
