// A title rule as the scanner applies it, and what that rule would do to the browser windows open
// now: the rule dialogs show it before the user keeps the rule. Both go through PrepareRule and
// PreparedTitle, so that a dialog can never say other than what the scanner would close.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "popups/Masks.h"

namespace zorvex {

// One rule as the scanner holds it: the prepared text, and its compiled mask (none when invalid).
struct PreparedRule {
  std::string text;
  std::optional<TMask> mask;
  // When invalid: the matcher's message and the 1-based position it names.
  std::string fault;
  std::size_t faultAt = 0;
};

// The scanner's preparation of one rule line: control characters become blanks, letter case
// folded (FoldCase), "[" and "]" become "?" (the scanner never reads sets), then compiled. The DDE
// path matches differently: the closer's MatchTitle keeps "[" and "]", where they start a
// character set, so "[ad] *" fits "[ad] offer" in the scanner but "a offer" there. Keeps the
// number of characters, so a fault position counts in the rule as the user wrote it.
PreparedRule PrepareRule(const std::string& rule);
// A window title as every rule test sees it: control characters as blanks, case folded, invalid
// UTF-8 as U+FFFD.
std::string PreparedTitle(const std::string& title);

// What one rule does to the open browser windows.
enum class RuleVerdict {
  Fits,       // fits count of open (maybe none)
  ClosesAll,  // blank, only "*", or fits all of at least two
  Invalid,    // the mask does not compile: fits nothing
};

struct RuleFit {
  RuleVerdict verdict = RuleVerdict::Fits;
  // Per title given, whether the rule fits it.
  std::vector<bool> fits;
  std::size_t count = 0;
  std::size_t open = 0;
  // Invalid only: the matcher's message and position.
  std::string fault;
  std::size_t faultAt = 0;
};

// Tests rule against titles (the lister's, one per open browser window) as the scanner would.
RuleFit FitRule(const std::string& rule, const std::vector<std::string>& titles);

// The texts of the line that reports a RuleFit, in the language in use.
struct RuleFitTexts {
  std::string fits;       // first "%d": the count, second: the open windows
  std::string closesAll;  // no numbers
  std::string invalid;    // "%d": the fault position
};

// The line for fit. "%%" is a percent sign; any other "%" sequence, or a "%d" beyond those the
// text has numbers for, stays as written: a language file is never a printf format.
std::string RuleFitMessage(const RuleFit& fit, const RuleFitTexts& texts);

}  // namespace zorvex
